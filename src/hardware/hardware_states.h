// The hardware library's module states, registered for ResetAllStates
// (platform/module_state.h).
#pragma once

namespace hardware {

// Registers every module of the library that keeps state; may be called again.
void RegisterHardwareStates();

}  // namespace hardware
