// The station's protection against simulated pumps, in virtual time: the emergency stop and
// the manual idle (idle goes down, never up; it reaches every open port; a failed input is
// shown, never taken for a closed loop), pump groups, and trip points.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "link/operations.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "operation/pumpgroup.h"
#include "platform/journal.h"
#include "platform/trace.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "safety/trips.h"
#include "settings/config_record.h"
#include "shell/main_sequence.h"
#include "shell/msg.h"
#include "support/pump_fleet.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace shell;

namespace {

using Safety = StationFleet;

TEST_F(Safety, BrokenLoopIdlesOnTicksOneFourSevenTenAndNeverRaisesAPump) {
    start();
    fleet->unit(0).setSpeedSetpoint(1500);
    fleet->unit(1).setSpeedSetpoint(0);
    loop.advance(10.0);  // motors reach their speeds
    heard.clear();

    breakLoop();
    loop.advance(1.02);  // ten E-stop ticks
    closeLoop();
    loop.advance(1.0);  // what was queued arrives; no more rounds
    EXPECT_EQ(speedsTo(0), (std::vector<int>{kIdleRpm, kIdleRpm, kIdleRpm, kIdleRpm}));
    EXPECT_EQ(speedsTo(1), (std::vector<int>{0, 0, 0, 0}));
    for (int p = 3; p < kPumps; ++p) EXPECT_EQ(speedsTo(p).size(), 4u) << "pump " << p + 1;
    EXPECT_TRUE(estopWindowShown());
    EXPECT_EQ(EStopCount, 0);

    // Break, close, break: the window comes up again and the idle goes out at once.
    ui::HidePanel(EStopPanel);
    heard.clear();
    breakLoop();
    loop.advance(0.25);  // the first tick and the time on the line, not yet the fourth
    EXPECT_TRUE(estopWindowShown());
    EXPECT_EQ(speedsTo(5).size(), 1u);
}

TEST_F(Safety, EStopReachesAPumpThatHearsButCannotAnswer) {
    start();
    fleet->unit(6).setFailure({.silent = true});
    fleet->unit(6).setSpeedSetpoint(1500);
    loop.advance(16.0);  // off line, its queue full of connect polls
    ASSERT_EQ(PumpTable[6].Online, 0);
    heard.clear();
    breakLoop();
    loop.advance(ReplyTimeout + 0.5);
    ASSERT_FALSE(speedsTo(6).empty()) << "the idle waited behind the connect polls";
    // Its speed is unknown while it is silent: the idle never raises it, so it stops.
    EXPECT_EQ(speedsTo(6).front(), 0);
    EXPECT_EQ(fleet->unit(6).setpoint(), 0);
}

TEST_F(Safety, FailedInputIsShownOnceAndIdlesNothing) {
    system.parallelAvailable = false;
    start();
    EXPECT_EQ(popups.count("Parallel Port"), 0);  // shown at start-up, before the clear
    loop.advance(1.0);
    EXPECT_TRUE(estopWindowShown());
    EXPECT_EQ(ui::GetCtrlAttributeText(EStopPanel, windows::ESTOP_TEXT, ui::ATTR_LABEL_TEXT),
              "Emergency-stop input not available");
    EXPECT_EQ(ui::GetCtrlAttributeInt(BankPanel[1], windows::BANK_ESTOP_STATUS, ui::ATTR_VISIBLE),
              1);
    ui::HidePanel(EStopPanel);
    loop.advance(1.0);
    EXPECT_FALSE(estopWindowShown()) << "once per failure, not every tick";
    for (int p = 0; p < kPumps; ++p) EXPECT_TRUE(speedsTo(p).empty());

    // The input comes back (rewired to a parallel port that opens): the status line goes.
    system.parallelAvailable = true;
    ApplyEStopSettings(1, 0, 30);
    ApplyEStopSettings(1, 1, 30);
    loop.advance(0.2);
    EXPECT_EQ(ui::GetCtrlAttributeInt(BankPanel[1], windows::BANK_ESTOP_STATUS, ui::ATTR_VISIBLE),
              0);
}

// Someone watching a flickering loop needs each change, and the reason of a failed read; a
// line for each of the hundred samples a second would bury them.
TEST_F(Safety, EStopTraceHasALinePerChangeOfTheInputNotPerSample) {
    start();
    loop.advance(0.5);
    trace::setModules("estop");
    testing::internal::CaptureStderr();
    breakLoop();
    loop.advance(1.0);
    system.status = -1;  // the read fails while the E-stop holds
    loop.advance(1.0);
    breakLoop();
    loop.advance(1.0);
    closeLoop();
    loop.advance(1.0);
    std::istringstream out(testing::internal::GetCapturedStderr());
    trace::setModules("");
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        if (line.rfind("vnk estop", 0) == 0) lines.push_back(line);
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "vnk estop: parallel port: loop broken (status 0x00)",
                  "vnk estop: parallel port: input failed: read returned -1 (no reason given)",
                  "vnk estop: parallel port: loop broken (status 0x00)",
                  "vnk estop: parallel port: loop closed (status 0x10)",
              }));
}

