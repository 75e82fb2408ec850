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

TEST(SimLoop, TimerChangesTakeEffectFromNow) {
    SimLoop loop;
    int ticks = 0;
    int id = loop.addTimer([&] { ++ticks; });
    loop.advance(5.0);
    EXPECT_EQ(ticks, 0) << "timers are created disabled";
    loop.setTimer(id, 1.0, true);
    loop.advance(0.9);
    loop.setTimer(id, 0.5, true);  // new interval: a new period starts now
    loop.advance(0.4);
    EXPECT_EQ(ticks, 0);
    loop.advance(0.1);
    EXPECT_EQ(ticks, 1);
    loop.setTimer(id, 0.5, false);
    loop.advance(3.0);
    EXPECT_EQ(ticks, 1);
}

TEST(SimLoop, TimerMayRemoveItselfAndQuitEndsRun) {
    SimLoop loop;
    int ticks = 0;
    int id = 0;
    id = loop.addTimer([&] {
        if (++ticks == 3) loop.removeTimer(id);
    });
    loop.setTimer(id, 0.1, true);
    int stopper = loop.addTimer([&] { loop.quit(); });
    loop.setTimer(stopper, 2.0, true);
    loop.run();
    EXPECT_EQ(ticks, 3);
    EXPECT_DOUBLE_EQ(loop.now(), 2.0);
}

TEST(SimLoop, DateAndTimeTextsFollowVirtualTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    SimLoop loop(1798761600);  // 2027-01-01 00:00:00 UTC
    platform::setLoop(&loop);
    loop.advance(3600.0 * 25 + 61.5);
    EXPECT_STREQ(platform::DateStr(), "01-02-2027");
    EXPECT_STREQ(platform::TimeStr(), "01:01:01");
    platform::setLoop(nullptr);
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

// A recorder line written in the last second of a day: its date and time are one reading.
TEST(SimLoop, DateAndTimeComeFromOneReadingOfTheClock) {
    std::tm lastSecond{};
    lastSecond.tm_year = 2026 - 1900;
    lastSecond.tm_mon = 11;
    lastSecond.tm_mday = 31;
    lastSecond.tm_hour = 23;
    lastSecond.tm_min = 59;
    lastSecond.tm_sec = 59;
    lastSecond.tm_isdst = -1;
    TickingWallClock loop(std::mktime(&lastSecond));
    platform::setLoop(&loop);
    const platform::DateTimeText t = platform::DateTimeStr();
    EXPECT_EQ(std::string(t.date) + " " + t.time, "12-31-2026 23:59:59");
    platform::setLoop(nullptr);
}
