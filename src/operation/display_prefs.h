// The display preferences, on the windows: those the configuration record keeps (the refresh
// interval: menu items and display timer; the display units: menu items, unit texts and
// decimals of the banks; the number of pumps shown: the preferences window and which bank
// windows are up; a loaded record shown whole, pump groups and "Auto" boxes included) and the
// palette, day or night, which the settings store keeps.
#pragma once

#include <string>

#include "ui/model_types.h"

namespace operation {

// Menu callback of the three refresh items: 1.0, 2.0 or 4.0 s.
void Set_Refresh_Rate(int menuBar, int menuItem, void* data, int panel);
// Applies RefreshInterval to the display timer and ticks the refresh and units items.
void ApplyRefreshInterval();
// Unit labels and decimals of the bank windows for DisplayUnits.
void ShowBankUnits();
// Menu items 19 (US) and 20 (metric): every live value of the Pump Table converted in
// place, then every unit text, decimals and scale, then the units hooks.
void Set_Display_Units(int menuBar, int menuItem, void* data, int panel);

// Shows the bank windows that pumpsShown pumps need and hides the others (hidden banks
// are still refreshed): up to 8 the first only, 9 to 16 the first two, more all three.
void ShowBanks(int pumpsShown);
// The display preferences window: loaded afresh on each opening, its ring on the number of
// pumps shown now and its tick box on the palette shown now; OK applies the marked choice
// (8, 16 or 24 pumps, day or night colours), asking first when it would hide running or
// alarmed pumps.
void ShowDisplayPrefPanel(int menuBar, int menuItem, void* data, int panel);
int SelectPumpShown(int panel, int control, int event, void* data, int e1, int e2);
int SetPreferences(int panel, int control, int event, void* data, int e1, int e2);
int ClosePreferencePanel(int panel, int control, int event, void* data, int e1, int e2);
// Handle of the open preferences window, 0 when none is open.
extern int& PreferencePanel;
// The question to ask before showing only pumpsShown pumps: which bank windows it hides and
// their pumps running or alarmed; empty when it hides none of those.
std::string HidingQuestion(int pumpsShown);
// The palette every window is drawn in, kept in the settings store.
void ApplyDisplayPalette(ui::Palette palette);

// Puts a loaded record on the windows: refresh and units items, unit labels, each pump's
// group selector (the "Auto" boxes are shown as the record is taken).
void ShowLoadedSettings();

// Where modules not built into the display take part; each module adds its own and they
// run in the order added. The pump groups rebuild their member lists from every pump a
// loaded record puts in a group (called in pump order). On a change of the display units
// the display's refresh comes first (the rows and fleet values in the new units at once),
// then the others follow (the automatic controller resets its units).
using GroupMemberHook = void (*)(int pump, int group);
void AddGroupMemberHook(GroupMemberHook hook);
using UnitsChangedHook = void (*)();
void AddUnitsChangedHook(UnitsChangedHook hook);

// No preferences window, no hooks.
void ResetDisplayPrefs();
void BindDisplayPrefCallbacks();

}  // namespace operation
