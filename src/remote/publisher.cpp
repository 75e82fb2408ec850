#include "remote/publisher.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

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
#include "settings/remote_settings.h"
#include "stages/stages.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace remote {

namespace {

using pumplink::kPumpCount;
using pumplink::PumpTable;

enum class Link { Off, Connecting, Connected, Waiting };

// The refused message an episode waits on is the birth, not a journal event.
constexpr std::int64_t kBirth = -1;

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
    bool lossJournalled = false;  // one journal line per outage, or per unstable episode
    int drops = 0;                // connections lost in the episode
    double connectedAt = 0.0;     // Timer() of the connection's start
    // What the broker said at connect, and the refusals it reports.
    bool refusalsReported = true;
    bool mqtt311Journalled = false;
    int window = kEventWindow;  // lower when the broker takes fewer at a time
    bool windowJournalled = false;
    bool sendPosted = false;  // a send of newly journalled events waits on the loop
    std::string refusal;  // "Broker refuses to publish under ...": the outbox holds
    bool holding = false;            // nothing more is offered until the retry pause
    std::int64_t refusedEvent = 0;   // the journal event the episode waits on, or kBirth
    int birthId = 0;                 // the birth's message number while unacknowledged
    // Renaming: old topic roots whose retained messages are cleared (message numbers of the
    // clearing in flight, per root), and the settings a rename switches to once the old
    // root is cleared on the live connection.
    std::vector<std::string> rootsToClear;
    std::map<int, std::string> clearing;
    std::optional<settings::RemoteSettings> renameTo;
    std::unique_ptr<platform::MqttClient> retiring;  // a clean disconnect on its way out
    std::int64_t startedMs = 0;
    // The configured pumps' ids the broker was last given in the meta on this connection.
    std::vector<std::optional<std::string>> metaIds;
    std::uint64_t heartbeats = 0;
    // The stage the broker was last given on this connection (its number, start, end and
    // whether it ran); number 0: none yet.
    std::array<std::int64_t, 4> stageSent{};
    std::array<std::string, kPumpCount> pumpBody{};
    std::array<double, kPumpCount> pumpSentAt{};
    std::array<double, kPumpCount> pumpRxAt{};  // Timer() time of the reply last sent
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
    const std::int64_t newest = newestId(store);
    if (newest < g.acked) {
        // Ids given again after the file was emptied (a file of an older station): what it
        // holds now was never sent.
        TRACE(remote, "journal's newest id %lld below the acknowledged %lld: sent whole",
              static_cast<long long>(newest), static_cast<long long>(g.acked));
        g.acked = 0;
        g.sent = 0;
        g.inFlight.clear();
        g.markChanged = true;
        g.newest = newest;
    }
    g.newest = std::max(g.newest, newest);
}

