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

// A trip's line names the pressure it tripped at and its cause; one that came while the
// station could not hear the pump says it was found at first contact, not that it tripped then.
TEST_F(JournalStation, ATripSaysItsPressureAndCauseOrThatItWasFoundAtFirstContact) {
    start();
    for (int p : {4, 6, 7}) fleet->unit(p).setSpeedSetpoint(1200);
    loop.advance(5.0);
    fleet->unit(4).trip();
    fleet->unit(6).trip(0x0010);
    serial.unplug(PumpFleetHarness::portOf(7));
    loop.advance(0.5);
    fleet->unit(7).trip(0x0004);
    serial.replug(PumpFleetHarness::portOf(7));
    loop.advance(4.0);
    const auto psi = [this](int p) {
        return std::to_string(fleet->unit(p).lastTripPsi()) + " psi";
    };
    EXPECT_EQ(store.countOf(Kind::Trip, 4, "Tripped at " + psi(4) + ": overpressure"), 1);
    EXPECT_EQ(store.countOf(Kind::Trip, 6, "Tripped at " + psi(6) + ": COM Timeout Trip"), 1);
    EXPECT_EQ(store.countOf(Kind::Trip, 7,
                            "Tripped: found tripped at first contact (last trip pressure " +
                                psi(7) + "): Lube Oil Under Pressure Trip"),
              1);
    EXPECT_EQ(store.countOf(Kind::Trip, 7, "Lube Oil Under Pressure Trip, found at first contact"),
              1);
    EXPECT_EQ(store.countOf(Kind::Trip, 6, "found"), 0);
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

    // Cleared, the alarm goes out at the time it came on; its text says when it cleared.
    loop.advance(2.0);
    fleet->unit(5).resetAlarms();
    loop.advance(1.0);
    const journal::Alarm a = JournalRows()[1].alarm;
    ASSERT_EQ(a.state, journal::AlarmState::ClearedUnacknowledged);
    const std::string cleared = JournalCsv(JournalRows());
    EXPECT_NE(cleared.find("\r\n" + std::to_string(a.raisedMs) + "," +
                           journal::FormatTime(a.raisedMs) + ",6,Trip,Tripped (cleared "),
              std::string::npos)
        << cleared;
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
