// The journal kept in good order over a long run: a damaged file set aside and its alarms
// carried on, ids that stay unique by epoch, chattering conditions summed up, retention,
// private files, wall-clock times, and the journal brought out of the recordings folder.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "journal_fixtures.h"
#include "platform/group_access.h"

namespace {

namespace fs = std::filesystem;
using journal::AlarmState;
using journal::Kind;

class JournalUpkeep : public JournalInMemory {};

TEST_F(JournalUpkeep, DamageFoundByAWriteOrTheCheckStartsAFreshFileOnceWithTheEventAndTheAlarms) {
    journal::SetAlarm(2, Kind::Trip, "Tripped");
    journal::SetAlarm(5, Kind::Alarm, "Suction Pressure");
    journal::Acknowledge(5, Kind::Alarm, "Suction Pressure");
    journal::Record(2, Kind::Command, "STOP");
    const std::int64_t oldEpoch = store.epoch();

    // The write that meets the damage: the event is not lost, it opens the fresh file.
    store.damagedFile = true;
    journal::Record(3, Kind::Command, "Idle");
    loop.advance(0.1);
    ASSERT_EQ(notices.size(), 1u) << "one message for the operator";
    EXPECT_NE(notices[0].find("set aside"), std::string::npos) << notices[0];
    ASSERT_EQ(store.events.size(), 2u);
    EXPECT_EQ(store.events[0].kind, Kind::Station) << "the fresh file says why it began";
    EXPECT_EQ(store.events[1].text, "Idle");
    EXPECT_EQ(store.setAside.size(), 4u);
    const auto carried = store.alarms();
    ASSERT_EQ(carried.size(), 2u);
    std::set<std::pair<std::string, AlarmState>> states;
    for (const auto& a : carried) states.insert({a.name, a.state});
    EXPECT_EQ(states, (std::set<std::pair<std::string, AlarmState>>{
                          {"Tripped", AlarmState::ActiveUnacknowledged},
                          {"Suction Pressure", AlarmState::ActiveAcknowledged}}));
    EXPECT_EQ(journal::UnacknowledgedCount(), 1);

    // Damage found by the background check, with nothing written: the next tick heals it.
    store.damagedFile = true;
    journal::Maintain();
    loop.advance(0.1);
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_FALSE(store.damaged());
    journal::Record(3, Kind::Command, "STOP");

    // (epoch, id) never repeats across the three files, though the ids start again.
    std::set<std::pair<std::int64_t, std::int64_t>> seen;
    for (const auto* list : {&store.setAside, &store.events})
        for (const journal::Event& e : *list) EXPECT_TRUE(seen.insert({e.epoch, e.id}).second) << e.text;
    EXPECT_EQ(store.epoch(), oldEpoch + 2);
}

TEST_F(JournalUpkeep, DamageThatCannotBeHealedIsShownOnceAndTheAlarmStillCounts) {
    store.damagedFile = true;
    store.failWrites = true;  // the fresh file cannot be made either
    journal::Record(0, Kind::Command, "STOP");
    journal::SetAlarm(1, Kind::Trip, "Tripped");
    journal::Maintain();
    loop.advance(0.1);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(journal::UnacknowledgedCount(), 1);
}

TEST_F(JournalUpkeep, AChatteringBitIsSummedUpOnceAMinuteAndItsStateFollowsEveryChange) {
    const auto toggle = [](bool on) {
        if (on)
            journal::SetAlarm(7, Kind::Alarm, "Lube Pressure");
        else
            journal::ClearAlarm(7, Kind::Alarm, "Lube Pressure");
    };
    // 10 Hz for five minutes, with the housekeeping tick once a second.
    bool on = false;
    for (int i = 1; i <= 3000; ++i) {
        on = !on;
        toggle(on);
        EXPECT_EQ(journal::StateOf(7, Kind::Alarm, "Lube Pressure") != AlarmState::ClearedUnacknowledged, on)
            << "change " << i;
        loop.advance(0.1);
        if (i % 10 == 0) journal::Maintain();
        if (i == 1500) loop.stepWallClock(-3600.0);  // the minutes are not the wall clock's
    }
        // 10 changes each their own event, the 11th starts the chattering, then one a minute.
    EXPECT_EQ(eventsWith("Lube Pressure"), 10 + 1 + 4);
    EXPECT_EQ(eventsWith("chattering: 11 changes within a minute, now set"), 1);
    EXPECT_EQ(eventsWith("chattering: 600 changes in the last minute"), 3);
    EXPECT_EQ(journal::UnacknowledgedCount(), 1);
    // The file follows its state within a second meanwhile: a restart resumes it.
    const auto stored = [&] {
        for (const journal::Alarm& a : store.alarms())
            if (a.name == "Lube Pressure") return a.state;
        return AlarmState::Normal;
    };
    for (int k = 0; k < 2; ++k) {
        toggle(on = !on);
        loop.advance(1.0);
        journal::Maintain();
        EXPECT_EQ(stored(), journal::StateOf(7, Kind::Alarm, "Lube Pressure")) << k;
    }
    // Another condition of the same pump is not held back by it.
    journal::SetAlarm(7, Kind::Trip, "Tripped");
    EXPECT_EQ(eventsWith("Tripped"), 1);

    // It calms: the minute that was still busy is reported, then the quiet one closes it
    // with the state it was left in, and its changes are single events again.
    journal::Acknowledge(7, Kind::Alarm, "Lube Pressure");
    for (int s = 0; s < 130; ++s) {
        loop.advance(1.0);
        journal::Maintain();
    }
    EXPECT_EQ(eventsWith("Lube Pressure chattering: 591 changes in the last minute, now set"), 1);
    EXPECT_EQ(eventsWith("Lube Pressure chattering ended: 1 change in the last minute, now clear"), 1);
    EXPECT_EQ(store.events.back().text.find("chattering ended"), 14u);
    EXPECT_FALSE(on);
    toggle(!on);
    EXPECT_EQ(store.events.back().text, on ? "Lube Pressure cleared" : "Lube Pressure");
}

TEST_F(JournalUpkeep, EventTimesAreTheWallClockOfEachEventAndFollowItsSteps) {
    loop.advance(12.3456);
    journal::Record(0, Kind::Command, "STOP");
    EXPECT_EQ(store.events.back().timeMs, loop.wallTimeMs());
    EXPECT_EQ(store.events.back().timeMs % 1000, 345) << "milliseconds kept, not 0-999 ms early";
    loop.stepWallClock(-3600.0);  // the clock set back an hour
    journal::Record(0, Kind::Command, "Idle");
    EXPECT_EQ(store.events.back().timeMs, store.events.front().timeMs - 3600000);
    EXPECT_GT(store.events.back().id, store.events.front().id) << "ids keep their order";
}

class JournalUpkeepFile : public JournalOnDisk {};

// The folder, the file and its log are private from the start, whatever the umask, and a
// looser file is made so at its next open (a stricter one stays). In a program folder shared
// with a group every member's station writes the one journal: the folder, the file and its
// log are the group's too, and a file that was private before is opened up by the next open.
TEST_F(JournalUpkeepFile, TheFolderTheFileAndItsLogHaveTheModeOfTheHome) {
    const struct {
        bool shared;
        mode_t folder, made;  // the new folder; the new file, its log and shared memory
        mode_t file, log;     // given before the next open
        mode_t fileAfter, logAfter;
    } cases[] = {{false, 0700, 0600, 0644, 0666, 0600, 0600},
                 {false, 0700, 0600, 0400, 0600, 0400, 0400},
                 {true, 0770, 0660, 0600, 0644, 0660, 0660}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(octal(c.file) + (c.shared ? " shared" : ""));
        Umask mask(c.shared ? 022 : 0);
        platform::ShareFilesWithGroup(c.shared);
        const fs::path folder = dir / std::to_string(++n);
        std::string error;
        ASSERT_TRUE(platform::MakeJournalFolder(folder.string(), error)) << error;
        EXPECT_EQ(modeOf(folder), c.folder);
        const std::string file = (folder / "journal.db").string();
        {
            platform::SqliteJournal db;
            ASSERT_TRUE(db.open(file, notice)) << notice;
            journal::Event e{0, 1, 0, Kind::Station, "Start-up"};
            ASSERT_TRUE(db.append(e));
            for (const char* suffix : {"", "-wal", "-shm"}) EXPECT_EQ(modeOf(file + suffix), c.made) << suffix;
            // How each connection syncs, whatever the library's default: the writer NORMAL,
            // the maintenance thread, which checkpoints, FULL.
            EXPECT_EQ(db.writerSynchronous(), 1);
            ASSERT_TRUE(waitFor([&] { return db.maintainerSynchronous() >= 0; }));
            EXPECT_EQ(db.maintainerSynchronous(), 2);
        }
        ::chmod(file.c_str(), c.file);
        ::chmod((file + "-wal").c_str(), c.log);
        {
            platform::SqliteJournal db;
            db.open(file, notice);
            EXPECT_EQ(modeOf(file), c.fileAfter);
            EXPECT_EQ(modeOf(file + "-wal"), c.logAfter);
        }
        platform::ShareFilesWithGroup(false);
    }
}

// A journal of 20 000 events with pages in its middle overwritten: the open reads only
// what it must and lets it through; the background check finds the damage; the journal
// then sets the file aside, with the alarms and a new epoch going on in the fresh file.
TEST_F(JournalUpkeepFile, DamageInTheMiddleIsFoundInTheBackgroundAndTheJournalGoesOnInAFreshFile) {
    std::int64_t firstEpoch = 0;
    {
        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(path, notice)) << notice;
        // Left by a station whose clock ran ahead: an epoch still to come, which the fresh
        // file's is above all the same.
        firstEpoch = db.epoch() + 10LL * 365 * 86400000;
        ASSERT_TRUE(db.setMark("epoch", firstEpoch));
        journal::Alarm trip{4, Kind::Trip, "Tripped", AlarmState::ActiveUnacknowledged, 5};
        journal::Event raised{0, 5, 4, Kind::Trip, "Tripped"};
        ASSERT_TRUE(db.append(raised, &trip));
        for (int i = 0; i < 20000; ++i) {
            journal::Event e{0, 10 + i, i % 24, Kind::Command, "event number " + std::to_string(i)};
            ASSERT_TRUE(db.append(e));
        }
    }
    ASSERT_FALSE(fs::exists(path + "-wal") && fs::file_size(path + "-wal") > 0)
        << "a clean close leaves everything in the file";
    overwritePages(3, 7);
    platform::SimLoop loop;
    platform::setLoop(&loop);
    std::vector<std::string> notices;
    platform::SqliteJournal db;
    ASSERT_TRUE(db.open(path, notice)) << notice;
    journal::SetStore(&db);
    journal::Reset();
    journal::SetNoticeSink([&](const std::string& t) { notices.push_back(t); });
    ASSERT_TRUE(waitForCheck(db));
    EXPECT_EQ(db.checkResult(), platform::SqliteJournal::CheckResult::Damaged);
    EXPECT_TRUE(db.damaged());
    EXPECT_EQ(journal::UnacknowledgedCount(), 1);

