#include "platform/real/sqlite_journal.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace platform {

namespace {

// "VNKJ": marks a file as this station's journal.
constexpr int kApplicationId = 0x564E4B4A;
// 1: events only; 2: the alarms' states too (a version 1 journal is brought up to 2).
constexpr int kSchemaVersion = 2;
constexpr int kCheckpointEveryMs = 500;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS events(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,"
    " pump INTEGER NOT NULL, kind TEXT NOT NULL, text TEXT NOT NULL);"
    // The window asks for the newest rows of one pump or of one kind (both: a pump's rows
    // read newest first until the kind has filled the page). Each index costs every insert.
    "CREATE INDEX IF NOT EXISTS events_pump ON events(pump, id);"
    "CREATE INDEX IF NOT EXISTS events_kind ON events(kind, id);";

// The alarms not Normal, each as its last committed event left it.
const char* const kAlarmsTable =
    "CREATE TABLE IF NOT EXISTS alarms(pump INTEGER NOT NULL, kind TEXT NOT NULL,"
    " name TEXT NOT NULL, state INTEGER NOT NULL, time_ms INTEGER NOT NULL,"
    " PRIMARY KEY(pump, kind, name));";

std::string stamp() {
    std::time_t t = std::time(nullptr);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &parts);
    return text;
}

bool fileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// Moves the file and its WAL companions aside under one new name. A WAL left behind would
// be replayed into the new journal.
bool setAside(const std::string& path, std::string& moved) {
    // Two files set aside within a second keep apart.
    const std::string base = path + "." + stamp();
    moved = base + ".bad";
    for (int n = 2; fileExists(moved) && n < 100; ++n) moved = base + "-" + std::to_string(n) + ".bad";
    if (std::rename(path.c_str(), moved.c_str()) != 0) return false;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string from = path + suffix;
        if (fileExists(from)) {
            if (std::rename(from.c_str(), (moved + suffix).c_str()) != 0)
                std::remove(from.c_str());
        }
    }
    return true;
}

}  // namespace

SqliteJournal::~SqliteJournal() {
    close();
}

void SqliteJournal::startCheckpoints(const std::string& path) {
    stopping_ = false;
    checkpointer_ = std::thread([this, path] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, 1000);
            std::unique_lock<std::mutex> lock(mutex_);
            while (!stopping_) {
                wake_.wait_for(lock, std::chrono::milliseconds(kCheckpointEveryMs));
                if (stopping_) break;
                lock.unlock();
                // PASSIVE: never waits for, nor blocks, the writer.
                sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
                lock.lock();
            }
        }
        sqlite3_close_v2(db);
    });
}

void SqliteJournal::stopCheckpoints() {
    if (!checkpointer_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    checkpointer_.join();
}

void SqliteJournal::close() {
    stopCheckpoints();
    for (sqlite3_stmt** st : {&insert_, &saveAlarm_, &removeAlarm_, &begin_, &commit_, &rollback_}) {
        if (*st != nullptr) sqlite3_finalize(*st);
        *st = nullptr;
    }
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool SqliteJournal::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_ = message != nullptr ? message : sqlite3_errmsg(db_);
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
    auto failed = [&] { return busy ? Check::Busy : Check::Damaged; };
    int appId = 0, version = 0, objects = 0;
    if (!intPragma("PRAGMA application_id", appId)) return failed();
    if (!intPragma("SELECT count(*) FROM sqlite_schema", objects)) return failed();
    if (appId != kApplicationId) return objects == 0 && appId == 0 ? Check::Empty : Check::Foreign;
    if (!intPragma("PRAGMA user_version", version) || version < 1 || version > kSchemaVersion)
        return Check::Foreign;
    version_ = version;
    // The newest rows and the table's last page are what the window reads first.
    int newest = 0;
    if (!intPragma("SELECT id FROM events ORDER BY id DESC LIMIT 1", newest)) return failed();
    if (!intPragma("SELECT count(*) FROM (SELECT id FROM events ORDER BY id DESC LIMIT 64)", newest))
        return failed();
    return Check::Good;
}

bool SqliteJournal::create() {
    char pragmas[96];
    std::snprintf(pragmas, sizeof pragmas, "PRAGMA application_id=%d; PRAGMA user_version=%d;",
                  kApplicationId, kSchemaVersion);
    // Another process may be making the same new file: the schema is made at most once.
    version_ = kSchemaVersion;
    if (exec("BEGIN IMMEDIATE") && exec(kSchema) && exec(kAlarmsTable) && exec(pragmas) &&
        exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    return false;
}

bool SqliteJournal::prepare() {
    // WAL: a commit is one append to the log, readers never wait for the writer, and a
    // killed process leaves every committed transaction in the log for the next open.
    // NORMAL syncs at checkpoints, not at each commit: a process crash loses nothing
    // committed; only a power cut can lose the last moments.
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=0;"))
        return false;
    // A journal of the first version gains the alarms' table; its events stay as they are.
    char upgrade[64];
    std::snprintf(upgrade, sizeof upgrade, "PRAGMA user_version=%d;", kSchemaVersion);
    if (version_ < kSchemaVersion &&
        (!exec("BEGIN IMMEDIATE") || !exec(kAlarmsTable) || !exec(upgrade) || !exec("COMMIT"))) {
        exec("ROLLBACK");
        return false;
    }
    const struct {
        const char* sql;
        sqlite3_stmt** statement;
    } statements[] = {
        {"INSERT INTO events(time_ms, pump, kind, text) VALUES(?, ?, ?, ?)", &insert_},
        {"INSERT OR REPLACE INTO alarms(pump, kind, name, state, time_ms) VALUES(?, ?, ?, ?, ?)",
         &saveAlarm_},
        {"DELETE FROM alarms WHERE pump = ? AND kind = ? AND name = ?", &removeAlarm_},
        {"BEGIN IMMEDIATE", &begin_},
        {"COMMIT", &commit_},
        {"ROLLBACK", &rollback_},
    };
    for (const auto& s : statements) {
        if (sqlite3_prepare_v3(db_, s.sql, -1, SQLITE_PREPARE_PERSISTENT, s.statement, nullptr) !=
            SQLITE_OK) {
            error_ = sqlite3_errmsg(db_);
            return false;
        }
    }
    return true;
}

bool SqliteJournal::open(const std::string& path, std::string& notice) {
    close();
    notice.clear();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool existed = fileExists(path);
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            error_ = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
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
            close();
            break;
        }
        if (c == Check::Good || c == Check::Empty) {
            if ((c == Check::Good || create()) && prepare()) {
                sqlite3_busy_timeout(db_, 250);
                startCheckpoints(path);
                return true;
            }
            close();
            break;  // a sound file this station cannot use is never set aside
        }
        close();
        if (attempt > 0) break;
        std::string moved;
        const bool damaged = c == Check::Damaged;
        if (!setAside(path, moved)) break;
        notice = std::string("The event journal ") + path +
                 (damaged ? " is damaged" : " is not this station's journal") + ". It was set aside as " +
                 moved + " and a new journal started.";
    }
    if (!notice.empty()) notice += ' ';
    notice += "The event journal " + path + " cannot be used (" + error_ +
              "). The station runs without a journal.";
    return false;
}

