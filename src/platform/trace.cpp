#include "platform/trace.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace trace {

namespace {
constexpr Module kModules[] = {
    Module::link,         Module::queue, Module::ops,     Module::autoctl,  Module::estop,
    Module::estopSamples, Module::ports, Module::blender, Module::recorder, Module::journal,
    Module::remote};

// Lines stderr had no room for since the last one written.
std::atomic<unsigned> g_dropped{0};

std::uint32_t bit(Module m) {
    return 1u << static_cast<unsigned>(m);
}

std::uint32_t parse(const char* list) {
    std::uint32_t on = 0;
    if (list == nullptr) return on;
    const char* p = list;
    while (*p != '\0') {
        const char* end = std::strchr(p, ',');
        const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
        for (Module m : kModules) {
            const char* name = moduleName(m);
            if ((std::strlen(name) == n && std::strncmp(p, name, n) == 0) ||
                (n == 3 && std::strncmp(p, "all", 3) == 0))
                on |= bit(m);
        }
        p += n;
        if (*p == ',') ++p;
    }
    return on;
}

// True when stderr takes a line now without making the caller wait: a pipe whose reader
// has stalled, or a terminal held by Ctrl-S, would otherwise hold up the event loop, and the
// E-stop with it, for as long as nobody reads. A line is at most a few hundred bytes, so a
// pipe that has room for one write takes it whole.
bool stderrHasRoom() {
    pollfd pfd{STDERR_FILENO, POLLOUT, 0};
    int rc;
    do {
        rc = ::poll(&pfd, 1, 0);
    } while (rc < 0 && errno == EINTR);
    return rc == 1 && (pfd.revents & POLLOUT) != 0 && (pfd.revents & (POLLERR | POLLNVAL)) == 0;
}

void writeLine(const char* line, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(STDERR_FILENO, line, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        line += w;
        n -= static_cast<std::size_t>(w);
    }
}
}  // namespace

namespace detail {
std::atomic<std::uint32_t> g_modules{kUnconfigured};

std::uint32_t configureFromEnvironment() {
    const std::uint32_t on = parse(std::getenv("VNK_TRACE"));
    g_modules.store(on, std::memory_order_relaxed);
    return on;
}
}  // namespace detail

void setModules(const char* list) {
    detail::g_modules.store(parse(list), std::memory_order_relaxed);
}

const char* moduleName(Module m) {
    switch (m) {
        case Module::link:
            return "link";
        case Module::queue:
            return "queue";
        case Module::ops:
            return "ops";
        case Module::autoctl:
            return "auto";
        case Module::estop:
            return "estop";
        case Module::estopSamples:
            return "estop-samples";
        case Module::ports:
            return "ports";
        case Module::blender:
            return "blender";
        case Module::recorder:
            return "recorder";
        case Module::journal:
            return "journal";
        case Module::remote:
            return "remote";
    }
    return "?";
}

const char* errnoText(int error) {
    if (error == 0) return "no reason given";
    // strerror's buffer is shared between threads; these texts are constant.
    const char* text = strerrordesc_np(error);
    return text != nullptr ? text : "unknown error";
}

void print(Module m, const char* format, ...) {
    // errno is the caller's: a trace line between a failed call and its report of errno
    // must not change what the report says.
    const int savedErrno = errno;
    if (!stderrHasRoom()) {
        g_dropped.fetch_add(1, std::memory_order_relaxed);
        errno = savedErrno;
        return;
    }
    char line[384];
    std::size_t n = 0;
    if (const unsigned dropped = g_dropped.exchange(0, std::memory_order_relaxed); dropped > 0) {
        const int k = std::snprintf(line, sizeof line,
                                    "vnk trace: %u lines dropped (stderr full)\n", dropped);
        n = static_cast<std::size_t>(k);
    }
    const int head = std::snprintf(line + n, sizeof line - n, "vnk %s: ", moduleName(m));
    n += static_cast<std::size_t>(head);
    va_list args;
    va_start(args, format);
    const int body = std::vsnprintf(line + n, sizeof line - n - 1, format, args);
    va_end(args);
    // A line cut at the buffer keeps its end of line.
    if (body > 0) n = std::min(n + static_cast<std::size_t>(body), sizeof line - 2);
    line[n++] = '\n';
    writeLine(line, n);
    errno = savedErrno;
}

}  // namespace trace
