#include "operation/journal_view.h"

#include <algorithm>
#include <cstdint>
#include <tuple>

#include "operation/alarm_annunciation.h"
#include "operation/display_ids.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/module_state.h"
#include "platform/program_dir.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using namespace windows;

// The journal changes in bursts (a fleet coming on line): the screen follows once the
// burst is over, not once per event.
constexpr double kFollowDelay = 0.25;

constexpr int kActiveBack = ui::VAL_RED;
constexpr int kAcknowledgedBack = 0xFFB000;  // amber: active, acknowledged
constexpr int kClearedBack = 0xFFD0D0;
constexpr int kSelectedBack = 0xC8D4F0;
constexpr int kSelectedAlarmBack = 0x900000;

// An export under way: the events it has still to write lie below `before`.
struct Export {
    int handle = -1;
    std::string path;
    journal::Filter filter;
    int alarms = 0;
    int events = 0;
    bool operator==(const Export&) const = default;
};

struct ViewState {
    int panel = 0;
    int page = 0;
    // The id below which page p's events start (0: the newest).
    std::vector<std::int64_t> cursors{0};
    bool more = false;
    std::vector<JournalRow> rows;
    int selected = -1;
    bool followPending = false;
    Export exporting;
    bool operator==(const ViewState&) const = default;
};
ViewState g;
// Counts resets: a follow-up posted before a reset finds a newer count and does nothing.
unsigned g_generation = 0;

journal::Filter currentFilter() {
    journal::Filter f;
    if (g.panel == 0) return f;
    f.pump = ui::GetCtrlInt(g.panel, JOURNAL_PUMP_FILTER);
    const int kind = ui::GetCtrlInt(g.panel, JOURNAL_KIND_FILTER);
    if (kind >= 0 && kind < journal::kKindCount) f.kind = static_cast<journal::Kind>(kind);
    return f;
}

bool matches(const journal::Filter& f, int pump, journal::Kind kind) {
    return (f.pump == journal::Filter::kAnyPump || f.pump == pump) && (!f.kind || *f.kind == kind);
}

bool sameRow(const JournalRow& a, const JournalRow& b) {
    if (a.isAlarm != b.isAlarm || a.heading != b.heading) return false;
    if (a.isAlarm)
        return a.alarm.pump == b.alarm.pump && a.alarm.kind == b.alarm.kind &&
               a.alarm.name == b.alarm.name;
    return a.event.id == b.event.id;
}

// -1 for the station's own alarms, else the bank of the pump.
int groupOf(const journal::Alarm& a) {
    return a.pump >= 0 && a.pump < kPumpCount ? BankOf(a.pump) : -1;
}

// What comes first in a bank: active and unacknowledged, then cleared and unacknowledged,
// then active and acknowledged.
int rankOf(const journal::Alarm& a) {
    return a.state == journal::AlarmState::ActiveUnacknowledged    ? 0
           : a.state == journal::AlarmState::ClearedUnacknowledged ? 1
                                                                   : 2;
}

// The alarms the filter selects, by bank (the station's first), each bank under its heading;
// in a bank by rank, the newest first.
std::vector<JournalRow> alarmRows(const journal::Filter& filter) {
    std::vector<journal::Alarm> alarms;
    for (const journal::Alarm& a : journal::CurrentAlarms())
        if (matches(filter, a.pump, a.kind)) alarms.push_back(a);
    std::stable_sort(alarms.begin(), alarms.end(), [](const auto& x, const auto& y) {
        return std::make_tuple(groupOf(x), rankOf(x), -x.raisedMs) <
               std::make_tuple(groupOf(y), rankOf(y), -y.raisedMs);
    });
    std::vector<JournalRow> rows;
    for (std::size_t i = 0; i < alarms.size(); ++i) {
        const int group = groupOf(alarms[i]);
        if (i == 0 || groupOf(alarms[i - 1]) != group) {
            const auto n = std::count_if(alarms.begin(), alarms.end(),
                                         [group](const auto& a) { return groupOf(a) == group; });
            JournalRow h;
            h.heading = (group < 0 ? std::string("Station") : BankName(group)) + ": " +
                        std::to_string(n) + (n == 1 ? " alarm" : " alarms");
            rows.push_back(std::move(h));
        }
        JournalRow r;
        r.isAlarm = true;
        r.alarm = alarms[i];
        rows.push_back(std::move(r));
    }
    return rows;
}

