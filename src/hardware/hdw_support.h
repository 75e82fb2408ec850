// What the hardware dialogs share: their command buttons, which stay pressed until the
// dialog's release timer ticks, and the messages of a write that cannot be sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "link/protocol.h"

namespace hardware {

// The button shows pressed and the dialog's release timer starts.
void HoldButton(int panel, int control, int timer);
// Timer tick: the buttons back to 0, the timer stopped.
void ReleaseButtons(int panel, int timer, std::initializer_list<int> buttons);
// The five SET buttons of an alarm dialog.
void ReleaseAlarmButtons(int panel, int timer);

// One read of a dialog's block in flight at a time, so that each reply answers the read that
// was asked: the dialog dims its read buttons while one waits. The read ends with the reply
// of its pump and channel, or when no command of its code is left in the pump's queue (it
// timed out there, or the queue was emptied).
struct BlockRead {
    bool waiting = false;
    int mode = 0;  // what the read was for (each dialog's own numbers; 0 the whole block)
    bool operator==(const BlockRead&) const = default;
};
// Starts a read for mode unless one is in flight (false then); the dialog's release timer
// ticks until it ends.
bool StartBlockRead(BlockRead& read, int mode, int panel, int timer);
// A reply of the dialog's pump and channel: the mode it answers, 0 for one nobody here asked
// for (another module's read of the same block).
int AnswerBlockRead(BlockRead& read);
// On the release timer's tick: true when the read ended without a reply. While it waits the
// timer keeps ticking.
bool BlockReadLost(BlockRead& read, int pump, pumplink::WireCode code, int panel, int timer);

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
// ...or shows the pump's block in them and notes that. With keepEdits a field whose value is
// no longer the one shown (the technician's entry, or what the dialog worked out for him)
// keeps it: a later reply fills only what nobody changed.
void ShowBlockFields(int panel, std::span<const BlockField> fields, std::span<double> shown,
                     const std::uint8_t* block, bool keepEdits);
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
