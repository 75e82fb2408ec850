#include "platform/real/sqlite_journal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/group_access.h"
#include "platform/trace.h"

namespace platform {

namespace {

// "VNKJ": marks a file as this station's journal.
constexpr int kApplicationId = 0x564E4B4A;
// 1: events only; 2: the alarms' states too; 3: the file's epoch, and the event that raised
// each alarm (kept from pruning); 4: the time each alarm came on, and with each event the
// alarm it changed (its kind, name and new state; NULL for an event that changed none). An
// older journal is brought up to 4 as it opens; a version 4 file made before events kept
// their alarm gains those columns as it opens (an earlier version 4 build ignores them).
constexpr int kSchemaVersion = 4;
constexpr int kCheckpointEveryMs = 500;
// Pruning: one small batch at a time, a write transaction of a millisecond or two that the
// loop's writer may have to wait for. While there is a backlog, batches follow each other
// with pauses long enough that the writer, retrying, always finds the file free.
constexpr int kPruneBatch = 200;
constexpr int kPruneEveryMs = 5000;
constexpr int kPruneBacklogPauseMs = 60;
// After a checkpoint the log is cut back to this size rather than left at its largest.
constexpr long long kWalSizeLimit = 32LL * 1024 * 1024;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS events(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,"
    " pump INTEGER NOT NULL, kind TEXT NOT NULL, text TEXT NOT NULL, alarm_kind TEXT,"
    " alarm_name TEXT, alarm_state INTEGER);"
    // The window asks for the newest rows of one pump or of one kind (both: a pump's rows
    // read newest first until the kind has filled the page). Each index costs every insert.
    "CREATE INDEX IF NOT EXISTS events_pump ON events(pump, id);"
    "CREATE INDEX IF NOT EXISTS events_kind ON events(kind, id);";

// The alarms not Normal, each as its last committed event left it, with the id of the event
// that raised it (0 when that is in an earlier file) and the time it came on.
const char* const kAlarmsTable =
    "CREATE TABLE IF NOT EXISTS alarms(pump INTEGER NOT NULL, kind TEXT NOT NULL,"
    " name TEXT NOT NULL, state INTEGER NOT NULL, time_ms INTEGER NOT NULL,"
    " raised_id INTEGER NOT NULL DEFAULT 0, raised_ms INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY(pump, kind, name));";

// What an older alarms table lacks. An alarm kept by a journal without raise times came on
// when its raising event was written, if the file still holds it; else at its last change,
// the latest it can have come on.
const char* const kAddRaisedId =
    "ALTER TABLE alarms ADD COLUMN raised_id INTEGER NOT NULL DEFAULT 0;";
const char* const kAddRaisedMs =
    "ALTER TABLE alarms ADD COLUMN raised_ms INTEGER NOT NULL DEFAULT 0;"
    "UPDATE alarms SET raised_ms = COALESCE((SELECT time_ms FROM events WHERE"
    " alarms.raised_id <> 0 AND id = alarms.raised_id), time_ms);";

const char* const kAddEventAlarm =
    "ALTER TABLE events ADD COLUMN alarm_kind TEXT;"
    "ALTER TABLE events ADD COLUMN alarm_name TEXT;"
    "ALTER TABLE events ADD COLUMN alarm_state INTEGER;";

const char* const kMetaTable =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);";
// The stages of the job: their sums (the stages module's text) and their 1 s series. Made
// in any version 4 file that lacks them, new or of an earlier build.
const char* const kStageTables =
    "CREATE TABLE IF NOT EXISTS stages(id INTEGER PRIMARY KEY, running INTEGER NOT NULL,"
    " sums TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS stage_points(stage INTEGER NOT NULL, second INTEGER NOT NULL,"
    " rate REAL NOT NULL, pressure REAL NOT NULL, PRIMARY KEY(stage, second)) WITHOUT ROWID;";

std::int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string stamp() {
    std::time_t t = std::time(nullptr);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &parts);
    return text;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool damagedCode(int rc) {
    return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
}

// The journal is the station's alone (and its group's, in a home shared with one): a new
// file is made 0600 (0660) before SQLite opens it (its -wal and -shm take the mode of the
// file), and an existing one loses whatever it grants beyond that; a stricter mode is kept.
// Only the owner can change a mode: another member's file is left as it is.
void makePrivate(const std::string& path, bool create) {
    if (create) {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, PrivateFileMode());
        if (fd >= 0) {
            ::fchmod(fd, PrivateFileMode());  // whatever the umask left
            ::close(fd);
        }
        return;
    }
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string file = path + suffix;
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
            (st.st_mode & 07777) != PrivateModeFor(st.st_mode))
            ::chmod(file.c_str(), PrivateModeFor(st.st_mode));
    }
}

