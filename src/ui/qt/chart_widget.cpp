#include "ui/qt/chart_widget.h"

#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <cmath>

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

}  // namespace

ChartWidget::ChartWidget(QWidget* parent) : QChartView(parent), chart_(new QChart) {
    chart_->setBackgroundBrush(kChartBack);
    chart_->setBackgroundRoundness(4);
    chart_->setPlotAreaBackgroundBrush(kPlotBack);
    chart_->setPlotAreaBackgroundVisible(true);
    chart_->setMargins(QMargins(4, 2, 4, 2));
    chart_->legend()->setAlignment(Qt::AlignTop);
    chart_->legend()->setLabelColor(kText);
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
        a->setLabelsColor(kText);
        a->setLabelsFont(labels);
        a->setTitleBrush(kText);
        a->setTitleFont(titles);
        a->setGridLineColor(kGrid);
        a->setLinePenColor(kAxisLine);
        a->setMinorGridLineVisible(false);
    }
    // The right axis draws no grid of its own: the left one's lines would be doubled.
    values_[1]->setGridLineVisible(false);
    setChart(chart_);
    setRenderHint(QPainter::Antialiasing, true);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(kChartBack);
}

void ChartWidget::setAxis(QValueAxis* axis, const ChartAxis& model) {
    axis->setVisible(model.shown);
    if (!model.shown) return;
    axis->setTitleText(QString::fromStdString(model.title));
    axis->setRange(model.min, model.max);
    axis->setTickCount(std::max(2, model.ticks));
    axis->setLabelFormat(labelFormat(model));
}

void ChartWidget::attach(Line& line, size_t piece, int axis) {
    QLineSeries* s = line.pieces[piece];
    if (line.axes[piece] == axis) return;
    if (line.axes[piece] >= 0) s->detachAxis(values_[line.axes[piece]]);
    s->attachAxis(values_[axis]);
    line.axes[piece] = axis;
}

QLineSeries* ChartWidget::addPiece(Line& line, int axis) {
    auto* s = new QLineSeries(chart_);
    chart_->addSeries(s);
    s->attachAxis(x_);
    line.pieces.push_back(s);
    line.axes.push_back(-1);
    attach(line, line.pieces.size() - 1, axis);
    // Only a line's first piece has a legend entry.
    if (line.pieces.size() > 1)
        for (QLegendMarker* m : chart_->legend()->markers(s)) m->setVisible(false);
    return s;
}

void ChartWidget::setData(const ChartData& content) {
    setAxis(x_, content.x);
    setAxis(values_[0], content.left);
    setAxis(values_[1], content.right);
    if (lines_.size() < content.series.size()) lines_.resize(content.series.size());
    QList<QPointF> run;
    for (size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        const ChartSeries* model = i < content.series.size() ? &content.series[i] : nullptr;
        const int axis = model != nullptr && model->axis == 1 ? 1 : 0;
        size_t used = 0;
        if (model != nullptr) {
            QPen pen(colour(model->color));
            pen.setWidth(model->width);
            if (model->dashed) pen.setStyle(Qt::DashLine);
            const auto flush = [&](bool always) {
                if (run.isEmpty() && !always) return;
                QLineSeries* s = used < line.pieces.size() ? line.pieces[used] : addPiece(line, axis);
                attach(line, used, axis);
                if (s->pen() != pen) s->setPen(pen);
                s->replace(run);
                run.clear();
                ++used;
            };
            run.clear();
            for (const ChartPoint& p : model->points) {
                if (std::isnan(p.y))
                    flush(false);
                else
                    run.append(QPointF(p.x, p.y));
            }
            flush(used == 0);  // the first piece stays, empty or not: it holds the legend
            const QString name = QString::fromStdString(model->name);
            if (line.pieces[0]->name() != name) line.pieces[0]->setName(name);
            for (QLegendMarker* m : chart_->legend()->markers(line.pieces[0]))
                if (!m->isVisible()) m->setVisible(true);
        }
        for (size_t k = used; k < line.pieces.size(); ++k) {
            if (line.pieces[k]->count() > 0) line.pieces[k]->clear();
            if (k == 0)
                for (QLegendMarker* m : chart_->legend()->markers(line.pieces[0]))
                    if (m->isVisible()) m->setVisible(false);
        }
    }
}

}  // namespace ui::qt
