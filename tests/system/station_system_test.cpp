// vnk-station as the operator starts it, offscreen with headless popups, against vnk-sim
// over pseudo-terminals: the fleet comes on line (the output line keeping its decimal points
// under a decimal-comma desktop), SIGTERM ends it cleanly with its settings saved, a second
// start finds them again, a second station on the same folder is refused while the first
// runs, and the blender computer's peer gets a good reply through every failure mode.
#include <gtest/gtest.h>
#include <locale.h>
#include <signal.h>
#include <stdlib.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/exit_status.h"
#include "platform/journal.h"
#include "platform/real/sqlite_journal.h"
#include "settings/config_record.h"
#include "support/config_file.h"
#include "support/files.h"
#include "support/sim_process.h"
#include "support/station_folder.h"

namespace fs = std::filesystem;

namespace {

using namespace settings;

// What a pump took in, from vnk-sim's log: "t=12.346 pump=1 type=3 code=0x1a ... rpm=600 ...".
struct Took {
    int pump = 0;
    bool speed = false;
    int rpm = 0;
};
std::vector<Took> tookIn(const fs::path& log) {
    std::vector<Took> out;
    std::ifstream f(log);
    for (std::string line; std::getline(f, line);) {
        const size_t at = line.find(" pump=");
        if (line.rfind("t=", 0) != 0 || at == std::string::npos) continue;
        Took t;
        t.pump = std::atoi(line.c_str() + at + 6);
        t.speed = line.find(" type=3 code=0x1a ") != std::string::npos;
        const size_t rpm = line.find(" rpm=");
        if (t.speed && rpm != std::string::npos) t.rpm = std::atoi(line.c_str() + rpm + 5);
        out.push_back(t);
    }
    return out;
}

// Whether every pump 1-24 took in at least n packets after the first `from` of the log.
bool everyPumpTookIn(const std::vector<Took>& took, size_t from, int n) {
    std::map<int, int> count;
    for (size_t i = from; i < took.size(); ++i) ++count[took[i].pump];
    for (int pump = 1; pump <= 24; ++pump)
        if (count[pump] < n) return false;
    return true;
}

// The desktop's language as a station started now sees it (LC_ALL outranks LC_NUMERIC and
// LANG); the setting before comes back at the end of the scope.
class DesktopLanguage {
  public:
    explicit DesktopLanguage(const char* lang) {
        if (const char* v = std::getenv("LC_ALL")) saved_ = v;
        setenv("LC_ALL", lang, 1);
    }
    ~DesktopLanguage() { saved_ ? setenv("LC_ALL", saved_->c_str(), 1) : unsetenv("LC_ALL"); }

  private:
    std::optional<std::string> saved_;
};

class StationRun : public ::testing::Test {
  protected:
    void SetUp() override { UseStationFolder(dir); }
    void TearDown() override {
        station.stop();
        sim.stop();
        LeaveStationFolder();
    }

    // vnk-sim on the folder's ports, capturing COM25 (the output line), once its ports are
    // there.
    void startSim(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"--ports-dir", (dir / "ports").string(), "--quiet",
                                         "--capture", "25=" + (dir / "output.txt").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim.start(VNK_SIM_PATH, args, (dir / "sim.log").string()));
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "ports" / "COM24"); }));
    }

    fs::path cfgPath() const { return dir / "home" / "cfg" / "vnk.cfg"; }

    void writeConfig(int units) {
        ConfigRecord r = FleetConfig();
        r.DisplayUnits = units;
        r.OutputComPort = 25;
        for (int i = 0; i < 25; ++i) {
            r.RpmStepLarge[i] = 100 + i;
            r.RpmStepSmall[i] = -1;  // impossible: the defaults are taken, and saved
        }
        WriteConfig(cfgPath().string(), r);
    }

    // The newest output line that has its end, without the "\n".
    std::string lastCompleteLine() const {
        const std::string text = readFile(dir / "output.txt");
        const size_t end = text.rfind('\n');
        if (end == std::string::npos) return {};
        const size_t before = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
        const size_t from = before == std::string::npos ? 0 : before + 1;
        return text.substr(from, end - from);
    }
    // Pumps in the newest complete output line, or -1 when there is none yet.
    int pumpsInOutput() const {
        const std::string line = lastCompleteLine();
        return line.empty() ? -1 : static_cast<int>(std::count(line.begin(), line.end(), ',')) / 9;
    }

    // Complete lines of the output so far: the station writes one a second.
    int outputLines() {
        const std::string text = readFile(dir / "output.txt");
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    // Starts the station; whether all 24 pumps came into its output line.
    bool fleetComesOnLine() {
        EXPECT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station.log").string()));
        return waitFor([&] { return pumpsInOutput() == 24; });
    }
    // Waits for n more output lines: n seconds of the station's own clock.
    bool stationSeconds(int n) {
        const int from = outputLines();
        return waitFor([&] { return outputLines() >= from + n; });
    }

    TempFolder dir{"vnk_station"};
    SimProcess sim;
    SimProcess station;
};