// Moves the file and its WAL companions aside under one new name. A WAL left behind would
// be replayed into the new journal.
bool setAside(const std::string& path, std::string& moved) {
    // Two files set aside within a second keep apart.
    const std::string base = path + "." + stamp();
    moved = base + ".bad";
    for (int n = 2; fileExists(moved) && n < 100; ++n)
        moved = base + "-" + std::to_string(n) + ".bad";
    if (std::rename(path.c_str(), moved.c_str()) != 0) return false;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string from = path + suffix;
        if (fileExists(from)) {
            if (std::rename(from.c_str(), (moved + suffix).c_str()) != 0) std::remove(from.c_str());
        }
    }
    return true;
}

bool int64Query(sqlite3* db, const char* sql, std::int64_t& value) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        value = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    }
    sqlite3_finalize(st);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// One batch of the retention policy: the oldest events (never one that raised an alarm still
// kept) go while the file holds more than maxBytes of pages in use, or while they are older
// than keepDays. Only the oldest batch is looked at, so a young journal costs one short scan.
int pruneBatch(sqlite3* db, const journal::Retention& r, std::int64_t nowMs, int batch, int& rc) {
    rc = SQLITE_OK;
    if (r.keepDays <= 0 && r.maxBytes <= 0) return 0;
    bool over = false;
    if (r.maxBytes > 0) {
        std::int64_t pages = 0, free = 0, size = 0;
        if (!int64Query(db, "PRAGMA page_count", pages) ||
            !int64Query(db, "PRAGMA freelist_count", free) ||
            !int64Query(db, "PRAGMA page_size", size)) {
            rc = sqlite3_errcode(db);
            return 0;
        }
        over = (pages - free) * size > r.maxBytes;
    }
    const std::int64_t cutoff = r.keepDays > 0 ? nowMs - std::int64_t{r.keepDays} * 86400000 : 0;
    if (!over && r.keepDays <= 0) return 0;
    // The highest id given so far, kept before any goes: a table pruned empty would give
    // its ids again, and a reader that took them by id would take the new ones for old.
    rc = sqlite3_exec(db,
                      "INSERT INTO meta(key, value) SELECT 'id_high_water', MAX(id) FROM events"
                      " WHERE true HAVING MAX(id) IS NOT NULL ON CONFLICT(key) DO UPDATE SET"
                      " value = max(value, excluded.value)",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return 0;
    sqlite3_stmt* st = nullptr;
    rc =
        sqlite3_prepare_v2(db,
                           "DELETE FROM events WHERE id IN (SELECT id FROM (SELECT id, time_ms FROM"
                           " events WHERE id NOT IN (SELECT raised_id FROM alarms) ORDER BY id"
                           " LIMIT ?1) WHERE ?2 OR time_ms < ?3)",
                           -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int(st, 1, batch);
        sqlite3_bind_int(st, 2, over ? 1 : 0);
        sqlite3_bind_int64(st, 3, cutoff);
        rc = sqlite3_step(st);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return 0;
    rc = SQLITE_OK;
    return sqlite3_changes(db);
}

}  // namespace

SqliteJournal::~SqliteJournal() {
    close();
}

void SqliteJournal::startThreads(const std::string& path) {
    stopping_ = false;
    pruneSoon_ = true;
    checkDamaged_ = false;
    checkMs_ = 0.0;
    checkResult_ = CheckResult::Running;
    maintainerSync_ = -1;
    maintainer_ = std::thread([this, path] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, 1000);
            // The checkpoints sync the log before they copy it and the file after: FULL,
            // named here rather than left to the library's build.
            char pragmas[96];
            std::snprintf(pragmas, sizeof pragmas,
                          "PRAGMA synchronous=FULL; PRAGMA journal_size_limit=%lld;",
                          kWalSizeLimit);
            sqlite3_exec(db, pragmas, nullptr, nullptr, nullptr);
            std::int64_t level = -1;
            if (int64Query(db, "PRAGMA synchronous", level))
                maintainerSync_ = static_cast<int>(level);
            auto nextPrune = std::chrono::steady_clock::now();
            std::unique_lock<std::mutex> lock(mutex_);
            while (!stopping_) {
                wake_.wait_for(lock, std::chrono::milliseconds(kCheckpointEveryMs));
                if (stopping_) break;
                const journal::Retention retention = retention_;
                const bool soon = pruneSoon_;
                pruneSoon_ = false;
                lock.unlock();
                // PASSIVE: never waits for, nor blocks, the writer.
                sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
                if (soon || std::chrono::steady_clock::now() >= nextPrune) {
                    // A backlog (a policy just lowered, a journal brought over) goes in
                    // close batches, each one a short write the loop may wait for.
                    int rc = SQLITE_OK;
                    int pruned = kPruneBatch;
                    long total = 0;
                    for (int n = 0; n < 50 && pruned == kPruneBatch && rc == SQLITE_OK; ++n) {
                        pruned = pruneBatch(db, retention, wallMs(), kPruneBatch, rc);
                        total += pruned;
                        if (pruned == kPruneBatch)
                            std::this_thread::sleep_for(
                                std::chrono::milliseconds(kPruneBacklogPauseMs));
                    }
                    if (total > 0)
                        TRACE(journal,
                              "pruned %ld events (policy %d days, %lld MB; 0 is no bound)%s", total,
                              retention.keepDays,
                              static_cast<long long>(retention.maxBytes / (1024 * 1024)),
                              pruned == kPruneBatch ? ", more to go" : "");
                    if (rc != SQLITE_OK) TRACE(journal, "pruning failed: %s", sqlite3_errmsg(db));
                    if (damagedCode(rc)) checkDamaged_ = true;
                    nextPrune =
                        std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(pruned == kPruneBatch ? 0 : kPruneEveryMs);
                }
                lock.lock();
            }
        }
        sqlite3_close_v2(db);
    });
    // The whole file is read once, in the background: a damaged page anywhere shows here,
    // long before an append or a page of the window would trip over it.
    checker_ = std::thread([this, path] {
        const auto t0 = std::chrono::steady_clock::now();
        CheckResult result = CheckResult::Stopped;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, 1000);
            bool run = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!stopping_) {
                    checkDb_ = db;
                    run = true;
                }
            }
            sqlite3_stmt* st = nullptr;
            int rc = run ? sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr)
                         : SQLITE_INTERRUPT;
            if (rc == SQLITE_OK) rc = sqlite3_step(st);
            if (rc == SQLITE_ROW) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                result = text != nullptr && std::strcmp(text, "ok") == 0 ? CheckResult::Sound
                                                                         : CheckResult::Damaged;
            } else if (damagedCode(rc)) {
                result = CheckResult::Damaged;
            }
            sqlite3_finalize(st);
            std::lock_guard<std::mutex> lock(mutex_);
            checkDb_ = nullptr;
        }
        sqlite3_close_v2(db);
        checkMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                       .count();
        TRACE(journal, "whole-file check of %s: %s after %.0f ms", path.c_str(),
              result == CheckResult::Sound     ? "sound"
              : result == CheckResult::Damaged ? "damaged"
                                               : "cut short",
              checkMs_.load());
        if (result == CheckResult::Damaged) checkDamaged_ = true;
        checkResult_ = result;
    });
}

