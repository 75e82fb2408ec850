// The resume after an unclean end: whether the last run ended without its shut-down, read
// from the journal before this run writes to it, and what the restart tells the operator.
// A resume brings the link up first and skips the splash's waits; it commands nothing by
// itself (automatic control starts off, as at every start), so the pumps get only what
// their state requires: the E-stop's and the trips' idles.
#pragma once

#include <cstdint>
#include <string>

namespace shell {

// The journal's texts that open and close a run.
inline constexpr const char* kStartUpPrefix = "Start-up";
inline constexpr const char* kShutDownPrefix = "Shut-down";

struct PreviousRun {
    // Its last start-up has no shut-down after it: it was killed, crashed or lost power.
    bool unclean = false;
    std::int64_t lastEventMs = 0;  // its newest event, of any kind
};
// Read from the journal in use; a station without a journal, or with an empty one, starts
// as after a clean end.
PreviousRun FindPreviousRun();
// "Restarted after an unexpected end (last event HH:MM:SS); automatic control is off".
std::string RestartedText(std::int64_t lastEventMs);
// How long the bank windows' foot line shows the restart.
inline constexpr double kRestartNoticeSeconds = 60.0;

}  // namespace shell
