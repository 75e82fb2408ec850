// The file seam: the few file operations the recorder needs (folders, writing with short
// writes visible, listing, a copy that never overwrites, deleting). The real back end uses
// POSIX calls; SimFileSystem keeps files in memory and lets a test make any of them fail.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform {

enum class CopyResult { Copied, Exists, Failed };

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool makeDir(const std::string& path) = 0;
    virtual bool isDir(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // -1 when the file cannot be opened for writing.
    virtual int openWrite(const std::string& path, bool append) = 0;
    // Bytes written (possibly fewer than n), or -1 on failure.
    virtual long write(int handle, const char* data, std::size_t n) = 0;
    virtual bool close(int handle) = 0;
    // -1 when there is no such file.
    virtual long long fileSize(const std::string& path) = 0;
    // A value that changes whenever the file is written (its modification time in ns); -1
    // when there is no such file.
    virtual long long modifiedNs(const std::string& path) = 0;
    // The names of the regular files in dir (no folders).
    virtual std::vector<std::string> listFiles(const std::string& dir) = 0;
    // Copies src to a new file dst. An existing dst is never touched (Exists); nothing
    // stands under the name dst until the whole copy is on disk (a failed or interrupted
    // copy leaves at most PartialCopyName(dst)).
    virtual CopyResult copyFile(const std::string& src, const std::string& dst) = 0;
    virtual bool remove(const std::string& path) = 0;
};

// Writes text through an open handle as far as write() takes it: the bytes written, fewer
// when a write failed (errno says why).
std::size_t WriteAll(FileSystem& fs, int handle, const std::string& text);

// ".<name>.part" beside dst: where the copy to dst is written before it takes its name.
std::string PartialCopyName(const std::string& dst);

// The back end in use: the real one unless a test installed another.
FileSystem& fileSystem();
void setFileSystem(FileSystem* fs);

class PosixFileSystem : public FileSystem {
  public:
    bool makeDir(const std::string& path) override;
    bool isDir(const std::string& path) override;
    bool exists(const std::string& path) override;
    int openWrite(const std::string& path, bool append) override;
    long write(int handle, const char* data, std::size_t n) override;
    bool close(int handle) override;
    long long fileSize(const std::string& path) override;
    long long modifiedNs(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& dir) override;
    CopyResult copyFile(const std::string& src, const std::string& dst) override;
    bool remove(const std::string& path) override;
};

// Files in memory, keyed by full path. Faults: writes to paths in failWrite fail; at most
// shortWrite bytes go out per write call (0: no limit); copies into a folder in
// refuseCopyInto fail; copies into a folder in halfCopyInto write half the file and still
// report success; files in undeletable cannot be removed.
class SimFileSystem : public FileSystem {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> dirs;
    std::set<std::string> failWrite;
    std::set<std::string> refuseCopyInto;
    std::set<std::string> halfCopyInto;
    std::set<std::string> undeletable;
    std::size_t shortWrite = 0;
    long writeCalls = 0;

    bool makeDir(const std::string& path) override;
    bool isDir(const std::string& path) override { return dirs.count(path) != 0; }
    bool exists(const std::string& path) override {
        return files.count(path) != 0 || dirs.count(path) != 0;
    }
    int openWrite(const std::string& path, bool append) override;
    long write(int handle, const char* data, std::size_t n) override;
    bool close(int handle) override;
    long long fileSize(const std::string& path) override;
    long long modifiedNs(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& dir) override;
    CopyResult copyFile(const std::string& src, const std::string& dst) override;
    bool remove(const std::string& path) override;

  private:
    std::map<std::string, long long> writes_;  // per path: a count of the writes to it
    std::map<int, std::string> open_;
    int next_ = 1;
};

}  // namespace platform