// Under a desktop whose language writes a decimal comma, as the station runs here, the output
// line keeps its points: with commas in the numbers the receiver would count more fields.
TEST_F(StationRun, FleetOnLineThenSigtermSavesAndASecondStartKeepsTheSettings) {
    writeConfig(1);  // metric: the pressure has two decimals as well
    // "AutoRecord": the station records from its start, and SIGTERM writes every line.
    std::ofstream(dir / "home" / "cfg" / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n\"AutoRecord\"=dword:00000001\r\n";
    const locale_t german = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
    if (german == nullptr) GTEST_SKIP() << "de_DE.UTF-8 missing (scripts/deps.sh makes it)";
    ::freelocale(german);
    DesktopLanguage desktop("de_DE.UTF-8");
    startSim({"--speed", "all=1000"});

    ASSERT_TRUE(fleetComesOnLine()) << lastCompleteLine();
    // As under LANG=C: the time, then nine fields per pump on line; pressure with two
    // decimals, oil pressure, suction pressure and rate with one.
    const std::string pump =
        R"(,-?\d+,-?\d+\.\d\d,-?\d+,-?\d+\.\d,-?\d+,-?\d+\.\d,-?\d+,-?\d+\.\d,-?\d+)";
    EXPECT_TRUE(std::regex_match(lastCompleteLine(),
                                 std::regex(R"(\d\d:\d\d:\d\d(?:)" + pump + R"(){24}\r)")))
        << lastCompleteLine();
    fs::remove(cfgPath());           // the exit must write it again
    ASSERT_TRUE(stationSeconds(3));  // a recorder line for every pump

    EXPECT_EQ(station.stop(), 0);
    ASSERT_TRUE(fs::exists(cfgPath())) << "vnk.cfg not saved at exit";
    int pumpFiles = 0;
    for (const auto& e : fs::directory_iterator(dir / "home" / "data")) {
        const std::string name = e.path().filename().string();
        ASSERT_EQ(name.rfind("AUTO", 0), 0u) << name << ": the journal has a folder of its own";
        if (name.find('_', 13) == std::string::npos) continue;  // the place-holder
        ++pumpFiles;
        const std::string text = readFile(e.path());
        EXPECT_EQ(text.rfind("Pump #", 0), 0u) << name;
        EXPECT_GE(std::count(text.begin(), text.end(), '\n'), 5) << name;  // header and a line
    }
    EXPECT_EQ(pumpFiles, 24);
    EXPECT_EQ(fs::file_size(cfgPath()), 906u);

    std::uint8_t bytes[kConfigRecordSize] = {};
    ASSERT_EQ(ReadConfigFile(cfgPath().string(), bytes, kConfigRecordSize), 0);
    ConfigRecord saved{};
    DecodeConfigRecord(bytes, saved);
    EXPECT_EQ(saved.DisplayUnits, 1);
    EXPECT_EQ(saved.OutputComPort, 25);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(saved.PumpComPort[i], i + 1);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(saved.RpmStepLarge[i], 100 + i);
        EXPECT_EQ(saved.RpmStepSmall[i], 25);
    }

    // A second start with what the first one saved.
    std::ofstream(dir / "output.txt", std::ios::trunc).close();
    EXPECT_TRUE(fleetComesOnLine());
    EXPECT_EQ(station.stop(), 0);
    std::uint8_t second[kConfigRecordSize] = {};
    ASSERT_EQ(ReadConfigFile(cfgPath().string(), second, kConfigRecordSize), 0);
    EXPECT_EQ(std::memcmp(bytes, second, kConfigRecordSize), 0);

    // A stop that comes during the splash, before the settings were loaded, ends start-up
    // just as cleanly and leaves vnk.cfg alone, even a record that a load would have mended
    // (its impossible small steps) and saved. The journal's file, made afresh, says the
    // station has its stop handler and the splash's waits are ahead of it.
    writeConfig(1);
    const std::string unloaded = readFile(cfgPath());
    fs::remove_all(dir / "home" / "journal");
    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station.log").string()));
    ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "home" / "journal" / "journal.db"); }));
    EXPECT_EQ(station.stop(), 0);
    EXPECT_TRUE(readFile(cfgPath()) == unloaded)
        << "a stop before the settings were loaded must leave vnk.cfg alone";

    const std::string text = readFile(dir / "station.log");
    EXPECT_EQ(text.find("popup:"), std::string::npos) << text;
}

