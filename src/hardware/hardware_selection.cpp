#include "hardware/hardware_selection.h"

#include <array>

#include <string>

#include "link/pump_session.h"
#include "link/tx_queue.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace hardware {

namespace {

using namespace windows;

constexpr const char* kIdleTitle = "Select A Hardware Group To Calibrate";

struct SelectionState {
    int HardwarePump = -1;
    int window = 0;
    std::array<int, static_cast<int>(HwDialog::Count)> dialogs{};
    HardwarePasswordGate gate = nullptr;
    // The configure button pressed last and its bank window.
    int buttonPanel = 0;
    int button = 0;
    bool operator==(const SelectionState&) const = default;
};
SelectionState g;
}  // namespace

int& HardwarePump = g.HardwarePump;

namespace {

int& slot(HwDialog kind) {
    return g.dialogs[static_cast<size_t>(kind)];
}

void discard(int& panel) {
    if (panel != 0 && ui::PanelExists(panel)) ui::DiscardPanel(panel);
    panel = 0;
}

// What the keypad says about a dialog's field: the pump, what the field holds and its unit.
// An alarm set-point is named by its row and column; an analog input's value by the input
// (the dialog's title); a unit in brackets at the end of a label is the field's unit.
KeypadField keypadFieldOf(int panel, int control) {
    KeypadField field;
    const ui::Panel* dialog = ui::FindPanel(panel);
    const int kind = dialog != nullptr ? dialog->resourceId : 0;
    std::string what = ui::GetCtrlAttributeText(panel, control, ui::ATTR_LABEL_TEXT);
    if (kind == HW_MOTOR_ALARMS || kind == HW_PUMP_ALARMS) {
        const int row = (control - AlarmRowCtrl(0, 0)) / 10;
        const int item = (control - AlarmRowCtrl(0, 0)) % 10;
        what = ui::GetCtrlText(panel, AlarmRowCtrl(row, ALARM_CAPTION)) + " set-point " +
               (item == ALARM_FIRST ? "1" : "2");
        field.units = ui::GetCtrlText(panel, AlarmRowCtrl(row, ALARM_UNITS));
    } else if (kind == HW_AI && (control == AI_ENG_LOW || control == AI_ENG_HIGH)) {
        what = dialog->title + " " + what;
        field.units = ui::GetCtrlAttributeText(panel, control, ui::ATTR_UNITS_LABEL);
    }
    const std::size_t bracket = what.rfind(" (");
    if (bracket != std::string::npos && what.back() == ')') {
        field.units = what.substr(bracket + 2, what.size() - bracket - 3);
        what.erase(bracket);
    }
    if (kind == HW_SPEED && (control == SPD_STEP_SMALL || control == SPD_STEP_LARGE)) {
        // The steps are the fleet's, and SetThrottle takes no others.
        field.name = what + " for every pump";
        field.min = static_cast<double>(settings::kRpmStepMin);
        field.max = static_cast<double>(settings::kRpmStepMax);
        return field;
    }
    field.name = "Pump " + UnitLabel(HardwarePump) + " " + what;
    return field;
}

}  // namespace

int HardwarePanel() {
    return g.window != 0 && ui::PanelExists(g.window) ? g.window : 0;
}

int HardwareDialog(HwDialog kind) {
    const int panel = slot(kind);
    return panel != 0 && ui::PanelExists(panel) ? panel : 0;
}

int OpenHardwareDialog(HwDialog kind, int resourceId) {
    if (HardwarePanel() == 0) return 0;
    // One dialog at a time, under the window's one header: the one open before goes (with a
    // keypad left open on one of its fields, which would write into a discarded window).
    if (KeypadPanel != 0) {
        const int target = ui::GetCtrlInt(KeypadPanel, windows::NUMPAD_TARGET_PANEL);
        for (int d : g.dialogs)
            if (d != 0 && d == target)
                QuitNumPad(KeypadPanel, windows::NUMPAD_CANCEL, ui::EVENT_COMMIT, nullptr, 0, 0);
    }
    for (int& open : g.dialogs) discard(open);
    ui::SetCtrlAttribute(g.window, HW_VIEW_NETWORK, ui::ATTR_VISIBLE, 0);
    const int panel = ui::LoadPanel(g.window, kHardwareUir, resourceId);
    if (panel <= 0) return 0;
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_LEFT,
                          ui::GetPanelAttributeInt(g.window, ui::ATTR_PANEL_LEFT) + kHwDialogLeft);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_TOP,
                          ui::GetPanelAttributeInt(g.window, ui::ATTR_PANEL_TOP) + kHwDialogTop);
    slot(kind) = panel;
    ui::DisplayPanel(panel);
    return panel;
}

