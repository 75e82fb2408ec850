// Transmit queues and the polling timers: one packet in flight per pump, time-outs, the
// per-code limits, the self-emptying queue, and the statistics.
#include <gtest/gtest.h>

#include <string>

#include "support/link_fixture.h"

using linktest::Record;
using linktest::reply;

namespace {

class Queue : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        attach(0);
    }
};

TEST_F(Queue, OnlyTheHeadIsInFlightAndAnAnswerSendsTheNext) {
    SendShortCommand(0, 0x32, 0);
    SendShortCommand(0, 0x33, 0);
    SendShortCommand(0, 0x1E, 0);
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, 0x32);
    EXPECT_EQ(TxQueue[0].ItemCount, 3);
    EXPECT_DOUBLE_EQ(TxQueue[0].Deadline, loop.now() + 5.0);

    loop.advance(0.2);
    feed(0, reply(0, 0x00, 0));  // any good packet answers
    out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, 0x33);
    EXPECT_DOUBLE_EQ(TxQueue[0].Deadline, 0.2 + 5.0);
    feed(0, reply(0, 0x00, 0));
    feed(0, reply(0, 0x00, 0));
    EXPECT_EQ(TxQueue[0].ItemCount, 0);
    EXPECT_EQ(TxQueue[0].Deadline, 0.0);
    EXPECT_EQ(sent(0).size(), 1u);
}

TEST_F(Queue, SixteenthWriteToASilentPumpEmptiesTheQueueAndGoesAtOnce) {
    for (int i = 0; i < 15; ++i) SendDataCommand(0, 0x36, i, 0, nullptr, 0);
    EXPECT_EQ(TxQueue[0].ItemCount, 15);
    EXPECT_EQ(QueuedItems(0), 15);
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].arg1, 0);

    SendDataCommand(0, 0x36, 15, 0, nullptr, 0);
    out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].arg1, 15);
    EXPECT_EQ(TxQueue[0].ItemCount, 1);
    EXPECT_EQ(QueuedItems(0), 1);
    // Its answer leaves nothing behind.
    feed(0, reply(0, 0x36, 15));
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Queue, ConnectPollsToADeadPumpWaitTenAtMostAndLeaveOnePerTimeout) {
    timerPanel(GetControlData, 0.1);
    timerPanel(QueueTimer, 0.05);
    int maxWaiting = 0;
    std::size_t written = 0;
    for (int step = 0; step < 600; ++step) {  // 60 s
        loop.advance(0.1);
        maxWaiting = std::max(maxWaiting, TxQueue[0].Count1B);
        for (const auto& s : sent(0)) {
            EXPECT_EQ(s.code, 0x1B);
            ++written;
        }
    }
    EXPECT_EQ(maxWaiting, 10);
    EXPECT_EQ(TxQueue[0].Count1B, 10);
    EXPECT_LE(QueuedItems(0), 10);
    // The first at 0.1 s, then one when each 5 s time-out passes.
    EXPECT_EQ(written, 12u);
}

TEST_F(Queue, APumpBackFromSilenceGetsItsTimeoutsAndAlarmOptions) {
    timerPanel(GetControlData, 0.1);
    timerPanel(QueueTimer, 0.05);
    timerPanel(GetIdTimer, 10.0);
    loop.advance(20.05);  // silent: connect polls and network requests pile up
    ASSERT_EQ(TxQueue[0].Count1B, 10);
    sent(0);
    feed(0, Record().packet());  // it answers at last
    loop.advance(0.1);           // and is polled for its data
    ASSERT_EQ(PumpTable[0].Online, 1);
    EXPECT_LT(QueuedItems(0), kQueueDepth) << "the queue emptied itself and lost commands";
    bool timeouts = false, options = false, throttle = false, id = false;
    for (const auto& s : drainQueue(0)) {
        timeouts |= s.type == 3 && s.code == 0x3C;
        options |= s.type == 3 && s.code == 0x33;
        throttle |= s.type == 1 && s.code == 0x02;
        id |= s.type == 1 && s.code == 0x1E;
    }
    EXPECT_TRUE(timeouts);
    EXPECT_TRUE(options);
    EXPECT_TRUE(throttle);
    EXPECT_TRUE(id);
}

TEST_F(Queue, AtMostOneDataRequestWaits) {
    bringOnline(0);
    SendShortCommand(0, 0x32, 0);  // something ahead of it
    EXPECT_GT(SendShortCommand(0, 0x18, 0), 0);
    EXPECT_EQ(SendShortCommand(0, 0x18, 0), 0);
    EXPECT_EQ(TxQueue[0].Count18, 1);
    feed(0, reply(0, 0x32, 0));
    auto out = sent(0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].code, 0x18);
    feed(0, Record().packet());
    EXPECT_EQ(TxQueue[0].Count18, 0);
    EXPECT_GT(SendShortCommand(0, 0x18, 0), 0);
}