// Two stations on one set of files would overwrite each other's settings, recordings and
// journal. A second one is refused at once, says why, and the first runs on. (That the lock
// is the owner's and dies with its holder, kill -9 included, is the home lock's test.)
TEST_F(StationRun, SecondStationOnTheSameFolderIsRefusedWhileTheFirstRuns) {
    writeConfig(0);
    startSim({"--speed", "all=1000"});
    ASSERT_TRUE(fleetComesOnLine());

    SimProcess second;
    ASSERT_TRUE(second.start(VNK_STATION_PATH, {}, (dir / "second.log").string()));
    int status = 0;
    pid_t ended = 0;
    waitFor([&] { return (ended = ::waitpid(second.pid(), &status, WNOHANG)) != 0; });
    ASSERT_EQ(ended, second.pid()) << "the second station still runs";
    second.forget();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), platform::kExitAlreadyRunning);
    const std::string text = readFile(dir / "second.log");
    const std::string home = (dir / "home").string();
    EXPECT_NE(text.find("vnk-station: another station is already running on " + home),
              std::string::npos)
        << text;
    const std::string popup =
        "popup: Station Already Running: Another VNK PC station is already "
        "running on " +
        home + ". Only one station may run on one set of files.\n";
    EXPECT_NE(text.find(popup), std::string::npos) << text;
    EXPECT_EQ(text.find("popup:"), text.rfind("popup:")) << "nothing else started: " << text;

    // The first one still polls its fleet and writes its output line.
    EXPECT_EQ(::waitpid(station.pid(), &status, WNOHANG), 0);
    std::ofstream(dir / "output.txt", std::ios::trunc).close();
    EXPECT_TRUE(waitFor([&] { return pumpsInOutput() == 24; }));
    EXPECT_EQ(station.stop(), 0);
}

// A user who may not write the program folder (outside its group) gets no station: with the
// lock file there (another member made it) the lock is taken but the folder is not writable;
// without it the lock cannot be made. Either way one line names the folder, the user and the
// group to join, one message box says it, the status is the folder's own, and nothing was
// made there. As root the station runs as nobody, for whom the folder is not writable.
TEST_F(StationRun, StationThatCannotWriteItsFolderRefusesToStart) {
    const fs::path home = dir / "home";
    fs::permissions(dir.path(), fs::perms(0755));
    const bool root = ::geteuid() == 0;
    fs::permissions(home, fs::perms(root ? 0755 : 0555));
    const std::string user = root ? "nobody" : ::getpwuid(::geteuid())->pw_name;
    for (const bool lockFileThere : {true, false}) {
        SCOPED_TRACE(lockFileThere ? "lock file there" : "no lock file");
        if (lockFileThere) {
            fs::permissions(home, fs::perms(0755));
            std::ofstream(home / "vnk-station.lock").close();
            fs::permissions(home / "vnk-station.lock", fs::perms(0644));
            fs::permissions(home, fs::perms(root ? 0755 : 0555));
        }
        SimProcess refused;
        const std::string log = (dir / "refused.log").string();
        if (root)
            ASSERT_TRUE(refused.start("/usr/bin/setpriv",
                                      {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                       VNK_STATION_PATH},
                                      log));
        else
            ASSERT_TRUE(refused.start(VNK_STATION_PATH, {}, log));
        int status = 0;
        pid_t ended = 0;
        waitFor([&] { return (ended = ::waitpid(refused.pid(), &status, WNOHANG)) != 0; });
        ASSERT_EQ(ended, refused.pid()) << "the station runs";
        refused.forget();
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), platform::kExitFolderRefused);
        const std::string text = readFile(log);
        EXPECT_NE(text.find("vnk-station: cannot use the program folder " + home.string() +
                            " ("),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(" as user " + user + ": add " + user + " to the group vnk (sudo "
                            "adduser " + user + " vnk) and log in again\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("popup: Program Folder Not Usable: VNK PC cannot write its program "
                            "folder " + home.string()),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("popup:"), text.rfind("popup:")) << text;
        EXPECT_EQ(text.find("vnk-station:"), text.rfind("vnk-station:")) << text;
        EXPECT_FALSE(fs::exists(home / "journal")) << "the station went on";
        fs::permissions(home, fs::perms(0755));
        fs::remove(home / "vnk-station.lock");
    }
}