int SqliteJournal::writerSynchronous() {
    std::int64_t level = -1;
    return db_ != nullptr && int64Query(db_, "PRAGMA synchronous", level) ? static_cast<int>(level)
                                                                          : -1;
}

void SqliteJournal::stopThreads() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        if (checkDb_ != nullptr) sqlite3_interrupt(checkDb_);
    }
    wake_.notify_all();
    if (maintainer_.joinable()) maintainer_.join();
    if (checker_.joinable()) checker_.join();
}

void SqliteJournal::setRetention(const journal::Retention& retention) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        retention_ = retention;
        pruneSoon_ = true;
    }
    wake_.notify_all();
}

int SqliteJournal::pruneOnce(const journal::Retention& retention, int batch) {
    if (db_ == nullptr) return 0;
    int rc = SQLITE_OK;
    const int n = pruneBatch(db_, retention, wallMs(), batch, rc);
    failed(rc);
    return n;
}

void SqliteJournal::close() {
    stopThreads();
    for (sqlite3_stmt** st :
         {&insert_, &saveAlarm_, &removeAlarm_, &begin_, &commit_, &rollback_}) {
        if (*st != nullptr) sqlite3_finalize(*st);
        *st = nullptr;
    }
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        TRACE(journal, "%s closed", path_.c_str());
    }
    db_ = nullptr;
}

// Keeps the reason of a failed statement; true when it failed. A file SQLite calls damaged
// is marked so, whichever statement found it.
bool SqliteJournal::failed(int rc) {
    const int primary = rc & 0xFF;
    if (primary == SQLITE_OK || primary == SQLITE_ROW || primary == SQLITE_DONE) return false;
    error_ = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    TRACE(journal, "statement failed (%d): %s%s", rc, error_.c_str(),
          damagedCode(rc) ? ": the file is damaged" : "");
    if (damagedCode(rc)) damaged_ = true;
    return true;
}

bool SqliteJournal::exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return true;
    failed(rc);
    if (message != nullptr) error_ = message;
    sqlite3_free(message);
    return false;
}