    journal::Maintain();
    loop.advance(0.1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("set aside as " + path + "."), std::string::npos) << notices[0];
    EXPECT_EQ(filesNamed(".bad"), 1);
    EXPECT_GT(db.epoch(), firstEpoch);
    journal::Record(1, Kind::Command, "STOP");
    EXPECT_EQ(db.count(), 2) << "the set-aside report and the new event";
    const auto alarms = db.alarms();
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].name, "Tripped");
    EXPECT_EQ(alarms[0].state, AlarmState::ActiveUnacknowledged);
    ASSERT_TRUE(waitForCheck(db));
    EXPECT_EQ(db.checkResult(), platform::SqliteJournal::CheckResult::Sound);
    journal::SetStore(nullptr);
    journal::Reset();
    db.close();

    // After a restart the alarm is still there, awaiting acknowledgement.
    platform::SqliteJournal again;
    ASSERT_TRUE(again.open(path, notice) && notice.empty()) << notice;
    EXPECT_EQ(again.alarms().size(), 1u);
    platform::setLoop(nullptr);
}

TEST_F(JournalUpkeepFile, DamageMetByAnyStatementMarksTheStoreWhateverTheCheckSaid) {
    {
        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(path, notice)) << notice;
        for (int i = 0; i < 5000; ++i) {
            journal::Event e{0, i, i % 24, Kind::Command, "event number " + std::to_string(i)};
            ASSERT_TRUE(db.append(e));
        }
    }
    platform::SqliteJournal db;
    ASSERT_TRUE(db.open(path, notice) && notice.empty()) << notice;
    ASSERT_TRUE(waitForCheck(db));
    ASSERT_EQ(db.checkResult(), platform::SqliteJournal::CheckResult::Sound);
    overwritePages(1, 9);  // under the open journal, in pages it has not read since
    EXPECT_FALSE(db.damaged());
    db.count();
    EXPECT_TRUE(db.damaged()) << db.lastError();
    EXPECT_NE(db.lastError().find("malformed"), std::string::npos) << db.lastError();
    EXPECT_EQ(db.checkResult(), platform::SqliteJournal::CheckResult::Sound);
}

