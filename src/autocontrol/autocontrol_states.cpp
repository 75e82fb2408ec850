#include "autocontrol/autocontrol_states.h"

namespace autocontrol {

// Defined beside each module's state (VNK_MODULE_STATE).
void registerState_autocontrol();
void registerState_wellresistance();
void registerState_auto_panel();

void RegisterAutoControlStates() {
    registerState_autocontrol();
    registerState_wellresistance();
    registerState_auto_panel();
}

}  // namespace autocontrol