TEST_F(Safety, EStopSerialPortCannotBeAPumpsPort) {
    storeDword("EStopParallelPort", 0);
    storeDword("EStopSerialPortNum", 3);
    writeConfig();
    ASSERT_TRUE(StartUp());
    EXPECT_EQ(popups.count("Port Open"), 1);
    EXPECT_TRUE(serial.isOpen(3));
    EXPECT_EQ(PumpTable[2].PortConfig.Mode, 1) << "pump 3 keeps its port";
}

TEST_F(Safety, ManualIdleRepeatsFiveTimesAndNeedsAnOpenPort) {
    start();
    fleet->unit(0).setSpeedSetpoint(1500);
    loop.advance(8.0);
    heard.clear();
    ui::SelectMenu(menuBar(), windows::MENU_IDLE_ALL, BankPanel[0]);
    ASSERT_NE(ConfirmDialogPanel(), 0);
    EXPECT_EQ(ui::GetPanelTitle(ConfirmDialogPanel()), "Shutdown");
    ui::Press(ConfirmDialogPanel(), windows::CONFIRM_YES);
    loop.advance(4.0);
    EXPECT_EQ(speedsTo(0), std::vector<int>(6, kIdleRpm));

    for (int p = 0; p < kPumps; ++p) PumpTable[p].PortConfig.Mode = 0;
    ShowConfirmDialog(BankPanel[0], "Shutdown", "Go to Idle / Neutral on all pumps?",
                      kConfirmIdleAll);
    ui::Press(ConfirmDialogPanel(), windows::CONFIRM_YES);
    EXPECT_EQ(
        ui::GetCtrlAttributeInt(BankPanel[0], windows::BANK_TMR_INSTANT_IDLE, ui::ATTR_ENABLED), 0);
}

TEST_F(Safety, GroupListsStayInStepWithTheSelectors) {
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[5] = 2;  // joins first in pump order after a start
    config.PumpGroup[1] = 2;
    config.PumpGroup[9] = 2;
    config.AutoSelected[9] = 1;  // a grouped pump is never under automatic control
    start(config);
    EXPECT_EQ(GroupMemberList(2), (std::vector<int>{1, 5, 9}));
    EXPECT_EQ(PumpTable[9].AutoSelected, 0);

    // Pump 6 moves from group 2 to group 7: the gap closes, it joins 7 once.
    const int selector = BankRow[5][windows::kPosGroup];
    ui::Operate(BankPanel[0], selector, 7);
    ui::Operate(BankPanel[0], selector, 7);
    EXPECT_EQ(GroupMemberList(2), (std::vector<int>{1, 9}));
    EXPECT_EQ(GroupMemberList(7), (std::vector<int>{5}));
    ui::Operate(BankPanel[0], selector, windows::kGroupNone);
    EXPECT_TRUE(GroupMemberList(7).empty());
    EXPECT_EQ(PumpTable[5].PumpGroup, kNoGroup);

    // Ticking "Auto" takes a pump out of its group and shows "No Group"; unticking only
    // clears the flag.
    ui::Operate(BankPanel[0], BankRow[1][windows::kPosAuto], 1);
    EXPECT_EQ(PumpTable[1].AutoSelected, 1);
    EXPECT_EQ(GroupMemberList(2), (std::vector<int>{9}));
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[1][windows::kPosGroup]), windows::kGroupNone);
    ui::Operate(BankPanel[0], BankRow[1][windows::kPosAuto], 0);
    EXPECT_EQ(PumpTable[1].AutoSelected, 0);
    EXPECT_EQ(PumpTable[1].PumpGroup, kNoGroup);

    AddToGroup(-5, 3);
    AddToGroup(24, 3);
    AddToGroup(4, 16);
    EXPECT_TRUE(GroupMemberList(3).empty());
    EXPECT_TRUE(GroupMemberList(16).empty());

    // A pump taken out of a full group leaves no member listed twice.
    std::vector<int> all;
    for (int pump = 0; pump < kPumpCount; ++pump) {
        AddToGroup(pump, 4);
        all.push_back(pump);
    }
    TakePumpOutOfGroup(5);
    all.erase(all.begin() + 5);
    EXPECT_EQ(GroupMemberList(4), all);
}

