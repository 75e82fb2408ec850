// kill -9 against the journal: a writer killed in the middle of a burst loses no event
// whose transaction committed, and vnk-station killed while its fleet comes on line starts
// again on the same journal without setting it aside, and with the alarms it had.
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
#include "support/config_file.h"
#include "support/sim_process.h"

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
        const long long lastCommitted = std::stoll(ids.substr(begin == std::string::npos ? 0 : begin + 1));

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
    setenv("VNK_HOME", (dir / "home").c_str(), 1);
    setenv("VNK_PORTS_DIR", (dir / "ports").c_str(), 1);
    setenv("VNK_PARPORT", (dir / "parport").c_str(), 1);
    setenv("VNK_POPUPS", "auto", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::ofstream(dir / "parport", std::ios::binary) << '\x10';
    WriteConfig((dir / "home" / "cfg" / "vnk.cfg").string(), FleetConfig());
    SimProcess sim;
    // Pump 5 stays tripped throughout: its alarm outlives the kill, and the second run
    // takes it up instead of raising it again.
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--trip", "5"},
                          (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const fs::path db = dir / "home" / "data" / "journal.db";
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
        EXPECT_EQ(count(j, journal::Kind::Station, "Start-up"), 1) << readAll(dir / "station1.log");
        EXPECT_GE(count(j, journal::Kind::Link, "On line"), 12);
        const auto alarms = j.alarms();
        ASSERT_EQ(alarms.size(), 1u);
        EXPECT_TRUE(alarms[0].pump == 4 && alarms[0].name == "Tripped" &&
                    alarms[0].state == journal::AlarmState::ActiveUnacknowledged);
    }

    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station2.log").string()));
    const Clock::time_point t1 = Clock::now();
    while (since(t1) < 90.0 && onLine() < 24 + 12) std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
    EXPECT_EQ(count(j, journal::Kind::Trip, "Tripped"), 1) << "the trip was taken up, not raised again";
    EXPECT_EQ(j.alarms().size(), 1u);
    for (const char* v : {"VNK_HOME", "VNK_PORTS_DIR", "VNK_PARPORT", "VNK_POPUPS"}) unsetenv(v);
}

}  // namespace
