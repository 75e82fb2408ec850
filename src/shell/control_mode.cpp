#include "shell/control_mode.h"

#include <cstdint>
#include <string>

#include "link/comcfg.h"
#include "link/operations.h"
#include "operation/numpadcode.h"
#include "platform/module_state.h"
#include "safety/estop.h"
#include "settings/registry_settings.h"
#include "shell/password.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace safety;

namespace shell {

namespace {

struct ControlModeState {
    int panel = 0;
    void (*enableSetupMenu)() = nullptr;
    bool operator==(const ControlModeState&) const = default;
};
ControlModeState g;

std::uint32_t checked(int panel, int control) {
    return ui::GetCtrlInt(panel, control) != 0 ? 1u : 0u;
}

void close(int panel) {
    if (panel == g.panel) g.panel = 0;
    if (ui::PanelExists(panel)) ui::DiscardPanel(panel);
}

}  // namespace

void OpenControlModePanel() {
    if (g.panel != 0 && ui::PanelExists(g.panel)) ui::DiscardPanel(g.panel);
    g.panel = 0;
    const int handle = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_CONTROL_MODE);
    if (handle < 0) return;
    g.panel = handle;
    using namespace settings;
    ui::SetCtrlVal(handle, windows::CM_ESTOP_ENABLED, ReadSetting(kEStop) != 0 ? 1 : 0);
    ui::SetCtrlVal(handle, windows::CM_TIMEOUT1, static_cast<int>(ReadSetting(kTimeout1)));
    const bool parallel = ReadSetting(kEStopParallelPort) != 0;
    ui::SetCtrlVal(handle, windows::CM_PARALLEL, parallel ? 1 : 0);
    ui::SetCtrlVal(handle, windows::CM_SERIAL, parallel ? 0 : 1);
    ui::SetCtrlVal(handle, windows::CM_SERIAL_PORT,
                   static_cast<int>(ReadSetting(kEStopSerialPortNum)));
    ui::SetCtrlVal(handle, windows::CM_START_DELAY, static_cast<int>(ReadSetting(kComStartDelay)));
    std::uint32_t autoRecord = 0;
    if (ReadSetting(kAutoRecord, autoRecord))
        ui::SetCtrlVal(handle, windows::CM_AUTO_RECORD, autoRecord != 0 ? 1 : 0);
    ui::DisplayPanel(handle);
}

int ControlModePanel() {
    return g.panel != 0 && ui::PanelExists(g.panel) ? g.panel : 0;
}

int SetControlMode(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    using namespace settings;
    const std::uint32_t monitored = checked(panel, windows::CM_ESTOP_ENABLED);
    const std::uint32_t parallel = checked(panel, windows::CM_PARALLEL);
    const int port = ui::GetCtrlInt(panel, windows::CM_SERIAL_PORT);
    if (parallel == 0 && (port <= 0 || EStopPortTaken(port))) {
        ui::MessagePopup("EStop Serial Port",
                         "COM" + std::to_string(port) +
                             " is used by a pump or the output line; choose another port.");
        return 0;
    }
    WriteSetting(kEStop, monitored);
    WriteSetting(kAutoRecord, checked(panel, windows::CM_AUTO_RECORD));
    // Negative entries read as unsigned and are limited like any large one.
    WriteTimeout1(static_cast<std::uint32_t>(ui::GetCtrlInt(panel, windows::CM_TIMEOUT1)));
    WriteTimeout2();
    WriteSetting(kEStopParallelPort, parallel);
    WriteSetting(kEStopSerialPortNum, static_cast<std::uint32_t>(port));
    const int delay = ui::GetCtrlInt(panel, windows::CM_START_DELAY);
    ComStartDelay = static_cast<std::uint32_t>(delay < 0 ? 0 : delay);  // the next port opening
    WriteSetting(kComStartDelay, ComStartDelay);
    close(panel);
    ApplyEStopSettings(monitored, parallel, static_cast<std::uint32_t>(port));
    if (g.enableSetupMenu != nullptr) g.enableSetupMenu();
    SendPumpCommand(kAllPumps, Op::SendTimeouts);
    return 0;
}

int CloseControlMode(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) close(panel);
    return 0;
}

int ChangePort(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const bool parallel = control == windows::CM_PARALLEL;
    ui::SetCtrlVal(panel, windows::CM_PARALLEL, parallel ? 1 : 0);
    ui::SetCtrlVal(panel, windows::CM_SERIAL, parallel ? 0 : 1);
    return 0;
}

int ControlModeEntry(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK) return 0;
    KeypadField field;
    if (control == windows::CM_SERIAL_PORT) {
        field.name = "EStop COM port";
    } else if (control == windows::CM_TIMEOUT1) {
        // The field holds more: SetControlMode limits what gets past the keypad's range.
        field.name = "Com time-out";
        field.units = "s";
        field.min = 0.0;
        field.max = static_cast<double>(settings::kTimeout1Max);
    } else if (control == windows::CM_START_DELAY) {
        field.name = "Port start delay";
        field.units = "s";
    }
    OpenKeypadFor(panel, control, 0, field, nullptr);
    return 0;
}

void BindControlModeCallbacks(void (*enableSetupMenu)()) {
    g.enableSetupMenu = enableSetupMenu;
    windows::BindCtrlCallback("SetControlMode", SetControlMode);
    windows::BindCtrlCallback("CloseControlMode", CloseControlMode);
    windows::BindCtrlCallback("ChangePort", ChangePort);
    windows::BindCtrlCallback("ControlModeEntry", ControlModeEntry);
    SetControlModeOpener(OpenControlModePanel);
}

void ResetControlMode() {
    g = {};
}
VNK_MODULE_STATE_RESET(shell, control_mode, g, ResetControlMode)

}  // namespace shell
