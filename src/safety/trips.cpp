#include "safety/trips.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "link/live_units.h"
#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/numpadcode.h"
#include "operation/pumpgroup.h"
#include "platform/journal.h"
#include "settings/config_record.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace safety {

namespace {

using settings::MetricUnits;
using windows::kPosSetTrip;
using windows::kPosTrip;

// An operator's metric trip point (MPa) to psi: the station's own factor for entered trip
// points, not quite the inverse of the display's.
constexpr double kMpaToPsi = 145.037;

constexpr const char* kAllTripTitle = "Set All Trip Points";

bool shownPump() {
    return CurrentPump < kPumpCount;
}

std::string psiText(double psi) {
    return std::to_string(static_cast<int>(psi)) + " PSI";
}

void sendTrip(int pump, float psi) {
    SendPumpCommand(pump, TripPressureWrite{psi});
}

std::string pressureUnits() {
    return MetricUnits() ? "MPa" : "PSI";
}

// The psi limits in the display units: the keypad refuses a number outside them at OK.
void setRange(int panel, int control) {
    if (panel == 0 || !ui::CtrlExists(panel, control)) return;
    const double scale = MetricUnits() ? 1.0 / kMpaToPsi : 1.0;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_MIN_VALUE, kTripPsiMin * scale);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_MAX_VALUE, kTripPsiMax * scale);
}

// The all-pumps fields are never shown: their decimals are only those the keypad states
// the range in, as a row's trip field has them.
void setAllTripRange(int panel, int control) {
    setRange(panel, control);
    if (panel != 0 && ui::CtrlExists(panel, control))
        ui::SetCtrlAttribute(panel, control, ui::ATTR_PRECISION, MetricUnits() ? 2 : 0);
}

void openAllTripKeypad(int panel, int control) {
    KeypadField field;
    field.name = "All pumps trip point";
    field.units = pressureUnits();
    field.blank = true;  // a number that reaches every pump is typed, never one tap away
    OpenKeypadFor(panel, control, 0, field, TripValChanged2);
}

std::string pumpsText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " pump" : " pumps");
}

// The question before a trip point goes to the whole fleet: how many pumps it reaches, the
// value as typed and in psi, and how many of them read more now and would trip at once.
std::string allTripQuestion(const std::vector<int>& pumps, double entered, double psi) {
    char value[64];
    if (MetricUnits())
        std::snprintf(value, sizeof value, "%.2f MPa (%s)", entered, psiText(psi).c_str());
    else
        std::snprintf(value, sizeof value, "%s", psiText(psi).c_str());
    std::string text = "Set the trip point of " + pumpsText(pumps.size()) + " on line to " +
                       value + "?";
    std::size_t above = 0;
    for (int pump : pumps)
        if (LiveUs(PumpTable[pump], &PumpRecord::DischargePressure) >= psi) ++above;
    if (above > 0)
        text += "\n" + pumpsText(above) + (above == 1 ? " reads more: it will trip." :
                                                           " read more: they will trip.");
    return text;
}

}  // namespace

double EnteredTripPsi(double entered) {
    const double psi = MetricUnits() ? entered * kMpaToPsi : entered;
    if (psi >= kTripPsiMin && psi < kTripPsiMax + 1.0) return static_cast<int>(psi);
    char text[160];
    if (MetricUnits())
        std::snprintf(text, sizeof text, "A trip point must lie between %.3f and %.1f MPa.",
                      kTripPsiMin / kMpaToPsi, kTripPsiMax / kMpaToPsi);
    else
        std::snprintf(text, sizeof text, "A trip point must lie between %.0f and %.0f PSI.",
                      kTripPsiMin, kTripPsiMax);
    ui::MessagePopup("Trip Point", text);
    return -1.0;
}

int Set_Overpressure_Trip_Point(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int pump = PumpOfRowCtrl(panel, control, kPosSetTrip);
    if (pump < 0) return 0;
    // Named by the row's position label; the field's units label gives PSI or MPa.
    KeypadField field;
    field.name = "Pump " + windows::UnitLabel(pump) + " trip point";
    OpenKeypadFor(panel, BankRow[pump][kPosTrip], 0, field, TripValChanged);
    return 0;
}