SqliteJournal::Check SqliteJournal::check() {
    sqlite3_stmt* st = nullptr;
    bool busy = false;
    auto intPragma = [&](const char* sql, int& value) {
        int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(st);
            value = rc == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
            sqlite3_finalize(st);
        }
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
        error_ = sqlite3_errmsg(db_);
        busy = busy || (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
        return false;
    };
    // A file another process holds locked is not damaged: it is never set aside.
    auto failure = [&] { return busy ? Check::Busy : Check::Damaged; };
    int appId = 0, version = 0, objects = 0;
    if (!intPragma("PRAGMA application_id", appId)) return failure();
    if (!intPragma("SELECT count(*) FROM sqlite_schema", objects)) return failure();
    if (appId != kApplicationId) return objects == 0 && appId == 0 ? Check::Empty : Check::Foreign;
    if (!intPragma("PRAGMA user_version", version) || version < 1 || version > kSchemaVersion)
        return Check::Foreign;
    version_ = version;
    // The newest rows and the table's last page are what the window reads first; the rest
    // of the file is read by the background check.
    int newest = 0;
    if (!intPragma("SELECT id FROM events ORDER BY id DESC LIMIT 1", newest)) return failure();
    if (!intPragma("SELECT count(*) FROM (SELECT id FROM events ORDER BY id DESC LIMIT 64)",
                   newest))
        return failure();
    if (version_ >= 2 && !intPragma("SELECT count(*) FROM alarms", newest)) return failure();
    return Check::Good;
}