TEST_F(JournalUpkeepFile, IdsAreNeverGivenAgainWhenRetentionEmptiesTheFile) {
    for (int run = 0; run < 2; ++run) {  // the second time with the file opened afresh
        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(path, notice)) << notice;
        std::int64_t last = 0;
        for (int i = 0; i < 5; ++i) {
            journal::Event e{0, 1000, i, Kind::Command, "old"};
            ASSERT_TRUE(db.append(e));
            last = e.id;
        }
        while (db.pruneOnce({1, 0}, 500) > 0) {
        }
        ASSERT_EQ(db.count(), 0);
        journal::Event next{0, 2000, 0, Kind::Command, "new"};
        ASSERT_TRUE(db.append(next));
        EXPECT_EQ(next.id, last + 1);
    }
}

TEST_F(JournalUpkeepFile, RetentionPrunesTheOldestByAgeAndSizeButNeverARaisingEventOfAKeptAlarm) {
    platform::SqliteJournal db;
    ASSERT_TRUE(db.open(path, notice)) << notice;
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::int64_t day = 86400000;
    // The oldest event raised an alarm still awaiting acknowledgement; one raised a pump
    // trip that was acknowledged and cleared since (Normal: not kept).
    journal::Alarm trip{4, Kind::Trip, "Tripped", AlarmState::ActiveUnacknowledged, now - 500 * day};
    journal::Event raised{0, now - 500 * day, 4, Kind::Trip, "Tripped"};
    ASSERT_TRUE(db.append(raised, &trip));
    journal::Alarm fault{2, Kind::Fault, "VFD fault", AlarmState::ActiveUnacknowledged, now - 450 * day};
    journal::Event faultRaised{0, now - 450 * day, 2, Kind::Fault, "VFD fault"};
    ASSERT_TRUE(db.append(faultRaised, &fault));
    fault.state = AlarmState::Normal;
    journal::Event faultGone{0, now - 449 * day, 2, Kind::Acknowledge, "Acknowledged"};
    ASSERT_TRUE(db.append(faultGone, &fault));
    for (int i = 0; i < 1200; ++i) {
        journal::Event e{0, now - (420 - i / 4) * day + 3600000, i % 24, Kind::Command, "old " + std::to_string(i)};
        ASSERT_TRUE(db.append(e));
    }
    for (int i = 0; i < 3000; ++i) {
        journal::Event e{0, now - 10 * day + i, i % 24, Kind::Command, "young " + std::to_string(i)};
        ASSERT_TRUE(db.append(e));
    }
    journal::Retention byAge{400, 0};
    int pruned = 0;
    for (int n; (n = db.pruneOnce(byAge, 500)) > 0;) pruned += n;
    // Over 400 days old: 80 events of the 1200, and the fault's two.
    EXPECT_EQ(pruned, 80 + 2);
    auto oldest = db.newest({}, 10000);
    ASSERT_FALSE(oldest.empty());
    EXPECT_EQ(oldest.back().text, "Tripped") << "the raising event of an alarm awaiting acknowledgement stays";
    EXPECT_EQ(oldest[oldest.size() - 2].text, "old 80");

    // By size: down to the bound in batches, the alarm's event still kept.
    journal::Retention bySize{0, 96 * 1024};
    for (int n = 0; n < 100 && db.pruneOnce(bySize, 200) > 0; ++n) {
    }
    std::int64_t pages = 0;
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw, "SELECT (SELECT page_count FROM pragma_page_count) - (SELECT freelist_count FROM pragma_freelist_count)", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    pages = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(raw);
    EXPECT_LE(pages * 4096, 96 * 1024);
    EXPECT_GT(db.count(), 100) << "only what the bound asked for went";
    oldest = db.newest({}, 100000);
    EXPECT_EQ(oldest.back().text, "Tripped");
    EXPECT_EQ(oldest.front().text, "young 2999");

    // The maintenance thread applies a policy given to it, without a call on the loop.
    const auto before = db.count();
    db.setRetention({0, 48 * 1024});
    EXPECT_TRUE(waitFor([&] { return db.count() < before; }, 20.0));
}

