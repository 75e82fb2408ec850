// The well behind the fleet: the line pressure follows the rate with its time constant.
#include <gtest/gtest.h>

#include <cmath>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Well;

Well::Params curve(double lag = 0.0) {
    return {.basePsi = 300.0, .k = 1e-3, .maxPsi = 15000.0, .lagSeconds = lag};
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
}

}  // namespace
}  // namespace pumpsim_test
