// The simulated controller as the station drives it: data record, speed, configuration blocks,
// protection and resets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "line.h"

namespace pumpsim_test {
namespace {

// 3 plungers of 4.5 in, 8 in stroke, 95 %, gear 6.35: gal/min at a motor speed.
double defaultRate(double motorRpm) {
    return 3 * std::numbers::pi / 4 * 4.5 * 4.5 * 8 * 0.95 / 231 * (motorRpm / 6.35);
}

TEST(PumpsimController, DataRecordCarriesTheRunningState) {
    Controller c(0);
    EXPECT_EQ(ask(c, speedCmd(1500, true), 1.0).type, 0);
    c.advance(60.0);
    const Reply r = ask(c, shortCmd(0x18), 60.0);
    ASSERT_EQ(r.raw.size(), 98u);
    EXPECT_EQ(r.raw[4], 0x98) << "type 2, code 0x18";
    ASSERT_EQ(r.data.size(), 88u);

    // Layout: every measured value at its offset.
    const std::pair<size_t, double> fields[] = {
        {0, c.rateGpm()},        {4, c.totalGallons()},   {8, c.dischargePsi()},
        {12, c.oilTempF()},      {16, c.oilPsi()},        {20, c.pumpRpm()},
        {24, c.suctionPsi()},    {32, c.bearingTempF(0)}, {36, c.bearingTempF(1)},
        {40, c.windingTempF(0)}, {44, c.windingTempF(1)}, {48, c.windingTempF(2)},
        {52, c.motorRpm()}};
    for (const auto& [at, value] : fields)
        EXPECT_EQ(f32At(r.data, at), static_cast<float>(value)) << "offset " << at;
    EXPECT_EQ(u16At(r.data, 66), 1500);
    EXPECT_EQ(u16At(r.data, 68), 0x80 | 0x20) << "set-point reported, running";
    EXPECT_EQ(u16At(r.data, 70) | u16At(r.data, 72) | u16At(r.data, 74), 0);
    EXPECT_EQ(u16At(r.data, 78), 10000);
    EXPECT_EQ((std::vector<uint8_t>{r.data[80], r.data[82], r.data[83], r.data[84]}),
              (std::vector<uint8_t>{0, 1, 0, 1}));

    // Physics: geometry, gearing, integration, the well, and plausible auxiliaries.
    EXPECT_NEAR(c.motorRpm(), 1500.0, 1e-9);
    EXPECT_NEAR(c.pumpRpm(), 1500.0 / 6.35, 1e-3);
    EXPECT_NEAR(c.rateGpm(), defaultRate(1500), 1e-3);
    // 51.5 s at full rate after a 7.5 s ramp that counts for half its time.
    EXPECT_NEAR(c.totalGallons(), defaultRate(1500) * (51.5 + 7.5 / 2) / 60.0, 0.5);
    EXPECT_NEAR(c.dischargePsi(), 300.0 + 5e-4 * defaultRate(1500) * defaultRate(1500), 5.0);
}

TEST(PumpsimController, SpeedCommandRampsWithinThrottleLimits) {
    Controller c(3);
    const Reply ack = ask(c, speedCmd(1500, true), 0.0);
    EXPECT_EQ(ack.type, 0);
    EXPECT_EQ(ack.code, 0x1A);
    EXPECT_TRUE(ack.data.empty());

    c.advance(2.0);
    EXPECT_NEAR(c.motorRpm(), 400.0, 1e-6) << "200 rpm/s";
    c.advance(10.0);
    EXPECT_NEAR(c.motorRpm(), 1500.0, 1e-6);
    EXPECT_NEAR(c.rateGpm(), defaultRate(1500), 1e-3);

    ask(c, speedCmd(5000, true), 11.0);
    EXPECT_EQ(c.setpoint(), 1900) << "clamped to MaxRpm";
    ask(c, speedCmd(100, true), 12.0);
    EXPECT_EQ(c.setpoint(), 600) << "raised to idle";
    ask(c, speedCmd(-50, true), 13.0);
    EXPECT_EQ(c.setpoint(), 0) << "negative is stop";

    ask(c, speedCmd(1200, false), 14.0);
    EXPECT_FALSE(c.driveOn()) << "Run 0 powers the drive off";
    c.advance(30.0);
    EXPECT_EQ(c.motorRpm(), 0.0);
    const Reply r = ask(c, shortCmd(0x18), 30.0);
    EXPECT_EQ(r.data.at(82), 0);
    EXPECT_EQ(u16At(r.data, 66), 0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x00);
    EXPECT_EQ(f32At(r.data, 8), 0.0f) << "no discharge pressure while stopped";
}

TEST(PumpsimController, PowerOffDelayKeepsTheDriveOnWhileTheMotorSlows) {
    Controller c(0);
    c.setPowerOffDelay(3.0);
    ask(c, speedCmd(1500, true), 0.0);
    c.advance(10.0);
    ask(c, speedCmd(1500, false), 10.0);
    EXPECT_TRUE(c.poweringOff());
    ask(c, speedCmd(0, false), 11.0);  // the station repeats its power-off
    c.advance(12.95);
    Reply r = ask(c, shortCmd(0x18), 12.95);
    EXPECT_EQ(r.data[82], 1) << "still reporting the drive on";
    EXPECT_EQ(u16At(r.data, 68), 0x80 | 0x20) << "running down";
    EXPECT_EQ(u16At(r.data, 66), 0) << "set-point 0 at once";
    EXPECT_NEAR(c.motorRpm(), 1500.0 - 200.0 * 2.95, 1e-6) << "slowing on the normal ramp";
    c.advance(13.0);
    EXPECT_FALSE(c.driveOn()) << "off 3 s after the first power-off, not the repeat";
    EXPECT_FALSE(c.poweringOff());
    c.advance(20.0);
    EXPECT_EQ(c.motorRpm(), 0.0);
    EXPECT_EQ(ask(c, shortCmd(0x18), 20.0).data[82], 0);
}

TEST(PumpsimController, ConfigurationWritesReadBack) {
    Controller c(0);
    double t = 1.0;

    Reply pc = ask(c, shortCmd(0x1B), t);
    ASSERT_EQ(pc.data.size(), 44u);
    EXPECT_EQ(pc.data[0], 3);
    EXPECT_EQ(u16At(pc.data, 8), 10000);
    EXPECT_FLOAT_EQ(f32At(pc.data, 12), 6.35f);
    EXPECT_FLOAT_EQ(f32At(pc.data, 16), 8.0f);
    EXPECT_FLOAT_EQ(f32At(pc.data, 20), 4.5f);
    EXPECT_FLOAT_EQ(f32At(pc.data, 24), 0.95f);
    std::vector<uint8_t> block = pc.data;
    block[0] = 5;
    block[8] = 0x40;  // 8000 psi
    block[9] = 0x1F;
    setF32(block, 20, 4.0f);
    block[40] = 0xAB;  // bytes the controller only holds
    EXPECT_EQ(ask(c, dataCmd(0x1B, block), t).type, 0);
    EXPECT_EQ(ask(c, shortCmd(0x1B), t).data, block);
    EXPECT_EQ(u16At(ask(c, shortCmd(0x18), t).data, 78), 8000);

    // Lowering MaxRpm under a running set-point takes effect at once.
    ask(c, speedCmd(1800, true), t);
    Reply th = ask(c, shortCmd(0x02), t);
    ASSERT_EQ(th.data.size(), 44u);
    EXPECT_FLOAT_EQ(f32At(th.data, 28), 1900.0f);
    EXPECT_FLOAT_EQ(f32At(th.data, 32), 600.0f);
    setF32(th.data, 28, 1500.0f);
    EXPECT_EQ(ask(c, dataCmd(0x02, th.data), t).type, 0);
    EXPECT_EQ(ask(c, shortCmd(0x02), t).data, th.data);
    c.advance(t = 20.0);
    EXPECT_EQ(c.motorRpm(), 1500.0);
    const double fiveSmaller = 5 * std::numbers::pi / 4 * 16.0 * 8 * 0.95 / 231 * (1500 / 6.35);
    EXPECT_NEAR(f32At(ask(c, shortCmd(0x18), t).data, 0), fiveSmaller, 0.05) << "new geometry";

    std::vector<uint8_t> id = {'P', 'U', 'M', 'P', '-', '7', 0, 0, 0};
    const Reply idAck = ask(c, dataCmd(0x1F, id), t);
    EXPECT_EQ(idAck.raw[4], 0x1F) << "acknowledgement type 0, code 0x1F";
    EXPECT_EQ(ask(c, shortCmd(0x1E), t).data, id);
    EXPECT_EQ(c.pumpId(), "PUMP-7");

    // One alarm set-point, code 5, stored as (first, second) at bytes 40..47.
    std::vector<uint8_t> pair(8);
    setF32(pair, 0, 100.0f);
    setF32(pair, 4, 9000.0f);
    EXPECT_EQ(ask(c, dataCmd(0x32, pair, 5), t).type, 0);
    const Reply lim = ask(c, shortCmd(0x32), t);
    ASSERT_EQ(lim.data.size(), 128u);
    EXPECT_EQ(std::vector<uint8_t>(lim.data.begin() + 40, lim.data.begin() + 48), pair);
    EXPECT_FLOAT_EQ(f32At(lim.data, 8 * 13), 20.0f) << "other pairs untouched";

    EXPECT_EQ(ask(c, dataCmd(0x33, {0x00, 0xA0}), t).type, 0);
    EXPECT_EQ(ask(c, shortCmd(0x33), t).data, (std::vector<uint8_t>{0x00, 0xA0}));

    std::vector<uint8_t> fi = ask(c, shortCmd(0x03, 0), t).data;
    ASSERT_EQ(fi.size(), 40u);
    EXPECT_EQ(u16At(fi, 6), std::lround(1500 / 6.35)) << "60 pulses a revolution: Hz = pump rpm";
    setF32(fi, 28, 30.0f);
    EXPECT_EQ(ask(c, dataCmd(0x03, fi, 0), t).type, 0);
    EXPECT_EQ(u16At(ask(c, shortCmd(0x03, 0), t).data, 6), std::lround(1500 / 6.35 / 2));
}

TEST(PumpsimController, ZeroingTheDischargeInputShiftsTheReading) {
    Controller c(0);
    ask(c, speedCmd(1900, true), 0.0);
    c.advance(30.0);
    const Reply ai = ask(c, shortCmd(0x01, 4), 30.0);
    EXPECT_EQ(ai.arg1, 4) << "channel echoed";
    ASSERT_EQ(ai.data.size(), 44u);
    const float reading = f32At(ai.data, 8);
    EXPECT_GT(reading, 300.0f);
    EXPECT_FLOAT_EQ(f32At(ai.data, 12) + f32At(ai.data, 16) * u16At(ai.data, 2), reading)
        << "reading = Coef0 + Coef1 * raw";

    // What the station's zero-pressure operation does: Coef0 -= reading, written back.
    std::vector<uint8_t> block = ai.data;
    setF32(block, 12, f32At(block, 12) - reading);
    EXPECT_EQ(ask(c, dataCmd(0x01, block, 4), 30.0).type, 0);
    EXPECT_NEAR(f32At(ask(c, shortCmd(0x18), 30.0).data, 8), 0.0, 5.0);
    EXPECT_NEAR(c.dischargePsi(), 0.0, 5.0);
}

TEST(PumpsimController, ClearTotalsNeedsItsGuard) {
    Controller c(0);
    ask(c, speedCmd(1500, true), 0.0);
    c.advance(30.0);
    ASSERT_GT(c.totalGallons(), 50.0);
    EXPECT_EQ(ask(c, dataCmd(0x04, {}, 0), 30.0).type, 3) << "accepted, not acted on";
    EXPECT_GT(c.totalGallons(), 50.0);
    EXPECT_EQ(ask(c, dataCmd(0x04, {}, 99), 30.0).type, 0);
    EXPECT_EQ(f32At(ask(c, shortCmd(0x18), 30.0).data, 4), 0.0f);
}

TEST(PumpsimController, OverpressureTripsUntilAlarmReset) {
    pumpsim::Well well({.basePsi = 300.0, .k = 0.01, .maxPsi = 15000.0});
    Controller c(0, &well);
    c.setTripPsi(1000);
    ask(c, speedCmd(1500, true), 0.0);
    c.advance(5.0);
    EXPECT_FALSE(c.tripped()) << "1000 psi is passed near 1070 rpm, 5.35 s into the ramp";
    c.advance(7.0);
    EXPECT_TRUE(c.tripped());
    EXPECT_EQ(c.motorRpm(), 0.0) << "a trip stops the pump at once, not on the ramp";
    Reply r = ask(c, shortCmd(0x18), 7.0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x40);
    EXPECT_GT(u16At(r.data, 76), 1000);
    EXPECT_LT(u16At(r.data, 76), 1050);

    ask(c, speedCmd(1500, true), 21.0);
    c.advance(25.0);
    EXPECT_EQ(c.motorRpm(), 0.0) << "speed refused until reset";
    ask(c, dataCmd(0x34, {}), 25.0);
    ask(c, dataCmd(0x36, {1}), 25.0);
    EXPECT_TRUE(c.tripped()) << "neither a fault reset nor the override clears a trip";
    ask(c, dataCmd(0x36, {0}), 25.0);

    EXPECT_EQ(ask(c, dataCmd(0x35, {}), 25.0).type, 0);
    r = ask(c, shortCmd(0x18), 25.0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x10) << "ready again";
    EXPECT_EQ(u16At(r.data, 76), c.lastTripPsi()) << "last trip pressure kept";
}

TEST(PumpsimController, CommTimeoutTripsAndResets) {
    Controller c(0);
    ask(c, speedCmd(1000, true), 0.0);
    ask(c, dataCmd(0x3C, {8, 0, 0, 0, 60, 0, 0, 0}), 1.0);
    ask(c, shortCmd(0x18), 6.0);
    c.advance(13.9);
    EXPECT_FALSE(c.tripped()) << "7.9 s since the last packet";
    c.advance(14.2);
    EXPECT_TRUE(c.tripped());
    EXPECT_EQ(c.tripWord(), 0x0010);
    EXPECT_EQ(u16At(ask(c, shortCmd(0x18), 20.0).data, 72), 0x0010);
    ask(c, dataCmd(0x35, {}), 21.0);
    EXPECT_EQ(c.tripWord(), 0);
    c.advance(28.9);
    EXPECT_FALSE(c.tripped());
    c.advance(29.2);
    EXPECT_TRUE(c.tripped()) << "the time-out keeps watching after a reset";

    Controller idle(1);
    idle.advance(1000.0);
    EXPECT_FALSE(idle.tripped()) << "Timeout1 0 never trips";
}

TEST(PumpsimController, AlarmsLatchAndFaultsHoldTheDrive) {
    Controller c(0);
    std::vector<uint8_t> pair(8);
    setF32(pair, 4, 350.0f);  // discharge high alarm at 350 psi
    ask(c, dataCmd(0x32, pair, 5), 0.0);
    ask(c, speedCmd(1900, true), 0.0);
    c.advance(20.0);
    EXPECT_EQ(c.alarmWord(), 0x0020);
    ask(c, speedCmd(0, true), 20.0);
    c.advance(40.0);
    EXPECT_EQ(u16At(ask(c, shortCmd(0x18), 40.0).data, 70), 0x0020) << "latched";
    ask(c, dataCmd(0x35, {}), 40.0);
    EXPECT_EQ(c.alarmWord(), 0);

    c.setFault(0x0002);
    ask(c, speedCmd(1000, true), 41.0);
    c.advance(50.0);
    EXPECT_EQ(c.motorRpm(), 0.0);
    Reply r = ask(c, shortCmd(0x18), 50.0);
    EXPECT_EQ(u16At(r.data, 74), 0x0002);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x30);

