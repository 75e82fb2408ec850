// The operations other modules command pumps with: what each puts on the wire, the speed
// step and its limits, who is skipped, and idle-all.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/link_fixture.h"

using linktest::Sent;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Expected {
    PacketType type;
    WireCode code;
    int arg1;
    Bytes data;
};

class Operations : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        attach(0);
        bringOnline(0);
    }
    // Runs the operation on pump 0 and returns everything it put on the wire.
    template <typename Payload>
    std::vector<Sent> run(const Payload& payload) {
        SendPumpCommand(0, payload);
        return drainQueue(0);
    }
    static void expectPackets(const std::vector<Sent>& got, const std::vector<Expected>& want) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].type, want[i].type) << "#" << i;
            EXPECT_EQ(got[i].code, want[i].code) << "#" << i;
            EXPECT_EQ(got[i].arg1, want[i].arg1) << "#" << i;
            EXPECT_EQ(got[i].arg2, 0) << "#" << i;
            EXPECT_EQ(got[i].data, want[i].data) << "#" << i;
        }
    }
    static constexpr PacketType kShort = PacketType::Short;
    static constexpr PacketType kData = PacketType::Command;
};

// Idle brings a pump down to its idle speed and never up: a stop path must not start a
// stopped pump or speed up a slow one. It is never above the newest speed the station
// commanded nor the set-point the pump reported; only when neither is known does the
// motor's measured speed bound it.
TEST_F(Operations, IdleBringsAPumpDownNeverUp) {
    constexpr int kNone = PumpRecord::kNoRpm;
    struct Case {
        int commanded, reported;
        float motor, minRpm, maxRpm;
        int idle;
    };
    const Case cases[] = {
        {kNone, kNone, 1500.0f, 600.9f, 2000.0f, 600},   // truncated minimum
        {kNone, kNone, 0.0f, 600.0f, 2000.0f, 0},        // stopped stays stopped
        {kNone, kNone, 280.0f, 600.0f, 2000.0f, 280},    // slower than idle keeps its speed
        {kNone, 300, 900.0f, 600.0f, 2000.0f, 300},      // a reported set-point bounds it
        {0, 1200, 1400.0f, 600.0f, 2000.0f, 0},          // a STOP outranks a stale report
        {1500, 0, 1400.0f, 600.0f, 2000.0f, 0},          // and a report outranks a command
        {2000, 2000, 2000.0f, 40000.0f, 1200.0f, 1200},  // a bad idle never exceeds the maximum
        {1500, kNone, 1500.0f, -50.0f, 2000.0f, 0},      // nor goes negative
    };
    for (const Case& c : cases) {
        PumpRecord& r = PumpTable[0];
        r.CommandedRpm = c.commanded;
        r.ReportedRpm = c.reported;
        PumpTable[0].SpeedCommand.Rpm = 1500;
        r.RpmSetpoint = 1500;
        PumpTable[0].SpeedCommand.Run = 1;
        r.MotorRpm = c.motor;
        r.MinRpm = c.minRpm;
        r.MaxRpm = c.maxRpm;
        auto sent = run(Op::Idle);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(pumpsim::getI16(sent[0].data, 0), c.idle)
            << "commanded " << c.commanded << ", reported " << c.reported;
        EXPECT_EQ(sent[0].data[2], 1) << "the run byte is kept";
        EXPECT_EQ(r.RpmSetpoint, c.idle);
        EXPECT_EQ(r.CommandedRpm, c.idle);
    }
}

