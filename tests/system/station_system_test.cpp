// vnk-station as the operator starts it, offscreen with headless popups, against vnk-sim
// over pseudo-terminals: the fleet comes on line, SIGTERM ends it cleanly with its
// settings saved, a second start finds them again, and a second station on the same
// folder is refused while the first runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "settings/config_record.h"
#include "support/config_file.h"
#include "support/sim_process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using namespace settings;

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// The desktop's language as a station started now sees it; the earlier setting comes back
// at the end of the scope.
class DesktopLanguage {
  public:
    explicit DesktopLanguage(const char* lang) {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            saved_.push_back(v != nullptr ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
        setenv("LANG", lang, 1);
    }
    ~DesktopLanguage() {
        for (size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i])
                setenv(kNames[i], saved_[i]->c_str(), 1);
            else
                unsetenv(kNames[i]);
        }
    }

  private:
    static constexpr const char* kNames[] = {"LANG", "LC_ALL", "LC_NUMERIC"};
    std::vector<std::optional<std::string>> saved_;
};

class StationRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vnk_station_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "ports");
        fs::create_directories(dir / "home" / "cfg");
        std::ofstream(dir / "parport", std::ios::binary) << '\x10';  // E-stop loop closed
        setenv("VNK_HOME", (dir / "home").c_str(), 1);
        setenv("VNK_PORTS_DIR", (dir / "ports").c_str(), 1);
        setenv("VNK_PARPORT", (dir / "parport").c_str(), 1);
        setenv("VNK_POPUPS", "auto", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    void TearDown() override {
        station.stop();
        sim.stop();
        for (const char* v : {"VNK_HOME", "VNK_PORTS_DIR", "VNK_PARPORT", "VNK_POPUPS"})
            unsetenv(v);
        fs::remove_all(dir);
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
    std::string lastCompleteLine() {
        std::ifstream f(dir / "output.txt", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        size_t end = text.rfind('\n');
        if (end == std::string::npos) return {};
        size_t begin = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
        begin = begin == std::string::npos ? 0 : begin + 1;
        return text.substr(begin, end - begin);
    }

    // Pumps in the newest complete output line, or -1 when there is none yet.
    int pumpsInOutput() {
        std::ifstream f(dir / "output.txt", std::ios::binary);
        std::string line, last;
        while (std::getline(f, line)) last = line;
        if (last.empty()) return -1;
        int commas = static_cast<int>(std::count(last.begin(), last.end(), ','));
        return commas / 9;
    }

    // Starts the station; returns the seconds until all 24 pumps were in its output line.
    double runUntilFleetOnLine() {
        Clock::time_point t0 = Clock::now();
        EXPECT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station.log").string()));
        while (since(t0) < 30.0 && pumpsInOutput() != 24)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return since(t0);
    }

    fs::path dir;
    SimProcess sim;
    SimProcess station;
};

TEST_F(StationRun, FleetOnLineThenSigtermSavesAndASecondStartKeepsTheSettings) {
    writeConfig(1);
    // "AutoRecord": the station records from its start, and SIGTERM writes every line.
    std::ofstream(dir / "home" / "cfg" / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n\"AutoRecord\"=dword:00000001\r\n";
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--speed",
                           "all=1000", "--capture", "25=" + (dir / "output.txt").string()},
                          (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    double online = runUntilFleetOnLine();
    std::printf("all 24 pumps on line %.1f s after the station started\n", online);
    EXPECT_LE(online, 30.0);
    ASSERT_EQ(pumpsInOutput(), 24);
    fs::remove(cfgPath());                                 // the exit must write it again
    std::this_thread::sleep_for(std::chrono::seconds(2));  // a recorder line for every pump

    Clock::time_point t0 = Clock::now();
    EXPECT_EQ(station.stop(), 0);
    double exitTime = since(t0);
    std::printf("SIGTERM to exit: %.2f s\n", exitTime);
    EXPECT_LT(exitTime, 10.0);  // a hang guard, not a performance figure
    ASSERT_TRUE(fs::exists(cfgPath())) << "vnk.cfg not saved at exit";
    int pumpFiles = 0;
    for (const auto& e : fs::directory_iterator(dir / "home" / "data")) {
        const std::string name = e.path().filename().string();
        ASSERT_EQ(name.rfind("AUTO", 0), 0u) << name << ": the journal has a folder of its own";
        if (name.find('_', 13) == std::string::npos) continue;  // the place-holder
        ++pumpFiles;
        std::ifstream f(e.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(f)), {});
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
    double again = runUntilFleetOnLine();
    EXPECT_LE(again, 30.0);
    EXPECT_EQ(station.stop(), 0);
    std::uint8_t second[kConfigRecordSize] = {};
    ASSERT_EQ(ReadConfigFile(cfgPath().string(), second, kConfigRecordSize), 0);
    EXPECT_EQ(std::memcmp(bytes, second, kConfigRecordSize), 0);

    // A stop that comes during start-up ends it just as cleanly.
    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station.log").string()));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    t0 = Clock::now();
    EXPECT_EQ(station.stop(), 0);
    std::printf("SIGTERM during start-up to exit: %.2f s\n", since(t0));
    EXPECT_LT(since(t0), 3.0);
    std::uint8_t third[kConfigRecordSize] = {};
    ASSERT_EQ(ReadConfigFile(cfgPath().string(), third, kConfigRecordSize), 0);
    EXPECT_EQ(std::memcmp(bytes, third, kConfigRecordSize), 0)
        << "a stop before the settings were loaded must leave vnk.cfg alone";

    std::ifstream log(dir / "station.log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("popup:"), std::string::npos) << text;
}

// Under a desktop whose language writes a decimal comma the output line keeps its points:
// with commas in the numbers the receiver would count more fields than there are.
TEST_F(StationRun, OutputLineKeepsItsDecimalPointsUnderADecimalCommaDesktop) {
    writeConfig(1);  // metric: the pressure has two decimals as well
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--speed",
                           "all=1000", "--capture", "25=" + (dir / "output.txt").string()},
                          (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // For the station only.
    DesktopLanguage german("de_DE.UTF-8");

    // As under LANG=C: the time, then nine fields per pump on line; pressure with two
    // decimals, oil pressure, suction pressure and rate with one.
    const std::string pump =
        R"(,-?\d+,-?\d+\.\d\d,-?\d+,-?\d+\.\d,-?\d+,-?\d+\.\d,-?\d+,-?\d+\.\d,-?\d+)";
    const std::regex fleetLine(R"(\d\d:\d\d:\d\d(?:)" + pump + R"(){24}\r)");
    Clock::time_point t0 = Clock::now();
    ASSERT_TRUE(station.start(VNK_STATION_PATH, {}, (dir / "station.log").string()));
    std::string line;
    // A complete line with at least as many fields as a full fleet's: either the fleet is on
    // line, or the numbers brought commas of their own.
    while (since(t0) < 30.0) {
        line = lastCompleteLine();
        if (std::count(line.begin(), line.end(), ',') >= 24 * 9) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 24 * 9) << line;
    EXPECT_TRUE(std::regex_match(line, fleetLine)) << line;
    EXPECT_EQ(station.stop(), 0);
}

// The emergency-stop loop broken through the parallel port's status byte: every pump is
// sent to idle within half a second, none is sped up (pump 1 stands still, so it gets 0),
// and once the loop closes the repeats stop.
TEST_F(StationRun, BrokenLoopIdlesEveryPumpAndNeverRaisesOne) {
    writeConfig(0);
    const fs::path log = dir / "commands.log";
    ASSERT_TRUE(sim.start(
        VNK_SIM_PATH,
        {"--ports-dir", (dir / "ports").string(), "--quiet", "--speed", "all=1500", "--speed",
         "1=0", "--log", log.string(), "--capture", "25=" + (dir / "output.txt").string()},
        (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(runUntilFleetOnLine() < 30.0, true);
    std::this_thread::sleep_for(std::chrono::seconds(2));

    // The simulator's clock now: the time of the newest packet in its log (24 pumps are
    // polled ten times a second, so it is a few milliseconds old at most).
    auto simNow = [&log] {
        std::ifstream f(log);
        std::string l, last;
        while (std::getline(f, l))
            if (l.rfind("t=", 0) == 0) last = l;
        return last.empty() ? 0.0 : std::stod(last.substr(2));
    };
    const double broken = simNow();
    std::ofstream(dir / "parport", std::ios::binary | std::ios::trunc) << '\x00';
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const double closed = simNow();
    std::ofstream(dir / "parport", std::ios::binary | std::ios::trunc) << '\x10';
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(station.stop(), 0);

    // t=12.346 pump=1 type=3 code=0x1a arg=0 data=... rpm=600 run=1 ...
    const std::regex speed(R"(^t=([0-9.]+) pump=(\d+) type=3 code=0x1a .* rpm=(-?\d+) )");
    std::vector<double> first(25, -1.0);
    std::vector<int> rounds(25, 0);
    int lateRepeats = 0;
    std::ifstream in(log);
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (!std::regex_search(line, m, speed)) continue;
        const double t = std::stod(m[1]);
        const int pump = std::stoi(m[2]);
        const int rpm = std::stoi(m[3]);
        if (t < broken - 0.05 || pump < 1 || pump > 24) continue;
        EXPECT_LE(rpm, pump == 1 ? 0 : 600) << line;
        if (first[pump] < 0) first[pump] = t;
        ++rounds[pump];
        if (t > closed + 0.5) ++lateRepeats;
    }
    for (int pump = 1; pump <= 24; ++pump) {
        ASSERT_GE(first[pump], 0.0) << "pump " << pump << " got no idle";
        EXPECT_LE(first[pump] - broken, 0.5) << "pump " << pump;
        EXPECT_GE(rounds[pump], 3) << "pump " << pump << ": idle repeated every third tick";
    }
    EXPECT_EQ(lateRepeats, 0) << "the repeats stop when the loop closes";
    std::vector<double> delays;
    for (int pump = 1; pump <= 24; ++pump) delays.push_back(first[pump] - broken);
    std::sort(delays.begin(), delays.end());
    std::printf("loop broken to idle: median %.3f s, slowest pump %.3f s\n", delays[12],
                delays.back());
}

// Two stations on one set of files would overwrite each other's settings, recordings and
// journal. A second one is refused at once, says why, and the first runs on; a station
// killed hard leaves nothing behind that refuses the next.
TEST_F(StationRun, SecondStationOnTheSameFolderIsRefusedUntilTheFirstIsGone) {
    writeConfig(0);
    ASSERT_TRUE(sim.start(VNK_SIM_PATH,
                          {"--ports-dir", (dir / "ports").string(), "--quiet", "--speed",
                           "all=1000", "--capture", "25=" + (dir / "output.txt").string()},
                          (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_LE(runUntilFleetOnLine(), 30.0);
    const fs::path lockFile = dir / "home" / "vnk-station.lock";
    EXPECT_EQ(fs::status(lockFile).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    SimProcess second;
    const Clock::time_point t0 = Clock::now();
    ASSERT_TRUE(second.start(VNK_STATION_PATH, {}, (dir / "second.log").string()));
    int status = 0;
    pid_t ended = 0;
    while (since(t0) < 15.0 && (ended = ::waitpid(second.pid(), &status, WNOHANG)) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(ended, second.pid()) << "the second station still runs after 15 s";
    second.forget();
    std::printf("second station refused %.2f s after its start\n", since(t0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    std::ifstream secondLog(dir / "second.log");
    const std::string text((std::istreambuf_iterator<char>(secondLog)), {});
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
    const Clock::time_point t1 = Clock::now();
    while (since(t1) < 10.0 && pumpsInOutput() != 24)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(pumpsInOutput(), 24);

    ASSERT_EQ(::kill(station.pid(), SIGKILL), 0);
    ASSERT_EQ(::waitpid(station.pid(), &status, 0), station.pid());
    station.forget();
    ASSERT_TRUE(fs::exists(lockFile)) << "the lock file outlives the station; its lock does not";
    std::ofstream(dir / "output.txt", std::ios::trunc).close();
    EXPECT_LE(runUntilFleetOnLine(), 30.0);
    EXPECT_EQ(station.stop(), 0);
    std::ifstream thirdLog(dir / "station.log");
    const std::string third((std::istreambuf_iterator<char>(thirdLog)), {});
    EXPECT_EQ(third.find("Already Running"), std::string::npos) << third;
}

}  // namespace

// The blender computer's link on real sockets, metric display, the inline trip on at 6000 psi.
// vnk-blender stays silent through the start-up's waits (reads taken together there would be one
// message), then sends every 0.2 s and checks every reply against vnk-sim's fleet: one message
// over the trip, then each failure mode in turn, a close, and a second start of the station finds
// it refusing. The pumps are polled throughout.
TEST_F(StationRun, BlenderPeerGetsAGoodReplyToEveryMessageThroughEveryFailureMode) {
    ConfigRecord r = FleetConfig();
    std::strcpy(r.ServerName, "127.0.0.1");
    r.OutputComPort = 25;  // the output line tells when the fleet is on line
    r.DisplayUnits = 1;
    WriteConfig(cfgPath().string(), r);
    std::ofstream(dir / "home" / "cfg" / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]"
           "\r\n\"Inline OP Trip\"=dword:00000001\r\n\"Inline OP Value\"=dword:03938700\r\n";
    const std::string port = std::to_string(20000 + ::getpid() % 20000);
    setenv("VNK_BLENDER_PORT", port.c_str(), 1);
    const std::string state = (dir / "fleet.state").string(), log = (dir / "commands.log").string();
    std::vector<std::string> args = {"--port",  port,     "--interval", "0.2", "--quiet",
                                     "--units", "metric", "--state",    state};
    for (const char* ramp : {"3000@0", "3000@21", "9000@21", "9000@21.2", "3000@21.2"})
        args.insert(args.end(), {"--ramp", ramp});
    for (const char* mode :
         {"silent@0-20", "split@23-24.2", "coalesce@24.6-25.8", "oversize:1000@26.2-27.4",
          "garbage@27.8-29", "silent@29.4-30.6", "no-read@31-34", "close@34.5", "refuse@35"})
        args.insert(args.end(), {"--fail", mode});
    SimProcess blender;
    const Clock::time_point t0 = Clock::now();
    ASSERT_TRUE(blender.start(VNK_BLENDER_PATH, args, (dir / "blender.log").string()));
    ASSERT_TRUE(sim.start(
        VNK_SIM_PATH,
        {"--ports-dir", (dir / "ports").string(), "--quiet", "--speed", "all=1500", "--state",
         state, "--log", log, "--capture", "25=" + (dir / "output.txt").string()},
        (dir / "sim.log").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(runUntilFleetOnLine(), 20.0);
    std::this_thread::sleep_for(std::chrono::seconds(36) - (Clock::now() - t0));
    const int exitCode = station.stop();
    std::ifstream first(dir / "station.log");
    const std::string firstLog((std::istreambuf_iterator<char>(first)), {});
    EXPECT_EQ(exitCode, 0) << firstLog;
    std::ofstream(dir / "output.txt", std::ios::trunc).close();
    EXPECT_LE(runUntilFleetOnLine(), 20.0) << "started while the peer refuses";
    EXPECT_EQ(station.stop(), 0);
    EXPECT_EQ(blender.stop(), 0);
    unsetenv("VNK_BLENDER_PORT");
    std::ifstream peerLog(dir / "blender.log");
    const std::string text((std::istreambuf_iterator<char>(peerLog)), {});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m,
                                  std::regex(R"(summary connections=1 overlaps=0 .* )"
                                             R"(checked=(\d+) mismatches=0 result=ok)")))
        << text;
    EXPECT_GE(std::stoi(m[1]), 50) << "replies compared with the fleet";
    // The end of the stream is the server closing: one message, and nothing else to answer.
    EXPECT_EQ(firstLog.find("popup:"), firstLog.find("popup: Connection Closed")) << firstLog;
    EXPECT_EQ(firstLog.find("popup:", firstLog.find("popup:") + 1), std::string::npos);

    // vnk-sim's log: the one trip idles every pump at once and on two ticks of the trip timer
    // (a second over-trip message in the step's 0.2 s would add one at once); and every pump is
    // polled through every failure mode and after the close.
    const std::regex packet(R"(^t=([0-9.]+) pump=(\d+) type=\d+ code=(0x..) (?:.* rpm=(-?\d+) )?)");
    std::vector<std::vector<double>> polls(25), idles(25);
    double trip = -1.0;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (!std::regex_search(line, m, packet) || std::stoi(m[2]) > 24) continue;
        const double t = std::stod(m[1]);
        const int pump = std::stoi(m[2]);
        polls[pump].push_back(t);
        if (m[3] != "0x1a") continue;
        EXPECT_LE(std::stoi(m[4]), 600) << line;
        if (trip < 0.0) trip = t;
        if (t < trip + 6.0) idles[pump].push_back(t);
    }
    ASSERT_GT(trip, 0.0) << "no idle";
    for (int pump = 1; pump <= 24; ++pump) {
        SCOPED_TRACE("pump " + std::to_string(pump));
        ASSERT_GE(idles[pump].size(), 3u);
        EXPECT_LE(idles[pump].size(), 4u);
        EXPECT_NEAR(idles[pump].back() - trip, 1.0, 0.3) << "the last tick of the trip timer";
        double last = trip;
        for (double t : polls[pump])
            if (t > trip && t < trip + 14.6) {
                EXPECT_LT(t - last, 1.0) << "a gap in polling at " << t;
                last = t;
            }
        EXPECT_GT(last, trip + 13.6) << "polled after the close";
    }
}
