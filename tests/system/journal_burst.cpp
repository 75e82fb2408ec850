// Writes events into the journal file named on the command line as fast as it can, and
// prints each event's id once its transaction has committed, until it is killed.
#include <cstdio>
#include <string>

#include "platform/real/sqlite_journal.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    platform::SqliteJournal db;
    std::string notice;
    if (!db.open(argv[1], notice)) {
        std::fprintf(stderr, "%s\n", notice.c_str());
        return 1;
    }
    for (long i = 0;; ++i) {
        journal::Event e{0, i, static_cast<int>(i % 24), journal::Kind::Command,
                         "burst " + std::to_string(i)};
        if (!db.append(e)) return 1;
        std::printf("%lld\n", static_cast<long long>(e.id));
        std::fflush(stdout);
    }
}
