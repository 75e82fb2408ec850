// The display of the pumps: the periodic refresh of the three bank windows and of the
// detail view, the fleet values summed over the pumps on line, what a row shows when its
// pump goes off line or comes back, the display units, the pumps-shown preference and the
// automatic precision of the calibration read-outs.
//
// The refresh only reads the Pump Table and writes controls, with two exceptions that keep
// the speed command honest: a pump whose drive is off has its set-point cleared, and one
// whose drive is on is marked running.
#pragma once

#include <cstdint>

#include "operation/detail_view.h"

// Fleet values over every pump on line, recomputed by each refresh (0.0 with none on line).
// The recorder, the automatic controller and the blender link read them.
extern float AverageDischargePressure;
extern float SelectedPumpsTotal;  // volume
extern float SelectedPumpsRate;
extern float SelectedPumpsHhp;

// Timer callback of the display refresh: the serial data output line, the bank rows and
// fleet values, then the detail view's indicators when it is shown.
int DisplayTimerTick(int panel, int control, int event, void* data, int e1, int e2);
// The rows of every pump on line, the detail view of CurrentPump, and the fleet values.
// Rows of pumps off line keep what they showed last.
void RefreshBanks();

// The display's side of a pump going off line (dim 1) or coming back (dim 0): the row's
// 25 controls dimmed or enabled and an open detail view of the pump closed; going off line
// also clears the pump's live values and identification and shows the cleared row (the
// caller clears Online afterwards). The link's came-on-line handling sends the time-outs
// and alarm options and adopts the motor's speed; it calls this first, so that the row is
// enabled before anything is sent.
void Bring_Frac_Offline(int dim, int pump);
// The row's 25 controls dimmed or enabled, nothing else (start-up dims every row).
void SetRowDimmed(int pump, bool dim);

// Menu items 19 (US) and 20 (metric): the trip points converted in place, then every unit
// text, decimals and scale. Other values follow with each pump's next data reply.
void Set_Display_Units(int menuBar, int menuItem, void* data, int panel);

// Shows the bank windows that pumpsShown pumps need and hides the others (hidden banks
// are still refreshed): up to 8 the first only, 9 to 16 the first two, more all three.
void ShowBanks(int pumpsShown);
// The display preferences window: loaded afresh on each opening, its ring on the number of
// pumps shown now; OK applies the marked choice (8, 16 or 24 pumps).
void ShowDisplayPrefPanel(int menuBar, int menuItem, void* data, int panel);
int SelectPumpShown(int panel, int control, int event, void* data, int e1, int e2);
int SetPreferences(int panel, int control, int event, void* data, int e1, int e2);
int ClosePreferencePanel(int panel, int control, int event, void* data, int e1, int e2);
// Handle of the open preferences window, 0 when none is open.
extern int PreferencePanel;

// Decimals of a read-out from the size of its value: 0 above 1000 down to 7 above 0.0001,
// 3 for smaller values; scientific notation for nonzero values of 0.0001 or less.
void AutoPrecisionAI(int panel, int control);

// Where modules not built into the display take part: the pump-identification window shows
// a pump's new identification while it is open; the automatic controller resets its units
// when the display units change. None: nothing.
using PumpIdShownHook = void (*)(int pump, const char* id);
void SetPumpIdShownHook(PumpIdShownHook hook);
using UnitsChangedHook = void (*)();
void SetUnitsChangedHook(UnitsChangedHook hook);

// Start-of-run state: caches that make the first refresh write every colour and
// identification, fleet values 0, detail view closed, no hooks, no preferences window.
void ResetPanels();
// Binds this module's window callbacks by name (before the windows are loaded).
void BindPanelCallbacks();