bool SqliteJournal::create() {
    char pragmas[160];
    std::snprintf(pragmas, sizeof pragmas,
                  "PRAGMA application_id=%d; PRAGMA user_version=%d;"
                  " INSERT OR IGNORE INTO meta(key, value) VALUES('epoch', %lld);",
                  kApplicationId, kSchemaVersion,
                  static_cast<long long>(std::max(wallMs(), lastEpoch_ + 1)));
    // Another process may be making the same new file: the schema is made at most once.
    version_ = kSchemaVersion;
    if (exec("BEGIN IMMEDIATE") && exec(kSchema) && exec(kAlarmsTable) && exec(kMetaTable) &&
        exec(pragmas) && exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    return false;
}

// Events keep the alarm they changed: a file made before they did (any older version, or a
// version 4 file of an earlier build) gains the columns, inside a transaction that sees
// whether another process added them first. Its old events keep NULL there.
bool SqliteJournal::addEventAlarm() {
    const auto hasColumns = [this] {
        sqlite3_stmt* st = nullptr;
        const int rc =
            sqlite3_prepare_v2(db_, "SELECT alarm_state FROM events LIMIT 0", -1, &st, nullptr);
        sqlite3_finalize(st);
        return rc == SQLITE_OK;
    };
    if (hasColumns()) return true;
    if (!exec("BEGIN IMMEDIATE")) return false;
    if ((hasColumns() || exec(kAddEventAlarm)) && exec("COMMIT")) {
        TRACE(journal, "events keep the alarm they changed from now on");
        return true;
    }
    exec("ROLLBACK");
    return false;
}

bool SqliteJournal::prepare() {
    // WAL: a commit is one append to the log, readers never wait for the writer, and a
    // killed process leaves every committed transaction in the log for the next open.
    // NORMAL syncs at checkpoints, not at each commit: a process crash loses nothing
    // committed; only a power cut can lose the last moments.
    char pragmas[160];
    std::snprintf(pragmas, sizeof pragmas,
                  "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=0;"
                  " PRAGMA journal_size_limit=%lld;",
                  kWalSizeLimit);
    if (!exec(pragmas)) return false;
    // An older journal gains what it lacks; its events stay as they are.
    if (version_ < kSchemaVersion) {
        char upgrade[160];
        std::snprintf(upgrade, sizeof upgrade,
                      "INSERT OR IGNORE INTO meta(key, value) VALUES('epoch', %lld);"
                      " PRAGMA user_version=%d;",
                      static_cast<long long>(std::max(wallMs(), lastEpoch_ + 1)), kSchemaVersion);
        std::string alarms = version_ < 2 ? kAlarmsTable : "";
        if (version_ == 2) alarms += kAddRaisedId;
        if (version_ >= 2) alarms += kAddRaisedMs;
        if (!exec("BEGIN IMMEDIATE") || !exec(alarms.c_str()) || !exec(kMetaTable) ||
            !exec(upgrade) || !exec("COMMIT")) {
            exec("ROLLBACK");
            return false;
        }
        TRACE(journal, "schema %d brought up to %d", version_, kSchemaVersion);
        version_ = kSchemaVersion;
    }
    if (!addEventAlarm()) return false;
    if (!exec(kStageTables)) return false;
    std::int64_t epoch = 0;
    if (!int64Query(db_, "SELECT value FROM meta WHERE key = 'epoch'", epoch)) {
        failed(sqlite3_errcode(db_));
        return false;
    }
    epoch_ = epoch;
    const struct {
        const char* sql;
        sqlite3_stmt** statement;
    } statements[] = {
        // Above every id the file ever gave, also when retention emptied the table.
        {"INSERT INTO events(id, time_ms, pump, kind, text, alarm_kind, alarm_name, alarm_state)"
         " VALUES(max(coalesce((SELECT MAX(id) FROM events), 0), coalesce((SELECT value FROM"
         " meta WHERE key = 'id_high_water'), 0)) + 1, ?, ?, ?, ?, ?, ?, ?)",
         &insert_},
        // A raise gives the alarm its raising event; later changes keep it.
        {"INSERT INTO alarms(pump, kind, name, state, time_ms, raised_id, raised_ms) VALUES(?1, ?2,"
         " ?3, ?4, ?5, ?6, ?7)"
         " ON CONFLICT(pump, kind, name) DO UPDATE SET state = excluded.state,"
         " time_ms = excluded.time_ms, raised_ms = excluded.raised_ms, raised_id = CASE WHEN"
         " excluded.state = 1 AND excluded.raised_id <> 0 THEN excluded.raised_id ELSE"
         " alarms.raised_id END",
         &saveAlarm_},
        {"DELETE FROM alarms WHERE pump = ? AND kind = ? AND name = ?", &removeAlarm_},
        {"BEGIN IMMEDIATE", &begin_},
        {"COMMIT", &commit_},
        {"ROLLBACK", &rollback_},
    };
    for (const auto& s : statements) {
        const int rc =
            sqlite3_prepare_v3(db_, s.sql, -1, SQLITE_PREPARE_PERSISTENT, s.statement, nullptr);
        if (failed(rc)) return false;
    }
    return true;
}

bool SqliteJournal::open(const std::string& path, std::string& notice) {
    std::vector<journal::Alarm> carried;
    if (!openFile(path, notice, carried)) return false;
    if (!carried.empty() && !saveAlarms(carried)) {
        notice += " The alarms awaiting acknowledgement in it could not be carried over (" +
                  error_ + ").";
    } else if (!carried.empty()) {
        notice += " " + std::to_string(carried.size()) +
                  " alarms awaiting acknowledgement were carried over.";
    }
    return true;
}

bool SqliteJournal::openFile(const std::string& path, std::string& notice,
                             std::vector<journal::Alarm>& carried) {
    close();
    notice.clear();
    path_ = path;
    damaged_ = false;
    checkDamaged_ = false;  // what the check found was of the file before
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool existed = fileExists(path);
        makePrivate(path, !existed);
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            error_ = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
            TRACE(journal, "%s cannot be opened: %s", path.c_str(), error_.c_str());
            close();
            notice = "The event journal " + path + " cannot be opened (" + error_ +
                     "). The station runs without a journal.";
            return false;
        }
        // Another reader of the file (an export, a second look at it) may hold it for a
        // moment while it is opened; after that, a write never waits long on the loop.
        sqlite3_busy_timeout(db_, 3000);
        const Check c = existed ? check() : Check::Empty;
        if (c == Check::Busy) {
            TRACE(journal, "%s is held by another process: %s", path.c_str(), error_.c_str());
            close();
            break;
        }
        if (c == Check::Good || c == Check::Empty) {
            if ((c == Check::Good || create()) && prepare()) {
                damaged_ = false;
                sqlite3_busy_timeout(db_, 250);
                TRACE(journal, "%s opened: %s, epoch %lld", path.c_str(),
                      c == Check::Good ? "existing file" : "new file",
                      static_cast<long long>(epoch_));
                startThreads(path);
                return true;
            }
            TRACE(journal, "%s cannot be used: %s", path.c_str(), error_.c_str());
            close();
            break;  // a sound file this station cannot use is never set aside
        }
        const bool damaged = c == Check::Damaged;
        if (damaged) {
            // What can still be read of a damaged journal goes on: its alarms and epoch.
            carried = alarms();
            std::int64_t epoch = 0;
            if (int64Query(db_, "SELECT value FROM meta WHERE key = 'epoch'", epoch))
                lastEpoch_ = std::max(lastEpoch_, epoch);
        }
        close();
        TRACE(journal, "%s %s%s%s", path.c_str(),
              damaged ? "is damaged" : "is not this station's journal", damaged ? ": " : "",
              damaged ? error_.c_str() : "");
        if (attempt > 0) break;
        std::string moved;
        if (!setAside(path, moved)) {
            TRACE(journal, "%s cannot be set aside: %s", path.c_str(), trace::errnoText(errno));
            break;
        }
        TRACE(journal, "%s set aside as %s", path.c_str(), moved.c_str());
        notice = std::string("The event journal ") + path +
                 (damaged ? " is damaged" : " is not this station's journal") +
                 ". It was set aside as " + moved + " and a new journal started.";
    }
    carried.clear();
    if (!notice.empty()) notice += ' ';
    notice += "The event journal " + path + " cannot be used (" + error_ +
              "). The station runs without a journal.";
    return false;
}

