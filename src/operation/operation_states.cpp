#include "operation/operation_states.h"

namespace operation {

// Defined beside each module's state (VNK_MODULE_STATE).
void registerState_commands();
void registerState_numpadcode();
void registerState_detail_view();
void registerState_vfd_reset();
void registerState_trends();
void registerState_display_prefs();
void registerState_trend_display();
void registerState_panels();
void registerState_port_monitor();
void registerState_journal_view();
void registerState_alarm_annunciation();
void registerState_display_ids();
void registerState_pumpgroup();
void registerState_fleet_banner();

void RegisterOperationStates() {
    registerState_commands();
    registerState_numpadcode();
    registerState_detail_view();
    registerState_vfd_reset();
    registerState_trends();
    registerState_display_prefs();
    registerState_trend_display();
    registerState_panels();
    registerState_port_monitor();
    registerState_journal_view();
    registerState_alarm_annunciation();
    registerState_display_ids();
    registerState_pumpgroup();
    registerState_fleet_banner();
}

}  // namespace operation
