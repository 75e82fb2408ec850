#include "operation/vfd_reset.h"

#include "link/operations.h"
#include "operation/detail_view.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

using namespace pumplink;

namespace operation {

namespace {

struct VfdResetState {
    VfdResetControls controls;
    int panel = 0;
    int button = 0;  // the button pressed last
    bool operator==(const VfdResetState&) const = default;
};
VfdResetState g;

}  // namespace

void SetVfdResetControls(const VfdResetControls& controls) {
    g.controls = controls;
}

int ResetVfdFault(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (ui::ConfirmPopup("Reset VFD", "Do you want to reset the VFD fault?") != 1) return 0;
    // The drive needs time to come back: the buttons stay locked until the timer ends it.
    ui::SetCtrlAttribute(panel, control, ui::ATTR_DIMMED, 1);
    g.panel = panel;
    g.button = control;
    if (g.controls.timer != 0) {
        ui::SetCtrlAttribute(panel, g.controls.timer, ui::ATTR_INTERVAL, kVfdResetLockSeconds);
        ui::SetCtrlAttribute(panel, g.controls.timer, ui::ATTR_ENABLED, 1);
    }
    journal::Record(CurrentPump, journal::Kind::Command, "Reset VFD fault");
    SendPumpCommand(CurrentPump, Op::ResetVfdFault);
    return 0;
}

int ResetTimerCallback(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    for (int button : g.controls.buttons)
        if (button != 0) ui::SetCtrlAttribute(panel, button, ui::ATTR_DIMMED, 0);
    if (g.button != 0 && g.panel == panel)
        ui::SetCtrlAttribute(panel, g.button, ui::ATTR_DIMMED, 0);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    return 0;
}

void ResetVfdResetLock() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, vfd_reset, g, ResetVfdResetLock)

}  // namespace operation
