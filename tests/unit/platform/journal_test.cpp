// The journal: alarm states and acknowledgement, the CSV export to the byte, a failed
// write shown once, and the SQLite file (queries, a damaged or foreign file set aside).
#include "platform/journal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>
#include <vector>

#include "journal_fixtures.h"
#include "platform/trace.h"

namespace {

namespace fs = std::filesystem;
using journal::AlarmState;
using journal::Kind;

class Journal : public JournalInMemory {};

TEST_F(Journal, AlarmGoesThroughItsFourStatesAndEachAcknowledgementIsJournalled) {
    const auto state = [] { return journal::StateOf(4, Kind::Trip, "Tripped"); };
    journal::SetAlarm(4, Kind::Trip, "Tripped");
    journal::SetAlarm(4, Kind::Trip, "Tripped");  // still set: nothing new
    EXPECT_EQ(state(), AlarmState::ActiveUnacknowledged);
    EXPECT_EQ(journal::UnacknowledgedCount(), 1);
    EXPECT_TRUE(journal::Acknowledge(4, Kind::Trip, "Tripped"));
    EXPECT_EQ(state(), AlarmState::ActiveAcknowledged);
    EXPECT_FALSE(journal::Acknowledge(4, Kind::Trip, "Tripped"));
    journal::ClearAlarm(4, Kind::Trip, "Tripped");
    EXPECT_EQ(state(), AlarmState::Normal);

    journal::SetAlarm(4, Kind::Trip, "Tripped");
    journal::ClearAlarm(4, Kind::Trip, "Tripped");
    EXPECT_EQ(state(), AlarmState::ClearedUnacknowledged);
    EXPECT_EQ(journal::UnacknowledgedCount(), 1) << "a cleared alarm still waits for the operator";
    journal::SetAlarm(4, Kind::Trip, "Tripped");  // back before anyone looked
    EXPECT_EQ(state(), AlarmState::ActiveUnacknowledged);
    journal::ClearAlarm(4, Kind::Trip, "Tripped");
    journal::ClearAlarm(7, Kind::Alarm, "never set");  // no event for what never came
    EXPECT_EQ(journal::AcknowledgeAll(), 1);
    EXPECT_EQ(state(), AlarmState::Normal);
    EXPECT_EQ(journal::UnacknowledgedCount(), 0);

    EXPECT_EQ(store.countOf(Kind::Trip, 4, "Tripped"), 6);  // 3 set, 3 cleared
    EXPECT_EQ(store.countOf(Kind::Trip, 4, "cleared"), 3);
    EXPECT_EQ(store.countOf(Kind::Acknowledge, 4, "Acknowledged: Trip Tripped"), 2);
    EXPECT_EQ(store.count(), 8);
}

TEST_F(Journal, AlarmsSurviveARestartAsTheirLastEventLeftThem) {
    journal::SetAlarm(1, Kind::Trip, "Tripped");
    journal::SetAlarm(2, Kind::Fault, "VFD fault");
    journal::Acknowledge(2, Kind::Fault, "VFD fault");
    journal::SetAlarm(3, Kind::Alarm, "Discharge Pressure");
    journal::ClearAlarm(3, Kind::Alarm, "Discharge Pressure");
    journal::SetAlarm(4, Kind::Alarm, "Pump RPM");
    journal::Acknowledge(4, Kind::Alarm, "Pump RPM");
    journal::ClearAlarm(4, Kind::Alarm, "Pump RPM");
    const auto waiting = journal::UnacknowledgedAlarms();

    journal::Reset();  // the station starts again on the same journal
    EXPECT_EQ(journal::StateOf(1, Kind::Trip, "Tripped"), AlarmState::ActiveUnacknowledged);
    EXPECT_EQ(journal::StateOf(2, Kind::Fault, "VFD fault"), AlarmState::ActiveAcknowledged);
    EXPECT_EQ(journal::StateOf(3, Kind::Alarm, "Discharge Pressure"),
              AlarmState::ClearedUnacknowledged);
    EXPECT_EQ(journal::StateOf(4, Kind::Alarm, "Pump RPM"), AlarmState::Normal);
    const auto restored = journal::UnacknowledgedAlarms();
    ASSERT_EQ(restored.size(), waiting.size());
    for (size_t i = 0; i < restored.size(); ++i)
        EXPECT_EQ(std::tie(restored[i].name, restored[i].timeMs),
                  std::tie(waiting[i].name, waiting[i].timeMs));

    // Acknowledged after the restart, the cleared alarm is gone for good.
    EXPECT_TRUE(journal::Acknowledge(3, Kind::Alarm, "Discharge Pressure"));
    journal::Reset();
    EXPECT_EQ(journal::UnacknowledgedCount(), 1);
}

TEST_F(Journal, ExportIsByteExactWithQuotedFieldsAndCrLf) {
    setenv("TZ", "UTC", 1);
    tzset();
    journal::Event a{1, 1798761600123, 0, Kind::Command, "STOP"};
    journal::Event b{2, 1798761601005, journal::kNoPump, Kind::Settings, "Name \"A\", then B"};
    const std::string csv = journal::ToCsv({{a, "Active, unacknowledged"}, {b, ""}});
    EXPECT_EQ(csv,
              "Time (ms),Date and Time,Pump,Kind,Event,Alarm State\r\n"
              "1798761600123,2027-01-01 00:00:00.123,1,Command,STOP,\"Active, unacknowledged\"\r\n"
              "1798761601005,2027-01-01 00:00:01.005,,Settings,\"Name \"\"A\"\", then B\",\r\n");
    // Texts a spreadsheet would take for formulas are shown, not run; others stay as they are.
    journal::Event f{3, 1798761602000, 5, Kind::Settings, "=HYPERLINK(\"x\",\"y\")"};
    journal::Event g2{4, 1798761602000, 5, Kind::Command, "Speed up (small step)"};
    std::string rows;
    for (const char* text : {"+1", "-2 psi", "-2.5", "@SUM(A1)", "\t=1", "a=b", "two\nlines"}) {
        journal::Event e{5, 1798761602000, 5, Kind::Settings, text};
        rows += journal::ToCsv({{e, ""}}).substr(53);
    }
    EXPECT_EQ(journal::ToCsv({{f, ""}, {g2, ""}}).substr(53),
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\",\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Command,Speed up (small step),\r\n");
    EXPECT_EQ(rows,
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,'+1,\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,'-2 psi,\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,-2.5,\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,'@SUM(A1),\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,'\t=1,\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,a=b,\r\n"
              "1798761602000,2027-01-01 00:00:02.000,6,Settings,\"two\nlines\",\r\n");
    unsetenv("TZ");
    tzset();
}

class JournalFile : public JournalOnDisk {};

TEST_F(JournalFile, AReaderFindsWhatItHasNotSeenAndItsMarkStaysWithTheFile) {
    {
        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(path, notice)) << notice;
        EXPECT_FALSE(db.mark("remote_acked_id").has_value()) << "a new file has no mark";
        for (int i = 0; i < 10; ++i) {
            journal::Event e{0, 1000 + i, journal::kNoPump, Kind::Command, "event " + std::to_string(i)};
            ASSERT_TRUE(db.append(e));
        }
        ASSERT_TRUE(db.setMark("remote_acked_id", 4));
        ASSERT_TRUE(db.setMark("remote_acked_id", 6));
        // A stage's sums are replaced at each save and its series grows by the new points.
        ASSERT_TRUE(db.saveStage({77, "first", true, {{1, 10.5f, 5000.0f}, {2, 11.0f, 5100.0f}}}));
        ASSERT_TRUE(db.saveStage({77, "second", true, {{3, 0.25f, 4800.0f}}}));
    }
    platform::SqliteJournal db;
    ASSERT_TRUE(db.open(path, notice));
    EXPECT_EQ(db.mark("remote_acked_id"), 6);
    EXPECT_EQ(db.newestStage(),
              (journal::SavedStage{77, "second", true,
                                   {{1, 10.5f, 5000.0f}, {2, 11.0f, 5100.0f}, {3, 0.25f, 4800.0f}}}));
    const auto next = db.since(6, 3);
    ASSERT_EQ(next.size(), 3u);  // oldest first, from just after the mark
    EXPECT_EQ(next[0].id, 7);
    EXPECT_EQ(next[2].text, "event 8");
    EXPECT_EQ(next[0].epoch, db.epoch());
    EXPECT_EQ(db.since(10, 5).size(), 0u);
    EXPECT_EQ(db.since(0, 100).size(), 10u);

