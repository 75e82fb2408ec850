// What bounds the journal: the events a day that a condition chattering at 10 Hz leaves with
// the chattering rule (a day in virtual time); the file's size after 10 million events with
// the retention policy on (the default one, and a tighter size bound given with
// JOURNAL_MAX_MB); the time an open takes on that file and the time of the whole-file check
// that follows it in the background; and how long one pruning batch holds the file.
// Usage: journal_bounds_bench [folder] (default: a folder under /tmp, removed at the end).
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/real/sqlite_journal.h"
#include "platform/sim/memory_journal.h"
#include "platform/sim_loop.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void chattering() {
    platform::SimLoop loop;
    platform::setLoop(&loop);
    platform::MemoryJournal store;
    journal::Reset();
    journal::SetStore(&store);
    bool on = false;
    long changes = 0;
    for (int second = 0; second < 86400; ++second) {
        for (int tenth = 0; tenth < 10; ++tenth) {
            on = !on;
            if (on)
                journal::SetAlarm(3, journal::Kind::Alarm, "Lube Pressure");
            else
                journal::ClearAlarm(3, journal::Kind::Alarm, "Lube Pressure");
            ++changes;
            loop.advance(0.1);
        }
        journal::Maintain();
    }
    std::printf("a bit changing at 10 Hz for a day: %ld changes, %zu events journalled\n", changes,
                store.events.size());
    journal::SetStore(nullptr);
    journal::Reset();
    platform::setLoop(nullptr);
}

// Events in one transaction per 10 000, spread over the last 300 days: the default policy's
// age bound does not take them, so only the size bound can.
void fill(const std::string& path, long from, long to, long total) {
    sqlite3* raw = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open(path.c_str(), &raw);
    sqlite3_busy_timeout(raw, 5000);
    sqlite3_prepare_v2(raw, "INSERT INTO events(time_ms, pump, kind, text) VALUES(?,?,?,?)", -1, &st,
                       nullptr);
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    const std::int64_t span = 300LL * 86400000;
    static const char* const texts[] = {"On line", "STOP", "Speed up (small step)", "Tripped",
                                        "Discharge Pressure", "Recording started: AUTO12-07-26_10-00-00"};
    for (long i = from; i < to; ++i) {
        if ((i - from) % 10000 == 0) sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_bind_int64(st, 1, now - span + span / total * i);
        sqlite3_bind_int(st, 2, static_cast<int>(i % 25) - 1);
        sqlite3_bind_text(st, 3, journal::KindName(static_cast<journal::Kind>(i % journal::kKindCount)), -1,
                          SQLITE_STATIC);
        sqlite3_bind_text(st, 4, texts[i % 6], -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
        if ((i - from) % 10000 == 9999 || i + 1 == to) sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(st);
    sqlite3_close(raw);
}

double mb(const std::string& path) {
    return static_cast<double>(fs::file_size(path)) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    chattering();

    const bool keep = argc > 1;
    const fs::path dir = keep ? fs::path(argv[1])
                              : fs::temp_directory_path() / ("vnk_bounds_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "journal.db").string();
    const char* maxMb = std::getenv("JOURNAL_MAX_MB");
    journal::Retention policy;  // the defaults of the settings store
    if (maxMb != nullptr) policy.maxBytes = std::atoll(maxMb) * 1024 * 1024;
    std::printf("policy: %d days, %.0f MB\n", policy.keepDays, static_cast<double>(policy.maxBytes) / 1048576.0);

    constexpr long kTotal = 10000000;
    constexpr long kStep = 1000000;
    platform::SqliteJournal db;
    std::string notice;
    if (!db.open(path, notice)) {
        std::fprintf(stderr, "%s\n", notice.c_str());
        return 1;
    }
    db.close();
    std::vector<double> batchMs;
    for (long at = 0; at < kTotal; at += kStep) {
        const auto t0 = Clock::now();
        fill(path, at, at + kStep, kTotal);
        const double fillS = msSince(t0) / 1000.0;
        // The policy as the maintenance thread applies it, batch by batch, timed.
        if (!db.open(path, notice)) return 1;
        long pruned = 0;
        for (int n;;) {
            const auto b0 = Clock::now();
            n = db.pruneOnce(policy, 200);
            if (n == 0) break;
            batchMs.push_back(msSince(b0));
            pruned += n;
        }
        const std::int64_t kept = db.count();
        db.close();
        std::printf("%8ld events written (%.1f s), %ld pruned, %lld kept, file %.1f MB\n", at + kStep, fillS,
                    pruned, static_cast<long long>(kept), mb(path));
    }
    if (!batchMs.empty()) {
        std::sort(batchMs.begin(), batchMs.end());
        std::printf("pruning batch of 200: %zu batches, median %.2f ms, p99 %.2f ms, longest %.2f ms\n",
                    batchMs.size(), batchMs[batchMs.size() / 2], batchMs[batchMs.size() * 99 / 100],
                    batchMs.back());
    }

    // The open on that file, then the whole-file check in the background.
    for (int round = 0; round < 3; ++round) {
        const auto t0 = Clock::now();
        if (!db.open(path, notice)) return 1;
        const double openMs = msSince(t0);
        while (db.checkResult() == platform::SqliteJournal::CheckResult::Running)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::printf("open %.1f ms; background check %.0f ms (%s), file %.1f MB\n", openMs, db.checkMs(),
                    db.checkResult() == platform::SqliteJournal::CheckResult::Sound ? "sound" : "NOT SOUND",
                    mb(path));
        db.close();
    }
    if (!keep) fs::remove_all(dir);
    return 0;
}
