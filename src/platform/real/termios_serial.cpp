#include "platform/real/termios_serial.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/event_loop.h"
#include "platform/trace.h"

namespace platform {

struct TermiosSerial::Port {
    int port = 0;
    int fd = -1;
    std::string path;
    std::deque<unsigned char> in;
    std::deque<unsigned char> out;
    std::size_t inLimit = 4095;
    std::size_t outLimit = 4095;
    bool watchingOutput = false;  // registered for "writable" while output waits
    ComCallback callback = nullptr;
    void* callbackData = nullptr;
    int eventMask = 0;
    bool inCallback = false;
    bool hardwareHandshake = false;
    bool softwareHandshake = false;
    // Failures that repeat on every call while they last are traced once until they end.
    bool outputRefused = false;      // the output queue was full
    bool lineStatusFailing = false;  // the modem lines could not be read
};

namespace {

constexpr int kMaxPort = 255;

speed_t baudConstant(long baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

bool applySettings(int fd, long baud, int parity, int dataBits, int stopBits, bool xonxoff,
                   bool rtscts) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    speed_t speed = baudConstant(baud);
    if (speed == B0) return false;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (dataBits) {
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    if (parity == 1)
        t.c_cflag |= PARENB | PARODD;  // odd
    else if (parity == 2)
        t.c_cflag |= PARENB;  // even
    else if (parity != 0)
        return false;
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    else if (stopBits != 1)
        return false;
    if (rtscts) t.c_cflag |= CRTSCTS;
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (xonxoff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

bool deviceGone(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) return false;
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void setHandshakeFlags(int fd, bool xonxoff, bool rtscts) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (xonxoff) t.c_iflag |= IXON | IXOFF;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (rtscts) t.c_cflag |= CRTSCTS;
    ::tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

// Every port's descriptor sits in one epoll set, and the loop watches only that set: the
// loop's own poll then covers one descriptor instead of 24 terminals, each of which costs
// the kernel a lock to poll, many times a second.
TermiosSerial::TermiosSerial(std::string stableFolder)
    : stableFolder_(std::move(stableFolder)), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

TermiosSerial::~TermiosSerial() {
    std::vector<int> open;
    for (auto& [n, p] : ports_) open.push_back(n);
    for (int n : open) close(n);
    notifier_.reset();
    if (epoll_ >= 0) ::close(epoll_);
}

void TermiosSerial::onReady() {
    epoll_event events[64];
    const int n = ::epoll_wait(epoll_, events, 64, 0);
    for (int i = 0; i < n; ++i) {
        // A callback may have closed this port (or any other) meanwhile: each is found again.
        const int port = static_cast<int>(events[i].data.u32);
        if ((events[i].events & EPOLLOUT) != 0) onWritable(port);
        if ((events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) onReadable(port);
    }
}

void TermiosSerial::watchOutput(Port& p, bool on) {
    if (p.watchingOutput == on) return;
    epoll_event ev{};
    ev.events = EPOLLIN | (on ? EPOLLOUT : 0u);
    ev.data.u32 = static_cast<std::uint32_t>(p.port);
    if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, p.fd, &ev) == 0) p.watchingOutput = on;
}

TermiosSerial::PortNaming TermiosSerial::portNaming() {
    const char* portsDir = std::getenv("VNK_PORTS_DIR");
    if (portsDir != nullptr && *portsDir != '\0') return {portsDir, "COM", 0};
    // udev removes the folder with its last link: every adapter out at once (a hub losing
    // power) must not turn COM1 into the computer's own ttyS0 until the adapters are back.
    struct stat st {};
    if (!stableFolderSeen_ && ::stat(stableFolder_.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        stableFolderSeen_ = true;
    if (stableFolderSeen_) return {stableFolder_, "COM", 0};
    return {"/dev", "ttyS", 1};
}

std::string TermiosSerial::devicePath(int port) {
    const PortNaming naming = portNaming();
    return naming.folder + "/" + naming.prefix + std::to_string(port - naming.offset);
}

TermiosSerial::Port* TermiosSerial::find(int port) const {
    auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second.get();
}

bool TermiosSerial::isOpen(int port) const {
    return find(port) != nullptr;
}

int TermiosSerial::open(int port, long baud, int parity, int dataBits, int stopBits, int inQueue,
                        int outQueue) {
    if (port < 1 || port > kMaxPort) {
        TRACE(ports, "COM%d: open refused, no such port number", port);
        return kComInvalidPort;
    }
    if (epoll_ < 0) {
        TRACE(ports, "COM%d: open refused, no epoll set", port);
        return kComCannotOpen;
    }
    // Made at the first open, when the loop surely exists, not when the back end is made.
    if (!notifier_) {
        notifier_ = std::make_unique<QSocketNotifier>(epoll_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this]() { onReady(); });
    }
    if (find(port) != nullptr) close(port);
    std::string path = devicePath(port);
    // The station's popups say only "cannot open": which node, and why, is said here.
    const auto refuse = [&](int fd, const char* why, int result) {
        TRACE(ports, "COM%d (%s): open failed: %s: %s", port, path.c_str(), why,
              trace::errnoText(errno));
        if (fd >= 0) ::close(fd);
        return result;
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return refuse(-1, "no such node", kComInvalidPort);
    if (!S_ISCHR(st.st_mode)) {  // not a device: not a serial port
        errno = 0;
        return refuse(-1, "not a character device", kComCannotOpen);
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return refuse(-1, "open", kComCannotOpen);
    // One user at a time: another program (or a second station) holding the port is "in use".
    if (!::isatty(fd)) return refuse(fd, "not a terminal", kComCannotOpen);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(fd, "in use (locked)", kComCannotOpen);
    errno = 0;
    if (!applySettings(fd, baud, parity, dataBits, stopBits, false, false))
        return refuse(fd, "settings refused", kComBadSettings);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = static_cast<std::uint32_t>(port);
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0)
        return refuse(fd, "epoll", kComCannotOpen);
    TRACE(ports, "COM%d (%s) opened: %ld baud, %d data bits, parity %d, %d stop bits", port,
          path.c_str(), baud, dataBits, parity, stopBits);
    auto p = std::make_unique<Port>();
    p->port = port;
    p->fd = fd;
    p->path = path;
    if (inQueue > 0) p->inLimit = static_cast<std::size_t>(inQueue);
    if (outQueue > 0) p->outLimit = static_cast<std::size_t>(outQueue);
    ports_[port] = std::move(p);
    return kComOk;
}

int TermiosSerial::close(int port) {
    auto it = ports_.find(port);
    if (it == ports_.end()) return kComNotOpen;
    Port& p = *it->second;
    // Out of the set first: events already taken for it find no port and are dropped.
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, p.fd, nullptr);
    ::close(p.fd);
    TRACE(ports, "COM%d (%s) closed", port, p.path.c_str());
    ports_.erase(it);
    return kComOk;
}

void TermiosSerial::lose(int port, const std::string& reason) {
    const Port* p = find(port);
    if (p == nullptr) return;
    TRACE(ports, "COM%d (%s) lost: %s", port, p->path.c_str(), reason.c_str());
    close(port);
    // Told from the loop: the call that found the loss (a receive pass over the epoll set, a
    // write of the link in the middle of its own bookkeeping) returns first, and the station
    // acts on the loss from a clean state. The port is already closed, so it can be lost only
    // once until it is opened again.
    EventLoop* l = currentLoop();
    if (l == nullptr) {
        ReportPortLost(port, reason.c_str());
        return;
    }
    l->post(0.0, [port, reason]() { ReportPortLost(port, reason.c_str()); });
}

void TermiosSerial::onReadable(int port) {
    Port* p = find(port);
    if (p == nullptr) return;
    unsigned char buf[4096];
    bool arrived = false;
    for (;;) {
        ssize_t n = ::read(p->fd, buf, sizeof buf);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (p->in.size() < p->inLimit) p->in.push_back(buf[i]);  // a full queue overruns
            }
            arrived = true;
            // A short read took all that was waiting; anything arriving after it wakes the
            // notifier again. Reading on until the terminal says "nothing" would cost two
            // more system calls a reply, on every port, ten times a second.
            if (static_cast<std::size_t>(n) < sizeof buf) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // A raw terminal answers 0 when nothing is waiting; only a hang-up flag or an error
        // such as EIO means the device has gone (the far end of a pseudo-terminal closed,
        // a USB adapter pulled). Bytes taken just before it go with the port.
        if (n < 0) {
            lose(port, std::string("read error: ") + trace::errnoText(errno));
            return;
        }
        if (arrived || !deviceGone(p->fd)) break;
        lose(port, "hang-up");
        return;
    }
    if (!arrived || p->inCallback || p->callback == nullptr || !(p->eventMask & kEventCharReceived))
        return;
    p->inCallback = true;
    ComCallback cb = p->callback;
    void* data = p->callbackData;
    cb(port, kEventCharReceived, data);
    if (Port* again = find(port)) again->inCallback = false;
}

bool TermiosSerial::drainOutput(Port& p) {
    unsigned char buf[1024];
    while (!p.out.empty()) {
        std::size_t n = std::min(p.out.size(), sizeof buf);
        std::copy(p.out.begin(), p.out.begin() + static_cast<std::ptrdiff_t>(n), buf);
        ssize_t w = ::write(p.fd, buf, n);
        if (w > 0) {
            p.out.erase(p.out.begin(), p.out.begin() + w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        // EAGAIN (or a write taking nothing): the notifier says when there is room. Anything
        // else (EIO, ENXIO, ENODEV, EPIPE) is a device that has gone, and would fail again on
        // every write.
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            const int error = errno;
            TRACE(ports, "COM%d (%s) write failed, %zu bytes waiting", p.port, p.path.c_str(),
                  p.out.size());
            lose(p.port, std::string("write error: ") + trace::errnoText(error));
            return false;
        }
        break;
    }
    watchOutput(p, !p.out.empty());
    return true;
}

void TermiosSerial::onWritable(int port) {
    if (Port* p = find(port)) drainOutput(*p);
}

int TermiosSerial::read(int port, unsigned char* buffer, std::size_t count) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    std::size_t n = std::min(count, p->in.size());
    std::copy(p->in.begin(), p->in.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    p->in.erase(p->in.begin(), p->in.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

int TermiosSerial::write(int port, const unsigned char* data, std::size_t count) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    std::size_t room = p->outLimit > p->out.size() ? p->outLimit - p->out.size() : 0;
    std::size_t n = std::min(count, room);
    if (n < count && !p->outputRefused)
        TRACE(ports, "COM%d (%s) output queue full: %zu of %zu bytes taken", port, p->path.c_str(),
              n, count);
    p->outputRefused = n < count;
    p->out.insert(p->out.end(), data, data + n);
    if (!drainOutput(*p)) return kComIoError;  // the port is closed now
    return static_cast<int>(n);
}

int TermiosSerial::inQueueLength(int port) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    return static_cast<int>(p->in.size());
}

int TermiosSerial::flushIn(int port) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    p->in.clear();
    ::tcflush(p->fd, TCIFLUSH);
    return kComOk;
}

int TermiosSerial::flushOut(int port) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    p->out.clear();
    watchOutput(*p, false);
    ::tcflush(p->fd, TCOFLUSH);
    return kComOk;
}

int TermiosSerial::installCallback(int port, int eventMask, ComCallback cb, void* data) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    p->callback = cb;
    p->callbackData = data;
    p->eventMask = eventMask;
    return kComOk;
}

int TermiosSerial::setTimeout(int port, double) {
    // Reads and writes never block here, so there is nothing to time out.
    return find(port) != nullptr ? kComOk : kComNotOpen;
}

int TermiosSerial::setSoftwareHandshake(int port, bool on) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    p->softwareHandshake = on;
    setHandshakeFlags(p->fd, p->softwareHandshake, p->hardwareHandshake);
    return kComOk;
}

int TermiosSerial::setHardwareHandshake(int port, bool on) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    p->hardwareHandshake = on;
    setHandshakeFlags(p->fd, p->softwareHandshake, p->hardwareHandshake);
    return kComOk;
}