// Runs a prepared statement that returns no rows, and makes it ready for the next use.
bool SqliteJournal::step(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc == SQLITE_DONE) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
}

bool SqliteJournal::saveAlarm(const journal::Alarm& a) {
    const char* kind = journal::KindName(a.kind);
    sqlite3_stmt* st = a.state == journal::AlarmState::Normal ? removeAlarm_ : saveAlarm_;
    sqlite3_bind_int(st, 1, a.pump);
    sqlite3_bind_text(st, 2, kind, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 3, a.name.data(), static_cast<int>(a.name.size()), SQLITE_STATIC);
    if (st == saveAlarm_) {
        sqlite3_bind_int(st, 4, static_cast<int>(a.state));
        sqlite3_bind_int64(st, 5, a.timeMs);
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
    bool written = step(insert_);
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    if (alarm != nullptr) {
        written = written && saveAlarm(*alarm) && step(commit_);
        if (!written) {
            const std::string why = error_;
            step(rollback_);
            error_ = why;
        }
    }
    if (!written) return false;
    event.id = id;
    return true;
}

std::vector<journal::Alarm> SqliteJournal::alarms() {
    std::vector<journal::Alarm> out;
    if (db_ == nullptr) return out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT pump, kind, name, state, time_ms FROM alarms ORDER BY time_ms",
                           -1, &st, nullptr) != SQLITE_OK) {
        error_ = sqlite3_errmsg(db_);
        return out;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        const int state = sqlite3_column_int(st, 3);
        const auto k = journal::KindNamed(kind != nullptr ? kind : "");
        // A row this station cannot read is left out rather than guessed at.
        if (!k || name == nullptr || state < static_cast<int>(journal::AlarmState::ActiveUnacknowledged) ||
            state > static_cast<int>(journal::AlarmState::ClearedUnacknowledged))
            continue;
        out.push_back({sqlite3_column_int(st, 0), *k, name, static_cast<journal::AlarmState>(state),
                       sqlite3_column_int64(st, 4)});
    }
    sqlite3_finalize(st);
    return out;
}

std::vector<journal::Event> SqliteJournal::newest(const journal::Filter& filter, int limit) {
    std::vector<journal::Event> out;
    if (db_ == nullptr || limit <= 0) return out;
    std::string sql = "SELECT id, time_ms, pump, kind, text FROM events WHERE 1";
    if (filter.pump != journal::Filter::kAnyPump) sql += " AND pump = ?1";
    if (filter.kind) sql += " AND kind = ?2";
    if (filter.beforeId > 0) sql += " AND id < ?3";
    sql += " ORDER BY id DESC LIMIT ?4";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        error_ = sqlite3_errmsg(db_);
        return out;
    }
    if (filter.pump != journal::Filter::kAnyPump) sqlite3_bind_int(st, 1, filter.pump);
    if (filter.kind) sqlite3_bind_text(st, 2, journal::KindName(*filter.kind), -1, SQLITE_STATIC);
    if (filter.beforeId > 0) sqlite3_bind_int64(st, 3, filter.beforeId);
    sqlite3_bind_int(st, 4, limit);
    while (sqlite3_step(st) == SQLITE_ROW) {
        journal::Event e;
        e.id = sqlite3_column_int64(st, 0);
        e.timeMs = sqlite3_column_int64(st, 1);
        e.pump = sqlite3_column_int(st, 2);
        const auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
        e.kind = journal::KindNamed(kind != nullptr ? kind : "").value_or(journal::Kind::Station);
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
        e.text = text != nullptr ? text : "";
        out.push_back(std::move(e));
    }
    sqlite3_finalize(st);
    return out;
}

std::int64_t SqliteJournal::count() {
    if (db_ == nullptr) return 0;
    sqlite3_stmt* st = nullptr;
    std::int64_t n = 0;
    if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM events", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

}  // namespace platform
