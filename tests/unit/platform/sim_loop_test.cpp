#include "platform/sim_loop.h"

#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

using platform::SimLoop;

namespace {

struct Counter {
    SimLoop& loop;
    int id = 0;
    int ticks = 0;
    Counter(SimLoop& l, double interval) : loop(l) {
        id = loop.addTimer([this] { ++ticks; });
        loop.setTimer(id, interval, true);
    }
};

TEST(SimLoop, WatchdogIntervalTicksAtExactVirtualTimes) {
    // 29 x 0.495 s = 14.355 s: the 29th tick falls between 14.3 s and 14.4 s. Accumulating
    // the interval in floating point would drift by a tick over a long run.
    SimLoop a;
    Counter ca(a, 0.495);
    a.advance(14.3);
    EXPECT_EQ(ca.ticks, 28);
    a.advance(0.1);
    EXPECT_EQ(ca.ticks, 29);

    SimLoop b;
    Counter cb(b, 0.495);
    for (int i = 0; i < 144; ++i) b.advance(0.1);  // the same 14.4 s in small steps
    EXPECT_EQ(cb.ticks, 29);
    b.advance(0.495 * 1000 - 14.4);
    EXPECT_EQ(cb.ticks, 1000);
}

TEST(SimLoop, EventsDueTogetherRunInCreationOrder) {
    SimLoop loop;
    std::vector<std::string> order;
    int second = loop.addTimer([&] { order.push_back("B"); });
    int first = loop.addTimer([&] { order.push_back("C"); });
    loop.post(1.0, [&] { order.push_back("P"); });
    // Enabled in the other order: creation order still decides ties.
    loop.setTimer(first, 0.5, true);
    loop.setTimer(second, 0.5, true);
    loop.advance(1.0);
    EXPECT_EQ(order, (std::vector<std::string>{"B", "C", "B", "C", "P"}));
    EXPECT_DOUBLE_EQ(loop.now(), 1.0);
}

TEST(SimLoop, TimerIsNotReenteredByItsOwnWaitAndSkipsMissedTicks) {
    SimLoop loop;
    int depth = 0, maxDepth = 0, ticks = 0;
    int id = loop.addTimer([&] {
        ++ticks;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (ticks == 1) loop.delay(1.05);  // waits across four of its own periods
        --depth;
    });
    loop.setTimer(id, 0.25, true);
    loop.advance(0.25);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_DOUBLE_EQ(loop.now(), 1.3);
    loop.advance(0.2);  // next tick at 1.5 s, not a burst of missed ones
    EXPECT_EQ(ticks, 2);
}

}  // namespace

namespace {

// A wall clock that moves a second each time it is read.
class TickingWallClock : public platform::SimLoop {
  public:
    using SimLoop::SimLoop;
    std::time_t wallTime() const override { return SimLoop::wallTime() + reads_++; }

  private:
    mutable int reads_ = 0;
};

}  // namespace

