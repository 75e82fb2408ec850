#include "operation/commands.h"

#include <string>

#include "link/live_units.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "operation/alarm_annunciation.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "operation/pumpgroup.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using namespace windows;

struct Button {
    int position;
    SpeedStep step;
};
constexpr Button kSpeedButtons[] = {{kPosStepUpLarge, SpeedStep::UpLarge},
                                    {kPosStepUpSmall, SpeedStep::UpSmall},
                                    {kPosStepDownSmall, SpeedStep::DownSmall},
                                    {kPosStepDownLarge, SpeedStep::DownLarge},
                                    {kPosStop, SpeedStep::Stop}};

struct CommandsState {
    SpeedInterlock interlock;
    double refusalUntil[kBankCount] = {};  // Timer() when each bank's refusal line goes
    // The zero the operator said yes to over the guard, while the password is asked: the
    // pump and the reading (psi) he was asked about.
    int zeroAnywayPump = -1;
    double zeroAnywayPsi = 0.0;
    bool operator==(const CommandsState&) const = default;
};
CommandsState g;
ZeroPasswordGate zeroPasswordGate = nullptr;  // wiring, not state

bool interlockInstalled() {
    const SpeedInterlock& i = g.interlock;
    return i.estopActive != nullptr && i.showEStopWindow != nullptr && i.raiseAllowed != nullptr &&
           i.heldBecause != nullptr;
}

// Why the interlock keeps a manual raise off this pump, as the refusal line says it.
const char* notAllowedBecause(int pump) {
    const PumpRecord& r = PumpTable[pump];
    if (r.TripWord != 0) return "pump tripped";
    if (r.VfdOn == 0) return "drive off";
    return "drive fault";
}

void hideRefusalWhenDue(int bank) {
    const int panel = BankPanel[bank];
    // A later refusal on the same bank keeps the line for its own time.
    if (panel == 0 || platform::Timer() < g.refusalUntil[bank] - 0.01) return;
    ui::SetCtrlAttribute(panel, windows::BANK_REFUSAL, ui::ATTR_VISIBLE, 0);
}

void showCeilingRefusal(int pump) {
    ShowRaiseRefusal(ui::CurrentOperatorEvent().first, pump, "maximum speed unknown");
}

bool estopActive() {
    return g.interlock.estopActive != nullptr && g.interlock.estopActive();
}

// The E-stop window in front. It stays where it opened (over the bank windows, clear of their
// STOP column): a window that jumped under the finger would take the next tap.
void raiseEStopWindow() {
    if (g.interlock.showEStopWindow != nullptr) g.interlock.showEStopWindow();
}

bool shownPump() {
    return CurrentPump < kPumpCount;
}

// In the units the pump's record holds, whatever the display shows now.
double dischargePsi(int pump) {
    return LiveUs(PumpTable[pump], &PumpRecord::DischargePressure);
}

}  // namespace

const char* SpeedStepText(SpeedStep step) {
    switch (step) {
        case SpeedStep::UpLarge:
            return "Speed up (large step)";
        case SpeedStep::UpSmall:
            return "Speed up (small step)";
        case SpeedStep::DownSmall:
            return "Speed down (small step)";
        case SpeedStep::DownLarge:
            return "Speed down (large step)";
        case SpeedStep::Idle:
            return "Idle";
        case SpeedStep::Stop:
            break;
    }
    return "STOP";
}

int Change_RPMs(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    int pump = -1;
    SpeedStep step = SpeedStep::Stop;
    for (const Button& b : kSpeedButtons) {
        const int p = PumpOfRowCtrl(panel, control, b.position);
        if (p >= 0) {
            pump = p;
            step = b.step;
        }
    }
    if (pump < 0) return 0;
    const std::string text = SpeedStepText(step);
    // Whether the press raises is decided by the speeds it would send to the pumps it
    // reaches (a group's members with it), not by its button.
    bool raises = false;
    for (int target : PumpOrGroupTargets(pump, true)) raises = raises || StepRaises(target, step);
    if (raises && !interlockInstalled()) {
        journal::Record(pump, journal::Kind::Command, text + " refused: no interlock installed");
        return 0;
    }
    if (estopActive()) raiseEStopWindow();
    // Nothing speeds a pump up while an E-stop or the inline trip holds the fleet.
    if (const RaiseHold hold = raises ? RaiseHeld(pump) : RaiseHold::None;
        hold != RaiseHold::None) {
        journal::Record(pump, journal::Kind::Command, text + " refused: " + RaiseHoldText(hold));
        ShowRaiseRefusal(panel, pump, g.interlock.heldBecause(hold));
        return 0;
    }
    // A manual change takes the pump out of automatic control.
    SetAutoSelected(pump, false, AutoChange::Manual);
    if (raises && !g.interlock.raiseAllowed(pump)) {
        journal::Record(pump, journal::Kind::Command, text + " refused: tripped or faulted");
        ShowRaiseRefusal(panel, pump, notAllowedBecause(pump));
        return 0;
    }
    journal::Record(pump, journal::Kind::Command, text);
    Send_RPM_Request(pump, step);
    PollPump(pump);  // out of turn, so that the new speed shows at once
    return 0;
}

