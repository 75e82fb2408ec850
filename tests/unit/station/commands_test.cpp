// The operator's commands on a started station against simulated pumps: speed buttons with
// their interlock and the E-stop, groups, zeroing and clearing, the fleet commands, and the
// drive power switches with their sound.
#include "operation/commands.h"

#include <gtest/gtest.h>

#include "link/operations.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/detail_view.h"
#include "operation/power_switches.h"
#include "platform/sim/memory_journal.h"
#include "safety/estop.h"
#include "shell/msg.h"
#include "shell/password.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace shell;

namespace {

using windows::kPosStepDownLarge;
using windows::kPosStepDownSmall;
using windows::kPosStepUpLarge;
using windows::kPosStepUpSmall;
using windows::kPosStop;

class Commands : public StationFleet {
  protected:
    void press(int pump, int position) {
        ui::Press(BankPanel[BankOf(pump)], BankRow[pump][position]);
        loop.advance(0.3);
    }
    void menu(int item) {
        ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, item, BankPanel[0]);
        loop.advance(0.3);
    }
    int shortRequests(int pump, int code) const {
        int n = 0;
        for (const Command& c : heardShort)
            if (c.pump == pump && c.code == code) ++n;
        return n;
    }
    void SetUp() override {
        StationFleet::SetUp();
        hearShort = true;
        start();
    }
};

// The step arithmetic and its clamps are the link's speed-step test; here what the controller
// reports back must not lift a stopped pump's steps to its minimum.
TEST_F(Commands, StepsFromAStoppedPumpStartAtZeroAndEndThere) {
    // A unit that does not report its set-point leaves the arithmetic to the station (one
    // that does would report its 600 minimum back).
    fleet->unit(0).setReportsSetpoint(false);
    loop.advance(1.0);
    // From a stopped pump: the throttle block is asked for first, then +100.
    press(0, kPosStepUpLarge);
    EXPECT_EQ(shortRequests(0, 0x02), 1);
    EXPECT_EQ(speedsTo(0), std::vector<int>{100});
    loop.advance(2.0);
    heard.clear();
    for (int i = 0; i < 30; ++i) press(0, kPosStepDownSmall);
    ASSERT_FALSE(speedsTo(0).empty());
    // The throttle block read on the way up did not lift the station's 100 to the unit's
    // 600 minimum: every step down starts from where the last one left it.
    int last = 100;
    for (int rpm : speedsTo(0)) {
        EXPECT_LE(rpm, last) << "a step down never raises";
        last = rpm;
    }
    EXPECT_EQ(speedsTo(0).front(), 75);
    EXPECT_EQ(speedsTo(0).back(), 0) << "steps down end at 0, not at the minimum";
}

TEST_F(Commands, StopAndStepsDownGoThroughTheEStopAndTheInterlock) {
    fleet->unit(2).setSpeedSetpoint(1200);
    fleet->unit(3).setFault(0x0001);  // shut down by its drive, no override
    fleet->unit(3).setSpeedSetpoint(1200);
    loop.advance(8.0);
    heard.clear();
    press(3, kPosStepUpSmall);
    EXPECT_TRUE(speedsTo(3).empty()) << "the interlock refuses a step up";
    press(3, kPosStepDownLarge);
    EXPECT_EQ(speedsTo(3).size(), 1u) << "but never a step down";

    breakLoop();
    loop.advance(0.2);
    heard.clear();
    ui::HidePanel(EStopPanel);
    ui::Press(BankPanel[0], BankRow[2][kPosStepUpSmall]);
    EXPECT_TRUE(ui::GetPanelAttributeInt(EStopPanel, ui::ATTR_PANEL_VISIBLE));
    ui::Press(BankPanel[0], BankRow[2][kPosStop]);
    loop.advance(0.5);
    for (int rpm : speedsTo(2)) EXPECT_LE(rpm, kIdleRpm);
    EXPECT_EQ(fleet->unit(2).setpoint(), 0) << "STOP reached the pump during the E-stop";
}

TEST_F(Commands, AGroupStepSkipsOffLineAndAutoMembersAndReachesThePressedPump) {
    for (int p : {4, 5, 6, 7}) {
        ui::Operate(BankPanel[0], BankRow[p][windows::kPosGroup], 3);
    }
    PumpTable[4].AutoSelected = 1;  // as automatic control would have it
    PumpTable[7].AutoSelected = 1;  // the pressed pump: the press takes it out of automatic control
    fleet->unit(6).setFailure({.silent = true});
    loop.advance(16.0);
    ASSERT_EQ(PumpTable[6].Online, 0);
    heard.clear();
    press(7, kPosStepUpSmall);
    EXPECT_EQ(speedsTo(7).size(), 1u);
    EXPECT_EQ(speedsTo(5).size(), 1u);
    EXPECT_TRUE(speedsTo(4).empty()) << "under automatic control";
    EXPECT_TRUE(speedsTo(6).empty()) << "off line";
    EXPECT_EQ(PumpTable[7].AutoSelected, 0);
}

