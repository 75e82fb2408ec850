// Transmit queues: one packet in flight per pump, answers and time-outs, the per-code
// limits, the self-emptying queue, the size limits and the statistics. CTest also runs these
// twice over in one process (link_queue_twice): state a reset forgets shows up the second time.
#include <gtest/gtest.h>

#include <string>

#include "support/link_fixture.h"

using linktest::ack;
using linktest::Record;

namespace {

class TxQueueTest : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        attach(0);
    }
};

TEST_F(TxQueueTest, OnlyTheHeadIsInFlightAndAnAnswerSendsTheNext) {
    SendShortCommand(0, WireCode::AlarmLimits, 0);
    SendShortCommand(0, WireCode::AlarmOptions, 0);
    SendShortCommand(0, WireCode::PumpId, 0);
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, WireCode::AlarmLimits);
    EXPECT_EQ(PumpTable[0].TxQueue.ItemCount, 3);
    EXPECT_DOUBLE_EQ(PumpTable[0].TxQueue.Deadline, loop.now() + 5.0);

    loop.advance(0.2);
    feed(0, ack());
    out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, WireCode::AlarmOptions);
    EXPECT_DOUBLE_EQ(PumpTable[0].TxQueue.Deadline, 0.2 + 5.0);
    feed(0, ack());
    feed(0, ack());
    EXPECT_EQ(PumpTable[0].TxQueue.ItemCount, 0);
    EXPECT_EQ(PumpTable[0].TxQueue.Deadline, 0.0);
    EXPECT_EQ(sent(0).size(), 1u);
}

TEST_F(TxQueueTest, SixteenthWriteToASilentPumpEmptiesTheQueueAndGoesAtOnce) {
    for (int i = 0; i < 15; ++i)
        SendDataCommand(0, WireCode::ShutdownOverride, static_cast<std::uint8_t>(i), 0, {});
    EXPECT_EQ(QueuedItems(0), 15);
    ASSERT_EQ(sent(0).size(), 1u);

    SendDataCommand(0, WireCode::ShutdownOverride, 15, 0, {});
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].arg1, 15);
    EXPECT_EQ(QueuedItems(0), 1);
    feed(0, ack());  // its answer leaves nothing behind
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_TRUE(sent(0).empty());
}

// A full queue empties itself, but never of the station's last speed command: a STOP stuck
// behind a dead controller's backlog still goes out, first. And only waiting speed commands
// that a new idle or power-off supersedes make room for it.
TEST_F(TxQueueTest, TheLastSpeedCommandSurvivesAFullQueueAndIsOnlySupersededByNoFaster) {
    const auto speed = [](int rpm, int run) {
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(rpm & 0xFF),
                                         static_cast<std::uint8_t>(rpm >> 8),
                                         static_cast<std::uint8_t>(run),
                                         0,
                                         0,
                                         0};
    };
    SendShortCommand(0, WireCode::AlarmLimits, 0);  // the head, never answered
    SendDataCommand(0, WireCode::Speed, 0, 0, speed(900, 1));
    SendDataCommand(0, WireCode::Speed, 0, 0, speed(0, 1));  // the STOP, newest
    for (int i = 3; i < 15; ++i)
        SendDataCommand(0, WireCode::ShutdownOverride, static_cast<std::uint8_t>(i), 0, {});
    sent(0);
    ASSERT_EQ(QueuedItems(0), 15);
    SendDataCommand(0, WireCode::ShutdownOverride, 99, 0, {});
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, WireCode::Speed);
    EXPECT_EQ(out[0].data, speed(0, 1)) << "the newest speed command, not the one before it";
    EXPECT_EQ(QueuedItems(0), 2);
    EXPECT_TRUE(SpeedCommandQueued(0));
    feed(0, ack());
    EXPECT_FALSE(SpeedCommandQueued(0));

    // Waiting: a STOP, a power-off, an idle at 600. A new idle at 600 replaces only the idle;
    // a power-off replaces all three (the last one, Run 0 at 0 rpm, is no faster than any).
    drainQueue(0);
    SendShortCommand(0, WireCode::AlarmLimits, 0);
    SendDataCommand(0, WireCode::Speed, 0, 0, speed(0, 1));
    SendDataCommand(0, WireCode::Speed, 0, 0, speed(0, 0));
    SendDataCommand(0, WireCode::Speed, 0, 0, speed(600, 1));
    EXPECT_EQ(DropWaitingForSpeedCommand(0, 600, 1), 1);
    EXPECT_EQ(DropWaitingForSpeedCommand(0, 0, 1), 1) << "a STOP replaces a STOP, not a power-off";
    EXPECT_EQ(QueuedItems(0), 2);
    SendDataCommand(0, WireCode::Speed, 0, 0, speed(600, 1));
    EXPECT_EQ(DropWaitingForSpeedCommand(0, 0, 0), 2);
    EXPECT_EQ(QueuedItems(0), 1);
}

