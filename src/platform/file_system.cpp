#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

FileSystem* g_fs = nullptr;

std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

FileSystem& fileSystem() {
    static PosixFileSystem real;
    return g_fs != nullptr ? *g_fs : real;
}

void setFileSystem(FileSystem* fs) {
    g_fs = fs;
}

// ---- POSIX ----

bool PosixFileSystem::makeDir(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

bool PosixFileSystem::isDir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int PosixFileSystem::openWrite(const std::string& path, bool append) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    return ::open(path.c_str(), flags, 0666);
}

long PosixFileSystem::write(int handle, const char* data, std::size_t n) {
    ssize_t w;
    do {
        w = ::write(handle, data, n);
    } while (w < 0 && errno == EINTR);
    return static_cast<long>(w);
}

bool PosixFileSystem::close(int handle) {
    return ::close(handle) == 0;
}

long long PosixFileSystem::fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

std::vector<std::string> PosixFileSystem::listFiles(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (fileSize(dir + "/" + name) >= 0) names.push_back(name);
    }
    ::closedir(d);
    return names;
}

CopyResult PosixFileSystem::copyFile(const std::string& src, const std::string& dst) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return CopyResult::Failed;
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        bool existed = errno == EEXIST;
        ::close(in);
        return existed ? CopyResult::Exists : CopyResult::Failed;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(in, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            ok = r == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < r;) {
            ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(r - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0)
                ok = false;
            else
                done += w;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::fsync(out) != 0) ok = false;
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(dst.c_str());
    return ok ? CopyResult::Copied : CopyResult::Failed;
}

bool PosixFileSystem::remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

// ---- in memory ----

bool SimFileSystem::makeDir(const std::string& path) {
    dirs.insert(path);
    return true;
}

int SimFileSystem::openWrite(const std::string& path, bool append) {
    if (failWrite.count(path) != 0 || dirs.count(folderOf(path)) == 0) return -1;
    if (!append || files.count(path) == 0) files[path].clear();
    open_[next_] = path;
    return next_++;
}

long SimFileSystem::write(int handle, const char* data, std::size_t n) {
    ++writeCalls;
    auto it = open_.find(handle);
    if (it == open_.end() || failWrite.count(it->second) != 0) return -1;
    if (shortWrite != 0 && n > shortWrite) n = shortWrite;
    files[it->second].append(data, n);
    return static_cast<long>(n);
}

bool SimFileSystem::close(int handle) {
    return open_.erase(handle) != 0;
}

long long SimFileSystem::fileSize(const std::string& path) {
    auto it = files.find(path);
    return it == files.end() ? -1 : static_cast<long long>(it->second.size());
}

std::vector<std::string> SimFileSystem::listFiles(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& [path, text] : files)
        if (folderOf(path) == dir) names.push_back(path.substr(dir.size() + 1));
    return names;
}

CopyResult SimFileSystem::copyFile(const std::string& src, const std::string& dst) {
    auto it = files.find(src);
    if (it == files.end() || dirs.count(folderOf(dst)) == 0) return CopyResult::Failed;
    if (files.count(dst) != 0) return CopyResult::Exists;
    if (refuseCopyInto.count(folderOf(dst)) != 0) return CopyResult::Failed;
    files[dst] = it->second;
    if (halfCopyInto.count(folderOf(dst)) != 0) files[dst].resize(it->second.size() / 2);
    return CopyResult::Copied;
}

bool SimFileSystem::remove(const std::string& path) {
    if (undeletable.count(path) != 0) return false;
    return files.erase(path) != 0;
}

}  // namespace platform
