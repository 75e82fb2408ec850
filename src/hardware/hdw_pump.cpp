#include "hardware/hdw_pump.h"

#include <cmath>
#include <cstring>
#include <string>

#include "hardware/hardware_selection.h"
#include "hardware/hdw_support.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/module_state.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace hardware {

namespace {

using namespace windows;

constexpr int kMaxPlungers = 10;
constexpr double kMaxEfficiency = 1.2;

struct PumpDialogsState {
    int characteristicsPump = -1;
    int ids = 0;  // the identification window
    // Which fields were enabled when the window opened, and what each showed last.
    bool enabledAtOpen[kPumpCount] = {};
    std::string shown[kPumpCount];
    bool operator==(const PumpDialogsState&) const = default;
};
PumpDialogsState g;

std::string fieldText(int pump) {
    return ui::GetCtrlText(g.ids, IDS_FIELD_FIRST + pump).substr(0, kPumpIdChars);
}

// The values a pump's rate is computed from: a zero or negative one would make its
// displacement 0 and the rate controller's speed change infinite.
bool characteristicsValid(int plungers, float diameter, float stroke, float efficiency,
                          float gear) {
    const bool finite = std::isfinite(diameter) && std::isfinite(stroke) &&
                        std::isfinite(efficiency) && std::isfinite(gear);
    return finite && plungers >= 1 && plungers <= kMaxPlungers && diameter > 0.0f &&
           stroke > 0.0f && gear > 0.0f && efficiency > 0.0f && efficiency <= kMaxEfficiency;
}

}  // namespace

int PumpIdsPanel() {
    return g.ids != 0 && ui::PanelExists(g.ids) ? g.ids : 0;
}

int SelectCharacteristics(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || HardwarePanel() == 0) return 0;
    if (OpenHardwareDialog(HwDialog::Characteristics, HW_CHARACTERISTICS) == 0) return 0;
    g.characteristicsPump = HardwarePump;
    SetHardwareTexts("Pump Characteristics",
                     "Set diameter, stroke, and number of plungers; pump efficiency and gear "
                     "ratio.");
    SendPumpCommand(HardwarePump, Op::ReadPumpConfig);
    return 0;
}

void ShowPumpConfig(int pump) {
    const int panel = HardwareDialog(HwDialog::Characteristics);
    if (panel == 0 || pump != g.characteristicsPump) return;
    const PumpConfigBlock& c = PumpTable[pump].PumpConfig;
    ui::SetCtrlVal(panel, CHAR_PLUNGERS, static_cast<int>(c.Plungers()));
    ui::SetCtrlVal(panel, CHAR_STROKE, static_cast<double>(c.Stroke()));
    ui::SetCtrlVal(panel, CHAR_DIAMETER, static_cast<double>(c.PlungerDiameter()));
    ui::SetCtrlVal(panel, CHAR_EFFICIENCY, static_cast<double>(c.Efficiency()));
    ui::SetCtrlVal(panel, CHAR_GEAR_RATIO, static_cast<double>(c.GearRatio()));
}

int PlungerDown(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ui::SetCtrlVal(panel, CHAR_PLUNGERS, 3);
    return 0;
}

int PlungerUp(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ui::SetCtrlVal(panel, CHAR_PLUNGERS, 5);
    return 0;
}

