// What the hardware dialogs share: their command buttons, which stay pressed until the
// dialog's release timer ticks, and the messages of a write that cannot be sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

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
// A field of a controller block that its dialog shows and writes back: a float, or the
// option byte.
struct BlockField {
    int control;
    int offset;
    bool byte;
};
// A dialog notes what it put in each of the block's fields once it has shown them...
void NoteShown(int panel, std::span<const BlockField> fields, std::span<double> shown);
// ...and a write starts from the pump's bytes and takes from the dialog only the fields whose
// value is no longer the one shown: what the technician typed, or the dialog worked out for
// him. What he left alone goes back bit for bit. False when a changed field holds what its
// place in the block cannot take.
bool BuildWrite(int panel, std::span<const BlockField> fields, std::span<const double> shown,
                const std::uint8_t* pumpBlock, std::uint8_t* out, std::size_t size);
// Whether a field still holds the number shown (bit for bit: a NaN the pump sent and the
// technician left alone is no edit).
bool SameNumber(double a, double b);

// Journals a setting written to a pump's controller ("Pump 3: characteristics ...").
void JournalPumpWrite(int pump, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace hardware
