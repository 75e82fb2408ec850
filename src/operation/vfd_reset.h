// The detail view's drive-fault reset: a confirmed press sends the reset to the pump the
// view shows and locks the reset buttons until the drive has had time to come back.
#pragma once

#include "link/pump_table.h"

namespace operation {

constexpr double kVfdResetLockSeconds = 120.0;

// The controls the lock works on, on the detail view's panel.
struct VfdResetControls {
    int timer = 0;                           // timer control that ends the lock
    int buttons[pumplink::kPumpCount] = {};  // the per-pump reset buttons it unlocks
    bool operator==(const VfdResetControls&) const = default;
};
void SetVfdResetControls(const VfdResetControls& controls);

int ResetVfdFault(int panel, int control, int event, void* data, int e1, int e2);
int ResetTimerCallback(int panel, int control, int event, void* data, int e1, int e2);

// Start-of-run state: no controls, no lock.
void ResetVfdResetLock();

}  // namespace operation
