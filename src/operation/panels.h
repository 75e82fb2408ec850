// The display of the pumps: the periodic refresh of the three bank windows and of the
// detail view, the fleet values summed over the pumps on line, what a row shows when its
// pump goes off line or comes back, and the automatic precision of the calibration
// read-outs.
//
// The refresh only reads the Pump Table and writes controls, with two exceptions that keep
// the speed command honest: a pump whose drive is off has its set-point cleared, and one
// whose drive is on is marked running (neither while a speed command of the station's own
// is on its way to the pump).
#pragma once

#include "operation/detail_view.h"

namespace pumplink {
struct LinkHooks;
}

namespace operation {

// Fleet values over every pump on line, recomputed by each refresh (0.0 with none on line).
// The recorder, the automatic controller and the blender link read them.
extern float& AverageDischargePressure;
extern float& SelectedPumpsTotal;  // volume
extern float& SelectedPumpsRate;
extern float& SelectedPumpsHhp;
// The fleet's rate (bbl/min) and average discharge (psi) in US units whatever the display
// shows, from the units each record holds, worked out with the four above: the automatic
// controller works in them.
extern float& SelectedPumpsRateBpm;
extern float& AverageDischargePsi;
// The fleet's hydraulic power (hp) and volume (bbl) in US units, for what reports them away
// from the screen.
extern float& SelectedPumpsHhpUs;
extern float& SelectedPumpsTotalBbl;

// Timer callback of the display refresh: the serial data output line, the bank rows and
// fleet values, then the detail view's indicators when it is shown.
int DisplayTimerTick(int panel, int control, int event, void* data, int e1, int e2);
// The rows of every pump on line, the detail view of CurrentPump, and the fleet values.
// Rows of pumps off line keep what they showed last. Start-up makes it the first hook of a
// switch of the display units, so that nothing shows or sends values of the old units
// until the next tick.
void RefreshBanks();

// The display's side of a pump going off line (dim 1) or coming back (dim 0): the row's
// 25 controls dimmed or enabled and an open detail view of the pump closed; going off line
// also shows the row with the live values the link has just cleared (the caller clears
// Online afterwards). The link's came-on-line handling sends the time-outs and alarm
// options and adopts the motor's speed; it calls this first, so that the row is enabled
// before anything is sent.
void Bring_Frac_Offline(int dim, int pump);
// The row's 25 controls dimmed or enabled, nothing else (start-up dims every row).
void SetRowDimmed(int pump, bool dim);
// The row's identification field says "COM5 lost" while the pump's adapter is gone, readable
// on the dimmed row.
void ShowRowPortState(int pump);

// Decimals of a read-out from the size of its value, as windows::DecimalsForSize says;
// scientific notation for nonzero values too small for those.
void AutoPrecisionAI(int panel, int control);

// The link hooks the display answers: rows going off and on line, the display units.
// Other members are left as they are.
void InstallDisplayLinkHooks(pumplink::LinkHooks& hooks);

// Where modules not built into the display take part: the pump-identification window shows
// a pump's new identification while it is open. Each module adds its own; they run in the
// order added.
using PumpIdShownHook = void (*)(int pump, const char* id);
void AddPumpIdShownHook(PumpIdShownHook hook);

// Start-of-run state: caches that make the first refresh write every colour and
// identification, fleet values 0, no hooks; the detail view and the display preferences
// back to theirs.
void ResetPanels();
// Binds the callbacks of the display and the detail view by name (before the windows are
// loaded).
void BindPanelCallbacks();

}  // namespace operation
