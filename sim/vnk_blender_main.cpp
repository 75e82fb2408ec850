// vnk-blender: the blender computer on a loopback TCP port, for tests and the demo. It sends
// the treating pressure to the station and checks every 292-byte reply (blender_peer.h).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "blender_peer.h"
#include "pumpsim_script.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}
volatile sig_atomic_t g_go = 0;
void onGo(int) {
    g_go = 1;
}

const char* kUsage =
    "usage: vnk-blender [options]\n"
    "\n"
    "Plays the blender computer: listens on 127.0.0.1, accepts the station's connection (one\n"
    "at a time, again after a close), sends the treating pressure as text every interval and\n"
    "checks every reply: 292 bytes a message, in step, on time, and (with --state) the pump\n"
    "values of the fleet. P is a pump number or a list: 5, 1-8,12 or all.\n"
    "\n"
    "link:\n"
    "  --port N               TCP port (default $VNK_BLENDER_PORT, else 9017; 0: any free\n"
    "                         port, printed on the first line)\n"
    "  --interval SEC         between messages, 0.1-5 (default 1)\n"
    "  --terminator T         after each message: none, crlf or lf (default none)\n"
    "\n"
    "the pressure (psi, sent as e.g. 6523.4):\n"
    "  --pressure PSI         the pressure sent (default 5000)\n"
    "  --state FILE           vnk-sim's state file: the pressure is the average discharge of\n"
    "                         the pumps on it whose line is ok, and the replies are compared\n"
    "                         with its pump values\n"
    "  --ramp PSI@SEC         the pressure runs in a straight line from the one above at 0 s\n"
    "                         to PSI at SEC, then holds (repeatable: the points in time order;\n"
    "                         e.g. --ramp 5000@9.9 --ramp 9000@10 is a step at 10 s)\n"
    "\n"
    "failure modes, on from SEC (default 0) until END or an ok (repeatable):\n"
    "  --fail MODE[@SEC[-END]]\n"
    "                         split     each message in two writes, 50 ms apart\n"
    "                         coalesce  two messages in one write\n"
    "                         oversize[:BYTES]  messages of BYTES (default 300; 256-65536)\n"
    "                         garbage   abc, nan, -5, a leading NUL, 1e12, inf in turn\n"
    "                         silent    no messages\n"
    "                         no-read   the replies are not read\n"
    "                         close     close the connection at SEC (once)\n"
    "                         refuse    no new connections\n"
    "                         ok        clear every mode switched on before SEC\n"
    "\n"
    "checks:\n"
    "  --units us|metric      the station's display units (default us)\n"
    "  --offline LIST         pumps the station must report as zeros (default none; pumps\n"
    "                         not on the state file always)\n"
    "  --tolerance PCT        reply values against the fleet's (default 5, plus 25 psi\n"
    "                         discharge, 5 psi suction, 0.25 bbl/min)\n"
    "  --settle SEC           values are compared from SEC after a connection opens (default 5)\n"
    "  --max-latency MS       a reply must be complete within MS of its message (default 250\n"
    "                         or half the interval, whichever is less; below the interval)\n"
    "\n"
    "  --duration SEC         exit after SEC seconds (default: run until Ctrl-C or SIGTERM)\n"
    "  --quiet                no status line\n"
    "  --hold                 the clock of the ramps and the failure modes stays at 0 s until a\n"
    "                         SIGUSR1 (a test sends it when the station is ready); it listens,\n"
    "                         accepts and reads meanwhile\n"
    "  --help                 this text\n"
    "  --version              the version\n"
    "\n"
    "At exit one summary line: vnk-blender: summary key=value ... result=ok|failed. Exit code 0\n"
    "when replies came and none was of a bad size, out of step, missing, extra, late or\n"
    "different from the fleet; 1 otherwise; 2 for a bad option.\n";

double monotonic() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void say(const std::string& text) {
    std::printf("vnk-blender: %s\n", text.c_str());
    std::fflush(stdout);
}

