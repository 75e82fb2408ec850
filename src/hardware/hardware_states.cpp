#include "hardware/hardware_states.h"

namespace hardware {

// Defined beside each module's state (VNK_MODULE_STATE).
void registerState_hardware_selection();
void registerState_hdw_throttle();
void registerState_hdw_pump();
void registerState_hdw_general();

void RegisterHardwareStates() {
    registerState_hardware_selection();
    registerState_hdw_throttle();
    registerState_hdw_pump();
    registerState_hdw_general();
}

}  // namespace hardware
