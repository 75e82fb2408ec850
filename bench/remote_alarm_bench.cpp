// How soon the station's alarms reach a subscriber, and how fast a backlog of events drains
// over a slow link. vnk-station (this build) runs against a vnk-sim fleet of 24 pumps and
// the project's broker, on this machine.
//
//   remote_alarm_bench latency
//       216 alarms at the pumps, a quarter of a second apart: each pump trips, then latches
//       eight alarm bits one by one. For each, the lag from the moment vnk-sim's controller
//       changes (its clock is this machine's) to the alarm message at a subscriber of the
//       broker, the station's poll and decoding included; and the lag from the journal's
//       write (the message's time_ms) to the subscriber.
//   remote_alarm_bench backlog [EVENTS] [SECONDS]
//       EVENTS journal events (default 100000) waiting in the station's journal when it
//       starts, sent through a relay that delays everything 0.3 s each way (a satellite
//       link); how long until the subscriber has every one (at most SECONDS, default 900),
//       the events a second, and the station's resident memory while it drains.
//       INFLIGHT=N sets the broker's max_inflight_messages (its Receive Maximum) to N
//       instead of the project's 256: INFLIGHT=20 is mosquitto's own default.
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/real/sqlite_journal.h"
#include "remote/publisher.h"
#include "support/broker_process.h"
#include "support/delay_proxy.h"
#include "support/private_network.h"
#include "support/remote_station.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

QJsonObject json(const std::string& payload) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

void printLags(const char* what, const std::vector<double>& ms) {
    if (ms.empty()) {
        std::printf("%s: none measured\n", what);
        return;
    }
    std::printf("%s (%zu): p50 %.0f ms, p99 %.0f ms, max %.0f ms\n", what, ms.size(),
                percentile(ms, 0.50), percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()));
}

long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// The bench's own folder, broker and station files; everything goes at the end.
struct Bench {
    fs::path dir = fs::temp_directory_path() / ("vnk_alarm_bench_" + std::to_string(::getpid()));
    BrokerProcess broker;
    SimProcess sim, station;

    bool start() {
        fs::remove_all(dir);
        UseStationFolder(dir);
        const char* inflight = std::getenv("INFLIGHT");
        const std::string extra =
            inflight != nullptr ? "max_inflight_messages " + std::string(inflight) + "\n" : "";
        if (!broker.startProjectBroker(VNK_SOURCE_DIR, extra)) {
            std::fprintf(stderr, "the broker did not start:\n%s\n", broker.log().c_str());
            return false;
        }
        remotetest::WriteRemoteStationFiles(dir, 0, broker.port());
        return true;
    }
    bool run(const std::vector<std::string>& simEvents) {
        std::vector<std::string> args{"--ports-dir", (dir / "ports").string(), "--quiet",
                                      "--log", (dir / "sim.packets").string()};
        args.insert(args.end(), simEvents.begin(), simEvents.end());
        if (!sim.start(VNK_SIM_PATH, args, (dir / "sim.log").string())) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return station.start(VNK_STATION_PATH, {}, (dir / "station.log").string());
    }
    ~Bench() {
        station.stop();
        sim.stop();
        LeaveStationFolder();
        fs::remove_all(dir);
    }
};

int latency() {
    Bench bench;
    if (!bench.start()) return 1;
    TestSubscriber alarms;
    if (!alarms.start(bench.broker.port(), "vnk/pad/van/alarm")) return 1;
    // What happens at which pump, in vnk-sim's seconds: from 25 s, past the station's start.
    struct Change {
        int pump;
        bool trip;
        double at;
    };
    std::vector<Change> changes;
    std::vector<std::string> events;
    for (int i = 0; i < 24 * 9; ++i) {
        const int pump = i % 24 + 1, round = i / 24;
        const double at = 25.0 + 0.25 * i;
        changes.push_back({pump, round == 0, at});
        char event[64];
        if (round == 0)
            std::snprintf(event, sizeof event, "trip=%d@%.2f", pump, at);
        else
            std::snprintf(event, sizeof event, "alarm=%d:0x%04x@%.2f", pump, 1u << (round - 1), at);
        events.insert(events.end(), {"--event", event});
    }
    if (!bench.run(events)) return 1;
    std::this_thread::sleep_for(std::chrono::duration<double>(changes.back().at + 5.0));
    double startWall = 0;
    {
        std::ifstream log(bench.dir / "sim.packets");
        std::string line;
        std::getline(log, line);
        std::sscanf(line.c_str(), "# start wall=%lf", &startWall);
    }
    std::vector<double> fromPump, fromJournal;
    std::vector<bool> matched(changes.size(), false);
    for (const TestSubscriber::Message& m : alarms.messages()) {
        const QJsonObject o = json(m.payload);
        const std::string kind = o["kind"].toString().toStdString();
        const std::string text = o["text"].toString().toStdString();
        if ((kind != "Trip" && kind != "Alarm") || text.find("cleared") != std::string::npos)
            continue;
        fromJournal.push_back(static_cast<double>(m.arrivedMs - o["time_ms"].toInteger()));
        const bool trip = kind == "Trip";
        // The oldest change of that pump and kind not yet matched: each makes one alarm.
        for (std::size_t i = 0; i < changes.size(); ++i)
            if (!matched[i] && changes[i].pump == o["pump"].toInt() && changes[i].trip == trip) {
                matched[i] = true;
                fromPump.push_back(static_cast<double>(m.arrivedMs) -
                                   (startWall + changes[i].at) * 1000.0);
                break;
            }
    }
    std::printf("alarms at the pumps: %zu, at the subscriber: %zu\n", changes.size(),
                fromPump.size());
    printLags("a trip or alarm at the pump to the subscriber", fromPump);
    printLags("the journal's write to the subscriber", fromJournal);
    return fromPump.size() == changes.size() ? 0 : 1;
}

