#include "ui/qt/indicator_views.h"

#include <QColor>
#include <QFrame>
#include <QProgressBar>
#include <algorithm>
#include <cmath>

#include "ui/qt/chart_widget.h"
#include "ui/qt/palette.h"
#include "ui/qt/widgets.h"

namespace ui::qt {

SlideView::SlideView(const Control& c, const ControlSite& site)
    : WidgetView(new QProgressBar(site.canvas), c.id) {
    w_->setTextVisible(false);
    passTaps(site.panel, c.id, false);
}

void SlideView::render(const Control& c) {
    w_->setRange(0, 1000);
    // The model's default range is all but unbounded: such a bar stays empty.
    const double span = c.maxValue - c.minValue;
    const double frac = span > 0 && span < 1e29 ? (c.number - c.minValue) / span : 0.0;
    w_->setValue(static_cast<int>(std::lround(std::clamp(frac, 0.0, 1.0) * 1000)));
}

GaugeView::GaugeView(const Control& c, const ControlSite& site)
    : WidgetView(new GaugeWidget(site.canvas), c.id) {
    passTaps(site.panel, c.id, false);
}

void GaugeView::render(const Control& c) {
    w_->setRange(c.minValue, c.maxValue);
    w_->setPrecision(c.precision);
    w_->setCaption(QString::fromStdString(c.unitsLabel));
    w_->setColours(shownText(c.textColor, c.bgColor), shownBack(c.bgColor),
                   shownText(c.onColor, c.bgColor));
    w_->setValue(c.number);
}

LedView::LedView(const Control& c, const ControlSite& site)
    : WidgetView(new LedWidget(site.canvas), c.id) {
    passTaps(site.panel, c.id, false);
}

void LedView::render(const Control& c) {
    w_->setState(c.number != 0.0, shownBack(c.onColor), shownBack(c.offColor));
    w_->setText(QString::fromStdString(c.label));
}

ChartView::ChartView(const Control& c, const ControlSite& site)
    : WidgetView(new ChartWidget(site.canvas), c.id) {}

void ChartView::render(const Control& c) {
    w_->setData(c.chart);
}

DecorationView::DecorationView(const Control& c, const ControlSite& site)
    : WidgetView(new QFrame(site.canvas), c.id) {
    w_->setFrameShape(QFrame::StyledPanel);
    w_->lower();
    passTaps(site.panel, c.id, false);
}

void DecorationView::render(const Control& c) {
    restyle(w_, shownSheet(QString("QFrame { background: %1; border: 1px solid #4a64a8;"
                                   " border-radius: 4px; }")
                               .arg(colour(c.bgColor))));
}

}  // namespace ui::qt
