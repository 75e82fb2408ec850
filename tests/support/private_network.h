// A network of the test's own, loopback only: a listener in it cannot be reached from any
// other machine, whatever address it binds. This mosquitto's WebSockets listener takes every
// interface whatever its configuration names, so the tests that start one run in such a
// network, or check where it really listens and skip.
#pragma once

#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// Moves the calling thread into a new network namespace with only "lo", and brings it up.
// Call it on the main thread before any thread or child process starts: those started
// afterwards (the broker, the station, the browser and their children) inherit it, those
// started before stay outside. Empty when done, else why not (it needs root or
// CAP_SYS_ADMIN). Once per process: later calls give the first answer.
inline std::string EnterPrivateNetwork() {
    static const std::string why = []() -> std::string {
        if (::unshare(CLONE_NEWNET) != 0)
            return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq lo{};
        std::strncpy(lo.ifr_name, "lo", IFNAMSIZ - 1);
        bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &lo) == 0;
        lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
        up = up && ::ioctl(fd, SIOCSIFFLAGS, &lo) == 0;
        const int error = errno;
        if (fd >= 0) ::close(fd);
        return up ? std::string() : std::string("bringing lo up: ") + std::strerror(error);
    }();
    return why;
}

// The local addresses a TCP port is listened on in this process's network ("127.0.0.1",
// "0.0.0.0", "::"), from the kernel's tables (/proc/net/tcp and tcp6, which print each
// 32-bit word of an address in host byte order).
inline std::vector<std::string> ListeningAddresses(int port) {
    std::vector<std::string> out;
    for (const int family : {AF_INET, AF_INET6}) {
        std::ifstream table(family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6");
        std::string line;
        std::getline(table, line);  // the heading
        while (std::getline(table, line)) {
            char local[64] = {};
            unsigned localPort = 0;
            unsigned state = 0;
            if (std::sscanf(line.c_str(), " %*d: %63[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%*x %x", local,
                            &localPort, &state) != 3 ||
                state != 0x0A || static_cast<int>(localPort) != port)
                continue;  // 0x0A: listening
            std::uint32_t words[4] = {};
            for (std::size_t w = 0; w < std::strlen(local) / 8 && w < 4; ++w)
                words[w] = static_cast<std::uint32_t>(
                    std::stoul(std::string(local + 8 * w, 8), nullptr, 16));
            char text[INET6_ADDRSTRLEN] = {};
            ::inet_ntop(family, words, text, sizeof text);
            out.push_back(text);
        }
    }
    return out;
}

// True when the port is listened on, and on loopback addresses only.
inline bool ListensOnLoopbackOnly(int port) {
    const auto addresses = ListeningAddresses(port);
    for (const std::string& a : addresses)
        if (a.rfind("127.", 0) != 0 && a != "::1") return false;
    return !addresses.empty();
}
