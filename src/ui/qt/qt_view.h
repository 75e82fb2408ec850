// The Qt Widgets view of the UI model: one top-level window per visible panel, one widget
// per control, placed where the window definition puts it. It keeps no station state: it
// renders the model when the model says something changed, and turns widget events into
// model events (ui::Press, ui::Operate, ui::DispatchMenu).
#pragma once

#include <map>
#include <memory>

#include "ui/ui_model.h"

class QWidget;
class QMainWindow;

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

    // The window of a panel and the widget of a control (null when there is none); for
    // screenshots and tests.
    QWidget* window(int panel) const;
    QWidget* widget(int panel, int control) const;

  private:
    struct PanelView;
    void build(int panel);
    void sync(int panel, int control);
    void syncMenus(int panel);
    std::map<int, std::unique_ptr<PanelView>> views_;
    bool syncing_ = false;  // set while the view writes to widgets: their signals are ours
};

}  // namespace ui::qt
