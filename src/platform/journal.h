// The event journal: every event of the station with its time (ms), pump (or none), kind
// and text, kept in a store behind a seam (SQLite on the real back end, memory in tests),
// and the alarms among those events with their acknowledgement state.
//
// It lives in the platform layer, below everything that emits events, so that the link
// (pumps on and off line, ports), safety (trips, the E-stop), operation (commands), the
// recorder, the blender client and the shell all call journal::Record directly; nothing
// here calls upward. What the journal has to show (a damaged file set aside, a failed
// write) goes to the notice sink the shell installs, delivered from the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace journal {

enum class Kind {
    Station,      // start-up, shut-down
    Link,         // a pump on or off line
    Port,         // a serial port opened, closed or hung up
    Trip,         // a pump's trip and its clearing, its trip-word bits
    Alarm,        // an alarm-word bit set or cleared
    Fault,        // a drive fault
    EStop,        // E-stop break and restore, the E-stop input failing
    Inline,       // the inline overpressure trip
    Command,      // an operator's command
    Recording,    // recording started or stopped
    Blender,      // the blender computer connected or closed
    Settings,     // a settings change
    Acknowledge,  // an operator acknowledged an alarm
};
inline constexpr int kKindCount = static_cast<int>(Kind::Acknowledge) + 1;
const char* KindName(Kind kind);
std::optional<Kind> KindNamed(const std::string& name);

constexpr int kNoPump = -1;  // an event of the station, not of one pump

// The values are kept in the journal file.
enum class AlarmState {
    Normal = 0,
    ActiveUnacknowledged = 1,
    ActiveAcknowledged = 2,
    ClearedUnacknowledged = 3,
};

struct Alarm {
    int pump = kNoPump;
    Kind kind = Kind::Alarm;
    std::string name;
    AlarmState state = AlarmState::Normal;
    std::int64_t timeMs = 0;    // of the last change (the clearing, for a cleared alarm)
    std::int64_t raisedMs = 0;  // when it last came on
    bool operator==(const Alarm&) const = default;
};

// The alarm an event changed (raised, cleared, acknowledged, or a chatter report), as the
// change left it; kept in the journal with the event.
struct AlarmChange {
    Kind kind = Kind::Alarm;
    std::string name;
    AlarmState state = AlarmState::Normal;
    bool operator==(const AlarmChange&) const = default;
};

struct Event {
    std::int64_t id = 0;      // given by the store, rising
    std::int64_t timeMs = 0;  // ms since 1970, wall clock
    int pump = kNoPump;       // 0-23
    Kind kind = Kind::Station;
    std::string text;
    // The journal file's own number, given when the file is made: ids start again in a
    // fresh file (after a damaged one was set aside), so (epoch, id) names one event for
    // good and a reader that saw both files drops duplicates by it.
    std::int64_t epoch = 0;
    std::optional<AlarmChange> alarm = std::nullopt;  // none: the event changed no alarm
    bool operator==(const Event&) const = default;
};

// Which events a query returns: newest first, older than beforeId when it is non-zero.
struct Filter {
    static constexpr int kAnyPump = -2;
    int pump = kAnyPump;  // kNoPump: the station's own events
    std::optional<Kind> kind;
    std::int64_t beforeId = 0;
    bool operator==(const Filter&) const = default;
};

// How much the journal keeps: events older than keepDays go, and the oldest go while the
// file holds more than maxBytes of events, whichever comes first. The event that raised an
// alarm still awaiting acknowledgement is never pruned. 0: no bound of that kind.
struct Retention {
    int keepDays = 400;
    std::int64_t maxBytes = std::int64_t{2048} * 1024 * 1024;
};

// A stage of the job as the stages module keeps it beside the events: its sums in that
// module's own text, whether it still runs, and its series of one point a second.
struct StagePoint {
    std::int64_t second = 0;  // since the stage started
    float rate = 0.0f;        // bbl/min
    float pressure = 0.0f;    // psi
    bool operator==(const StagePoint&) const = default;
};
struct SavedStage {
    std::int64_t id = 0;  // the stage's start, ms since 1970
    std::string sums;
    bool running = false;
    std::vector<StagePoint> points;  // oldest first
    bool operator==(const SavedStage&) const = default;
};