void ZeroPressures(const std::vector<int>& pumps, int askAbout) {
    std::string refused;
    bool ask = false;
    for (int pump : pumps) {
        const double psi = dischargePsi(pump);
        if (!(psi > kZeroRefusedAbovePsi)) {
            SendPumpCommand(pump, Op::ZeroPressure);
        } else if (pump == askAbout && zeroPasswordGate != nullptr) {
            ask = true;
        } else {
            refused += (refused.empty() ? "" : ", ") + windows::UnitLabel(pump) + " (" +
                       PressureText(static_cast<float>(psi)) + ")";
        }
    }
    if (!refused.empty())
        ui::MessagePopup("Zero Pressure",
                         "Pump " + refused + " not zeroed: the discharge reads above " +
                             PressureText(static_cast<float>(kZeroRefusedAbovePsi)) +
                             ". Zero a pump only with its line vented; a transducer that has "
                             "drifted is zeroed from its detail view.");
    if (!ask) return;
    const double psi = dischargePsi(askAbout);
    const std::string question = windows::PumpName(askAbout) + " reads " +
                                 PressureText(static_cast<float>(psi)) + ". Zero it anyway?";
    if (ui::ConfirmPopup("Zero Pressure", question) != 1) return;
    g.zeroAnywayPump = askAbout;
    g.zeroAnywayPsi = psi;
    zeroPasswordGate(DetailPanel);
}

void ZeroAnywayGranted() {
    const int pump = g.zeroAnywayPump;
    const double asked = g.zeroAnywayPsi;
    g.zeroAnywayPump = -1;
    if (pump < 0 || pump >= kPumpCount) return;
    const std::string name = windows::PumpName(pump);
    if (!PumpRowEnabled(pump)) {
        ui::MessagePopup("Zero Pressure", name + " is off line: not zeroed.");
        return;
    }
    const double psi = dischargePsi(pump);
    if (!(psi <= asked + kZeroRefusedAbovePsi)) {
        ui::MessagePopup("Zero Pressure", name + " now reads " +
                                              PressureText(static_cast<float>(psi)) + ", not the " +
                                              PressureText(static_cast<float>(asked)) +
                                              " it read when asked: not zeroed.");
        return;
    }
    journal::Record(
        pump, journal::Kind::Command,
        "Zero discharge pressure at " + NumberText(psi, 0) + " psi, over the guard, by password");
    SendPumpCommand(pump, Op::ZeroPressure);
}

void SetZeroPasswordGate(ZeroPasswordGate gate) {
    zeroPasswordGate = gate;
}

int Zero_Discharge_Pressure(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || !shownPump()) return 0;
    journal::Record(CurrentPump, journal::Kind::Command, "Zero discharge pressure");
    ZeroPressures(PumpOrGroupTargets(CurrentPump), CurrentPump);
    return 0;
}

int Clear_Totals(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || !shownPump()) return 0;
    journal::Record(CurrentPump, journal::Kind::Command, "Clear totals");
    SendToPumpOrGroup(CurrentPump, Op::ClearTotals);
    return 0;
}

void SetSpeedInterlock(const SpeedInterlock& interlock) {
    g.interlock = interlock;
}

bool SpeedInterlockInstalled() {
    return interlockInstalled();
}

void ShowRaiseRefusal(int panel, int pump, const std::string& why) {
    int bank = BankOfPanel(panel);
    if (bank < 0) bank = pump >= 0 && pump < kPumpCount ? BankOf(pump) : -1;
    if (bank < 0 || BankPanel[bank] == 0) return;
    ui::SetCtrlVal(BankPanel[bank], windows::BANK_REFUSAL, "Speed up refused: " + why);
    ui::SetCtrlAttribute(BankPanel[bank], windows::BANK_REFUSAL, ui::ATTR_VISIBLE, 1);
    g.refusalUntil[bank] = platform::Timer() + kRefusalSeconds;
    platform::loop().post(kRefusalSeconds, [bank] { hideRefusalWhenDue(bank); });
}

void InstallCommands() {
    SetCeilingRefusal(showCeilingRefusal);
}

void BindCommandCallbacks() {
    windows::BindCtrlCallback("Change_RPMs", Change_RPMs);
    windows::BindCtrlCallback("Zero_Discharge_Pressure", Zero_Discharge_Pressure);
    windows::BindCtrlCallback("Clear_Totals", Clear_Totals);
}

void ResetCommands() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, commands, g, ResetCommands)

}  // namespace operation
