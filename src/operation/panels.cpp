#include "operation/panels.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "link/live_units.h"
#include "link/operations.h"
#include "link/port_identity.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/serial_output.h"
#include "link/tx_queue.h"
#include "operation/alarm_annunciation.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using namespace windows;

// Neither 0 nor 1: the first refresh of a pump sets its pressure colours.
constexpr int kNoTripShown = 0xF6;
// No identification reads like this: the first refresh shows the pump's and asks for it.
constexpr char kNoIdShown[kPumpIdSize] = "-10";

// What a row's identification field says, besides a lost port.
enum IdSaid : int { kSaysId = 0, kSaysTripped = 1, kSaysOtherUnit = 2 };
constexpr int kOtherUnitBack = 0xFFB000;  // amber: a question for the operator, not a trip

struct PanelsState {
    float AverageDischargePressure = 0.0f;
    float SelectedPumpsTotal = 0.0f;
    float SelectedPumpsRate = 0.0f;
    float SelectedPumpsHhp = 0.0f;
    float SelectedPumpsRateBpm = 0.0f;
    float AverageDischargePsi = 0.0f;
    float SelectedPumpsHhpUs = 0.0f;
    float SelectedPumpsTotalBbl = 0.0f;
    PanelsState() {
        for (int& t : tripShown) t = kNoTripShown;
        for (int& t : idFieldSays) t = kNoTripShown;
        for (auto& id : idShown) std::memcpy(id, kNoIdShown, kPumpIdSize);
    }
    int tripShown[kPumpCount];              // the Tripped value each row's colours show
    int idFieldSays[kPumpCount];            // what each row's identification field says (IdSaid)
    char idShown[kPumpCount][kPumpIdSize];  // the identification each row knows
    std::vector<PumpIdShownHook> pumpIdHooks;
    bool operator==(const PanelsState&) const = default;
};
PanelsState g;
}  // namespace

float& AverageDischargePressure = g.AverageDischargePressure;
float& SelectedPumpsTotal = g.SelectedPumpsTotal;
float& SelectedPumpsRate = g.SelectedPumpsRate;
float& SelectedPumpsHhp = g.SelectedPumpsHhp;
float& SelectedPumpsRateBpm = g.SelectedPumpsRateBpm;
float& AverageDischargePsi = g.AverageDischargePsi;
float& SelectedPumpsHhpUs = g.SelectedPumpsHhpUs;
float& SelectedPumpsTotalBbl = g.SelectedPumpsTotalBbl;

namespace {

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}

// truncate(rpm / maxRpm x the bar's maximum), kept on the bar.
double speedBar(int panel, int bar, double rpm, double maxRpm) {
    if (!(maxRpm > 0.0)) return 0.0;
    const double low = ui::GetCtrlAttributeDouble(panel, bar, ui::ATTR_MIN_VALUE);
    const double high = ui::GetCtrlAttributeDouble(panel, bar, ui::ATTR_MAX_VALUE);
    const double v = std::trunc(rpm / maxRpm * high);
    if (!std::isfinite(v)) return 0.0;
    return v < low ? low : v > high ? high : v;
}

// The row's identification field: the pump's identification, or what the row must say
// instead (its trip, its port lost).
void sayOnRow(int pump, const std::string& text, int colour, int back) {
    const int panel = BankPanel[BankOf(pump)];
    const int id = BankRow[pump][kPosPumpId];
    ui::SetCtrlVal(panel, id, text);
    ui::SetCtrlAttribute(panel, id, ui::ATTR_TEXT_COLOR, colour);
    ui::SetCtrlAttribute(panel, id, ui::ATTR_TEXT_BGCOLOR, back);
}

