// The automatic controller's settings and its window: the settings read from the settings
// store at start-up (with their defaults and limits), shown on the two pages of the window
// in the display units, taken back and stored on Apply; the target read-out of the bank
// windows; and the one way the automatic-control mode changes (ChangeAutoMode).
#pragma once

#include <string>

namespace autocontrol {

// Handles of the window and its two pages, 0 before start-up built them.
extern int& AutoPanel;
extern int& AutoModePage;
extern int& AutoSettingsPage;

// Why the mode changes. The last three are the station's own interlocks: each switches the
// controller off with a red message on the window that stays until the operator applies a
// mode again.
enum class AutoModeCause { StartUp, Operator, InlineTrip, IdleAll, EStop };

// Every change of the mode passes here: the mode set, "Auto Mode" written, the target
// read-out of the bank windows shown or hidden; an interlock also sets the radio buttons
// to off.
void ChangeAutoMode(int mode, AutoModeCause cause);
// Mode 1 or 2.
bool AutoModeActive();
// The text of the interlock that switched the controller off, "" when none did since the
// last Apply.
const std::string& AutoOffNotice();

// Start-up, once (a second call does nothing): the window and its pages loaded, the pumps'
// MaxRpm brought to 1000 until they report their own, the mode off, the settings read and
// limited, the Controller Settings page dimmed unless admin, the values shown. The
// controller's timer is left disabled for start-up to enable.
void SetupAutoControl(bool admin);
// Gauges, unit labels, field ranges and values for the display units in force.
void ShowAutoUnits();
// The settings on the pages, converted to the display units.
void ShowAutoValues();
// The settings from the pages (converted back; a field the operator did not change keeps
// its stored value exactly); returns the mode of the radio buttons.
int ReadAutoPanel();
// "Target BPM :" or "Target PSI :" and the stored target on the three bank windows, hidden
// while the mode is off; the window's "Active:" line; and automatic control on the fleet
// banner ("AUTO: holding 90 bbl/min on 4 pumps", or the target it cannot reach).
void ShowTargetReadout();
// The target of a mode in the display units: "90 bbl/min", "8000 psi", "14.31 m3/min".
std::string AutoTargetText(int mode);

// The message line: red for a message, green and empty when cleared. Clearing leaves an
// interlock's notice up.
void ShowAutoMessage(const std::string& text, int colour);
void ClearAutoMessage();
// The fleet values on the gauges and numbers, as they are (display units).
void ShowAutoFleetValues(float rate, float pressure);

// Callbacks.
// The controller's timer: the fleet values shown; an emergency stop or the inline trip's
// hold ends automatic control; every SamplingTime + 1 ticks a controller step and its
// message (a target out of reach journalled once).
int AutoTimer(int panel, int control, int event, void* data, int e1, int e2);
void ShowAutoControlPanel(int menuBar, int menuItem, void* data, int panel);
int CloseAutoPanel(int panel, int control, int event, void* data, int e1, int e2);
int RadioSelectionChange(int panel, int control, int event, void* data, int e1, int e2);
int AutoValueChanged(int panel, int control, int event, void* data, int e1, int e2);
int SetAutoMode(int panel, int control, int event, void* data, int e1, int e2);

// The display units' hook: labels and values redone, the controller held one period.
void InstallAutoControl();
void BindAutoControlCallbacks();
// The window discarded (shut-down).
void DiscardAutoControl();
// Start of run: no window, settings and controller at their start values.
void ResetAutoControl();

}  // namespace autocontrol
