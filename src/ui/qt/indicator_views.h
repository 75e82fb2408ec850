// The controls that only show: bars, gauges, lamps, charts and frames. Taps on them (all but
// the chart) reach the logic as clicks.
#pragma once

#include "ui/qt/control_view.h"

class QFrame;
class QProgressBar;

namespace ui::qt {

class ChartWidget;
class GaugeWidget;
class LedWidget;

// A bar filled as far as the value lies between the control's minimum and maximum.
class SlideView : public WidgetView<QProgressBar> {
  public:
    SlideView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class GaugeView : public WidgetView<GaugeWidget> {
  public:
    GaugeView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class LedView : public WidgetView<LedWidget> {
  public:
    LedView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class ChartView : public WidgetView<ChartWidget> {
  public:
    ChartView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

// A frame drawn under the controls it groups.
class DecorationView : public WidgetView<QFrame> {
  public:
    DecorationView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control&) override;
};

}  // namespace ui::qt