class Store {
  public:
    virtual ~Store() = default;
    // Stores the event in its own transaction and gives it its id; false when it could
    // not be written (lastError says why). When the event changes an alarm, the alarm's
    // new state goes into the same transaction (a Normal alarm is removed), so that a
    // restart finds the alarms as the last committed event left them.
    virtual bool append(Event& event, const Alarm* alarm) = 0;
    bool append(Event& event) { return append(event, nullptr); }
    virtual std::vector<Event> newest(const Filter& filter, int limit) = 0;
    // At most limit events with ids above afterId, oldest first (what a reader that has seen
    // up to afterId has not yet seen).
    virtual std::vector<Event> since(std::int64_t afterId, int limit) = 0;
    // A number kept in the file itself beside its events (how far a reader has got), so that
    // it stays with the events it counts: a file started afresh has none. Missing: nullopt.
    virtual std::optional<std::int64_t> mark(const std::string& key) = 0;
    virtual bool setMark(const std::string& key, std::int64_t value) = 0;
    virtual std::int64_t count() = 0;
    virtual std::string lastError() const = 0;
    // The alarms that were not Normal at the last committed change.
    virtual std::vector<Alarm> alarms() = 0;
    // An alarm's state on its own, without an event (a chattering alarm's changes are
    // counted, not journalled one by one); a Normal alarm is removed.
    virtual bool saveAlarmState(const Alarm& alarm) = 0;
    // The epoch of the file in use (stamped on every event it gives back).
    virtual std::int64_t epoch() const { return 0; }
    // True once the store found its file damaged (by a statement, or by the check that
    // runs after it opened): the journal then starts afresh at its next chance.
    virtual bool damaged() const { return false; }
    // Sets the damaged file aside under its date, starts a fresh one with a new epoch and
    // these alarms in their states; report says what was done, for the journal and the
    // operator. False (report says why) when no fresh file could be started.
    virtual bool startAfresh(const std::vector<Alarm>& alarms, std::string& report) {
        (void)alarms;
        report = "this journal cannot start afresh";
        return false;
    }
    virtual void setRetention(const Retention& retention) { (void)retention; }
    // Writes the stage's sums and adds points to its series, in one transaction; false when
    // it could not be written. A store without stages keeps none.
    virtual bool saveStage(const SavedStage& stage) {
        (void)stage;
        return false;
    }
    // The stage started last, with its whole series; none when the file has no stage.
    virtual std::optional<SavedStage> newestStage() { return std::nullopt; }
};

// The store in use (none: events are counted but kept nowhere).
void SetStore(Store* store);
Store* CurrentStore();

// Where messages for the operator go. Messages raised before a sink is installed wait for
// it; each is delivered from the loop, never from inside the caller of Record.
void SetNoticeSink(std::function<void(const std::string&)> sink);
void Notice(const std::string& text);

// Records one event. A write failure is shown once; the station carries on. A file the
// store found damaged is set aside and a fresh one started first (shown once each time).
void Record(int pump, Kind kind, const std::string& text);

// Events written since the start of the run: a reader polls this before it asks the store.
std::uint64_t WrittenCount();
// Called after each event the store took, inside Record: a reader that sends events on
// (remote monitoring) posts its work on the loop from here rather than waiting for its tick.
void SetWrittenListener(std::function<void()> listener);

// The journal's housekeeping, once a second from the loop: a damaged file found by the
// store's own check is set aside, and the minute reports of chattering alarms are written.
void Maintain();
// The retention policy, passed to the store in use.
void SetRetention(const Retention& retention);

// ---- alarms ----
// "Active, unacknowledged" and so on; "" for Normal.
const char* AlarmStateText(AlarmState state);

// An alarm condition came on or went off: the event is recorded (text, or "<name>" when
// text is empty; on clearing clearedText or "<name> cleared") and the alarm moves through
// its states.
// Repeats of the same state record nothing. A condition that chatters (more than
// kChatterLimit changes within kChatterWindowMs) has its further changes counted instead
// of recorded: its state still follows each change at once, and one event a minute
// ("<name> chattering: N changes in the last minute, now set/clear") records them with the
// alarm's state, until a minute with fewer than kCalmLimit changes ends it.
inline constexpr int kChatterLimit = 10;
inline constexpr std::int64_t kChatterWindowMs = 60000;
inline constexpr int kCalmLimit = 3;
inline constexpr std::int64_t kChatterSaveMs = 1000;
void SetAlarm(int pump, Kind kind, const std::string& name, const std::string& text = {});
void ClearAlarm(int pump, Kind kind, const std::string& name, const char* clearedText = nullptr);
AlarmState StateOf(int pump, Kind kind, const std::string& name);
// The alarms awaiting acknowledgement, newest first.
std::vector<Alarm> UnacknowledgedAlarms();
int UnacknowledgedCount();
// Every alarm not Normal (active, or cleared and awaiting acknowledgement), newest first.
std::vector<Alarm> CurrentAlarms();
bool Unacknowledged(const Alarm& alarm);
// Acknowledges one alarm (false when it awaited none); each acknowledgement is recorded.
bool Acknowledge(int pump, Kind kind, const std::string& name);
int AcknowledgeAll();

// Called after every change of the alarms or the journal (the bank windows' count, an
// open journal window).
void SetChangeListener(std::function<void()> listener);

// ---- texts ----
// "YYYY-MM-DD HH:MM:SS.mmm", local time.
std::string FormatTime(std::int64_t timeMs);
// "YYYY-MM-DDTHH:MM:SS.mmmZ" (ISO 8601, UTC).
std::string FormatUtcTime(std::int64_t timeMs);
// "1".."24", or "" for the station.
std::string PumpText(int pump);
// A CSV field: quoted when it holds a separator, a quote or a line break. A text that begins
// as a spreadsheet formula would begin (= + - @, or a tab or CR before one) and is no plain
// number gets a leading apostrophe, so that opening the file shows it rather than runs it.
std::string CsvField(const std::string& text);
// The rows as CSV: a header and one line per event, CR LF line ends, numbers in the "C"
// form. Each row carries the alarm state when it is an unacknowledged alarm's.
struct CsvRow {
    Event event;
    std::string state;
};
std::string ToCsv(const std::vector<CsvRow>& rows);

// Forgets the sinks, the listener and the pending notices; the store stays, and the alarms
// are taken up again as the store kept them (start of a run, tests). An alarm taken up as
// active stays so until what raised it is seen again, set or clear.
void Reset();
// Registers the platform's module states (the journal's) for ResetAllStates.
void RegisterPlatformStates();

}  // namespace journal