int TermiosSerial::lineStatus(int port) {
    Port* p = find(port);
    if (p == nullptr) return kComNotOpen;
    int bits = 0;
    if (::ioctl(p->fd, TIOCMGET, &bits) != 0) {  // e.g. a pseudo-terminal
        if (!p->lineStatusFailing)
            TRACE(ports, "COM%d (%s) modem lines cannot be read: %s", port, p->path.c_str(),
                  trace::errnoText(errno));
        p->lineStatusFailing = true;
        return kComIoError;
    }
    p->lineStatusFailing = false;
    return (bits & TIOCM_CTS) ? kLineCts : 0;
}

std::vector<int> TermiosSerial::existingPorts() {
    std::vector<int> out;
    const PortNaming naming = portNaming();
    DIR* d = ::opendir(naming.folder.c_str());
    if (d == nullptr) return out;
    const std::size_t plen = naming.prefix.size();
    while (dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, naming.prefix.c_str(), plen) != 0) continue;
        const char* digits = e->d_name + plen;
        if (*digits == '\0' || std::strspn(digits, "0123456789") != std::strlen(digits)) continue;
        long n = std::strtol(digits, nullptr, 10) + naming.offset;
        if (n < 1 || n > kMaxPort) continue;
        // stat, not lstat: the links of the udev rule lead to the adapters' ttyUSB nodes.
        struct stat st {};
        if (::stat((naming.folder + "/" + e->d_name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
            continue;
        out.push_back(static_cast<int>(n));
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace platform