void sendEvents() {
    journal::Store* store = journal::CurrentStore();
    if (store == nullptr || g.link != Link::Connected || g.holding || g.renameTo) return;
    followJournal(*store);
    while (g.backlog && static_cast<int>(g.inFlight.size()) < g.window) {
        const int room = g.window - static_cast<int>(g.inFlight.size());
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

// The journal took an event: it goes out at once, not at the next tick. Posted, so that it
// is sent after the code that journalled it has done its work; events journalled together
// go out together.
void eventsWritten() {
    if (g.sendPosted || g.link != Link::Connected) return;
    g.sendPosted = true;
    platform::loop().post(0.0, [] {
        g.sendPosted = false;
        sendEvents();
    });
}

void clearingAnswered(int messageId, bool taken);
void settled(std::deque<InFlight>::iterator it);

std::deque<InFlight>::iterator inFlight(int messageId) {
    return std::find_if(g.inFlight.begin(), g.inFlight.end(),
                        [&](const InFlight& f) { return f.messageId == messageId; });
}

// The broker took what it refused before: the episode is over.
void refusalOver() {
    if (g.refusal.empty()) return;
    TRACE(remote, "the broker takes the station's messages again");
    g.refusal.clear();
    g.refusedEvent = 0;
    g.retryPause = kRetryFirstSeconds;
    changed();
}

void acknowledged(int messageId) {
    if (messageId == g.birthId) {
        g.birthId = 0;
        if (g.refusedEvent == kBirth) refusalOver();
        return;
    }
    if (g.clearing.count(messageId) != 0) {
        clearingAnswered(messageId, true);
        return;
    }
    const auto it = inFlight(messageId);
    if (it != g.inFlight.end()) settled(it);
}

// The message is done with (acknowledged, or skipped as refused for its own sake).
void settled(std::deque<InFlight>::iterator it) {
    it->acknowledged = true;
    // The mark moves only over an unbroken run from the oldest: an id is never marked while
    // one before it may still be lost.
    while (!g.inFlight.empty() && g.inFlight.front().acknowledged) {
        g.acked = g.inFlight.front().eventId;
        g.inFlight.pop_front();
        g.markChanged = true;
    }
    if (g.refusedEvent > 0 && g.acked >= g.refusedEvent) refusalOver();
    if (static_cast<int>(g.inFlight.size()) <= g.window / 2) sendEvents();
}

void publishBirth();

// The pause before the next try; the one after it is twice as long, up to the longest.
double takePause() {
    const double pause = g.retryPause;
    g.retryPause = std::min(g.retryPause * 2.0, kRetryMaxSeconds);
    return pause;
}

// The broker refuses what the station publishes under its root (its access list): nothing
// more is offered until the retry pause, then the refused message again, so that no event
// is ever marked sent that the broker dropped.
void holdOutbox(const std::string& why, std::int64_t eventId) {
    const bool episodeStarts = g.refusal.empty();  // journalled once per episode
    g.refusal = "Broker refuses to publish under " + g.root + ": " + why;
    g.refusedEvent = eventId;
    if (episodeStarts)
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring: " + g.refusal);
    const double pause = takePause();
    TRACE(remote, "%s; offered again in %.0f s", g.refusal.c_str(), pause);
    g.holding = true;
    platform::loop().post(pause, [generation = g_generation, attempt = g.attempts] {
        if (generation != g_generation || attempt != g.attempts || !g.holding) return;
        g.holding = false;
        if (g.link != Link::Connected) return;
        if (g.refusedEvent == kBirth) publishBirth();
        sendEvents();
    });
    changed();
}

void refused(int messageId, int code, const std::string& reason) {
    if (messageId == g.birthId) {
        g.birthId = 0;
        holdOutbox("birth and will refused (" + reason + ")", kBirth);
        return;
    }
    if (g.clearing.count(messageId) != 0) {
        clearingAnswered(messageId, false);
        return;
    }
    const auto it = inFlight(messageId);
    if (it == g.inFlight.end()) return;
    if (platform::MqttRefusesOnlyThisMessage(code)) {
        // This message alone, for its own sake: it would be refused again and again.
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring: the broker refused journal event " +
                            std::to_string(it->eventId) + " (" + reason + "); it is skipped");
        settled(it);
        return;
    }
    // Offered again from the refused one; what went after it goes again too.
    const std::int64_t eventId = it->eventId;
    g.inFlight.erase(it, g.inFlight.end());
    g.sent = g.inFlight.empty() ? g.acked : g.inFlight.back().eventId;
    g.backlog = true;
    holdOutbox(reason, eventId);
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
        // Judged on the monotonic time of the replies: the wall clock set back an hour must
        // not hold a steady pump's refresh back for that hour.
        const bool refresh =
            r.Online != 0 && r.LastRxAt - g.pumpRxAt[p] >= kPumpRefreshSeconds - 1e-6;
        if (!all && !changedValues && !refresh) continue;
        if (g.client->publish(topic("pump/") + std::to_string(p + 1), WithSampleTime(body, sample),
                              0, true) < 0)
            return;
        g.pumpBody[p] = std::move(body);
        g.pumpSentAt[p] = now;
        g.pumpRxAt[p] = r.LastRxAt;
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
void start();

// The retained topics the station owns under a root: its state, meta, stage and every pump.
std::vector<std::string> retainedTopics(const std::string& root) {
    std::vector<std::string> topics{root + "state", root + "meta", root + "stage"};
    for (int p = 1; p <= kPumpCount; ++p) topics.push_back(root + "pump/" + std::to_string(p));
    return topics;
}

void rememberRootToClear(const std::string& root) {
    if (root.empty() || std::find(g.rootsToClear.begin(), g.rootsToClear.end(), root) !=
                            g.rootsToClear.end())
        return;
    g.rootsToClear.push_back(root);
    settings::WriteRootsToClear(g.rootsToClear);
}

// Empty retained messages on every retained topic of the old roots (never the root in
// use), at QoS 1 so that their acknowledgements tell when a root is clear.
void clearOldRoots() {
    const std::string keep = g.renameTo ? std::string() : g.root;
    std::erase(g.rootsToClear, keep);
    settings::WriteRootsToClear(g.rootsToClear);
    g.clearing.clear();
    for (const std::string& root : g.rootsToClear)
        for (const std::string& t : retainedTopics(root)) {
            const int id = g.client->publish(t, std::string(), 1, true);
            if (id <= 0) return;  // the connection is going: again at the next one
            g.clearing[id] = root;
        }
}

void switchToRenamed();

void clearingAnswered(int messageId, bool taken) {
    const std::string root = g.clearing[messageId];
    g.clearing.erase(messageId);
    if (!taken) {
        // Kept in the list: cleared at a later connection that the broker lets do it.
        std::erase_if(g.clearing, [&](const auto& c) { return c.second == root; });
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring: the broker refuses to clear the old topics under " +
                            root);
    } else if (std::none_of(g.clearing.begin(), g.clearing.end(),
                            [&](const auto& c) { return c.second == root; })) {
        std::erase(g.rootsToClear, root);
        settings::WriteRootsToClear(g.rootsToClear);
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring cleared the old topics under " + root);
    }
    if (g.renameTo && g.clearing.empty()) switchToRenamed();
}

void publishBirth() {
    g.birthId = g.client->publish(topic("state"), StatePayload(true, facts()), 1, true);
}

// The retained meta, at every connection and again whenever the pumps configured or their
// ids change (an id is known only once its pump has answered).
void sendMeta(bool always) {
    std::vector<std::optional<std::string>> ids(kPumpCount);
    for (int p = 0; p < kPumpCount; ++p)
        if (PumpTable[p].ConfiguredComPort > 0) ids[p] = PumpIdText(PumpTable[p]);
    // Built only when it is due: the tick looks at the ids alone.
    if (!always && ids == g.metaIds) return;
    if (g.client->publish(topic("meta"), MetaPayload(facts(), ids), 1, true) > 0)
        g.metaIds = std::move(ids);
}

// The retained stage, at every connection and again when a stage starts or ends; nothing
// before the station's first stage. A publish the client cannot take is tried again at the
// next tick.
void sendStage(bool always) {
    const stages::StageSums& s = stages::CurrentStage();
    const bool running = stages::StageRunning();
    const std::array<std::int64_t, 4> now{s.number, s.startMs, s.endMs, running ? 1 : 0};
    if (s.number == 0 || (!always && now == g.stageSent)) return;
    if (g.client->publish(topic("stage"), StagePayload(s, running), 1, true) > 0)
        g.stageSent = now;
}

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
        o.clientId =
            ClientId(g.settings.site, g.settings.station, settings::RemoteClientSuffix());
        o.user = g.settings.user;
        o.password = g.settings.password;
        o.tls = g.settings.tls;
        o.caFile = g.settings.caFile;
        o.certFile = g.settings.certFile;
        o.keyFile = g.settings.keyFile;
        o.willTopic = topic("state");
        o.willPayload = StatePayload(false, facts());
        o.willRetain = true;
        o.sendMaximum = kEventWindow;
        const unsigned generation = ++g_generation;
        platform::MqttEvents events;
        events.connected = [generation](const platform::MqttConnection& c) {
            if (generation != g_generation) return;
            g.link = Link::Connected;
            g.connectedAt = platform::Timer();
            g.lastError.clear();
            g.refusalsReported = c.refusalsReported;
            g.window = std::clamp(c.receiveMaximum, 1, kEventWindow);
            TRACE(remote, "connected to %s", broker().c_str());
            if (!c.refusalsReported && !g.mqtt311Journalled) {
                journal::Record(journal::kNoPump, journal::Kind::Station,
                                "Remote monitoring: the broker at " + broker() +
                                    " speaks only MQTT 3.1.1 and cannot say when it refuses a "
                                    "message");
                g.mqtt311Journalled = true;
            }
            if (g.window < kEventWindow && !g.windowJournalled) {
                journal::Record(journal::kNoPump, journal::Kind::Station,
                                "Remote monitoring: the broker at " + broker() + " takes " +
                                    std::to_string(g.window) +
                                    " messages at a time (its Receive Maximum), the station would "
                                    "send " +
                                    std::to_string(kEventWindow) +
                                    ": a backlog drains slowly on a slow link (raise the "
                                    "broker's max_inflight_messages)");
                g.windowJournalled = true;
            }
            // A rename made while the station was away from this broker.
            const std::string published = settings::ReadPublishedRoot();
            if (published != g.root) {
                rememberRootToClear(published);
                settings::WritePublishedRoot(g.root);
            }
            g.holding = false;
            publishBirth();
            sendMeta(true);
            sendStage(true);
            // Whatever was handed over before is sent again: the broker may never have had it.
            g.sent = g.acked;
            g.inFlight.clear();
            g.backlog = true;
            clearOldRoots();
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
        events.refused = [generation](int id, int code, const std::string& reason) {
            if (generation == g_generation) refused(id, code, reason);
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
    const bool wasUp = g.link == Link::Connected;
    const double now = platform::Timer();
    // Only a connection that stayed up a while starts the pauses afresh: one that keeps
    // dropping (a second station under the same names, a broker that limits connections)
    // is tried ever more slowly.
    if (wasUp && now - g.connectedAt >= kStableSeconds) g.retryPause = kRetryFirstSeconds;
    if (wasUp) ++g.drops;
    g.link = Link::Waiting;
    g.lastError = reason;
    const double pause = takePause();
    g.retryAt = now + pause;
    TRACE(remote, "%s: %s; next attempt in %.0f s", broker().c_str(), reason.c_str(), pause);
    platform::loop().post(pause, [generation = g_generation, attempt = g.attempts] {
        if (generation == g_generation && attempt == g.attempts && g.link == Link::Waiting)
            startAttempt();
    });
    g.inFlight.clear();
    g.clearing.clear();
    g.birthId = 0;
    g.holding = false;
    g.sent = g.acked;
    saveMark();
    if (!g.lossJournalled) {  // one line per outage or unstable episode, not one per attempt
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring not connected: " + reason);
        g.lossJournalled = true;
        g.drops = wasUp ? 1 : 0;
    }
    // A rename waiting on this connection goes ahead: the old root is cleared later.
    if (g.renameTo) switchToRenamed();
    changed();
}

// A connection up kStableSeconds ends an unstable episode: the pauses start afresh, and
// one journal line says so, with the drops the episode had.
void noteStable() {
    if (g.link != Link::Connected || platform::Timer() - g.connectedAt < kStableSeconds) return;
    g.retryPause = kRetryFirstSeconds;
    if (!g.lossJournalled) return;
    std::string text = "Remote monitoring connected to " + broker();
    if (g.drops > 1) text += " (the connection dropped " + std::to_string(g.drops) + " times)";
    journal::Record(journal::kNoPump, journal::Kind::Station, text);
    g.lossJournalled = false;
    g.drops = 0;
}

// A client ended by disconnect() is kept a moment, so that its DISCONNECT leaves before its
// socket is closed (the broker would otherwise publish its will).
void retire(std::unique_ptr<platform::MqttClient> client) {
    g.retiring = std::move(client);
    platform::loop().post(2.0, [client = g.retiring.get()] {
        if (g.retiring.get() == client) g.retiring.reset();
    });
}

void dropClient() {
    if (g.client) g.client->abort();
    g.client.reset();
    g.retiring.reset();
    ++g_generation;
}

void adoptSettings(const settings::RemoteSettings& next) {
    g.settings = next;
    g.lastError.clear();
    g.lossJournalled = false;
    g.refusal.clear();
    g.mqtt311Journalled = false;
    g.windowJournalled = false;
    if (journal::Store* store = journal::CurrentStore();
        store != nullptr && g.settings.enabled && g.epoch == 0)
        adoptFile(*store);
    start();
}

// The old root is clear (or could not be cleared in time): the clean end of the old
// connection, and the new one under the new names.
void switchToRenamed() {
    const settings::RemoteSettings next = *g.renameTo;
    g.renameTo.reset();
    if (g.client && g.link == Link::Connected && g.clearing.empty()) {
        g.client->disconnect();
        auto client = std::move(g.client);
        dropClient();
        retire(std::move(client));
    } else {
        dropClient();
    }
    adoptSettings(next);
}

void start() {
    g.root = TopicRoot(g.settings.site, g.settings.station);
    g.retryPause = kRetryFirstSeconds;
    g.pumpBody.fill({});
    g.pumpSentAt.fill(0.0);
    g.pumpRxAt.fill(0.0);
    g.rootsToClear = settings::ReadRootsToClear();
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
    if (s.connected) {
        s.refusing = !g.refusal.empty();
        s.window = g.window;
        s.problem = s.refusing             ? g.refusal
                    : !g.refusalsReported ? "the broker speaks only MQTT 3.1.1 and cannot say "
                                             "when it refuses a message"
                                           : std::string();
    }
    s.eventsWaiting = g.epoch != 0 ? std::max<std::int64_t>(0, g.newest - g.acked) : 0;
    if (g.link == Link::Waiting) s.retryIn = std::max(0.0, g.retryAt - platform::Timer());
    return s;
}

std::string RemoteStatusText() {
    const RemoteStatus s = CurrentRemoteStatus();
    if (!s.enabled) return "Off";
    if (s.refusing) return s.problem;
    if (s.connected) {
        std::string text = "Connected to " + s.broker;
        if (!s.problem.empty()) text += " (" + s.problem + ")";
        if (s.window < kEventWindow)
            text += "; the broker takes " + std::to_string(s.window) + " messages at a time";
        return text;
    }
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
    journal::SetWrittenListener(eventsWritten);
    start();
}

void ApplyRemoteSettings(const settings::RemoteSettings& remote) {
    settings::WriteRemoteSettings(remote);
    settings::RemoteSettings next = settings::ReadRemoteSettings();
    const std::string oldRoot = g.settings.enabled ? g.root : std::string();
    const std::string newRoot = TopicRoot(
        next.site, next.station.empty() ? platform::ComputerName() : next.station);
    if (!oldRoot.empty() && newRoot != oldRoot) {
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        "Remote monitoring renamed from " + oldRoot + " to " + newRoot +
                            ": the old topics are cleared");
        std::erase(g.rootsToClear, newRoot);
        rememberRootToClear(oldRoot);
        settings::WritePublishedRoot(std::string());  // the list has it now
        if (g.client && g.link == Link::Connected && !g.renameTo) {
            // Cleared on the connection that published them, which then ends cleanly: the
            // old will is not published. The new connection waits for that, or kClearSeconds.
            g.renameTo = std::move(next);
            clearOldRoots();
            if (g.clearing.empty()) {
                switchToRenamed();
                return;
            }
            platform::loop().post(kClearSeconds, [generation = g_generation] {
                if (generation == g_generation && g.renameTo) switchToRenamed();
            });
            changed();
            return;
        }
    }
    // The old connection ends as a lost one would: the broker publishes its "offline".
    dropClient();
    g.renameTo.reset();
    adoptSettings(next);
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
            noteStable();
            if (g.renameTo) break;  // nothing new under the root being cleared
            if (now >= g.fullAt) {
                sendPumps(true);
                g.fullAt = now + kPumpFullSeconds;
            } else {
                sendPumps(false);
            }
            sendMeta(false);
            sendStage(false);
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
    g.retiring.reset();
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
