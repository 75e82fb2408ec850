#include "platform/sim_loop.h"

#include <cmath>
#include <limits>

namespace platform {

SimLoop::SimLoop(std::time_t wallEpoch) : wallEpoch_(wallEpoch) {}

std::time_t SimLoop::wallTime() const {
    return static_cast<std::time_t>(wallTimeMs() / 1000);
}

void SimLoop::stepWallClock(double seconds) {
    wallStepNanos_ += seconds < 0 ? -toNanos(-seconds) : toNanos(seconds);
}

std::int64_t SimLoop::wallTimeMs() const {
    return (static_cast<std::int64_t>(wallEpoch_) * 1000000000 + now_ + wallStepNanos_) / 1000000;
}

SimLoop::Nanos SimLoop::toNanos(double seconds) {
    if (!(seconds > 0.0)) return 0;  // also catches NaN
    if (seconds > 1e9) seconds = 1e9;
    return static_cast<Nanos>(std::llround(seconds * 1e9));
}

int SimLoop::addTimer(Callback fn) {
    int id = nextTimerId_++;
    TimerSlot slot;
    slot.fn = std::move(fn);
    slot.order = nextOrder_++;
    timers_.emplace(id, std::move(slot));
    return id;
}

void SimLoop::setTimer(int id, double intervalSeconds, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    TimerSlot& t = it->second;
    Nanos interval = toNanos(intervalSeconds);
    // A zero interval would fire endlessly at one instant; treat it as "as often as
    // possible" with the smallest step the clock has.
    if (interval == 0) interval = 1000;
    bool restart = interval != t.interval || (enabled && !t.enabled);
    t.interval = interval;
    t.enabled = enabled;
    if (restart) t.next = now_ + interval;
}

void SimLoop::removeTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    if (it->second.running) {
        // Removed from inside its own callback: disable now, erase when it returns.
        it->second.enabled = false;
        it->second.fn = nullptr;
        return;
    }
    timers_.erase(it);
}

void SimLoop::post(double delaySeconds, Callback fn) {
    posted_.emplace(std::make_pair(now_ + toNanos(delaySeconds), nextOrder_++), std::move(fn));
}

void SimLoop::postFromAnyThread(Callback fn) {
    std::lock_guard<std::mutex> lock(inboxMutex_);
    inbox_.push_back(std::move(fn));
}

void SimLoop::runInBackground(Callback work, Callback done) {
    post(0.0, [work = std::move(work), done = std::move(done)] {
        work();
        done();
    });
}

void SimLoop::finishBackground() {
    processEvents();
}

bool SimLoop::fireNext(Nanos target) {
    // Earliest due event; at equal times the one created first.
    Nanos bestDue = std::numeric_limits<Nanos>::max();
    std::uint64_t bestOrder = std::numeric_limits<std::uint64_t>::max();
    int bestTimer = 0;
    for (auto& [id, t] : timers_) {
        if (!t.enabled || t.running || !t.fn || t.next > target) continue;
        if (t.next < bestDue || (t.next == bestDue && t.order < bestOrder)) {
            bestDue = t.next;
            bestOrder = t.order;
            bestTimer = id;
        }
    }
    auto posted = posted_.begin();
    bool postedFirst = posted != posted_.end() && posted->first.first <= target &&
                       (posted->first.first < bestDue ||
                        (posted->first.first == bestDue && posted->first.second < bestOrder));
    if (postedFirst) {
        if (posted->first.first > now_) now_ = posted->first.first;
        Callback fn = std::move(posted->second);
        posted_.erase(posted);
        fn();
        return true;
    }
    if (bestTimer == 0) return false;

    TimerSlot& t = timers_.at(bestTimer);
    if (t.next > now_) now_ = t.next;
    t.next += t.interval;
    t.running = true;
    Callback fn = t.fn;  // the callback may change or remove its own timer
    fn();
    auto it = timers_.find(bestTimer);
    if (it != timers_.end()) {
        it->second.running = false;
        if (!it->second.fn) {
            timers_.erase(it);
        } else if (it->second.next <= now_) {
            // The callback waited past its own next tick: missed ticks are skipped.
            Nanos behind = now_ - it->second.next;
            it->second.next += (behind / it->second.interval + 1) * it->second.interval;
        }
    }
    return true;
}

void SimLoop::advanceTo(Nanos target) {
    std::vector<Callback> arrived;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        arrived.swap(inbox_);
    }
    for (Callback& fn : arrived) post(0.0, std::move(fn));
    while (fireNext(target)) {
    }
    if (target > now_) now_ = target;
}

void SimLoop::advance(double seconds) {
    advanceTo(now_ + toNanos(seconds));
}

bool SimLoop::runUntil(const std::function<bool()>& pred, double maxSeconds, double step) {
    Nanos end = now_ + toNanos(maxSeconds);
    Nanos stepNs = std::max<Nanos>(toNanos(step), 1);
    while (!pred()) {
        if (now_ >= end) return false;
        advanceTo(std::min(end, now_ + stepNs));
    }
    return true;
}

void SimLoop::run() {
    while (!quit_) {
        // Jump to the next due event, whatever its distance.
        Nanos next = std::numeric_limits<Nanos>::max();
        for (auto& [id, t] : timers_)
            if (t.enabled && !t.running && t.fn) next = std::min(next, t.next);
        if (!posted_.empty()) next = std::min(next, posted_.begin()->first.first);
        if (next == std::numeric_limits<Nanos>::max()) break;
        advanceTo(std::max(next, now_));
    }
}

}  // namespace platform
