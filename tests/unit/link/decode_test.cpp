// The data-reply decoder, the derived values and units, short replies, and the pump's
// life on and off line (the watchdog included).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/link_fixture.h"

using linktest::Record;
using linktest::reply;

namespace {

class Decode : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        attach(0);
    }
    void useMetric(bool metric) {
        LinkHooks h = GetLinkHooks();
        h.displayUnits = [metric]() { return metric ? 1 : 0; };
        SetLinkHooks(h);
    }
    static Record full() {
        Record r;
        r.f32(0, 420.0f)       // rate, gal/min
            .f32(4, 8400.0f)   // volume, gal
            .f32(8, 1000.0f)   // discharge, psi
            .f32(12, 212.0f)   // oil temperature
            .f32(16, 100.0f)   // oil pressure
            .f32(20, 300.0f)   // pump rpm
            .f32(24, 50.0f)    // suction
            .f32(28, 777.0f)   // not used
            .f32(32, 150.0f)   // bearing DE
            .f32(36, 160.0f)   // bearing NDE
            .f32(40, 170.0f)   // winding A
            .f32(44, 180.0f)   // winding B
            .f32(48, 190.0f)   // winding C
            .f32(52, 1500.0f)  // motor rpm
            .u16(66, 1400)     // controller set-point
            .u16(68, 0x00C0)   // status: reports set-point, tripped state
            .u16(70, 0x8001)
            .u16(72, 0x0010)
            .u16(74, 0x0003)
            .u16(76, 9100)
            .u16(78, 9500)
            .u8(80, 0x5A)
            .u8(82, 1)
            .u8(83, 1)
            .u8(84, 1);
        return r;
    }
};

TEST_F(Decode, DataRecordInUsUnits) {
    feed(0, full().packet());
    const PumpRecord& r = PumpTable[0];
    EXPECT_FLOAT_EQ(r.PumpRate, 10.0f);
    EXPECT_FLOAT_EQ(r.TotalVolume, 200.0f);
    EXPECT_FLOAT_EQ(r.DischargePressure, 1000.0f);
    EXPECT_FLOAT_EQ(r.OilTemperature, 212.0f);
    EXPECT_FLOAT_EQ(r.OilPressure, 100.0f);
    EXPECT_FLOAT_EQ(r.PumpRpm, 300.0f);
    EXPECT_FLOAT_EQ(r.SuctionPressure, 50.0f);
    EXPECT_FLOAT_EQ(r.BearingTempDE, 150.0f);
    EXPECT_FLOAT_EQ(r.BearingTempNDE, 160.0f);
    EXPECT_FLOAT_EQ(r.WindingTempA, 170.0f);
    EXPECT_FLOAT_EQ(r.WindingTempB, 180.0f);
    EXPECT_FLOAT_EQ(r.WindingTempC, 190.0f);
    EXPECT_FLOAT_EQ(r.MotorRpm, 1500.0f);
    // 1000 psi x 420 gal/min with 0.00058334, not 1/1714 (which gives 245.04).
    EXPECT_NEAR(r.HydraulicHp, 245.0028, 1e-3);
    EXPECT_EQ(r.StatusWord, 0x00C0);
    EXPECT_EQ(r.Tripped, 1);
    EXPECT_EQ(r.AlarmWord, 0x8001);
    EXPECT_EQ(r.TripWord, 0x0010);
    EXPECT_EQ(r.FaultWord, 0x0003);
    EXPECT_FLOAT_EQ(r.LastTripPressure, 9100.0f);
    EXPECT_FLOAT_EQ(r.TripPressure, 9500.0f);
    EXPECT_EQ(r.ReplyByte80, 0x5A);
    EXPECT_EQ(r.VfdOn, 1);
    EXPECT_EQ(r.StatusFlag2, 1);
    EXPECT_EQ(r.AutoAllowed, 1);
    EXPECT_EQ(SpeedCommand[0].Rpm, 1400);
    EXPECT_EQ(r.RpmSetpoint, 1400);
    EXPECT_EQ(SpeedCommand[0].Run, 1);
}

TEST_F(Decode, TrippedIsStateFourOnly) {
    for (auto [status, tripped] :
         {std::pair{0x0040, 1}, {0x00C0, 1}, {0x0050, 0}, {0x0030, 0}, {0x0070, 0}, {0x0000, 0}}) {
        Record r;
        r.u16(68, static_cast<std::uint16_t>(status));
        feed(0, r.packet());
        EXPECT_EQ(PumpTable[0].Tripped, tripped) << std::hex << status;
    }
}