int backlog(int count, double seconds) {
    Bench bench;
    // The relay stands between the station and the broker; the subscriber is at the broker.
    if (!bench.start()) return 1;
    DelayProxy satellite(bench.broker.port(), 0.3);
    remotetest::WriteRemoteStationFiles(bench.dir, 0, satellite.port());
    {
        // The events wait in the journal, none of them acknowledged by a broker.
        fs::create_directories(bench.dir / "home" / "journal");
        platform::SqliteJournal journal;
        std::string notice;
        if (!journal.open((bench.dir / "home" / "journal" / "journal.db").string(), notice)) {
            std::fprintf(stderr, "%s\n", notice.c_str());
            return 1;
        }
        for (int i = 1; i <= count; ++i) {
            journal::Event e{0, 0, journal::kNoPump, journal::Kind::Command,
                             "backlog event " + std::to_string(i)};
            e.timeMs = 1765000000000 + i;
            if (!journal.append(e, nullptr)) return 1;
        }
        journal.setMark(remote::kAckedMark, 0);
    }
    TestSubscriber subscriber;
    if (!subscriber.start(bench.broker.port(), "vnk/pad/van/event")) return 1;
    if (!bench.run({})) return 1;
    const auto started = Clock::now();
    std::set<std::int64_t> seen;
    std::size_t looked = 0;
    double firstAt = -1, doneAt = -1;
    long rssFirst = 0, rssMax = 0;
    while (doneAt < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double now = std::chrono::duration<double>(Clock::now() - started).count();
        if (now > seconds) break;
        const auto messages = subscriber.messages();
        for (; looked < messages.size(); ++looked) {
            const QJsonObject o = json(messages[looked].payload);
            if (o["text"].toString().startsWith("backlog event ")) seen.insert(o["id"].toInteger());
        }
        const long rss = residentKb(bench.station.pid());
        if (firstAt < 0 && !seen.empty()) {
            firstAt = now;
            rssFirst = rss;
        }
        rssMax = std::max(rssMax, rss);
        if (static_cast<int>(seen.size()) >= count) doneAt = now;
    }
    const double took = (doneAt < 0 ? std::chrono::duration<double>(Clock::now() - started).count()
                                    : doneAt) -
                        firstAt;
    const double rate = firstAt < 0 ? 0.0 : static_cast<double>(seen.size()) / took;
    std::printf("backlog of %d events through a link of 0.3 s each way, broker's Receive Maximum %s:\n",
                count, std::getenv("INFLIGHT") ? std::getenv("INFLIGHT") : "256");
    if (doneAt < 0)
        std::printf("  %zu of them in %.0f s (%.1f a second): all would take %.1f min\n",
                    seen.size(), took, rate, rate > 0 ? count / rate / 60.0 : 0.0);
    else
        std::printf("  all at the subscriber in %.1f min (%.1f a second)\n", took / 60.0, rate);
    std::printf("  station resident memory: %.1f MB at the first, at most %.1f MB\n",
                rssFirst / 1024.0, rssMax / 1024.0);
    return doneAt < 0 && !std::getenv("INFLIGHT") ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The project's broker has a WebSockets listener that binds every interface: everything
    // runs in a network of its own, loopback only, where it can.
    if (const std::string why = EnterPrivateNetwork(); !why.empty())
        std::fprintf(stderr, "no private network (%s)\n", why.c_str());
    const std::string mode = argc > 1 ? argv[1] : "latency";
    if (mode == "latency") return latency();
    if (mode == "backlog")
        return backlog(argc > 2 ? std::atoi(argv[2]) : 100000,
                       argc > 3 ? std::atof(argv[3]) : 900.0);
    std::fprintf(stderr, "usage: remote_alarm_bench latency | backlog [EVENTS] [SECONDS]\n");
    return 2;
}
