// A tab control: each item a page, the window of another panel, taken into the tab control
// the first time it is drawn after the page's window exists. The operator's choice of page
// goes to the logic, which says which page is shown.
#pragma once

#include "ui/qt/control_view.h"

class QTabWidget;

namespace ui::qt {

class TabView : public WidgetView<QTabWidget> {
  public:
    TabView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;

  private:
    std::function<PageRef(int panel)> page_;
};

}  // namespace ui::qt
