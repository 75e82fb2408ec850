// The event-loop seam: the one loop on which every serial byte, timer tick and operator
// click is dispatched, with the Timer() clock and Delay(). Two back ends implement it: the
// Qt event loop (real time) and SimLoop (virtual time, for tests).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace platform {

using Callback = std::function<void()>;

class EventLoop {
  public:
    virtual ~EventLoop() = default;

    // Seconds on a monotonic clock that starts with the loop.
    virtual double now() const = 0;
    // Wall-clock time for date and time texts.
    virtual std::time_t wallTime() const = 0;
    // The wall clock in ms since 1970, read afresh each time: it follows clock steps (NTP,
    // the operator setting the clock), where now() never jumps.
    virtual std::int64_t wallTimeMs() const = 0;

    // A periodic timer, created disabled. Enabling it or changing its interval starts a
    // new period from now. A timer never fires again while its own callback is running.
    virtual int addTimer(Callback fn) = 0;
    virtual void setTimer(int id, double intervalSeconds, bool enabled) = 0;
    virtual void removeTimer(int id) = 0;

    // Runs fn once, after delaySeconds, on the loop. From the loop's own thread only.
    virtual void post(double delaySeconds, Callback fn) = 0;
    // Runs fn on the loop at its next turn: the one call any thread may make (a network
    // client's own thread hands its results over with it).
    virtual void postFromAnyThread(Callback fn) = 0;

    // Slow I/O off the loop (the archive move): work runs on a worker thread, one work at a
    // time in the order given, and then done runs on the loop. work must touch nothing of
    // the station's state; what it finds goes to done through what both capture. SimLoop
    // runs both on the loop at its next turn, so tests stay in virtual time.
    virtual void runInBackground(Callback work, Callback done) = 0;
    // Waits until every work given so far has ended and its done has run (the exit).
    virtual void finishBackground() = 0;

    virtual void run() = 0;
    virtual void quit() = 0;
    virtual bool quitRequested() const = 0;
    virtual void processEvents() = 0;
    virtual void processDrawEvents() = 0;
    // Waits, letting due callbacks run meanwhile.
    virtual void delay(double seconds) = 0;
};

// The loop in use. Start-up (or a test fixture) installs one before anything else runs.
EventLoop& loop();
void setLoop(EventLoop* loop);
// The loop in use, or nullptr before one is installed.
EventLoop* currentLoop();

// The system's names for the loop's services.
double Timer();
void Delay(double seconds);
void ProcessSystemEvents();
void ProcessDrawEvents();
void RunUserInterface();
void QuitUserInterface();
// "MM-DD-YYYY" and "HH:MM:SS" of the loop's wall clock, local time.
const char* DateStr();
const char* TimeStr();
// Both from one reading of the clock, so that a line written at midnight never pairs the
// old day's date with the new day's time.
struct DateTimeText {
    char date[16];
    char time[16];
};
DateTimeText DateTimeStr();

}  // namespace platform
