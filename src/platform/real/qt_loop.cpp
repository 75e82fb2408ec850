#include "platform/real/qt_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <cmath>
#include <ctime>

namespace platform {

struct QtLoop::Slot {
    QTimer timer;
    Callback fn;
    bool running = false;
    bool removed = false;
};

namespace {
int toMillis(double seconds) {
    if (!(seconds > 0.0)) return 0;
    if (seconds > 2.0e6) seconds = 2.0e6;  // QTimer takes an int of milliseconds
    return static_cast<int>(std::lround(seconds * 1000.0));
}
}  // namespace

QtLoop::QtLoop() : context_(std::make_unique<QObject>()) {
    clock_.start();
}

QtLoop::~QtLoop() {
    {
        std::lock_guard<std::mutex> lock(workMutex_);
        stopWorker_ = true;
    }
    workChanged_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void QtLoop::runInBackground(Callback work, Callback done) {
    std::lock_guard<std::mutex> lock(workMutex_);
    waiting_.emplace_back(std::move(work), std::move(done));
    if (!worker_.joinable()) worker_ = std::thread([this] { workerRun(); });
    workChanged_.notify_all();
}

void QtLoop::workerRun() {
    std::unique_lock<std::mutex> lock(workMutex_);
    for (;;) {
        workChanged_.wait(lock, [this] { return stopWorker_ || !waiting_.empty(); });
        if (waiting_.empty()) return;  // stopping, and nothing left to do
        auto [work, done] = std::move(waiting_.front());
        waiting_.pop_front();
        working_ = true;
        lock.unlock();
        work();
        lock.lock();
        working_ = false;
        finished_.push_back(std::move(done));
        workChanged_.notify_all();
        // Queued to the loop's thread: the one way into the loop that any thread may take.
        QMetaObject::invokeMethod(context_.get(), [this] { runFinished(); }, Qt::QueuedConnection);
    }
}

void QtLoop::runFinished() {
    std::vector<Callback> dones;
    {
        std::lock_guard<std::mutex> lock(workMutex_);
        dones.swap(finished_);
    }
    for (Callback& done : dones) done();
}

void QtLoop::finishBackground() {
    {
        std::unique_lock<std::mutex> lock(workMutex_);
        workChanged_.wait(lock, [this] { return waiting_.empty() && !working_; });
    }
    runFinished();
}

double QtLoop::now() const {
    return static_cast<double>(clock_.nsecsElapsed()) * 1e-9;
}

int QtLoop::addTimer(Callback fn) {
    int id = nextId_++;
    auto slot = std::make_unique<Slot>();
    slot->fn = std::move(fn);
    slot->timer.setTimerType(Qt::PreciseTimer);
    Slot* raw = slot.get();
    QObject::connect(&raw->timer, &QTimer::timeout, [this, id]() {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        Slot* s = it->second.get();
        if (s->running || s->removed) return;  // no re-entry from a nested wait
        s->running = true;
        Callback call = s->fn;  // the callback may change or remove its own timer
        call();
        auto again = timers_.find(id);
        if (again == timers_.end()) return;
        again->second->running = false;
        if (again->second->removed) timers_.erase(again);
    });
    timers_.emplace(id, std::move(slot));
    return id;
}

void QtLoop::setTimer(int id, double intervalSeconds, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    QTimer& t = it->second->timer;
    int ms = std::max(1, toMillis(intervalSeconds));
    bool restart = ms != t.interval() || (enabled && !t.isActive());
    t.setInterval(ms);
    if (!enabled)
        t.stop();
    else if (restart)
        t.start();
}

void QtLoop::removeTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->timer.stop();
    if (it->second->running)
        it->second->removed = true;  // erased when its callback returns
    else
        timers_.erase(it);
}

std::int64_t QtLoop::wallTimeMs() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void QtLoop::post(double delaySeconds, Callback fn) {
    QTimer::singleShot(toMillis(delaySeconds), Qt::PreciseTimer, QCoreApplication::instance(),
                       std::move(fn));
}

void QtLoop::postFromAnyThread(Callback fn) {
    // Queued to the loop's thread, as the background work's results are.
    QMetaObject::invokeMethod(context_.get(), std::move(fn), Qt::QueuedConnection);
}

void QtLoop::run() {
    if (quit_) return;
    QCoreApplication::exec();
}

void QtLoop::quit() {
    quit_ = true;
    // exit(), not quit(): a GUI application's quit() first asks every window to close, and
    // the station's windows refuse (closing one is the logic's decision), which would
    // cancel the quit.
    QCoreApplication::exit(0);
}

void QtLoop::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtLoop::processDrawEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtLoop::delay(double seconds) {
    if (quit_) {
        // Stopping: waits are over, but what is already due still runs.
        processEvents();
        return;
    }
    QEventLoop wait;
    QTimer::singleShot(toMillis(seconds), Qt::PreciseTimer, &wait, &QEventLoop::quit);
    wait.exec();
}

}  // namespace platform
