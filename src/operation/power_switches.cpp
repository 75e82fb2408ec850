#include "operation/power_switches.h"

#include <string>
#include <vector>

#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/program_dir.h"
#include "platform/system.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using windows::kPosPowerOff;
using windows::kPosPowerOn;

// Focus goes back to the window's title: a switch never keeps it, so a stray key press
// cannot throw it again.
void releaseFocus(int panel) {
    ui::SetActiveCtrl(panel, windows::BANK_TITLE);
    platform::ProcessDrawEvents();
}

int rowSwitch(int panel, int control, int event, int position, int run) {
    releaseFocus(panel);
    if (event != ui::EVENT_COMMIT) return 0;
    const int pump = PumpOfRowCtrl(panel, control, position);
    if (pump < 0) return 0;
    PlaySwitchSound();
    journal::Record(pump, journal::Kind::Command, run != 0 ? "Power on" : "Power off");
    SetPumpPower(pump, run);
    return 0;
}

int detailSwitch(int event, int run) {
    if (event != ui::EVENT_COMMIT || CurrentPump >= kPumpCount) return 0;
    PlaySwitchSound();
    journal::Record(CurrentPump, journal::Kind::Command, run != 0 ? "Power on" : "Power off");
    SetPumpPower(CurrentPump, run);
    return 0;
}

}  // namespace

void SetPumpPower(int pump, int run) {
    if (pump < 0 || pump >= kPumpCount) return;
    PumpTable[pump].SpeedCommand.Rpm = 0;
    PumpTable[pump].RpmSetpoint = 0;
    PumpTable[pump].SpeedCommand.Run = static_cast<std::uint8_t>(run != 0 ? 1 : 0);
    SendSpeedCommandNow(pump);
}

void PlaySwitchSound() {
    platform::systemBackEnd().playSound(platform::ProgramFile("switch.wav"));
}

int PowerSwitchOn(int panel, int control, int event, void*, int, int) {
    return rowSwitch(panel, control, event, kPosPowerOn, 1);
}
int PowerSwitchOff(int panel, int control, int event, void*, int, int) {
    return rowSwitch(panel, control, event, kPosPowerOff, 0);
}
int ZoomedPowerSwitchOn(int, int, int event, void*, int, int) {
    return detailSwitch(event, 1);
}
int ZoomedPowerSwitchOff(int, int, int event, void*, int, int) {
    return detailSwitch(event, 0);
}

void AllVfdsOn(int, int, void*, int panel) {
    std::vector<int> pumps;
    for (int pump = 0; pump < kPumpCount; ++pump)
        if (PumpTable[pump].Online != 0) pumps.push_back(pump);
    if (pumps.empty()) return;
    // A power-on reaches the whole fleet: asked first, No the default. The question waits
    // on a loop of its own; only the pumps it named that are still on line are switched.
    const std::string question = "Switch on the drives of " + std::to_string(pumps.size()) +
                                 (pumps.size() == 1 ? " pump?" : " pumps?");
    if (ui::ConfirmPopup("All VFDs On", question, {.owner = panel}) != 1) return;
    journal::Record(journal::kNoPump, journal::Kind::Command, "All drives on");
    bool any = false;
    for (int pump : pumps) {
        if (PumpTable[pump].Online == 0) continue;
        SetPumpPower(pump, 1);
        any = true;
    }
    if (any) PlaySwitchSound();
}

void AllVfdsOff(int, int, void*, int) {
    journal::Record(journal::kNoPump, journal::Kind::Command, "All drives off");
    for (int pump = 0; pump < kPumpCount; ++pump) SetPumpPower(pump, 0);
    PlaySwitchSound();
}

void BindPowerSwitchCallbacks() {
    windows::BindCtrlCallback("PowerSwitchOn", PowerSwitchOn);
    windows::BindCtrlCallback("PowerSwitchOff", PowerSwitchOff);
    windows::BindCtrlCallback("ZoomedPowerSwitchOn", ZoomedPowerSwitchOn);
    windows::BindCtrlCallback("ZoomedPowerSwitchOff", ZoomedPowerSwitchOff);
    windows::BindMenuCallback("AllVfdsOn", AllVfdsOn);
    windows::BindMenuCallback("AllVfdsOff", AllVfdsOff);
}

}  // namespace operation
