// The E-stop at the wire's pace and the ports that come back, in virtual time against 24
// simulated pumps: the first idle takes each line as soon as the exchange in flight on it
// ends, a bouncing release is one release, a pulled adapter takes its pump off line and
// reports what it did not deliver, and the port is back, its pump on line, soon after the
// replug; the E-stop's own serial input likewise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "link/comcfg.h"
#include "link/port_identity.h"
#include "link/operations.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/port_monitor.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "platform/trace.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "settings/registry_settings.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/serial_monitor.h"

using namespace safety;
using journal::Kind;
using journal::kNoPump;

namespace {

constexpr double kByteTime = platform::SimSerial::kByteTime;
constexpr double kSample = 0.01;
// The longest exchange a pump's line can be busy with when the loop breaks: a data request
// (10 bytes) and its 98-byte data record, back to back.
constexpr double kExchange = (10 + 98) * kByteTime;
constexpr double kIdleTransit = 16 * kByteTime;  // a speed command crossing the line

class PortLoss : public JournaledStationFleet {
  protected:
    // Data requests each pump took in, from the moment this is called.
    void countPolls() {
        auto heardBefore = fleet->onRequest;
        fleet->onRequest = [this, heardBefore](int pump, const std::vector<std::uint8_t>& b) {
            if (heardBefore) heardBefore(pump, b);
            if (b.size() >= 5 && (b[4] & 0x3F) == 0x18) ++polls[pump];
        };
    }
    bool rowSaysPortLost(int pump) const {
        const int panel = BankPanel[pump / windows::kBankRows];
        return ui::GetCtrlText(panel, BankRow[pump][windows::kPosPumpId]) ==
               "COM" + std::to_string(PumpFleetHarness::portOf(pump)) + " lost";
    }
    int popupsTitled(const std::string& title) const {
        int n = 0;
        for (const auto& p : popups.shown()) n += p.title == title ? 1 : 0;
        return n;
    }
    std::string popupText(const std::string& title) const {
        for (const auto& p : popups.shown())
            if (p.title == title) return p.text;
        return "";
    }