void load() {
    const journal::Filter filter = currentFilter();
    const std::vector<JournalRow> alarms = alarmRows(filter);
    const std::size_t first = static_cast<std::size_t>(g.page) * kJournalRows;
    std::vector<JournalRow> rows;
    for (std::size_t i = first; i < alarms.size() && rows.size() < kJournalRows; ++i)
        rows.push_back(alarms[i]);
    const int need = kJournalRows - static_cast<int>(rows.size());
    std::vector<journal::Event> events;
    if (journal::Store* store = journal::CurrentStore()) {
        journal::Filter f = filter;
        f.beforeId = g.cursors[static_cast<std::size_t>(g.page)];
        events = store->newest(f, need + 1);
    }
    g.more = static_cast<int>(events.size()) > need || first + kJournalRows < alarms.size();
    if (static_cast<int>(events.size()) > need) events.resize(static_cast<std::size_t>(need));
    for (journal::Event& e : events) {
        JournalRow r;
        r.event = std::move(e);
        rows.push_back(std::move(r));
    }
    g.cursors.resize(static_cast<std::size_t>(g.page) + 1);
    g.cursors.push_back(events.empty() ? g.cursors.back() : events.back().id);
    // The selection stays on its row when the rows move.
    int selected = -1;
    if (g.selected >= 0 && g.selected < static_cast<int>(g.rows.size()))
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (sameRow(rows[i], g.rows[static_cast<std::size_t>(g.selected)]))
                selected = static_cast<int>(i);
    g.rows = std::move(rows);
    g.selected = selected;
}

// "Tripped (active, unacknowledged)", "Tripped (cleared 02:27:45, unacknowledged)".
std::string alarmText(const journal::Alarm& a) {
    switch (a.state) {
        case journal::AlarmState::ActiveUnacknowledged:
            return a.name + " (active, unacknowledged)";
        case journal::AlarmState::ActiveAcknowledged:
            return a.name + " (active, acknowledged)";
        case journal::AlarmState::ClearedUnacknowledged:
            return a.name + " (cleared " + journal::FormatTime(a.timeMs).substr(11, 8) +
                   ", unacknowledged)";
        case journal::AlarmState::Normal:
            break;
    }
    return a.name;
}

void paintRow(int row) {
    std::string texts[kJournalColumns];
    int text = ui::VAL_BLACK;
    int back = ui::VAL_WHITE;
    const bool selected = row == g.selected;
    if (row < static_cast<int>(g.rows.size())) {
        const JournalRow& r = g.rows[static_cast<std::size_t>(row)];
        if (!r.heading.empty()) {
            texts[0] = r.heading;
            text = ui::VAL_YELLOW;
            back = kNormalBack;
        } else if (r.isAlarm) {
            const journal::AlarmState s = r.alarm.state;
            texts[0] =
                journal::FormatTime(r.alarm.raisedMs != 0 ? r.alarm.raisedMs : r.alarm.timeMs);
            texts[1] = UnitLabel(r.alarm.pump);
            texts[2] = journal::KindName(r.alarm.kind);
            texts[3] = alarmText(r.alarm);
            text = selected || s == journal::AlarmState::ActiveUnacknowledged ? ui::VAL_WHITE
                   : s == journal::AlarmState::ClearedUnacknowledged          ? ui::VAL_RED
                                                                              : ui::VAL_BLACK;
            back = selected                                         ? kSelectedAlarmBack
                   : s == journal::AlarmState::ActiveUnacknowledged ? kActiveBack
                   : s == journal::AlarmState::ActiveAcknowledged   ? kAcknowledgedBack
                                                                    : kClearedBack;
        } else {
            texts[0] = journal::FormatTime(r.event.timeMs);
            texts[1] = UnitLabel(r.event.pump);
            texts[2] = journal::KindName(r.event.kind);
            texts[3] = r.event.text;
            if (selected) back = kSelectedBack;
        }
    }
    for (int c = 0; c < kJournalColumns; ++c) {
        const int id = JournalCell(row, c);
        ui::SetCtrlVal(g.panel, id, texts[c]);
        ui::SetCtrlAttribute(g.panel, id, ui::ATTR_TEXT_COLOR, text);
        ui::SetCtrlAttribute(g.panel, id, ui::ATTR_TEXT_BGCOLOR, back);
    }
}

void dim(int control, bool dimmed) {
    ui::SetCtrlAttribute(g.panel, control, ui::ATTR_DIMMED, dimmed ? 1 : 0);
}

