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

}  // namespace
}  // namespace pumpsim_test
