// The real event loop: Qt's, on the one GUI thread. Timers are precise QTimers; Timer()
// is a monotonic clock started with the loop. A QCoreApplication (or QApplication) must
// exist before this is created.
#pragma once

#include <QElapsedTimer>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/event_loop.h"

class QObject;
class QTimer;

namespace platform {

class QtLoop : public EventLoop {
  public:
    QtLoop();
    ~QtLoop() override;

    double now() const override;
    std::time_t wallTime() const override { return std::time(nullptr); }
    std::int64_t wallTimeMs() const override;

    int addTimer(Callback fn) override;
    void setTimer(int id, double intervalSeconds, bool enabled) override;
    void removeTimer(int id) override;
    void post(double delaySeconds, Callback fn) override;
    void postFromAnyThread(Callback fn) override;
    void runInBackground(Callback work, Callback done) override;
    void finishBackground() override;

    void run() override;
    void quit() override;
    bool quitRequested() const override { return quit_; }
    void processEvents() override;
    void processDrawEvents() override;
    void delay(double seconds) override;

  private:
    struct Slot;
    void workerRun();
    void runFinished();  // on the loop: the done of every work that has ended

    // The worker: started with the first work, kept until the loop goes.
    std::thread worker_;
    std::mutex workMutex_;
    std::condition_variable workChanged_;
    std::deque<std::pair<Callback, Callback>> waiting_;  // work and done, not begun
    std::vector<Callback> finished_;                      // dones whose work has ended
    bool working_ = false;
    bool stopWorker_ = false;
    // What the worker's queued calls go to: gone with the loop, so none outlives it.
    std::unique_ptr<QObject> context_;
    QElapsedTimer clock_;
    std::map<int, std::unique_ptr<Slot>> timers_;
    int nextId_ = 1;
    bool quit_ = false;
};

}  // namespace platform
