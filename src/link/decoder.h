// The decoder of the controllers' data replies: the bytes of a reply into the Pump Table
// and the shared configuration buffers, with the derived values and the metric conversion
// done in place. It sends nothing, shows nothing and reads no clock: what a reply asks of
// the rest of the link (a dialog to refresh, a block to write back) comes back as its result.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "link/protocol.h"

namespace pumplink {

struct DecodeResult {
    // The reply's block was taken. Not for an unknown code, a channel out of range, or a
    // reply too short for its block.
    bool decoded = false;
    // A pressure zeroing was waiting for this block of the discharge channel: AiConfig now
    // holds the block with its new offset, to be written back to that channel.
    bool writeBackAi = false;
};

// The name of one bit of a pump's alarm word (or of its trip word), as the journal records it
// and the detail view shows it: the recordings' text where the bit has one, else the bit's
// value ("Alarm bit 0x0800"), since the controllers give the other bits no meaning the
// station knows.
std::string AlarmBitName(bool tripWord, std::uint16_t bit);

// What tripped a pump, from its trip word: the named trip bits ("COM Timeout Trip"), or
// "overpressure" when none is set.
std::string TripCause(std::uint16_t tripWord);
// The pump's trip was found in its first record since it came on line (after a restart, a
// port back): the controller tripped while the station did not hear it, at a time unknown.
bool TripFoundAtFirstContact(int pump);

// Forgets what was journalled of the pumps' words (start of a run).
void ResetDecodedEvents();

// Decodes the data of a data reply (the N bytes after the header) from entry 0-24. A reply
// shorter than the block it carries is not decoded: the previous values stand. Values are
// converted to metric when metric is set (live_units.h); a record that held the other units
// is converted whole first, so that what the reply leaves alone is in its units too.
DecodeResult DecodeDataReply(int entry, WireCode code, std::uint8_t argument1,
                             std::span<const std::uint8_t> data, bool metric);

// The second half of a throttle-configuration reply: MaxRpm and MinRpm from the block in
// AiConfig, and a set-point above the maximum brought down to the minimum (never up). Apart from the first half, so
// that an open throttle dialog sees the block, and may change it, before the limits are taken.
void ApplyThrottleLimits(int entry);

}  // namespace pumplink
