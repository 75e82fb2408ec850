// The stop paths of the running station against simulated pumps, in virtual time: an E-stop
// latches where it is seen and a failed input never releases it; the inline trip holds every
// raise until a reading below it; what counts as a raise is the speed sent, not the button;
// no raise without a known ceiling or without the safety seams, and a refused one says why on
// the bank; automatic control never raises what the operator could not; settings files with
// impossible speed steps; an inline reading cut in two by TCP.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "autocontrol/auto_panel.h"
#include "autocontrol/autocontrol.h"
#include "client/blender_client.h"
#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/commands.h"
#include "operation/pumpgroup.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "safety/trips.h"
#include "shell/main_sequence.h"
#include "support/auto_fleet.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/shell_windows.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace autocontrol;

namespace {

using windows::kPosStepDownLarge;
using windows::kPosStepDownSmall;
using windows::kPosStepUpLarge;
using windows::kPosStepUpSmall;
using windows::kPosStop;

class StopPaths : public AutoFleet {
  protected:
    void press(int pump, int position) {
        ui::Press(BankPanel[BankOf(pump)], BankRow[pump][position]);
    }
    int highestSpeedTo(int pump) const {
        int highest = -1;
        for (int rpm : speedsTo(pump)) highest = std::max(highest, rpm);
        return highest;
    }
    // The line of a refused speed-up on bank 1, "" while it is not shown.
    static std::string refusal() {
        const ui::Control* line = ui::FindCtrl(BankPanel[0], windows::BANK_REFUSAL);
        return line->visible ? line->text : "";
    }
};

// The loop broken for 0.2-0.9 s at a random phase of the automatic controller's tick, with
// eight pumps holding a rate: automatic control ends at the break, and for a minute after the
// loop closes nothing goes above idle. Four breaks in one run, each after a fresh Apply.
TEST_F(StopPaths, AShortEStopEndsAutomaticControlWhateverItsPhase) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    startEight();
    std::mt19937 random(22);
    for (int round = 0; round < 4; ++round) {
        holdRate(90.0);
        ASSERT_TRUE(AutoModeActive());
        loop.advance(std::uniform_real_distribution<double>(8.0, 12.0)(random));
        heard.clear();
        const double broken = std::uniform_real_distribution<double>(0.2, 0.9)(random);
        breakLoop();
        loop.advance(broken);
        EXPECT_FALSE(AutoModeActive()) << "round " << round << ", broken " << broken << " s";
        closeLoop();
        loop.advance(60.0);
        EXPECT_EQ(EStopActive(), 0);
        EXPECT_FALSE(AutoModeActive()) << "closing the loop restarts nothing";
        for (int p = 0; p < 8; ++p) {
            EXPECT_FALSE(speedsTo(p).empty()) << "pump " << p + 1 << " was idled";
            EXPECT_LE(highestSpeedTo(p), kIdleRpm) << "round " << round << ", pump " << p + 1;
        }
        EXPECT_EQ(ui::GetCtrlText(AutoPanel, windows::AUTO_MESSAGE),
                  "Auto control off: emergency stop");
    }
    EXPECT_EQ(events.countOf(journal::Kind::Command, journal::kNoPump,
                             "Auto control off: emergency stop"),
              4);
    journal::SetStore(nullptr);
}

// An input that fails while the loop is broken does not release the E-stop: the idle rounds
// go on, raises stay refused, until a good read shows the loop closed.
TEST_F(StopPaths, AFailedInputNeverReleasesAnActiveEStop) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    start();
    fleet->unit(0).setSpeedSetpoint(1200);
    loop.advance(8.0);
    breakLoop();
    loop.advance(0.15);
    ASSERT_EQ(EStopActive(), 1);
    system.status = -1;  // the input cannot be read any more
    heard.clear();
    loop.advance(1.0);
    EXPECT_EQ(EStopActive(), 1);
    EXPECT_GE(speedsTo(3).size(), 3u) << "the idle rounds go on every third tick";
    press(0, kPosStepUpLarge);
    press(1, kPosStepUpSmall);
    loop.advance(0.5);
    EXPECT_LE(highestSpeedTo(0), kIdleRpm);
    EXPECT_LE(highestSpeedTo(1), 0);
    EXPECT_EQ(events.countOf(journal::Kind::Command, 1, "Speed up (small step) refused: E-stop"), 1)
        << "refused at the button, for the pressed pump";
    EXPECT_EQ(refusal(), "Speed up refused: E-stop active");
    EXPECT_EQ(ui::GetCtrlAttributeInt(BankPanel[0], windows::BANK_ESTOP_STATUS, ui::ATTR_VISIBLE),
              1)
        << "the failure is shown meanwhile";

    system.status = 0x10;  // readable again, and closed
    loop.advance(0.15);
    EXPECT_EQ(EStopActive(), 0);
    EXPECT_EQ(ui::GetCtrlAttributeText(EStopPanel, windows::ESTOP_TEXT, ui::ATTR_LABEL_TEXT),
              "Loop closed — E-stop ended")
        << "the window follows the input back, then the loop";
    heard.clear();
    press(1, kPosStepUpSmall);
    loop.advance(0.5);
    EXPECT_EQ(speedsTo(1), std::vector<int>{25}) << "raises allowed again";
    journal::SetStore(nullptr);
}

