// The operation library's module states, registered for ResetAllStates
// (platform/module_state.h).
#pragma once

namespace operation {

// Registers every module of the operation library that keeps state; may be called again.
void RegisterOperationStates();

}  // namespace operation
