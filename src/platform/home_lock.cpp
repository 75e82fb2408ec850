#include "platform/home_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/group_access.h"

namespace platform {

HomeLock::Result HomeLock::take(const std::string& path) {
    release();
    error_.clear();
    MakeFoldersAbove(path);
    // Read-only is enough for flock and lets a lock file that is not writable still serve.
    // In a home shared with a group, the next station may be another member's: the file is
    // made readable for the group, whatever the umask, and one this user made private before
    // the home was shared is opened up.
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, PrivateFileMode());
    if (fd < 0) {
        error_ = std::strerror(errno);
        return Result::Unavailable;
    }
    struct stat st {};
    if (FilesSharedWithGroup() && ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) != PrivateFileMode())
        (void)::fchmod(fd, PrivateFileMode());
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Result::HeldElsewhere;
        error_ = std::strerror(err);
        return Result::Unavailable;
    }
    fd_ = fd;
    return Result::Taken;
}

void HomeLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);  // the lock goes with the only descriptor of the open file
    fd_ = -1;
}

}  // namespace platform
