#include "remote/publisher.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>

#include "autocontrol/autocontrol.h"
#include "link/pump_table.h"
#include "operation/panels.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/mqtt.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "remote/remote_payloads.h"
#include "safety/estop.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace remote {

namespace {

using pumplink::kPumpCount;
using pumplink::PumpTable;

enum class Link { Off, Connecting, Connected, Waiting };

struct InFlight {
    int messageId = 0;
    std::int64_t eventId = 0;
    bool acknowledged = false;
    bool operator==(const InFlight&) const = default;
};

struct RemoteState {
    settings::RemoteSettings settings;
    std::string version;
    std::string root;  // topic root of the settings in use
    std::unique_ptr<platform::MqttClient> client;
    Link link = Link::Off;
    unsigned attempts =
        0;  // connect attempts: a time-out or a retry posted for an older one is void
    double retryAt = 0.0;
    double retryPause = kRetryFirstSeconds;
    std::string lastError;
    bool lossJournalled = false;  // one journal line per outage
    std::int64_t startedMs = 0;
    std::uint64_t heartbeats = 0;
    std::array<std::string, kPumpCount> pumpBody{};
    std::array<double, kPumpCount> pumpSentAt{};
    std::array<std::int64_t, kPumpCount> pumpSampleMs{};
    double fullAt = 0.0;
    // The outbox: the journal file (epoch) read, the id the broker acknowledged (with all
    // before it), the newest id handed to the client, the messages not yet acknowledged.
    std::int64_t epoch = 0;
    std::int64_t acked = 0;
    std::int64_t sent = 0;
    std::int64_t newest = 0;
    bool markChanged = false;
    bool backlog = true;  // the journal may hold more than the last read gave
    std::uint64_t writtenSeen = 0;
    std::deque<InFlight> inFlight;
    void (*listener)() = nullptr;
    bool operator==(const RemoteState&) const = default;
};
RemoteState g;
// Counts clients, across resets: events of an older client carry an older number.
unsigned g_generation = 0;

void changed() {
    if (g.listener != nullptr) g.listener();
}

std::string topic(const char* leaf) {
    return g.root + leaf;
}

int pumpsConfigured() {
    int n = 0;
    for (int p = 0; p < kPumpCount; ++p)
        if (PumpTable[p].ConfiguredComPort > 0) ++n;
    return n;
}

StationFacts facts() {
    return {g.settings.site.empty() ? "site" : g.settings.site, g.settings.station, g.version,
            g.startedMs, pumpsConfigured()};
}

std::string broker() {
    return g.settings.host + ":" + std::to_string(g.settings.port);
}

// ---- journal outbox ----

std::int64_t newestId(journal::Store& store) {
    const auto newest = store.newest(journal::Filter{}, 1);
    return newest.empty() ? 0 : newest.front().id;
}

// The file in use, its acknowledged id taken from it. A journal that never had one starts
// with this run's events (what earlier runs journalled before remote monitoring was set up
// is not sent: ids within a file follow each other, so this run's are the newest ones
// written since the start); a file started afresh while the station runs is sent whole.
void adoptFile(journal::Store& store) {
    const bool afresh = g.epoch != 0;
    g.epoch = store.epoch();
    const auto mark = store.mark(kAckedMark);
    const auto thisRun = static_cast<std::int64_t>(journal::WrittenCount());
    g.acked = mark.value_or(afresh ? 0 : std::max<std::int64_t>(0, newestId(store) - thisRun));
    if (!mark) store.setMark(kAckedMark, g.acked);
    g.sent = g.acked;
    g.inFlight.clear();
    g.backlog = true;
    g.newest = newestId(store);
}

void saveMark() {
    journal::Store* store = journal::CurrentStore();
    if (!g.markChanged || store == nullptr || store->epoch() != g.epoch) return;
    if (store->setMark(kAckedMark, g.acked)) g.markChanged = false;
}

// The file in use and what was written to it since the last look: the store is asked only
// when something was.
void followJournal(journal::Store& store) {
    if (g.epoch != store.epoch()) adoptFile(store);
    const std::uint64_t written = journal::WrittenCount();
    if (written == g.writtenSeen) return;
    g.writtenSeen = written;
    g.backlog = true;
    g.newest = std::max(g.newest, newestId(store));
}

void sendEvents() {
    journal::Store* store = journal::CurrentStore();
    if (store == nullptr || g.link != Link::Connected) return;
    followJournal(*store);
    while (g.backlog && static_cast<int>(g.inFlight.size()) < kEventWindow) {
        const int room = kEventWindow - static_cast<int>(g.inFlight.size());
        const std::vector<journal::Event> events = store->since(g.sent, room);
        g.backlog = static_cast<int>(events.size()) == room;
        for (const journal::Event& e : events) {
            const int id = g.client->publish(topic(IsAlarmTopicEvent(e.kind) ? "alarm" : "event"),
                                             EventPayload(e), 1, false);
            if (id <= 0) {
                // The connection is going: what was not sent goes after the next connect.
                g.backlog = true;
                return;
            }
            g.inFlight.push_back({id, e.id, false});
            g.sent = e.id;
            g.newest = std::max(g.newest, e.id);
        }
        if (events.empty()) break;
    }
}

void acknowledged(int messageId) {
    auto it = std::find_if(g.inFlight.begin(), g.inFlight.end(),
                           [&](const InFlight& f) { return f.messageId == messageId; });
    if (it == g.inFlight.end()) return;
    it->acknowledged = true;
    // The mark moves only over an unbroken run from the oldest: an id is never marked while
    // one before it may still be lost.
    while (!g.inFlight.empty() && g.inFlight.front().acknowledged) {
        g.acked = g.inFlight.front().eventId;
        g.inFlight.pop_front();
        g.markChanged = true;
    }
    if (static_cast<int>(g.inFlight.size()) <= kEventWindow / 2) sendEvents();
}

// ---- live values ----

std::int64_t sampleMs(int pump, std::int64_t nowMs, double now) {
    const double at = PumpTable[pump].LastRxAt;
    if (!(at > 0.0)) return 0;
    return nowMs - static_cast<std::int64_t>(std::llround((now - at) * 1000.0));
}

void sendPumps(bool all) {
    const double now = platform::Timer();
    const std::int64_t nowMs = platform::loop().wallTimeMs();
    for (int p = 0; p < kPumpCount; ++p) {
        const bool due = now - g.pumpSentAt[p] >= kPumpMinSeconds - 1e-6;
        if (!all && !due) continue;  // not built at all: most ticks of a busy fleet end here
        const pumplink::PumpRecord& r = PumpTable[p];
        std::string body = PumpBody(p, r, r.ConfiguredComPort > 0);
        const std::int64_t sample = sampleMs(p, nowMs, now);
        const bool changedValues = body != g.pumpBody[p];
        const bool refresh =
            r.Online != 0 &&
            sample - g.pumpSampleMs[p] >= static_cast<std::int64_t>(kPumpRefreshSeconds * 1000.0);
        if (!all && !changedValues && !refresh) continue;
        if (g.client->publish(topic("pump/") + std::to_string(p + 1), WithSampleTime(body, sample),
                              0, true) < 0)
            return;
        g.pumpBody[p] = std::move(body);
        g.pumpSentAt[p] = now;
        g.pumpSampleMs[p] = sample;
    }
}

std::string estopInputText() {
    const auto input = safety::LastEStopSample();
    if (!input) return "not watched";
    switch (*input) {
        case safety::EStopInput::Closed:
            return "closed";
        case safety::EStopInput::Broken:
            return "broken";
        default:
            return "failed";
    }
}

void sendHeartbeatAndFleet() {
    const std::int64_t nowMs = platform::loop().wallTimeMs();
    g.client->publish(topic("heartbeat"), HeartbeatPayload(++g.heartbeats, nowMs), 0, false);
    FleetFacts f;
    f.timeMs = nowMs;
    for (int p = 0; p < kPumpCount; ++p)
        if (PumpTable[p].Online != 0) ++f.pumpsOnline;
    f.rateBpm = operation::SelectedPumpsRateBpm;
    f.dischargePsi = operation::AverageDischargePsi;
    f.hhp = operation::SelectedPumpsHhpUs;
    f.volumeBbl = operation::SelectedPumpsTotalBbl;
    const auto& a = autocontrol::AutoSettings;
    f.autoMode = a.AutoMode == autocontrol::kAutoRate || a.AutoMode == autocontrol::kAutoPressure
                     ? a.AutoMode
                     : 0;
    f.autoTarget = f.autoMode == autocontrol::kAutoRate ? a.TargetRate : a.TargetPressure;
    f.estopActive = safety::EStopActive() != 0;
    f.estopInput = estopInputText();
    f.alarms = journal::CurrentAlarms();
    g.client->publish(topic("fleet"), FleetPayload(f), 0, false);
}

// ---- the connection ----

void ended(const std::string& reason);

void startAttempt() {
    platform::MqttBackEnd* backEnd = platform::mqttBackEnd();
    if (backEnd == nullptr) {
        g.link = Link::Off;
        g.lastError = "remote monitoring is not available in this program";
        changed();
        return;
    }
    if (g.settings.host.empty()) {
        g.link = Link::Off;
        g.lastError = "no broker host is set";
        changed();
        return;
    }
    if (!g.client) {
        platform::MqttOptions o;
        o.host = g.settings.host;
        o.port = g.settings.port;
        o.clientId = "vnk-" + CleanTopicLevel(g.settings.site, "site") + "-" +
                     CleanTopicLevel(g.settings.station, "station");
        o.user = g.settings.user;
        o.password = g.settings.password;
        o.tls = g.settings.tls;
        o.caFile = g.settings.caFile;
        o.certFile = g.settings.certFile;
        o.keyFile = g.settings.keyFile;
        o.willTopic = topic("state");
        o.willPayload = StatePayload(false, facts());
        o.willRetain = true;
        const unsigned generation = ++g_generation;
        platform::MqttEvents events;
        events.connected = [generation](const platform::MqttConnection&) {
            if (generation != g_generation) return;
            g.link = Link::Connected;
            g.retryPause = kRetryFirstSeconds;
            g.lastError.clear();
            TRACE(remote, "connected to %s", broker().c_str());
            if (g.lossJournalled)
                journal::Record(journal::kNoPump, journal::Kind::Station,
                                "Remote monitoring connected to " + broker());
            g.lossJournalled = false;
            g.client->publish(topic("state"), StatePayload(true, facts()), 1, true);
            // Whatever was handed over before is sent again: the broker may never have had it.
            g.sent = g.acked;
            g.inFlight.clear();
            g.backlog = true;
            sendPumps(true);
            g.fullAt = platform::Timer() + kPumpFullSeconds;
            sendHeartbeatAndFleet();
            sendEvents();
            changed();
        };
        events.ended = [generation](const std::string& reason) {
            if (generation == g_generation) ended(reason);
        };
        events.acknowledged = [generation](int id) {
            if (generation == g_generation) acknowledged(id);
        };
        g.client = backEnd->create(o, std::move(events));
    }
    g.link = Link::Connecting;
    const unsigned attempt = ++g.attempts;
    TRACE(remote, "connecting to %s", broker().c_str());
    g.client->connect();
    // A broker that takes the connection (or nothing that does) and never answers. The
    // time-outs and the pauses are posted on the loop: the slow tick does not set their pace.
    platform::loop().post(kConnectTimeoutSeconds, [generation = g_generation, attempt] {
        if (generation != g_generation || attempt != g.attempts || g.link != Link::Connecting)
            return;
        g.client->abort();
        ended("no answer from the broker within " +
              std::to_string(static_cast<int>(kConnectTimeoutSeconds)) + " s");
    });
}

void ended(const std::string& reason) {
    g.link = Link::Waiting;
    g.lastError = reason;
    g.retryAt = platform::Timer() + g.retryPause;
    TRACE(remote, "%s: %s; next attempt in %.0f s", broker().c_str(), reason.c_str(), g.retryPause);
    platform::loop().post(g.retryPause, [generation = g_generation, attempt = g.attempts] {
        if (generation == g_generation && attempt == g.attempts && g.link == Link::Waiting)
            startAttempt();
    });
    g.retryPause = std::min(g.retryPause * 2.0, kRetryMaxSeconds);
    g.inFlight.clear();
    g.sent = g.acked;
    saveMark();
    if (!g.lossJournalled) {  // one line per outage, not one per attempt
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring not connected: " + reason);
        g.lossJournalled = true;
    }
    changed();
}

void dropClient() {
    if (g.client) g.client->abort();
    g.client.reset();
    ++g_generation;
}

void start() {
    g.root = TopicRoot(g.settings.site, g.settings.station);
    g.retryPause = kRetryFirstSeconds;
    g.pumpBody.fill({});
    g.pumpSentAt.fill(0.0);
    g.pumpSampleMs.fill(0);
    if (!g.settings.enabled) {
        g.link = Link::Off;
        g.lastError.clear();
        changed();
        return;
    }
    if (g.settings.station.empty()) g.settings.station = platform::ComputerName();
    g.root = TopicRoot(g.settings.site, g.settings.station);
    startAttempt();
    changed();
}

}  // namespace

