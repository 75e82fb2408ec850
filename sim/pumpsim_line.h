// pumpsim line: the station's direction of a unit's serial line at 19200 baud, for a transport
// that hands the station's bytes over at once (a pseudo-terminal).
//
// Each byte occupies the line for one byte time (10 bits at 19200 baud: 1/1920 s), starting
// when the bytes before it have crossed, so writes that follow each other closely queue up.
// The controller takes each byte in when it has crossed: a packet is received, and answered,
// when its last byte has. The controller's direction needs nothing here: its reply chunks
// already carry the moment their last byte has crossed (Chunk::at).
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "pumpsim_controller.h"

namespace pumpsim {

class StationLine {
  public:
    // Bytes the station wrote, seen by the transport at `now`: they start crossing at `now`
    // or when the line is free, whichever is later.
    void write(std::span<const uint8_t> bytes, double now);
    // Hands c every byte that has crossed by `now`, each at the moment it crossed.
    void deliver(Controller& c, double now);
    // When the oldest write still on the line has wholly crossed; infinity when none is.
    double nextDue() const;
    bool idle() const { return writes_.empty(); }
    // The line is gone (its adapter pulled): what was on it is lost, and the next line is free.
    void clear();

  private:
    struct Write {
        double start = 0.0;  // its first byte starts crossing
        std::vector<uint8_t> bytes;
        size_t delivered = 0;
    };
    std::deque<Write> writes_;
    double freeAt_ = 0.0;
};

}  // namespace pumpsim
