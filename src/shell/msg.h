// The confirmation window of the fleet-wide commands: idle all pumps, reset all totals,
// zero all discharge pressures. Nothing is sent unless the operator confirms.
#pragma once

namespace shell {

enum ConfirmAction {
    kConfirmIdleAll = 1,
    kConfirmResetTotals = 2,
    kConfirmZeroPressures = 3,
};

void ShowConfirmDialog(int parent, const char* title, const char* question, int action);
int InfoSelect(int panel, int control, int event, void* data, int e1, int e2);
// The menu commands that ask first: "Idle All Pumps", "Reset All Totals", "Zero All
// Pressures".
void ShutdownAll(int menuBar, int item, void* data, int panel);
void ResetAllTotals(int menuBar, int item, void* data, int panel);
void ZeroAllPressures(int menuBar, int item, void* data, int panel);
// The dialog's handle, 0 while it is not open.
int ConfirmDialogPanel();

// Discards an open dialog without acting on it.
void CloseConfirmDialog();

void BindConfirmCallbacks();
// Dialog closed.
void ResetConfirmDialog();

}  // namespace shell