RemoteStatus CurrentRemoteStatus() {
    RemoteStatus s;
    s.enabled = g.settings.enabled;
    s.connected = g.link == Link::Connected;
    s.broker = broker();
    s.lastError = g.lastError;
    s.eventsWaiting = g.epoch != 0 ? std::max<std::int64_t>(0, g.newest - g.acked) : 0;
    if (g.link == Link::Waiting) s.retryIn = std::max(0.0, g.retryAt - platform::Timer());
    return s;
}

std::string RemoteStatusText() {
    const RemoteStatus s = CurrentRemoteStatus();
    if (!s.enabled) return "Off";
    if (s.connected) return "Connected to " + s.broker;
    if (g.link == Link::Connecting && s.lastError.empty()) return "Connecting to " + s.broker;
    std::string text =
        "Not connected: " + (s.lastError.empty() ? std::string("connecting") : s.lastError);
    if (g.link == Link::Waiting)
        text += " (next try in " + std::to_string(static_cast<int>(std::ceil(s.retryIn))) + " s)";
    return text;
}

std::string RemoteTopicRoot() {
    return g.root;
}

void StartRemote(const std::string& version) {
    dropClient();
    g.version = version;
    g.startedMs = platform::loop().wallTimeMs();
    g.settings = settings::ReadRemoteSettings();
    if (journal::Store* store = journal::CurrentStore(); store != nullptr && g.settings.enabled)
        adoptFile(*store);
    start();
}

