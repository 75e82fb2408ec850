// Drive power: the switch pair of each bank row and of the detail view, and "All VFDs On" /
// "All VFDs Off" for the fleet. A power change always commands speed 0 with it, and the
// operator hears the switch.
#pragma once

namespace operation {

// Speed 0 with the drive's run byte, straight to the pump's port (not only on line: a pump
// that has a port is reached). A power-off overtakes the polls waiting in its queue.
void SetPumpPower(int pump, int run);

int PowerSwitchOn(int panel, int control, int event, void* data, int e1, int e2);
int PowerSwitchOff(int panel, int control, int event, void* data, int e1, int e2);
int ZoomedPowerSwitchOn(int panel, int control, int event, void* data, int e1, int e2);
int ZoomedPowerSwitchOff(int panel, int control, int event, void* data, int e1, int e2);
// "All VFDs On" asks first ("Switch on the drives of 8 pumps?", No the default); "All VFDs
// Off" is a stop and acts at once.
void AllVfdsOn(int menuBar, int item, void* data, int panel);
void AllVfdsOff(int menuBar, int item, void* data, int panel);

// The switch sound, "switch.wav" beside the program; silent when it is missing.
void PlaySwitchSound();

void BindPowerSwitchCallbacks();

}  // namespace operation
