// The journal of a running station against simulated pumps: each source writes its event
// once, the bank windows count the unacknowledged alarms, and the journal window shows
// them on top in red and acknowledges them.
#include <gtest/gtest.h>

#include "operation/journal_view.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "platform/version.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/journal_window.h"

using namespace operation;

namespace {

using journal::Kind;
using journal::kNoPump;

class JournalStation : public JournaledStationFleet {
  protected:
    std::string alarmButton() const {
        return ui::GetCtrlAttributeText(BankPanel[1], windows::BANK_ALARMS, ui::ATTR_LABEL_TEXT);
    }
};

TEST_F(JournalStation, EachSourceWritesItsEventOnce) {
    start();
    const std::string startUp = std::string("Start-up, version ") + platform::ProgramVersion();
    EXPECT_EQ(store.countOf(Kind::Station, kNoPump, startUp), 1);
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(store.countOf(Kind::Link, p, "On line"), 1);
    EXPECT_EQ(store.countOf(Kind::Port, kNoPump, "COM7 opened"), 1);

    fleet->unit(3).trip();
    ui::Press(BankPanel[0], BankRow[2][windows::kPosStop]);
    breakLoop();
    loop.advance(3.0);  // many data records and E-stop ticks
    EXPECT_EQ(store.countOf(Kind::Trip, 3, "Tripped"), 1);
    EXPECT_EQ(store.countOf(Kind::Command, 2, "STOP"), 1);
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop loop broken"), 1);
    ui::Press(BankPanel[0], BankRow[1][windows::kPosStepUpSmall]);
    EXPECT_EQ(store.countOf(Kind::Command, 1, "Speed up (small step) refused: E-stop"), 1);

    closeLoop();
    fleet->unit(3).resetAlarms();
    loop.advance(3.0);
    EXPECT_EQ(store.countOf(Kind::Trip, 3, "Tripped cleared"), 1);
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop loop restored"), 1);
    EXPECT_EQ(store.countOf(Kind::Command, kNoPump, ""), 0) << "nothing else taken for a command";
}

// An alarm stays in sight until it is normal: the bank button counts every alarm not yet
// normal, red while one awaits acknowledgement and amber once all are acknowledged; each
// bank's name counts its own; the journal window lists them by bank, each with its state and
// the times it came on and cleared.
TEST_F(JournalStation, AlarmsStayInSightByBankUntilNormal) {
    start();
    EXPECT_EQ(alarmButton(), "No Alarms");
    fleet->unit(5).trip();  // pump 6, 3B, on "Pumps 1-8"
    loop.advance(1.0);
    fleet->unit(9).setFault(0x0100);  // pump 10, 5B, on "Pumps 9-16"
    fleet->unit(1).trip();
    loop.advance(1.0);
    fleet->unit(1).resetAlarms();  // cleared before anyone looked
    loop.advance(2.0);
    EXPECT_EQ(alarmButton(), "3 Alarms");
    const auto back = [](int bank) {
        return ui::GetCtrlAttributeInt(BankPanel[bank], windows::BANK_ALARMS, ui::ATTR_TEXT_BGCOLOR);
    };
    EXPECT_EQ(back(2), ui::VAL_RED);
    EXPECT_EQ(ui::GetCtrlText(BankPanel[0], windows::BANK_TITLE), "Pumps 1-8: 2 alarms");
    EXPECT_EQ(ui::GetPanelTitle(BankPanel[1]), "Pumps 9-16 - Varnock - 1 alarm");
    EXPECT_EQ(ui::GetCtrlText(BankPanel[2], windows::BANK_TITLE), "Pumps 17-24");

    ui::Press(BankPanel[1], windows::BANK_ALARMS);
    const int panel = JournalPanel();
    ASSERT_NE(panel, 0);
    const auto cell = [panel](int row, int column) {
        return ui::GetCtrlText(panel, windows::JournalCell(row, column));
    };
    const std::vector<std::string> shown = {cell(0, 0), cell(1, 3), cell(2, 3), cell(3, 0),
                                            cell(4, 3)};
    EXPECT_EQ(shown[0], "Pumps 1-8: 2 alarms");
    EXPECT_EQ(shown[1], "Tripped (active, unacknowledged)");
    EXPECT_EQ(shown[2].rfind("Tripped (cleared ", 0), 0u) << shown[2];
    EXPECT_EQ(shown[3], "Pumps 9-16: 1 alarm");
    EXPECT_EQ(shown[4], "VFD fault (active, unacknowledged)");
    const journal::Alarm cleared = JournalRows()[2].alarm;
    EXPECT_EQ(cell(2, 0), journal::FormatTime(cleared.raisedMs)) << "when it came on";
    EXPECT_NE(shown[2].find(journal::FormatTime(cleared.timeMs).substr(11, 8)), std::string::npos)
        << "and when it cleared";
    EXPECT_FALSE(JournalRows()[5].isAlarm);
    const auto greyed = [panel](int id) { return ui::FindCtrl(panel, id)->dimmed; };
    EXPECT_TRUE(greyed(windows::JOURNAL_ACKNOWLEDGE)) << "nothing chosen to acknowledge";
    ui::DispatchCtrlEvent(panel, windows::JournalCell(0, 2), ui::EVENT_LEFT_CLICK);
    EXPECT_TRUE(greyed(windows::JOURNAL_ACKNOWLEDGE)) << "a heading is not an alarm";

    // Acknowledged, the cleared trip goes and the active one stays listed, in amber.
    ui::DispatchCtrlEvent(panel, windows::JournalCell(2, 2), ui::EVENT_LEFT_CLICK);
    ui::Press(panel, windows::JOURNAL_ACKNOWLEDGE);
    EXPECT_EQ(cell(0, 0), "Pumps 1-8: 1 alarm");
    ui::DispatchCtrlEvent(panel, windows::JournalCell(1, 2), ui::EVENT_LEFT_CLICK);
    ui::Press(panel, windows::JOURNAL_ACKNOWLEDGE);
    EXPECT_EQ(journal::StateOf(5, Kind::Trip, "Tripped"), journal::AlarmState::ActiveAcknowledged);
    EXPECT_EQ(store.countOf(Kind::Acknowledge, 5, "Tripped"), 1);
    EXPECT_EQ(cell(1, 3), "Tripped (active, acknowledged)");
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, windows::JournalCell(1, 3), ui::ATTR_TEXT_BGCOLOR),
              0xFFB000);
    EXPECT_EQ(alarmButton(), "2 Alarms");
    EXPECT_EQ(back(0), ui::VAL_RED) << "the fault awaits acknowledgement";

    ui::Press(panel, windows::JOURNAL_ACKNOWLEDGE_ALL);
    EXPECT_EQ(journal::UnacknowledgedCount(), 0);
    EXPECT_TRUE(greyed(windows::JOURNAL_ACKNOWLEDGE_ALL));
    EXPECT_EQ(alarmButton(), "2 Alarms") << "acknowledged, still active";
    EXPECT_EQ(back(1), 0xFFB000);
    EXPECT_EQ(ui::GetCtrlText(panel, windows::JOURNAL_ALARM_COUNT), "2 alarms, all acknowledged");
    fleet->unit(5).resetAlarms();
    fleet->unit(9).setFault(0);
    loop.advance(2.0);
    EXPECT_EQ(alarmButton(), "No Alarms");
    EXPECT_EQ(back(0), ui::VAL_LT_GRAY);
    EXPECT_FALSE(JournalRows()[0].isAlarm || !JournalRows()[0].heading.empty());
}

