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

// Recording from the start and an archive to move the recordings to: a pump trips, the
// station stops and starts twice. The journal, brought from where an older station kept it
// among the recordings, still holds the trip awaiting acknowledgement and every event of
// every run; the archive holds recordings and nothing else.
TEST_F(JournalKill, RecordingsGoToTheArchiveAtEveryStopAndTheJournalStaysWithItsTrip) {
    const fs::path home = dir / "home";
    const fs::path archive = dir / "archive";
    fs::create_directories(archive);
    fs::create_directories(home / "data");
    UseStationFolder(dir);
    setenv("VNK_ARCHIVE_DIR", archive.c_str(), 1);
    WriteConfig((home / "cfg" / "vnk.cfg").string(), FleetConfig());
    std::ofstream(home / "cfg" / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n\"AutoRecord\"=dword:00000001\r\n";
    {
        // What an older station left among the recordings: one event, one alarm.
        platform::SqliteJournal old;
        ASSERT_TRUE(old.open((home / "data" / "journal.db").string(), notice)) << notice;
        const std::int64_t anHourAgo = std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                           .count() -
                                       3600000;
        journal::Alarm inlineTrip{journal::kNoPump, journal::Kind::Inline,
                                  "Inline overpressure (older station)",
                                  journal::AlarmState::ClearedUnacknowledged, anHourAgo};
        journal::Event e{0, anHourAgo, journal::kNoPump, journal::Kind::Inline,
                         "Inline overpressure (older station)"};
        ASSERT_TRUE(old.append(e, &inlineTrip));
    }
    SimProcess sim;
    const fs::path took = dir / "commands.log";
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--trip", "5",
                           "--log", took.string()},
                          (dir / "sim.log").string()));
    // Data requests pump 5 took in: one at most every 0.1 s of the station's clock, the next
    // only once the reply to the one before, its trip word with it, was taken in.
    const auto polledPump5 = [&] {
        const std::string text = readFile(took);
        int n = 0;
        for (size_t at = 0; (at = text.find(" pump=5 type=", at)) != std::string::npos; ++at)
            n += text.compare(text.find(" code=", at), 11, " code=0x18 ") == 0 ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "ports" / "COM24"); }));

    const fs::path db = home / "journal" / "journal.db";
    const auto counted = [&](journal::Kind kind, const char* text) {
        platform::SqliteJournal j;
        std::string n;
        return fs::exists(db) && j.open(db.string(), n) ? count(j, kind, text) : 0;
    };
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        SimProcess station;
        const fs::path log = dir / ("station" + std::to_string(run) + ".log");
        ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, log.string()));
        ASSERT_TRUE(waitFor([&] {
            return counted(journal::Kind::Link, "On line") >= 24 * run &&
                   counted(journal::Kind::Recording, "started") >= run;
        }, 90.0, 0.1));
        // Two seconds of the station's own clock, for the recorder's lines and pump 5's trip.
        const int polled = polledPump5();
        ASSERT_TRUE(waitFor([&] { return polledPump5() >= polled + 20; }));
        EXPECT_EQ(station.stop(), 0) << readFile(log);
        EXPECT_EQ(readFile(log).find("popup: Event Journal"), std::string::npos) << readFile(log);
        EXPECT_EQ(readFile(log).find("Recording Error"), std::string::npos) << readFile(log);

        platform::SqliteJournal j;
        ASSERT_TRUE(j.open(db.string(), notice));
        EXPECT_TRUE(notice.empty()) << notice;
        EXPECT_EQ(count(j, journal::Kind::Station, "Start-up"), run);
        EXPECT_EQ(count(j, journal::Kind::Station, "Shut-down"), run);
        EXPECT_EQ(count(j, journal::Kind::Trip, "Tripped"), 1) << "raised once, taken up after";
        EXPECT_EQ(count(j, journal::Kind::Inline, "Inline overpressure (older station)"), 1);
        // Every event since the first is there: ids without a gap.
        const auto all = j.newest({}, 100000);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back().id, 1);
        EXPECT_EQ(static_cast<std::int64_t>(all.size()), all.front().id);
        int unacknowledged = 0;
        for (const journal::Alarm& a : j.alarms()) {
            const bool trip = a.pump == 4 && a.name == "Tripped" &&
                              a.state == journal::AlarmState::ActiveUnacknowledged;
            const bool inlineTrip = a.kind == journal::Kind::Inline &&
                                    a.state == journal::AlarmState::ClearedUnacknowledged;
            unacknowledged += trip || inlineTrip ? 1 : 0;
        }
        EXPECT_EQ(unacknowledged, 2);
        int recordings = 0;
        for (const auto& e : fs::directory_iterator(archive)) {
            const std::string name = e.path().filename().string();
            EXPECT_EQ(name.rfind("AUTO", 0), 0u) << name << " in the archive";
            ++recordings;
        }
        EXPECT_GE(recordings, 25 * run) << "each run's 24 pump files and the place-holder";
        EXPECT_TRUE(fs::is_empty(home / "data")) << "everything of the recordings folder moved";
    }
    sim.stop();
    LeaveStationFolder();
}

}  // namespace