// A command that lowers a pump takes the line when the exchange in flight ends, ahead of the
// questions waiting, but never ahead of a speed command given before it: a STOP that passed
// a waiting raise would let the raise have the last word.
TEST_F(TxQueueTest, ALoweringCommandGoesAheadOfQuestionsButNeverPassesASpeedCommand) {
    const auto speed = [](int rpm) {
        return std::vector<std::uint8_t>{
            static_cast<std::uint8_t>(rpm & 0xFF), static_cast<std::uint8_t>(rpm >> 8), 1, 0, 0, 0};
    };
    const auto order = [] {
        std::vector<WireCode> codes;
        for (int i = 0; i < QueuedItems(0); ++i) codes.push_back(*QueuedCode(0, i));
        return codes;
    };
    using W = WireCode;
    SendShortCommand(0, W::AlarmLimits, 0);  // in flight
    SendShortCommand(0, W::PumpId, 0);
    SendDataCommand(0, W::Speed, 0, 0, speed(1200));
    SendShortCommand(0, W::ThrottleConfig, 0);
    SendShortCommand(0, W::NetworkInfo, 0);
    SendDataCommand(0, W::Speed, 0, 0, speed(0));
    HurryNewestSpeedCommand(0);
    EXPECT_EQ(order(), (std::vector<W>{W::AlarmLimits, W::PumpId, W::Speed, W::Speed,
                                       W::ThrottleConfig, W::NetworkInfo}));
    feed(0, ack());
    feed(0, ack());
    feed(0, ack());
    EXPECT_EQ(sent(0).back().data, speed(0)) << "the STOP last, after the raise before it";

    // With no speed command waiting it goes right behind the head.
    drainQueue(0);
    SendShortCommand(0, W::AlarmLimits, 0);
    SendShortCommand(0, W::PumpId, 0);
    SendShortCommand(0, W::ThrottleConfig, 0);
    SendDataCommand(0, W::Speed, 0, 0, speed(600));
    HurryNewestSpeedCommand(0);
    EXPECT_EQ(order(), (std::vector<W>{W::AlarmLimits, W::Speed, W::PumpId, W::ThrottleConfig}));
}

TEST_F(TxQueueTest, APumpBackFromSilenceGetsItsTimeoutsAndAlarmOptions) {
    timerPanel(GetControlData, 0.1);
    timerPanel(QueueTimer, 0.05);
    timerPanel(GetIdTimer, 10.0);
    loop.advance(20.05);  // silent: connect polls and network requests pile up
    ASSERT_EQ(PumpTable[0].TxQueue.Count1B, 10);
    sent(0);
    feed(0, Record().packet());  // it answers at last
    loop.advance(0.1);           // and is polled for its data
    ASSERT_EQ(PumpTable[0].Online, 1);
    EXPECT_LT(QueuedItems(0), kQueueDepth) << "the queue emptied itself and lost commands";
    bool timeouts = false, options = false, throttle = false, id = false;
    for (const auto& s : drainQueue(0)) {
        timeouts |= s.type == PacketType::Command && s.code == WireCode::Timeouts;
        options |= s.type == PacketType::Command && s.code == WireCode::AlarmOptions;
        throttle |= s.type == PacketType::Short && s.code == WireCode::ThrottleConfig;
        id |= s.type == PacketType::Short && s.code == WireCode::PumpId;
    }
    EXPECT_TRUE(timeouts);
    EXPECT_TRUE(options);
    EXPECT_TRUE(throttle);
    EXPECT_TRUE(id);
}

int g_statsShown = 0;

// With the statistics on, the read-outs above the link are given them every fifth tick of
// the queue timer; with them off, never.
TEST_F(TxQueueTest, StatisticsAreShownEveryFifthQueueTick) {
    SetStatsShown([] { ++g_statsShown; });
    g_statsShown = 0;
    timerPanel(QueueTimer, 0.05);
    loop.advance(0.5);
    EXPECT_EQ(g_statsShown, 0);
    SetShowStats(true);
    loop.advance(0.2);
    EXPECT_EQ(g_statsShown, 0);
    loop.advance(0.05);
    EXPECT_EQ(g_statsShown, 1);
    loop.advance(0.25);
    EXPECT_EQ(g_statsShown, 2);
    // The response time: the plain average of the first ten answers, then a running one
    // that gives each new answer a tenth.
    for (double wait : {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 1.1}) {
        SendShortCommand(0, WireCode::PumpId, 0);
        loop.advance(wait);
        feed(0, ack());
    }
    EXPECT_NEAR(QueueStats(0).Average, 0.1 * 0.9 + 1.1 / 10, 1e-9);
    EXPECT_NEAR(QueueStats(0).Maximum, 1.1, 1e-9);
}

}  // namespace
