#include "shell/shell_states.h"

namespace shell {

// Defined beside each module's state (VNK_MODULE_STATE).
void registerState_splash();
void registerState_control_mode();
void registerState_password();
void registerState_msg();
void registerState_main_sequence();
void registerState_cfg();

void RegisterShellStates() {
    registerState_splash();
    registerState_control_mode();
    registerState_password();
    registerState_msg();
    registerState_main_sequence();
    registerState_cfg();
}

}  // namespace shell
