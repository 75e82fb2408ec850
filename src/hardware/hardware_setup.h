// The hardware set-up as the shell installs it: every dialog's link hooks, callbacks and
// start-of-run state in one place.
#pragma once

namespace pumplink {
struct LinkHooks;
}

namespace hardware {

// The network, input, alarm, characteristics and throttle replies to their dialogs; other
// members are left as they are.
void InstallHardwareLinkHooks(pumplink::LinkHooks& hooks);
// No window, no dialog, no gate; every dialog's state back to closed.
void ResetHardware();
void BindHardwareCallbacks();

}  // namespace hardware