TEST_F(Safety, OneGroupPressIsOneCommandPerOnLineMember) {
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[1] = 3;
    config.PumpGroup[4] = 3;
    config.PumpGroup[7] = 3;
    start(config);
    fleet->unit(7).setFailure({.silent = true});
    loop.advance(16.0);  // pump 8 off line
    heard.clear();
    CurrentPump = 1;
    ui::Press(DetailPanel, windows::DETAIL_RESET_ALARMS);
    loop.advance(0.5);
    EXPECT_EQ(commandsTo(1, 0x35), 1);
    EXPECT_EQ(commandsTo(4, 0x35), 1);
    EXPECT_EQ(commandsTo(7, 0x35), 0);
    EXPECT_EQ(commandsTo(0, 0x35), 0);
    // An ungrouped pump's reset reaches it alone.
    CurrentPump = 0;
    ui::Press(DetailPanel, windows::DETAIL_RESET_ALARMS);
    loop.advance(0.5);
    EXPECT_EQ(commandsTo(0, 0x35), 1);
    EXPECT_EQ(commandsTo(1, 0x35), 1);
    // With the view closed nothing is sent.
    CurrentPump = kNoPump;
    ui::Press(DetailPanel, windows::DETAIL_OVERRIDE_START);
    loop.advance(0.5);
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(commandsTo(p, 0x36), 0);
}

TEST_F(Safety, TripPointsAreCheckedAndConvertedBeforeTheyGoOut) {
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[0] = 1;
    config.PumpGroup[2] = 1;
    start(config);
    auto tripOf = [this](int pump) { return fleet->unit(pump).tripPsi(); };
    const int other = tripOf(1);

    ui::Press(BankPanel[0], BankRow[0][windows::kPosSetTrip]);
    EXPECT_EQ(keypadCaption(), "Pump 1A trip point, 1 to 25000 PSI");
    keypadEnter("12000");
    loop.advance(1.0);
    EXPECT_EQ(tripOf(0), 12000);
    EXPECT_EQ(tripOf(2), 12000) << "the group follows";
    EXPECT_EQ(tripOf(1), other);

    KeypadValue = 0.6;  // below 1 psi: a controller would take it for 0, no trip at all
    TripValChanged(BankPanel[0], BankRow[1][windows::kPosTrip]);
    EXPECT_EQ(popups.count("Trip Point"), 1);

    ui::SelectMenu(menuBar(), windows::MENU_UNITS_METRIC, BankPanel[0]);
    ui::Press(BankPanel[0], BankRow[1][windows::kPosSetTrip]);
    EXPECT_EQ(keypadCaption(), "Pump 1B trip point, 0.01 to 172.36 MPa");
    keypadEnter("172.37");  // past 25000 psi: the keypad keeps it
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, windows::NUMPAD_DISPLAY), "0.01 to 172.36 MPa");
    keypadEnter("10");
    loop.advance(1.0);
    EXPECT_EQ(tripOf(1), 1450);  // 10 MPa
    // OK on the trip point as shown (62.05 MPa) sends the pump's own 9000 psi, not 8999.
    fleet->unit(1).setTripPsi(9000);
    loop.advance(2.0);
    ui::Press(BankPanel[0], BankRow[1][windows::kPosSetTrip]);
    keypadEnter("");
    loop.advance(1.0);
    EXPECT_EQ(tripOf(1), 9000);
    // 500 MPa (72518 psi) never reaches a controller, which keeps 16 bits of it: the field
    // stops the keypad at 172 MPa, and a value past it is refused all the same.
    EXPECT_LT(
        ui::GetCtrlAttributeDouble(BankPanel[0], BankRow[1][windows::kPosTrip], ui::ATTR_MAX_VALUE),
        173.0);
    KeypadValue = 500.0;
    TripValChanged(BankPanel[0], BankRow[1][windows::kPosTrip]);
    loop.advance(1.0);
    EXPECT_EQ(tripOf(1), 9000);
    EXPECT_EQ(popups.count("Trip Point"), 2);

    ui::SelectMenu(menuBar(), windows::MENU_ALL_TRIP_POINTS, BankPanel[0]);
    EXPECT_EQ(keypadCaption(), "All pumps trip point, 0.01 to 172.36 MPa");
    popups.answerConfirm(true);
    keypadEnter("100");
    EXPECT_EQ(popups.shown().back().text,
              "Set the trip point of 24 pumps on line to 100.00 MPa (14503 PSI)?");
    loop.advance(2.0);
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(tripOf(p), 14503) << "pump " << p + 1;
}

