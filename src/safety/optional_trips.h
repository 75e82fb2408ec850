// The station's own overpressure trip on the treating pressure the blender computer reports
// ("Inline OP Trip"): at or above the trip value every pump on line is sent to idle, at once
// and on the next two ticks of the overpressure-trip timer.
#pragma once

#include <cstdint>
#include <string_view>

extern std::uint8_t InlineTripEnabled;  // the "Inline OP Trip" switch
extern float InlineTripValue;           // psi

// The switch and the trip value from the settings store (start-up).
void LoadInlineTripSettings();

// One read from the blender computer: every CR-, LF- or NUL-separated piece of it is a
// pressure text, converted as a number in the "C" form and truncated. Returns true when a
// piece tripped (and the idle went out). A text that is not a number ("nan", "abc", "")
// trips nothing; "inf" and "1e12" are above any trip value.
bool CheckInlinePressure(std::string_view read);

void ResetOptionalTrips();
