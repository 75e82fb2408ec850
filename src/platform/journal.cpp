#include "platform/journal.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <deque>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "platform/trace.h"

namespace journal {

namespace {

constexpr const char* kKindNames[kKindCount] = {
    "Station", "Link",    "Port",      "Trip",    "Alarm",    "Fault",       "E-Stop",
    "Inline",  "Command", "Recording", "Blender", "Settings", "Acknowledge",
};

using AlarmKey = std::tuple<int, int, std::string>;  // pump, kind, name

// A condition's recent changes, for the chattering rule. Its times are the loop's monotonic
// clock, which a clock set by hand does not move.
struct Chatter {
    std::deque<std::int64_t> changes;  // times (ms) of the changes within the last window
    bool chattering = false;
    int counted = 0;               // changes since the last minute report
    std::int64_t reportDueMs = 0;  // of the next minute report
    // Its state goes to the file at most once a second while it chatters: when it last went,
    // and whether a later change has not gone yet.
    std::int64_t savedAtMs = 0;
    bool unsaved = false;
    bool operator==(const Chatter&) const = default;
};

struct JournalState {
    Store* store = nullptr;
    modstate::Hook<void(const std::string&)> sink;
    std::vector<std::string> pendingNotices;
    modstate::Hook<void()> listener;
    modstate::Hook<void()> writtenListener;
    bool writeFailureShown = false;
    bool writeFailing = false;  // the last write failed (traced once until one succeeds)
    std::uint64_t written = 0;
    std::map<AlarmKey, Alarm> alarms;
    std::map<AlarmKey, Chatter> chatter;
    bool operator==(const JournalState&) const = default;
};
JournalState g;

// A reset keeps the store open, and the alarms it holds stay active: fresh is what a start
// with that store gives.
JournalState freshWith(Store* store) {
    JournalState fresh;
    fresh.store = store;
    if (store == nullptr) return fresh;
    for (const Alarm& a : store->alarms())
        if (a.state != AlarmState::Normal)
            fresh.alarms[{a.pump, static_cast<int>(a.kind), a.name}] = a;
    return fresh;
}

// Each event carries the wall clock as it reads at that moment, milliseconds included, so
// that journal, recordings and the operator's watch agree after the clock is stepped.
std::int64_t nowMs() {
    if (platform::EventLoop* loop = platform::currentLoop()) return loop->wallTimeMs();
    std::timespec ts{};
    std::timespec_get(&ts, TIME_UTC);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::int64_t monotonicMs() {
    if (platform::EventLoop* loop = platform::currentLoop())
        return static_cast<std::int64_t>(std::floor(loop->now() * 1000.0));
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
    g.writeFailing = false;
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

std::vector<Alarm> alarmsNotNormal() {
    std::vector<Alarm> out;
    for (const auto& [key, a] : g.alarms)
        if (a.state != AlarmState::Normal) out.push_back(a);
    return out;
}

// The store found its file damaged: the file is set aside and a fresh one started with the
// alarms as they stand, which is journalled as the fresh file's first event and shown once.
bool startAfresh() {
    std::string report;
    TRACE(journal, "the store found its file damaged: starting afresh");
    if (!g.store->startAfresh(alarmsNotNormal(), report)) {
        TRACE(journal, "no fresh file: %s", report.c_str());
        if (!g.writeFailureShown) {
            g.writeFailureShown = true;
            Notice(report);
        }
        return false;
    }
    Event e{0, nowMs(), kNoPump, Kind::Station, report};
    g.store->append(e, nullptr);
    g.writeFailureShown = false;
    Notice(report);
    return true;
}

void write(int pump, Kind kind, const std::string& text, const Alarm* alarm) {
    if (g.store != nullptr) {
        if (g.store->damaged()) startAfresh();
        Event e{0, nowMs(), pump, kind, text};
        if (alarm != nullptr) e.alarm = AlarmChange{alarm->kind, alarm->name, alarm->state};
        bool written = g.store->append(e, alarm);
        // The write itself may be what finds the damage: the event goes into the fresh file.
        if (!written && g.store->damaged() && startAfresh()) written = g.store->append(e, alarm);
        if (written) ++g.written;
        if (written && g.writtenListener) g.writtenListener();
        if (written == g.writeFailing) {  // the first failure, or the first write after them
            g.writeFailing = !written;
            if (written)
                TRACE(journal, "events are written again");
            else
                TRACE(journal, "event not written (%s): %s; the next failures are not traced",
                      g.store->lastError().c_str(), text.c_str());
        }
        if (!written && !g.writeFailureShown) {
            g.writeFailureShown = true;
            Notice("The event journal cannot be written (" + g.store->lastError() +
                   "). The station carries on; events are not journalled until it restarts "
                   "with a journal it can write.");
        }
    }
    changed();
}

const char* stateWord(const Alarm& a) {
    return a.state == AlarmState::ActiveUnacknowledged || a.state == AlarmState::ActiveAcknowledged
               ? "set"
               : "clear";
}

std::string chatterText(const Alarm& a, const std::string& what, int changes) {
    return a.name + " " + what + ": " + std::to_string(changes) +
           (changes == 1 ? " change" : " changes") + " in the last minute, now " + stateWord(a);
}

Alarm alarmNow(const AlarmKey& key);

// The state of a chattering alarm into the file, at most once a second, so that a restart in
// the middle of chattering resumes the state it had.
void saveChattering(const AlarmKey& key, Chatter& c, std::int64_t t) {
    if (!c.unsaved || t - c.savedAtMs < kChatterSaveMs) return;
    if (g.store != nullptr) g.store->saveAlarmState(alarmNow(key));
    c.savedAtMs = t;
    c.unsaved = false;
}

// A change of a condition's state, with the rule for chattering conditions: the first
// kChatterLimit changes within a window are each an event; the next one is recorded at
// once as the start of chattering, and from then on the changes are counted and reported
// once a minute (Maintain) with the alarm's state of that moment.
void changeAlarm(const AlarmKey& key, const Alarm& now, const std::string& text) {
    const std::int64_t t = monotonicMs();
    Chatter& c = g.chatter[key];
    c.changes.push_back(t);
    while (!c.changes.empty() && c.changes.front() <= t - kChatterWindowMs) c.changes.pop_front();
    if (c.chattering) {
        ++c.counted;
        c.unsaved = true;
        saveChattering(key, c, t);
        changed();  // the state changed: the bank windows' count follows it at once
        return;
    }
    if (static_cast<int>(c.changes.size()) > kChatterLimit) {
        c.chattering = true;
        c.counted = 0;
        c.reportDueMs = t + kChatterWindowMs;
        write(now.pump, now.kind,
              now.name + " chattering: " + std::to_string(c.changes.size()) +
                  " changes within a minute, now " + stateWord(now),
              &now);
        return;
    }
    write(now.pump, now.kind, text, &now);
}

// The alarm as it stands (Normal when it is no longer kept).
Alarm alarmNow(const AlarmKey& key) {
    auto it = g.alarms.find(key);
    if (it != g.alarms.end()) return it->second;
    return Alarm{std::get<0>(key), static_cast<Kind>(std::get<1>(key)), std::get<2>(key),
                 AlarmState::Normal, 0};
}

void reportChatter() {
    const std::int64_t t = monotonicMs();
    for (auto it = g.chatter.begin(); it != g.chatter.end();) {
        Chatter& c = it->second;
        while (!c.changes.empty() && c.changes.front() <= t - kChatterWindowMs)
            c.changes.pop_front();
        saveChattering(it->first, c, t);
        if (c.chattering && t >= c.reportDueMs) {
            Alarm a = alarmNow(it->first);
            a.timeMs = nowMs();
            const bool calm = c.counted < kCalmLimit;
            write(a.pump, a.kind,
                  chatterText(a, calm ? "chattering ended" : "chattering", c.counted), &a);
            c.counted = 0;
            c.reportDueMs = t + kChatterWindowMs;
            if (calm) {
                c.chattering = false;
                c.changes.clear();
            }
        }
        if (!c.chattering && c.changes.empty())
            it = g.chatter.erase(it);
        else
            ++it;
    }
}

}  // namespace

void Record(int pump, Kind kind, const std::string& text) {
    write(pump, kind, text, nullptr);
}

std::uint64_t WrittenCount() {
    return g.written;
}

void Maintain() {
    if (g.store != nullptr && g.store->damaged()) {
        startAfresh();
        changed();
    }
    reportChatter();
}

void SetRetention(const Retention& retention) {
    if (g.store != nullptr) g.store->setRetention(retention);
}

void SetAlarm(int pump, Kind kind, const std::string& name, const std::string& text) {
    const AlarmKey key{pump, static_cast<int>(kind), name};
    Alarm& a = g.alarms[key];
    if (a.state == AlarmState::ActiveUnacknowledged || a.state == AlarmState::ActiveAcknowledged)
        return;
    const std::int64_t t = nowMs();
    a = Alarm{pump, kind, name, AlarmState::ActiveUnacknowledged, t, t};
    const Alarm now = a;
    changeAlarm(key, now, text.empty() ? name : text);
}

void ClearAlarm(int pump, Kind kind, const std::string& name, const char* clearedText) {
    const AlarmKey key{pump, static_cast<int>(kind), name};
    auto it = g.alarms.find(key);
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
    changeAlarm(key, now, clearedText != nullptr ? std::string(clearedText) : name + " cleared");
}

AlarmState StateOf(int pump, Kind kind, const std::string& name) {
    auto it = g.alarms.find({pump, static_cast<int>(kind), name});
    return it == g.alarms.end() ? AlarmState::Normal : it->second.state;
}

namespace {
template <typename Pred>
std::vector<Alarm> alarmsWhere(Pred pred) {
    std::vector<Alarm> out;
    for (const auto& [key, a] : g.alarms)
        if (pred(a)) out.push_back(a);
    std::stable_sort(out.begin(), out.end(),
                     [](const Alarm& x, const Alarm& y) { return x.timeMs > y.timeMs; });
    return out;
}
}  // namespace

bool Unacknowledged(const Alarm& a) {
    return a.state == AlarmState::ActiveUnacknowledged ||
           a.state == AlarmState::ClearedUnacknowledged;
}

std::vector<Alarm> UnacknowledgedAlarms() {
    return alarmsWhere(Unacknowledged);
}

std::vector<Alarm> CurrentAlarms() {
    return alarmsWhere([](const Alarm& a) { return a.state != AlarmState::Normal; });
}

int UnacknowledgedCount() {
    return static_cast<int>(std::count_if(g.alarms.begin(), g.alarms.end(), [](const auto& kv) {
        return Unacknowledged(kv.second);
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

void SetWrittenListener(std::function<void()> listener) {
    g.writtenListener = std::move(listener);
}

void SetChangeListener(std::function<void()> listener) {
    g.listener = std::move(listener);
}

namespace {

// timeMs as the calendar time of the place (local) or of UTC, milliseconds included.
std::string calendarTime(std::int64_t timeMs, bool utc) {
    std::int64_t seconds = timeMs / 1000;
    int ms = static_cast<int>(timeMs % 1000);
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (utc)
        gmtime_r(&t, &parts);
    else
        localtime_r(&t, &parts);
    char text[80];
    std::snprintf(text, sizeof text,
                  utc ? "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ" : "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                  parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                  parts.tm_min, parts.tm_sec, ms);
    return text;
}

}  // namespace

std::string FormatTime(std::int64_t timeMs) {
    return calendarTime(timeMs, false);
}

std::string FormatUtcTime(std::int64_t timeMs) {
    return calendarTime(timeMs, true);
}

std::string PumpText(int pump) {
    return pump >= 0 ? std::to_string(pump + 1) : std::string();
}

std::string CsvField(const std::string& text) {
    std::string s = text;
    double number = 0.0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), number);
    const bool isNumber = !s.empty() && error == std::errc() && end == s.data() + s.size();
    if (!isNumber && !s.empty() && std::string_view("=+-@\t\r").find(s.front()) != std::string_view::npos)
        s.insert(s.begin(), '\'');
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string ToCsv(const std::vector<CsvRow>& rows) {
    // Integers only, written by hand: no locale can put a separator into them.
    std::string out = "Time (ms),Date and Time,Pump,Kind,Event,Alarm State\r\n";
    for (const CsvRow& r : rows) {
        out += std::to_string(r.event.timeMs) + "," + FormatTime(r.event.timeMs) + "," +
               PumpText(r.event.pump) + "," + KindName(r.event.kind) + "," +
               CsvField(r.event.text) + "," + CsvField(r.state) + "\r\n";
    }
    return out;
}

void Reset() {
    g = freshWith(g.store);
}
VNK_MODULE_STATE_CUSTOM(platform, journal, Reset, [] { return g == freshWith(g.store); })

void RegisterPlatformStates() {
    registerState_journal();
}

}  // namespace journal
