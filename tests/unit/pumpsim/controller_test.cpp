// The simulated controller as the station drives it: speed, power-off, protection and resets.
// Its record and block layouts are checked against the station's decoder by the link's
// integration test, and its blocks as the hardware dialogs write them by the station's tests.
#include <gtest/gtest.h>

#include <cmath>

#include "line.h"

namespace pumpsim_test {
namespace {

// 3 plungers of 4.5 in, 8 in stroke, 95 %, gear 6.35: 381.7 in3 a pump turn, 95 % of it
// delivered, at 236.2 turns a minute for 1500 motor rpm: 370.81 gal/min.
constexpr double kRateAt1500 = 370.8133;

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
    EXPECT_NEAR(c.rateGpm(), kRateAt1500, 1e-3);

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
    EXPECT_NEAR(fleet.well.totalRate(), 2 * kRateAt1500, 1e-3);
    EXPECT_GT(fleet.unit(0).dischargePsi(), alone + 100.0);
    EXPECT_NEAR(fleet.unit(0).dischargePsi(), fleet.unit(1).dischargePsi(), 5.0);
    EXPECT_EQ(fleet.unit(2).dischargePsi(), 0.0) << "a stopped pump reads no pressure";
    EXPECT_EQ(fleet.unit(2).now(), 40.0);
}

}  // namespace
}  // namespace pumpsim_test
