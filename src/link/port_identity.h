// Which unit answers behind each pump's port. On a PC without the udev rule two adapters can
// swap names after a replug or a reboot, and a pump raised from its row would then be another
// one. The station keeps, per pump entry, the last identification its controller gave (in the
// settings store, across restarts) and checks the first one read after the pump comes on line
// (at start, after a replug, after a silence). Another non-empty identification is said at
// once ("COM4 now answers as OTHER-01; it was FAKE04: check the cabling"), journalled, marked
// on the row, and holds every raise of that pump until the operator confirms the message;
// nothing that lowers or stops it is held. An identification the station itself wrote to the
// pump (the Pump IDs window) is no change.
#pragma once

#include <string>

#include "platform/module_state.h"

namespace pumplink {

// The pump came on line: the next identification it gives is checked.
void ExpectIdentity(int pump);
// The pump's identification reply has been decoded into its PumpId.
void IdentityRead(int pump);
// The station has sent the pump this identification.
void IdentityWritten(int pump, const std::string& id);
// The pump answered as another unit and the operator has not confirmed it yet: no raise.
bool UnitUnconfirmed(int pump);

// Title of the message that says so; its OK confirms every unit it names.
inline constexpr const char* kAnotherUnitTitle = "Another Unit";

// Start-of-run state: nothing expected, held or waiting to be said.
void ResetPortIdentity();

}  // namespace pumplink