TEST_F(Decode, MetricFiguresAreConvertedInPlace) {
    useMetric(true);
    feed(0, full().packet());
    const PumpRecord& r = PumpTable[0];
    EXPECT_NEAR(r.DischargePressure, 6.8948, 1e-5);
    EXPECT_NEAR(r.PumpRate, 1.5899, 1e-5);
    EXPECT_NEAR(r.OilTemperature, 99.9999, 1e-4);
    EXPECT_NEAR(r.TotalVolume, 31.798, 1e-3);
    EXPECT_NEAR(r.OilPressure, 689.48, 1e-2);
    EXPECT_NEAR(r.SuctionPressure, 344.74, 1e-2);
    EXPECT_NEAR(r.LastTripPressure, 62.74268, 1e-4);
    EXPECT_NEAR(r.TripPressure, 65.5006, 1e-4);
    EXPECT_NEAR(r.HydraulicHp, 245.0028 * 0.746, 1e-3);
    EXPECT_NEAR(r.BearingTempDE, (150.0 - 32.0) * 0.555555, 1e-4);
    EXPECT_NEAR(r.WindingTempC, (190.0 - 32.0) * 0.555555, 1e-4);
    EXPECT_FLOAT_EQ(r.MotorRpm, 1500.0f);  // speeds stay in rpm
    EXPECT_FLOAT_EQ(r.PumpRpm, 300.0f);

    // The pump-configuration reply gives the trip point in MPa too.
    std::vector<std::uint8_t> config(44, 0);
    pumpsim::putU16(config, 8, 10000);
    feed(0, reply(2, 0x1B, 0, config));
    EXPECT_NEAR(PumpTable[0].TripPressure, 68.948, 1e-4);
}

TEST_F(Decode, TripPointNotReportedAndSetpointNotReportedLeaveValues) {
    bringOnline(0, full());
    feed(0, full().packet());  // past the speed adoption of a pump coming on line
    SpeedCommand[0].Rpm = 1000;
    PumpTable[0].RpmSetpoint = 1000;
    SpeedCommand[0].Run = 0;
    Record r = full();
    r.u16(78, 0xFFFF).u16(68, 0x0020);  // no trip point, set-point bit clear
    feed(0, r.packet());
    EXPECT_FLOAT_EQ(PumpTable[0].TripPressure, 9500.0f);
    EXPECT_EQ(SpeedCommand[0].Rpm, 1000);
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1000);
    EXPECT_EQ(SpeedCommand[0].Run, 0);
}

TEST_F(Decode, ThrottleConfigurationSetsLimitsAndClampsTheSetpoint) {
    std::vector<std::uint8_t> throttle(44, 0);
    pumpsim::putF32(throttle, 28, 1800.0f);
    pumpsim::putF32(throttle, 32, 600.7f);
    for (auto [before, after] : {std::pair{2000, 600}, {500, 600}, {1200, 1200}, {1800, 1800}}) {
        PumpTable[0].RpmSetpoint = static_cast<std::int16_t>(before);
        feed(0, reply(2, 0x02, 0, throttle));
        EXPECT_EQ(PumpTable[0].RpmSetpoint, after) << "from " << before;
    }
    EXPECT_FLOAT_EQ(PumpTable[0].MaxRpm, 1800.0f);
    EXPECT_FLOAT_EQ(PumpTable[0].MinRpm, 600.7f);
    EXPECT_EQ(std::memcmp(AiConfig, throttle.data(), 44), 0);

    // Channel 8 and above: ignored.
    pumpsim::putF32(throttle, 28, 900.0f);
    feed(0, reply(2, 0x02, 8, throttle));
    EXPECT_FLOAT_EQ(PumpTable[0].MaxRpm, 1800.0f);
}

