#include "ui/qt/button_views.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <cstdlib>

#include "ui/qt/logic_call.h"
#include "ui/qt/palette.h"
#include "ui/ui_model.h"

namespace ui::qt {

namespace {

// A button label that does not fit on one line is broken at its middle space.
QString buttonText(const QWidget* w, const std::string& label, int width) {
    QString text = QString::fromStdString(label);
    QFont f = w->font();
    f.setBold(true);
    f.setPixelSize(13);
    if (QFontMetrics(f).horizontalAdvance(text) <= width - 8) return text;
    int best = -1;
    for (int i = 0; i < text.size(); ++i)
        if (text[i] == ' ' &&
            (best < 0 || std::abs(i - text.size() / 2) < std::abs(best - text.size() / 2)))
            best = i;
    if (best >= 0) text[best] = '\n';
    return text;
}

// A tick box that a finger hits anywhere on it, its text included: the toolkit's own takes
// only the box and the text's outline, some 20 pixels high.
class TouchCheckBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

ButtonView::ButtonView(const Control& c, const ControlSite& site)
    : WidgetView(new QPushButton(site.canvas), c.id) {
    w_->setFocusPolicy(Qt::NoFocus);
    // A toggle button's state is the model's too: its click asks for the other one.
    QObject::connect(w_, &QPushButton::clicked,
                     [panel = site.panel, id = c.id]() { toLogic([=] { Press(panel, id); }); });
}

void ButtonView::render(const Control& c) {
    w_->setText(buttonText(w_, c.label, c.width));
    // Black is every control's default text colour; on a button it means "normal".
    QString style;
    const bool lightBack = c.bgColor != VAL_WHITE && QColor(colour(c.bgColor)).lightness() > 150;
    if (c.textColor != VAL_BLACK || lightBack)
        style += QString("color: %1;").arg(sheetColour(shownText(c.textColor, c.bgColor)));
    if (c.bgColor != VAL_WHITE)
        style += QString("background: %1;").arg(sheetColour(shownBack(c.bgColor)));
    restyle(w_, style.isEmpty() ? QString() : "QPushButton:enabled {" + style + "}");
}

CheckBoxView::CheckBoxView(const Control& c, const ControlSite& site)
    : WidgetView(new TouchCheckBox(site.canvas), c.id) {
    w_->setFocusPolicy(Qt::NoFocus);
    QObject::connect(w_, &QCheckBox::clicked,
                     [&syncing = site.syncing, panel = site.panel, id = c.id](bool on) {
                         if (!syncing) toLogic([=] { Operate(panel, id, on ? 1.0 : 0.0); });
                     });
}

void CheckBoxView::render(const Control& c) {
    w_->setText(QString::fromStdString(c.label));
    w_->setChecked(c.number != 0.0);
}

RingView::RingView(const Control& c, const ControlSite& site)
    : WidgetView(new QComboBox(site.canvas), c.id) {
    w_->setFocusPolicy(Qt::NoFocus);
    // The list's items take their height from the style (finger-sized) only through a
    // styled delegate; the toolkit's own draws them at the text's height.
    w_->setItemDelegate(new QStyledItemDelegate(w_));
    // Qt reports a choice even when the operator picks the item already shown: the
    // callbacks tell a real change themselves (choosing a failed port again retries it).
    QObject::connect(w_, &QComboBox::activated,
                     [&syncing = site.syncing, panel = site.panel, id = c.id](int index) {
                         if (!syncing) toLogic([=] { OperateIndex(panel, id, index); });
                     });
}

void RingView::render(const Control& c) {
    bool same = w_->count() == static_cast<int>(c.items.size());
    for (int i = 0; same && i < w_->count(); ++i)
        same = w_->itemText(i).toStdString() == c.items[static_cast<size_t>(i)].label;
    if (!same) {
        w_->clear();
        for (const ListItem& item : c.items) w_->addItem(QString::fromStdString(item.label));
    }
    w_->setCurrentIndex(c.selected);
}

}  // namespace ui::qt