void refreshRow(int pump) {
    PumpRecord& r = PumpTable[pump];
    SpeedCommandRecord& speed = PumpTable[pump].SpeedCommand;
    const int panel = BankPanel[BankOf(pump)];
    const int* ids = BankRow[pump];

    if (r.Tripped != g.tripShown[pump]) {
        const bool tripped = r.Tripped != 0;
        ui::SetCtrlAttribute(panel, ids[kPosDischarge], ui::ATTR_TEXT_BGCOLOR,
                             tripped ? ui::VAL_RED : ui::VAL_WHITE);
        ui::SetCtrlAttribute(panel, ids[kPosDischarge], ui::ATTR_TEXT_COLOR,
                             tripped ? ui::VAL_WHITE : ui::VAL_BLACK);
        g.tripShown[pump] = r.Tripped;
    }
    ui::SetCtrlVal(panel, ids[kPosAlarm], r.AlarmWord != 0 ? 1 : 0);
    ui::SetCtrlVal(panel, ids[kPosFault], r.FaultWord != 0 ? 1 : 0);
    ui::SetCtrlVal(panel, ids[kPosMotorRpm], static_cast<double>(r.MotorRpm));

    const bool driveOn = r.VfdOn != 0;
    ui::SetCtrlAttribute(panel, ids[kPosPowerOn], ui::ATTR_VISIBLE, driveOn ? 0 : 1);
    ui::SetCtrlAttribute(panel, ids[kPosPowerOff], ui::ATTR_VISIBLE, driveOn ? 1 : 0);
    // The drive's state as reported, unless a speed command of the station's own is on its
    // way: the report is older than it (a power-on the drive has not heard yet).
    if (!SpeedCommandQueued(pump)) {
        if (driveOn) {
            speed.Run = 1;
        } else {
            speed.Rpm = 0;
            speed.Run = 0;
            r.RpmSetpoint = 0;
        }
    }
    ui::SetCtrlAttribute(panel, ids[kPosPowerText], ui::ATTR_LABEL_TEXT,
                         std::string(driveOn ? "ON" : "OFF"));
    // The bar under the motor's speed shows that speed: a drive that faulted or tripped shows
    // an empty bar, not the set-point it no longer runs at.
    ui::SetCtrlVal(panel, ids[kPosSetpointBar],
                   speedBar(panel, ids[kPosSetpointBar], r.MotorRpm, r.MaxRpm));

    ui::SetCtrlVal(panel, ids[kPosDischarge], static_cast<double>(r.DischargePressure));
    ui::SetCtrlVal(panel, ids[kPosTrip], static_cast<double>(r.TripPressure));
    ui::SetCtrlVal(panel, ids[kPosRate], static_cast<double>(r.PumpRate));
    // Without a trip point there is nothing to compare with: the last percentage stands.
    if (r.TripPressure > 0.0f)
        ui::SetCtrlVal(panel, ids[kPosPercent],
                       static_cast<double>(r.DischargePressure) * 100.0 / r.TripPressure);

    if (pump == CurrentPump && DetailViewVisible()) RefreshDetailView(pump);

    // A reply may fill all nine bytes: the text ends within them.
    r.PumpId[kPumpIdSize - 1] = '\0';
    const bool newId = std::strncmp(r.PumpId, g.idShown[pump], kPumpIdSize) != 0;
    if (newId) {
        SendPumpCommand(pump, Op::ReadPumpId);
        for (PumpIdShownHook hook : g.pumpIdHooks) hook(pump, r.PumpId);
        std::memcpy(g.idShown[pump], r.PumpId, kPumpIdSize);
    }
    // A tripped pump says so in words on its row, not only by the colour of its pressure,
    // for as long as its controller reports the trip.
    // A pump whose port answers as another unit shows that unit's identification marked
    // until the operator confirms it.
    const int says = r.Tripped != 0 || r.TripWord != 0 ? kSaysTripped
                     : UnitUnconfirmed(pump)             ? kSaysOtherUnit
                                                         : kSaysId;
    if (newId || says != g.idFieldSays[pump]) {
        if (says == kSaysTripped)
            sayOnRow(pump, "TRIPPED", ui::VAL_WHITE, ui::VAL_RED);
        else if (says == kSaysOtherUnit)
            sayOnRow(pump, r.PumpId, ui::VAL_BLACK, kOtherUnitBack);
        else
            sayOnRow(pump, r.PumpId, kCaptionText, kNormalBack);
        g.idFieldSays[pump] = says;
    }
}

