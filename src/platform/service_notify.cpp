#include "platform/service_notify.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

std::string takeVariable(const char* name) {
    const char* v = std::getenv(name);
    std::string value = v != nullptr ? v : "";
    ::unsetenv(name);
    return value;
}

// A whole decimal number without sign or trailing text; 0 for anything else.
unsigned long long wholeNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    errno = 0;
    const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 ? n : 0;
}

}  // namespace

bool ServiceNotifier::openFromEnvironment() {
    close();
    const std::string socketName = takeVariable("NOTIFY_SOCKET");
    const std::string usec = takeVariable("WATCHDOG_USEC");
    const std::string pid = takeVariable("WATCHDOG_PID");
    // A path, or a name in the abstract namespace; anything else is no socket of a manager.
    if (socketName.size() < 2 || (socketName[0] != '/' && socketName[0] != '@') ||
        socketName.size() > sizeof address_.sun_path - (socketName[0] == '/' ? 1 : 0))
        return false;
    address_ = {};
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, socketName.data(), socketName.size());
    if (socketName[0] == '@') address_.sun_path[0] = '\0';
    addressLength_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketName.size() +
                                            (socketName[0] == '/' ? 1 : 0));
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    const unsigned long long timeout = wholeNumber(usec);
    const bool ours = pid.empty() || wholeNumber(pid) == static_cast<unsigned long long>(::getpid());
    watchdogTimeout_ = ours ? static_cast<double>(timeout) / 1e6 : 0.0;
    return true;
}

bool ServiceNotifier::send(const std::string& message) const {
    if (fd_ < 0) return false;
    ssize_t n;
    do {
        n = ::sendto(fd_, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                     reinterpret_cast<const sockaddr*>(&address_), addressLength_);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(message.size());
}

void ServiceNotifier::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    watchdogTimeout_ = 0.0;
}

}  // namespace platform
