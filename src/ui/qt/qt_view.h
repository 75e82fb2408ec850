// The Qt Widgets view of the UI model: one top-level window per visible panel, one view of
// its kind per control (control_kinds.h), placed where the window definition puts it. It
// keeps no station state: it renders the model when the model says something changed, and
// turns widget events into model events (ui::Press, ui::Operate, ui::DispatchMenu).
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "ui/ui_model.h"

class QWidget;
class QMainWindow;
class QPoint;
class QSize;

namespace ui::qt {

class QtView : public Observer {
  public:
    QtView();
    ~QtView() override;

    void panelCreated(int panel) override;
    void panelDiscarded(int panel) override;
    void panelChanged(int panel) override;
    void controlChanged(int panel, int control) override;
    void menuChanged(int menuBar) override;
    void paletteChanged() override;

    // The window of a panel and the widget of a control (null when there is none); for
    // screenshots and tests.
    QWidget* window(int panel) const;
    QWidget* widget(int panel, int control) const;

    // A dialog that is no panel (a touch dialog of QtPopups) placed as the station's dialogs
    // are: over the window of owner (a panel; 0: the window of the operator's event being
    // handled, else the main window in front), clear of the control that was tapped and of
    // the STOP column, on the screen.
    void placeDialog(QWidget* dialog, int owner) const;
    // Every dialog that is shown above the main windows, the newest on top.
    void raiseDialogs() const;

  private:
    struct PanelView;
    void build(int panel);
    void sync(int panel, int control);
    void syncMenus(int panel);
    // Moves a dialog's window where it opens (its panel's anchor, or the operator's event).
    void place(int panel, PanelView& view) const;
    // The top-left of the inside of a window of that inside size, opened from anchorPanel's
    // control anchorCtrl (self: the window itself, never its own caller).
    QPoint placement(int anchorPanel, int anchorCtrl, int self, bool besideFirst,
                     QSize inside) const;
    // The visible window of a panel, a tab page's being its host's.
    QWidget* shownWindow(int panel) const;
    // The main window in front, or null.
    QWidget* frontMainWindow(int* panel) const;
    std::map<int, std::unique_ptr<PanelView>> views_;
    // Windows discarded and not yet deleted by the loop (deleteLater).
    std::vector<QPointer<QWidget>> discarded_;
    bool syncing_ = false;  // set while the view writes to widgets: their signals are ours
};

}  // namespace ui::qt