void paint() {
    if (g.panel == 0) return;
    for (int row = 0; row < kJournalRows; ++row) paintRow(row);
    const int unacknowledged = journal::UnacknowledgedCount();
    const int alarms = static_cast<int>(journal::CurrentAlarms().size());
    ui::SetCtrlVal(g.panel, JOURNAL_ALARM_COUNT,
                   alarms == 0 ? std::string("No alarms")
                               : std::to_string(alarms) + (alarms == 1 ? " alarm, " : " alarms, ") +
                                     (unacknowledged == 0
                                          ? std::string("all acknowledged")
                                          : std::to_string(unacknowledged) + " unacknowledged"));
    const bool alarmSelected =
        g.selected >= 0 && g.rows[static_cast<std::size_t>(g.selected)].isAlarm &&
        journal::Unacknowledged(g.rows[static_cast<std::size_t>(g.selected)].alarm);
    dim(JOURNAL_ACKNOWLEDGE, !alarmSelected);
    dim(JOURNAL_ACKNOWLEDGE_ALL, unacknowledged == 0);
    dim(JOURNAL_NEWER, g.page == 0);
    dim(JOURNAL_OLDER, !g.more);
    dim(JOURNAL_EXPORT, g.rows.empty() || g.exporting.handle >= 0);
}

void reload() {
    if (g.panel == 0) return;
    load();
    paint();
}

void toPage(int page) {
    g.page = std::max(page, 0);
    g.selected = -1;
    reload();
}

// After a change of the journal: the count now is cheap; the window follows from the loop.
void follow() {
    if (g.followPending) return;
    platform::EventLoop* loop = platform::currentLoop();
    if (loop == nullptr) return;
    g.followPending = true;
    loop->post(kFollowDelay, [generation = g_generation] {
        if (generation != g_generation) return;
        g.followPending = false;
        AnnounceAlarms();
        // Only the first page moves with the journal: an operator paging back keeps his rows.
        if (g.page == 0) reload();
    });
}

// Exports have a folder of their own: in the recordings folder a tap on a listed recording
// would offer to replace it, and the recorder's move would carry exports to the archive.
std::string exportDir() {
    return platform::MakePathname(platform::GetProjectDir(), "exports");
}

bool writeAll(int handle, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const long n = platform::fileSystem().write(handle, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The CSV lines of the rows, without the header.
std::string csvLines(const std::vector<JournalRow>& rows) {
    const std::string csv = JournalCsv(rows);
    return csv.substr(csv.find("\r\n") + 2);
}

void endExport(bool written) {
    Export e = g.exporting;
    g.exporting = {};
    const bool closed = platform::fileSystem().close(e.handle);
    if (g.panel != 0) paint();
    if (!written || !closed) {
        ui::MessagePopup("Export Journal", "The journal could not be written to " + e.path + ".");
        return;
    }
    const std::string events = std::to_string(e.events) + (e.events == 1 ? " event" : " events");
    ui::MessagePopup(
        "Export Journal",
        (e.alarms == 0 ? events
                       : std::to_string(e.alarms) +
                             (e.alarms == 1 ? " alarm and " : " alarms and ") + events) +
            " written to " + e.path + ".");
}

// One batch of the export's events, the newest first; the next batch waits for the loop's
// next turn, so that a journal of a million events never holds up the E-stop.
void exportBatch(unsigned generation) {
    if (generation != g_generation || g.exporting.handle < 0) return;
    std::vector<journal::Event> events;
    if (journal::Store* store = journal::CurrentStore())
        events = store->newest(g.exporting.filter, kExportBatch);
    std::vector<JournalRow> rows(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) rows[i].event = events[i];
    if (!events.empty() && !writeAll(g.exporting.handle, csvLines(rows))) return endExport(false);
    g.exporting.events += static_cast<int>(events.size());
    if (static_cast<int>(events.size()) < kExportBatch) return endExport(true);
    g.exporting.filter.beforeId = events.back().id;
    platform::EventLoop* loop = platform::currentLoop();
    if (loop == nullptr) return exportBatch(generation);
    loop->post(0.0, [generation] { exportBatch(generation); });
}

}  // namespace

void InstallJournalView() {
    journal::SetChangeListener(follow);
    journal::SetNoticeSink(
        [](const std::string& text) { ui::MessagePopup("Event Journal", text); });
}

void ShowJournalWindow() {
    if (g.panel == 0 || !ui::PanelExists(g.panel)) {
        const int handle = ui::LoadPanel(0, kJournalUir, JOURNAL_WINDOW);
        if (handle <= 0) return;
        g.panel = handle;
        g.cursors = {0};
    }
    g.page = 0;
    g.selected = -1;
    reload();
    ui::DisplayPanel(g.panel);
}

int JournalPanel() {
    return g.panel;
}

void CloseJournalWindow() {
    if (g.panel != 0 && ui::PanelExists(g.panel)) ui::DiscardPanel(g.panel);
    g.panel = 0;
    g.rows.clear();
    g.selected = -1;
}

const std::vector<JournalRow>& JournalRows() {
    return g.rows;
}

std::string JournalCsv(const std::vector<JournalRow>& rows) {
    std::vector<journal::CsvRow> out;
    for (const JournalRow& r : rows) {
        if (!r.heading.empty()) continue;
        if (r.isAlarm) {
            journal::Event e;
            e.timeMs = r.alarm.raisedMs != 0 ? r.alarm.raisedMs : r.alarm.timeMs;
            e.pump = r.alarm.pump;
            e.kind = r.alarm.kind;
            e.text = r.alarm.name;
            if (r.alarm.state == journal::AlarmState::ClearedUnacknowledged)
                e.text += " (cleared " + journal::FormatTime(r.alarm.timeMs) + ")";
            out.push_back({e, journal::AlarmStateText(r.alarm.state)});
        } else {
            out.push_back({r.event, ""});
        }
    }
    return journal::ToCsv(out);
}

int ShowJournal(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ShowJournalWindow();
    return 0;
}

int SelectJournalRow(int, int control, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK && event != ui::EVENT_COMMIT) return 0;
    const int row = (control - JOURNAL_ROW_FIRST) / kJournalColumns;
    if (row < 0 || row >= static_cast<int>(g.rows.size()) ||
        !g.rows[static_cast<std::size_t>(row)].heading.empty())
        return 0;
    g.selected = row == g.selected ? -1 : row;
    paint();
    return 0;
}