// Applying a mode while an E-stop or the inline trip holds the fleet: automatic control ends
// at its next tick, having moved nothing.
TEST_F(StopPaths, AModeAppliedWhileTheFleetIsHeldEndsAtOnce) {
    for (const bool inlineTrip : {true, false}) {
        if (!inlineTrip) {
            TearDown();
            SetUp();
        }
        startEight();
        InlineTripValue = 1500.0f;
        InlineTripEnabled = inlineTrip ? 1 : 0;
        if (inlineTrip)
            CheckInlinePressure("1600\r\n");
        else
            breakLoop();
        loop.advance(0.5);
        static int commanded;
        commanded = 0;
        SetAutoCommandObserver([](int, bool, int, int) { ++commanded; });
        holdRate(95.0);
        loop.advance(1.1);
        EXPECT_FALSE(AutoModeActive());
        EXPECT_EQ(ui::GetCtrlText(AutoPanel, windows::AUTO_MESSAGE),
                  inlineTrip ? "Auto control off: inline overpressure trip"
                             : "Auto control off: emergency stop");
        EXPECT_EQ(commanded, 0);
    }
}

// From the inline trip until a reading below its value no press raises a pump, the group's
// "++" on stopped members included, after the trip's idle rounds and with the link gone; STOP
// and the step-downs go through. The refusal is journalled and said on the bank for a few
// seconds. A reading below the trip value ends the hold, and so does the trip switched off.
TEST_F(StopPaths, TheInlineTripHoldsEveryRaiseUntilAReadingBelowIt) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[4] = config.PumpGroup[5] = 2;
    start(config);
    fleet->unit(0).setSpeedSetpoint(1200);
    loop.advance(8.0);
    InlineTripEnabled = 1;
    InlineTripValue = 1500.0f;
    EXPECT_TRUE(CheckInlinePressure("1600.4\r\n"));
    client::DisconnectClient();  // no reading will say the pressure fell
    loop.advance(3.0);           // the trip's idle rounds are over
    heard.clear();
    press(0, kPosStepUpSmall);
    EXPECT_EQ(refusal(), "Speed up refused: inline overpressure 1600 psi");
    press(4, kPosStepUpLarge);  // pumps 5 and 6, stopped
    loop.advance(1.0);
    EXPECT_TRUE(speedsTo(0).empty() && speedsTo(4).empty() && speedsTo(5).empty());
    EXPECT_EQ(events.countOf(journal::Kind::Command, 0,
                             "Speed up (small step) refused: inline overpressure"),
              1);
    EXPECT_EQ(CommandSpeed(0, 1500), SpeedResult::RefusedHeld) << "nor automatic control";
    press(0, kPosStepDownSmall);
    loop.advance(kRefusalSeconds);
    EXPECT_EQ(speedsTo(0), std::vector<int>{kIdleRpm - 25});
    EXPECT_EQ(refusal(), "") << "gone by itself";

    ShowAlarmPanel(0, 0, nullptr, BankPanel[0]);
    ui::Operate(OptionalTripsPanel(), windows::TRIPS_INLINE_ENABLED, 0);  // switched off
    press(0, kPosStepUpSmall);
    loop.advance(0.5);
    InlineTripEnabled = 1;
    CheckInlinePressure("1600\r\n");
    loop.advance(3.0);
    EXPECT_FALSE(CheckInlinePressure("1499\r\n"));  // below the trip value
    press(0, kPosStepUpSmall);
    loop.advance(0.5);
    EXPECT_EQ(speedsTo(0), (std::vector<int>{kIdleRpm - 25, kIdleRpm + 25, kIdleRpm, kIdleRpm,
                                             kIdleRpm, kIdleRpm + 25}));
    journal::SetStore(nullptr);
}

