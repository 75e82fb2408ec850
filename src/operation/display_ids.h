// The control tables of the bank windows and the handles of the windows kept for the whole
// run. BankRow[p][position] is the control id of a pump's row position (windows::RowPos) on
// bank window BankPanel[p / 8]; the three banks share one definition, so a row's ids are the
// same on each of them.
#pragma once

#include "link/pump_table.h"
#include "ui/windows/bank_window.h"

namespace operation {

constexpr int kBankCount = 3;
constexpr int kPumpsPerBank = windows::kBankRows;
constexpr int kRowPositionCount = windows::kRowPositions;
static_assert(kBankCount * kPumpsPerBank == pumplink::kPumpCount);

extern int (&BankRow)[pumplink::kPumpCount][kRowPositionCount];

// Window handles; 0 while the window is not loaded. Start-up loads and fills them.
extern int (&BankPanel)[kBankCount];  // "Pumps 1-8", "Pumps 9-16", "Pumps 17-24"
extern int& DetailPanel;
extern int& EStopPanel;

// Fills BankRow from the bank window definition.
void InitControlIds();
// BankRow cleared and every handle 0 (start of run).
void ResetControlIds();

// Writes the position labels of bank 0-2 on its window ("5A".."8B" on the second bank).
void SetPositionLabels(int bank);

// The bank 0-2 whose window is panel, or -1.
int BankOfPanel(int panel);
// The pump index whose row on panel holds control at one of the given positions (all
// positions when none are given), or -1.
int PumpOfRowCtrl(int panel, int control);
int PumpOfRowCtrl(int panel, int control, int position);

}  // namespace operation