    // A file started afresh counts from its own beginning: the old mark does not come along.
    std::string report;
    ASSERT_TRUE(db.startAfresh({}, report)) << report;
    EXPECT_FALSE(db.mark("remote_acked_id").has_value());
}

// Journals written by earlier versions: the first kept no alarms, the second no epoch. Each is
// taken up with its events and alarms, gains an epoch that is the file's for good, and keeps
// its alarms with their events from then on.
TEST_F(JournalFile, OlderJournalsAreTakenUpWithTheirEventsAlarmsAndAnEpoch) {
    const char* kEvents =
        "CREATE TABLE events(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,"
        " pump INTEGER NOT NULL, kind TEXT NOT NULL, text TEXT NOT NULL);"
        "INSERT INTO events VALUES(1, 7, 2, 'Trip', 'Tripped');";
    const struct {
        std::string schema;
        std::size_t alarms;
    } cases[] = {
        {std::string(kEvents) + "PRAGMA user_version=1;", 0},
        {std::string(kEvents) +
             "CREATE TABLE alarms(pump INTEGER NOT NULL, kind TEXT NOT NULL,"
             " name TEXT NOT NULL, state INTEGER NOT NULL, time_ms INTEGER NOT NULL,"
             " PRIMARY KEY(pump, kind, name));"
             "INSERT INTO alarms VALUES(2, 'Trip', 'Tripped', 2, 8);PRAGMA user_version=2;",
         1},
        // Version 4 before events kept the alarm they changed.
        {std::string(kEvents) +
             "CREATE TABLE alarms(pump INTEGER NOT NULL, kind TEXT NOT NULL,"
             " name TEXT NOT NULL, state INTEGER NOT NULL, time_ms INTEGER NOT NULL,"
             " raised_id INTEGER NOT NULL DEFAULT 0, raised_ms INTEGER NOT NULL DEFAULT 0,"
             " PRIMARY KEY(pump, kind, name));"
             "INSERT INTO alarms VALUES(2, 'Trip', 'Tripped', 2, 8, 1, 8);"
             "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);"
             "INSERT INTO meta VALUES('epoch', 1234);PRAGMA user_version=4;",
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema);
        fs::remove(path);
        sqlite3* old = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &old), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(old, (c.schema + "PRAGMA application_id=1447971658;").c_str(),
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);  // "VNKJ"
        sqlite3_close(old);
        std::int64_t epoch = 0;
        {
            platform::SqliteJournal db;
            ASSERT_TRUE(db.open(path, notice) && notice.empty()) << notice;
            EXPECT_EQ(db.count(), 1);
            ASSERT_EQ(db.alarms().size(), c.alarms);
            // An alarm of a second version keeps its last change as the time it came on.
            if (c.alarms == 1) {
                EXPECT_EQ(db.alarms()[0].raisedMs, 8);
            }
            epoch = db.epoch();
            EXPECT_GT(epoch, 0);
            EXPECT_TRUE(db.saveStage({5, "s", false, {}})) << "an older file gains the stages";
            // Acknowledged and still active: kept. Cleared, then acknowledged: gone.
            journal::Alarm trip{2, Kind::Trip, "Tripped", AlarmState::ActiveAcknowledged, 9, 8};
            journal::Alarm fault{5, Kind::Fault, "VFD fault", AlarmState::ClearedUnacknowledged, 10};
            journal::Event e{0, 9, 2, Kind::Acknowledge, "Acknowledged: Trip Tripped"};
            ASSERT_TRUE(db.append(e, &trip));
            EXPECT_EQ(e.id, 2);
            EXPECT_EQ(e.epoch, epoch);
            ASSERT_TRUE(db.append(e, &fault));
            fault.state = AlarmState::Normal;
            ASSERT_TRUE(db.append(e, &fault));
        }
        platform::SqliteJournal db;
        ASSERT_TRUE(db.open(path, notice) && notice.empty()) << notice;
        EXPECT_EQ(db.epoch(), epoch) << "an epoch is the file's for good";
        EXPECT_EQ(db.count(), 4);
        const auto alarms = db.alarms();
        ASSERT_EQ(alarms.size(), 1u);
        EXPECT_EQ(std::tie(alarms[0].pump, alarms[0].kind, alarms[0].name, alarms[0].state,
                           alarms[0].timeMs, alarms[0].raisedMs),
                  std::make_tuple(2, Kind::Trip, std::string("Tripped"),
                                  AlarmState::ActiveAcknowledged, 9, 8));
        // Each event keeps the alarm it changed, as it left it; an older event has none.
        const auto events = db.since(0, 4);
        ASSERT_EQ(events.size(), 4u);
        EXPECT_FALSE(events[0].alarm.has_value());
        EXPECT_EQ(events[1].alarm, (journal::AlarmChange{Kind::Trip, "Tripped",
                                                         AlarmState::ActiveAcknowledged}));
        EXPECT_EQ(events[3].alarm, (journal::AlarmChange{Kind::Fault, "VFD fault",
                                                         AlarmState::Normal}));
    }
}

TEST_F(JournalFile, DamagedOrForeignFileIsSetAsideWithItsDateAndANewOneStarted) {
    std::ofstream(path, std::ios::binary) << std::string(4096, 'x');
    platform::SqliteJournal db;
    ASSERT_TRUE(db.open(path, notice));
    EXPECT_NE(notice.find("is damaged. It was set aside as " + path + "."), std::string::npos)
        << notice;
    EXPECT_EQ(filesNamed(".bad"), 1);
    journal::Event e{0, 5, 0, Kind::Station, "Start-up"};
    EXPECT_TRUE(db.append(e));
    db.close();

    // Another program's database under the journal's name, set aside within the same
    // second as the first: neither set-aside file may replace the other.
    fs::remove(path);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    ASSERT_TRUE(db.open(path, notice));
    EXPECT_NE(notice.find("is not this station's journal"), std::string::npos) << notice;
    EXPECT_EQ(db.count(), 0);
    EXPECT_EQ(filesNamed(".bad"), 2);
}

}  // namespace
