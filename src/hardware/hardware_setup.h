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
void BindHardwareCallbacks();

}  // namespace hardware
