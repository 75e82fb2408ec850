#include "ui/qt/palette.h"

#include <QRegularExpression>
#include <algorithm>

#include "ui/ui_model.h"

namespace ui::qt {

namespace {

bool night() {
    return DisplayPalette() == Palette::Night;
}

// Saturated reds, ambers and yellows: a trip, a fault, an alarm, the E-stop, a lost port.
bool alarmColour(const QColor& c) {
    const int hue = c.hsvHue();
    return c.hsvSaturationF() >= 0.6f && hue >= 0 && (hue <= 65 || hue >= 330);
}

// Saturated greens: live values, a lamp that is on, a drive running.
bool liveGreen(const QColor& c) {
    const int hue = c.hsvHue();
    return c.hsvSaturationF() >= 0.6f && hue >= 90 && hue <= 150;
}

bool kept(const QColor& c) {
    return alarmColour(c) || liveGreen(c);
}

QColor fromHsl(float hue, float saturation, float lightness) {
    return QColor::fromHslF(hue, std::clamp(saturation, 0.0f, 1.0f),
                            std::clamp(lightness, 0.0f, 1.0f));
}

QColor nightBack(const QColor& c) {
    if (kept(c)) return c;
    float hue = 0, saturation = 0, lightness = 0;
    c.getHslF(&hue, &saturation, &lightness);
    // A light field turns dark in its own hue (a cleared alarm's pink stays a red), the
    // lighter the darker; every other background is dimmed.
    if (lightness > 0.6f)
        return fromHsl(hue, std::min(saturation, 0.35f), 0.10f + (1.0f - lightness) * 0.4f);
    return fromHsl(hue, saturation * 0.8f, lightness * 0.5f);
}

QColor nightLine(const QColor& c) {
    if (kept(c)) return c;
    float hue = 0, saturation = 0, lightness = 0;
    c.getHslF(&hue, &saturation, &lightness);
    return fromHsl(hue, saturation * 0.8f, lightness * 0.55f);
}

QColor nightText(const QColor& c, const QColor& shownUnder) {
    // On a background kept light (an amber line, a red box), the text stays as by day.
    if (kept(c) || shownUnder.lightnessF() > 0.45f) return c;
    float hue = 0, saturation = 0, lightness = 0;
    c.getHslF(&hue, &saturation, &lightness);
    // Black was written for a white field, which is dark now.
    return fromHsl(hue, saturation, lightness < 0.25f ? 0.75f : lightness * 0.78f);
}

QColor rgbColour(int rgb) {
    return QColor(static_cast<QRgb>(rgb & 0xFFFFFF));
}

}  // namespace

QColor shownBack(const QColor& day) {
    return night() ? nightBack(day) : day;
}

QColor shownBack(int rgb) {
    return shownBack(rgbColour(rgb));
}

QColor shownText(const QColor& day, const QColor& dayBack) {
    return night() ? nightText(day, nightBack(dayBack)) : day;
}

QColor shownText(int rgb, int back) {
    return shownText(rgbColour(rgb), rgbColour(back));
}

QColor shownLine(const QColor& day) {
    return night() ? nightLine(day) : day;
}

QColor dialogEdge() {
    return shownLine(QColor(0xc8, 0xd4, 0xf0));
}

QString sheetColour(const QColor& c) {
    return c.name(QColor::HexRgb);
}

QString shownSheet(const QString& daySheet) {
    if (!night()) return daySheet;
    // Each declaration "property: value", its colours mapped for what the property paints.
    static const QRegularExpression declaration(R"(([a-z-]+)\s*:\s*([^;{}]*))");
    static const QRegularExpression hex("#[0-9a-fA-F]{6}");
    QString out;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& m : declaration.globalMatch(daySheet)) {
        out += daySheet.mid(done, m.capturedStart(2) - done);
        const QString property = m.captured(1);
        QString value = m.captured(2);
        QString mapped;
        qsizetype from = 0;
        for (const QRegularExpressionMatch& h : hex.globalMatch(value)) {
            mapped += value.mid(from, h.capturedStart() - from);
            const QColor c(h.captured());
            const QColor shown = property == "color"        ? nightText(c, nightBack(Qt::white))
                                 : property == "background" ? nightBack(c)
                                                            : nightLine(c);
            mapped += sheetColour(shown);
            from = h.capturedEnd();
        }
        mapped += value.mid(from);
        out += mapped;
        done = m.capturedEnd(2);
    }
    out += daySheet.mid(done);
    return out;
}

}  // namespace ui::qt