    std::map<int, int> polls;
};

// Each pump's first idle leaves as soon as the exchange in flight on its line has ended,
// ahead of the packets waiting behind it, at whatever moment of the poll cycle the loop
// breaks; the break is acted on at the first sample that sees it.
TEST_F(PortLoss, FirstIdleLeavesWithinOneExchangeOfTheBreakAtAnyPhase) {
    start();
    std::mt19937 random(2812);
    std::uniform_real_distribution<double> phase(0.0, 0.25);
    double worst = 0.0;
    for (int trial = 0; trial < 12; ++trial) {
        loop.advance(1.0 + phase(random));
        // Questions queued for every pump, as an open hardware window leaves them: without
        // taking the line first the idle would wait behind each of them for an exchange.
        for (int p = 0; p < kPumps; ++p)
            for (int i = 0; i < 4; ++i) SendPumpCommand(p, Op::ReadPumpId);
        heard.clear();
        const double brokeAt = loop.now();
        breakLoop();
        loop.advance(0.2);
        for (int p = 0; p < kPumps; ++p) {
            const auto first = std::find_if(heard.begin(), heard.end(), [p](const Command& c) {
                return c.pump == p && c.code == 0x1A;
            });
            ASSERT_NE(first, heard.end()) << "trial " << trial << " pump " << p + 1;
            const double left = first->at - kIdleTransit - brokeAt;
            worst = std::max(worst, left);
            EXPECT_LE(left, kSample + kExchange + 0.002) << "trial " << trial << " pump " << p + 1;
        }
        closeLoop();
        loop.advance(1.0);
    }
    EXPECT_GT(worst, kExchange / 2) << "some break fell early in an exchange";
}

// One sample of a broken loop is an E-stop; closed samples for less than 50 ms are not a
// release, and a release that bounces writes its events once.
TEST_F(PortLoss, ABreakIsNeverDebouncedAndABouncingReleaseIsOneRelease) {
    start();
    loop.advance(0.5);
    breakLoop();
    loop.advance(kSample);
    closeLoop();
    EXPECT_EQ(EStopActive(), 1) << "a single broken sample holds";
    loop.advance(0.3);
    EXPECT_EQ(EStopActive(), 0) << "released after 50 ms of closed samples";
    for (int p = 0; p < kPumps; ++p) EXPECT_FALSE(speedsTo(p).empty()) << "pump " << p + 1;
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop loop broken"), 1);
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop loop restored"), 1);

    breakLoop();
    loop.advance(1.0);
    heard.clear();
    // Contact bounce: closed 20 ms, broken 10, closed 40, broken 10, then closed for good.
    for (const auto& [closed, seconds] : std::vector<std::pair<bool, double>>{
             {true, 0.02}, {false, 0.01}, {true, 0.04}, {false, 0.01}, {true, 0.03}}) {
        closed ? closeLoop() : breakLoop();
        loop.advance(seconds);
        EXPECT_EQ(EStopActive(), 1) << "within the bounce";
    }
    loop.advance(0.03);
    EXPECT_EQ(EStopActive(), 0);
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop loop broken"), 2);
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop loop restored"), 2);
    loop.advance(2.0);
    for (int p = 0; p < kPumps; ++p)
        EXPECT_LE(speedsTo(p).size(), 1u) << "the bounce re-armed nothing, pump " << p + 1;
}

// Rounds repeat every 0.3 s while the loop stays broken: enough for a pump that missed one,
// not a flood.
TEST_F(PortLoss, IdleRoundsRepeatEveryThreeTenthsOfASecond) {
    start();
    loop.advance(0.37);
    heard.clear();
    breakLoop();
    loop.advance(2.0);
    closeLoop();
    loop.advance(0.5);
    for (int p = 0; p < kPumps; ++p) {
        std::vector<double> at;
        for (const Command& c : heard)
            if (c.pump == p && c.code == 0x1A) at.push_back(c.at);
        ASSERT_EQ(at.size(), 7u) << "pump " << p + 1;  // 0, 0.3, ..., 1.8
        for (std::size_t i = 1; i < at.size(); ++i)
            EXPECT_NEAR(at[i] - at[i - 1], 0.3, 0.07) << "pump " << p + 1;
    }
}

// Three adapters pulled for 5 s: their pumps go off line at once and say so, the others keep
// their poll rate, and the three are on line again within 3 s of the replug, at any phase of
// the retry timer. The port of the one running pump is an alarm, which sounds, until it is
// back. Each loss is one journal line naming the port, why and the pump.
TEST_F(PortLoss, PulledAdaptersComeBackOnLineWithinThreeSecondsOfTheReplug) {
    start();
    const std::vector<int> pulled = {1, 8, 16};
    fleet->unit(1).setSpeedSetpoint(1200);
    loop.advance(2.0);
    const auto lostAlarm = [](int p) {
        return journal::StateOf(p, Kind::Link,
                                "COM" + std::to_string(PumpFleetHarness::portOf(p)) + " lost");
    };
    std::mt19937 random(77);
    std::uniform_real_distribution<double> phase(0.0, 2.0);
    for (int round = 0; round < 3; ++round) {
        loop.advance(phase(random));
        polls.clear();
        countPolls();
        loop.advance(5.0);
        const std::map<int, int> before = polls;
        polls.clear();
        for (int p : pulled) serial.unplug(PumpFleetHarness::portOf(p));
        loop.advance(0.01);
        for (int p : pulled) {
            EXPECT_EQ(PumpTable[p].Online, 0) << "pump " << p + 1;
            EXPECT_TRUE(PumpTable[p].RowDimmed);
            EXPECT_TRUE(PumpTable[p].PortConfig.Lost);
            EXPECT_TRUE(rowSaysPortLost(p)) << "pump " << p + 1;
            EXPECT_EQ(lostAlarm(p), p == 1 ? journal::AlarmState::ActiveUnacknowledged
                                           : journal::AlarmState::Normal)
                << "pump " << p + 1;
        }
        loop.advance(0.5);
        EXPECT_EQ(system.sounds.size(), static_cast<size_t>(round + 1));
        loop.advance(5.0 - 0.51);
        for (int p = 0; p < kPumps; ++p) {
            const bool gone = std::count(pulled.begin(), pulled.end(), p) > 0;
            if (gone)
                EXPECT_EQ(polls[p], 0) << "nothing reaches a pulled adapter";
            else
                EXPECT_NEAR(polls[p], before.at(p), 2) << "pump " << p + 1 << " round " << round;
        }
        for (int p : pulled) serial.replug(PumpFleetHarness::portOf(p));
        loop.advance(3.0);
        for (int p : pulled) {
            EXPECT_EQ(PumpTable[p].Online, 1) << "pump " << p + 1 << " round " << round;
            EXPECT_FALSE(PumpTable[p].PortConfig.Lost);
            EXPECT_FALSE(rowSaysPortLost(p));
            // One line per loss, the pump's and the serial back end's in one.
            const std::string port = "COM" + std::to_string(PumpFleetHarness::portOf(p));
            EXPECT_EQ(store.countOf(Kind::Link, p,
                                    port + " lost (the device is gone): " + windows::PumpName(p)),
                      round + 1);
            EXPECT_EQ(std::count_if(store.events.begin(), store.events.end(),
                                    [&port](const journal::Event& e) {
                                        return e.text.starts_with(port + " lost");
                                    }),
                      round + 1);
            EXPECT_EQ(store.countOf(Kind::Link, p, "Port back: COM"), round + 1);
        }
        EXPECT_EQ(lostAlarm(1), journal::AlarmState::ClearedUnacknowledged);
    }
    EXPECT_NE(system.sounds.front().find("alarm.wav"), std::string::npos);
    EXPECT_EQ(popupsTitled("Port Lost"), 0) << "nothing was waiting: nothing to report";
}

// A STOP and a power-off waiting for a pump that does not answer, and then its adapter
// pulled: both are reported as not delivered, in the journal and to the operator.
TEST_F(PortLoss, CommandsWaitingForAPulledAdapterAreReportedNotDropped) {
    start();
    fleet->unit(4).setFailure({.silent = true});
    loop.advance(0.5);
    ui::Press(BankPanel[0], BankRow[4][windows::kPosStop]);
    ASSERT_GE(QueuedItems(4), 1);
    SendPumpCommand(4, Op::ReadAlarmLimits);
    serial.unplug(PumpFleetHarness::portOf(4));
    loop.advance(0.05);
    EXPECT_EQ(QueuedItems(4), 0);
    EXPECT_EQ(store.countOf(Kind::Link, 4, "Not delivered, COM5 lost: STOP"), 1);
    ASSERT_EQ(popupsTitled("Port Lost"), 1);
    EXPECT_EQ(popupText("Port Lost"), "COM5 of Pump 3A was lost.\nNot delivered: STOP.");

    // Back and answering; a power-off that waits when the adapter goes again is reported too.
    fleet->unit(4).setFailure({});
    serial.replug(PumpFleetHarness::portOf(4));
    loop.advance(3.0);
    ASSERT_EQ(PumpTable[4].Online, 1);
    fleet->unit(4).setFailure({.silent = true});
    loop.advance(0.5);
    popups.clear();
    PumpTable[4].SpeedCommand.Run = 0;
    SendSpeedCommandNow(4);
    serial.unplug(PumpFleetHarness::portOf(4));
    loop.advance(0.05);
    EXPECT_EQ(popupText("Port Lost"), "COM5 of Pump 3A was lost.\nNot delivered: power-off.");
    EXPECT_EQ(store.countOf(Kind::Link, 4, "Not delivered, COM5 lost: power-off"), 1);
}

// The serial monitor shows which entry's adapter is gone.
TEST_F(PortLoss, TheSerialMonitorShowsAPortLost) {
    start();
    const int port = PumpFleetHarness::portOf(6);
    serial.unplug(port);
    loop.advance(0.05);
    // Opened while the port is gone, the window lists it as missing; back, as any other.
    Show_Serial_Window(0, 0, nullptr, 0);
    const int monitor = SerialMonitorPanel();
    ASSERT_NE(monitor, 0);
    const auto shown = [monitor](int entry) {
        return ui::GetCtrlAttributeInt(monitor, windows::SerialStatus(entry), ui::ATTR_VISIBLE);
    };
    const auto listed = [monitor](int entry) {
        const ui::Control* c = ui::FindCtrl(monitor, windows::SerialPortCtrl(entry));
        return c->items.at(static_cast<std::size_t>(c->selected)).label;
    };
    EXPECT_EQ(shown(6), 1);
    EXPECT_EQ(listed(6), "COM" + std::to_string(port) + " (missing)");
    EXPECT_EQ(ui::GetCtrlInt(monitor, windows::SerialOpenLed(6)), 0);
    EXPECT_EQ(shown(5), 0);
    EXPECT_EQ(listed(5), "COM" + std::to_string(PumpFleetHarness::portOf(5)));
    serial.replug(port);
    loop.advance(2.5);
    EXPECT_EQ(shown(6), 0);
    EXPECT_EQ(ui::GetCtrlInt(monitor, windows::SerialOpenLed(6)), 1);
    EXPECT_EQ(listed(6), "COM" + std::to_string(port));
}

// A pump whose adapter comes back while the fleet is held at idle hears the idle before the
// questions of its first contact, at any moment of the E-stop's rounds, and while the inline
// trip holds the fleet long after its own idle rounds.
TEST_F(PortLoss, APumpBackDuringAnEStopIsIdledAtFirstContact) {
    start();
    std::mt19937 random(5);
    std::uniform_real_distribution<double> phase(0.0, 0.3);
    fleet->unit(9).setSpeedSetpoint(1400);
    loop.advance(8.0);
    breakLoop();
    loop.advance(0.5);
    for (int round = 0; round < 6; ++round) {
        if (round == 3) {
            closeLoop();
            safety::InlineTripEnabled = 1;
            safety::CheckInlinePressure("9999\r\n");
        }
        serial.unplug(PumpFleetHarness::portOf(9));
        loop.advance(1.0 + phase(random));
        fleet->unit(9).setSpeedSetpoint(1400);  // as if someone ran it up locally meanwhile
        heard.clear();
        serial.replug(PumpFleetHarness::portOf(9));
        loop.advance(2.5);
        ASSERT_EQ(PumpTable[9].Online, 1) << "round " << round;
        int firstIdle = -1, firstTimeouts = -1;
        for (int i = 0; i < static_cast<int>(heard.size()); ++i) {
            if (heard[i].pump != 9) continue;
            if (heard[i].code == 0x1A && firstIdle < 0) firstIdle = i;
            if (heard[i].code == 0x3C && firstTimeouts < 0) firstTimeouts = i;
        }
        ASSERT_GE(firstIdle, 0) << "round " << round;
        ASSERT_GE(firstTimeouts, 0) << "round " << round;
        EXPECT_LT(firstIdle, firstTimeouts) << "round " << round;
        EXPECT_LE(fleet->unit(9).setpoint(), kIdleRpm) << "round " << round;
    }
}

// The operator's answer to the message that another unit answers on a port: the test acts
// while the message is open, and its return is the OK. In use while it lives.
class OkLater : public ui::ScriptedPopups {
  public:
    explicit OkLater(ui::PopupBackEnd& after) : after_(after) { ui::setPopupBackEnd(this); }
    ~OkLater() override { ui::setPopupBackEnd(&after_); }
    std::function<void()> whileOpen;
    int opened = 0;
    void message(const std::string& title, const std::string& text) override {
        ScriptedPopups::message(title, text);
        if (title != kAnotherUnitTitle) return;
        ++opened;
        if (whileOpen) whileOpen();
    }