// The station under its service manager, whose notify socket a datagram socket of the test's
// own stands for, with a watchdog of 1 s (the demo station, for its driver that holds the
// event loop 3 s as a call that hangs would). READY comes once the fleet is polled, with the
// pumps on line and the E-stop in the status; the pings come from the loop at half the
// watchdog time-out, none while the loop is held; SIGTERM brings STOPPING.
TEST_F(StationRun, ServiceManagerHearsReadyPingsStatusAndStopping) {
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = (dir / "notify").string();
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    struct Heard {
        double at;
        std::string text;
    };
    std::vector<Heard> heard;
    const auto t0 = std::chrono::steady_clock::now();
    auto since = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    // Listens until done() holds, or a minute and a half (a hang, not a slow machine).
    auto listen = [&](const std::function<bool()>& done) {
        for (const double end = since() + 90.0; since() < end && !done();) {
            pollfd p{sock, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[512];
            const ssize_t n = ::recv(sock, buf, sizeof buf, 0);
            if (n > 0) heard.push_back({since(), std::string(buf, static_cast<size_t>(n))});
        }
    };
    auto count = [&](const std::string& what, double from, double to) {
        return std::count_if(heard.begin(), heard.end(), [&](const Heard& h) {
            return h.at >= from && h.at <= to && h.text.find(what) != std::string::npos;
        });
    };

    writeConfig(0);
    startSim({"--speed", "all=1000"});
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "1000000", 1);
    setenv("VNK_DEMO_HOLD", "3@20", 1);
    const bool started = station.start(VNK_STATION_DEMO_PATH, {}, (dir / "station.log").string());
    for (const char* v : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "VNK_DEMO_HOLD"}) unsetenv(v);
    ASSERT_TRUE(started);
    const auto held = [&] {
        return readFile(dir / "station.log").find("demo: loop held 3 s") != std::string::npos;
    };
    listen(held);
    const double heldAt = since();  // the hold began a poll before
    listen([&] { return since() > heldAt + 5.0; });  // the hold and a while after it
    const double stopAt = since();
    EXPECT_EQ(station.stop(), 0);
    listen([&] { return count("STOPPING=1", stopAt, since()) > 0; });
    ::close(sock);

    std::string all;
    for (const Heard& h : heard) all += "[" + std::to_string(h.at) + "] " + h.text + "\n";
    ASSERT_FALSE(heard.empty());
    const auto ready = std::find_if(heard.begin(), heard.end(), [](const Heard& h) {
        return h.text.find("READY=1") != std::string::npos;
    });
    ASSERT_NE(ready, heard.end()) << all;
    EXPECT_EQ(ready, heard.begin()) << "nothing before READY: " << all;
    ASSERT_TRUE(held()) << all;
    EXPECT_LT(ready->at, heldAt) << "READY after the loop was held: " << all;
    EXPECT_GE(count("STATUS=24 pumps on line, E-stop clear", 0, stopAt), 1) << all;

    // The hold: the one long silence among the pings, about 3 s; else one every 0.5 s (counted
    // with room for a busy machine, which only ever makes fewer).
    std::vector<double> pings;
    for (const Heard& h : heard)
        if (h.at <= stopAt && h.text == "WATCHDOG=1") pings.push_back(h.at);
    ASSERT_GE(pings.size(), 2u) << all;
    double longest = 0.0;
    for (size_t i = 1; i < pings.size(); ++i) longest = std::max(longest, pings[i] - pings[i - 1]);
    EXPECT_GE(longest, 2.5) << "pings went on while the loop was held: " << all;
    const double span = pings.back() - ready->at;
    EXPECT_GE(static_cast<double>(pings.size()), (span - 3.0) / 0.5 * 0.6) << all;
    EXPECT_LE(static_cast<double>(pings.size()), span / 0.5 + 2.0) << all;
    EXPECT_NE(readFile(dir / "station.log").find("demo: loop held 3 s"), std::string::npos);

    EXPECT_EQ(count("STOPPING=1", stopAt, since()), 1) << all;
    EXPECT_EQ(count("STOPPING=1", 0, stopAt), 0) << all;
}

