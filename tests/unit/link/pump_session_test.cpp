// The pump session: what a good packet does to the pump and its queue, first contact, the
// port the bytes belong to, floods, coming on and going off line, the watchdog and the
// polls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/link_fixture.h"

using linktest::ack;
using linktest::dataReply;
using linktest::Record;
using linktest::reply;

namespace {

namespace f = record;

class Session : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        attach(0);
    }
    static Record sample() {
        return Record()
            .f32(f::kRateGpm, 420.0f)
            .f32(f::kMotorRpm, 1500.0f)
            .f32(f::kWindingA, 170.0f)
            .u16(f::kStatus, 0x0040)
            .u16(f::kLastTrip, 9100)
            .u16(f::kTripPoint, 9500);
    }
    std::vector<WireCode> queuedCodes(int pump) {
        std::vector<WireCode> codes;
        for (int i = 0; i < QueuedItems(pump); ++i) codes.push_back(*QueuedCode(pump, i));
        return codes;
    }
};

TEST_F(Session, GoingOffLineClearsLiveValuesButKeepsTemperaturesAndTrip) {
    int offline = 0;
    LinkHooks h;
    h.bringFracOffline = [&](int dim, int pump) {
        if (dim == 0) return;
        ++offline;
        // The values are already cleared when the display refreshes, Online not yet.
        EXPECT_EQ(PumpTable[pump].MotorRpm, 0.0f);
        EXPECT_EQ(PumpTable[pump].Online, 1);
    };
    SetLinkHooks(h);
    bringOnline(0, sample());
    feed(0, dataReply(WireCode::PumpId, {'F', 'P', '-', '0', '1', 0, 0, 0, 0}));
    ASSERT_TRUE(PumpRowEnabled(0));
    timerPanel(ComTimerTick, 0.495);
    loop.advance(15.0);
    ASSERT_EQ(PumpTable[0].Online, 0);
    EXPECT_EQ(offline, 1);
    EXPECT_FALSE(PumpRowEnabled(0));
    const PumpRecord& r = PumpTable[0];
    for (float v : {r.MotorRpm, r.OilTemperature, r.DischargePressure, r.PumpRpm, r.PumpRate,
                    r.HydraulicHp, r.OilPressure, r.SuctionPressure, r.TotalVolume})
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(r.Tripped, 0);
    EXPECT_STREQ(r.PumpId, "");
    EXPECT_EQ(r.RpmSetpoint, 0);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Rpm, 0);
    EXPECT_FLOAT_EQ(r.WindingTempA, 170.0f);
    EXPECT_FLOAT_EQ(r.TripPressure, 9500.0f);
    EXPECT_FLOAT_EQ(r.LastTripPressure, 9100.0f);
    EXPECT_EQ(r.StatusWord, 0x0040);
}

TEST_F(Session, PollingAsksPumpsOffLineToConnectAndPumpsOnLineForData) {
    attach(1);
    attach(23);
    PumpTable[2].ComPort = 99;  // a port, but not open
    timerPanel(GetControlData, 0.1);
    timerPanel(GetIdTimer, 10.0);
    bringOnline(1);
    loop.advance(0.1);
    EXPECT_EQ(QueuedCode(0, 0), WireCode::PumpConfig);
    EXPECT_EQ(QueuedCode(1, 0), WireCode::DataRecord);
    EXPECT_EQ(QueuedCode(23, 0), WireCode::PumpConfig);
    EXPECT_EQ(QueuedItems(2), 0);

    // A reconnect request takes a pump on line back to the connect poll for one tick.
    feed(1, Record().packet());
    sent(1);
    PumpTable[1].ReconnectRequest = 1;
    loop.advance(0.1);
    EXPECT_EQ(PumpTable[1].Online, 0);
    EXPECT_EQ(PumpTable[1].ReconnectRequest, 0);
    EXPECT_EQ(queuedCodes(1), std::vector<WireCode>{WireCode::PumpConfig});

    // Network information: every open port, every 10 s.
    for (int p : {0, 1, 23}) drainQueue(p);
    loop.advance(10.0);
    for (int p : {0, 1, 23}) {
        const auto codes = queuedCodes(p);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), WireCode::NetworkInfo), 1) << p;
    }
    EXPECT_EQ(QueuedItems(2), 0);
}

class Watchdog : public Session {
  protected:
    void SetUp() override {
        Session::SetUp();
        LinkHooks h;
        h.bringFracOffline = [this](int dim, int) { (dim == 1 ? offCalls : onCalls)++; };
        SetLinkHooks(h);
        timerPanel(ComTimerTick, 0.495);
    }
    int offCalls = 0;
    int onCalls = 0;
};

TEST_F(Watchdog, OffLineOnTheTwentyNinthTickExactlyOnce) {
    feed(0, sample().packet());  // at a tick boundary: t = 0
    ASSERT_EQ(onCalls, 1);
    loop.advance(28 * 0.495 + 0.001);
    EXPECT_EQ(PumpTable[0].Online, 1);
    EXPECT_NEAR(PumpTable[0].SecondsSinceRx, 13.86, 1e-4);
    loop.advance(0.495);
    EXPECT_EQ(PumpTable[0].Online, 0);
    EXPECT_EQ(offCalls, 1);
    loop.advance(30.0);
    EXPECT_EQ(offCalls, 1);
}

TEST_F(Session, GoodPacketsOfEveryTypeAnswerButOnlyADataReplyBringsOnLine) {
    for (int type : {0, 1, 3}) {
        SendShortCommand(0, WireCode::AlarmOptions, 0);  // something in flight
        PumpTable[0].SecondsSinceRx = 9.0f;
        feed(0, reply(type, 0x33, 0));
        EXPECT_EQ(PumpTable[0].SecondsSinceRx, 0.0f) << "type " << type;
        EXPECT_EQ(QueuedItems(0), 0) << "type " << type;
        EXPECT_EQ(PumpTable[0].TxQueue.Deadline, 0.0);
        EXPECT_EQ(PumpTable[0].Online, 0) << "type " << type;
    }
    // A bad CRC is not a packet: the silence goes on counting.
    auto bad = sample().packet();
    bad[12] ^= 0x40;
    PumpTable[0].SecondsSinceRx = 3.0f;
    feed(0, bad);
    EXPECT_EQ(PumpTable[0].SecondsSinceRx, 3.0f);
    EXPECT_EQ(PumpTable[0].Online, 0);

    feed(0, sample().packet());
    EXPECT_EQ(PumpTable[0].Online, 1);
    EXPECT_EQ(PumpTable[0].Tripped, 1);
}

}  // namespace