// On screen a pump goes by its unit label, as on its bank row; the export, which people and
// programs read, keeps the pump's number in its Pump column.
TEST_F(JournalStation, PumpsGoByTheirUnitOnScreenAndByNumberInTheExport) {
    start();
    fleet->unit(5).trip();  // pump 6, unit 3B
    loop.advance(1.0);
    ShowJournalWindow();
    const int panel = JournalPanel();
    ASSERT_NE(panel, 0);
    ASSERT_TRUE(JournalRows()[1].isAlarm);
    EXPECT_EQ(ui::GetCtrlText(panel, windows::JournalCell(1, 1)), "3B");
    const ui::Control* filter = ui::FindCtrl(panel, windows::JOURNAL_PUMP_FILTER);
    EXPECT_EQ(filter->items.at(2 + 5).label, "Pump 3B (6)");
    EXPECT_EQ(filter->items.at(2 + 23).label, "Pump 12B (24)");
    const std::string csv = JournalCsv(JournalRows());
    EXPECT_EQ(csv.rfind("Time (ms),Date and Time,Pump,Kind,Event,Alarm State\r\n", 0), 0u);
    EXPECT_NE(csv.find(",6,Trip,Tripped,"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("3B"), std::string::npos);
}

TEST_F(JournalStation, OlderAndNewerPageThroughTheJournalWithoutLosingARow) {
    start();
    ShowJournalWindow();
    const int panel = JournalPanel();
    std::vector<std::int64_t> seen;
    for (int page = 0; page < 100 && !ui::FindCtrl(panel, windows::JOURNAL_OLDER)->dimmed; ++page) {
        for (const JournalRow& r : JournalRows()) seen.push_back(r.event.id);
        ui::Press(panel, windows::JOURNAL_OLDER);
    }
    for (const JournalRow& r : JournalRows()) seen.push_back(r.event.id);
    ASSERT_EQ(seen.size(), store.events.size());
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], store.events.rbegin()[i].id);
    ui::Press(panel, windows::JOURNAL_NEWER);
    EXPECT_FALSE(ui::FindCtrl(panel, windows::JOURNAL_OLDER)->dimmed);
}

}  // namespace