// The trip interlock refuses a raise of a pump with a trip word, or with its drive off; the
// trip points the station sends stay within 1 to 25000 psi.
TEST_F(StopPaths, TheInterlockAndTheTripPointLimits) {
    start();
    fleet->unit(0).trip(0x0004);  // lube oil
    fleet->unit(1).setDriveOn(false);
    fleet->unit(2).setSpeedSetpoint(1000);
    loop.advance(6.0);
    ASSERT_NE(PumpTable[0].TripWord, 0);
    heard.clear();
    for (const char* why : {"pump tripped", "drive off"}) {
        press(why[0] == 'p' ? 0 : 1, kPosStepUpSmall);
        EXPECT_EQ(refusal(), std::string("Speed up refused: ") + why);
    }
    press(2, kPosStepUpSmall);
    loop.advance(0.5);
    EXPECT_TRUE(speedsTo(0).empty());
    EXPECT_TRUE(speedsTo(1).empty());
    EXPECT_EQ(speedsTo(2), std::vector<int>{1025});

    EXPECT_EQ(EnteredTripPsi(25000.9), 25000.0);
    EXPECT_EQ(EnteredTripPsi(1.0), 1.0);
    popups.clear();
    for (double bad : {25001.0, 0.9, 0.0, -3.0, std::nan("")})
        EXPECT_LT(EnteredTripPsi(bad), 0.0) << bad;
    EXPECT_EQ(popups.count("Trip Point"), 5);
}

// After a power-off the drive reports off and is switched on again at the unit: the hold is
// over, and the next speed command keeps the drive on.
TEST_F(StopPaths, APowerOffHoldsUntilTheDriveReportsOff) {
    start();
    fleet->unit(0).setSpeedSetpoint(1000);
    loop.advance(6.0);
    press(0, windows::kPosPowerOff);
    loop.advance(1.0);
    ASSERT_FALSE(fleet->unit(0).driveOn());
    fleet->unit(0).setDriveOn(true);  // at the unit's own panel
    loop.advance(2.0);
    heard.clear();
    press(0, kPosStepUpSmall);
    loop.advance(0.5);
    ASSERT_EQ(speedsTo(0).size(), 1u);
    EXPECT_EQ(heard.back().data[2], 1) << "Run 1: the drive stays on";
    EXPECT_TRUE(fleet->unit(0).driveOn());
}

// Steps of 0, -1 and 40000 in vnk.cfg: the defaults are used and the operator told once; a
// step down during an E-stop never sends a stopped pump anywhere.
TEST_F(StopPaths, ImpossibleSpeedStepsInTheSettingsFileFallBackToTheDefaults) {
    settings::ConfigRecord config = FleetConfig();
    config.RpmStepSmall[0] = 0;
    config.RpmStepLarge[1] = -1;
    config.RpmStepSmall[2] = 40000;
    config.RpmStepLarge[2] = 1000;  // the limit itself is a step
    start(config);
    int shown = 0;
    for (const auto& popup : startUpPopups) {
        if (popup.title != "Speed Steps") continue;
        ++shown;
        EXPECT_EQ(popup.text.rfind("Pump 1, 2, 3:", 0), 0u) << popup.text;
    }
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(PumpTable[0].RpmStepSmall, 25);
    EXPECT_EQ(PumpTable[1].RpmStepLarge, 100);
    EXPECT_EQ(PumpTable[1].RpmStepSmall, 25);
    EXPECT_EQ(PumpTable[2].RpmStepSmall, 25);
    EXPECT_EQ(PumpTable[2].RpmStepLarge, 1000);
    EXPECT_EQ(settings::Config.RpmStepSmall[2], 25) << "the record is mended too";

    breakLoop();
    loop.advance(0.5);
    heard.clear();
    for (int p = 0; p < 3; ++p) {
        press(p, kPosStepDownSmall);
        press(p, kPosStepDownLarge);
    }
    loop.advance(1.0);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(highestSpeedTo(p), 0) << "pump " << p + 1;
}

