#include "ui/qt/text_views.h"

#include <QColor>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <algorithm>

#include "ui/qt/palette.h"
#include "ui/qt/widgets.h"

namespace ui::qt {

namespace {

QString numberText(const Control& c) {
    if (c.kind == ValueKind::Integer || c.format == FMT_INTEGER)
        return QString::number(static_cast<long long>(c.number));
    if (c.format == FMT_SCIENTIFIC)
        return QString::number(c.number, 'e', std::clamp(c.precision, 0, 15));
    return QString::number(c.number, 'f', std::clamp(c.precision, 0, 15));
}

}  // namespace

NumericView::NumericView(const Control& c, const ControlSite& site)
    : WidgetView(new ReadoutWidget(site.canvas), c.id) {
    passTaps(site.panel, c.id, false);
}

void NumericView::render(const Control& c) {
    w_->setContent(numberText(c), QString::fromStdString(c.unitsLabel));
    w_->setColours(shownText(c.textColor, c.bgColor), shownBack(c.bgColor), c.mode == MODE_HOT);
}

StringView::StringView(const Control& c, const ControlSite& site)
    : WidgetView(new QLabel(site.canvas), c.id) {
    passTaps(site.panel, c.id, c.mode == MODE_HOT);
}

void StringView::render(const Control& c) {
    const QString text = " " + QString::fromStdString(c.text);
    setLabelText(w_, text);
    const QString frame =
        c.mode == MODE_HOT ? "border: 2px solid #c8d4f0;" : "border: 1px solid #4a64a8;";
    // A text too long for its field is shown whole: smaller, and on two lines where the field
    // is tall enough, rather than cut.
    int size = std::clamp(c.height * 45 / 100, 13, 24);
    QFont font = w_->font();
    const auto widthAt = [&](int px) {
        font.setPixelSize(px);
        return QFontMetrics(font).horizontalAdvance(text);
    };
    while (size > 12 && widthAt(size) > c.width - 8) --size;
    w_->setWordWrap(widthAt(size) > c.width - 8 && c.height >= 3 * size);
    restyle(w_, shownSheet(QString("QLabel { %3 border-radius: 3px; font-size: %4px; }"
                                   "QLabel:disabled { color: #5f6a86; }")
                               .arg(frame)
                               .arg(size)) +
                    QString("QLabel { color: %1; background: %2; }")
                        .arg(sheetColour(shownText(c.textColor, c.bgColor)),
                             sheetColour(shownBack(c.bgColor))));
}

TextMsgView::TextMsgView(const Control& c, const ControlSite& site)
    : WidgetView(new QLabel(site.canvas), c.id) {
    w_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    passTaps(site.panel, c.id, false);
}

void TextMsgView::render(const Control& c) {
    setLabelText(w_, QString::fromStdString(c.text));
    // Tall captions are headlines (the E-stop alert): their text grows with them, but never
    // past the width of the box; what still does not fit wraps.
    const int lines = 1 + static_cast<int>(std::count(c.text.begin(), c.text.end(), '\n'));
    int size = std::clamp(c.height / lines * 6 / 10, 13, 32);
    QString longest;
    for (const QString& line : QString::fromStdString(c.text).split('\n'))
        if (line.size() > longest.size()) longest = line;
    QFont font = w_->font();
    auto widthAt = [&](int px) {
        font.setPixelSize(px);
        font.setBold(px > 16);
        return QFontMetrics(font).horizontalAdvance(longest);
    };
    while (size > 13 && widthAt(size) > c.width - 4) --size;
    w_->setWordWrap(widthAt(size) > c.width - 4);
    restyle(w_, QString("QLabel { color: %1; font-size: %2px; %3 }")
                        .arg(sheetColour(shownText(c.textColor, c.bgColor)))
                        .arg(size)
                        .arg(size > 16 ? "font-weight: bold;" : "") +
                    shownSheet("QLabel:disabled { color: #5f6a86; }"));
}

TextBoxView::TextBoxView(const Control& c, const ControlSite& site)
    : WidgetView(new QPlainTextEdit(site.canvas), c.id) {
    w_->setReadOnly(true);
    passTaps(site.panel, c.id, false);
}

void TextBoxView::render(const Control& c) {
    w_->setPlainText(QString::fromStdString(c.text));
}

}  // namespace ui::qt
