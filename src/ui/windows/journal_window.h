// The event journal window ("journal.uir" window 1, titled "Event Journal"): the pump and
// kind filters, a page of rows (time, pump, kind, event) with the alarms not yet normal on
// top, and touch-sized buttons to acknowledge, page, export and close. And the alarm strip
// (window 2): one line above every window that names the alarm a covering window hides.
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

enum AlarmStripCtrl {
    ALARM_STRIP = 2,       // resource id of the window; a tap on it: TapAlarmStrip
    ALARM_STRIP_TEXT = 2,  // "Pump 1A TRIPPED 10050 psi"
};
// Finger-sized, and narrow enough to leave a bank's menus and STOP column clear.
inline constexpr int kAlarmStripWidth = 440;
inline constexpr int kAlarmStripHeight = 52;

inline constexpr int kJournalRows = 12;
inline constexpr int kJournalColumns = 4;  // time, pump, kind, event
inline constexpr int kJournalFilterAll = -2;

constexpr int JournalCell(int row, int column) {
    return JOURNAL_ROW_FIRST + row * kJournalColumns + column;
}

void BuildJournalWindow(int panel);
void BuildAlarmStrip(int panel);

}  // namespace windows