bool SqliteJournal::startAfresh(const std::vector<journal::Alarm>& alarms, std::string& report) {
    const std::string path = path_;
    lastEpoch_ = std::max(lastEpoch_, epoch_);
    close();
    std::string moved;
    if (!setAside(path, moved)) {
        TRACE(journal, "%s is damaged and cannot be set aside: %s", path.c_str(),
              trace::errnoText(errno));
        report = "The event journal " + path + " is damaged and cannot be set aside (" +
                 std::strerror(errno) + "). The station carries on; events are not journalled.";
        return false;
    }
    std::string notice;
    std::vector<journal::Alarm> unused;
    if (!openFile(path, notice, unused)) {
        report = notice;
        return false;
    }
    TRACE(journal, "%s was damaged: set aside as %s, a fresh file started (epoch %lld)",
          path.c_str(), moved.c_str(), static_cast<long long>(epoch_));
    report = "The event journal " + path + " was found damaged. It was set aside as " + moved +
             " and a new journal started.";
    if (!saveAlarms(alarms))
        report +=
            " The alarms awaiting acknowledgement could not be carried over (" + error_ + ").";
    else if (!alarms.empty())
        report += " " + std::to_string(alarms.size()) +
                  " alarms awaiting acknowledgement were carried over.";
    return true;
}

bool SqliteJournal::saveAlarms(const std::vector<journal::Alarm>& alarms) {
    if (alarms.empty()) return true;
    if (!step(begin_)) return false;
    for (const journal::Alarm& a : alarms)
        if (!saveAlarm(a, 0)) return rollBack();
    return step(commit_) || rollBack();
}

// Undoes the transaction a failed statement was in, keeping that statement's reason; false.
bool SqliteJournal::rollBack() {
    const std::string why = error_;
    step(rollback_);
    error_ = why;
    return false;
}

// Runs a prepared statement that returns no rows, and makes it ready for the next use.
bool SqliteJournal::step(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc == SQLITE_DONE) return true;
    failed(rc);
    return false;
}

bool SqliteJournal::saveAlarmState(const journal::Alarm& alarm) {
    if (saveAlarm_ == nullptr) return false;
    return saveAlarm(alarm, 0);  // the raising event the row has stays its own
}

bool SqliteJournal::saveAlarm(const journal::Alarm& a, std::int64_t eventId) {
    const char* kind = journal::KindName(a.kind);
    sqlite3_stmt* st = a.state == journal::AlarmState::Normal ? removeAlarm_ : saveAlarm_;
    sqlite3_bind_int(st, 1, a.pump);
    sqlite3_bind_text(st, 2, kind, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 3, a.name.data(), static_cast<int>(a.name.size()), SQLITE_STATIC);
    if (st == saveAlarm_) {
        sqlite3_bind_int(st, 4, static_cast<int>(a.state));
        sqlite3_bind_int64(st, 5, a.timeMs);
        sqlite3_bind_int64(st, 6,
                           a.state == journal::AlarmState::ActiveUnacknowledged ? eventId : 0);
        sqlite3_bind_int64(st, 7, a.raisedMs);
    }
    return step(st);
}

bool SqliteJournal::append(journal::Event& event, const journal::Alarm* alarm) {
    if (insert_ == nullptr) {
        if (error_.empty()) error_ = "no journal open";
        return false;
    }
    // An event alone is its own transaction; with an alarm's change, the two are one.
    if (alarm != nullptr && !step(begin_)) return false;
    const char* kind = journal::KindName(event.kind);
    sqlite3_bind_int64(insert_, 1, event.timeMs);
    sqlite3_bind_int(insert_, 2, event.pump);
    sqlite3_bind_text(insert_, 3, kind, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert_, 4, event.text.data(), static_cast<int>(event.text.size()),
                      SQLITE_STATIC);
    // The alarm the event changes goes with it (unbound parameters are NULL).
    if (alarm != nullptr)
        event.alarm = journal::AlarmChange{alarm->kind, alarm->name, alarm->state};
    if (event.alarm) {
        sqlite3_bind_text(insert_, 5, journal::KindName(event.alarm->kind), -1, SQLITE_STATIC);
        sqlite3_bind_text(insert_, 6, event.alarm->name.data(),
                          static_cast<int>(event.alarm->name.size()), SQLITE_STATIC);
        sqlite3_bind_int(insert_, 7, static_cast<int>(event.alarm->state));
    }
    bool written = step(insert_);
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    if (alarm != nullptr) {
        written = (written && saveAlarm(*alarm, id) && step(commit_)) || rollBack();
    }
    if (!written) return false;
    event.id = id;
    event.epoch = epoch_;
    return true;
}

