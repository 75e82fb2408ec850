// The well behind the fleet: pressure lag, seeded transducer noise and a screen-out at a
// chosen second.
#include <gtest/gtest.h>

#include <cmath>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Fleet;
using pumpsim::Well;

Well::Params curve(double lag = 0.0, double noise = 0.0, uint64_t seed = 1) {
    return {.basePsi = 300.0,
            .k = 1e-3,
            .maxPsi = 15000.0,
            .lagSeconds = lag,
            .noisePsi = noise,
            .noiseSeed = seed};
}

void runAll(Fleet& f, int rpm) {
    for (int u = 0; u < f.size(); ++u)
        ask(f.unit(u), speedCmd(static_cast<int16_t>(rpm), true), 0.0);
}

TEST(PumpsimWell, PressureLagsTheRateByItsTimeConstant) {
    Well stepped(curve(4.0)), once(curve(4.0)), instant(curve());
    for (Well* w : {&stepped, &once, &instant}) {
        w->advance(0.0);
        w->setRate(0, 1000.0);  // settles at 1300 psi
    }
    EXPECT_EQ(stepped.pressure(), 300.0) << "no jump";
    EXPECT_EQ(instant.pressure(), 1300.0) << "without a lag, at once as before";
    for (int i = 1; i <= 40; ++i) stepped.advance(i * 0.1);
    once.advance(4.0);
    EXPECT_NEAR(stepped.pressure(), 300.0 + 1000.0 * (1.0 - std::exp(-1.0)), 1e-6);
    EXPECT_NEAR(once.pressure(), stepped.pressure(), 1e-9) << "however the time is cut";
    stepped.advance(2.0);
    EXPECT_NEAR(stepped.pressure(), once.pressure(), 1e-9) << "time never runs back";
    stepped.advance(60.0);
    EXPECT_NEAR(stepped.pressure(), 1300.0, 1e-3);

    // Through the units: the reading trails the pumps' rate and then meets it.
    Fleet lagging(2), prompt(2);
    lagging.well.setParams(curve(5.0));
    prompt.well.setParams(curve());
    runAll(lagging, 1500);
    runAll(prompt, 1500);
    lagging.advance(10.0);
    prompt.advance(10.0);
    EXPECT_EQ(lagging.well.totalRate(), prompt.well.totalRate());
    EXPECT_LT(lagging.unit(0).dischargePsi(), prompt.unit(0).dischargePsi() - 100.0);
    lagging.advance(60.0);
    prompt.advance(60.0);
    EXPECT_NEAR(lagging.unit(0).dischargePsi(), prompt.unit(0).dischargePsi(), 5.0);
}

TEST(PumpsimWell, NoiseIsBoundedAndRepeatsWithItsSeed) {
    Fleet a(3), b(3), other(3), clean(3);
    a.well.setParams(curve(0.0, 50.0, 7));
    b.well.setParams(curve(0.0, 50.0, 7));
    other.well.setParams(curve(0.0, 50.0, 8));
    clean.well.setParams(curve());
    for (Fleet* f : {&a, &b, &other, &clean}) {
        ask(f->unit(0), speedCmd(1500, true), 0.0);
        ask(f->unit(1), speedCmd(1500, true), 0.0);  // unit 2 stays stopped
        f->advance(20.0);
    }
    int differs = 0;
    double sum = 0.0, lo = 0.0, hi = 0.0;
    const int samples = 80;
    for (int i = 1; i <= samples; ++i) {
        const double t = 20.0 + 0.25 * i;
        for (Fleet* f : {&a, &b, &other, &clean}) f->advance(t);
        ASSERT_EQ(a.unit(0).dischargePsi(), b.unit(0).dischargePsi()) << "at " << t;
        differs += a.unit(0).dischargePsi() != other.unit(0).dischargePsi();
        const double d = a.unit(0).dischargePsi() - clean.unit(0).dischargePsi();
        EXPECT_LE(std::abs(d), 50.0 + 15000.0 / 3200.0) << "noise plus one converter count";
        sum += d;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
        EXPECT_EQ(a.unit(2).dischargePsi(), 0.0) << "a stopped pump reads no pressure";
    }
    EXPECT_GT(differs, samples * 3 / 4) << "another seed, other noise";
    EXPECT_LT(lo, -30.0);
    EXPECT_GT(hi, 30.0);
    EXPECT_NEAR(sum / samples, 0.0, 12.0) << "centred on the true pressure";

    const Well& w = a.well;
    EXPECT_EQ(w.noise(0, 3.0), w.noise(0, 3.0 + Well::kNoiseInterval * 0.9)) << "held in a slot";
    EXPECT_NE(w.noise(0, 3.0), w.noise(0, 3.0 + Well::kNoiseInterval));
    EXPECT_NE(w.noise(0, 3.0), w.noise(1, 3.0)) << "each transducer its own";
    EXPECT_EQ(clean.well.noise(0, 3.0), 0.0);
}

TEST(PumpsimWell, ScreenOutStepsTheResistanceAtItsSecond) {
    const auto e = pumpsim::parseScreenOut("1.5@30");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->at, 30.0);
    EXPECT_EQ(e->describe(), "screen-out, resistance x1.5");
    EXPECT_TRUE(pumpsim::parseScreenOut("2"));
    for (const char* bad : {"0@3", "-1@3", "x@3", "1.5@-2", "1.5@", "@3", "inf@1"})
        EXPECT_FALSE(pumpsim::parseScreenOut(bad)) << bad;

    Fleet fleet(2), lagging(2);
    lagging.well.setParams(curve(3.0));
    fleet.well.setParams(curve());
    pumpsim::Script script, lagScript;
    script.add(*e);
    lagScript.add(*e);
    runAll(fleet, 1500);
    runAll(lagging, 1500);
    script.advance(fleet, 29.9);
    lagScript.advance(lagging, 29.9);
    const double q = fleet.well.totalRate();
    EXPECT_NEAR(fleet.well.pressure(), 300.0 + 1e-3 * q * q, 1e-6);
    EXPECT_NEAR(lagging.well.pressure(), fleet.well.pressure(), 0.5) << "settled";

    EXPECT_EQ(script.advance(fleet, 30.0).size(), 1u);
    lagScript.advance(lagging, 30.0);
    EXPECT_NEAR(fleet.well.params().k, 1.5e-3, 1e-12);
    EXPECT_NEAR(fleet.well.pressure(), 300.0 + 1.5e-3 * q * q, 1e-6) << "a step at once";
    lagScript.advance(lagging, 33.0);
    const double rise = 0.5e-3 * q * q;
    EXPECT_NEAR(lagging.well.pressure(), 300.0 + 1e-3 * q * q + rise * (1.0 - std::exp(-1.0)),
                rise * 0.05)
        << "and through the lag";
    EXPECT_NEAR(lagging.unit(1).dischargePsi(), lagging.well.pressure(), 5.0);
}

}  // namespace
}  // namespace pumpsim_test
