#include "platform/program_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

namespace platform {

namespace {

std::string withoutTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string ExecutableDir() {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return ".";
    std::string dir(exe, static_cast<size_t>(n));
    size_t slash = dir.rfind('/');
    return slash == 0 ? "/" : dir.substr(0, slash);
}

std::string ShareDirFor(const std::string& exeDir) {
    // /proc/self/exe has no symbolic link left in it, so the parent is the lexical one.
    const std::string dir = withoutTrailingSlashes(exeDir);
    const size_t slash = dir.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : dir.substr(0, slash);
    return MakePathname(parent, kShareFolder);
}

std::string DefaultHomeFor(const std::string& exeDir) {
    std::ifstream marker(MakePathname(ShareDirFor(exeDir), kInstalledHomeFile));
    std::string home;
    if (marker && std::getline(marker, home)) {
        while (!home.empty() && (home.back() == '\r' || home.back() == ' ')) home.pop_back();
        if (!home.empty() && home.front() == '/') return withoutTrailingSlashes(home);
    }
    return withoutTrailingSlashes(exeDir);
}

std::string FindProgramFile(const std::string& exeDir, const std::string& name) {
    const std::string beside = MakePathname(exeDir, name);
    if (isFile(beside)) return beside;
    const std::string shared = MakePathname(ShareDirFor(exeDir), name);
    return isFile(shared) ? shared : beside;
}

std::string GetProjectDir() {
    const char* home = std::getenv("VNK_HOME");
    if (home != nullptr && *home != '\0') return withoutTrailingSlashes(home);
    return DefaultHomeFor(ExecutableDir());
}

std::string ProgramFile(const std::string& name) {
    return FindProgramFile(ExecutableDir(), name);
}

std::string MakePathname(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace platform