// The inline trip on the blender computer's pressure text: every piece of a read is looked
// at, a number is truncated before the comparison, and what is no number never trips.
TEST_F(Safety, InlineTripChecksEveryPieceOfARead) {
    storeDword("Inline OP Trip", 1);
    storeDword("Inline OP Value", 15000000);
    start();
    ASSERT_EQ(InlineTripEnabled, 1);
    ASSERT_FLOAT_EQ(InlineTripValue, 1500.0f);

    // Each as the first read of a connection: a read that ends a reading the read before left
    // unfinished is judged joined to it.
    for (const char* calm : {"1499.9", "nan", "abc", "", "-inf", "1400\r\n\r\n", "14 99"}) {
        ResetInlineReading();
        EXPECT_FALSE(CheckInlinePressure(calm)) << calm;
    }
    for (const char* over : {"1500.9", "+1500", "inf", "1e12", "1e999", "900\r\n1600\r\n"}) {
        ResetInlineReading();
        EXPECT_TRUE(CheckInlinePressure(over)) << over;
    }
    ResetInlineReading();
    EXPECT_TRUE(
        CheckInlinePressure(std::string_view("1400\0"
                                             "1700",
                                             9)))
        << "after a NUL";

    // One trip: an idle at once and on the next two ticks of the trip timer, then quiet.
    loop.advance(3.0);  // the idle rounds of those trips are over
    fleet->unit(0).setSpeedSetpoint(1500);
    loop.advance(8.0);
    heard.clear();
    EXPECT_TRUE(CheckInlinePressure("1600"));
    loop.advance(3.0);
    EXPECT_EQ(speedsTo(0), std::vector<int>(3, kIdleRpm));

    InlineTripEnabled = 0;
    heard.clear();
    EXPECT_FALSE(CheckInlinePressure("99999"));
    loop.advance(1.0);
    EXPECT_TRUE(speedsTo(0).empty());
}

// A trip switched off while its alarm is active can no longer see the pressure fall: the
// alarm clears (still awaiting acknowledgement) instead of staying active for good, and a
// station that starts with the trip off clears one kept from an earlier run.
TEST_F(Safety, InlineAlarmClearsWhenTheTripIsSwitchedOff) {
    const auto state = [] {
        return journal::StateOf(journal::kNoPump, journal::Kind::Inline,
                                "Inline overpressure trip: all pumps idled");
    };
    storeDword("Inline OP Trip", 1);
    storeDword("Inline OP Value", 15000000);
    start();
    EXPECT_TRUE(CheckInlinePressure("1600"));
    ASSERT_EQ(state(), journal::AlarmState::ActiveUnacknowledged);
    InlineTripEnabled = 0;  // as the trips window's switch leaves it
    CheckInlinePressure("1600");
    EXPECT_EQ(state(), journal::AlarmState::ClearedUnacknowledged);

    journal::Acknowledge(journal::kNoPump, journal::Kind::Inline,
                         "Inline overpressure trip: all pumps idled");
    InlineTripEnabled = 1;
    EXPECT_TRUE(CheckInlinePressure("1600"));
    storeDword("Inline OP Trip", 0);
    LoadInlineTripSettings();  // the next start, with the trip off
    EXPECT_EQ(state(), journal::AlarmState::ClearedUnacknowledged);
}

}  // namespace