TEST_F(Commands, PowerSwitchesSendSpeedZeroWithTheRunByteAndAPowerOffHolds) {
    fleet->unit(3).setSpeedSetpoint(1000);
    fleet->unit(3).setPowerOffDelay(2.0);  // its drive reports on for a while after the command
    loop.advance(6.0);
    heard.clear();
    system.sounds.clear();
    ui::Press(BankPanel[0], BankRow[3][windows::kPosPowerOff]);  // "Power Off"
    loop.advance(0.3);
    ASSERT_EQ(speedsTo(3), std::vector<int>{0});
    EXPECT_EQ(heard.back().data[2], 0);
    EXPECT_EQ(system.sounds.size(), 1u);
    EXPECT_NE(system.sounds[0].find("switch.wav"), std::string::npos);

    // Until the drive reports off, no speed command carries Run 1: not a stale record, not
    // the refresh, not an E-stop idle.
    ASSERT_EQ(PumpTable[3].PowerOffCommanded, 1);
    PumpTable[3].VfdOn = 1;
    PumpTable[3].SpeedCommand.Run = 1;
    breakLoop();
    loop.advance(0.2);
    closeLoop();
    loop.advance(0.5);
    for (const Command& c : heard) {
        if (c.pump == 3 && c.code == 0x1A) {
            EXPECT_EQ(c.data[2], 0);
        }
    }
    loop.advance(3.0);
    EXPECT_FALSE(fleet->unit(3).driveOn());

    heard.clear();
    // The row now shows "Power On" (the drive reported off).
    ui::Press(BankPanel[0], BankRow[3][windows::kPosPowerOn]);
    loop.advance(0.3);
    ASSERT_EQ(speedsTo(3), std::vector<int>{0});
    EXPECT_EQ(heard.back().data[2], 1);
    EXPECT_EQ(ui::GetActiveCtrl(BankPanel[0]), windows::BANK_TITLE) << "the switch lets go";
}

TEST_F(Commands, FleetPowerCommands) {
    fleet->unit(9).setFailure({.silent = true});
    fleet->unit(9).setSpeedSetpoint(1500);
    loop.advance(16.0);
    ASSERT_EQ(PumpTable[9].Online, 0);
    system.sounds.clear();
    menu(windows::MENU_ALL_VFDS_OFF);
    loop.advance(ReplyTimeout + 0.5);
    EXPECT_FALSE(fleet->unit(9).driveOn()) << "a silent pump with a port is powered off too";
    for (int p = 0; p < kPumps; ++p) EXPECT_FALSE(fleet->unit(p).driveOn()) << p + 1;
    EXPECT_EQ(system.sounds.size(), 1u);

    for (int p = 0; p < kPumps; ++p) PumpTable[p].Online = 0;
    system.sounds.clear();
    heard.clear();
    AllVfdsOn(0, 0, nullptr, BankPanel[0]);
    EXPECT_TRUE(system.sounds.empty()) << "nothing on line: nothing sent, no sound";
    EXPECT_TRUE(heard.empty());
}

// Exit says what leaving does to a running fleet: the pumps trip on the time-out the station
// wrote to them at first contact (not one set since).
TEST_F(Commands, ExitSaysWhenTheRunningPumpsTrip) {
    for (int p = 0; p < 8; ++p) fleet->unit(p).setSpeedSetpoint(1200);
    loop.advance(6.0);
    storeDword("Timeout1", 45);
    ui::Press(BankPanel[0], windows::BANK_EXIT);
    EXPECT_EQ(popups.shown().back().text,
              "8 pumps are running. Without the station they trip on their communication "
              "time-out in 30 s.\n\nExit VNK PC?");
    EXPECT_FALSE(loop.quitRequested());
}

