#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

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

long long PosixFileSystem::modifiedNs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
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

namespace {

bool copyBytes(int in, int out) {
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(in, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r == 0;
        for (ssize_t done = 0; done < r;) {
            ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(r - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

void syncFolder(const std::string& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Gives the finished copy its name, never over a file of that name: a hard link fails when
// the name exists; where the file system has no links (some network shares), a rename that
// refuses to replace; where it has neither, a rename after a look.
CopyResult publish(const std::string& tmp, const std::string& dst) {
    if (::link(tmp.c_str(), dst.c_str()) == 0) {
        ::unlink(tmp.c_str());
        return CopyResult::Copied;
    }
    if (errno == EEXIST) return CopyResult::Exists;
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
        return CopyResult::Copied;
    if (errno == EEXIST) return CopyResult::Exists;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return CopyResult::Failed;
    struct stat st {};
    if (::lstat(dst.c_str(), &st) == 0) return CopyResult::Exists;
    return ::rename(tmp.c_str(), dst.c_str()) == 0 ? CopyResult::Copied : CopyResult::Failed;
}

}  // namespace

std::size_t WriteAll(FileSystem& fs, int handle, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        errno = 0;
        const long w = fs.write(handle, text.data() + done, text.size() - done);
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
    }
    return done;
}

std::string PartialCopyName(const std::string& dst) {
    const std::size_t slash = dst.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : dst.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? dst : dst.substr(slash + 1);
    return dir + "." + name + ".part";
}

CopyResult PosixFileSystem::copyFile(const std::string& src, const std::string& dst) {
    struct stat st {};
    if (::lstat(dst.c_str(), &st) == 0) return CopyResult::Exists;
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return CopyResult::Failed;
    // The bytes go to a hidden name of their own first: a copy cut short (a kill, a power
    // cut) never stands under the real name. One left by such a copy is written over.
    const std::string tmp = PartialCopyName(dst);
    int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return CopyResult::Failed;
    }
    bool ok = copyBytes(in, out);
    ::close(in);
    if (::fsync(out) != 0) ok = false;
    if (::close(out) != 0) ok = false;
    CopyResult result = ok ? publish(tmp, dst) : CopyResult::Failed;
    if (result != CopyResult::Copied) ::unlink(tmp.c_str());
    // The new name reaches the disk before the caller deletes the source.
    if (result == CopyResult::Copied) syncFolder(folderOf(dst));
    return result;
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
    ++writes_[path];
    open_[next_] = path;
    return next_++;
}

long SimFileSystem::write(int handle, const char* data, std::size_t n) {
    ++writeCalls;
    auto it = open_.find(handle);
    if (it == open_.end() || failWrite.count(it->second) != 0) return -1;
    if (shortWrite != 0 && n > shortWrite) n = shortWrite;
    files[it->second].append(data, n);
    ++writes_[it->second];
    return static_cast<long>(n);
}

bool SimFileSystem::close(int handle) {
    return open_.erase(handle) != 0;
}

long long SimFileSystem::fileSize(const std::string& path) {
    auto it = files.find(path);
    return it == files.end() ? -1 : static_cast<long long>(it->second.size());
}

long long SimFileSystem::modifiedNs(const std::string& path) {
    return files.count(path) == 0 ? -1 : writes_[path];
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