// No raise of a pump whose MaxRpm is not a known finite speed, by hand or by its group; the
// operator is told, and the pump's limits are asked for.
TEST_F(StopPaths, NoRaiseWithoutAKnownCeiling) {
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[4] = 1;
    config.PumpGroup[5] = 1;
    start(config);
    for (int p : {0, 4, 5}) fleet->unit(p).setSpeedSetpoint(1000);
    loop.advance(8.0);
    heard.clear();
    PumpTable[0].MaxRpm = std::nanf("");
    press(0, kPosStepUpLarge);
    PumpTable[5].MaxRpm = INFINITY;
    press(4, kPosStepUpSmall);  // pump 5 and its group member, pump 6
    loop.advance(1.0);
    EXPECT_EQ(highestSpeedTo(0), -1) << "nothing sent";
    EXPECT_EQ(speedsTo(4), std::vector<int>{1025});
    EXPECT_EQ(highestSpeedTo(5), -1);
    EXPECT_EQ(refusal(), "Speed up refused: maximum speed unknown");
    EXPECT_EQ(popups.count("Speed"), 0) << "a line on the bank, not a box to close";
    EXPECT_FLOAT_EQ(PumpTable[0].MaxRpm, 1900.0f) << "its limits were read again";
}

// During an E-stop a step that would raise any pump it reaches is refused for every one of
// them, even when the pressed pump itself is at its maximum; STOP still reaches them all.
TEST_F(StopPaths, AGroupStepDuringAnEStopRaisesNoMember) {
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[2] = 4;
    config.PumpGroup[3] = 4;
    start(config);
    fleet->unit(2).setSpeedSetpoint(1900);  // its maximum: the step cannot raise it
    fleet->unit(3).setSpeedSetpoint(500);
    loop.advance(10.0);
    breakLoop();
    loop.advance(0.5);
    heard.clear();
    press(2, kPosStepUpLarge);
    Send_RPM_Request(2, SpeedStep::UpSmall);  // past the buttons: the link refuses it
    loop.advance(0.5);
    EXPECT_LE(highestSpeedTo(3), kIdleRpm) << "only the idle rounds";
    press(2, kPosStop);
    loop.advance(1.0);
    EXPECT_EQ(fleet->unit(2).setpoint(), 0);
    EXPECT_EQ(fleet->unit(3).setpoint(), 0);
}

// Every safety seam is wired by start-up; without one, no raise goes out, and stop paths
// still do.
TEST_F(StopPaths, WithoutItsSafetySeamsTheStationRaisesNothing) {
    start();
    EXPECT_TRUE(shell::MissingSafetyHooks().empty());
    fleet->unit(0).setSpeedSetpoint(1000);
    loop.advance(8.0);
    heard.clear();

    SetSpeedInterlock({});
    press(0, kPosStepUpSmall);
    loop.advance(0.5);
    EXPECT_TRUE(speedsTo(0).empty()) << "no interlock: the press raises nothing";
    press(0, kPosStepDownSmall);
    loop.advance(0.5);
    EXPECT_EQ(speedsTo(0), std::vector<int>{975});

    SetRaiseGate(nullptr);
    SetEStopLatchHook(nullptr);
    SetInlineTripHook(nullptr);
    const std::vector<std::string> missing = shell::MissingSafetyHooks();
    EXPECT_EQ(missing.size(), 4u);
    heard.clear();
    EXPECT_EQ(CommandSpeed(0, 1500), SpeedResult::RefusedHeld);
    EXPECT_EQ(CommandSpeed(0, 0), SpeedResult::Sent);
    loop.advance(0.5);
    EXPECT_EQ(speedsTo(0), std::vector<int>{0});
}

