// The real event loop: Qt's, on the one GUI thread. Timers are precise QTimers; Timer()
// is a monotonic clock started with the loop. A QCoreApplication (or QApplication) must
// exist before this is created.
#pragma once

#include <QElapsedTimer>
#include <map>
#include <memory>

#include "platform/event_loop.h"

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

    void run() override;
    void quit() override;
    bool quitRequested() const override { return quit_; }
    void processEvents() override;
    void processDrawEvents() override;
    void delay(double seconds) override;

  private:
    struct Slot;
    QElapsedTimer clock_;
    std::map<int, std::unique_ptr<Slot>> timers_;
    int nextId_ = 1;
    bool quit_ = false;
};

}  // namespace platform