int ConfirmPlunger(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Characteristics)) return 0;
    HoldButton(panel, control, CHAR_TIMER);
    const int pump = g.characteristicsPump;
    const int plungers = ui::GetCtrlInt(panel, CHAR_PLUNGERS);
    const auto stroke = static_cast<float>(ui::GetCtrlDouble(panel, CHAR_STROKE));
    const auto diameter = static_cast<float>(ui::GetCtrlDouble(panel, CHAR_DIAMETER));
    const auto efficiency = static_cast<float>(ui::GetCtrlDouble(panel, CHAR_EFFICIENCY));
    const auto gear = static_cast<float>(ui::GetCtrlDouble(panel, CHAR_GEAR_RATIO));
    if (!characteristicsValid(plungers, diameter, stroke, efficiency, gear)) {
        ui::MessagePopup("Pump Characteristics",
                         "Plungers must be 1 to 10; diameter, stroke and gear ratio above 0; "
                         "efficiency above 0 and at most 1.2. Nothing was sent.");
        return 0;
    }
    if (!PumpOnLineOrSay(pump)) return 0;
    // Both writes carry the pump's own block; the link refuses one never read from it (it
    // asks for the block and tells the operator), and then nothing was written to journal.
    const bool blockRead = PumpTable[pump].PumpConfigRead;
    SendPumpCommand(pump, PumpGeometryWrite{diameter, stroke, static_cast<std::uint8_t>(plungers)});
    SendPumpCommand(pump, PumpEfficiencyWrite{efficiency, gear});
    if (!blockRead) return 0;
    JournalPumpWrite(pump,
                     "Characteristics written: %d plungers, %g in diameter, %g in stroke, "
                     "efficiency %g, gear ratio %g",
                     plungers, static_cast<double>(diameter), static_cast<double>(stroke),
                     static_cast<double>(efficiency), static_cast<double>(gear));
    if (control == CHAR_OK) CancelCfg(panel, control, ui::EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int Plung_Timer(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ReleaseButtons(panel, control, {CHAR_SEND, CHAR_OK});
    return 0;
}

int SetPumpIds(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK) return 0;
    if (PumpIdsPanel() != 0) ui::DiscardPanel(g.ids);
    g.ids = ui::LoadPanel(0, kVnkUir, VNK_PUMP_IDS);
    if (g.ids <= 0) {
        g.ids = 0;
        return 0;
    }
    SendPumpCommand(kAllPumps, Op::ReadPumpId);
    for (int pump = 0; pump < kPumpCount; ++pump) {
        const bool enabled = PumpRowEnabled(pump);
        g.enabledAtOpen[pump] = enabled;
        g.shown[pump] = enabled ? std::string(PumpTable[pump].PumpId,
                                              strnlen(PumpTable[pump].PumpId, kPumpIdChars))
                                : std::string();
        ui::SetCtrlVal(g.ids, IDS_FIELD_FIRST + pump, g.shown[pump]);
        ui::SetCtrlAttribute(g.ids, IDS_FIELD_FIRST + pump, ui::ATTR_DIMMED, enabled ? 0 : 1);
    }
    ui::DisplayPanel(g.ids);
    return 0;
}

void ShowPumpIdInWindow(int pump, const char* id) {
    if (PumpIdsPanel() == 0 || pump < 0 || pump >= kPumpCount || !g.enabledAtOpen[pump]) return;
    // A field the operator has typed into keeps the operator's text.
    if (ui::GetCtrlText(g.ids, IDS_FIELD_FIRST + pump) != g.shown[pump]) return;
    g.shown[pump] = std::string(id, strnlen(id, kPumpIdChars));
    ui::SetCtrlVal(g.ids, IDS_FIELD_FIRST + pump, g.shown[pump]);
}

int EditPumpId(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK || panel != PumpIdsPanel()) return 0;
    const int pump = control - IDS_FIELD_FIRST;
    if (pump < 0 || pump >= kPumpCount || !g.enabledAtOpen[pump]) return 0;
    char text[kPumpIdChars + 1] = {};
    if (ui::PromptPopup("Pump Identification",
                        "Identification of pump " + UnitLabel(pump) + " (at most 8 characters):",
                        text, kPumpIdChars, ui::GetCtrlText(panel, control)) < 0)
        return 0;
    ui::SetCtrlVal(panel, control, std::string(text, strnlen(text, kPumpIdChars)));
    return 0;
}

int SetPumpsID(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != PumpIdsPanel()) return 0;
    if (control != IDS_SEND) return CloseIDs(panel, control, event, nullptr, 0, 0);
    // Only the fields the operator could edit: a pump that came on line since the window
    // opened keeps its identification.
    for (int pump = 0; pump < kPumpCount; ++pump) {
        if (!g.enabledAtOpen[pump]) continue;
        const std::string text = fieldText(pump);
        PumpIdWrite w;
        std::memcpy(w.id.data(), text.data(), text.size());
        SendPumpCommand(pump, w);
        JournalPumpWrite(pump, "Identification written: \"%s\"", text.c_str());
        g.shown[pump] = text;
        ui::SetCtrlVal(panel, IDS_FIELD_FIRST + pump, text);
    }
    return 0;
}

int CloseIDs(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (panel == g.ids) g.ids = 0;
    if (ui::PanelExists(panel)) ui::DiscardPanel(panel);
    return 0;
}

void InstallPumpLinkHooks(LinkHooks& hooks) {
    hooks.showPumpConfig = ShowPumpConfig;
}

void ResetPumpDialogs() {
    g = {};
}
VNK_MODULE_STATE_RESET(hardware, hdw_pump, g, ResetPumpDialogs)

void BindPumpCallbacks() {
    using windows::BindCtrlCallback;
    BindCtrlCallback("SelectCharacteristics", SelectCharacteristics);
    BindCtrlCallback("PlungerDown", PlungerDown);
    BindCtrlCallback("PlungerUp", PlungerUp);
    BindCtrlCallback("ConfirmPlunger", ConfirmPlunger);
    BindCtrlCallback("Plung_Timer", Plung_Timer);
    BindCtrlCallback("SetPumpIds", SetPumpIds);
    BindCtrlCallback("EditPumpId", EditPumpId);
    BindCtrlCallback("SetPumpsID", SetPumpsID);
    BindCtrlCallback("CloseIDs", CloseIDs);
}

}  // namespace hardware