// Automatic control never raises a pump the operator could not raise by hand (faulted
// without the override), and its own step does nothing while the E-stop holds, however it
// is called.
TEST_F(StopPaths, AutomaticControlRaisesOnlyWhatTheOperatorCould) {
    startEight();
    fleet->unit(0).setFault(0x0001);       // shut down by its drive, no override
    fleet->unit(0).setSpeedSetpoint(700);  // the slowest: the first to be sped up
    loop.advance(6.0);
    ASSERT_NE(PumpTable[0].FaultWord, 0);
    ASSERT_EQ(PumpTable[0].Tripped, 0);
    heard.clear();
    holdRate(95.0);
    loop.advance(60.0);
    EXPECT_TRUE(speedsTo(0).empty());
    int others = 0;
    for (int p = 1; p < 8; ++p) others += static_cast<int>(speedsTo(p).size());
    EXPECT_GT(others, 0) << "the others were sped up instead";

    // The controller's step called straight during an E-stop, its mode on: nothing moves,
    // either way (a pump not idled yet would be slowed).
    breakLoop();
    loop.advance(0.5);
    PumpTable[1].SpeedCommand.Rpm = PumpTable[1].RpmSetpoint = 1000;
    static int commanded;
    commanded = 0;
    SetAutoCommandObserver([](int, bool, int, int) { ++commanded; });
    for (float target : {200.0f, 10.0f}) {
        AutoSettings.AutoMode = kAutoRate;
        AutoSettings.TargetRate = target;
        StepCountdown = 0;
        EXPECT_TRUE(AutoControllerTick());
        EXPECT_EQ(commanded, 0) << target;
    }
    AutoSettings.AutoMode = kAutoOff;
    closeLoop();
    loop.advance(0.5);
    AutoSettings.AutoMode = kAutoRate;  // and with the loop closed it does step
    AutoSettings.TargetRate = 200.0f;
    StepCountdown = 0;
    AutoControllerTick();
    EXPECT_EQ(commanded, 1);
}

// An automatic decrease never ends above the present command, though the motor is still
// faster (running down from an earlier speed).
TEST_F(StopPaths, AnAutomaticDecreaseIsBoundedByThePresentCommand) {
    startEight();
    for (int p = 0; p < 8; ++p) PumpTable[p].SpeedCommand.Rpm = PumpTable[p].RpmSetpoint = 1000;
    PumpTable[2].SpeedCommand.Rpm = PumpTable[2].RpmSetpoint = 1250;  // the one to slow
    PumpTable[2].MotorRpm = 1800.0f;
    AutoSettings.LimitPressure = 9000.0f;
    heard.clear();
    DecreaseRate(-0.5f, 3000.0f);
    loop.advance(0.5);
    EXPECT_TRUE(speedsTo(2).empty()) << "1250 again would change nothing";
}

// A pressure reading cut anywhere by TCP still trips, once the peer has been seen to end its
// readings; a peer that never ends them has each read judged on its own.
TEST_F(StopPaths, AnInlineReadingCutAnywhereStillTrips) {
    InlineTripEnabled = 1;
    InlineTripValue = 1500.0f;
    const std::string reading = "1500.9\r\n";
    for (std::size_t cut = 1; cut < reading.size(); ++cut) {
        ResetInlineReading();
        ASSERT_FALSE(CheckInlinePressure("1400.0\r\n"));
        const bool first = CheckInlinePressure(reading.substr(0, cut));
        const bool second = CheckInlinePressure(reading.substr(cut));
        EXPECT_TRUE(first || second) << "cut after byte " << cut;
        EXPECT_FALSE(CheckInlinePressure("1400.0\r\n")) << "nothing left over, cut " << cut;
    }
    ResetInlineReading();
    EXPECT_FALSE(CheckInlinePressure("1499.9\r\n15"));
    EXPECT_FALSE(CheckInlinePressure("0"));
    EXPECT_TRUE(CheckInlinePressure("0.9\r\n")) << "joined over three reads";

    // The end of a cut reading is judged joined to its start, never alone; a whole reading
    // still trips.
    ResetInlineReading();
    ASSERT_FALSE(CheckInlinePressure("1400.0\r\n"));
    EXPECT_FALSE(CheckInlinePressure("0."));
    EXPECT_FALSE(CheckInlinePressure("15000\r\n")) << "0.15000";
    EXPECT_EQ(InlineReadingPsi(), 0.0) << "and shown as such";
    EXPECT_TRUE(CheckInlinePressure("15000\r\n"));

    ResetInlineReading();  // a peer that sends no terminator
    EXPECT_FALSE(CheckInlinePressure("1400"));
    EXPECT_FALSE(CheckInlinePressure("1400"));
    EXPECT_FALSE(CheckInlinePressure("14"));

    ResetInlineReading();  // a new connection does not finish the old one's reading
    EXPECT_FALSE(CheckInlinePressure("1400\r\n15"));
    ResetInlineReading();
    EXPECT_FALSE(CheckInlinePressure("00\r\n"));
}

}  // namespace