TEST_F(JournalUpkeepFile, AJournalAmongTheRecordingsIsBroughtToItsFolderWithItsLog) {
    const fs::path data = dir / "data";
    const fs::path home = dir / "journal";
    fs::create_directories(data);
    const std::string old = (data / "journal.db").string();
    {
        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(old, notice)) << notice;
        journal::Alarm trip{4, Kind::Trip, "Tripped", AlarmState::ActiveUnacknowledged, 5};
        journal::Event raised{0, 5, 4, Kind::Trip, "Tripped"};
        ASSERT_TRUE(db.append(raised, &trip));
        // Killed, in effect: the log still holds the event when the files move.
        fs::copy_file(old, dir / "copy.db");
        fs::copy_file(old + "-wal", dir / "copy.db-wal");
    }
    fs::remove(old);
    fs::rename(dir / "copy.db", old);
    fs::rename(dir / "copy.db-wal", old + "-wal");
    std::string error;
    ASSERT_TRUE(platform::MakeJournalFolder(home.string(), error)) << error;
    const std::string path2 = (home / "journal.db").string();
    ASSERT_TRUE(platform::MoveOldJournal(old, path2, error)) << error;
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(old + "-wal"));
    platform::SqliteJournal db;
    ASSERT_TRUE(db.open(path2, notice) && notice.empty()) << notice;
    EXPECT_EQ(db.count(), 1) << "the event in the log came with it";
    EXPECT_EQ(db.alarms().size(), 1u);
    db.close();

    // Once there, a file under the old name (an older station run since) is left alone.
    std::ofstream(old) << "x";
    ASSERT_TRUE(platform::MoveOldJournal(old, path2, error));
    EXPECT_TRUE(fs::exists(old));
}

}  // namespace
