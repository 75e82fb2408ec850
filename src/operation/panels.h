// The display of the pumps: which bank windows are shown.
#pragma once

// Shows the bank windows that pumpsShown pumps need and hides the others (hidden banks
// are still refreshed): up to 8 the first only, 9 to 16 the first two, more all three.
void ShowBanks(int pumpsShown);

// Timer callback of the display refresh: the serial data output line on every tick.
int DisplayTimerTick(int panel, int control, int event, void* data, int e1, int e2);
void BindPanelCallbacks();
