#include "safety/safety_states.h"

namespace safety {

// Defined beside each module's state (VNK_MODULE_STATE).
void registerState_estop();
void registerState_optional_trips();

void RegisterSafetyStates() {
    registerState_estop();
    registerState_optional_trips();
}

}  // namespace safety
