// Trip points and the operator's resets around the trips that every pump controller decides
// for itself: the trip point of one pump (or its group) and of every pump, alarm reset, the
// shutdown override, and the interlock that keeps manual speed changes off a pump that is
// tripped or shut down.
#pragma once

namespace safety {

// Trip points the station sends, in psi. A controller takes 16 bits, and 0 would switch its
// overpressure trip off: anything outside is refused before it is sent.
constexpr double kTripPsiMin = 1.0;
constexpr double kTripPsiMax = 25000.0;

// The psi of a trip point entered in the display units, or a negative number when it lies
// outside kTripPsiMin..kTripPsiMax (the operator has been told).
double EnteredTripPsi(double entered);

// Set-trip button of a bank row: the keypad on that row's trip field.
int Set_Overpressure_Trip_Point(int panel, int control, int event, void* data, int e1, int e2);
// Keypad completions: the row's pump (or its group); OK on the value as shown sends the
// pump's own trip point back exactly.
void TripValChanged(int panel, int control);
// Every pump on line, once the operator has confirmed ("Set the trip point of 8 pumps on line
// to 9000 PSI?", No the default), the question saying how many pumps read more now.
void TripValChanged2(int panel, int control);
// Menu: the keypad, empty, on the all-pumps trip field of the window it was chosen on.
void SetAllPressTripPoints(int menuBar, int item, void* data, int panel);

// Detail view: for the shown pump or its group.
int ResetAlarms(int panel, int control, int event, void* data, int e1, int e2);
int OverrideShutdown(int panel, int control, int event, void* data, int e1, int e2);
int StopOverride(int panel, int control, int event, void* data, int e1, int e2);

// Whether a manual speed change may raise this pump: no trip word, no shutdown fault unless
// the override is on, and its drive powered.
bool ManualSpeedAllowed(int pump);

// The trip fields' ranges in the display units (after a change of units).
void ShowTripFieldRanges();

// The units hook that keeps the trip fields' ranges in the display units.
void InstallTrips();
void BindTripCallbacks();

}  // namespace safety
