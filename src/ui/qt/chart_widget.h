// The view of a chart control: a Qt Charts chart with a time axis, a left and an optional
// right value axis, a grid and a legend on top. Qt Charts draws those; the lines themselves
// are painted by one item over the plot area, as polylines broken at each gap (a point whose
// y is not a number). A QLineSeries rebuilds the outline of its whole line for hit-testing
// on every change, which for a dozen lines of 2,000 points costs more than the refresh may.
#pragma once

#include <QChartView>
#include <vector>

#include "ui/model_types.h"

class QLineSeries;
class QValueAxis;

namespace ui::qt {

class ChartWidget : public QChartView {
  public:
    explicit ChartWidget(QWidget* parent);
    // Draws content: axes, titles, ranges, the legend and every series.
    void setData(const ChartData& content);

  private:
    class Traces;
    void setAxis(QValueAxis* axis, const ChartAxis& model);
    // The chart's own colours in the palette shown (the lines keep theirs).
    void paintInPalette();

    QChart* chart_;
    QValueAxis* x_;
    QValueAxis* values_[2];
    std::vector<QLineSeries*> legend_;  // empty series: one legend entry per model series
    Traces* traces_;
    ChartData content_;
};

}  // namespace ui::qt
