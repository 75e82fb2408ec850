#include "platform/real/qt_report_printer.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kDpi = 300;
constexpr double kGapSeconds = 2.0;  // a longer step in the series is a gap: the line breaks

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// A column's units go on a line of their own and are never broken ("(bbl/" over "min)").
QString headerCell(QString text) {
    const qsizetype open = text.lastIndexOf(" (");
    if (open < 0) return text;
    QString units = text.mid(open + 1);
    units.replace(' ', QChar::Nbsp);
    units.replace("/", QString("/") + QChar(0x2060));
    return text.left(open) + '\n' + units;
}

void drawChart(QPainter& p, const ReportChart& chart, const QRect& area) {
    // Measured on the painter's device: its resolution, not the screen's.
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();
    p.drawText(area.left(), area.top() + fm.ascent(), q(chart.title));
    // The series' names take the second line; the top tick labels stand half a line above
    // the frame, so the frame starts a line below the names.
    const QRect plot(area.left() + 8 * fm.averageCharWidth(), area.top() + 3 * line,
                     area.width() - 16 * fm.averageCharWidth(), area.height() - 6 * line);
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(plot);
    const double last = chart.seconds.empty() ? 60.0 : std::max(60.0, chart.seconds.back());
    const double minutes = last / 60.0;
    const double xStep = chart.minuteStep > 0 ? chart.minuteStep : minutes;
    const auto xAt = [&](double s) { return plot.left() + s / last * plot.width(); };
    p.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    for (double m = 0; m <= minutes + 1e-9; m += xStep) {
        const double x = xAt(m * 60.0);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 40 * kDpi / 72, plot.bottom() + 4, 80 * kDpi / 72, line),
                   Qt::AlignHCenter | Qt::AlignTop, QString::number(m, 'g', 4));
        p.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    }
    p.setPen(Qt::black);
    p.drawText(QRect(plot.left(), plot.bottom() + line + 4, plot.width(), line), Qt::AlignHCenter,
               "Time since the start (min)");
    const QColor colours[] = {QColor(0, 70, 200), QColor(200, 30, 30)};
    for (std::size_t i = 0; i < chart.series.size() && i < 2; ++i) {
        const ReportSeries& s = chart.series[i];
        const double top = s.top > 0 ? s.top : 1.0;
        const auto yAt = [&](double v) { return plot.bottom() - v / top * plot.height(); };
        p.setPen(colours[i]);
        for (int tick = 0; tick < std::max(2, s.ticks); ++tick) {
            const double v = top * tick / (std::max(2, s.ticks) - 1);
            const double y = yAt(v);
            const QRectF label = i == 0 ? QRectF(area.left(), y - line / 2.0, plot.left() - area.left() - 8, line)
                                        : QRectF(plot.right() + 8, y - line / 2.0, area.right() - plot.right() - 8, line);
            p.drawText(label, (i == 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                       QString::number(v, 'g', 6));
        }
        QPainterPath path;
        bool open = false;
        for (std::size_t k = 0; k < s.values.size() && k < chart.seconds.size(); ++k) {
            const double v = s.values[k];
            if (!std::isfinite(v)) {
                open = false;
                continue;
            }
            const QPointF at(xAt(chart.seconds[k]), yAt(v));
            if (open && chart.seconds[k] - chart.seconds[k - 1] <= kGapSeconds)
                path.lineTo(at);
            else
                path.moveTo(at);
            open = true;
        }
        p.setPen(QPen(colours[i], 4));
        p.drawPath(path);
        const QString name = q(s.name) + " (" + q(s.units) + ")" + (i == 0 ? ", left" : ", right");
        p.setPen(colours[i]);
        p.drawText(QRect(plot.left(), area.top() + line, plot.width(), line),
                   i == 0 ? Qt::AlignLeft : Qt::AlignRight, name);
    }
    p.setPen(Qt::black);
}

}  // namespace

bool QtReportPrinter::writePdf(const ReportDocument& report, const std::string& path,
                               std::string& error) {
    bool ok = false;
    {
        QPdfWriter writer(q(path));
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setTitle(q(report.title));
        writer.setCreator("VNK PC");
        QPainter p;
        if (!p.begin(&writer)) {
            error = "cannot write " + path;
        } else {
            const QRect page = writer.pageLayout().paintRectPixels(kDpi).translated(
                -writer.pageLayout().paintRectPixels(kDpi).topLeft());
            QFont font("DejaVu Sans", 16, QFont::Bold);
            p.setFont(font);
            int y = p.fontMetrics().ascent();
            p.drawText(0, y, q(report.title));
            y += p.fontMetrics().height();
            font.setPointSize(9);
            font.setBold(false);
            p.setFont(font);
            const int line = p.fontMetrics().height();
            // The facts in two columns, the first half on the left; the right one starts
            // after the left one's longest line.
            const std::size_t half = (report.lines.size() + 1) / 2;
            int right = 0;
            for (std::size_t i = 0; i < half; ++i)
                right = std::max(right, p.fontMetrics().horizontalAdvance(q(report.lines[i])));
            right += 4 * p.fontMetrics().averageCharWidth();
            for (std::size_t i = 0; i < report.lines.size(); ++i) {
                const int column = i < half ? 0 : right;
                const int row = static_cast<int>(i < half ? i : i - half);
                p.drawText(QRect(column, y + row * line, page.width() - column, line),
                           Qt::AlignLeft | Qt::AlignVCenter, q(report.lines[i]));
            }
            y += static_cast<int>(half) * line + line;
            const QRect chartArea(0, y, page.width(), page.height() * 3 / 10);
            drawChart(p, report.chart, chartArea);
            y = chartArea.bottom() + line;
            // The table: the first column narrow, the others shared; a header of up to four lines.
            const int columns = static_cast<int>(report.tableHeader.size());
            const int first = columns > 0 ? page.width() / (columns + 1) : 0;
            const int width = columns > 1 ? (page.width() - first) / (columns - 1) : page.width();
            const auto cellX = [&](int c) { return c == 0 ? 0 : first + (c - 1) * width; };
            const auto cellW = [&](int c) { return c == 0 ? first : width; };
            const auto header = [&] {
                font.setBold(true);
                p.setFont(font);
                for (int c = 0; c < columns; ++c)
                    p.drawText(QRect(cellX(c), y, cellW(c) - 10, 4 * line),
                               Qt::AlignRight | Qt::AlignBottom | Qt::TextWordWrap,
                               headerCell(q(report.tableHeader[static_cast<std::size_t>(c)])));
                y += 4 * line + line / 3;
                p.drawLine(0, y, page.width(), y);
                font.setBold(false);
                p.setFont(font);
            };
            header();
            for (const auto& row : report.tableRows) {
                if (y + line > page.height()) {
                    writer.newPage();
                    y = 0;
                    header();
                }
                for (int c = 0; c < columns && c < static_cast<int>(row.size()); ++c)
                    p.drawText(QRect(cellX(c), y, cellW(c) - 10, line), Qt::AlignRight | Qt::AlignVCenter,
                               q(row[static_cast<std::size_t>(c)]));
                y += line;
            }
            ok = p.end();
            if (!ok) error = "the PDF writer failed on " + path;
        }
    }
    if (ok && QFileInfo(q(path)).size() <= 0) {
        ok = false;
        error = "nothing was written to " + path;
    }
    if (!ok) QFile::remove(q(path));
    return ok;
}

}  // namespace platform
