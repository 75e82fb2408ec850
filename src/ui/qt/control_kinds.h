// The choice of a control's view by the control's type, made once, when its widget is made.
#pragma once

#include <memory>

#include "ui/qt/control_view.h"

namespace ui::qt {

// The view of c's kind, its widget made on site.canvas over the controls of p made before
// it, with its label; null for a control that is not drawn (a timer).
std::unique_ptr<ControlView> makeControlView(const Panel& p, const Control& c,
                                             const ControlSite& site);

}  // namespace ui::qt