std::vector<journal::Alarm> SqliteJournal::alarms() {
    std::vector<journal::Alarm> out;
    if (db_ == nullptr) return out;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(
        db_, "SELECT pump, kind, name, state, time_ms, raised_ms FROM alarms ORDER BY time_ms", -1,
        &st, nullptr);
    // A damaged file is read before it is brought up to date: without raise times, an alarm
    // came on at the latest at its last change.
    if (rc != SQLITE_OK && !damagedCode(rc))
        rc = sqlite3_prepare_v2(
            db_, "SELECT pump, kind, name, state, time_ms, time_ms FROM alarms ORDER BY time_ms",
            -1, &st, nullptr);
    if (failed(rc)) return out;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        const int state = sqlite3_column_int(st, 3);
        const auto k = journal::KindNamed(kind != nullptr ? kind : "");
        // A row this station cannot read is left out rather than guessed at.
        if (!k || name == nullptr ||
            state < static_cast<int>(journal::AlarmState::ActiveUnacknowledged) ||
            state > static_cast<int>(journal::AlarmState::ClearedUnacknowledged))
            continue;
        out.push_back({sqlite3_column_int(st, 0), *k, name, static_cast<journal::AlarmState>(state),
                       sqlite3_column_int64(st, 4), sqlite3_column_int64(st, 5)});
    }
    failed(rc);
    sqlite3_finalize(st);
    return out;
}

std::vector<journal::Event> SqliteJournal::newest(const journal::Filter& filter, int limit) {
    std::vector<journal::Event> out;
    if (db_ == nullptr || limit <= 0) return out;
    std::string sql =
        "SELECT id, time_ms, pump, kind, text, alarm_kind, alarm_name, alarm_state FROM events"
        " WHERE 1";
    if (filter.pump != journal::Filter::kAnyPump) sql += " AND pump = ?1";
    if (filter.kind) sql += " AND kind = ?2";
    if (filter.beforeId > 0) sql += " AND id < ?3";
    sql += " ORDER BY id DESC LIMIT ?4";
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    if (failed(rc)) return out;
    if (filter.pump != journal::Filter::kAnyPump) sqlite3_bind_int(st, 1, filter.pump);
    if (filter.kind) sqlite3_bind_text(st, 2, journal::KindName(*filter.kind), -1, SQLITE_STATIC);
    if (filter.beforeId > 0) sqlite3_bind_int64(st, 3, filter.beforeId);
    sqlite3_bind_int(st, 4, limit);
    return rows(st);
}

// Reads the events a prepared query gives and finalizes it.
std::vector<journal::Event> SqliteJournal::rows(sqlite3_stmt* st) {
    std::vector<journal::Event> out;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        journal::Event e;
        e.epoch = epoch_;
        e.id = sqlite3_column_int64(st, 0);
        e.timeMs = sqlite3_column_int64(st, 1);
        e.pump = sqlite3_column_int(st, 2);
        const auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
        e.kind = journal::KindNamed(kind != nullptr ? kind : "").value_or(journal::Kind::Station);
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
        e.text = text != nullptr ? text : "";
        const auto* alarmKind = reinterpret_cast<const char*>(sqlite3_column_text(st, 5));
        const auto* alarmName = reinterpret_cast<const char*>(sqlite3_column_text(st, 6));
        const int state = sqlite3_column_int(st, 7);
        const auto k = journal::KindNamed(alarmKind != nullptr ? alarmKind : "");
        // A change this station cannot read is left out rather than guessed at.
        if (k && alarmName != nullptr && sqlite3_column_type(st, 7) == SQLITE_INTEGER &&
            state >= static_cast<int>(journal::AlarmState::Normal) &&
            state <= static_cast<int>(journal::AlarmState::ClearedUnacknowledged))
            e.alarm = journal::AlarmChange{*k, alarmName, static_cast<journal::AlarmState>(state)};
        out.push_back(std::move(e));
    }
    failed(rc);
    sqlite3_finalize(st);
    return out;
}

std::vector<journal::Event> SqliteJournal::since(std::int64_t afterId, int limit) {
    if (db_ == nullptr || limit <= 0) return {};
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(
        db_, "SELECT id, time_ms, pump, kind, text, alarm_kind, alarm_name, alarm_state FROM events"
        " WHERE id > ?1 ORDER BY id LIMIT ?2",
        -1, &st, nullptr);
    if (failed(rc)) return {};
    sqlite3_bind_int64(st, 1, afterId);
    sqlite3_bind_int(st, 2, limit);
    return rows(st);
}

std::optional<std::int64_t> SqliteJournal::mark(const std::string& key) {
    if (db_ == nullptr) return std::nullopt;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT value FROM meta WHERE key = ?1", -1, &st, nullptr);
    if (failed(rc)) return std::nullopt;
    sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    std::optional<std::int64_t> value;
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) value = sqlite3_column_int64(st, 0);
    failed(rc);
    sqlite3_finalize(st);
    return value;
}

