// Where the alarms show beyond the journal window, so that none goes unseen: the alarm
// button of every bank window (the alarms not yet normal; red while any awaits
// acknowledgement, amber once all are acknowledged), each bank window's name with the count
// of its pumps' alarms, the alarm sound, and the alarm strip.
//
// A trip, an E-stop, an inline overpressure trip or a port lost under a running pump sounds
// the alarm once when it comes on. While a window that hides the banks is open (a set-up
// window, the journal, the trends), such an alarm raises the strip above every window
// ("Pump 1A TRIPPED 10050 psi"); a tap on it sets the windows that hide the banks aside and
// brings the pump's bank to the front. It stays until its alarms are acknowledged.
//
// The Display menu's "Show Pumps 9-16" items bring a bank to the front; the Pumps menu's
// "Reset All Alarms..." is offered while a pump on line has something to reset.
#pragma once

#include <string>
#include <vector>

namespace operation {

// "Pumps 9-16" for bank 1: what its window is called.
std::string BankName(int bank);
// A pressure given in psi, in the display units: "10050 psi", "69.29 MPa".
std::string PressureText(float psi);

// Everything above, after a change of the journal's alarms and at each display refresh (a
// window that hides the banks may have opened since).
void AnnounceAlarms();

// The strip's window while it is shown (0 otherwise) and what it says.
int AlarmStripPanel();
std::string AlarmStripText();

// Brings bank 0-2 to the front, over the detail view.
void ShowBankInFront(int bank);

// The pumps on line whose controller holds a trip or an alarm that a reset clears.
std::vector<int> PumpsToReset();

void ShowBankMenu(int menuBar, int item, void* data, int panel);
int TapAlarmStrip(int panel, int event, void* data, int e1, int e2);
void BindAlarmAnnunciationCallbacks();
void ResetAlarmAnnunciation();

}  // namespace operation
