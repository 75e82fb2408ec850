// pumpsim script: changes to a running fleet at chosen seconds, as vnk-sim's options give them.
//
// Per pump (P is a pump number or a list: 5, 1-8,12 or all):
//   trip=P[:BITS][@SEC]    the unit trips as its own protection would: tripped state, the
//                          trip-word BITS (default 0, as an overpressure trip), the present
//                          discharge pressure kept as last-trip psi, set-point 0 and the motor
//                          stopped; reset alarms (0x35) clears it
//   fault=P[:WORD][@SEC]   the drive reports fault WORD (default 0x0001, OR-ed into the fault
//                          word) and holds the motor stopped unless the shutdown override (0x36)
//                          is on; reset VFD fault (0x34) clears it
//   alarm=P:BITS[@SEC]     the alarm BITS latch as if their limits had been passed; reset
//                          alarms (0x35) clears them
//   pressure=P:PSI[@SEC]   the discharge transducer reads PSI from then on (a test pressure
//                          for a calibration); pressure=P:well[@SEC] gives the well's back
//   P=MODE[@SEC]           a line failure mode (Failure): silent, late, noise, crc, bytewise,
//                          short, hangup, or ok to clear them all but an unplugged adapter;
//                          unplug takes the adapter out (the line goes away), replug puts a
//                          new one in (the line comes back, a hang-up ended)
// For the well:
//   FACTOR@SEC             screen-out: the well's resistance k is multiplied by FACTOR
// BITS and WORD are 16-bit numbers, decimal or 0x hex. Without @SEC an event happens at once.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pumpsim_fleet.h"

namespace pumpsim {

struct Event {
    enum class Kind { Trip, Fault, Alarm, Failure, ScreenOut, Pressure };
    Kind kind = Kind::Trip;
    double at = 0.0;      // seconds on the fleet's clock
    int unit = 0;         // 0..23; not used for the well
    uint16_t bits = 0;    // trip bits, fault word or alarm bits
    std::string mode;     // failure mode
    double factor = 1.0;  // screen-out
    double psi = -1.0;    // test pressure; negative: the well's

    std::string describe() const;  // for a status line: "trip 0x0010", "silent", ...
};

// "all", "none", "5", "1-8,12": numbers lo..hi in the order given.
std::optional<std::vector<int>> parsePumpList(std::string_view text, int lo, int hi);

// The forms above, for pumps 1..pumps; nullopt for anything malformed or out of range.
std::optional<std::vector<Event>> parseUnitEvent(std::string_view text, int pumps);
std::optional<std::vector<Event>> parseFailure(std::string_view text, int pumps);
std::optional<Event> parseScreenOut(std::string_view text);

// Switches a failure mode on (or off: "ok", "replug"); false for an unknown mode.
bool applyFailureMode(Controller& c, std::string_view mode);
void applyEvent(Fleet& fleet, const Event& e);

class Script {
  public:
    void add(const Event& e);  // events of one second keep the order they were added in
    // Runs the fleet on to `now`, stopping at every event due by then to apply it at its own
    // second. Returns the events applied.
    std::vector<Event> advance(Fleet& fleet, double now);
    size_t pending() const { return events_.size() - next_; }
    // Every event not yet applied happens `seconds` later (a script started late).
    void delay(double seconds) {
        for (size_t i = next_; i < events_.size(); ++i) events_[i].at += seconds;
    }

  private:
    std::vector<Event> events_;  // by time
    size_t next_ = 0;
};

}  // namespace pumpsim
