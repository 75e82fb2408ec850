#include "ui/qt/widgets.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cmath>

#include "ui/qt/palette.h"

namespace ui::qt {

namespace {
constexpr double kStartDeg = 225.0;  // scale from lower left ...
constexpr double kSpanDeg = 270.0;   // ... clockwise to lower right

// Tick step of 1, 2 or 5 times a power of ten giving about six major ticks.
double niceStep(double span) {
    if (!(span > 0.0)) return 1.0;
    double raw = span / 6.0;
    double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double f = raw / mag;
    double nice = f < 1.5 ? 1.0 : f < 3.5 ? 2.0 : f < 7.5 ? 5.0 : 10.0;
    return nice * mag;
}

QString scaleText(double v) {
    if (std::fabs(v) >= 10000.0 && std::fmod(v, 1000.0) == 0.0)
        return QString::number(v / 1000.0, 'g', 4) + "k";
    return QString::number(v, 'g', 5);
}
}  // namespace

GaugeWidget::GaugeWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void GaugeWidget::setRange(double min, double max) {
    if (max <= min) max = min + 1.0;
    if (min == min_ && max == max_) return;
    min_ = min;
    max_ = max;
    update();
}

void GaugeWidget::setValue(double value) {
    if (value == value_) return;
    value_ = value;
    update();
}

void GaugeWidget::setPrecision(int digits) {
    precision_ = std::clamp(digits, 0, 6);
    update();
}

void GaugeWidget::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void GaugeWidget::setColours(const QColor& text, const QColor& face, const QColor& needle) {
    if (text == text_ && face == face_ && needle == needle_) return;
    text_ = text;
    face_ = face;
    needle_ = needle;
    update();
}

void GaugeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double r = side / 2.0 - 2.0;

    p.setPen(QPen(shownLine(QColor(0x90, 0x90, 0xA0)), 2));
    p.setBrush(face_);
    p.drawEllipse(centre, r, r);

    auto angleOf = [&](double v) {
        double frac = std::clamp((v - min_) / (max_ - min_), 0.0, 1.0);
        return qDegreesToRadians(kStartDeg - frac * kSpanDeg);
    };
    auto at = [&](double radians, double radius) {
        return QPointF(centre.x() + radius * std::cos(radians),
                       centre.y() - radius * std::sin(radians));
    };

    // Scale: major ticks with numbers, minor ticks between.
    double step = niceStep(max_ - min_);
    QFont f = font();
    f.setPixelSize(std::max(8, static_cast<int>(side / 16)));
    p.setFont(f);
    double first = std::ceil(min_ / step) * step;
    for (double v = first; v <= max_ + step * 1e-6; v += step) {
        double a = angleOf(v);
        p.setPen(QPen(text_, 2));
        p.drawLine(at(a, r * 0.78), at(a, r * 0.92));
        QPointF t = at(a, r * 0.64);
        QRectF box(t.x() - side / 6, t.y() - side / 20, side / 3, side / 10);
        p.drawText(box, Qt::AlignCenter, scaleText(v));
        for (int k = 1; k < 5; ++k) {
            double mv = v + step * k / 5.0;
            if (mv > max_) break;
            double ma = angleOf(mv);
            p.setPen(QPen(text_, 1));
            p.drawLine(at(ma, r * 0.85), at(ma, r * 0.92));
        }
    }

    // Needle.
    double a = angleOf(value_);
    QPainterPath needle;
    needle.moveTo(at(a, r * 0.88));
    needle.lineTo(at(a + M_PI / 2, r * 0.05));
    needle.lineTo(at(a - M_PI / 2, r * 0.05));
    needle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(needle_);
    p.drawPath(needle);
    p.setBrush(shownLine(QColor(0xD0, 0xD0, 0xD0)));
    p.drawEllipse(centre, r * 0.07, r * 0.07);

    // Read-out and caption in the lower part of the dial.
    p.setPen(text_);
    QFont big = font();
    big.setPixelSize(std::max(10, static_cast<int>(side / 9)));
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRectF(centre.x() - r, centre.y() + r * 0.25, 2 * r, r * 0.3), Qt::AlignCenter,
               QString::number(value_, 'f', precision_));
    p.setFont(f);
    p.drawText(QRectF(centre.x() - r, centre.y() + r * 0.55, 2 * r, r * 0.25), Qt::AlignCenter,
               caption_);
}

ReadoutWidget::ReadoutWidget(QWidget* parent) : QWidget(parent) {}

void ReadoutWidget::setContent(const QString& value, const QString& units) {
    if (value == value_ && units == units_) return;
    if (value.size() != value_.size() || units != units_) valueSize_ = 0;
    value_ = value;
    units_ = units;
    update();
}

void ReadoutWidget::setColours(const QColor& text, const QColor& back, bool tappable) {
    if (text == text_ && back == back_ && tappable == tappable_) return;
    text_ = text;
    back_ = back;
    tappable_ = tappable;
    update();
}

void ReadoutWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const QColor dimmedBack(0x10, 0x1a, 0x3c);
    QColor back = enabled ? back_ : shownBack(dimmedBack);
    QColor text = enabled ? text_ : shownText(QColor(0x5f, 0x6a, 0x86), dimmedBack);
    QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setBrush(back);
    p.setPen(QPen(shownLine(tappable_ && enabled ? QColor(0xc8, 0xd4, 0xf0) : QColor(0x4a, 0x64, 0xa8)),
                  tappable_ ? 2 : 1));
    p.drawRoundedRect(box, 3, 3);

    // Units are read from across the van too: never smaller than 12 px.
    QFont small = font();
    small.setPixelSize(kUnitsPixels);
    QFont big = font();
    big.setBold(true);
    auto fits = [&](int size, int room) {
        big.setPixelSize(size);
        return QFontMetrics(big).horizontalAdvance(value_) <= room;
    };
    const int unitsWidth = units_.isEmpty() ? 0 : QFontMetrics(small).horizontalAdvance(units_) + 4;
    // The unit beside the value when the value can stay readable (12 px or more), else
    // on a second line under it.
    if (valueSize_ == 0) {
        stacked_ = false;
        valueSize_ = std::min(18, height() - 8);
        while (valueSize_ > 12 && !fits(valueSize_, width() - 8 - unitsWidth)) --valueSize_;
        if (!units_.isEmpty() && !fits(valueSize_, width() - 8 - unitsWidth)) {
            stacked_ = true;
            valueSize_ = std::min(18, height() - QFontMetrics(small).height() - 1);
            while (valueSize_ > 8 && !fits(valueSize_, width() - 8)) --valueSize_;
        }
    }
    big.setPixelSize(valueSize_);
    p.setPen(text);
    p.setFont(big);
    if (stacked_) {
        const int unitsHeight = QFontMetrics(small).height();
        const QRect top(4, 0, width() - 8, height() - unitsHeight);
        p.drawText(top, Qt::AlignRight | Qt::AlignVCenter, value_);
        p.setFont(small);
        p.drawText(QRect(4, top.bottom() - 1, width() - 8, unitsHeight),
                   Qt::AlignRight | Qt::AlignVCenter, units_);
        return;
    }
    QRect inner = rect().adjusted(4, 0, -4 - unitsWidth, 0);
    p.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, value_);
    if (!units_.isEmpty()) {
        p.setFont(small);
        QFontMetrics bm(big);
        // The unit sits on the value's baseline.
        int baseline = (height() + bm.ascent() - bm.descent()) / 2;
        p.drawText(QPoint(width() - 4 - unitsWidth + 3, baseline), units_);
    }
}

LedWidget::LedWidget(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LedWidget::setState(bool on, const QColor& onColour, const QColor& offColour) {
    if (on == on_ && onColour == onColour_ && offColour == offColour_) return;
    on_ = on;
    onColour_ = onColour;
    offColour_ = offColour;
    update();
}

void LedWidget::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

QColor LedWidget::lampColour() const {
    // Dimmed as the row's dimmed buttons are; a lamp still lit shows only faintly.
    if (!isEnabled()) return on_ ? onColour_.darker(300) : shownBack(QColor(0x27, 0x30, 0x4a));
    return on_ ? onColour_ : offColour_;
}

void LedWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const double side = std::min(width(), height()) - 1.0;
    const QRectF bezel((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    p.setPen(QPen(shownLine(enabled ? QColor(0x4a, 0x64, 0xa8) : QColor(0x39, 0x42, 0x5c)), 1));
    p.setBrush(shownBack(enabled ? QColor(0x07, 0x10, 0x3a) : QColor(0x10, 0x1a, 0x3c)));
    p.drawEllipse(bezel);
    // Flat, without the highlight that would make it look like something to press.
    const double inset = std::max(2.0, side / 9.0);
    const QRectF lamp = bezel.adjusted(inset, inset, -inset, -inset);
    const QColor c = lampColour();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(lamp);
    if (!text_.isEmpty()) {
        QFont f = font();
        f.setPixelSize(std::max(8, static_cast<int>(lamp.height() * 0.6)));
        f.setBold(true);
        p.setFont(f);
        // Black on a bright lamp (yellow, green), light on a dark one (red, grey), by how
        // bright the eye sees it: HSL lightness puts pure yellow and red alike at one half.
        const int seen = (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
        if (!enabled)
            p.setPen(shownText(QColor(0x5f, 0x6a, 0x86), QColor(0x10, 0x1a, 0x3c)));
        else
            p.setPen(seen > 128 ? QColor(Qt::black) : shownText(QColor(0xc8, 0xd4, 0xf0), c));
        p.drawText(lamp, Qt::AlignCenter, text_);
    }
}

}  // namespace ui::qt
