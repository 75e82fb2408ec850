// The demo drivers: each VNK_DEMO_* variable set makes the demo station do, some seconds
// after start, what an operator would (open a window, apply automatic control). Linked
// only into vnk-station-demo; the field station never scripts an operator.
#pragma once

namespace app {

// Reads the VNK_DEMO_* variables and starts a one-shot timer for each one set and valid.
// Call once the view exists and before the station runs.
void ScheduleDemoDrivers();

}  // namespace app