// kill -9 in the middle of a job and an immediate restart on the same files: every pump is
// polled and the E-stop input read again (the bound here only catches a hang; the figure is
// bench/restart.sh's), no pump takes a speed command, pump 5's trip is still unacknowledged
// in the one journal, which holds both start-ups and the "Restarted" line.
TEST_F(StationRun, KilledAndStartedAgainAtOnceResumesWithoutCommandingAPump) {
    writeConfig(0);
    const std::string log = (dir / "commands.log").string();
    startSim({"--speed", "all=1200", "--trip", "5", "--log", log});
    ASSERT_TRUE(fleetComesOnLine());
    ASSERT_TRUE(stationSeconds(2));
    ASSERT_EQ(::kill(station.pid(), SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(station.pid(), &status, 0), station.pid());
    station.forget();

    // Reads of the E-stop's status byte from now on.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir / "parport").c_str(), IN_ACCESS), 0);
    const size_t killedAt = tookIn(log).size();
    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station.log").string()));
    char buffer[4096];
    EXPECT_TRUE(waitFor([&] { return ::read(watch, buffer, sizeof buffer) > 0; }))
        << "the E-stop input is not read";
    ::close(watch);
    EXPECT_TRUE(waitFor([&] { return everyPumpTookIn(tookIn(log), killedAt, 1); }))
        << "a pump not polled";
    ASSERT_TRUE(stationSeconds(2));
    EXPECT_EQ(station.stop(), 0);
    const std::vector<Took> took = tookIn(log);
    for (size_t i = killedAt; i < took.size(); ++i)
        EXPECT_FALSE(took[i].speed) << "pump " << took[i].pump << " commanded";
    EXPECT_EQ(readFile(log).find(" code=0x35 "), std::string::npos) << "the trip was reset";

    platform::SqliteJournal journal;
    std::string notice;
    ASSERT_TRUE(journal.open((dir / "home" / "journal" / "journal.db").string(), notice)) << notice;
    journal::Filter stationEvents;
    stationEvents.kind = journal::Kind::Station;
    int startUps = 0, restarted = 0;
    for (const journal::Event& e : journal.newest(stationEvents, 1000)) {
        startUps += e.text.starts_with("Start-up") ? 1 : 0;
        restarted += std::regex_match(e.text, std::regex(R"(Restarted after an unexpected end )"
                                                         R"(\(last event \d\d:\d\d:\d\d\); )"
                                                         R"(automatic control is off)"))
                         ? 1
                         : 0;
    }
    EXPECT_EQ(startUps, 2);
    EXPECT_EQ(restarted, 1);
    bool tripUnacknowledged = false;
    for (const journal::Alarm& a : journal.alarms())
        tripUnacknowledged = tripUnacknowledged || (a.pump == 4 && a.kind == journal::Kind::Trip &&
                                                    (a.state == journal::AlarmState::ActiveUnacknowledged ||
                                                     a.state == journal::AlarmState::ClearedUnacknowledged));
    EXPECT_TRUE(tripUnacknowledged);
}

}  // namespace