// A pump reading above 100 psi is not zeroed unasked: the detail view asks (No the default),
// a yes needs the system password, and a reading that rose meanwhile is not zeroed; the
// fleet-wide zero names it with its reading and asks nothing. A vented pump is zeroed at
// once: channel 4 read, then written back with the offset taken.
TEST_F(Commands, ZeroingNeedsAVentedLineOrThePasswordAndItsOwnChannelsReply) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    fleet->unit(0).setDischargeOverride(3000.0);  // a drifted transducer
    loop.advance(2.0);
    const auto zero = [this](int pump, bool yes) {
        popups.clear();
        popups.answerConfirm(yes);
        CurrentPump = static_cast<std::uint8_t>(pump);
        ui::Press(DetailPanel, windows::DETAIL_ZERO_PRESSURE);
        loop.advance(1.0);
    };
    const auto password = [this](const char* typed) {
        const int prompt = PasswordPromptPanel();
        ASSERT_NE(prompt, 0);
        ui::Press(prompt, windows::PWD_STARS);
        keypadEnter(typed);
        ui::Press(prompt, windows::PWD_OK);
        loop.advance(1.0);
    };
    zero(0, false);
    ASSERT_EQ(popups.shown().size(), 1u);
    EXPECT_EQ(popups.shown()[0].kind, ui::ScriptedPopups::Kind::Confirm);
    EXPECT_EQ(popups.shown()[0].text, "Pump 1A reads 3000 psi. Zero it anyway?");
    EXPECT_EQ(PasswordPromptPanel(), 0);
    zero(0, true);
    password("1234");
    EXPECT_EQ(popups.count("Access Denied"), 1);
    fleet->unit(0).setDischargeOverride(3375.0);  // the line pressurised while he typed
    loop.advance(1.0);
    password("5927");
    EXPECT_EQ(popups.shown().back().text,
              "Pump 1A now reads 3375 psi, not the 3000 psi it read when asked: not zeroed.");
    EXPECT_EQ(shortRequests(0, 0x01) + commandsTo(0, 0x01), 0);

    menu(windows::MENU_ZERO_PRESSURES);
    popups.clear();
    ui::Press(ConfirmDialogPanel(), windows::CONFIRM_YES);
    loop.advance(1.0);
    ASSERT_EQ(popups.shown().size(), 1u) << "nothing asked";
    EXPECT_EQ(popups.shown()[0].text.rfind("Pump 1A (3375 psi) not zeroed", 0), 0u);
    EXPECT_EQ(shortRequests(0, 0x01), 0);
    EXPECT_EQ(shortRequests(1, 0x01), 1) << "the vented pumps are zeroed";
    ASSERT_EQ(commandsTo(1, 0x01), 1);
    EXPECT_EQ(heard.back().data.size(), 44u);

    zero(0, true);
    password("5927");
    EXPECT_EQ(shortRequests(0, 0x01), 1);
    EXPECT_EQ(commandsTo(0, 0x01), 1);
    EXPECT_EQ(events.countOf(journal::Kind::Command, 0,
                             "Zero discharge pressure at 3375 psi, over the guard, by password"),
              1);

    CurrentPump = kNoPump;
    heard.clear();
    ui::Press(DetailPanel, windows::DETAIL_CLEAR_TOTALS);
    loop.advance(0.5);
    EXPECT_TRUE(heard.empty()) << "no pump shown, nothing sent";
    journal::SetStore(nullptr);
}

// The drive-fault reset asks first and goes to the pump the view shows, once; the lock of
// its buttons is the start-up test's.
TEST_F(Commands, VfdResetAsksFirstAndGoesToTheShownPump) {
    press(0, windows::kPosDetail);
    ASSERT_EQ(CurrentPump, 0);
    const int reset = windows::DetailVfdResetCtrl(0);
    popups.answerConfirm(false);
    ui::Press(DetailPanel, reset);
    EXPECT_EQ(popups.shown().back().text, "Do you want to reset the VFD fault?");
    loop.advance(1.0);
    EXPECT_EQ(commandsTo(0, 0x34), 0) << "No sends nothing";
    EXPECT_EQ(ui::GetCtrlAttributeInt(DetailPanel, reset, ui::ATTR_DIMMED), 0);
    popups.answerConfirm(true);
    ui::Press(DetailPanel, reset);
    loop.advance(1.0);
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(commandsTo(p, 0x34), p == 0 ? 1 : 0) << p + 1;
}

TEST_F(Commands, FleetCommandsActOnlyOnConfirm) {
    menu(windows::MENU_ZERO_PRESSURES);
    ASSERT_NE(ConfirmDialogPanel(), 0);
    EXPECT_EQ(ui::GetPanelTitle(ConfirmDialogPanel()), "Zero Pressures");
    ui::Press(ConfirmDialogPanel(), windows::CONFIRM_NO);
    loop.advance(1.0);
    EXPECT_TRUE(heardShort.empty() || shortRequests(0, 0x01) == 0);
    menu(windows::MENU_RESET_TOTALS);
    EXPECT_EQ(ui::GetPanelTitle(ConfirmDialogPanel()), "Reset Totals");
    ui::Press(ConfirmDialogPanel(), windows::CONFIRM_YES);
    loop.advance(1.0);
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(commandsTo(p, 0x04), 1) << p + 1;
}

}  // namespace
