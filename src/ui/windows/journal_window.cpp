#include "ui/windows/journal_window.h"

#include "platform/journal.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {
// Narrower than the screen: with its frame it still fits on a 1024-pixel screen.
constexpr int kWidth = 1000;
constexpr int kHeight = 712;
constexpr int kRowTop = 92;
constexpr int kRowPitch = 44;
constexpr int kButtonTop = kRowTop + kJournalRows * kRowPitch + 8;
constexpr int kButtonHeight = 64;
struct Column {
    int left;
    int width;
};
// The kind's column takes its longest word ("Acknowledge") whole.
constexpr Column kColumns[kJournalColumns] = {{12, 262}, {278, 56}, {338, 140}, {482, 506}};
}  // namespace

void BuildJournalWindow(int panel) {
    SizePanel(panel, kWidth, kHeight, kNormalBack, "Event Journal");

    ui::AddCtrl(panel, JOURNAL_PUMP_FILTER, ui::CTRL_RING, "Pump", 26, 12, 180, 40);
    ui::InsertListItem(panel, JOURNAL_PUMP_FILTER, -1, "All pumps", kJournalFilterAll);
    ui::InsertListItem(panel, JOURNAL_PUMP_FILTER, -1, "Station", journal::kNoPump);
    for (int p = 0; p < 24; ++p)
        ui::InsertListItem(panel, JOURNAL_PUMP_FILTER, -1, PumpChoiceName(p), p);
    ui::AddCtrl(panel, JOURNAL_KIND_FILTER, ui::CTRL_RING, "Kind", 26, 206, 200, 40);
    ui::InsertListItem(panel, JOURNAL_KIND_FILTER, -1, "All kinds", -1);
    for (int k = 0; k < journal::kKindCount; ++k)
        ui::InsertListItem(panel, JOURNAL_KIND_FILTER, -1,
                           journal::KindName(static_cast<journal::Kind>(k)), k);
    Attach(panel, JOURNAL_PUMP_FILTER, "FilterJournal");
    Attach(panel, JOURNAL_KIND_FILTER, "FilterJournal");
    ui::Control& count = AddCaption(panel, JOURNAL_ALARM_COUNT, "", 34, 430, 360, 24);
    count.textColor = ui::VAL_WHITE;

    const char* headings[kJournalColumns] = {"Time", "Pump", "Kind", "Event"};
    for (int c = 0; c < kJournalColumns; ++c)
        AddCaption(panel, 20 + c, headings[c], kRowTop - 20, kColumns[c].left, kColumns[c].width, 18);
    for (int r = 0; r < kJournalRows; ++r)
        for (int c = 0; c < kJournalColumns; ++c) {
            ui::Control& cell = ui::AddCtrl(panel, JournalCell(r, c), ui::CTRL_STRING, "",
                                            kRowTop + r * kRowPitch, kColumns[c].left,
                                            kColumns[c].width, kRowPitch - 4);
            cell.mode = ui::MODE_INDICATOR;
            Attach(panel, JournalCell(r, c), "SelectJournalRow");
        }

    AddButton(panel, JOURNAL_ACKNOWLEDGE, "Acknowledge", kButtonTop, 12, 180, kButtonHeight,
              "AcknowledgeJournalAlarm");
    AddButton(panel, JOURNAL_ACKNOWLEDGE_ALL, "Acknowledge All", kButtonTop, 204, 180,
              kButtonHeight, "AcknowledgeAllJournalAlarms");
    AddButton(panel, JOURNAL_NEWER, "Newer", kButtonTop, 420, 130, kButtonHeight, "JournalNewer");
    AddButton(panel, JOURNAL_OLDER, "Older", kButtonTop, 562, 130, kButtonHeight, "JournalOlder");
    AddButton(panel, JOURNAL_EXPORT, "Export", kButtonTop, 716, 130, kButtonHeight, "ExportJournal");
    AddButton(panel, JOURNAL_CLOSE, "Close", kButtonTop, 858, 130, kButtonHeight, "CloseJournal");
}

void BuildAlarmStrip(int panel) {
    SizePanel(panel, kAlarmStripWidth, kAlarmStripHeight, ui::VAL_RED, "Alarm");
    ui::SetPanelAttribute(panel, ui::ATTR_TOPMOST, 1);
    ui::Control& text = AddCaption(panel, ALARM_STRIP_TEXT, "", 4, 10, kAlarmStripWidth - 20,
                                   kAlarmStripHeight - 8);
    text.textColor = ui::VAL_WHITE;
    AttachPanel(panel, "TapAlarmStrip");
}

}  // namespace windows