bool SqliteJournal::setMark(const std::string& key, std::int64_t value) {
    if (db_ == nullptr) return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)", -1,
                                &st, nullptr);
    if (failed(rc)) return false;
    sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, value);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    return !failed(rc);
}

bool SqliteJournal::saveStage(const journal::SavedStage& stage) {
    if (db_ == nullptr || !step(begin_)) return false;
    const auto statement = [this](const char* sql) {
        sqlite3_stmt* st = nullptr;
        return failed(sqlite3_prepare_v2(db_, sql, -1, &st, nullptr)) ? nullptr : st;
    };
    sqlite3_stmt* row =
        statement("INSERT OR REPLACE INTO stages(id, running, sums) VALUES(?1, ?2, ?3)");
    sqlite3_stmt* point = statement(
        "INSERT OR REPLACE INTO stage_points(stage, second, rate, pressure) VALUES(?1, ?2, ?3, ?4)");
    bool ok = row != nullptr && point != nullptr;
    if (ok) {
        sqlite3_bind_int64(row, 1, stage.id);
        sqlite3_bind_int(row, 2, stage.running ? 1 : 0);
        sqlite3_bind_text(row, 3, stage.sums.c_str(), -1, SQLITE_TRANSIENT);
        ok = !failed(sqlite3_step(row));
    }
    for (std::size_t i = 0; ok && i < stage.points.size(); ++i) {
        const journal::StagePoint& p = stage.points[i];
        sqlite3_reset(point);
        sqlite3_bind_int64(point, 1, stage.id);
        sqlite3_bind_int64(point, 2, p.second);
        sqlite3_bind_double(point, 3, p.rate);
        sqlite3_bind_double(point, 4, p.pressure);
        ok = !failed(sqlite3_step(point));
    }
    sqlite3_finalize(row);
    sqlite3_finalize(point);
    if (ok && step(commit_)) return true;
    rollBack();
    return false;
}

std::optional<journal::SavedStage> SqliteJournal::newestStage() {
    if (db_ == nullptr) return std::nullopt;
    sqlite3_stmt* st = nullptr;
    if (failed(sqlite3_prepare_v2(db_, "SELECT id, running, sums FROM stages ORDER BY id DESC LIMIT 1",
                                  -1, &st, nullptr)))
        return std::nullopt;
    std::optional<journal::SavedStage> stage;
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        stage.emplace();
        stage->id = sqlite3_column_int64(st, 0);
        stage->running = sqlite3_column_int(st, 1) != 0;
        const unsigned char* sums = sqlite3_column_text(st, 2);
        stage->sums = sums != nullptr ? reinterpret_cast<const char*>(sums) : "";
    }
    failed(rc);
    sqlite3_finalize(st);
    if (!stage) return stage;
    rc = sqlite3_prepare_v2(
        db_, "SELECT second, rate, pressure FROM stage_points WHERE stage = ?1 ORDER BY second", -1,
        &st, nullptr);
    if (failed(rc)) return stage;
    sqlite3_bind_int64(st, 1, stage->id);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        stage->points.push_back({sqlite3_column_int64(st, 0),
                                 static_cast<float>(sqlite3_column_double(st, 1)),
                                 static_cast<float>(sqlite3_column_double(st, 2))});
    failed(rc);
    sqlite3_finalize(st);
    return stage;
}

std::int64_t SqliteJournal::count() {
    if (db_ == nullptr) return 0;
    std::int64_t n = 0;
    if (!int64Query(db_, "SELECT count(*) FROM events", n)) failed(sqlite3_errcode(db_));
    return n;
}

bool MoveOldJournal(const std::string& oldPath, const std::string& path, std::string& error) {
    if (!fileExists(oldPath) || fileExists(path)) return true;
    for (const char* suffix : {"-wal", "-shm", ""}) {
        const std::string from = oldPath + suffix;
        const std::string to = path + suffix;
        if (!fileExists(from) || fileExists(to)) continue;  // moved before the last start ended
        if (std::rename(from.c_str(), to.c_str()) != 0) {
            error = "cannot move " + from + " to " + to + ": " + std::strerror(errno);
            TRACE(journal, "%s", error.c_str());
            return false;
        }
        TRACE(journal, "%s brought to %s", from.c_str(), to.c_str());
    }
    return true;
}

bool MakeJournalFolder(const std::string& folder, std::string& error) {
    if (::mkdir(folder.c_str(), PrivateFolderMode()) == 0 || errno == EEXIST) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
    }
    error = "cannot make the folder " + folder + ": " + std::strerror(errno);
    TRACE(journal, "%s", error.c_str());
    return false;
}

}  // namespace platform
