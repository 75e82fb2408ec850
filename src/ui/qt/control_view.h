// The view of one control: its widget, made and wired for the control's kind, and drawn
// from the model. The panel's view makes one per control, of the class the control's type
// calls for (control_kinds.h), once; from then on it hands each change of the control to
// it. What every kind shares (place, dimmed, shown, the caption above it) is drawn here; a
// kind adds its own look, and passes the operator's acts on its widget to the logic.
#pragma once

#include <QString>
#include <functional>

#include "ui/model_types.h"

class QLabel;
class QTabWidget;
class QWidget;

namespace ui::qt {

// Where a panel shown as a tab page sits: in no tab control until one takes it.
struct TabSlot {
    QTabWidget* host = nullptr;
    int index = -1;
};

// The window of a panel and its tab slot; no window when the panel has none.
struct PageRef {
    QWidget* window = nullptr;
    TabSlot* slot = nullptr;
};

// What a control's view is made in and reaches: its panel, the inside of the panel's
// window, the flag the view sets while it writes to widgets (their signals then are its
// own, not the operator's) and the windows of other panels (the pages of a tab control).
struct ControlSite {
    int panel;
    QWidget* canvas;
    const bool& syncing;
    std::function<PageRef(int panel)> page;
};

class ControlView {
  public:
    virtual ~ControlView() = default;
    ControlView(const ControlView&) = delete;
    ControlView& operator=(const ControlView&) = delete;

    QWidget* widget() const { return widget_; }
    // Shows c's label as a caption above the widget where it covers no other control of p,
    // else as the widget's tool tip.
    void addLabel(const Panel& p, const Control& c, QWidget* canvas);
    // Draws the control as the model has it now.
    void sync(const Control& c);

  protected:
    ControlView(QWidget* widget, int id);
    // The kind's own part of the look.
    virtual void render(const Control& c) = 0;
    // Taps on a widget that is no button reach the logic as left clicks (a numeric field
    // opens the keypad that way), or as presses (a text field the operator can change takes
    // its entry through the keypad, not a keyboard).
    void passTaps(int panel, int id, bool asButton);

  private:
    QWidget* widget_;
    QLabel* caption_ = nullptr;  // the label above the control, where it covers no other
};

// A kind's view over the widget class it draws with.
template <class W>
class WidgetView : public ControlView {
  protected:
    WidgetView(W* w, int id) : ControlView(w, id), w_(w) {}
    W* const w_;
};

QString colour(int rgb);
// Re-polishing a widget is the dearest thing a refresh can do: only when the style changes.
void restyle(QWidget* w, const QString& style);
void setLabelText(QLabel* l, const QString& text);

}  // namespace ui::qt