void TripValChanged(int panel, int control) {
    const int pump = PumpOfRowCtrl(panel, control, kPosTrip);
    if (pump < 0) return;
    // OK on the value as shown sends the pump's own trip point back, not the shown number
    // converted again (62.05 MPa is 8999 psi, where the pump holds 9000); one it could not
    // take is judged as typed.
    double psi = -1.0;
    if (KeypadValueAsShown()) {
        const double held = std::round(LiveUs(PumpTable[pump], &PumpRecord::TripPressure));
        if (held >= kTripPsiMin && held <= kTripPsiMax) psi = held;
    }
    if (psi < 0) psi = EnteredTripPsi(KeypadValue);
    if (psi < 0) return;
    journal::Record(pump, journal::Kind::Command, "Trip point " + psiText(psi));
    for (int target : PumpOrGroupTargets(pump)) sendTrip(target, static_cast<float>(psi));
}

void TripValChanged2(int, int) {
    const double entered = KeypadValue;
    const double psi = EnteredTripPsi(entered);
    if (psi < 0) return;
    std::vector<int> pumps;
    for (int pump = 0; pump < kPumpCount; ++pump)
        if (PumpTable[pump].Online != 0) pumps.push_back(pump);
    if (pumps.empty()) {
        ui::MessagePopup(kAllTripTitle, "No pump is on line: no trip point was set.");
        return;
    }
    // The question waits on a loop of its own: the fleet may change meanwhile, and only the
    // pumps it named that are still on line get the value.
    if (ui::ConfirmPopup(kAllTripTitle, allTripQuestion(pumps, entered, psi)) != 1) return;
    journal::Record(journal::kNoPump, journal::Kind::Command, "All trip points " + psiText(psi));
    for (int pump : pumps)
        if (PumpTable[pump].Online != 0) sendTrip(pump, static_cast<float>(psi));
}

void SetAllPressTripPoints(int, int, void*, int panel) {
    if (panel != 0 && panel == DetailPanel)
        openAllTripKeypad(DetailPanel, windows::DETAIL_ALL_TRIP);
    else if (panel != 0)
        openAllTripKeypad(panel, windows::BANK_ALL_TRIP);
}

int ResetAlarms(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || !shownPump()) return 0;
    journal::Record(CurrentPump, journal::Kind::Command, "Reset alarms");
    SendToPumpOrGroup(CurrentPump, Op::ResetAlarms);
    return 0;
}

int OverrideShutdown(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || !shownPump()) return 0;
    journal::Record(CurrentPump, journal::Kind::Command, "Shutdown override on");
    SendToPumpOrGroup(CurrentPump, ShutdownOverride{1});
    return 0;
}

int StopOverride(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || !shownPump()) return 0;
    journal::Record(CurrentPump, journal::Kind::Command, "Shutdown override off");
    SendToPumpOrGroup(CurrentPump, ShutdownOverride{0});
    return 0;
}

bool ManualSpeedAllowed(int pump) {
    if (pump < 0 || pump >= kPumpCount) return false;
    const PumpRecord& r = PumpTable[pump];
    return r.TripWord == 0 && (r.FaultWord == 0 || r.StatusFlag2 != 0) && r.VfdOn != 0;
}

void ShowTripFieldRanges() {
    for (int pump = 0; pump < kPumpCount; ++pump)
        setRange(BankPanel[BankOf(pump)], BankRow[pump][kPosTrip]);
    for (int panel : BankPanel) setAllTripRange(panel, windows::BANK_ALL_TRIP);
    setAllTripRange(DetailPanel, windows::DETAIL_ALL_TRIP);
}

void InstallTrips() {
    AddUnitsChangedHook(ShowTripFieldRanges);
}

void BindTripCallbacks() {
    windows::BindCtrlCallback("Set_Overpressure_Trip_Point", Set_Overpressure_Trip_Point);
    windows::BindCtrlCallback("ResetAlarms", ResetAlarms);
    windows::BindCtrlCallback("OverrideShutdown", OverrideShutdown);
    windows::BindCtrlCallback("StopOverride", StopOverride);
    windows::BindMenuCallback("SetAllPressTripPoints", SetAllPressTripPoints);
    RegisterValueOnlyCompletion(TripValChanged);
    RegisterValueOnlyCompletion(TripValChanged2);
}

}  // namespace safety