// Sums over the pumps on line. A value that is not a number (a failed sensor) is left
// out, so that one pump cannot turn the fleet values, and the controller that reads
// them, into nonsense.
void computeFleetValues() {
    double pressure = 0.0, volume = 0.0, rate = 0.0, hhp = 0.0, psi = 0.0, bpm = 0.0;
    double hp = 0.0, bbl = 0.0;
    int pressures = 0, psiPressures = 0;
    const auto add = [](double& sum, float v) {
        if (std::isfinite(v)) sum += v;
    };
    const auto average = [](double sum, int n) {
        return n > 0 ? static_cast<float>(sum / n) : 0.0f;
    };
    for (int p = 0; p < kPumpCount; ++p) {
        const PumpRecord& r = PumpTable[p];
        if (r.Online == 0) continue;
        if (std::isfinite(r.DischargePressure)) {
            pressure += r.DischargePressure;
            ++pressures;
        }
        const float us = LiveUs(r, &PumpRecord::DischargePressure);
        if (std::isfinite(us)) {
            psi += us;
            ++psiPressures;
        }
        add(volume, r.TotalVolume);
        add(rate, r.PumpRate);
        add(bpm, LiveUs(r, &PumpRecord::PumpRate));
        add(hhp, r.HydraulicHp);
        add(hp, LiveUs(r, &PumpRecord::HydraulicHp));
        add(bbl, LiveUs(r, &PumpRecord::TotalVolume));
    }
    AverageDischargePressure = average(pressure, pressures);
    SelectedPumpsTotal = static_cast<float>(volume);
    SelectedPumpsRate = static_cast<float>(rate);
    SelectedPumpsHhp = static_cast<float>(hhp);
    AverageDischargePsi = average(psi, psiPressures);
    SelectedPumpsRateBpm = static_cast<float>(bpm);
    SelectedPumpsHhpUs = static_cast<float>(hp);
    SelectedPumpsTotalBbl = static_cast<float>(bbl);
}

// Which pumps the fleet values count: every pump on line, those of hidden bank windows too.
std::string fleetScope() {
    const int shown = settings::Config.PumpsShown;
    const int shownPumps = shown <= 8 ? 8 : shown <= 16 ? 16 : kPumpCount;
    int online = 0, hidden = 0;
    for (int p = 0; p < kPumpCount; ++p) {
        if (PumpTable[p].Online == 0) continue;
        ++online;
        if (p >= shownPumps) ++hidden;
    }
    if (online == 0) return "Fleet values: no pump on line";
    std::string text = "Fleet values of the " + std::to_string(online) +
                       (online == 1 ? " pump on line" : " pumps on line");
    if (hidden > 0)
        text += ", " + std::to_string(hidden) + " of them hidden (Pumps " +
                std::to_string(shownPumps + 1) + "-" + std::to_string(kPumpCount) + ")";
    return text;
}

void showFleetValues() {
    const std::string scope = fleetScope();
    for (int panel : BankPanel) {
        if (panel == 0) continue;
        ui::SetCtrlVal(panel, BANK_FLEET_SCOPE, scope);
        ui::SetCtrlVal(panel, BANK_AVG_PRESSURE, static_cast<double>(AverageDischargePressure));
        ui::SetCtrlVal(panel, BANK_TOTAL_RATE, static_cast<double>(SelectedPumpsRate));
        ui::SetCtrlVal(panel, BANK_TOTAL_VOLUME, static_cast<double>(SelectedPumpsTotal));
        ui::SetCtrlVal(panel, BANK_TOTAL_HHP, static_cast<double>(SelectedPumpsHhp));
    }
}

}  // namespace

