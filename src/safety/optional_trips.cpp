#include "safety/optional_trips.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/display_prefs.h"
#include "operation/fleet_banner.h"
#include "operation/numpadcode.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/trace.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace safety {

namespace {

// A reading may arrive cut in two by TCP. Once the peer has been seen to end its readings
// with CR or LF, the unterminated end of a read is kept here and joined to the start of the
// next read. A peer that never ends its readings keeps each read on its own ("1400" then
// "1400" is never 14001400).
constexpr std::size_t kMaxKeptTail = 64;  // far longer than any pressure text
struct InlineReading {
    bool peerTerminates = false;
    std::string tail;
    bool operator==(const InlineReading&) const = default;
};
struct OptionalTripsState {
    std::uint8_t InlineTripEnabled = 0;
    float InlineTripValue = 1000.0f;  // psi
    int panel = 0;                    // the open optional-trips window
    void (*tripHook)() = nullptr;
    InlineReading reading;
    bool holding = false;    // tripped, and no reading below the trip value since
    double heldAtPsi = 0.0;  // the newest reading at or above the trip value while holding
    double readingPsi = std::nan("");  // the present reading
    bool operator==(const OptionalTripsState& o) const {
        // NaN is no reading: two states without one are alike.
        const bool sameReading =
            readingPsi == o.readingPsi || (std::isnan(readingPsi) && std::isnan(o.readingPsi));
        return InlineTripEnabled == o.InlineTripEnabled && InlineTripValue == o.InlineTripValue &&
               panel == o.panel && tripHook == o.tripHook && reading == o.reading &&
               holding == o.holding && heldAtPsi == o.heldAtPsi && sameReading;
    }
};
OptionalTripsState g;

}  // namespace

std::uint8_t& InlineTripEnabled = g.InlineTripEnabled;
float& InlineTripValue = g.InlineTripValue;

namespace {

std::uint16_t alarmWord() {
    return static_cast<std::uint16_t>(AlarmOptions[0] | (AlarmOptions[1] << 8));
}

void setAlarmWord(std::uint16_t word) {
    AlarmOptions[0] = static_cast<std::uint8_t>(word & 0xFF);
    AlarmOptions[1] = static_cast<std::uint8_t>(word >> 8);
}

// The keypad's OK on the trip value: checked like an entry made in the field.
void inlineValueEntered(int panel, int control) {
    SetInlinePressure(panel, control, ui::EVENT_COMMIT, nullptr, 0, 0);
}

// The pressure of one piece, or NaN when it is no number. Leading blanks and a '+' are
// allowed; what follows the number is not looked at ("6523.4 psi").
double pressureOf(std::string_view piece) {
    while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t'))
        piece.remove_prefix(1);
    if (!piece.empty() && piece.front() == '+') piece.remove_prefix(1);
    double v = std::nan("");
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), v);
    (void)end;
    if (error == std::errc::result_out_of_range) return HUGE_VAL;  // "1e999": beyond any trip
    return error == std::errc{} ? v : std::nan("");
}

constexpr const char* kInlineTripName = "Inline overpressure trip: all pumps idled";

// The hold on the banner, its pressures in the display units of the moment.
void showHold() {
    if (!g.holding) {
        operation::ClearFleetCondition(operation::FleetCondition::InlineTrip);
        return;
    }
    const double value = static_cast<double>(InlineTripValue);
    operation::SetFleetCondition(operation::FleetCondition::InlineTrip, operation::BannerTone::Held,
                                 "INLINE OVERPRESSURE " + PressureText(g.heldAtPsi) +
                                     (g.heldAtPsi > value ? " > " : " ≥ ") + PressureText(value) +
                                     " — all pumps held at idle");
}

void endHold() {
    g.holding = false;
    showHold();
}

