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

TEST_F(TxQueueTest, ConnectPollsToADeadPumpWaitTenAtMostAndLeaveOnePerTimeout) {
    timerPanel(GetControlData, 0.1);
    timerPanel(QueueTimer, 0.05);
    int maxWaiting = 0;
    std::size_t written = 0;
    for (int step = 0; step < 600; ++step) {  // 60 s
        loop.advance(0.1);
        maxWaiting = std::max(maxWaiting, PumpTable[0].TxQueue.Count1B);
        for (const auto& s : sent(0)) {
            EXPECT_EQ(s.code, WireCode::PumpConfig);
            ++written;
        }
    }
    EXPECT_EQ(maxWaiting, kMaxConnectPollsWaiting);
    EXPECT_EQ(PumpTable[0].TxQueue.Count1B, kMaxConnectPollsWaiting);
    // The first at 0.1 s, then one when each 5 s time-out passes.
    EXPECT_EQ(written, 12u);
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

TEST_F(TxQueueTest, AtMostOneDataRequestWaits) {
    bringOnline(0);
    SendShortCommand(0, WireCode::AlarmLimits, 0);  // something ahead of it
    EXPECT_EQ(SendShortCommand(0, WireCode::DataRecord, 0), QueueResult::Queued);
    EXPECT_EQ(SendShortCommand(0, WireCode::DataRecord, 0), QueueResult::Refused);
    EXPECT_EQ(PumpTable[0].TxQueue.Count18, 1);
    feed(0, ack());
    auto out = sent(0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].code, WireCode::DataRecord);
    feed(0, Record().packet());
    EXPECT_EQ(PumpTable[0].TxQueue.Count18, 0);
    EXPECT_EQ(SendShortCommand(0, WireCode::DataRecord, 0), QueueResult::Queued);
}

TEST_F(TxQueueTest, ALateAnswerCompletesThePacketSentNext) {
    bringOnline(0);
    timerPanel(QueueTimer, 0.05);
    SendShortCommand(0, WireCode::AlarmLimits, 0);
    SendShortCommand(0, WireCode::AlarmOptions, 0);
    sent(0);
    loop.advance(5.0);
    EXPECT_TRUE(sent(0).empty());  // not yet past the deadline
    loop.advance(0.06);
    auto out = sent(0);  // the first timed out, the second went
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, WireCode::AlarmOptions);
    // The answer to the first arrives now and is taken for the answer to the second.
    feed(0, linktest::dataReply(WireCode::AlarmLimits, std::vector<std::uint8_t>(128, 0)));
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_EQ(PumpTable[0].TxQueue.Deadline, 0.0);
    // The timed-out packet is never sent again.
    loop.advance(20.0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(TxQueueTest, WhatCannotBeQueuedIsRefused) {
    std::vector<std::uint8_t> data(87, 0);
    // A packet too large for any queue item: refused with a popup that counts the item.
    EXPECT_EQ(SendDataCommand(0, WireCode::AiConfig, 0, 0, data), QueueResult::TooLarge);
    ASSERT_EQ(popups.count("Send Error"), 1);
    EXPECT_EQ(popups.shown().back().text,
              "The amount of data to Push was too large, data is 101 bytes.");
    // One byte less fills the item to 100 bytes: refused without a popup.
    data.pop_back();
    EXPECT_EQ(SendDataCommand(0, WireCode::AiConfig, 0, 0, data), QueueResult::TooLarge);
    EXPECT_EQ(popups.count("Send Error"), 1);
    data.pop_back();  // N = 85 is the largest that goes
    EXPECT_EQ(SendDataCommand(0, WireCode::AiConfig, 0, 0, data), QueueResult::Queued);
    // N is its length byte: the data is cut to its size modulo 256.
    feed(0, ack());
    sent(0);
    SendDataCommand(0, WireCode::AiConfig, 0, 0, std::vector<std::uint8_t>(256 + 3, 0));
    auto packets = sent(0);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].data.size(), 3u);

    // No port, ports busy, or no queues yet: nothing is queued or sent.
    EXPECT_EQ(SendShortCommand(1, WireCode::DataRecord, 0), QueueResult::NoPort);
    PortsBusy = 1;
    EXPECT_EQ(SendShortCommand(0, WireCode::DataRecord, 0), QueueResult::Busy);
    PortsBusy = 0;
    ResetTxQueues();
    EXPECT_EQ(SendShortCommand(0, WireCode::DataRecord, 0), QueueResult::NoQueue);
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_TRUE(sent(0).empty());
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
}

}  // namespace