void RefreshBanks() {
    for (int pump = 0; pump < kPumpCount; ++pump)
        if (PumpTable[pump].Online != 0) refreshRow(pump);
    computeFleetValues();
    showFleetValues();
}

int DisplayTimerTick(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    SerialOutputLine();
    RefreshBanks();
    if (DetailViewVisible() && CurrentPump < kPumpCount) SetDetailViewIndicators(CurrentPump);
    // A window that hides the banks may have opened over an alarm not yet acknowledged.
    AnnounceAlarms();
    return 0;
}

void SetRowDimmed(int pump, bool dim) {
    if (!validPump(pump)) return;
    const int panel = BankPanel[BankOf(pump)];
    if (panel == 0) return;
    for (int position = 0; position < kRowPositionCount; ++position)
        ui::SetCtrlAttribute(panel, BankRow[pump][position], ui::ATTR_DIMMED, dim ? 1 : 0);
}

// Dark enough red that the dimmed row's pale text still reads on it.
constexpr int kLostBack = 0x8C0000;

void ShowRowPortState(int pump) {
    if (!validPump(pump) || BankPanel[BankOf(pump)] == 0) return;
    // Back, the field waits empty for the pump's identification.
    const bool lost = PumpTable[pump].PortConfig.Lost;
    if (lost)
        sayOnRow(pump, "COM" + std::to_string(PumpTable[pump].ComPort) + " lost", ui::VAL_WHITE,
                 kLostBack);
    else
        sayOnRow(pump, "", kCaptionText, kNormalBack);
    // Readable on the dimmed row (a tap on it still opens the identification window).
    ui::SetCtrlAttribute(BankPanel[BankOf(pump)], BankRow[pump][kPosPumpId], ui::ATTR_DIMMED,
                         lost || PumpTable[pump].Online != 0 ? 0 : 1);
    std::memset(g.idShown[pump], 0, kPumpIdSize);
    g.idFieldSays[pump] = kSaysId;
}

void Bring_Frac_Offline(int dim, int pump) {
    if (!validPump(pump)) return;
    SetRowDimmed(pump, dim != 0);
    if (DetailViewVisible() && CurrentPump == pump) CloseDetailView();
    if (dim == 0) return;
    // The link has cleared the live values and Online is still set: the zeroes reach the
    // row before it stops being refreshed.
    RefreshBanks();
    sayOnRow(pump, "", kCaptionText, kNormalBack);
    g.idFieldSays[pump] = kSaysId;
}

void AutoPrecisionAI(int panel, int control) {
    const double v = ui::GetCtrlDouble(panel, control);
    int decimals = DecimalsForSize(v);
    const bool fixed = v == 0.0 || decimals < kTooSmallForDecimals;
    if (decimals == kTooSmallForDecimals) decimals = 3;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_PRECISION, decimals);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_FORMAT,
                         fixed ? ui::FMT_DECIMAL : ui::FMT_SCIENTIFIC);
}

void InstallDisplayLinkHooks(LinkHooks& hooks) {
    hooks.bringFracOffline = Bring_Frac_Offline;
    hooks.displayUnits = [] { return settings::MetricUnits() ? 1 : 0; };
}

void AddPumpIdShownHook(PumpIdShownHook hook) {
    if (hook != nullptr) g.pumpIdHooks.push_back(hook);
}

void ResetPanels() {
    g = {};
    ResetDetailView();
    ResetDisplayPrefs();
}
VNK_MODULE_STATE_RESET(operation, panels, g, ResetPanels)

void BindPanelCallbacks() {
    windows::BindCtrlCallback("DisplayTimerTick", DisplayTimerTick);
    windows::BindCtrlCallback("Display_Pump_Panel", Display_Pump_Panel);
    windows::BindCtrlCallback("GoToNextPump", GoToNextPump);
    windows::BindCtrlCallback("GoToPreviousPump", GoToPreviousPump);
    windows::BindCtrlCallback("Close_Current_Pump", Close_Current_Pump);
    BindDisplayPrefCallbacks();
}

}  // namespace operation