// The trip at a pressure at or above the trip value: the fleet held, automatic control
// ended, every pump idled.
void trip(double psi) {
    TRACE(ops, "inline pressure %.0f psi at or above the trip value %.0f: idle all", psi,
          static_cast<double>(InlineTripValue));
    journal::SetAlarm(journal::kNoPump, journal::Kind::Inline, kInlineTripName);
    g.holding = true;
    g.heldAtPsi = psi;
    showHold();
    if (g.tripHook != nullptr) g.tripHook();
    IdleAllPumps();
}

// One pressure text against the trip value: true when it trips (the idle has gone out).
bool checkPiece(std::string_view piece) {
    const double p = std::trunc(pressureOf(piece));
    // NaN compares false: a text that is no number never trips, and never fails safe into a
    // trip either, nor ends a hold.
    if (p >= static_cast<double>(InlineTripValue)) {
        trip(p);
        return true;
    }
    if (p < static_cast<double>(InlineTripValue)) {
        journal::ClearAlarm(journal::kNoPump, journal::Kind::Inline, kInlineTripName,
                            "Inline pressure below the trip value again");
        endHold();
    }
    return false;
}

// A trip that is switched off can no longer be seen to clear: its alarm clears now (it still
// waits for acknowledgement), rather than stay active for good, across restarts too; its
// hold ends.
void clearInlineAlarmWhenOff() {
    if (InlineTripEnabled == 1) return;
    journal::ClearAlarm(journal::kNoPump, journal::Kind::Inline, kInlineTripName,
                        "Inline overpressure trip switched off");
    if (g.holding) endHold();
}

// The pieces of a read in order, each whole as it arrives: a continuation of the reading
// the last read left unfinished (joined already) is not a piece of its own.
template <class Fn>
bool forEachPiece(std::string_view read, std::string_view separators, bool continues, Fn fn) {
    for (bool first = true; !read.empty(); first = false) {
        const std::size_t cut = read.find_first_of(separators);
        const std::string_view piece = read.substr(0, cut);
        read = cut == std::string_view::npos ? std::string_view{} : read.substr(cut + 1);
        if (!(first && continues) && fn(piece)) return true;
    }
    return false;
}

// The highest number among the pieces of a read (the joined reading included), NaN when none
// is one: what the operator is shown, and what switching the trip on is weighed against.
void notePresentReading(std::string_view joined, std::string_view read,
                        std::string_view separators) {
    double highest = std::nan("");
    const auto note = [&highest](std::string_view piece) {
        const double p = std::trunc(pressureOf(piece));
        if (!std::isnan(p) && !(p <= highest)) highest = p;
        return false;
    };
    if (!joined.empty()) note(joined);
    forEachPiece(read, separators, !joined.empty(), note);
    g.readingPsi = highest;
}

}  // namespace

void LoadInlineTripSettings() {
    InlineTripEnabled = settings::ReadSetting(settings::kInlineOpTrip) != 0 ? 1 : 0;
    std::optional<double> refused;
    InlineTripValue = settings::ReadInlineTripValue(&refused);
    clearInlineAlarmWhenOff();
    // A value above what the window takes (a store edited by hand, or an older one) is not
    // used: the operator learns which one, and what trips instead, before anything runs.
    if (refused) {
        const std::string text = "The settings store holds an Inline OP Value of " +
                                 NumberText(*refused, 4) + " psi, above the " +
                                 NumberText(settings::kInlineTripMaxPsi, 0) +
                                 " psi the inline trip takes. The inline trip uses " +
                                 NumberText(static_cast<double>(InlineTripValue), 0) +
                                 " psi until a value is entered (Setup > Optional Trips...).";
        journal::Record(journal::kNoPump, journal::Kind::Settings, text);
        ui::MessagePopup("Inline OP Value", text);
    }
}

