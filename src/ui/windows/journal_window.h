// The event journal window ("journal.uir" window 1, titled "Event Journal"): the pump and
// kind filters, a page of rows (time, pump, kind, event) with the unacknowledged alarms on
// top, and touch-sized buttons to acknowledge, page, export and close.
#pragma once

#include <string>

namespace windows {

inline const std::string kJournalUir = "journal.uir";

enum JournalCtrl {
    JOURNAL_WINDOW = 1,            // resource id of the window
    JOURNAL_PUMP_FILTER = 2,       // ring: all pumps (-2), the station (-1), pump 1-24 (0-23)
    JOURNAL_KIND_FILTER = 3,       // ring: all kinds (-1) or one kind
    JOURNAL_ALARM_COUNT = 4,       // "n unacknowledged alarms"
    JOURNAL_ACKNOWLEDGE = 5,       // AcknowledgeJournalAlarm
    JOURNAL_ACKNOWLEDGE_ALL = 6,   // AcknowledgeAllJournalAlarms
    JOURNAL_NEWER = 7,             // JournalNewer
    JOURNAL_OLDER = 8,             // JournalOlder
    JOURNAL_EXPORT = 9,            // ExportJournal
    JOURNAL_CLOSE = 10,            // CloseJournal
    JOURNAL_ROW_FIRST = 100,       // row r, column c: JOURNAL_ROW_FIRST + r * kJournalColumns + c
};

inline constexpr int kJournalRows = 12;
inline constexpr int kJournalColumns = 4;  // time, pump, kind, event
inline constexpr int kJournalFilterAll = -2;

constexpr int JournalCell(int row, int column) {
    return JOURNAL_ROW_FIRST + row * kJournalColumns + column;
}

void BuildJournalWindow(int panel);

}  // namespace windows
