#include "ui/qt/control_view.h"

#include <QEvent>
#include <QLabel>
#include <QRect>
#include <QWidget>
#include <algorithm>

#include "ui/qt/logic_call.h"
#include "ui/qt/palette.h"
#include "ui/ui_model.h"

namespace ui::qt {

namespace {

class TapFilter : public QObject {
  public:
    TapFilter(int panel, int control, bool asButton, QObject* parent)
        : QObject(parent), panel_(panel), control_(control), asButton_(asButton) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w == nullptr || !w->isEnabled()) return false;
            toLogic([this] {
                if (asButton_)
                    Press(panel_, control_);
                else
                    DispatchCtrlEvent(panel_, control_, EVENT_LEFT_CLICK);
            });
        }
        return false;
    }

  private:
    int panel_, control_;
    bool asButton_;
};

// A label above a control is drawn only where it covers no other control; elsewhere the
// label becomes the control's tool tip.
bool labelFits(const Panel& p, const Control& c) {
    QRect label(c.left, c.top - 17, std::max(c.width, 60), 16);
    if (label.top() < 0) return false;
    for (const Control& o : p.controls) {
        if (&o == &c || o.type == CTRL_TIMER || o.type == CTRL_DECORATION || !o.visible) continue;
        if (label.intersects(QRect(o.left, o.top, o.width, o.height))) return false;
    }
    return true;
}

}  // namespace

QString colour(int rgb) {
    return QString::asprintf("#%06x", rgb & 0xFFFFFF);
}

void restyle(QWidget* w, const QString& style) {
    if (w->styleSheet() != style) w->setStyleSheet(style);
}

void setLabelText(QLabel* l, const QString& text) {
    if (l->text() != text) l->setText(text);
}

ControlView::ControlView(QWidget* widget, int id) : widget_(widget) {
    widget_->setObjectName(QString("ctrl_%1").arg(id));
}

void ControlView::passTaps(int panel, int id, bool asButton) {
    widget_->installEventFilter(new TapFilter(panel, id, asButton, widget_));
}

void ControlView::sync(const Control& c) {
    widget_->setGeometry(c.left, c.top, c.width, c.height);
    widget_->setEnabled(!Greyed(c));
    widget_->setVisible(c.visible);
    if (caption_ != nullptr) {
        setLabelText(caption_, QString::fromStdString(c.label));
        caption_->setGeometry(c.left, c.top - 17, std::max(c.width, 60), 16);
        restyle(caption_, shownSheet("QLabel { color: #ffffff; } QLabel:disabled { color: #5f6a86; }"));
        caption_->setVisible(c.visible);
        caption_->setEnabled(!Greyed(c));
    }
    render(c);
}

void ControlView::addLabel(const Panel& p, const Control& c, QWidget* canvas) {
    if (labelFits(p, c))
        caption_ = new QLabel(canvas);
    else
        widget_->setToolTip(QString::fromStdString(c.label));
}

}  // namespace ui::qt