bool CheckInlinePressure(std::string_view read) {
    const std::string_view separators("\r\n\0", 3);
    const std::size_t firstCut = read.find_first_of(separators);
    const std::size_t lastCut = read.find_last_of(separators);
    // A reading the last read left unfinished, finished by the start of this one. A read
    // that starts with a terminator only ends the kept text, which was checked already.
    std::string joined;
    if (!g.reading.tail.empty() && !read.empty() && firstCut != 0) {
        joined = g.reading.tail;
        joined.append(read.substr(0, firstCut));
    }
    if (firstCut != std::string_view::npos) g.reading.peerTerminates = true;
    if (!g.reading.peerTerminates)
        g.reading.tail.clear();
    else if (lastCut == std::string_view::npos)
        g.reading.tail.append(read);  // still unfinished
    else
        g.reading.tail.assign(read.substr(lastCut + 1));
    if (g.reading.tail.size() > kMaxKeptTail) g.reading.tail.clear();
    notePresentReading(joined, read, separators);
    if (InlineTripEnabled != 1) {
        clearInlineAlarmWhenOff();
        return false;
    }

    // The joined reading, then every other piece of the read at once and whole, as it
    // arrives: an unterminated "1500.9" trips now, while "15000\r\n" finishing a kept "0."
    // is 0.15000 and nothing else.
    if (!joined.empty() && checkPiece(joined)) return true;
    return forEachPiece(read, separators, !joined.empty(), checkPiece);
}

void ResetInlineReading() {
    g.reading = {};
    g.readingPsi = std::nan("");
}

bool InlineTripHolds() {
    return InlineTripEnabled == 1 && g.holding;
}

std::string InlineHoldText() {
    return "inline overpressure " + PressureText(g.heldAtPsi);
}

double InlineReadingPsi() {
    return g.readingPsi;
}

std::string PressureText(double psi) {
    if (!std::isfinite(psi)) return "off scale";
    char text[32];
    if (settings::MetricUnits())
        std::snprintf(text, sizeof text, "%.2f MPa",
                      static_cast<double>(settings::ToDisplayUnits(static_cast<float>(psi),
                                                                   settings::kUnitPressureMpa)));
    else
        std::snprintf(text, sizeof text, "%.0f psi", std::trunc(psi));
    return text;
}

void SetInlineTripHook(void (*hook)()) {
    g.tripHook = hook;
}

bool InlineTripHookInstalled() {
    return g.tripHook != nullptr;
}

void ShowAlarmPanel(int, int, void*, int) {
    if (g.panel != 0 && ui::PanelExists(g.panel)) ui::DiscardPanel(g.panel);
    g.panel = 0;
    const int handle = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_OPTIONAL_TRIPS);
    if (handle < 0) return;
    g.panel = handle;
    ui::SetCtrlVal(g.panel, windows::TRIPS_CONTROLLER_TRIP,
                   (alarmWord() & kControllerTripBit) != 0 ? 1 : 0);
    ui::SetCtrlVal(g.panel, windows::TRIPS_INLINE_ENABLED, InlineTripEnabled != 0 ? 1 : 0);
    ui::SetCtrlVal(g.panel, windows::TRIPS_INLINE_VALUE, static_cast<double>(InlineTripValue));
    ui::DisplayPanel(g.panel);
}

int OptionalTripsPanel() {
    return g.panel != 0 && ui::PanelExists(g.panel) ? g.panel : 0;
}

namespace {

// Switching the trip on when it would idle every pump at once, or with a value nobody
// entered (the 1000 psi it has before one is), is asked first; true to go on.
bool switchOnConfirmed() {
    const double value = static_cast<double>(InlineTripValue);
    const bool over = g.readingPsi >= value;  // NaN: no present reading
    std::uint32_t stored = 0;
    std::optional<double> refused;  // a stored value not taken counts as none entered
    settings::ReadInlineTripValue(&refused);
    if (!over && settings::ReadSetting(settings::kInlineOpValue, stored) && !refused) return true;
    const std::string question = over ? "The inline trip is " + PressureText(value) +
                                            " and the blender reads " + PressureText(g.readingPsi) +
                                            ": switching it on idles every pump now. Switch on?"
                                      : "The inline trip is " + PressureText(value) +
                                            ", a value nobody has entered yet. Switch on?";
    return ui::ConfirmPopup("Inline OP Trip", question) == 1;
}

}  // namespace

