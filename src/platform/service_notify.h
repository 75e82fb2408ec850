// The station's word to the service manager that supervises it (a systemd user service of
// Type=notify): the manager's notification protocol, one datagram per message on the unix
// socket NOTIFY_SOCKET names ("READY=1", "WATCHDOG=1", "STATUS=...", "STOPPING=1"). Without
// NOTIFY_SOCKET nothing is sent. The protocol is spoken here rather than through the
// manager's client library: its development package would have moved the machine's own
// systemd to another release.
//
// A message never waits: the socket is non-blocking, and a message the manager cannot take
// at once is dropped (the watchdog's next ping follows half a period later).
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

namespace platform {

class ServiceNotifier {
  public:
    ServiceNotifier() = default;
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;
    ~ServiceNotifier() { close(); }

    // Reads NOTIFY_SOCKET ("/path" or "@abstract"), WATCHDOG_USEC and WATCHDOG_PID, and
    // removes them from the environment, so that no program the station starts takes the
    // station's place towards the manager. A watchdog meant for another process
    // (WATCHDOG_PID) is not this one's. false when there is no manager to tell.
    bool openFromEnvironment();
    bool enabled() const { return fd_ >= 0; }
    // Seconds within which the manager wants a "WATCHDOG=1"; 0 without a watchdog.
    double watchdogTimeout() const { return watchdogTimeout_; }
    // Sends one message (lines "NAME=value"); false when it did not go.
    bool send(const std::string& message) const;
    void close();

  private:
    int fd_ = -1;
    sockaddr_un address_{};
    socklen_t addressLength_ = 0;
    double watchdogTimeout_ = 0.0;
};

}  // namespace platform
