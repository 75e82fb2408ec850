#include "link/link_states.h"

namespace pumplink {

// Defined beside each module's state (VNK_MODULE_STATE).
void registerState_pump_table();
void registerState_decoder();
void registerState_tx_queue();
void registerState_pump_session();
void registerState_operations();
void registerState_comcfg();
void registerState_port_identity();

void RegisterLinkStates() {
    registerState_pump_table();
    registerState_decoder();
    registerState_tx_queue();
    registerState_pump_session();
    registerState_operations();
    registerState_comcfg();
    registerState_port_identity();
}

}  // namespace pumplink