void SetHardwareTexts(const std::string& title, const std::string& help) {
    if (HardwarePanel() == 0) return;
    ui::SetCtrlVal(g.window, HW_TITLE, title);
    ui::SetCtrlVal(g.window, HW_HELP, help);
}

void SetHardwarePasswordGate(HardwarePasswordGate gate) {
    g.gate = gate;
}

void OpenHardwareWindow(int pump) {
    if (pump < 0 || pump >= kPumpCount) return;
    discard(g.window);
    for (int& d : g.dialogs) discard(d);
    const int bank = BankPanel[pump / kPumpsPerBank];
    g.window = ui::LoadPanel(0, kHardwareUir, HW_WINDOW);
    if (g.window <= 0) {
        g.window = 0;
        return;
    }
    HardwarePump = pump;
    if (bank != 0 && ui::PanelExists(bank)) {
        ui::SetPanelAttribute(g.window, ui::ATTR_PANEL_LEFT,
                              ui::GetPanelAttributeInt(bank, ui::ATTR_PANEL_LEFT));
        ui::SetPanelAttribute(g.window, ui::ATTR_PANEL_TOP,
                              ui::GetPanelAttributeInt(bank, ui::ATTR_PANEL_TOP));
    }
    ui::SetCtrlVal(g.window, HW_PUMP_LABEL, "Pump #" + UnitLabel(pump));
    ui::SetPanelAttribute(g.window, ui::ATTR_TITLE, "Hardware Setup - Pump #" + UnitLabel(pump));
    ui::DisplayPanel(g.window);
}

void ShowHardwareWindow() {
    // Only one of a row's eight configure buttons names a pump; anything else opens nothing.
    const int pump = PumpOfRowCtrl(g.buttonPanel, g.button, kPosConfigure);
    if (pump >= 0) OpenHardwareWindow(pump);
}

int Display_Hardware_Panel(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (PumpOfRowCtrl(panel, control, kPosConfigure) < 0) return 0;
    g.buttonPanel = panel;
    g.button = control;
    if (g.gate != nullptr)
        g.gate(panel, control);
    else
        ShowHardwareWindow();
    return 0;
}

int Done_With_Hardware(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    // A keypad left open on a dialog's field would write into a discarded window.
    if (KeypadPanel != 0)
        QuitNumPad(KeypadPanel, windows::NUMPAD_CANCEL, ui::EVENT_COMMIT, nullptr, 0, 0);
    for (int& d : g.dialogs) discard(d);
    discard(g.window);
    HardwarePump = -1;
    return 0;
}

int CancelCfg(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    for (int& d : g.dialogs)
        if (d == panel) d = 0;
    if (ui::PanelExists(panel)) ui::DiscardPanel(panel);
    if (HardwarePanel() != 0) {
        SetHardwareTexts(kIdleTitle, "");
        ui::SetCtrlAttribute(g.window, HW_VIEW_NETWORK, ui::ATTR_VISIBLE, 1);
    }
    return 0;
}

int NetwCfg(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK) return 0;
    const int panel = OpenHardwareDialog(HwDialog::Network, HW_NETWORK);
    if (panel == 0) return 0;
    SetHardwareTexts("Network Information", " ");
    for (int pump = 0; pump < kPumpCount; ++pump) {
        if (PumpRowEnabled(pump))
            SendShortCommand(pump, WireCode::NetworkInfo, 0);
        else
            ui::SetCtrlVal(panel, NET_LINE_FIRST + pump, "---");
    }
    return 0;
}

void ShowNetworkInfo(int pump) {
    const int panel = HardwareDialog(HwDialog::Network);
    if (panel == 0 || pump < 0 || pump >= kPumpCount) return;
    ui::SetCtrlVal(panel, NET_LINE_FIRST + pump, std::string(PumpTable[pump].NetworkInfo));
}

int AP_NP(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK) return 0;
    OpenKeypadFor(panel, control, 0, keypadFieldOf(panel, control), nullptr);
    return 0;
}

void ResetHardwareSelection() {
    g = {};
}
VNK_MODULE_STATE_RESET(hardware, hardware_selection, g, ResetHardwareSelection)

void BindHardwareSelectionCallbacks() {
    windows::BindCtrlCallback("Display_Hardware_Panel", Display_Hardware_Panel);
    windows::BindCtrlCallback("Done_With_Hardware", Done_With_Hardware);
    windows::BindCtrlCallback("CancelCfg", CancelCfg);
    windows::BindCtrlCallback("NetwCfg", NetwCfg);
    windows::BindCtrlCallback("AP_NP", AP_NP);
}

}  // namespace hardware
