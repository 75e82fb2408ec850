// kill -9 against the journal: a writer killed in the middle of a burst loses no event
// whose transaction committed, and opens again without being set aside. And the journal
// beside the recorder: recordings moved to the archive at every stop never take it with them,
// over restarts, with the trip of the first run taken up by the next instead of raised again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/real/sqlite_journal.h"
#include "support/config_file.h"
#include "support/files.h"
#include "support/sim_process.h"
#include "support/station_folder.h"

namespace fs = std::filesystem;

namespace {

void killHard(SimProcess& p) {
    ASSERT_GT(p.pid(), 0);
    ::kill(p.pid(), SIGKILL);
    int status = 0;
    ::waitpid(p.pid(), &status, 0);
    p.forget();
    ASSERT_TRUE(WIFSIGNALED(status));
}

class JournalKill : public ::testing::Test {
  protected:

    // Events of this kind whose text holds text, among the newest 10000.
    int count(platform::SqliteJournal& db, journal::Kind kind, const std::string& text) {
        int n = 0;
        journal::Filter f;
        f.kind = kind;
        for (const journal::Event& e : db.newest(f, 10000))
            n += e.text.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    TempFolder dir{"vnk_journal_kill"};
    std::string notice;
};

TEST_F(JournalKill, EveryCommittedEventSurvivesAKillInTheMiddleOfABurst) {
    const std::string path = (dir / "journal.db").string();
    for (int round = 0; round < 3; ++round) {
        SimProcess writer;
        const fs::path out = dir / ("ids" + std::to_string(round));
        ASSERT_TRUE(writer.start(VNK_BURST_PATH, {path}, out.string()));
        waitFor([&] { return !fs::exists(out) || fs::file_size(out) >= 20000u * (round + 1); },
                10.0);
        killHard(writer);

        // The last id printed whole was committed before the kill.
        const std::string ids = readFile(out);
        const size_t end = ids.rfind('\n');
        ASSERT_NE(end, std::string::npos) << "the writer wrote nothing";
        const size_t begin = ids.rfind('\n', end - 1);
        const long long lastCommitted =
            std::stoll(ids.substr(begin == std::string::npos ? 0 : begin + 1));

        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(path, notice)) << notice;
        EXPECT_TRUE(notice.empty()) << notice;
        const auto newest = db.newest({}, 1);
        ASSERT_FALSE(newest.empty());
        EXPECT_GE(newest[0].id, lastCommitted);
        EXPECT_EQ(db.count(), newest[0].id) << "no committed event is missing";
    }
}

}  // namespace
