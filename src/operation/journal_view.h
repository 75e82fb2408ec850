// The journal on screen: the journal window (a page of rows, newest first, with the alarms
// not yet normal on top, grouped by bank, each with its state and the times it came on and
// cleared; filters by pump and kind; acknowledgement; export of every row the filters
// select to CSV) and the alarm button of the bank windows, which opens the window.
#pragma once

#include <string>
#include <vector>

#include "platform/journal.h"

namespace operation {

// A row of the window: an alarm not yet normal, the heading of a bank's alarms ("Pumps
// 9-16: 2 alarms"), or an event of the journal.
struct JournalRow {
    bool isAlarm = false;
    journal::Alarm alarm;
    journal::Event event;
    std::string heading;
    bool operator==(const JournalRow&) const = default;
};

// Listens to the journal (the window and the count follow it, a little later, from the
// loop) and shows its messages in a popup.
void InstallJournalView();
void ShowJournalWindow();
int JournalPanel();
void CloseJournalWindow();
// The rows the window shows now.
const std::vector<JournalRow>& JournalRows();
// The rows as the export writes them (headings left out).
std::string JournalCsv(const std::vector<JournalRow>& rows);
// An export under way writes this many events per turn of the loop.
inline constexpr int kExportBatch = 2000;

int ShowJournal(int panel, int control, int event, void* data, int e1, int e2);
int SelectJournalRow(int panel, int control, int event, void* data, int e1, int e2);
int FilterJournal(int panel, int control, int event, void* data, int e1, int e2);
int AcknowledgeJournalAlarm(int panel, int control, int event, void* data, int e1, int e2);
int AcknowledgeAllJournalAlarms(int panel, int control, int event, void* data, int e1, int e2);
int JournalNewer(int panel, int control, int event, void* data, int e1, int e2);
int JournalOlder(int panel, int control, int event, void* data, int e1, int e2);
int ExportJournal(int panel, int control, int event, void* data, int e1, int e2);
int CloseJournal(int panel, int control, int event, void* data, int e1, int e2);
void BindJournalCallbacks();
void ResetJournalView();

}  // namespace operation
