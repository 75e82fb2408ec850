// The hardware window of one pump: reached from a row's configure button behind the system
// password, it holds the select buttons of the configuration dialogs, a title and a help
// text that follow the dialogs, and the "View Network" button. This module owns the window,
// the pump being configured (HardwarePump), the handle of every open dialog, the dialogs'
// close button, the network information and the keypad of the dialogs' numeric fields.
// The dialogs themselves live in hdw_general (inputs, alarms), hdw_pump (characteristics,
// identifications) and hdw_throttle (motor speed control).
#pragma once

#include <string>

namespace hardware {

// The pump being configured, 0-23; -1 while no hardware window is open.
extern int& HardwarePump;

// The dialogs of the hardware window; each kind is open at most once.
enum class HwDialog { Ai, Fi, MotorAlarms, PumpAlarms, Network, Characteristics, Speed, Count };

// Handle of the hardware window, 0 while closed.
int HardwarePanel();
// Handle of an open dialog, 0 while it is closed.
int HardwareDialog(HwDialog kind);
// Loads a dialog inside the hardware window (an earlier one of its kind is discarded), shown.
// 0 when no hardware window is open.
int OpenHardwareDialog(HwDialog kind, int resourceId);
// The hardware window's title and help texts.
void SetHardwareTexts(const std::string& title, const std::string& help);

// What a configure button asks before the window opens: the system password, with the
// bank window as the prompt's parent. Installed by the shell; none: the window opens at once.
using HardwarePasswordGate = void (*)(int bankPanel, int configureButton);
void SetHardwarePasswordGate(HardwarePasswordGate gate);

// Opens the hardware window of the pump whose configure button was pressed last (the
// password accepted). Nothing when that button was not one of a row's.
void ShowHardwareWindow();
// Opens the hardware window of a pump, at the top-left corner of its bank window.
void OpenHardwareWindow(int pump);

// Network-information reply: the pump's line of an open network dialog.
void ShowNetworkInfo(int pump);

// Callbacks.
int Display_Hardware_Panel(int panel, int control, int event, void* data, int e1, int e2);
int Done_With_Hardware(int panel, int control, int event, void* data, int e1, int e2);
int CancelCfg(int panel, int control, int event, void* data, int e1, int e2);
int NetwCfg(int panel, int control, int event, void* data, int e1, int e2);
int AP_NP(int panel, int control, int event, void* data, int e1, int e2);

// No window, no dialog, no gate.
void ResetHardwareSelection();
void BindHardwareSelectionCallbacks();

}  // namespace hardware
