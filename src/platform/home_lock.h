// One station per program folder: two stations on one set of files would write the same
// settings, recordings and journal over each other. The station holds an exclusive lock on
// a file in its folder for as long as it runs. The kernel drops the lock with the last
// descriptor of the open file, which is the station's alone (it is closed on exec, so no
// program the station starts keeps it): any end of the station, kill -9 included, frees the
// folder, and a lock file left behind means nothing.
#pragma once

#include <string>

namespace platform {

class HomeLock {
  public:
    enum class Result {
        Taken,          // this process holds the folder
        HeldElsewhere,  // another open of the file holds it: another station runs there
        Unavailable,    // the lock file cannot be made or locked (see error())
    };

    HomeLock() = default;
    HomeLock(const HomeLock&) = delete;
    HomeLock& operator=(const HomeLock&) = delete;
    ~HomeLock() { release(); }

    // Takes the lock on the file at path without waiting, making its folder (and the
    // folders above it) and the file (0600; 0660 in a home shared with a group) when they
    // are missing. A lock already held by
    // this object is released first.
    Result take(const std::string& path);
    void release();
    bool held() const { return fd_ >= 0; }
    // Why the last take() gave Unavailable.
    const std::string& error() const { return error_; }

  private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace platform
