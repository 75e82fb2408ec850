// Motor speed control of the pump in the hardware window: the speed limits and scaling in
// its controller's throttle block, and the speed steps of the whole fleet.
#pragma once

namespace pumplink {
struct LinkHooks;
}

namespace hardware {

// Throttle reply: the dialog takes its own copy when it came from its pump. The pump's
// speed limits are the link's to take from the received block; the dialog changes none.
void ShowThrottleConfig(int pump);

int SelectSpeedCommand(int panel, int control, int event, void* data, int e1, int e2);
int SetThrottle(int panel, int control, int event, void* data, int e1, int e2);
int Throt_Timer(int panel, int control, int event, void* data, int e1, int e2);

void InstallThrottleLinkHooks(pumplink::LinkHooks& hooks);
void ResetThrottleDialog();
void BindThrottleCallbacks();

}  // namespace hardware
