#include "platform/program_dir.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace platform {

namespace {
std::string executableDir() {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return ".";
    std::string dir(exe, static_cast<size_t>(n));
    size_t slash = dir.rfind('/');
    return slash == 0 ? "/" : dir.substr(0, slash);
}
}  // namespace

std::string GetProjectDir() {
    const char* home = std::getenv("VNK_HOME");
    std::string dir = home != nullptr && *home != '\0' ? std::string(home) : executableDir();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string ProgramFile(const std::string& name) {
    return MakePathname(executableDir(), name);
}

std::string MakePathname(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace platform
