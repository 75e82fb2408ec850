// The journal of a running station against simulated pumps: each source writes its event
// once, the bank windows count the unacknowledged alarms, and the journal window shows
// them on top in red and acknowledges them.
#include <gtest/gtest.h>

#include "operation/journal_view.h"
#include "operation/port_monitor.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "platform/version.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/serial_monitor.h"

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

    // Only a pump that was on line goes off line: pump 5 moved to a port where nothing
    // answers, then to none.
    ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, windows::MENU_COM_PORTS, BankPanel[0]);
    ASSERT_NE(SerialMonitorPanel(), 0);
    for (double port : {25.0, 0.0}) ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(4), port);
    EXPECT_EQ(store.countOf(Kind::Link, 4, "Off line"), 1);
    EXPECT_EQ(store.countOf(Kind::Link, 5, "Off line"), 0);
}

TEST_F(JournalStation, BankCountOpensTheWindowWhereAlarmsAreOnTopInRedAndAcknowledged) {
    start();
    EXPECT_EQ(alarmButton(), "No Alarms");
    fleet->unit(5).trip();
    loop.advance(1.0);
    fleet->unit(9).setFault(0x0100);
    loop.advance(1.0);
    EXPECT_EQ(alarmButton(), "2 Alarms");
    EXPECT_EQ(ui::GetCtrlAttributeInt(BankPanel[2], windows::BANK_ALARMS, ui::ATTR_TEXT_BGCOLOR),
              ui::VAL_RED);

    ui::Press(BankPanel[1], windows::BANK_ALARMS);
    const int panel = JournalPanel();
    ASSERT_NE(panel, 0);
    const std::vector<JournalRow>& rows = JournalRows();
    ASSERT_EQ(rows.size(), static_cast<size_t>(windows::kJournalRows));
    EXPECT_TRUE(rows[0].isAlarm && rows[1].isAlarm);
    EXPECT_FALSE(rows[2].isAlarm);
    EXPECT_EQ(rows[0].alarm.name, "VFD fault");  // the newest first
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, windows::JournalCell(1, 3), ui::ATTR_TEXT_BGCOLOR),
              ui::VAL_RED);
    EXPECT_GT(rows[2].event.id, rows[3].event.id);
    const auto greyed = [panel](int id) { return ui::FindCtrl(panel, id)->dimmed; };
    EXPECT_TRUE(greyed(windows::JOURNAL_ACKNOWLEDGE)) << "nothing chosen to acknowledge";
    EXPECT_TRUE(greyed(windows::JOURNAL_NEWER));

    // The operator picks the trip and acknowledges it; it stays active, no longer red.
    ui::DispatchCtrlEvent(panel, windows::JournalCell(1, 2), ui::EVENT_LEFT_CLICK);
    ui::Press(panel, windows::JOURNAL_ACKNOWLEDGE);
    EXPECT_EQ(journal::StateOf(5, Kind::Trip, "Tripped"), journal::AlarmState::ActiveAcknowledged);
    EXPECT_EQ(store.countOf(Kind::Acknowledge, 5, "Tripped"), 1);
    EXPECT_EQ(alarmButton(), "1 Alarm");
    EXPECT_EQ(JournalRows()[0].alarm.name, "VFD fault");
    EXPECT_FALSE(JournalRows()[1].isAlarm);

    // Filtered to pump 6, the fault leaves the page; Acknowledge All still takes it.
    ui::OperateIndex(panel, windows::JOURNAL_PUMP_FILTER, 2 + 5);
    for (const JournalRow& r : JournalRows()) EXPECT_EQ(r.isAlarm ? r.alarm.pump : r.event.pump, 5);
    ui::Press(panel, windows::JOURNAL_ACKNOWLEDGE_ALL);
    EXPECT_EQ(journal::UnacknowledgedCount(), 0);
    EXPECT_EQ(store.countOf(Kind::Acknowledge, 9, "VFD fault"), 1);
    EXPECT_TRUE(greyed(windows::JOURNAL_ACKNOWLEDGE_ALL));
    EXPECT_EQ(alarmButton(), "No Alarms");
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
    ASSERT_TRUE(JournalRows()[0].isAlarm);
    EXPECT_EQ(ui::GetCtrlText(panel, windows::JournalCell(0, 1)), "3B");
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