// The reply to a request that went out before a STOP reports the old set-point. It must
// not undo the STOP, and no idle round may put the pump back to its idle speed, whether the
// STOP is still waiting, on its way or answered.
TEST_F(Operations, AStaleRecordNeverUndoesAStopOrAPowerOff) {
    const auto report = [](int setpoint) {
        return linktest::Record()
            .u16(record::kStatus, static_cast<std::uint16_t>(kStatusReportsSetpoint | 0x20))
            .u16(record::kSetpoint, static_cast<std::uint16_t>(setpoint))
            .f32(record::kMotorRpm, 1200.0f)
            .u8(record::kDriveOn, 1)
            .packet();
    };
    const auto speeds = [](const std::vector<Sent>& sent) {
        std::vector<std::pair<int, int>> out;  // rpm, run
        for (const Sent& s : sent)
            if (s.code == WireCode::Speed) out.emplace_back(pumpsim::getI16(s.data, 0), s.data[2]);
        return out;
    };
    PumpTable[0].MinRpm = 600.0f;
    PumpTable[0].MaxRpm = 1900.0f;
    feed(0, report(1200));
    ASSERT_EQ(PumpTable[0].RpmSetpoint, 1200);
    drainQueue(0);

    for (int phase = 0; phase < 3; ++phase) {
        PumpTable[0].CommandedRpm = PumpRecord::kNoRpm;
        feed(0, report(1200));  // the pump runs at 1200 again
        drainQueue(0);
        PollPump(0);  // a data request on its way
        SendPumpCommand(0, SpeedStep::Stop);
        if (phase == 0) IdleOpenPump(0);  // an E-stop round while the STOP waits
        feed(0, report(1200));            // the stale reply; the STOP goes out now
        EXPECT_EQ(PumpTable[0].RpmSetpoint, 0) << "phase " << phase;
        if (phase == 1) IdleOpenPump(0);  // a round while the STOP is on its way
        if (phase == 2) {
            feed(0, linktest::ack());  // the STOP answered
            feed(0, report(0));
            IdleOpenPump(0);
        }
        auto heard = speeds(sent(0));
        auto rest = speeds(drainQueue(0));
        heard.insert(heard.end(), rest.begin(), rest.end());
        ASSERT_FALSE(heard.empty());
        for (auto [rpm, run] : heard) EXPECT_EQ(rpm, 0) << "phase " << phase;
    }

    // A request that timed out is answered late, while the STOP sent after it is on its way:
    // that reply is as old as the first.
    feed(0, report(1200));
    drainQueue(0);
    PollPump(0);
    loop.advance(ReplyTimeout + 0.2);
    QueueTimer(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
    ASSERT_EQ(QueuedItems(0), 0);
    SendPumpCommand(0, SpeedStep::Stop);
    feed(0, report(1200));
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 0) << "a late reply while the STOP is in flight";
    drainQueue(0);

    // A power-off waiting behind a request is replaced only by a command that powers off as
    // well: an idle keeps its Run 0.
    feed(0, report(1200));
    drainQueue(0);
    PollPump(0);
    PumpTable[0].SpeedCommand.Rpm = 0;
    PumpTable[0].SpeedCommand.Run = 0;
    SendSpeedCommandNow(0);
    IdleOpenPump(0);
    feed(0, report(1200));
    auto heard = speeds(drainQueue(0));
    ASSERT_FALSE(heard.empty());
    for (auto [rpm, run] : heard) {
        EXPECT_EQ(rpm, 0);
        EXPECT_EQ(run, 0);
    }
}

// A pump that comes on line while an idle of the station's waits for it: its motor's speed is
// not taken for its set-point, the idle is.
TEST_F(Operations, APumpComingOnLineKeepsTheCommandOnItsWay) {
    PumpWentOffline(0);
    PumpTable[0].Online = 0;
    PumpTable[0].MinRpm = 600.0f;
    PollPump(0);      // the connect poll
    IdleOpenPump(0);  // an E-stop round reaches the silent pump: it stops
    ASSERT_EQ(PumpTable[0].SpeedCommand.Rpm, 0);
    const auto running = linktest::Record().f32(record::kMotorRpm, 1500.0f).u8(record::kDriveOn, 1);
    feed(0, running.packet());  // answers the poll: on line; the idle goes out
    ASSERT_EQ(PumpTable[0].Online, 1);
    feed(0, running.packet());  // a record before the idle's answer
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 0);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Rpm, 0);
    drainQueue(0);
}

