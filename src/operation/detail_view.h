// The single-pump detail view: which pump it shows (CurrentPump), its values, gauges and
// indicators with their alarm colours, its unit texts and scales, and moving it from pump
// to pump. The view is loaded once at start-up (DetailPanel) and shown or hidden.
#pragma once

#include <cstdint>

namespace operation {

// The pump shown in the detail view, 0-23; kNoPump while the view is closed.
constexpr std::uint8_t kNoPump = 255;
extern std::uint8_t& CurrentPump;

// Whether the detail view is on screen.
bool DetailViewVisible();

// Writes the pump's values into the view; the pressure gauge's colours follow its trip.
// Counts the refreshes that force a periodic redraw of the gauges.
void RefreshDetailView(int pump);
// Indicators, drive and override buttons and alarm colours of the shown pump.
void SetDetailViewIndicators(int pump);
// Colours a value's read-out by one alarm bit: red text on the alarm background when set,
// green on the normal background otherwise; written only when the colour changes.
void SetAlarmColour(int panel, int control, std::uint16_t alarmWord, std::uint16_t bit);

// Title "Pump 1A".., label "PUMP 1A".., and the drive-reset button of that pump alone.
void SetDetailViewPump(int pump);
// Unit texts, gauge ranges and decimals of the view for the display units in force.
void ShowDetailUnits();
// Centres panel on reference (integer halves of the sizes) and shows it.
void DisplayCenteredPanel(int reference, int panel);
// Hides the view: CurrentPump becomes kNoPump.
void CloseDetailView();

// Row button: opens the view on the row's pump, centred on its bank window.
int Display_Pump_Panel(int panel, int control, int event, void* data, int e1, int e2);
// The next or previous pump on line, wrapping round; nothing when there is none.
int GoToNextPump(int panel, int control, int event, void* data, int e1, int e2);
int GoToPreviousPump(int panel, int control, int event, void* data, int e1, int e2);
int Close_Current_Pump(int panel, int control, int event, void* data, int e1, int e2);

// Closed, caches back to their start values (the first refresh writes every colour).
void ResetDetailView();

}  // namespace operation
