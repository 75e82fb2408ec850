#include "hardware/hardware_setup.h"

#include "hardware/hardware_selection.h"
#include "hardware/hdw_general.h"
#include "hardware/hdw_pump.h"
#include "hardware/hdw_throttle.h"
#include "link/pump_session.h"

using namespace pumplink;

namespace hardware {

void InstallHardwareLinkHooks(LinkHooks& hooks) {
    hooks.showNetworkInfo = ShowNetworkInfo;
    InstallGeneralLinkHooks(hooks);
    InstallPumpLinkHooks(hooks);
    InstallThrottleLinkHooks(hooks);
}

void BindHardwareCallbacks() {
    BindHardwareSelectionCallbacks();
    BindGeneralCallbacks();
    BindPumpCallbacks();
    BindThrottleCallbacks();
}

}  // namespace hardware
