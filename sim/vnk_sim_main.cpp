// vnk-sim: a simulated fleet of pump controllers behind pseudo-terminals, in real time.
// Each pump's controller sits on the master side of a pseudo-terminal whose slave is
// linked as COMn in a ports folder, where the station opens it as its serial port.
// Replies leave when their last byte would have crossed a 19200-baud line; with
// --line-timing the station's bytes cross such a line too before a pump hears them.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pumpsim.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}
volatile sig_atomic_t g_go = 0;
void onGo(int) {
    g_go = 1;
}

const char* kUsage =
    "usage: vnk-sim --ports-dir DIR [options]\n"
    "\n"
    "Runs simulated pump controllers in real time, each behind a pseudo-terminal linked as\n"
    "DIR/COMn, where vnk-station opens it (VNK_PORTS_DIR=DIR). P is a pump number or a list:\n"
    "5, 1-8,12 or all.\n"
    "\n"
    "fleet:\n"
    "  --ports-dir DIR        folder for the COMn links (created when missing)\n"
    "  --pumps N              simulate pumps 1..N (1-24, default 24)\n"
    "  --ports LIST           COM numbers of pumps 1..N, e.g. 1-24 or 3,4,9 (default 1..N)\n"
    "  --drive-on LIST        pumps whose drive starts powered: all, none or e.g. 1-8,12\n"
    "                         (default all)\n"
    "  --speed P=RPM          start pump P with this speed set-point (repeatable)\n"
    "  --trip LIST            pumps that start tripped\n"
    "  --no-setpoint-report LIST\n"
    "                         pumps whose data records do not report the set-point (status\n"
    "                         bit 0x80 clear, bytes 66-67 zero), so the station keeps the\n"
    "                         set-point it commanded (default none)\n"
    "  --power-off-delay [P=]SEC\n"
    "                         after a speed command with Run 0 the drive of pump P (default\n"
    "                         all) stays on, and reported on, for SEC seconds while the motor\n"
    "                         ramps down; Run 1 in that time keeps it on (repeatable;\n"
    "                         default 0: off at once)\n"
    "  --line-timing          the station's bytes cross a 19200-baud line (10 bits a byte,\n"
    "                         0.52 ms each, queued behind those before them) before a pump\n"
    "                         takes them in, as its replies already do the other way: a\n"
    "                         packet is heard, answered and logged (--log t=) when its last\n"
    "                         byte has crossed. Without it the station's bytes are heard as\n"
    "                         soon as the pseudo-terminal hands them over\n"
    "\n"
    "the well:\n"
    "  --well-lag SEC         the line pressure follows the rate with this first-order time\n"
    "                         constant (default 0: at once)\n"
    "  --well-noise PSI[:SEED]\n"
    "                         each pump's discharge transducer adds noise, uniform within\n"
    "                         +-PSI, drawn from SEED (default 1): the same seed, the same noise\n"
    "  --screen-out FACTOR@SEC\n"
    "                         SEC seconds after start the well's resistance is multiplied by\n"
    "                         FACTOR, e.g. 1.5 (repeatable)\n"
    "\n"
    "switched on at once or SEC seconds after start (all repeatable):\n"
    "  --fail P=MODE[@SEC]    a failure mode of the line: silent, late, noise, crc, bytewise,\n"
    "                         short, hangup (close the line), ok (clear every mode but\n"
    "                         unplug), unplug (the adapter is pulled: the pseudo-terminal\n"
    "                         closes, so the station's port hangs up, and COMn is removed;\n"
    "                         the pump runs on hearing nothing), replug (a new\n"
    "                         pseudo-terminal linked as COMn again, a new device as a\n"
    "                         replugged adapter is)\n"
    "  --event trip=P[:BITS][@SEC]\n"
    "                         the pump trips as its own protection would: tripped status\n"
    "                         (0x40), trip-word BITS (default 0, as an overpressure trip),\n"
    "                         last-trip psi, set-point 0, motor stopped; reset alarms (0x35)\n"
    "                         clears it\n"
    "  --event fault=P[:WORD][@SEC]\n"
    "                         drive fault WORD (default 0x0001): the motor is held stopped\n"
    "                         unless the shutdown override (0x36) is on; reset VFD fault\n"
    "                         (0x34) clears it\n"
    "  --event alarm=P:BITS[@SEC]\n"
    "                         alarm bits latch; reset alarms (0x35) clears them\n"
    "  --event pressure=P:PSI[@SEC]\n"
    "                         the discharge transducer reads PSI from then on, whatever the\n"
    "                         pump does (two set pressures give a two-point calibration two\n"
    "                         counts); pressure=P:well gives the well's pressure back\n"
    "                         BITS and WORD are decimal or 0x hex.\n"
    "\n"
    "output:\n"
    "  --state FILE           rewrite FILE every second with one line per pump: pump, motor\n"
    "                         rpm, discharge psi, rate gal/min, trip psi, drive on, tripped,\n"
    "                         pump id (for tests that compare the station with the fleet);\n"
    "                         then one line per pump of key=value fields: pump=N setpoint=RPM\n"
    "                         status= trip= fault= alarm= (words in hex) override=0|1\n"
    "                         trip_psi= last_trip_psi= reports_setpoint=0|1 total_gal=\n"
    "                         min_rpm= max_rpm= auto=0|1 alarm_options= timeout1= timeout2=\n"
    "                         suction_psi= line_ok=0|1 (0: the station cannot decode its\n"
    "                         replies: silent, crc, short, hangup, unplug) and the blocks\n"
    "                         the pump holds: ai2..ai5= (each channel's four coefficients,\n"
    "                         comma-separated) ppr= (pulses per revolution) alarms= (16\n"
    "                         pairs, code:first/second, comma-separated) plungers=\n"
    "                         stroke_in= diameter_in= efficiency= gear_ratio= scale1=\n"
    "                         scale2=; last a line time=SEC\n"
    "  --log FILE             first a line '# start wall=EPOCH' (t=0 on the wall clock), then\n"
    "                         one line, flushed at once, for every packet a pump takes in:\n"
    "                         t=SEC (since start, ms) pump=N type=T code=0xCC arg=A\n"
    "                         data=HEX (- when none); speed commands (0x1A) add rpm=RPM (as\n"
    "                         received, before the pump's own MinRpm..MaxRpm limits) run=0|1\n"
    "                         setpoint=RPM (what the pump took); last reply=data|ack|echo|none\n"
    "  --capture N=FILE       also link COMN to a pseudo-terminal whose incoming lines are\n"
    "                         appended to FILE (the station's serial data output)\n"
    "  --duration SEC         exit after SEC seconds (default: run until Ctrl-C)\n"
    "  --hold-script          the events' SEC count from a SIGUSR1, not from the start (a test\n"
    "                         sends it when it is ready for them); the fleet runs meanwhile\n"
    "  --quiet                no status line\n"
    "  --help                 this text\n"
    "  --version              the version\n"
    "\n"
    "Prints one status line a second. Ctrl-C or SIGTERM removes the links and exits 0.\n";