    EXPECT_EQ(ask(c, dataCmd(0x36, {1}), 50.0).type, 0);
    EXPECT_EQ(ask(c, shortCmd(0x18), 50.0).data.at(83), 1) << "override on";
    c.advance(60.0);
    EXPECT_EQ(c.motorRpm(), 1000.0) << "override runs through the fault";
    ask(c, dataCmd(0x36, {0}), 60.0);
    EXPECT_EQ(ask(c, dataCmd(0x34, {}), 60.0).type, 0);
    c.advance(61.0);
    EXPECT_EQ(c.faultWord(), 0);
    EXPECT_EQ(c.motorRpm(), 1000.0);
}

TEST(PumpsimFleet, UnitsShareTheWell) {
    pumpsim::Fleet fleet(3);
    ASSERT_EQ(fleet.size(), 3);
    ask(fleet.unit(0), speedCmd(1500, true), 0.0);
    fleet.advance(20.0);
    const double alone = fleet.unit(0).dischargePsi();

    ask(fleet.unit(1), speedCmd(1500, true), 20.0);
    fleet.advance(40.0);
    EXPECT_NEAR(fleet.well.totalRate(), 2 * defaultRate(1500), 1e-3);
    EXPECT_GT(fleet.unit(0).dischargePsi(), alone + 100.0);
    EXPECT_NEAR(fleet.unit(0).dischargePsi(), fleet.unit(1).dischargePsi(), 5.0);
    EXPECT_EQ(fleet.unit(2).dischargePsi(), 0.0) << "a stopped pump reads no pressure";
    EXPECT_EQ(fleet.unit(2).now(), 40.0);
}

}  // namespace
}  // namespace pumpsim_test
