// The operator's commands on pumps: the speed buttons of the bank rows (for the pump or its
// group), zeroing of discharge pressure and clearing of totals (detail view).
//
// A stop path always goes through: STOP and the step-downs are sent during an emergency
// stop and past the interlock; only a press whose speed would be above the pump's present
// command is refused there (for a group, the link refuses it for each member it would
// raise).
#pragma once

#include <vector>

#include "link/operations.h"

namespace operation {

// Above this discharge (psi) a pump is not zeroed: its offset would take up the pressure
// in the line and move its trip point up by as much.
constexpr double kZeroRefusedAbovePsi = 100.0;

// The journal's text of a speed button: "STOP", "Speed up (large step)"...
const char* SpeedStepText(pumplink::SpeedStep step);
int Change_RPMs(int panel, int control, int event, void* data, int e1, int e2);
int Zero_Discharge_Pressure(int panel, int control, int event, void* data, int e1, int e2);
int Clear_Totals(int panel, int control, int event, void* data, int e1, int e2);

// Zeroes the discharge pressure of each pump that reads no pressure; the others are named
// in one message.
void ZeroPressures(const std::vector<int>& pumps);

// What the speed buttons ask of the safety modules, installed at start-up. Without all
// three no press raises a pump (the station does not start without them).
struct SpeedInterlock {
    bool (*estopActive)() = nullptr;           // an emergency stop is on
    void (*showEStopWindow)() = nullptr;       // the E-stop window in front
    bool (*raiseAllowed)(int pump) = nullptr;  // a manual raise may reach the pump
    bool operator==(const SpeedInterlock&) const = default;
};
void SetSpeedInterlock(const SpeedInterlock& interlock);
bool SpeedInterlockInstalled();

void BindCommandCallbacks();
// No interlock installed.
void ResetCommands();

}  // namespace operation
