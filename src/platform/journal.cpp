#include "platform/journal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <tuple>
#include <utility>

#include "platform/event_loop.h"

namespace journal {

namespace {

constexpr const char* kKindNames[kKindCount] = {
    "Station", "Link",    "Port",    "Trip",      "Alarm",    "Fault",       "E-Stop",
    "Inline",  "Command", "Recording", "Blender", "Settings", "Acknowledge",
};

using AlarmKey = std::tuple<int, int, std::string>;  // pump, kind, name

struct JournalState {
    Store* store = nullptr;
    std::function<void(const std::string&)> sink;
    std::vector<std::string> pendingNotices;
    std::function<void()> listener;
    bool writeFailureShown = false;
    std::map<AlarmKey, Alarm> alarms;
    // The journal's clock: the loop's wall time at its start plus the loop's monotonic
    // seconds, so that events keep their order and their milliseconds in virtual time too.
    const platform::EventLoop* clockLoop = nullptr;
    double clockBaseMs = 0.0;
};
JournalState g;

std::int64_t nowMs() {
    platform::EventLoop* loop = platform::currentLoop();
    if (loop == nullptr) {
        std::timespec ts{};
        std::timespec_get(&ts, TIME_UTC);
        return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
    if (g.clockLoop != loop) {
        g.clockLoop = loop;
        g.clockBaseMs = static_cast<double>(loop->wallTime()) * 1000.0 - loop->now() * 1000.0;
    }
    return static_cast<std::int64_t>(std::floor(g.clockBaseMs + loop->now() * 1000.0));
}

void changed() {
    if (g.listener) g.listener();
}

void deliver(const std::string& text) {
    platform::EventLoop* loop = platform::currentLoop();
    if (loop == nullptr) {
        g.sink(text);
        return;
    }
    loop->post(0.0, [text] {
        if (g.sink) g.sink(text);
    });
}

}  // namespace

const char* AlarmStateText(AlarmState s) {
    switch (s) {
        case AlarmState::ActiveUnacknowledged:
            return "Active, unacknowledged";
        case AlarmState::ActiveAcknowledged:
            return "Active, acknowledged";
        case AlarmState::ClearedUnacknowledged:
            return "Cleared, unacknowledged";
        case AlarmState::Normal:
            break;
    }
    return "";
}

namespace {

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

const char* KindName(Kind kind) {
    const int i = static_cast<int>(kind);
    return i >= 0 && i < kKindCount ? kKindNames[i] : "?";
}

std::optional<Kind> KindNamed(const std::string& name) {
    for (int i = 0; i < kKindCount; ++i)
        if (name == kKindNames[i]) return static_cast<Kind>(i);
    return std::nullopt;
}

void SetStore(Store* store) {
    g.store = store;
    g.writeFailureShown = false;
}

Store* CurrentStore() {
    return g.store;
}

void SetNoticeSink(std::function<void(const std::string&)> sink) {
    g.sink = std::move(sink);
    if (!g.sink) return;
    std::vector<std::string> waiting;
    waiting.swap(g.pendingNotices);
    for (const std::string& text : waiting) deliver(text);
}

void Notice(const std::string& text) {
    if (g.sink)
        deliver(text);
    else
        g.pendingNotices.push_back(text);
}

namespace {

void write(int pump, Kind kind, const std::string& text, const Alarm* alarm) {
    if (g.store != nullptr) {
        Event e{0, nowMs(), pump, kind, text};
        if (!g.store->append(e, alarm) && !g.writeFailureShown) {
            g.writeFailureShown = true;
            Notice("The event journal cannot be written (" + g.store->lastError() +
                   "). The station carries on; events are not journalled until it restarts "
                   "with a journal it can write.");
        }
    }
    changed();
}

}  // namespace

void Record(int pump, Kind kind, const std::string& text) {
    write(pump, kind, text, nullptr);
}

void SetAlarm(int pump, Kind kind, const std::string& name) {
    Alarm& a = g.alarms[{pump, static_cast<int>(kind), name}];
    if (a.state == AlarmState::ActiveUnacknowledged || a.state == AlarmState::ActiveAcknowledged)
        return;
    a = Alarm{pump, kind, name, AlarmState::ActiveUnacknowledged, nowMs()};
    write(pump, kind, name, &a);
}

void ClearAlarm(int pump, Kind kind, const std::string& name, const char* clearedText) {
    auto it = g.alarms.find({pump, static_cast<int>(kind), name});
    if (it == g.alarms.end()) return;
    Alarm& a = it->second;
    if (a.state == AlarmState::ActiveUnacknowledged)
        a.state = AlarmState::ClearedUnacknowledged;
    else if (a.state == AlarmState::ActiveAcknowledged)
        a.state = AlarmState::Normal;
    else
        return;
    a.timeMs = nowMs();
    const Alarm now = a;
    if (a.state == AlarmState::Normal) g.alarms.erase(it);
    write(pump, kind, clearedText != nullptr ? std::string(clearedText) : name + " cleared", &now);
}

AlarmState StateOf(int pump, Kind kind, const std::string& name) {
    auto it = g.alarms.find({pump, static_cast<int>(kind), name});
    return it == g.alarms.end() ? AlarmState::Normal : it->second.state;
}

std::vector<Alarm> UnacknowledgedAlarms() {
    std::vector<Alarm> out;
    for (const auto& [key, a] : g.alarms)
        if (a.state == AlarmState::ActiveUnacknowledged ||
            a.state == AlarmState::ClearedUnacknowledged)
            out.push_back(a);
    std::stable_sort(out.begin(), out.end(),
                     [](const Alarm& x, const Alarm& y) { return x.timeMs > y.timeMs; });
    return out;
}

int UnacknowledgedCount() {
    return static_cast<int>(std::count_if(g.alarms.begin(), g.alarms.end(), [](const auto& kv) {
        return kv.second.state == AlarmState::ActiveUnacknowledged ||
               kv.second.state == AlarmState::ClearedUnacknowledged;
    }));
}

bool Acknowledge(int pump, Kind kind, const std::string& name) {
    auto it = g.alarms.find({pump, static_cast<int>(kind), name});
    if (it == g.alarms.end()) return false;
    Alarm& a = it->second;
    if (a.state == AlarmState::ActiveUnacknowledged)
        a.state = AlarmState::ActiveAcknowledged;
    else if (a.state == AlarmState::ClearedUnacknowledged)
        a.state = AlarmState::Normal;
    else
        return false;
    const std::string text = std::string("Acknowledged: ") + KindName(kind) + " " + name;
    const Alarm now = a;
    if (a.state == AlarmState::Normal) g.alarms.erase(it);
    write(pump, Kind::Acknowledge, text, &now);
    return true;
}

int AcknowledgeAll() {
    int n = 0;
    for (const Alarm& a : UnacknowledgedAlarms())
        if (Acknowledge(a.pump, a.kind, a.name)) ++n;
    return n;
}

void SetChangeListener(std::function<void()> listener) {
    g.listener = std::move(listener);
}

std::string FormatTime(std::int64_t timeMs) {
    std::int64_t seconds = timeMs / 1000;
    int ms = static_cast<int>(timeMs % 1000);
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, ms);
    return text;
}

std::string PumpText(int pump) {
    return pump >= 0 ? std::to_string(pump + 1) : std::string();
}

std::string ToCsv(const std::vector<CsvRow>& rows) {
    // Integers only, written by hand: no locale can put a separator into them.
    std::string out = "Time (ms),Date and Time,Pump,Kind,Event,Alarm State\r\n";
    for (const CsvRow& r : rows) {
        out += std::to_string(r.event.timeMs) + "," + FormatTime(r.event.timeMs) + "," +
               PumpText(r.event.pump) + "," + KindName(r.event.kind) + "," +
               csvField(r.event.text) + "," + csvField(r.state) + "\r\n";
    }
    return out;
}

void Reset() {
    Store* store = g.store;
    g = JournalState{};
    g.store = store;
    if (store == nullptr) return;
    for (const Alarm& a : store->alarms())
        if (a.state != AlarmState::Normal) g.alarms[{a.pump, static_cast<int>(a.kind), a.name}] = a;
}

}  // namespace journal