int FilterJournal(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) toPage(0);
    return 0;
}

int AcknowledgeJournalAlarm(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || g.selected < 0 ||
        g.selected >= static_cast<int>(g.rows.size()))
        return 0;
    const JournalRow& r = g.rows[static_cast<std::size_t>(g.selected)];
    if (!r.isAlarm) return 0;
    journal::Acknowledge(r.alarm.pump, r.alarm.kind, r.alarm.name);
    g.selected = -1;
    reload();
    AnnounceAlarms();
    return 0;
}

int AcknowledgeAllJournalAlarms(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    journal::AcknowledgeAll();
    toPage(0);
    AnnounceAlarms();
    return 0;
}

int JournalNewer(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT && g.page > 0) toPage(g.page - 1);
    return 0;
}

int JournalOlder(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT && g.more) toPage(g.page + 1);
    return 0;
}

// Every row the filters select, on every page: the alarms on top, then the events, newest
// first; the operator is told how many went to which file.
int ExportJournal(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || g.rows.empty() || g.exporting.handle >= 0) return 0;
    std::string path;
    platform::fileSystem().makeDir(exportDir());
    if (ui::FileSelectPopup(exportDir(), "*.csv", "Export Journal", true, path) != 1 ||
        path.empty())
        return 0;
    // The chooser takes any name; a file already there is overwritten only when the operator
    // says so.
    if (platform::fileSystem().exists(path) && !ui::ConfirmOverwritePopup()) return 0;
    Export e;
    e.filter = currentFilter();
    e.path = path;
    e.handle = platform::fileSystem().openWrite(path, false);
    if (e.handle < 0) {
        ui::MessagePopup("Export Journal", "The journal could not be written to " + path + ".");
        return 0;
    }
    std::vector<JournalRow> alarms = alarmRows(e.filter);
    e.alarms = static_cast<int>(
        std::count_if(alarms.begin(), alarms.end(), [](const JournalRow& r) { return r.isAlarm; }));
    g.exporting = e;
    paint();
    if (!writeAll(e.handle, JournalCsv(alarms)))
        endExport(false);
    else
        exportBatch(g_generation);
    return 0;
}

int CloseJournal(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) CloseJournalWindow();
    return 0;
}

void BindJournalCallbacks() {
    windows::BindCtrlCallback("ShowJournal", ShowJournal);
    windows::BindCtrlCallback("SelectJournalRow", SelectJournalRow);
    windows::BindCtrlCallback("FilterJournal", FilterJournal);
    windows::BindCtrlCallback("AcknowledgeJournalAlarm", AcknowledgeJournalAlarm);
    windows::BindCtrlCallback("AcknowledgeAllJournalAlarms", AcknowledgeAllJournalAlarms);
    windows::BindCtrlCallback("JournalNewer", JournalNewer);
    windows::BindCtrlCallback("JournalOlder", JournalOlder);
    windows::BindCtrlCallback("ExportJournal", ExportJournal);
    windows::BindCtrlCallback("CloseJournal", CloseJournal);
}

void ResetJournalView() {
    ++g_generation;
    if (g.exporting.handle >= 0) platform::fileSystem().close(g.exporting.handle);
    g = ViewState{};
}
VNK_MODULE_STATE_RESET(operation, journal_view, g, ResetJournalView)

}  // namespace operation
