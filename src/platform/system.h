// What the station asks of the computer beyond ports and windows: the monitors the bank
// windows are spread over, opening a web or mail link, starting a program, the
// parallel-port status register of the emergency-stop loop, the switch sound, and shutting
// the computer down. A real back end and a recording one for tests implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct Monitor {
    int left = 0;
    int top = 0;
    int width = 1024;
    int height = 768;
};

// What became of a link or a program handed to the desktop: false when nothing could open
// it (no program for the link, the program missing, or ending in failure). The desktop often
// knows that only after a while: it comes at once or later, from the loop, and never blocks.
using Opened = std::function<void(bool opened)>;

class SystemBackEnd {
  public:
    virtual ~SystemBackEnd() = default;
    virtual std::vector<Monitor> monitors() = 0;
    // "open" a web address or mailto: link with the desktop's handler; done (may be empty)
    // hears whether it could.
    virtual void openLink(const std::string& link, Opened done) = 0;
    // Starts a program with its arguments and does not wait for it; done (may be empty)
    // hears whether it ran.
    virtual void launch(const std::string& program, const std::vector<std::string>& args,
                        Opened done) = 0;
    virtual void shutdownComputer() = 0;
    virtual void playSound(const std::string& file) = 0;
    // The parallel port's status register: open it, read it (-1 when it cannot be read).
    virtual bool openParallel() = 0;
    virtual int readParallelStatus() = 0;
    virtual void closeParallel() = 0;
};

// The computer's host name ("" when it cannot be read).
std::string ComputerName();

void setSystemBackEnd(SystemBackEnd* backEnd);
SystemBackEnd& systemBackEnd();

// Records what the station asked for; monitors, the status byte and whether links and
// programs open are set by the test.
class SimSystem : public SystemBackEnd {
  public:
    std::vector<Monitor> screens{Monitor{}};
    bool opens = true;  // what every link and program reports, at once
    std::vector<std::string> links;
    struct Launch {
        std::string program;
        std::vector<std::string> args;
    };
    std::vector<Launch> launched;
    std::vector<std::string> sounds;
    int shutdowns = 0;
    bool parallelAvailable = true;
    bool parallelOpen = false;
    int parallelOpens = 0;
    int status = 0x10;  // the E-stop loop closed

    std::vector<Monitor> monitors() override { return screens; }
    void openLink(const std::string& link, Opened done) override {
        links.push_back(link);
        if (done) done(opens);
    }
    void launch(const std::string& program, const std::vector<std::string>& args,
                Opened done) override {
        launched.push_back({program, args});
        if (done) done(opens);
    }
    void shutdownComputer() override { ++shutdowns; }
    void playSound(const std::string& file) override { sounds.push_back(file); }
    bool openParallel() override {
        ++parallelOpens;
        parallelOpen = parallelAvailable;
        return parallelOpen;
    }
    int readParallelStatus() override { return parallelOpen ? status : -1; }
    void closeParallel() override { parallelOpen = false; }
};

}  // namespace platform