TEST_F(Decode, ShortRepliesDoNotFillFieldsWithStaleBytes) {
    bringOnline(0, full());
    std::vector<std::uint8_t> ai(44, 0x11), fi(40, 0x22), alarms(128, 0x33), config(44, 0x44);
    feed(0, reply(2, 0x01, 0, ai));
    feed(0, reply(2, 0x03, 0, fi));
    feed(0, reply(2, 0x32, 0, alarms));
    feed(0, reply(2, 0x1B, 0, config));
    feed(0, reply(2, 0x1E, 0, {'P', '-', '1', 0, 0, 0, 0, 0, 0}));
    feed(0, reply(2, 0x33, 0, {0x05, 0x00}));
    // Leave 0xEE in every buffer position a short reply could reach.
    feed(0, reply(2, 0x3F, 0, std::vector<std::uint8_t>(200, 0xEE)));

    const PumpRecord before = PumpTable[0];
    PumpTable[0].SecondsSinceRx = 5.0f;
    struct Short {
        int code;
        std::size_t n;
    };
    for (Short s : {Short{0x18, 87},
                    {0x18, 60},
                    {0x18, 0},
                    {0x01, 43},
                    {0x02, 43},
                    {0x03, 39},
                    {0x32, 127},
                    {0x1B, 43},
                    {0x1E, 8},
                    {0x33, 1}}) {
        SendShortCommand(0, s.code, 0);
        feed(0, reply(2, s.code, 0, std::vector<std::uint8_t>(s.n, 0xEE)));
        // Still a good packet: the wait ends and the silence starts again.
        EXPECT_EQ(QueuedItems(0), 0) << std::hex << s.code;
        EXPECT_EQ(PumpTable[0].SecondsSinceRx, 0.0f);
        PumpTable[0].SecondsSinceRx = 5.0f;
    }
    serial.takeWritten(1);
    const PumpRecord& after = PumpTable[0];
    EXPECT_EQ(after.StatusWord, before.StatusWord);
    EXPECT_EQ(after.AutoAllowed, before.AutoAllowed);
    EXPECT_EQ(after.MotorRpm, before.MotorRpm);
    EXPECT_EQ(after.PumpRate, before.PumpRate);
    EXPECT_EQ(after.TripPressure, 17476.0f);  // 0x4444 from the full configuration block
    EXPECT_EQ(after.MaxRpm, before.MaxRpm);
    EXPECT_EQ(std::string(after.PumpId), "P-1");
    EXPECT_EQ(after.PumpConfig.bytes, before.PumpConfig.bytes);
    EXPECT_EQ(AiConfig[0], 0x11);
    EXPECT_EQ(AiConfig[43], 0x11);
    EXPECT_EQ(FiConfig[39], 0x22);
    EXPECT_EQ(AlarmLimits[127], 0x33);
    EXPECT_EQ(AlarmOptions[0], 0x05);
    EXPECT_EQ(AlarmOptions[1], 0x00);
}

TEST_F(Decode, NetworkInformationText) {
    std::vector<std::uint8_t> info(18, 0xAB);
    const char text[] = "Unit 7 - ready";
    std::vector<std::uint8_t> area(17, 0);
    std::memcpy(area.data(), text, sizeof text - 1);
    info.insert(info.end(), area.begin(), area.end());
    int shown = -1;
    LinkHooks h;
    h.showNetworkInfo = [&](int pump) { shown = pump; };
    SetLinkHooks(h);
    feed(0, reply(2, 0x08, 0, info));
    EXPECT_STREQ(NetworkInfo[0], "Unit 7 - ready");
    EXPECT_EQ(shown, 0);

    // No terminator in the last 17 bytes: the text stops at the end of the data.
    feed(0, reply(2, 0x08, 0, std::vector<std::uint8_t>(40, 'x')));
    EXPECT_EQ(std::string(NetworkInfo[0]), std::string(17, 'x'));

    // Shorter than the text area: no text, and nothing read from before the data.
    for (std::size_t n : {16u, 5u, 0u}) {
        std::strcpy(NetworkInfo[0], "old");
        feed(0, reply(2, 0x08, 0, std::vector<std::uint8_t>(n, 'y')));
        EXPECT_STREQ(NetworkInfo[0], "") << n;
    }
}

