// The fleet's state at a glance: the banner across the top of the three bank windows and
// the detail view names each condition that holds the fleet (an E-stop, the inline
// overpressure trip, the blender link lost while that trip is on, automatic control), most
// serious first, and reads "All normal" in green while none does. The modules that know a
// condition sit above this one (safety, client, autocontrol): each reports its own here, and
// the banner is redrawn only when what it shows changes.
#pragma once

#include <string>

namespace operation {

// One segment each, in this order across the banner.
enum class FleetCondition { EStop, InlineTrip, BlenderLink, AutoControl };
// What a condition means for the fleet: held (red), a protection or a control that cannot
// do its part (yellow), automatic control at work (blue).
enum class BannerTone { Held, Warning, Info };

// The condition holds and reads text (a change of text redraws it); ClearFleetCondition
// ends it.
void SetFleetCondition(FleetCondition which, BannerTone tone, const std::string& text);
void ClearFleetCondition(FleetCondition which);
// The texts shown, joined by " | " in banner order; "All normal" when none holds.
std::string FleetBannerText();
// Puts the banner on every bank window and the detail view as it stands (windows loaded
// after a condition was reported).
void DrawFleetBanner();

// No condition holds.
void ResetFleetBanner();

}  // namespace operation
