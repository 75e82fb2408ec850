// kill -9 against the journal: a writer killed in the middle of a burst loses no event
// whose transaction committed, and vnk-station killed while its fleet comes on line starts
// again on the same journal without setting it aside, and with the alarms it had. And the
// journal beside the recorder: recordings moved to the archive at every stop never take it
// with them, over restarts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/real/sqlite_journal.h"
#include "platform/version.h"
#include "support/config_file.h"
#include "support/sim_process.h"
#include "support/station_folder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

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
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vnk_journal_kill_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "home" / "cfg");
        fs::create_directories(dir / "ports");
    }
    void TearDown() override { fs::remove_all(dir); }

    // Events of this kind whose text holds text, among the newest 10000.
    int count(platform::SqliteJournal& db, journal::Kind kind, const std::string& text) {
        int n = 0;
        journal::Filter f;
        f.kind = kind;
        for (const journal::Event& e : db.newest(f, 10000))
            n += e.text.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    fs::path dir;
    std::string notice;
};

TEST_F(JournalKill, EveryCommittedEventSurvivesAKillInTheMiddleOfABurst) {
    const std::string path = (dir / "journal.db").string();
    for (int round = 0; round < 3; ++round) {
        SimProcess writer;
        const fs::path out = dir / ("ids" + std::to_string(round));
        ASSERT_TRUE(writer.start(VNK_BURST_PATH, {path}, out.string()));
        const Clock::time_point t0 = Clock::now();
        while (since(t0) < 10.0 && fs::exists(out) && fs::file_size(out) < 20000u * (round + 1))
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + 7 * round));
        killHard(writer);

        // The last id printed whole was committed before the kill.
        const std::string ids = readAll(out);
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

TEST_F(JournalKill, StationKilledWhileItsFleetComesOnLineRestartsOnTheSameJournal) {
    UseStationFolder(dir);
    WriteConfig((dir / "home" / "cfg" / "vnk.cfg").string(), FleetConfig());
    SimProcess sim;
    // Pump 5 stays tripped throughout: its alarm outlives the kill, and the second run
    // takes it up instead of raising it again.
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--trip", "5"},
                          (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const fs::path db = dir / "home" / "journal" / "journal.db";
    const auto counted = [&](journal::Kind kind, const char* text) {
        platform::SqliteJournal j;
        std::string n;
        return fs::exists(db) && j.open(db.string(), n) ? count(j, kind, text) : 0;
    };
    const auto onLine = [&] { return counted(journal::Kind::Link, "On line"); };
    SimProcess station;
    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station1.log").string()));
    const Clock::time_point t0 = Clock::now();
    // The waits end as soon as the fleet is on line; their bounds are for a machine loaded
    // with other builds and tests, where a Debug station with sanitizers starts slowly.
    while (since(t0) < 90.0 && (onLine() < 12 || counted(journal::Kind::Trip, "Tripped") < 1))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    killHard(station);
    {
        platform::SqliteJournal j;
        ASSERT_TRUE(j.open(db.string(), notice));
        EXPECT_TRUE(notice.empty()) << notice;
        EXPECT_EQ(count(j, journal::Kind::Station,
                        std::string("Start-up, version ") + platform::ProgramVersion()),
                  1)
            << readAll(dir / "station1.log");
        EXPECT_GE(count(j, journal::Kind::Link, "On line"), 12);
        const auto alarms = j.alarms();
        ASSERT_EQ(alarms.size(), 1u);
        EXPECT_TRUE(alarms[0].pump == 4 && alarms[0].name == "Tripped" &&
                    alarms[0].state == journal::AlarmState::ActiveUnacknowledged);
    }

    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station2.log").string()));
    const Clock::time_point t1 = Clock::now();
    while (since(t1) < 90.0 && onLine() < 24 + 12)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::seconds(2));  // pump 5's data records come in
    // SIGTERM: the station shuts down in its own time (a loaded machine, a Debug build).
    ::kill(station.pid(), SIGTERM);
    int status = 0;
    for (int i = 0; i < 300 && ::waitpid(station.pid(), &status, WNOHANG) != station.pid(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (WIFEXITED(status)) station.forget();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readAll(dir / "station2.log");
    sim.stop();
    const std::string log = readAll(dir / "station2.log");
    EXPECT_EQ(log.find("popup: Event Journal"), std::string::npos) << log;
    platform::SqliteJournal j;
    ASSERT_TRUE(j.open(db.string(), notice));
    EXPECT_EQ(count(j, journal::Kind::Station, "Start-up"), 2);
    EXPECT_EQ(count(j, journal::Kind::Station, "Shut-down"), 1);
    EXPECT_EQ(count(j, journal::Kind::Trip, "Tripped"), 1)
        << "the trip was taken up, not raised again";
    EXPECT_EQ(j.alarms().size(), 1u);
    LeaveStationFolder();
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
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--trip", "5"},
                          (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

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
        const Clock::time_point t0 = Clock::now();
        // Waits end as soon as the fleet is on line and the recorder has written.
        while (since(t0) < 90.0 && (counted(journal::Kind::Link, "On line") < 24 * run ||
                                    counted(journal::Kind::Recording, "started") < run))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(station.stop(), 0) << readAll(log);
        EXPECT_EQ(readAll(log).find("popup: Event Journal"), std::string::npos) << readAll(log);
        EXPECT_EQ(readAll(log).find("Recording Error"), std::string::npos) << readAll(log);

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