double monotonic() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Line {
    int port = 0;
    int master = -1;
    int slave = -1;  // held open so the line stays raw and alive while no station is attached
    std::string link;
    std::deque<pumpsim::Chunk> pending;
    pumpsim::StationLine fromStation;  // with --line-timing
};

bool openLine(Line& line, const std::string& dir, int port) {
    line.port = port;
    line.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line.master < 0 || ::grantpt(line.master) != 0 || ::unlockpt(line.master) != 0)
        return false;
    const char* name = ::ptsname(line.master);
    if (name == nullptr) return false;
    line.slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line.slave < 0) return false;
    termios t{};
    if (::tcgetattr(line.slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B19200);
        ::cfsetospeed(&t, B19200);
        ::tcsetattr(line.slave, TCSANOW, &t);
    }
    line.link = dir + "/COM" + std::to_string(port);
    ::unlink(line.link.c_str());
    if (::symlink(name, line.link.c_str()) != 0) {
        std::fprintf(stderr, "vnk-sim: cannot link %s: %s\n", line.link.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

void closeLine(Line& line) {
    if (!line.link.empty()) ::unlink(line.link.c_str());
    if (line.master >= 0) ::close(line.master);
    if (line.slave >= 0) ::close(line.slave);
    line.master = line.slave = -1;
    line.pending.clear();
    line.fromStation.clear();
}

// Waits until one of fds is readable, or `seconds` (at most) have passed; to the
// microsecond, since a reply is due to the byte time.
void waitFor(std::vector<pollfd>& fds, double seconds) {
    seconds = std::clamp(seconds, 0.0, 1.0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    ::ppoll(fds.data(), fds.size(), &ts, nullptr);
}

// Written beside the file and renamed over it, so a reader never sees half of it.
void writeState(const pumpsim::Fleet& fleet, double now, const std::string& path) {
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr) return;
    const std::string text = pumpsim::fleetStateText(fleet, now);
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) == 0 && written) std::rename(tmp.c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    int pumps = 24;
    std::string portsText, driveText = "all", tripText = "none", noReportText = "none";
    std::vector<std::pair<std::string, int>> speeds;
    std::vector<std::string> powerOffTexts;
    std::vector<std::string> failureTexts, eventTexts, screenOutTexts;
    std::string wellLagText, wellNoiseText;
    std::optional<std::pair<int, std::string>> capture;
    double duration = -1.0;
    bool quiet = false;
    bool holdScript = false;
    bool lineTiming = false;
    std::string statePath;
    std::string logPath;

    auto need = [&](int& i) -> std::string {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vnk-sim: %s needs a value\n%s", argv[i], kUsage);
            std::exit(2);
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("%s %s\n", "vnk-sim", VNK_VERSION);
            return 0;
        } else if (a == "--ports-dir") {
            dir = need(i);
        } else if (a == "--pumps") {
            pumps = std::atoi(need(i).c_str());
        } else if (a == "--ports") {
            portsText = need(i);
        } else if (a == "--drive-on") {
            driveText = need(i);
        } else if (a == "--trip") {
            tripText = need(i);
        } else if (a == "--power-off-delay") {
            powerOffTexts.push_back(need(i));
        } else if (a == "--no-setpoint-report") {
            noReportText = need(i);
        } else if (a == "--speed") {
            std::string v = need(i);
            size_t eq = v.find('=');
            if (eq == std::string::npos) {
                std::fprintf(stderr, "vnk-sim: --speed wants P=RPM\n");
                return 2;
            }
            speeds.emplace_back(v.substr(0, eq), std::atoi(v.c_str() + eq + 1));
        } else if (a == "--fail") {
            failureTexts.push_back(need(i));
        } else if (a == "--event") {
            eventTexts.push_back(need(i));
        } else if (a == "--well-lag") {
            wellLagText = need(i);
        } else if (a == "--well-noise") {
            wellNoiseText = need(i);
        } else if (a == "--screen-out") {
            screenOutTexts.push_back(need(i));
        } else if (a == "--capture") {
            std::string v = need(i);
            size_t eq = v.find('=');
            int n = std::atoi(v.c_str());
            if (eq == std::string::npos || n < 1 || n > 255) {
                std::fprintf(stderr, "vnk-sim: --capture wants N=FILE\n");
                return 2;
            }
            capture = std::make_pair(n, v.substr(eq + 1));
        } else if (a == "--state") {
            statePath = need(i);
        } else if (a == "--log") {
            logPath = need(i);
        } else if (a == "--duration") {
            duration = std::atof(need(i).c_str());
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--hold-script") {
            holdScript = true;
        } else if (a == "--line-timing") {
            lineTiming = true;
        } else {
            std::fprintf(stderr, "vnk-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (dir.empty()) {
        std::fprintf(stderr, "vnk-sim: --ports-dir is required\n%s", kUsage);
        return 2;
    }
    if (pumps < 1 || pumps > 24) {
        std::fprintf(stderr, "vnk-sim: --pumps must be 1 to 24\n");
        return 2;
    }
    std::vector<int> ports;
    if (portsText.empty()) {
        for (int p = 1; p <= pumps; ++p) ports.push_back(p);
    } else {
        auto list = pumpsim::parsePumpList(portsText, 1, 255);
        if (!list || static_cast<int>(list->size()) != pumps) {
            std::fprintf(stderr, "vnk-sim: --ports must name %d COM numbers\n", pumps);
            return 2;
        }
        ports = *list;
    }
    auto driveOn = pumpsim::parsePumpList(driveText, 1, pumps);
    auto tripped = pumpsim::parsePumpList(tripText, 1, pumps);
    auto noReport = pumpsim::parsePumpList(noReportText, 1, pumps);
    if (!driveOn || !tripped || !noReport) {
        std::fprintf(stderr, "vnk-sim: bad pump list\n");
        return 2;
    }
    std::vector<std::pair<std::vector<int>, double>> powerOffDelays;
    for (const std::string& text : powerOffTexts) {
        const size_t eq = text.find('=');
        auto which =
            pumpsim::parsePumpList(eq == std::string::npos ? "all" : text.substr(0, eq), 1, pumps);
        const std::string secText = eq == std::string::npos ? text : text.substr(eq + 1);
        char* end = nullptr;
        const double sec = std::strtod(secText.c_str(), &end);
        if (!which || secText.empty() || *end != '\0' || !(sec >= 0.0 && sec < 1e6)) {
            std::fprintf(stderr, "vnk-sim: bad --power-off-delay %s\n", text.c_str());
            return 2;
        }
        powerOffDelays.emplace_back(*which, sec);
    }

    pumpsim::Script script;
    for (const std::string& text : failureTexts) {
        auto events = pumpsim::parseFailure(text, pumps);
        if (!events) {
            std::fprintf(stderr, "vnk-sim: bad failure %s\n", text.c_str());
            return 2;
        }
        for (const pumpsim::Event& e : *events) script.add(e);
    }
    for (const std::string& text : screenOutTexts) {
        auto event = pumpsim::parseScreenOut(text);
        if (!event) {
            std::fprintf(stderr, "vnk-sim: bad --screen-out %s\n", text.c_str());
            return 2;
        }
        script.add(*event);
    }
    pumpsim::Well::Params wellParams;
    if (!wellLagText.empty()) {
        char* end = nullptr;
        wellParams.lagSeconds = std::strtod(wellLagText.c_str(), &end);
        if (*end != '\0' || !(wellParams.lagSeconds >= 0.0 && wellParams.lagSeconds < 1e6)) {
            std::fprintf(stderr, "vnk-sim: bad --well-lag %s\n", wellLagText.c_str());
            return 2;
        }
    }
    if (!wellNoiseText.empty()) {
        char* end = nullptr;
        wellParams.noisePsi = std::strtod(wellNoiseText.c_str(), &end);
        bool ok =
            end != wellNoiseText.c_str() && wellParams.noisePsi >= 0.0 && wellParams.noisePsi < 1e5;
        if (ok && *end == ':') {
            const char* seed = end + 1;
            wellParams.noiseSeed = std::strtoull(seed, &end, 10);
            ok = end != seed && std::isdigit(static_cast<unsigned char>(*seed));
        }
        if (!ok || *end != '\0') {
            std::fprintf(stderr, "vnk-sim: bad --well-noise %s\n", wellNoiseText.c_str());
            return 2;
        }
    }
    for (const std::string& text : eventTexts) {
        auto events = pumpsim::parseUnitEvent(text, pumps);
        if (!events) {
            std::fprintf(stderr, "vnk-sim: bad event %s\n", text.c_str());
            return 2;
        }
        for (const pumpsim::Event& e : *events) script.add(e);
    }

    ::mkdir(dir.c_str(), 0755);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = onGo;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    pumpsim::Fleet fleet(pumps);
    fleet.well.setParams(wellParams);
    std::vector<Line> lines(static_cast<size_t>(pumps));
    for (int i = 0; i < pumps; ++i) {
        if (!openLine(lines[static_cast<size_t>(i)], dir, ports[static_cast<size_t>(i)])) {
            std::fprintf(stderr, "vnk-sim: cannot create the line of pump %d\n", i + 1);
            for (Line& l : lines) closeLine(l);
            return 1;
        }
    }
    for (int p : *driveOn) fleet.unit(p - 1).setDriveOn(true);
    for (auto& [list, rpm] : speeds) {
        auto which = pumpsim::parsePumpList(list, 1, pumps);
        if (!which) continue;
        for (int p : *which) fleet.unit(p - 1).setSpeedSetpoint(rpm);
    }
    for (int p : *tripped) fleet.unit(p - 1).trip();
    for (int p : *noReport) fleet.unit(p - 1).setReportsSetpoint(false);
    for (const auto& [which, sec] : powerOffDelays)
        for (int p : which) fleet.unit(p - 1).setPowerOffDelay(sec);

    FILE* logFile = nullptr;
    if (!logPath.empty()) {
        if ((logFile = std::fopen(logPath.c_str(), "w")) == nullptr) {
            std::fprintf(stderr, "vnk-sim: cannot write %s: %s\n", logPath.c_str(),
                         std::strerror(errno));
            for (Line& l : lines) closeLine(l);
            return 1;
        }
        for (pumpsim::Controller& c : fleet.units) {
            c.setCommandObserver([logFile](const pumpsim::ReceivedCommand& rc) {
                const std::string line = pumpsim::commandLogLine(rc);
                std::fwrite(line.data(), 1, line.size(), logFile);
                std::fflush(logFile);  // read by other processes while the fleet runs
            });
        }
    }

    Line captureLine;
    FILE* captureFile = nullptr;
    std::string captureText;
    if (capture) {
        if (!openLine(captureLine, dir, capture->first) ||
            (captureFile = std::fopen(capture->second.c_str(), "ab")) == nullptr) {
            std::fprintf(stderr, "vnk-sim: cannot set up the capture port\n");
            for (Line& l : lines) closeLine(l);
            closeLine(captureLine);
            if (logFile != nullptr) std::fclose(logFile);
            return 1;
        }
    }

    std::printf("vnk-sim: %d pumps on COM%d..COM%d in %s\n", pumps, ports.front(), ports.back(),
                dir.c_str());
    std::fflush(stdout);

    // The adapter of pump i pulled: the station's port hangs up (the master closes) and its
    // COMn link goes; the pump runs on, and what it was sending is lost.
    const auto unplug = [&](int i) {
        Line& l = lines[static_cast<size_t>(i)];
        if (l.master < 0) return;
        closeLine(l);
        fleet.unit(i).takeOutput();
    };
    // A new adapter in its place: a new pseudo-terminal, linked under the same name.
    const auto replug = [&](int i) {
        Line& l = lines[static_cast<size_t>(i)];
        if (l.master >= 0) return;
        fleet.unit(i).takeOutput();
        if (!openLine(l, dir, l.port)) {
            std::fprintf(stderr, "vnk-sim: pump %d: cannot make COM%d again\n", i + 1, l.port);
            closeLine(l);
            return;
        }
        std::printf("vnk-sim: pump %d: COM%d is now %s\n", i + 1, l.port, ::ptsname(l.master));
        std::fflush(stdout);
    };
    // With line timing, every byte of the station's that has crossed by t reaches its pump at
    // the moment it crossed (before the fleet is moved on to t, so the pump hears it in time).
    const auto deliverCrossed = [&](double t) {
        if (!lineTiming) return;
        for (int i = 0; i < pumps; ++i) {
            Line& l = lines[static_cast<size_t>(i)];
            if (l.master >= 0) l.fromStation.deliver(fleet.unit(i), t);
        }
    };

    // Replies the pumps have made, onto their lines' queues (written when due).
    const auto collectReplies = [&] {
        for (int i = 0; i < pumps; ++i) {
            Line& l = lines[static_cast<size_t>(i)];
            if (l.master < 0) continue;
            for (pumpsim::Chunk& ch : fleet.unit(i).takeOutput())
                l.pending.push_back(std::move(ch));
        }
    };

    const double start = monotonic();
    if (logFile != nullptr) {
        // The run's t=0 on the wall clock, for whoever must place an outside event (a
        // broken E-stop loop) on the log's clock; not a packet line.
        timespec wall{};
        clock_gettime(CLOCK_REALTIME, &wall);
        std::fprintf(logFile, "# start wall=%lld.%09ld\n", static_cast<long long>(wall.tv_sec),
                     wall.tv_nsec);
        std::fflush(logFile);
    }
    double nextStatus = 1.0;
    double lastPrinted = 1.0;  // the status line is printed once per second
    std::vector<unsigned char> buf(4096);
    while (!g_stop) {
        double now = monotonic() - start;
        if (duration >= 0.0 && now >= duration) break;

        deliverCrossed(now);
        if (holdScript && g_go != 0) {
            holdScript = false;
            script.delay(now);
            std::printf("vnk-sim: the script starts at %.3f s\n", now);
            std::fflush(stdout);
        }
        if (holdScript) fleet.advance(now);
        for (const pumpsim::Event& e :
             holdScript ? std::vector<pumpsim::Event>{} : script.advance(fleet, now)) {
            if (e.kind == pumpsim::Event::Kind::ScreenOut)
                std::printf("vnk-sim: well: %s\n", e.describe().c_str());
            else
                std::printf("vnk-sim: pump %d: %s\n", e.unit + 1, e.describe().c_str());
            std::fflush(stdout);
            if (e.kind == pumpsim::Event::Kind::Failure && e.mode == "unplug") unplug(e.unit);
            if (e.kind == pumpsim::Event::Kind::Failure && e.mode == "replug") replug(e.unit);
        }

        // Awake for the next byte due to either side (5 ms at most, for the script and the
        // status line).
        collectReplies();
        double due = now + 0.005;
        std::vector<pollfd> fds;
        for (const Line& l : lines) {
            fds.push_back({l.master, POLLIN, 0});
            if (l.master < 0) continue;
            if (!l.pending.empty()) due = std::min(due, l.pending.front().at);
            due = std::min(due, l.fromStation.nextDue());
        }
        if (captureFile != nullptr) fds.push_back({captureLine.master, POLLIN, 0});
        waitFor(fds, due - now);
        now = monotonic() - start;

        for (int i = 0; i < pumps; ++i) {
            Line& l = lines[static_cast<size_t>(i)];
            pumpsim::Controller& c = fleet.unit(i);
            if (l.master < 0) continue;
            if (c.hungUp()) {
                std::printf("vnk-sim: pump %d: line COM%d hung up\n", i + 1, l.port);
                std::fflush(stdout);
                closeLine(l);
                continue;
            }
            for (;;) {
                ssize_t n = ::read(l.master, buf.data(), buf.size());
                if (n <= 0) break;  // EAGAIN, or EIO while no station has the port open
                if (lineTiming)
                    l.fromStation.write({buf.data(), static_cast<size_t>(n)}, now);
                else
                    c.receive(buf.data(), static_cast<size_t>(n), now);
            }
        }
        deliverCrossed(now);
        fleet.advance(now);
        collectReplies();
        for (Line& l : lines) {
            if (l.master < 0) continue;
            while (!l.pending.empty() && l.pending.front().at <= now) {
                const auto& bytes = l.pending.front().bytes;
                ssize_t w = ::write(l.master, bytes.data(), bytes.size());
                (void)w;  // a full line drops bytes, as a real one would
                l.pending.pop_front();
            }
        }
        if (captureFile != nullptr) {
            for (;;) {
                ssize_t n = ::read(captureLine.master, buf.data(), buf.size());
                if (n <= 0) break;
                captureText.append(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(n));
            }
            size_t eol;
            while ((eol = captureText.find('\n')) != std::string::npos) {
                std::fwrite(captureText.data(), 1, eol + 1, captureFile);
                captureText.erase(0, eol + 1);
            }
            std::fflush(captureFile);
        }

        if (now >= nextStatus) {
            nextStatus += 1.0;
            if (!statePath.empty()) writeState(fleet, now, statePath);
        }
        if (!quiet && now + 1.0 >= nextStatus && lastPrinted < nextStatus) {
            lastPrinted = nextStatus;
            unsigned received = 0, answered = 0, running = 0;
            for (int i = 0; i < pumps; ++i) {
                pumpsim::Counters k = fleet.unit(i).counters();
                received += k.received;
                answered += k.answered;
                if (fleet.unit(i).motorRpm() > 1.0) ++running;
            }
            std::printf(
                "vnk-sim: t=%.0fs packets in %u, replies %u, %u of %d motors turning, "
                "well %.0f psi at %.1f bbl/min\n",
                now, received, answered, running, pumps, fleet.well.pressure(),
                fleet.well.totalRate() / 42.0);
            std::fflush(stdout);
        }
    }

    for (Line& l : lines) closeLine(l);
    if (captureFile != nullptr) {
        closeLine(captureLine);
        std::fclose(captureFile);
    }
    for (pumpsim::Controller& c : fleet.units) c.setCommandObserver(nullptr);
    if (logFile != nullptr) std::fclose(logFile);
    std::printf("vnk-sim: stopped, links removed\n");
    return 0;
}
