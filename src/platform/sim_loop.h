// Virtual-time event loop: nothing sleeps; a test advances the clock and every timer and
// posted callback that falls due on the way runs in time order. Events due at the same
// instant run in the order they were created, so a run is fully deterministic.
#pragma once

#include <map>
#include <mutex>
#include <vector>
#include <utility>

#include "platform/event_loop.h"

namespace platform {

class SimLoop : public EventLoop {
  public:
    // wallEpoch: the wall-clock time at virtual time 0 (read as local time).
    explicit SimLoop(std::time_t wallEpoch = 1798761600);  // 2027-01-01 00:00:00 UTC

    double now() const override { return static_cast<double>(now_) * 1e-9; }
    std::time_t wallTime() const override;
    std::int64_t wallTimeMs() const override;
    // Steps the wall clock by seconds (a clock set by hand, NTP); now() does not move.
    void stepWallClock(double seconds);

    int addTimer(Callback fn) override;
    void setTimer(int id, double intervalSeconds, bool enabled) override;
    void removeTimer(int id) override;
    void post(double delaySeconds, Callback fn) override;
    // Taken in at the loop's next turn, at the virtual time of that turn.
    void postFromAnyThread(Callback fn) override;
    void runInBackground(Callback work, Callback done) override;
    void finishBackground() override;

    // Runs due events until quit() or until nothing is left to run.
    void run() override;
    void quit() override { quit_ = true; }
    bool quitRequested() const override { return quit_; }
    // Runs whatever is due now; the clock does not move.
    void processEvents() override { advanceTo(now_); }
    void processDrawEvents() override {}
    void delay(double seconds) override { advance(seconds); }

    // Moves the clock forward, running every event due on the way.
    void advance(double seconds);
    // Advances in steps until pred() holds or maxSeconds have passed; returns pred().
    bool runUntil(const std::function<bool()>& pred, double maxSeconds, double step = 0.001);
    void clearQuit() { quit_ = false; }

  private:
    using Nanos = std::int64_t;
    struct TimerSlot {
        Callback fn;
        Nanos interval = 0;
        Nanos next = 0;
        bool enabled = false;
        bool running = false;
        std::uint64_t order = 0;
    };
    static Nanos toNanos(double seconds);
    void advanceTo(Nanos target);
    // Fires the earliest event due at or before target; false when none is due.
    bool fireNext(Nanos target);

    Nanos now_ = 0;
    std::time_t wallEpoch_;
    Nanos wallStepNanos_ = 0;
    bool quit_ = false;
    std::uint64_t nextOrder_ = 0;
    int nextTimerId_ = 1;
    std::map<int, TimerSlot> timers_;
    std::map<std::pair<Nanos, std::uint64_t>, Callback> posted_;
    std::mutex inboxMutex_;
    std::vector<Callback> inbox_;  // from other threads, not yet taken in
};

}  // namespace platform
