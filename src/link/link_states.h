// The link's module states, registered for ResetAllStates (platform/module_state.h).
#pragma once

namespace pumplink {

// Registers every module of the link that keeps state; may be called again.
void RegisterLinkStates();

}  // namespace pumplink
