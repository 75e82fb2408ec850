// What the hardware dialogs share: their command buttons, which stay pressed until the
// dialog's release timer ticks, and the messages of a write that cannot be sent.
#pragma once

#include <initializer_list>

namespace hardware {

// The button shows pressed and the dialog's release timer starts.
void HoldButton(int panel, int control, int timer);
// Timer tick: the buttons back to 0, the timer stopped.
void ReleaseButtons(int panel, int timer, std::initializer_list<int> buttons);
// The five SET buttons of an alarm dialog.
void ReleaseAlarmButtons(int panel, int timer);

// True when the pump takes commands; otherwise the operator is told nothing was sent.
bool PumpOnLineOrSay(int pump);
// A write refused because its block has not come from the pump yet (it is being read).
void NotReadYet(const char* title, int pump);
// Journals a setting written to a pump's controller ("Pump 3: characteristics ...").
void JournalPumpWrite(int pump, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace hardware
