// The control-mode settings window, behind the system password: the emergency-stop input
// (enabled, parallel or serial wiring, serial port), the controllers' communication
// time-out, automatic recording at start-up and the delay used when the pump ports open.
#pragma once

namespace shell {

// Opens the window afresh with the values from the settings store (the password's opener).
void OpenControlModePanel();
// Handle of the open window, 0 when closed.
int ControlModePanel();

// OK: saves and applies every value. The E-stop wiring takes effect at once; a serial port
// that a pump or the output line uses is refused and nothing is saved. Then the window
// closes, the setup menu is enabled and every pump on line gets the time-outs.
int SetControlMode(int panel, int control, int event, void* data, int e1, int e2);
// Cancel: closes without saving.
int CloseControlMode(int panel, int control, int event, void* data, int e1, int e2);
// The parallel and serial boxes exclude each other.
int ChangePort(int panel, int control, int event, void* data, int e1, int e2);
// A press on a numeric field opens the keypad on it.
int ControlModeEntry(int panel, int control, int event, void* data, int e1, int e2);

// Binds the callbacks and installs the password's opener; enableSetupMenu runs after OK.
void BindControlModeCallbacks(void (*enableSetupMenu)());
void ResetControlMode();

}  // namespace shell