bool number(const std::string& text, double lo, double hi, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

int openListener(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // A small window, inherited by the accepted socket, so that no-read backs the replies up
    // into the station within seconds instead of megabytes.
    const int window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    return ntohs(addr.sin_port);
}

std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

int main(int argc, char** argv) {
    blender::PeerOptions options;
    blender::FailSchedule schedule;
    int port = 9017;
    bool portGiven = false;
    std::string statePath;
    double duration = -1.0;
    bool quiet = false;
    bool hold = false;
    bool latencyGiven = false;

    auto need = [&](int& i) -> std::string {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vnk-blender: %s needs a value\n%s", argv[i], kUsage);
            std::exit(2);
        }
        return argv[++i];
    };
    auto bad = [](const std::string& option, const std::string& value) {
        std::fprintf(stderr, "vnk-blender: bad %s %s\n", option.c_str(), value.c_str());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        double v = 0.0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("%s %s\n", "vnk-blender", VNK_VERSION);
            return 0;
        } else if (a == "--port") {
            const std::string s = need(i);
            if (!number(s, 0, 65535, v) || v != std::floor(v)) return bad(a, s);
            port = static_cast<int>(v);
            portGiven = true;
        } else if (a == "--interval") {
            const std::string s = need(i);
            if (!number(s, 0.1, 5.0, options.interval)) return bad(a, s);
        } else if (a == "--terminator") {
            const std::string s = need(i);
            auto t = blender::parseTerminator(s);
            if (!t) return bad(a, s);
            options.terminator = *t;
        } else if (a == "--pressure") {
            const std::string s = need(i);
            if (!number(s, 0.0, 1e6, options.basePsi)) return bad(a, s);
        } else if (a == "--state") {
            statePath = need(i);
        } else if (a == "--ramp") {
            const std::string s = need(i);
            auto p = blender::parseRamp(s);
            if (!p) return bad(a, s);
            options.ramp.push_back(*p);
        } else if (a == "--fail") {
            const std::string s = need(i);
            auto w = blender::parseFail(s);
            if (!w) return bad(a, s);
            schedule.add(*w);
        } else if (a == "--units") {
            const std::string s = need(i);
            if (s != "us" && s != "metric") return bad(a, s);
            options.content.units = s == "us" ? blender::Units::Us : blender::Units::Metric;
        } else if (a == "--offline") {
            const std::string s = need(i);
            auto list = pumpsim::parsePumpList(s, 1, blender::kPumps);
            if (!list) return bad(a, s);
            for (int p : *list) options.content.offline[static_cast<size_t>(p - 1)] = true;
        } else if (a == "--tolerance") {
            const std::string s = need(i);
            if (!number(s, 0.0, 100.0, options.content.tolerancePct)) return bad(a, s);
        } else if (a == "--settle") {
            const std::string s = need(i);
            if (!number(s, 0.0, 1e6, options.settle)) return bad(a, s);
        } else if (a == "--max-latency") {
            const std::string s = need(i);
            if (!number(s, 1.0, 5000.0, v)) return bad(a, s);
            options.maxLatency = v / 1000.0;
            latencyGiven = true;
        } else if (a == "--duration") {
            const std::string s = need(i);
            if (!number(s, 0.0, 1e7, duration)) return bad(a, s);
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--hold") {
            hold = true;
        } else {
            std::fprintf(stderr, "vnk-blender: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (const char* env = std::getenv("VNK_BLENDER_PORT");
        !portGiven && env != nullptr && *env != '\0') {
        double v = 0.0;
        if (!number(env, 1, 65535, v) || v != std::floor(v)) return bad("VNK_BLENDER_PORT", env);
        port = static_cast<int>(v);
    }
    if (port < 0 || port > 65535) {
        std::fprintf(stderr, "vnk-blender: bad port %d\n", port);
        return 2;
    }
    if (!latencyGiven) options.maxLatency = std::min(options.maxLatency, options.interval / 2.0);
    if (options.maxLatency >= options.interval) {
        std::fprintf(stderr, "vnk-blender: --max-latency must be below --interval\n");
        return 2;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = onGo;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int listener = openListener(port);
    if (listener < 0) {
        std::fprintf(stderr, "vnk-blender: cannot listen on 127.0.0.1:%d: %s\n", port,
                     std::strerror(errno));
        return 1;
    }
    port = boundPort(listener);  // the one chosen for --port 0; kept for reopening
    say("listening on 127.0.0.1:" + std::to_string(port));

    blender::Peer peer(options, schedule);
    int conn = -1;
    std::string out;  // bytes accepted for sending, not yet taken by the socket
    const size_t kOutLimit = 65536;

    auto closeConn = [&](double now, const char* why) {
        if (conn < 0) return;
        ::close(conn);
        conn = -1;
        out.clear();
        peer.disconnected(now);
        say(std::string("connection closed: ") + why);
    };
    auto readAll = [&](double now) {
        uint8_t buf[4096];
        for (int k = 0; k < 64 && conn >= 0; ++k) {
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n > 0) {
                peer.received(std::span<const uint8_t>(buf, static_cast<size_t>(n)), now);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
            closeConn(now, n == 0 ? "by the station" : std::strerror(errno));
        }
    };
    auto flush = [&](double now) {
        while (conn >= 0 && !out.empty()) {
            const ssize_t n = ::send(conn, out.data(), out.size(), MSG_NOSIGNAL);
            if (n > 0) {
                out.erase(0, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
            closeConn(now, std::strerror(errno));
        }
    };
    auto printNotes = [&] {
        for (const std::string& n : peer.takeNotes()) say(n);
    };

    double start = monotonic();
    const auto peerClock = [&] { return hold ? 0.0 : monotonic() - start; };
    double nextStatus = 1.0;
    double nextState = 0.0;
    double endAt = -1.0;  // set when stopping: the last replies may still be on their way
    bool reading = true;
    for (;;) {
        if (hold && g_go != 0) {
            hold = false;
            start = monotonic();
            say("the clock starts");
        }
        double now = peerClock();
        if (endAt < 0.0 && (g_stop || (duration >= 0.0 && now >= duration))) {
            peer.stopSending();
            endAt = now + options.maxLatency + 0.05;
        }
        if (endAt >= 0.0 && (!peer.awaitingReply(now) || now >= endAt)) break;

        if (!statePath.empty() && now >= nextState) {
            nextState = now + 0.5;
            if (auto fleet = blender::parseFleetState(slurp(statePath))) peer.setFleet(*fleet);
        }

        const blender::Actions act = peer.tick(now);
        reading = act.read;
        if (act.close) closeConn(now, "as scheduled");
        if (!act.listen && listener >= 0) {
            ::close(listener);
            listener = -1;
            say("refusing connections");
        } else if (act.listen && listener < 0) {
            listener = openListener(port);
            if (listener >= 0) say("accepting connections again");
        }
        if (conn >= 0 && !act.write.empty()) {
            if (out.size() + act.write.size() > kOutLimit) {
                say("the station is not reading: message dropped");
            } else {
                out += act.write;
            }
            flush(now);
        }
        printNotes();

        pollfd fds[2];
        nfds_t n = 0;
        if (listener >= 0) fds[n++] = {listener, POLLIN, 0};
        const nfds_t connAt = n;
        if (conn >= 0) {
            short events = reading ? POLLIN : 0;
            if (!out.empty()) events = static_cast<short>(events | POLLOUT);
            fds[n++] = {conn, events, 0};
        }
        ::poll(fds, n, 5);
        now = peerClock();

        if (conn >= 0 && connAt < n) {
            if (reading && (fds[connAt].revents & (POLLIN | POLLHUP | POLLERR)) != 0) readAll(now);
            if (conn >= 0 && (fds[connAt].revents & POLLOUT) != 0) flush(now);
        }
        if (listener >= 0 && (fds[0].revents & POLLIN) != 0 && endAt < 0.0) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                if (conn >= 0) {
                    if (reading) readAll(now);  // a close already on its way is not an overlap
                    if (conn >= 0) {
                        ::close(conn);
                        conn = -1;
                        out.clear();
                        say("new connection while the old one is open: old one closed");
                    }
                }
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                conn = fd;
                peer.connected(now);
                say("station connected");
            }
        }
        printNotes();

        if (!quiet && now >= nextStatus) {
            nextStatus = std::floor(now) + 1.0;
            say(peer.statusLine(now));
        }
    }

    const double now = peerClock();
    if (conn >= 0 && reading) readAll(now);
    if (conn >= 0) {
        ::close(conn);
        conn = -1;
    }
    if (listener >= 0) ::close(listener);
    peer.finish(now);
    printNotes();
    const blender::Summary& s = peer.summary();
    say("summary " + s.line());
    return s.good() ? 0 : 1;
}
