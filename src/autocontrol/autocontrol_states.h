// The automatic control library's module states, registered for ResetAllStates
// (platform/module_state.h).
#pragma once

namespace autocontrol {

// Registers every module of the library that keeps state; may be called again.
void RegisterAutoControlStates();

}  // namespace autocontrol
