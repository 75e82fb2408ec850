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

TEST_F(Session, FirstContactAsksOnceForThrottleAndPumpId) {
    SendShortCommand(0, WireCode::PumpConfig, 0);  // the connect poll in flight
    serial.takeWritten(1);
    feed(0, dataReply(WireCode::PumpConfig, std::vector<std::uint8_t>(kPumpConfigSize, 0)));
    ASSERT_EQ(PumpTable[0].Online, 1);
    // Time-outs to this pump, alarm options to every pump on line, then the two requests.
    EXPECT_EQ(queuedCodes(0), (std::vector<WireCode>{WireCode::Timeouts, WireCode::AlarmOptions,
                                                     WireCode::ThrottleConfig, WireCode::PumpId}));
    const auto all = drainQueue(0);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[2].type, PacketType::Short);
    EXPECT_EQ(all[3].type, PacketType::Short);

    // Later data replies on line: nothing more.
    feed(0, sample().packet());
    feed(0, sample().packet());
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Session, PumpsComingOnLineTogetherQueueOneAlarmOptionsWriteEach) {
    attach(1);
    attach(2);
    for (int p : {0, 1, 2}) SendShortCommand(p, WireCode::PumpConfig, 0);
    for (int p : {0, 1, 2}) serial.arriveNow(portOf(p), sample().packet());
    loop.processEvents();  // all three in one tick
    for (int p : {0, 1, 2}) {
        const auto codes = queuedCodes(p);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), WireCode::AlarmOptions), 1) << p;
    }
}

TEST_F(Session, BytesBelongToTheLowestEntryHoldingThePort) {
    attach(3);
    PumpTable[5].ComPort = portOf(3);  // a port change in progress: two entries name COM4
    feed(3, sample().packet());
    EXPECT_EQ(PumpTable[3].Online, 1);
    EXPECT_EQ(PumpTable[5].Online, 0);

    // A port no pump holds is not read.
    serial.addPort(40);
    platform::OpenComConfig(40, "", 19200, 0, 8, 1, 512, 512);
    platform::InstallComCallback(40, platform::kEventCharReceived, 0, 1, SerialReceiveCallback,
                                 nullptr);
    serial.arriveNow(40, sample().packet());
    loop.processEvents();
    EXPECT_EQ(platform::GetInQLen(40), kDataRecordSize + kPacketOverhead);

    // While ports are busy the input is thrown away.
    PortsBusy = 1;
    feed(0, sample().packet());
    EXPECT_EQ(platform::GetInQLen(1), 0);
    EXPECT_EQ(PumpTable[0].Online, 0);
}

TEST_F(Session, AFloodIsThrownAwayUnread) {
    SendShortCommand(0, WireCode::AlarmOptions, 0);  // in flight: an ack would end it
    std::vector<std::uint8_t> flood;
    while (flood.size() <= kMaxWaiting) {
        const auto packet = ack();
        flood.insert(flood.end(), packet.begin(), packet.end());
    }
    serial.arriveNow(1, flood);  // the callback is posted, not yet run
    EXPECT_GT(platform::GetInQLen(1), kMaxWaiting);
    loop.processEvents();
    EXPECT_EQ(platform::GetInQLen(1), 0);
    EXPECT_EQ(QueuedItems(0), 1);
}

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

TEST_F(Session, BackOnLineTheNextRecordAdoptsTheMotorSpeed) {
    Record first = sample();
    first.u16(f::kStatus, 0x0020);  // the controller does not report its set-point
    feed(0, first.packet());
    ASSERT_EQ(PumpTable[0].Online, 1);
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 0);  // the first record only brings it on line
    feed(0, first.f32(f::kMotorRpm, 1234.9f).packet());
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1234);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Rpm, 1234);
    // Once only: the operator's set-point stands after that.
    PumpTable[0].RpmSetpoint = 1500;
    feed(0, first.packet());
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1500);
}

TEST_F(Session, ZeroPressureReadsChannelFourThenWritesTheOffsetBack) {
    bringOnline(0);
    SendPumpCommand(0, Op::ZeroPressure);
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, PacketType::Short);
    EXPECT_EQ(out[0].code, WireCode::AiConfig);
    EXPECT_EQ(out[0].arg1, 4);

    std::vector<std::uint8_t> ai(kAiConfigSize, 0);
    pumpsim::putF32(ai, 8, 12.5f);     // the reading now
    pumpsim::putF32(ai, 12, -250.0f);  // the offset
    pumpsim::putF32(ai, 16, 0.5f);
    // Another channel's block (a calibration dialog's read) is never written back as the
    // discharge channel's.
    feed(0, dataReply(WireCode::AiConfig, std::vector<std::uint8_t>(kAiConfigSize, 0x55), 3));
    EXPECT_TRUE(sent(0).empty());
    feed(0, dataReply(WireCode::AiConfig, ai, 4));
    out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, PacketType::Command);
    EXPECT_EQ(out[0].code, WireCode::AiConfig);
    EXPECT_EQ(out[0].arg1, 4);
    ASSERT_EQ(out[0].data.size(), 44u);
    EXPECT_FLOAT_EQ(pumpsim::getF32(out[0].data, 12), -262.5f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(out[0].data, 16), 0.5f);

    // A further reading only reads.
    feed(0, ack());
    feed(0, dataReply(WireCode::AiConfig, ai, 4));
    EXPECT_TRUE(sent(0).empty());

    // A zero whose reply comes after two reply time-outs lapses: that block may be stale.
    SendPumpCommand(0, Op::ZeroPressure);
    sent(0);
    loop.advance(2.0 * ReplyTimeout + 0.1);
    feed(0, dataReply(WireCode::AiConfig, ai, 4));
    for (const auto& s : sent(0)) EXPECT_NE(s.type, PacketType::Command) << "a lapsed zero";
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

TEST_F(Watchdog, SilenceIsCountedFromThePacketNotFromTheTick) {
    loop.advance(0.4);  // a packet just before the first tick
    feed(0, sample().packet());
    loop.advance(14.0 - 0.001);  // 14.0 s of silence: still on line
    EXPECT_EQ(PumpTable[0].Online, 1);
    loop.advance(0.5);
    EXPECT_EQ(PumpTable[0].Online, 0);
}

}  // namespace
