// The journal's store on disk: one SQLite file in WAL mode, one transaction per event, so
// that a station killed at any moment loses no event whose write returned.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/journal.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

class SqliteJournal : public journal::Store {
  public:
    SqliteJournal() = default;
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    // Opens the journal at path, making it when there is none. A file that is damaged or
    // is not this station's journal is set aside, renamed "<path>.<date>_<time>.bad" (its
    // -wal and -shm files with it), and a new journal started; notice then tells the
    // operator so. False when no journal could be opened at all (notice says why).
    bool open(const std::string& path, std::string& notice);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    using journal::Store::append;
    bool append(journal::Event& event, const journal::Alarm* alarm) override;
    std::vector<journal::Event> newest(const journal::Filter& filter, int limit) override;
    std::int64_t count() override;
    std::string lastError() const override { return error_; }
    std::vector<journal::Alarm> alarms() override;

  private:
    enum class Check { Good, Empty, Foreign, Damaged, Busy };
    Check check();
    bool create();
    bool prepare();
    bool exec(const char* sql);
    bool step(sqlite3_stmt* statement);
    bool saveAlarm(const journal::Alarm& alarm);
    void startCheckpoints(const std::string& path);
    void stopCheckpoints();

    sqlite3* db_ = nullptr;
    int version_ = 0;  // of the file's schema, as opened
    // Checkpoints (copying the log into the file, and its fsync) run on a thread of their
    // own with a connection of their own, so that no insert on the loop ever pays for one.
    std::thread checkpointer_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* saveAlarm_ = nullptr;
    sqlite3_stmt* removeAlarm_ = nullptr;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* rollback_ = nullptr;
    std::string error_;
};

}  // namespace platform
