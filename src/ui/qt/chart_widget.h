// The view of a chart control: a Qt Charts line chart with a time axis, a left and an
// optional right value axis, a legend on top, and each model series drawn as one line
// broken at its gaps (a gap is a point whose y is not a number).
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
    // Draws content: axes, titles, ranges and every series, reusing the lines already there.
    void setData(const ChartData& content);

  private:
    // A model series: one Qt line per stretch between gaps; only the first is in the
    // legend.
    struct Line {
        std::vector<QLineSeries*> pieces;
        std::vector<int> axes;  // the value axis each piece is attached to
    };
    QLineSeries* addPiece(Line& line, int axis);
    void attach(Line& line, size_t piece, int axis);
    void setAxis(QValueAxis* axis, const ChartAxis& model);

    QChart* chart_;
    QValueAxis* x_;
    QValueAxis* values_[2];
    std::vector<Line> lines_;
};

}  // namespace ui::qt
