// The station's own overpressure trip on the treating pressure the blender computer reports
// ("Inline OP Trip"): at or above the trip value every pump on line is sent to idle, at once
// and on the next two ticks of the overpressure-trip timer. From the trip until a reading
// below the trip value arrives, or the trip is switched off, it holds the fleet: no raise
// reaches any pump (a lost link keeps the hold: no reading says the pressure fell), and the
// fleet banner says so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace safety {

extern std::uint8_t& InlineTripEnabled;  // the "Inline OP Trip" switch
extern float& InlineTripValue;           // psi

// The switch and the trip value from the settings store (start-up).
void LoadInlineTripSettings();

// One read from the blender computer: every CR-, LF- or NUL-separated piece of it is a
// pressure text, converted as a number in the "C" form and truncated, checked at once (an
// unterminated "1500.9" trips now). Returns true when a piece tripped (and the idle went
// out). A text that is not a number ("nan", "abc", "") trips nothing; "inf" and "1e12" are
// above any trip value. Once the peer has ended a reading with CR or LF, the unterminated
// end of a read is also joined to the start of the next read and that reading checked, so
// a reading TCP cut in two still trips; before that, each read stands alone.
bool CheckInlinePressure(std::string_view read);
// Forgets a kept unfinished reading, whether the peer ends its readings and the present
// reading (a connection opened or closed).
void ResetInlineReading();
// True from a trip until a reading below the trip value, or until the trip is switched off.
bool InlineTripHolds();
// What holds the fleet, as a refused raise says it: "inline overpressure 9600 psi".
std::string InlineHoldText();
// The blender computer's present reading in psi (the highest of its last read, truncated);
// NaN when it sent none since its link opened, or its last read held no number.
double InlineReadingPsi();
// A pressure in psi as the operator reads it, in the display units: "9600 psi", "66.19 MPa".
std::string PressureText(double psi);
// Called when the inline trip fires, before the pumps are idled: what must stop acting on
// the pumps (the automatic controller) stops. Installed at start-up; none by default.
void SetInlineTripHook(void (*hook)());
bool InlineTripHookInstalled();

// The optional-trips window ("Optional Trips..."): opened afresh, showing the controller-side
// trip (bit 0x8000 of AlarmOptions), the inline trip switch and its value in psi.
void ShowAlarmPanel(int menuBar, int menuItem, void* data, int panel);
// Handle of the open window, 0 when closed.
int OptionalTripsPanel();

// The switch and the box: the option word (bit 0x2000 marks a change made here, 0x8000 the
// controller-side trip) goes to every pump on line; "Alarmops" and "Inline OP Trip" saved.
// Switching the inline trip on asks first when its value is at or below the present reading
// (it would idle every pump at once, which it then does) or was never entered.
int AlarmSwitchChange(int panel, int control, int event, void* data, int e1, int e2);
// The trip value: a press opens the keypad; a value outside 0 to 25000 is refused with a
// message and the field shows the value in force again.
int SetInlinePressure(int panel, int control, int event, void* data, int e1, int e2);
int CloseTrips(int panel, int control, int event, void* data, int e1, int e2);

// The bit of the option word that switches the controllers' own optional trip, and the one
// that marks a word changed on this station.
constexpr std::uint16_t kControllerTripBit = 0x8000;
constexpr std::uint16_t kChangedHereBit = 0x2000;

void BindOptionalTripCallbacks();
// The units hook that keeps the banner's pressures in the display units.
void InstallInlineTrip();
// Switch off, 1000 psi, window closed, no hook.
void ResetOptionalTrips();

}  // namespace safety
