// The shell library's module states, registered for ResetAllStates
// (platform/module_state.h).
#pragma once

namespace shell {

// Registers every module of the library that keeps state; may be called again.
void RegisterShellStates();

}  // namespace shell