// The blender computer's link on real sockets, metric display, the inline trip on at 6000 psi.
// vnk-blender holds its clock until the fleet is on line, so that the start-up's waits are
// behind (reads taken together there would be one message), then sends every 0.2 s and checks
// every reply against vnk-sim's fleet: one message over the trip, then each failure mode in
// turn (the garbage mode's "1e12" and "inf" trip too), a close, and a second start of the
// station finds it refusing. The pumps are still polled after it all. (How long the loop may
// be held by a flood of messages is bench/loop_stall.sh's figure.)
TEST_F(StationRun, BlenderPeerGetsAGoodReplyToEveryMessageThroughEveryFailureMode) {
    ConfigRecord r = FleetConfig();
    std::strcpy(r.ServerName, "127.0.0.1");
    r.OutputComPort = 25;  // the output line tells when the fleet is on line
    r.DisplayUnits = 1;
    WriteConfig(cfgPath().string(), r);
    std::ofstream(dir / "home" / "cfg" / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]"
           "\r\n\"Inline OP Trip\"=dword:00000001\r\n\"Inline OP Value\"=dword:03938700\r\n";
    const std::string state = (dir / "fleet.state").string(), log = (dir / "commands.log").string();
    std::vector<std::string> args = {"--port",  "0",      "--interval", "0.2",   "--quiet",
                                     "--units", "metric", "--state",    state, "--hold"};
    for (const char* ramp : {"3000@0", "3000@4", "9000@4", "9000@4.2", "3000@4.2"})
        args.insert(args.end(), {"--ramp", ramp});
    for (const char* mode :
         {"silent@0-3", "split@6-7.2", "coalesce@7.6-8.8", "oversize:1000@9.2-10.4",
          "garbage@10.8-12", "silent@12.4-13.6", "no-read@14-17", "close@17.5", "refuse@18"})
        args.insert(args.end(), {"--fail", mode});
    SimProcess blender;
    ASSERT_TRUE(blender.start(VNK_BLENDER_PATH, args, (dir / "blender.log").string()));
    std::string said;
    std::smatch listening;  // the port the peer found free
    ASSERT_TRUE(waitFor([&] {
        said = readFile(dir / "blender.log");
        return std::regex_search(said, listening, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
    })) << said;
    setenv("VNK_BLENDER_PORT", listening[1].str().c_str(), 1);
    startSim({"--speed", "all=1500", "--state", state, "--log", log});
    ASSERT_TRUE(fleetComesOnLine());
    ASSERT_EQ(::kill(blender.pid(), SIGUSR1), 0);
    // The peer closes, and is polled after it; then the peer refuses new connections.
    EXPECT_TRUE(waitFor([&] {
        return readFile(dir / "station.log").find("popup: Connection Closed") != std::string::npos;
    })) << readFile(dir / "station.log");
    const size_t closed = tookIn(log).size();
    EXPECT_TRUE(waitFor([&] { return everyPumpTookIn(tookIn(log), closed, 10); }))
        << "a pump no longer polled after the close";
    EXPECT_TRUE(waitFor([&] {
        return readFile(dir / "blender.log").find("refusing connections") != std::string::npos;
    }));
    const int exitCode = station.stop();
    const std::string firstLog = readFile(dir / "station.log");
    EXPECT_EQ(exitCode, 0) << firstLog;
    std::ofstream(dir / "output.txt", std::ios::trunc).close();
    EXPECT_TRUE(fleetComesOnLine()) << "started while the peer refuses";
    EXPECT_EQ(station.stop(), 0);
    EXPECT_EQ(blender.stop(), 0);
    unsetenv("VNK_BLENDER_PORT");
    const std::string text = readFile(dir / "blender.log");
    std::smatch m;
    // The station connects again by itself after the close; whether that lands before the
    // peer starts refusing depends on the watchdog's phase.
    ASSERT_TRUE(std::regex_search(text, m,
                                  std::regex(R"(summary connections=[12] overlaps=0 .* )"
                                             R"(checked=(\d+) mismatches=0 result=ok)")))
        << text;
    EXPECT_GE(std::stoi(m[1]), 50) << "replies compared with the fleet";
    // The end of the stream is the server closing: one message, and nothing else to answer.
    EXPECT_EQ(firstLog.find("popup:"), firstLog.find("popup: Connection Closed")) << firstLog;
    EXPECT_EQ(firstLog.find("popup:", firstLog.find("popup:") + 1), std::string::npos);

    // The trip idles every pump at once and on the two ticks of the trip timer; the garbage
    // mode's "1e12" and "inf" trip again, as they must. Nothing raises a pump.
    std::map<int, int> idles;
    for (const Took& t : tookIn(log)) {
        if (!t.speed || t.pump > 24) continue;
        EXPECT_LE(t.rpm, 600) << "pump " << t.pump;
        ++idles[t.pump];
    }
    for (int pump = 1; pump <= 24; ++pump) EXPECT_GE(idles[pump], 3) << "pump " << pump;
}
