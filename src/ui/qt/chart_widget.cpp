#include "ui/qt/chart_widget.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QPainter>
#include <QLineSeries>
#include <QValueAxis>
#include <cmath>

#include "ui/qt/palette.h"

namespace ui::qt {

namespace {

const QColor kChartBack("#0a1540");
const QColor kPlotBack("#050b26");
const QColor kGrid("#26346a");
const QColor kAxisLine("#8fa8dc");
const QColor kText("#ffffff");

QColor colour(int rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFF));
}

// Decimals that tell the axis's tick labels apart.
QString labelFormat(const ChartAxis& a) {
    const double step = a.ticks > 1 ? (a.max - a.min) / (a.ticks - 1) : a.max - a.min;
    int decimals = 0;
    while (decimals < 4 && std::fabs(step * std::pow(10.0, decimals) -
                                     std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return QString("%.%1f").arg(decimals);
}

QPen penOf(const ChartSeries& s) {
    QPen pen(colour(s.color));
    pen.setWidth(s.width);
    pen.setCapStyle(Qt::FlatCap);
    if (s.dashed) pen.setStyle(Qt::DashLine);
    return pen;
}

}  // namespace

// The lines over the plot area, each model point mapped by the axes' ranges.
class ChartWidget::Traces : public QGraphicsItem {
  public:
    explicit Traces(const ChartWidget& chart) : chart_(chart) { setZValue(10); }
    void placeOn(const QRectF& plot) {
        prepareGeometryChange();
        plot_ = plot;
    }
    QRectF boundingRect() const override { return plot_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        const ChartData& c = chart_.content_;
        if (plot_.isEmpty() || !(c.x.max > c.x.min)) return;
        painter->setClipRect(plot_);
        const double sx = plot_.width() / (c.x.max - c.x.min);
        // Segment by segment: a polyline with a wide pen is stroked with its joins as one
        // outline, many times dearer than its segments drawn alone.
        QVector<QLineF> lines;
        for (const ChartSeries& s : c.series) {
            const ChartAxis& y = s.axis == 1 ? c.right : c.left;
            if (!(y.max > y.min)) continue;
            const double sy = plot_.height() / (y.max - y.min);
            lines.clear();
            QPointF last;
            bool drawing = false;
            for (const ChartPoint& p : s.points) {
                if (std::isnan(p.y)) {
                    drawing = false;
                    continue;
                }
                const QPointF at(plot_.left() + (p.x - c.x.min) * sx,
                                 plot_.bottom() - (p.y - y.min) * sy);
                if (drawing) lines.append(QLineF(last, at));
                last = at;
                drawing = true;
            }
            painter->setPen(penOf(s));
            painter->drawLines(lines);
        }
    }

  private:
    const ChartWidget& chart_;
    QRectF plot_;
};

// The chart is given to the view as it is made: QChartView(parent) would make a chart of its
// own, and setChart() does not delete the chart it replaces.
ChartWidget::ChartWidget(QWidget* parent) : QChartView(new QChart, parent), chart_(chart()) {
    chart_->setBackgroundRoundness(4);
    chart_->setPlotAreaBackgroundVisible(true);
    chart_->setMargins(QMargins(4, 2, 4, 2));
    chart_->legend()->setAlignment(Qt::AlignTop);
    QFont legendFont = font();
    legendFont.setPixelSize(13);
    chart_->legend()->setFont(legendFont);
    x_ = new QValueAxis(chart_);
    chart_->addAxis(x_, Qt::AlignBottom);
    values_[0] = new QValueAxis(chart_);
    chart_->addAxis(values_[0], Qt::AlignLeft);
    values_[1] = new QValueAxis(chart_);
    chart_->addAxis(values_[1], Qt::AlignRight);
    QFont labels = font();
    labels.setPixelSize(12);
    QFont titles = font();
    titles.setPixelSize(13);
    titles.setBold(true);
    for (QValueAxis* a : {x_, values_[0], values_[1]}) {
        a->setLabelsFont(labels);
        a->setTitleFont(titles);
        a->setMinorGridLineVisible(false);
    }
    // The right axis draws no grid of its own: the left one's lines would be doubled.
    values_[1]->setGridLineVisible(false);
    traces_ = new Traces(*this);
    scene()->addItem(traces_);
    QObject::connect(chart_, &QChart::plotAreaChanged,
                     [this](const QRectF& plot) { traces_->placeOn(plot); });
    // Without antialiasing: it would more than double the painting of the lines.
    setRenderHint(QPainter::Antialiasing, false);
    setFrameShape(QFrame::NoFrame);
    paintInPalette();
}

void ChartWidget::paintInPalette() {
    const QColor back = shownBack(kChartBack);
    if (chart_->backgroundBrush().color() == back && backgroundBrush().color() == back) return;
    const QColor text = shownText(kText, kChartBack);
    chart_->setBackgroundBrush(back);
    chart_->setPlotAreaBackgroundBrush(shownBack(kPlotBack));
    chart_->legend()->setLabelColor(text);
    for (QValueAxis* a : {x_, values_[0], values_[1]}) {
        a->setLabelsColor(text);
        a->setTitleBrush(text);
        a->setGridLineColor(shownLine(kGrid));
        a->setLinePenColor(shownLine(kAxisLine));
    }
    setBackgroundBrush(back);
}

// Each change of an axis lays the whole chart out again: only what differs is set.
void ChartWidget::setAxis(QValueAxis* axis, const ChartAxis& model) {
    if (axis->isVisible() != model.shown) axis->setVisible(model.shown);
    if (!model.shown) return;
    const QString title = QString::fromStdString(model.title);
    if (axis->titleText() != title) axis->setTitleText(title);
    if (axis->min() != model.min || axis->max() != model.max) axis->setRange(model.min, model.max);
    const int ticks = std::max(2, model.ticks);
    if (axis->tickCount() != ticks) axis->setTickCount(ticks);
    const QString format = labelFormat(model);
    if (axis->labelFormat() != format) axis->setLabelFormat(format);
}

void ChartWidget::setData(const ChartData& content) {
    paintInPalette();
    content_ = content;
    setAxis(x_, content_.x);
    setAxis(values_[0], content_.left);
    setAxis(values_[1], content_.right);
    while (legend_.size() < content_.series.size()) {
        auto* s = new QLineSeries(chart_);
        chart_->addSeries(s);
        s->attachAxis(x_);
        s->attachAxis(values_[0]);
        legend_.push_back(s);
    }
    for (size_t i = 0; i < legend_.size(); ++i) {
        const bool used = i < content_.series.size();
        if (used) {
            const ChartSeries& model = content_.series[i];
            const QPen pen = penOf(model);
            if (legend_[i]->pen() != pen) legend_[i]->setPen(pen);
            const QString name = QString::fromStdString(model.name);
            if (legend_[i]->name() != name) legend_[i]->setName(name);
        }
        for (QLegendMarker* m : chart_->legend()->markers(legend_[i]))
            if (m->isVisible() != used) m->setVisible(used);
    }
    traces_->update();
}

}  // namespace ui::qt
