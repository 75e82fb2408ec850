// The control tables of the bank windows and the handles of the windows kept for the whole
// run. BankRow[p][position] is the control id of a pump's row position on bank window
// BankPanel[p / 8]; the three banks share one definition, so a row's ids are the same on
// each of them. Positions: 0-3 speed steps (0's dimmed state is the row's), 4 motor speed,
// 5 set-point bar, 6 power-off switch, 7 power-on switch, 8 discharge pressure, 9 trip
// pressure, 10 rate, 11 percent of trip, 12 fault, 13 alarm, 14 detail button, 15 configure
// button, 16 set-trip button, 17 pump id, 18 group selector, 19-21 dimmed with the row,
// 22 power text, 23 stop, 24 "Auto" box.
#pragma once

#include <string>

constexpr int kBankCount = 3;
constexpr int kPumpsPerBank = 8;
constexpr int kRowPositionCount = 25;

extern int BankRow[24][kRowPositionCount];

// Window handles; 0 while the window is not loaded. Start-up loads and fills them.
extern int BankPanel[kBankCount];  // "Pumps 1-8", "Pumps 9-16", "Pumps 17-24"
extern int DetailPanel;
extern int EStopPanel;

// Fills BankRow from the bank window definition.
void InitControlIds();
// BankRow cleared and every handle 0 (start of run).
void ResetControlIds();

// The unit label of pump index 0-23: "1A", "1B", "2A" .. "12B".
std::string UnitLabel(int pump);
// Writes the position labels of bank 0-2 on its window ("5A".."8B" on the second bank).
void SetPositionLabels(int bank);

// The bank 0-2 whose window is panel, or -1.
int BankOfPanel(int panel);
// The pump index whose row on panel holds control at one of the given positions (all
// positions when none are given), or -1.
int PumpOfRowCtrl(int panel, int control);
int PumpOfRowCtrl(int panel, int control, int position);
// A row is dimmed (pump off line) exactly when its position-0 control is.
bool RowDimmed(int pump);
