#include "shell/resume.h"

#include <vector>

#include "platform/journal.h"

namespace shell {

namespace {
constexpr int kPage = 64;
}  // namespace

PreviousRun FindPreviousRun() {
    PreviousRun previous;
    journal::Store* store = journal::CurrentStore();
    if (store == nullptr) return previous;
    const std::vector<journal::Event> newest = store->newest(journal::Filter{}, 1);
    if (newest.empty()) return previous;
    previous.lastEventMs = newest.front().timeMs;
    // The station's own events, newest first, until the one that opened or closed a run
    // (remote monitoring and the settings write events of the station's kind in between).
    journal::Filter filter;
    filter.pump = journal::kNoPump;
    filter.kind = journal::Kind::Station;
    for (;;) {
        const std::vector<journal::Event> page = store->newest(filter, kPage);
        for (const journal::Event& e : page) {
            if (e.text.starts_with(kShutDownPrefix)) return previous;
            if (e.text.starts_with(kStartUpPrefix)) {
                previous.unclean = true;
                return previous;
            }
        }
        if (page.size() < static_cast<size_t>(kPage)) return previous;
        filter.beforeId = page.back().id;
    }
}

std::string RestartedText(std::int64_t lastEventMs) {
    // "YYYY-MM-DD HH:MM:SS.mmm": the operator is told the time of day.
    const std::string at = journal::FormatTime(lastEventMs).substr(11, 8);
    return "Restarted after an unexpected end (last event " + at + "); automatic control is off";
}

}  // namespace shell