void ApplyRemoteSettings(const settings::RemoteSettings& remote) {
    settings::WriteRemoteSettings(remote);
    // The old connection ends as a lost one would: the broker publishes its "offline".
    dropClient();
    g.settings = settings::ReadRemoteSettings();
    g.lastError.clear();
    g.lossJournalled = false;
    if (journal::Store* store = journal::CurrentStore();
        store != nullptr && g.settings.enabled && g.epoch == 0)
        adoptFile(*store);
    start();
}

void RemoteTick() {
    if (!g.settings.enabled) return;
    const double now = platform::Timer();
    if (journal::Store* store = journal::CurrentStore(); store != nullptr && g.epoch != 0) {
        // Kept current while no broker is there, for the count of events waiting.
        followJournal(*store);
    }
    switch (g.link) {
        case Link::Waiting:
            changed();  // the count-down
            break;
        case Link::Connected:
            if (now >= g.fullAt) {
                sendPumps(true);
                g.fullAt = now + kPumpFullSeconds;
            } else {
                sendPumps(false);
            }
            sendHeartbeatAndFleet();  // the tick is the heartbeat's second
            changed();
            sendEvents();
            break;
        case Link::Connecting:
        case Link::Off:
            break;
    }
    saveMark();
}

void StopRemote() {
    if (g.client && g.link == Link::Connected) {
        // The acknowledgements that come while it waits are not taken any more: the mark
        // stands at what was acknowledged before, and the rest goes again at the next start.
        if (!g.client->close(topic("state"), StatePayload(false, facts()), kCloseSeconds))
            TRACE(remote, "\"offline\" not acknowledged by %s within %.1f s", broker().c_str(),
                  kCloseSeconds);
    }
    saveMark();
    g.client.reset();
    ++g_generation;
    g.link = Link::Off;
}

void SetRemoteStatusListener(void (*listener)()) {
    g.listener = listener;
}

int RemoteTimer(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) RemoteTick();
    return 0;
}

void BindRemoteCallbacks() {
    windows::BindCtrlCallback("RemoteTimer", RemoteTimer);
}

void ResetRemote() {
    dropClient();
    g = {};
}
VNK_MODULE_STATE_RESET(remote, publisher, g, ResetRemote)

void RegisterRemoteStates() {
    registerState_publisher();
}

}  // namespace remote
