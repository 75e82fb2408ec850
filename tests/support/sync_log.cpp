#include "support/sync_log.h"

#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <utility>

namespace synclog {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_synced;

}  // namespace

std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return std::exchange(g_synced, {});
}

}  // namespace synclog

// Stands in for the C library's: the program's own calls (the static libraries under test)
// bind to this one.
extern "C" int fsync(int fd) {
    char link[40];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target);
    {
        std::lock_guard<std::mutex> lock(synclog::g_mutex);
        synclog::g_synced.emplace_back(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}
