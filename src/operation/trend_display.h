// The trend window on the station: its sampling timer, its buttons and pump choices, and
// the two charts it fills from the trend rings in the display units of the moment. The
// window is loaded on its first opening and kept (hidden when closed), so its span and
// pump choices stay as the operator left them.
#pragma once

namespace operation {

// Handle of the trend window, 0 before its first opening.
extern int& TrendPanel;

// Menu callback: opens the trend window (loads it the first time) and draws it.
void ShowTrends(int menuBar, int menuItem, void* data, int panel);
// Timer callback of the bank window's 1 s trend timer: the sample of this second, then the
// open window redrawn when its span has begun a new bucket.
int TrendTimer(int panel, int control, int event, void* data, int e1, int e2);
// The span buttons (the pressed one on, the others off), the pump rings, Close.
int SetTrendSpan(int panel, int control, int event, void* data, int e1, int e2);
int ChooseTrendPump(int panel, int control, int event, void* data, int e1, int e2);
int CloseTrends(int panel, int control, int event, void* data, int e1, int e2);
// Both charts drawn again from the rings (nothing while the window is not shown).
void RefreshTrendWindow();

// The window discarded (shut-down).
void DiscardTrendWindow();
// No window, rings empty, 10 min span, no pumps chosen.
void ResetTrendDisplay();
void BindTrendCallbacks();

}  // namespace operation