TEST_F(Decode, ZeroPressureReadsChannelFourThenWritesTheOffsetBack) {
    bringOnline(0);
    SendPumpCommand(0, OpZeroPressure, nullptr, 0);
    auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, 1);
    EXPECT_EQ(out[0].code, 0x01);
    EXPECT_EQ(out[0].arg1, 4);
    EXPECT_EQ(PendingAiWrite[0], 1);

    std::vector<std::uint8_t> ai(44, 0);
    pumpsim::putF32(ai, 8, 12.5f);     // the reading now
    pumpsim::putF32(ai, 12, -250.0f);  // the offset
    pumpsim::putF32(ai, 16, 0.5f);
    feed(0, reply(2, 0x01, 4, ai));
    out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, 3);
    EXPECT_EQ(out[0].code, 0x01);
    EXPECT_EQ(out[0].arg1, 4);
    ASSERT_EQ(out[0].data.size(), 44u);
    EXPECT_FLOAT_EQ(pumpsim::getF32(out[0].data, 12), -262.5f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(out[0].data, 16), 0.5f);
    EXPECT_EQ(PendingAiWrite[0], 0);

    // A further reading only reads.
    feed(0, reply(0, 0x01, 4));
    feed(0, reply(2, 0x01, 4, ai));
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Decode, GoingOffLineClearsLiveValuesButKeepsTemperaturesAndTrip) {
    int offline = 0;
    LinkHooks h;
    h.bringFracOffline = [&](int dim, int pump) {
        if (dim == 1) {
            ++offline;
            // The values are already cleared when the display refreshes, Online not yet.
            EXPECT_EQ(PumpTable[pump].MotorRpm, 0.0f);
            EXPECT_EQ(PumpTable[pump].Online, 1);
        }
    };
    h.rowEnabled = [](int) { return true; };
    SetLinkHooks(h);
    bringOnline(0, full());
    feed(0, reply(2, 0x1E, 0, {'F', 'P', '-', '0', '1', 0, 0, 0, 0}));
    timerPanel(ComTimerTick, 0.495);
    loop.advance(15.0);
    ASSERT_EQ(PumpTable[0].Online, 0);
    EXPECT_EQ(offline, 1);
    const PumpRecord& r = PumpTable[0];
    for (float v : {r.MotorRpm, r.OilTemperature, r.DischargePressure, r.PumpRpm, r.PumpRate,
                    r.HydraulicHp, r.OilPressure, r.SuctionPressure, r.TotalVolume})
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(r.Tripped, 0);
    EXPECT_STREQ(r.PumpId, "");
    EXPECT_EQ(r.RpmSetpoint, 0);
    EXPECT_EQ(SpeedCommand[0].Rpm, 0);
    EXPECT_FLOAT_EQ(r.WindingTempA, 170.0f);
    EXPECT_FLOAT_EQ(r.BearingTempNDE, 160.0f);
    EXPECT_FLOAT_EQ(r.TripPressure, 9500.0f);
    EXPECT_FLOAT_EQ(r.LastTripPressure, 9100.0f);
    EXPECT_EQ(r.StatusWord, 0x00C0);
    EXPECT_EQ(r.AlarmWord, 0x8001);
}

TEST_F(Decode, BackOnLineTheNextRecordAdoptsTheMotorSpeed) {
    Record first = full();
    first.u16(68, 0x0020);  // the controller does not report its set-point
    feed(0, first.packet());
    ASSERT_EQ(PumpTable[0].Online, 1);
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 0);  // the first record only brings it on line
    Record next = first;
    next.f32(52, 1234.9f);
    feed(0, next.packet());
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1234);
    EXPECT_EQ(SpeedCommand[0].Rpm, 1234);
    // Once only: the operator's set-point stands after that.
    PumpTable[0].RpmSetpoint = 1500;
    feed(0, next.packet());
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1500);
}

class Watchdog : public Decode {
  protected:
    void SetUp() override {
        Decode::SetUp();
        LinkHooks h;
        h.bringFracOffline = [this](int dim, int) { (dim == 1 ? offCalls : onCalls)++; };
        h.rowEnabled = [](int) { return true; };
        SetLinkHooks(h);
        timerPanel(ComTimerTick, 0.495);
    }
    int offCalls = 0;
    int onCalls = 0;
};

TEST_F(Watchdog, OffLineOnTheTwentyNinthTickExactlyOnce) {
    feed(0, full().packet());  // at a tick boundary: t = 0
    ASSERT_EQ(onCalls, 1);
    loop.advance(28 * 0.495 + 0.001);
    EXPECT_EQ(PumpTable[0].Online, 1);
    EXPECT_NEAR(PumpTable[0].SecondsSinceRx, 13.86, 1e-4);
    loop.advance(0.495);
    EXPECT_EQ(PumpTable[0].Online, 0);
    EXPECT_EQ(offCalls, 1);
    loop.advance(30.0);
    EXPECT_EQ(offCalls, 1);
    EXPECT_EQ(PumpTable[0].Online, 0);
}

TEST_F(Watchdog, SilenceIsCountedFromThePacketNotFromTheTick) {
    loop.advance(0.4);  // a packet just before the first tick
    feed(0, full().packet());
    loop.advance(14.0 - 0.001);  // 14.0 s of silence: still on line
    EXPECT_EQ(PumpTable[0].Online, 1);
    loop.advance(0.5);
    EXPECT_EQ(PumpTable[0].Online, 0);
}

TEST_F(Watchdog, AnyGoodPacketKeepsAPumpOnLine) {
    feed(0, full().packet());
    for (int i = 0; i < 10; ++i) {
        loop.advance(10.0);
        feed(0, reply(0, 0x1A, 0));  // acknowledgements only
    }
    EXPECT_EQ(PumpTable[0].Online, 1);
    EXPECT_EQ(offCalls, 0);
    EXPECT_EQ(onCalls, 1);
}

}  // namespace
