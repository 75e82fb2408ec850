// The journal's store on disk: one SQLite file in WAL mode, one transaction per event, so
// that a station killed at any moment loses no event whose write returned. The file and its
// -wal and -shm are private to the station's user (0600; its group's too, 0660, in a home
// shared with one, see group_access.h) from their creation. A thread of its own checkpoints
// the log and prunes what the retention policy lets go; another checks the whole file once
// after it opened.
#pragma once

#include <atomic>
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
    // -wal and -shm files with it), and a new journal started (a damaged file's alarms
    // carried over when they can still be read); notice then tells the operator so. False
    // when no journal could be opened at all (notice says why). Opening reads only the
    // file's header and newest pages; the whole file is checked afterwards in the
    // background, and damage found there shows in damaged().
    bool open(const std::string& path, std::string& notice);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    using journal::Store::append;
    bool append(journal::Event& event, const journal::Alarm* alarm) override;
    std::vector<journal::Event> newest(const journal::Filter& filter, int limit) override;
    std::vector<journal::Event> since(std::int64_t afterId, int limit) override;
    std::optional<std::int64_t> mark(const std::string& key) override;
    bool setMark(const std::string& key, std::int64_t value) override;
    std::int64_t count() override;
    std::string lastError() const override { return error_; }
    std::vector<journal::Alarm> alarms() override;
    std::int64_t epoch() const override { return epoch_; }
    bool damaged() const override { return damaged_ || checkDamaged_.load(); }
    bool startAfresh(const std::vector<journal::Alarm>& alarms, std::string& report) override;
    void setRetention(const journal::Retention& retention) override;

    // The background check of the whole file: Running, then Sound or Damaged (Stopped when
    // it was cut short or could not run).
    enum class CheckResult { Running, Sound, Damaged, Stopped };
    CheckResult checkResult() const { return checkResult_.load(); }
    // Milliseconds the background check took (0 while it runs).
    double checkMs() const { return checkMs_.load(); }
    // Prunes one batch of at most batch events by the policy on this connection, the way
    // the maintenance thread does; the number pruned (for tests and the benchmark).
    int pruneOnce(const journal::Retention& retention, int batch);
    // How each connection syncs, as it reports it (PRAGMA synchronous: 0 off, 1 normal,
    // 2 full; -1 not known yet): the loop's writer, and the maintenance thread's once set up.
    int writerSynchronous();
    int maintainerSynchronous() const { return maintainerSync_.load(); }

  private:
    enum class Check { Good, Empty, Foreign, Damaged, Busy };
    Check check();
    bool create();
    bool prepare();
    bool addEventAlarm();
    bool exec(const char* sql);
    bool step(sqlite3_stmt* statement);
    bool rollBack();
    std::vector<journal::Event> rows(sqlite3_stmt* statement);
    bool failed(int rc);
    bool saveAlarm(const journal::Alarm& alarm, std::int64_t eventId);
    bool saveAlarms(const std::vector<journal::Alarm>& alarms);

  public:
    bool saveAlarmState(const journal::Alarm& alarm) override;
    bool saveStage(const journal::SavedStage& stage) override;
    std::optional<journal::SavedStage> newestStage() override;

  private:
    bool openFile(const std::string& path, std::string& notice, std::vector<journal::Alarm>& carried);
    void startThreads(const std::string& path);
    void stopThreads();

    sqlite3* db_ = nullptr;
    std::string path_;
    int version_ = 0;  // of the file's schema, as opened
    std::int64_t epoch_ = 0;
    std::int64_t lastEpoch_ = 0;  // of the file last set aside: a fresh one's is above it
    bool damaged_ = false;
    // Checkpoints (copying the log into the file, and its fsync) and pruning run on a
    // thread of their own with a connection of their own, so that no insert on the loop
    // ever pays for them.
    std::thread maintainer_;
    std::thread checker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool pruneSoon_ = false;
    journal::Retention retention_{0, 0};  // nothing is pruned until a policy is given
    sqlite3* checkDb_ = nullptr;  // under mutex_: interrupted when the journal closes
    std::atomic<bool> checkDamaged_{false};
    std::atomic<CheckResult> checkResult_{CheckResult::Stopped};
    std::atomic<double> checkMs_{0.0};
    std::atomic<int> maintainerSync_{-1};
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* saveAlarm_ = nullptr;
    sqlite3_stmt* removeAlarm_ = nullptr;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* rollback_ = nullptr;
    std::string error_;
};

// Brings the journal an older station kept at oldPath to path, with its -wal and -shm,
// before it is opened: the companions first and the file last, so that a move cut short is
// finished at the next start. Nothing moves when there is no journal at oldPath, or when
// path already holds one (a log is never put beside another file's). False, error set,
// when a file could not be moved.
bool MoveOldJournal(const std::string& oldPath, const std::string& path, std::string& error);

// The journal's own folder, made private (0700; 0770 in a home shared with a group) when it
// is made. False, error set, when it
// cannot be made.
bool MakeJournalFolder(const std::string& folder, std::string& error);

}  // namespace platform