class SpeedSteps : public Operations {
  protected:
    void SetUp() override {
        Operations::SetUp();
        PumpRecord& r = PumpTable[0];
        r.MaxRpm = 1800.6f;
        r.MinRpm = 600.9f;
        r.RpmStepSmall = 25;
        r.RpmStepLarge = 100;
        PumpTable[0].SpeedCommand.Run = 1;
        SetRaiseGate([](int) { return g_gateOpen ? RaiseHold::None : RaiseHold::EStop; });
        g_gateOpen = true;
    }
    static inline bool g_gateOpen = true;
    // The rpm of the speed command the step sent (and checks it was the last packet).
    int step(int from, SpeedStep s) {
        PumpTable[0].RpmSetpoint = static_cast<std::int16_t>(from);
        PumpTable[0].CommandedRpm = from;  // as if the station had sent it
        auto got = run(s);
        if (got.empty() || got.back().code != WireCode::Speed || got.back().data.size() != 6) {
            ADD_FAILURE() << "no speed command";
            return -99999;
        }
        const int rpm = pumpsim::getI16(got.back().data, 0);
        EXPECT_EQ(rpm, PumpTable[0].RpmSetpoint);
        EXPECT_EQ(rpm, PumpTable[0].SpeedCommand.Rpm);
        EXPECT_EQ(got.back().data[2], 1);
        return rpm;
    }
};

TEST_F(SpeedSteps, StepsAndClamps) {
    EXPECT_EQ(step(1000, SpeedStep::UpSmall), 1025);
    EXPECT_EQ(step(1000, SpeedStep::UpLarge), 1100);
    EXPECT_EQ(step(1000, SpeedStep::DownSmall), 975);
    EXPECT_EQ(step(1000, SpeedStep::DownLarge), 900);
    EXPECT_EQ(step(1750, SpeedStep::UpLarge), 1800);  // truncated MaxRpm
    EXPECT_EQ(step(50, SpeedStep::DownLarge), 0);     // never below 0
    EXPECT_EQ(step(1000, SpeedStep::Stop), 0);
    EXPECT_EQ(step(1000, SpeedStep::Idle), 600);
}

// A raise is judged by the speed it sends: no raise without a known, finite maximum, none
// through a closed gate, none without a gate; a step down never ends above where it began,
// whatever the steps are.
TEST_F(SpeedSteps, WhatRaisesAndWhatMayRaise) {
    const auto refused = [this](int from, SpeedStep s) {
        PumpTable[0].RpmSetpoint = static_cast<std::int16_t>(from);
        for (const Sent& sent : run(s))
            if (sent.code == WireCode::Speed) return false;
        return PumpTable[0].RpmSetpoint == from;
    };
    for (float ceiling : {0.0f, -5.0f, std::nanf(""), INFINITY}) {
        PumpTable[0].MaxRpm = ceiling;
        EXPECT_TRUE(refused(1000, SpeedStep::UpSmall)) << ceiling;
        EXPECT_FALSE(StepRaises(0, SpeedStep::DownSmall)) << ceiling;
        EXPECT_EQ(CommandSpeed(0, 1200), SpeedResult::RefusedNoCeiling) << ceiling;
        drainQueue(0);  // the limits asked for
    }
    EXPECT_EQ(popups.count("Speed"), 1) << "one message for a burst of refusals";
    PumpTable[0].MaxRpm = 1800.0f;
    EXPECT_EQ(step(1000, SpeedStep::DownSmall), 975) << "a step down needs no ceiling";

    g_gateOpen = false;  // an emergency stop holds the fleet
    EXPECT_TRUE(refused(1000, SpeedStep::UpLarge));
    EXPECT_EQ(CommandSpeed(0, 1001), SpeedResult::RefusedHeld);
    EXPECT_EQ(step(1000, SpeedStep::Stop), 0);
    EXPECT_EQ(CommandSpeed(0, 0), SpeedResult::Sent);
    drainQueue(0);
    SetRaiseGate(nullptr);
    g_gateOpen = true;
    EXPECT_TRUE(refused(1000, SpeedStep::UpLarge)) << "no gate, no raise";
    EXPECT_EQ(step(1000, SpeedStep::DownLarge), 900);

    // Steps that went wrong in a settings file: a step down still never raises.
    SetRaiseGate([](int) { return RaiseHold::None; });
    for (int bad : {0, -1, -25536}) {
        PumpTable[0].RpmStepSmall = static_cast<std::int16_t>(bad);
        PumpTable[0].RpmStepLarge = static_cast<std::int16_t>(bad);
        EXPECT_FALSE(StepRaises(0, SpeedStep::DownSmall)) << bad;
        EXPECT_LE(step(700, SpeedStep::DownSmall), 700) << bad;
        EXPECT_LE(step(700, SpeedStep::DownLarge), 700) << bad;
        EXPECT_EQ(step(0, SpeedStep::DownLarge), 0) << bad;
    }
}