  private:
    ui::PopupBackEnd& after_;
};

// A restart with another unit behind COM5, then the units behind COM3 and COM4 swapped by a
// replug at random phases of the poll and retry cycles: said at once, journalled, marked on
// the rows, and until the operator's OK no raise reaches either pump, by hand, by its group or
// by automatic control, while STOP, the step-downs and the power-off go out; after OK raises
// work again. The same units after a replug, or a unit given its identification by the
// station just before the adapter was pulled, say nothing.
TEST_F(PortLoss, AnotherUnitBehindAPortGetsNoRaiseUntilTheOperatorConfirmsIt) {
    SimFixture::store.set("HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC", "Unit Seen 5",
                          platform::RegValue{platform::RegValue::String, 0, "OLD-05", {}, {}});
    settings::ConfigRecord config = FleetConfig();
    config.PumpGroup[2] = config.PumpGroup[5] = 1;  // pump 3 in a group with pump 6
    start(config);
    const std::string now5 = fleet->unit(4).pumpId();
    const std::string line5 = "COM5 now answers as " + now5 + "; it was OLD-05: check the cabling";
    ASSERT_EQ(startUpPopups.size(), 1u);
    EXPECT_EQ(startUpPopups[0].text,
              line5 + "\nUntil OK, Pump 3A cannot be sped up; STOP, step-down and power-off work.");
    EXPECT_EQ(store.countOf(Kind::Link, 4, line5), 1);
    for (int p = 0; p < kPumps; ++p)
        EXPECT_EQ(settings::ReadUnitSeen(p), fleet->unit(p).pumpId()) << "kept, pump " << p + 1;

    OkLater answers(popups);
    const int a = 2, b = 3, partner = 5;  // pumps 3 and 4 on COM3 and COM4; pump 6
    const auto press = [](int pump, int position) {
        ui::Press(BankPanel[BankOf(pump)], BankRow[pump][position]);
    };
    const auto idField = [](int pump, ui::Attr attribute) {
        return ui::GetCtrlAttributeInt(BankPanel[0], BankRow[pump][windows::kPosPumpId], attribute);
    };
    for (int p : {a, b, partner}) fleet->unit(p).setSpeedSetpoint(1000);
    loop.advance(3.0);
    std::mt19937 random(4207);
    std::uniform_real_distribution<double> phase(0.0, 2.0);
    for (int round = 0; round < 5; ++round) {
        const bool swapped = round % 2 == 0;  // else the same units come back
        const std::string idA = fleet->unit(a).pumpId(), idB = fleet->unit(b).pumpId();
        if (round == 3) {  // the station names unit a itself, the adapter pulled at once after
            PumpIdWrite w;
            std::memcpy(w.id.data(), "NEW-03", 6);
            SendPumpCommand(a, w);
            ASSERT_TRUE(loop.runUntil([&] { return fleet->unit(a).pumpId() == "NEW-03"; }, 1.0));
        }
        serial.unplug(PumpFleetHarness::portOf(a));
        serial.unplug(PumpFleetHarness::portOf(b));
        if (swapped) {
            fleet->unit(a).setPumpId(idB);
            fleet->unit(b).setPumpId(idA);
        }
        loop.advance(0.5 + phase(random));
        answers.opened = 0;
        const double pluggedAt = loop.now();
        double saidAt = -1.0;
        answers.whileOpen = [&] {
            if (saidAt >= 0.0) return;
            saidAt = loop.now();
            loop.advance(1.0);  // the rows refreshed; both units found
            for (int p : {a, b}) {
                const std::string line = "COM" + std::to_string(PumpFleetHarness::portOf(p)) +
                                         " now answers as " + (p == a ? idB : idA) +
                                         "; it was " + (p == a ? idA : idB) + ": check the cabling";
                EXPECT_EQ(store.countOf(Kind::Link, p, line), 1) << line;
                EXPECT_EQ(idField(p, ui::ATTR_TEXT_BGCOLOR), 0xFFB000) << "pump " << p + 1;
                EXPECT_TRUE(UnitUnconfirmed(p));
            }
            heard.clear();
            const int atA = PumpTable[a].RpmSetpoint, atPartner = PumpTable[partner].RpmSetpoint;
            press(a, windows::kPosStepUpSmall);
            EXPECT_EQ(ui::FindCtrl(BankPanel[0], windows::BANK_REFUSAL)->text,
                      "Speed up refused: another unit on its port");
            press(b, windows::kPosStepUpLarge);
            press(partner, windows::kPosStepUpSmall);  // the group: pump 6 and pump 3
            EXPECT_EQ(CommandSpeed(b, 1500), SpeedResult::RefusedHeld) << "automatic control";
            loop.advance(0.5);
            EXPECT_TRUE(speedsTo(a).empty() && speedsTo(b).empty());
            EXPECT_EQ(speedsTo(partner), std::vector<int>{atPartner + 25}) << "the group's other";
            press(a, windows::kPosStepDownSmall);
            press(b, round == 4 ? windows::kPosPowerOff : windows::kPosStop);
            loop.advance(0.5);
            EXPECT_EQ(speedsTo(a), std::vector<int>{atA - 25});
            ASSERT_EQ(speedsTo(b).size(), 1u);
            const auto toB = std::find_if(heard.begin(), heard.end(), [b](const Command& c) {
                return c.pump == b && c.code == 0x1A;
            });
            EXPECT_EQ(toB->data[2], round == 4 ? 0 : 1) << "Run 0 only for the power-off";
        };
        serial.replug(PumpFleetHarness::portOf(a));
        serial.replug(PumpFleetHarness::portOf(b));
        loop.advance(3.0);
        ASSERT_EQ(PumpTable[a].Online + PumpTable[b].Online, 2) << "round " << round;
        EXPECT_EQ(answers.opened, swapped ? 1 : 0) << "round " << round;
        if (swapped) {
            EXPECT_LT(saidAt - pluggedAt, 2.6) << "at the first contact after the retry";
        }
        for (int p : {a, b}) EXPECT_FALSE(UnitUnconfirmed(p)) << "round " << round;
        heard.clear();
        const int atA = PumpTable[a].RpmSetpoint;
        press(a, windows::kPosStepUpSmall);
        EXPECT_EQ(CommandSpeed(b, 1100), SpeedResult::Sent) << "round " << round;
        loop.advance(1.0);
        EXPECT_EQ(speedsTo(a), std::vector<int>{atA + 25}) << "raised again, round " << round;
        for (int p : {a, b}) EXPECT_NE(idField(p, ui::ATTR_TEXT_BGCOLOR), 0xFFB000);
    }
    EXPECT_EQ(store.countOf(Kind::Command, a, "COM3 confirmed as "), 3);
    EXPECT_EQ(settings::ReadUnitSeen(a), fleet->unit(a).pumpId());
}

// The E-stop's serial input pulled during an active E-stop: shown failed, the E-stop stays
// active and its rounds go on; put back, it is opened again and read again.
TEST_F(PortLoss, EStopSerialInputPulledDuringAnEStopStaysActiveAndComesBack) {
    storeDword("EStopParallelPort", 0);
    storeDword("EStopSerialPortNum", 30);
    serial.addPort(30);
    serial.setCts(30, true);
    start();
    loop.advance(0.5);
    ASSERT_EQ(EStopActive(), 0);
    const auto failedShown = [] {
        return ui::GetCtrlAttributeInt(BankPanel[0], windows::BANK_ESTOP_STATUS, ui::ATTR_VISIBLE);
    };
    serial.setCts(30, false);
    loop.advance(0.5);
    ASSERT_EQ(EStopActive(), 1);
    trace::setModules("estop");
    testing::internal::CaptureStderr();
    serial.unplug(30);
    loop.advance(0.05);
    const std::string traced = testing::internal::GetCapturedStderr();
    trace::setModules("");
    EXPECT_EQ(traced,
              "vnk estop: CTS of COM30: the port is gone\n"
              "vnk estop: CTS of COM30: input failed: not open\n")
        << "the sample that finds the port gone is a failed one, not a closed loop";
    EXPECT_EQ(failedShown(), 1);
    heard.clear();
    loop.advance(3.0);
    EXPECT_EQ(EStopActive(), 1) << "a failed input never releases the E-stop";
    EXPECT_GE(speedsTo(0).size(), 9u) << "rounds go on";
    EXPECT_EQ(failedShown(), 1);

    serial.replug(30);  // the loop is still broken (CTS not asserted)
    serial.setCts(30, false);
    loop.advance(2.1);
    EXPECT_EQ(failedShown(), 0) << "reopened and read";
    EXPECT_EQ(EStopActive(), 1);
    EXPECT_EQ(store.countOf(Kind::EStop, kNoPump, "E-stop input back on COM30"), 1);
    EXPECT_EQ(store.countOf(Kind::Port, kNoPump, "COM30 lost: the device is gone"), 1)
        << "the E-stop input's port keeps its own line";
    serial.setCts(30, true);
    loop.advance(0.1);
    EXPECT_EQ(EStopActive(), 0);
}

}  // namespace
