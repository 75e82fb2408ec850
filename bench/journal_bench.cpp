// The journal on the real file system with a million events already stored: the time of
// one insert (one transaction, WAL) as the station makes it, with its mean, 99th percentile
// and longest; and the journal window opening on that file (the rows read and painted into
// the UI model, and with the Qt view when a display is available: QT_QPA_PLATFORM=offscreen).
// Usage: journal_bench [folder] (default: a folder under /tmp; a journal already there with
// a million events is reused).
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_station.h"
#include "operation/journal_view.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/real/sqlite_journal.h"
#include "shell/main_sequence.h"
#include "ui/qt/qt_view.h"
#include "ui/ui_model.h"

using namespace operation;
using namespace shell;

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kStored = 1000000;
constexpr int kTimedInserts = 20000;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

const char* const kTexts[] = {"On line", "STOP", "Speed up (small step)", "Tripped",
                              "Discharge Pressure", "Recording started: frac_0412"};

journal::Event sample(long i) {
    journal::Event e;
    e.timeMs = 1798761600000 + i * 37;
    e.pump = i % 25 == 24 ? journal::kNoPump : static_cast<int>(i % 25);
    e.kind = static_cast<journal::Kind>(i % journal::kKindCount);
    e.text = kTexts[i % 6];
    return e;
}

void summary(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    std::printf("%s: %zu runs, mean %.4f ms, median %.4f ms, p99 %.4f ms, longest %.3f ms\n", what,
                ms.size(), sum / static_cast<double>(ms.size()), ms[ms.size() / 2],
                ms[ms.size() * 99 / 100], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const bool keep = argc > 1;
    const fs::path dir =
        keep ? fs::path(argv[1]) : fs::temp_directory_path() / ("vnk_journal_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "journal.db").string();

    platform::SqliteJournal db;
    std::string notice;
    if (!db.open(path, notice)) {
        std::fprintf(stderr, "%s\n", notice.c_str());
        return 1;
    }
    long have = static_cast<long>(db.count());
    if (have < kStored) {
        // The million stored events go in through one transaction of their own: only the
        // inserts timed below are the station's one transaction per event.
        db.close();
        const auto t0 = Clock::now();
        sqlite3* raw = nullptr;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK ||
            sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(raw, "INSERT INTO events(time_ms, pump, kind, text) VALUES(?,?,?,?)",
                               -1, &st, nullptr) != SQLITE_OK)
            return 1;
        for (long i = have; i < kStored; ++i) {
            const journal::Event e = sample(i);
            sqlite3_bind_int64(st, 1, e.timeMs);
            sqlite3_bind_int(st, 2, e.pump);
            sqlite3_bind_text(st, 3, journal::KindName(e.kind), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 4, e.text.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) != SQLITE_DONE) return 1;
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        std::printf("filled %ld events in %.1f s\n", kStored - have, msSince(t0) / 1000.0);
        if (!db.open(path, notice)) return 1;
    }
    std::printf("stored: %lld events, file %.1f MB\n", static_cast<long long>(db.count()),
                static_cast<double>(fs::file_size(path)) / 1e6);

    // Thread CPU time as well: on shared cores the wall clock's tail is mostly preemption.
    auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    std::vector<double> inserts, insertsCpu;
    inserts.reserve(kTimedInserts);
    // JOURNAL_BENCH_BURST=1: back to back, as in a burst; else a pause every 20 events.
    const bool burst = std::getenv("JOURNAL_BENCH_BURST") != nullptr;
    for (int i = 0; i < kTimedInserts; ++i) {
        journal::Event e = sample(kStored + i);
        const auto t0 = Clock::now();
        const double c0 = cpuMs();
        if (!db.append(e)) return 1;
        insertsCpu.push_back(cpuMs() - c0);
        inserts.push_back(msSince(t0));
        if (!burst && i % 20 == 0) usleep(1000);
    }
    summary("insert (one transaction each), wall clock", inserts);
    summary("insert, thread CPU time", insertsCpu);

    // An alarm's change: its event and the alarm's new state in one transaction, set and
    // cleared in turn over 24 pumps' alarms.
    std::vector<double> alarmInserts;
    alarmInserts.reserve(kTimedInserts);
    for (int i = 0; i < kTimedInserts; ++i) {
        journal::Event e = sample(kStored + kTimedInserts + i);
        const bool set = (i / 24) % 2 == 0;
        const journal::Alarm a{i % 24, journal::Kind::Alarm, "Discharge Pressure",
                               set ? journal::AlarmState::ActiveUnacknowledged
                                   : journal::AlarmState::Normal,
                               e.timeMs};
        const auto t0 = Clock::now();
        if (!db.append(e, &a)) return 1;
        alarmInserts.push_back(msSince(t0));
        if (!burst && i % 20 == 0) usleep(1000);
    }
    summary("alarm change (event and alarm state, one transaction), wall clock", alarmInserts);

    // The window: the station's model, its journal on this file.
    QApplication* app = nullptr;
    ui::qt::QtView* view = nullptr;
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa != nullptr && *qpa != '\0') {
        static int qargc = 1;
        static char name[] = "journal_bench";
        static char* qargv[] = {name, nullptr};
        app = new QApplication(qargc, qargv);
        view = new ui::qt::QtView;
        ui::setObserver(view);
    }
    auto station = std::make_unique<BenchStation>(dir, true);
    journal::SetStore(&db);
    for (int p = 0; p < 24; p += 3) journal::SetAlarm(p, journal::Kind::Trip, "Tripped");
    std::vector<double> opens;
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        ShowJournalWindow();
        if (app != nullptr) QApplication::processEvents();
        opens.push_back(msSince(t0));
        if (JournalRows().size() != 12) return 1;
        CloseJournalWindow();
        if (app != nullptr) QApplication::processEvents();
    }
    summary(app != nullptr ? "window opens (model and Qt view, painted)" : "window opens (model)", opens);
    journal::SetStore(nullptr);
    station.reset();
    delete view;
    delete app;
    db.close();
    if (!keep) fs::remove_all(dir);
    return 0;
}