TEST_F(SpeedSteps, GroupedPumpsGoToTheirHandler) {
    std::vector<std::pair<int, SpeedStep>> handled;
    SetOperationHooks({[&](int pump, SpeedStep s) { handled.emplace_back(pump, s); }});
    PumpTable[0].PumpGroup = 2;
    Send_RPM_Request(0, SpeedStep::UpLarge);
    EXPECT_TRUE(drainQueue(0).empty());
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0], std::make_pair(0, SpeedStep::UpLarge));
    PumpTable[0].PumpGroup = kNoGroup;
    PumpTable[0].RpmSetpoint = 1000;
    Send_RPM_Request(0, SpeedStep::UpLarge);
    auto got = drainQueue(0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(pumpsim::getI16(got[0].data, 0), 1100);
}

class Fleet24 : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        for (int p = 0; p < kPumpCount; ++p) {
            attach(p);
            SetPumpRowDimmed(p, false);
            serial.setWriteListener(portOf(p), [this](int port, const std::vector<std::uint8_t>&) {
                order.push_back(port - 1);
            });
        }
    }
    std::vector<int> order;
};

// A second trip while the first one's repeats still run starts two repeats of its own.
TEST_F(Fleet24, ASecondTripRestartsTheRepeats) {
    int control = 0;
    const int panel = timerPanel(TmrOpTrip, 0.5, &control);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    SetOpTripTimer(panel, control);
    IdleAllPumps();
    loop.advance(0.5);  // one repeat gone
    IdleAllPumps();
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, control, ui::ATTR_ENABLED), 1)
        << "one repeat of the second trip still to come";
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, control, ui::ATTR_ENABLED), 0);
}

TEST_F(Fleet24, IdleAllGoesOutThreeTimesHalfASecondApart) {
    int control = 0;
    const int panel = timerPanel(TmrOpTrip, 0.5, &control);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    SetOpTripTimer(panel, control);
    for (int p = 0; p < kPumpCount; ++p) {
        PumpTable[p].MinRpm = 650.0f;
        PumpTable[p].MotorRpm = 1500.0f;
        PumpTable[p].SpeedCommand.Rpm = 1500;
    }

    for (int round = 0; round < 2; ++round) {  // a second trip works the same way
        for (int p = 0; p < kPumpCount; ++p) drainQueue(p);
        IdleAllPumps();
        EXPECT_EQ(QueuedItems(5), 1);
        loop.advance(0.5);
        EXPECT_EQ(QueuedItems(5), 2);
        loop.advance(0.5);
        // The third takes the place of the second, still waiting: one idle behind the head.
        EXPECT_EQ(QueuedItems(5), 2);
        EXPECT_EQ(ui::GetCtrlAttributeInt(panel, control, ui::ATTR_ENABLED), 0);
        loop.advance(3.0);
        EXPECT_EQ(QueuedItems(5), 2);
        auto got = drainQueue(5);
        ASSERT_EQ(got.size(), 2u);
        for (const auto& s : got) EXPECT_EQ(pumpsim::getI16(s.data, 0), 650);
    }
}

}  // namespace