int AlarmSwitchChange(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    std::uint16_t word = alarmWord() | kChangedHereBit;
    if (ui::GetCtrlInt(panel, windows::TRIPS_CONTROLLER_TRIP) != 0)
        word = static_cast<std::uint16_t>(word | kControllerTripBit);
    else
        word = static_cast<std::uint16_t>(word & ~kControllerTripBit);
    setAlarmWord(word);
    const bool switchedOn =
        InlineTripEnabled != 1 && ui::GetCtrlInt(panel, windows::TRIPS_INLINE_ENABLED) != 0;
    if (switchedOn && !switchOnConfirmed()) ui::SetCtrlVal(panel, windows::TRIPS_INLINE_ENABLED, 0);
    InlineTripEnabled = ui::GetCtrlInt(panel, windows::TRIPS_INLINE_ENABLED) != 0 ? 1 : 0;
    clearInlineAlarmWhenOff();
    // Switched on over the present reading: it trips now, as the question said.
    if (switchedOn && InlineTripEnabled == 1 &&
        g.readingPsi >= static_cast<double>(InlineTripValue))
        trip(g.readingPsi);
    SendPumpCommand(kAllPumps, Op::SendAlarmOptions);
    settings::WriteSetting(settings::kInlineOpTrip, InlineTripEnabled);
    settings::WriteSetting(settings::kAlarmops, word);
    ui::SetActiveCtrl(panel, windows::TRIPS_CONTROLLER_TRIP);
    return 0;
}

int SetInlinePressure(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK) {
        // The field itself holds more, so that a wrong entry is answered below; the keypad
        // holds its entry to the trip points the setting takes.
        KeypadField field;
        field.name = "Inline trip pressure";
        field.units = "psi";
        field.min = 0.0;
        field.max = settings::kInlineTripMaxPsi;
        OpenKeypadFor(panel, control, 0, field, inlineValueEntered);
        return 0;
    }
    if (event != ui::EVENT_COMMIT) return 0;
    const float v = static_cast<float>(ui::GetCtrlDouble(panel, control));
    if (!(v >= 0.0f && v <= static_cast<float>(settings::kInlineTripMaxPsi))) {
        ui::SetCtrlVal(panel, control, static_cast<double>(InlineTripValue));
        ui::MessagePopup("Pressure Value", "Pressure trip point must be between 0 and 25000");
        return 0;
    }
    InlineTripValue = v;
    settings::WriteInlineTripValue(v);
    showHold();
    // Allowed, but then every reading trips, even one that says nothing.
    if (v == 0.0f && InlineTripEnabled == 1)
        ui::MessagePopup("Pressure Value",
                         "With a trip point of 0 every pressure reading idles all pumps.");
    return 0;
}

int CloseTrips(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (panel == g.panel) g.panel = 0;
    if (ui::PanelExists(panel)) ui::DiscardPanel(panel);
    return 0;
}

void BindOptionalTripCallbacks() {
    windows::BindMenuCallback("ShowAlarmPanel", ShowAlarmPanel);
    windows::BindCtrlCallback("AlarmSwitchChange", AlarmSwitchChange);
    windows::BindCtrlCallback("SetInlinePressure", SetInlinePressure);
    windows::BindCtrlCallback("CloseTrips", CloseTrips);
}

void InstallInlineTrip() {
    operation::AddUnitsChangedHook(showHold);
}

void ResetOptionalTrips() {
    g = {};
}
VNK_MODULE_STATE_RESET(safety, optional_trips, g, ResetOptionalTrips)

}  // namespace safety
