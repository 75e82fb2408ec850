// The station under its service manager (see supervision.h).
#include "app/supervision.h"

#include <algorithm>
#include <optional>

#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/service_notify.h"
#include "safety/estop.h"
#include "shell/main_sequence.h"

namespace app {

namespace {

// How often the status is looked at: a change reaches the manager within this time.
constexpr double kStatusInterval = 1.0;

struct Supervision {
    platform::ServiceNotifier notifier;
    int watchdogTimer = -1;  // -1: none
    int statusTimer = -1;
    std::string statusSent;
    bool stopping = false;
};
Supervision g;

void sendStatus() {
    const std::string status = SupervisionStatus();
    if (status == g.statusSent) return;
    if (g.notifier.send("STATUS=" + status)) g.statusSent = status;
}

// After STOPPING the manager times the shut-down (90 s unless the unit says otherwise) and
// then kills the station, which Restart=on-failure would start again. While the loop turns
// (the operator's power-off question may stay open for long) each ping extends that time;
// a shut-down whose loop hangs is still ended.
void ping() {
    if (!g.stopping) {
        g.notifier.send("WATCHDOG=1");
        return;
    }
    const auto extendUsec = static_cast<long long>(g.notifier.watchdogTimeout() * 1.5e6);
    g.notifier.send("WATCHDOG=1\nEXTEND_TIMEOUT_USEC=" + std::to_string(extendUsec));
}

// The link is up: the loop's next turn says so, and from then on the pings and the status run
// on the loop's own timers.
void linkUp() {
    platform::loop().post(0.0, [] {
        g.statusSent = SupervisionStatus();
        g.notifier.send("READY=1\nSTATUS=" + g.statusSent);
        if (g.notifier.watchdogTimeout() > 0.0) {
            g.watchdogTimer = platform::loop().addTimer(ping);
            platform::loop().setTimer(g.watchdogTimer, g.notifier.watchdogTimeout() / 2.0, true);
        }
        g.statusTimer = platform::loop().addTimer(sendStatus);
        platform::loop().setTimer(g.statusTimer, kStatusInterval, true);
    });
}

// The pings go on until the process ends (a shut-down that hangs is the manager's to end);
// the status stays "Shutting down".
void shuttingDown() {
    g.stopping = true;
    if (g.statusTimer >= 0) platform::loop().setTimer(g.statusTimer, kStatusInterval, false);
    g.notifier.send("STOPPING=1\nSTATUS=Shutting down");
}

}  // namespace

std::string SupervisionStatus() {
    const int online = static_cast<int>(
        std::count_if(pumplink::PumpTable, pumplink::PumpTable + pumplink::kPumpCount,
                      [](const pumplink::PumpRecord& r) { return r.Online != 0; }));
    std::string text = std::to_string(online) + (online == 1 ? " pump" : " pumps") + " on line, ";
    const std::optional<safety::EStopInput> sample = safety::LastEStopSample();
    if (safety::EStopActive() != 0)
        text += "E-stop active";
    else if (safety::EStopMonitored == 0)
        text += "E-stop input not watched";
    else if (sample && *sample == safety::EStopInput::Failed)
        text += "E-stop input failed";
    else
        text += "E-stop clear";
    return text;
}

void StartSupervision() {
    if (!g.notifier.openFromEnvironment()) return;
    shell::SetRunListener({linkUp, shuttingDown});
}

void EndSupervision() {
    shell::SetRunListener({});
    if (platform::EventLoop* loop = platform::currentLoop()) {
        if (g.watchdogTimer >= 0) loop->removeTimer(g.watchdogTimer);
        if (g.statusTimer >= 0) loop->removeTimer(g.statusTimer);
    }
    g.watchdogTimer = g.statusTimer = -1;
    g.statusSent.clear();
    g.stopping = false;
    g.notifier.close();
}

}  // namespace app