TEST_F(Queue, ALateAnswerCompletesThePacketSentNext) {
    bringOnline(0);
    timerPanel(QueueTimer, 0.05);
    SendShortCommand(0, 0x32, 0);
    SendShortCommand(0, 0x33, 0);
    sent(0);
    loop.advance(5.0);
    EXPECT_TRUE(sent(0).empty());  // not yet past the deadline
    loop.advance(0.06);
    auto out = sent(0);  // 0x32 timed out, 0x33 went
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, 0x33);
    EXPECT_EQ(QueuedItems(0), 1);
    // The answer to 0x32 arrives now and is taken for the answer to 0x33.
    feed(0, reply(2, 0x32, 0, std::vector<std::uint8_t>(128, 0)));
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_EQ(TxQueue[0].Deadline, 0.0);
    // The timed-out packet is never sent again.
    loop.advance(20.0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Queue, NothingIsSentWithoutQueues) {
    ResetTxQueues();
    EXPECT_EQ(TxQueue[0].ItemCount, -2);
    EXPECT_LT(SendShortCommand(0, 0x18, 0), 0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Queue, PollingAsksOffLinePumpsToConnectAndOnLinePumpsForData) {
    attach(1);
    attach(23);
    PumpTable[2].ComPort = 99;  // port but not open: Mode 0
    timerPanel(GetControlData, 0.1);
    bringOnline(1);
    loop.advance(0.1);
    ASSERT_EQ(sent(0).size(), 1u);
    EXPECT_EQ(QueuedCode(0, 0), 0x1B);
    EXPECT_EQ(QueuedCode(1, 0), 0x18);
    EXPECT_EQ(QueuedCode(23, 0), 0x1B);
    EXPECT_EQ(QueuedItems(2), 0);

    // A reconnect request takes an on-line pump back to the connect poll for one tick.
    feed(1, Record().packet());
    sent(1);
    ReconnectRequest[1] = 1;
    loop.advance(0.1);
    EXPECT_EQ(PumpTable[1].Online, 0);
    EXPECT_EQ(ReconnectRequest[1], 0);
    auto out = sent(1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, 0x1B);
    EXPECT_EQ(QueuedItems(1), 1);
}

TEST_F(Queue, NetworkInformationIsAskedOfEveryOpenPort) {
    attach(4);
    PumpTable[5].ComPort = 6;  // not open
    timerPanel(GetIdTimer, 10.0);
    loop.advance(10.0);
    for (int pump : {0, 4}) {
        auto out = sent(pump);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].code, 0x08);
        EXPECT_EQ(out[0].type, 1);
    }
    EXPECT_EQ(QueuedItems(5), 0);
}

TEST_F(Queue, StatisticsTrackMaximumAndAverage) {
    SetShowStats(true);
    const int panel = ui::NewPanel(0, "Pumps 1-8", 0, 0, 100, 100);
    int readouts[5];
    for (int i = 0; i < 5; ++i) {
        readouts[i] = 200 + i;
        ui::AddCtrl(panel, readouts[i], ui::CTRL_STRING, "", 0, 0);
    }
    SetStatsReadouts(panel, readouts);
    // Ten answers of 0.1 s, then one of 1.1 s.
    for (int i = 0; i < 10; ++i) {
        SendShortCommand(0, 0x32, 0);
        loop.advance(0.1);
        feed(0, reply(0, 0x32, 0));
    }
    EXPECT_NEAR(QueueStats(0).Average, 0.1, 1e-9);
    SendShortCommand(0, 0x32, 0);
    loop.advance(1.1);
    feed(0, reply(0, 0x32, 0));
    EXPECT_NEAR(QueueStats(0).Maximum, 1.1, 1e-9);
    EXPECT_NEAR(QueueStats(0).Average, 0.11 + 0.09, 1e-9);  // dt/10 + 0.9 x average

    timerPanel(QueueTimer, 0.05);
    loop.advance(0.2);
    EXPECT_EQ(ui::GetCtrlText(panel, readouts[0]), "");  // four ticks so far
    loop.advance(0.05);
    EXPECT_EQ(ui::GetCtrlText(panel, readouts[0]), "1.100, 0.200");
    EXPECT_EQ(ui::GetCtrlText(panel, readouts[1]), "0.000, 0.000");
}

}  // namespace
