// The recorder on the in-memory file seam (faults injected there) and, for the long run,
// on the real file system. (AutoRecord at start-up and the flush at SIGTERM are the station's
// system test.)
#include "recorder/recorder.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/panels.h"
#include "platform/file_system.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "settings/config_record.h"
#include "support/station_fixture.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace recorder;

namespace {

const char* const kUsHeader =
    "Date,Time,Motor Speed (rpm),Discharge Pressure (psi),Trip Pressure (psi),Hydraulic "
    "Horsepower (hp),Pump Oil Pressure (psi),Pump Oil Temperature (degF),Suction Pressure "
    "(psi),DE Bearing Temperature (degF),NDE Bearing Temperature (degF),Winding A Temperature "
    "(degF),Winding B Temperature (degF),Winding C Temperature (degF),Pump Speed (rpm),Pump "
    "Rate (bbl/min),Pump Total Volume (bbl),Selected Pumps Total (bbl),Selected Pumps Rate "
    "(bbl/min),Selected Pumps HHP (hp),Alarms,Tripped,Last Trip Pressure (psi),\r\n";

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class Recorder : public StationFixture<> {
  protected:
    void SetUp() override {
        StationFixture::SetUp();
        platform::setFileSystem(&fs);
        for (int b = 0; b < kBankCount; ++b)
            BankPanel[b] = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
        data = (home / "data").string();
    }
    void TearDown() override {
        unsetenv("VNK_ARCHIVE_DIR");
        platform::setFileSystem(nullptr);
        StationFixture::TearDown();
    }
    int bar(int b = 0) { return ui::FindPanel(BankPanel[b])->menuBar; }
    std::string startItem(int b) {
        for (const ui::MenuItem& i : ui::FindMenuBar(bar(b))->items)
            if (i.id == windows::MENU_RECORD_START) return i.name;
        return {};
    }
    void menu(int item) { ui::SelectMenu(bar(), item, BankPanel[0]); }
    void online(int pump, const char* id = "P1") {
        PumpTable[pump].Online = 1;
        std::strncpy(PumpTable[pump].PumpId, id, kPumpIdSize);
    }
    bool start(const std::string& name) {
        popups.answerFile(name);
        menu(windows::MENU_RECORD_START);
        return RecordState == 1;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            loop.advance(1.0);
            RecordTimer(BankPanel[0], windows::BANK_TMR_RECORD, ui::EVENT_TIMER_TICK, nullptr, 0,
                        0);
        }
    }
    std::string status(int b = 0) {
        return ui::GetCtrlText(BankPanel[b], windows::BANK_RECORD_STATUS);
    }
    std::string file(const std::string& name) { return fs.files[data + "/" + name]; }

    platform::SimFileSystem fs;
    std::string data;
};

TEST_F(Recorder, Run1WritesThePlaceHolderAndPumpFilesByteForByte) {
    online(0, "ABCDEFGHI");  // nine bytes, no NUL: the header shows eight
    online(11, "X\rY\nZ");
    PumpTable[0].MotorRpm = 1500.4f;
    PumpTable[0].DischargePressure = 5012.6f;
    PumpTable[0].TripPressure = 9000.0f;
    PumpTable[0].OilPressure = 55.5f;
    PumpTable[0].PumpRate = 7.0f;
    PumpTable[0].LastTripPressure = 8999.9f;
    SelectedPumpsHhp = 2100.0f;
    ASSERT_TRUE(start(data + "/run1.csv"));
    EXPECT_EQ(RecordBase(), data + "/run1");
    for (int b = 0; b < kBankCount; ++b) {
        EXPECT_EQ(status(b), "Recording");
        EXPECT_EQ(startItem(b), "Stop");
        EXPECT_EQ(
            ui::GetMenuBarAttributeInt(bar(b), windows::MENU_RECORD_PAUSE, ui::ATTR_ITEM_DIMMED),
            0);
    }
    ticks(1);
    const std::string stamp = std::string(platform::DateStr()) + "," + platform::TimeStr() + ",";
    ticks(2);
    menu(windows::MENU_RECORD_START);  // stop: buffers under 6144 still reach their files

    EXPECT_EQ(file("run1.csv"),
              "This file is a place holder to avoid loss of data.\r\n"
              "See \"filename_xx.csv\" files for recorded pump information.");
    EXPECT_EQ(file("run1.csv").size(), 110u);
    const std::string p1 = file("run1_1.csv");
    const std::string head = std::string("Pump #1\r\nPump ID = ABCDEFGH\r\n\r\n") + kUsHeader;
    ASSERT_EQ(p1.substr(0, head.size()), head);
    // No alarms: the HHP is followed by two commas.
    EXPECT_EQ(p1.substr(head.size(), p1.find("\r\n", head.size()) + 2 - head.size()),
              stamp +
                  "1500, 5013, 9000,   0,55.5,0.0,0.0,0.0,0.0,0.0,0.0,0.0,   0,7.0,  0.0,  0.0,"
                  "  0.0, 2100,,0,8999,\r\n");
    EXPECT_EQ(countOf(p1, "\r\n"), 4 + 3);
    EXPECT_EQ(countOf(p1, "\n"), countOf(p1, "\r\n"));  // no lone line ends
    EXPECT_EQ(file("run1_12.csv").substr(0, 29), "Pump #12\r\nPump ID = X Y Z\r\n\r\n");
    EXPECT_EQ(fs.files.count(data + "/run1_2.csv"), 0u);  // off line: no file
    EXPECT_EQ(status(), "Recorder Off");
    EXPECT_EQ(startItem(2), "Start");
    EXPECT_EQ(ui::GetMenuBarAttributeInt(bar(2), windows::MENU_RECORD_PAUSE, ui::ATTR_ITEM_DIMMED),
              1);
}

TEST_F(Recorder, ChosenNamesAndRefusals) {
    online(0);
    ASSERT_TRUE(start(data + "/run1"));  // no extension: the whole name is the base
    EXPECT_EQ(RecordBase(), data + "/run1");
    menu(windows::MENU_RECORD_START);
    ASSERT_TRUE(start(data + "/RUN2.CSV"));
    EXPECT_EQ(RecordBase(), data + "/RUN2");
    EXPECT_EQ(fs.files.count(data + "/RUN2_1.csv"), 1u);
    menu(windows::MENU_RECORD_START);

    EXPECT_FALSE(start(data + "/ x.csv"));
    EXPECT_FALSE(start(""));
    popups.answerFile(std::nullopt);
    menu(windows::MENU_RECORD_START);
    EXPECT_EQ(RecordState, 0);
    // The overwrite question is about the place-holder that will be written; No keeps it.
    popups.answerConfirm(false);
    EXPECT_FALSE(start(data + "/run1"));
    EXPECT_EQ(popups.count("File Exists"), 1);
    EXPECT_NE(popups.shown().back().text.find("already exists.  Do you want to overwrite the "
                                              "contents of the file?\r\n\r\nPress \"YES\""),
              std::string::npos);
    EXPECT_FALSE(start(data + "/" + std::string(250, 'n') + ".csv"));
    EXPECT_EQ(popups.count("File Name Too Long"), 1);
    EXPECT_EQ(status(), "Recorder Off");

    // Started by the station itself: named for the date and time it started, month first.
    setenv("TZ", "UTC", 1);
    tzset();
    loop.advance(3723.0);
    RequestAutoRecordName();
    menu(windows::MENU_RECORD_START);
    EXPECT_EQ(RecordBase(), data + "/AUTO01-01-27_01-02-03");
    unsetenv("TZ");
    tzset();
}

TEST_F(Recorder, MetricLinesAlarmsAndUnitsChange) {
    settings::Config.DisplayUnits = settings::kUnitsMetric;
    online(0);
    PumpTable[0].DischargePressure = 35.33f;
    PumpTable[0].LastTripPressure = 62.07f;
    PumpTable[0].Tripped = 1;
    PumpTable[0].AlarmWord = 0x0001 | 0x8000 | 0x0002;  // 0x0002 has no text
    ASSERT_TRUE(start(data + "/m.csv"));
    ticks(1);
    settings::Config.DisplayUnits = settings::kUnitsUs;
    ticks(1);
    menu(windows::MENU_RECORD_START);
    const std::string f = file("m_1.csv");
    EXPECT_NE(f.find("Discharge Pressure (MPa),Trip Pressure (MPa),Hydraulic Horsepower (kW)"),
              std::string::npos);
    EXPECT_NE(f.find(",35.33, 0.00,"), std::string::npos);
    EXPECT_NE(f.find(",!Motor RPM !Pump RPM,1,62,\r\n"), std::string::npos);
    EXPECT_NE(f.find(",   35,    0,"), std::string::npos);  // the next tick in US formats
    EXPECT_EQ(countOf(f, "(MPa)"), 3);                      // the header keeps its units
}

TEST_F(Recorder, DecimalCommaDesktopStillWritesPoints) {
    if (std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) GTEST_SKIP() << "no de_DE locale";
    online(0);
    PumpTable[0].OilPressure = 55.5f;
    ASSERT_TRUE(start(data + "/de.csv"));
    ticks(1);
    menu(windows::MENU_RECORD_START);
    std::setlocale(LC_ALL, "C");
    const std::string f = file("de_1.csv");
    const std::string line = f.substr(f.rfind("\r\n", f.size() - 3) + 2);
    EXPECT_EQ(countOf(line, ","), 23);
    EXPECT_NE(line.find(",55.5,"), std::string::npos);
}

TEST_F(Recorder, PauseThenStopWritesEveryBufferedLine) {
    online(3);
    ASSERT_TRUE(start(data + "/p.csv"));
    ticks(5);
    menu(windows::MENU_RECORD_PAUSE);
    EXPECT_EQ(status(1), "Paused");
    EXPECT_EQ(ui::GetMenuBarAttributeInt(bar(1), windows::MENU_RECORD_PAUSE, ui::ATTR_CHECKED), 1);
    const std::size_t buffered = RecordBufferedBytes(3);
    ticks(20);  // nothing while paused
    EXPECT_EQ(RecordBufferedBytes(3), buffered);
    EXPECT_EQ(countOf(file("p_4.csv"), "\r\n"), 4);
    menu(windows::MENU_RECORD_START);
    EXPECT_EQ(countOf(file("p_4.csv"), "\r\n"), 4 + 5);
    EXPECT_EQ(status(2), "Recorder Off");
    EXPECT_EQ(ui::GetMenuBarAttributeInt(bar(1), windows::MENU_RECORD_PAUSE, ui::ATTR_CHECKED), 0);
}

TEST_F(Recorder, FlushesInBatchesOnThePumpsPhaseAndStartsLateFiles) {
    ASSERT_TRUE(start(data + "/b.csv"));
    for (int p = 0; p < kPumpCount; ++p) online(p);  // on line after the start: no file yet
    long before = 0;
    int maxFilesPerTick = 0;
    for (int t = 0; t < 200; ++t) {
        std::map<std::string, std::size_t> sizes;
        for (auto& [k, v] : fs.files) sizes[k] = v.size();
        ticks(1);
        int changed = 0;
        for (auto& [k, v] : fs.files)
            if (!sizes.count(k) || sizes[k] != v.size()) ++changed;
        maxFilesPerTick = std::max(maxFilesPerTick, changed);
        before += changed;
    }
    EXPECT_LE(maxFilesPerTick, 6);
    EXPECT_GT(before, 0);
    const std::string f = file("b_20.csv");
    EXPECT_EQ(f.substr(0, 10), "Pump #20\r\n");
    EXPECT_GT(f.size(), kRecordFlushThreshold);
}

TEST_F(Recorder, WriteThatFailsTenTicksThenRecoversLosesNoLine) {
    online(0);
    ASSERT_TRUE(start(data + "/w.csv"));
    fs.shortWrite = 100;  // every write is short: the rest must still go out
    int t = 0;
    auto tickCounted = [&] {
        PumpTable[0].TotalVolume = static_cast<float>(++t);
        ticks(1);
    };
    while (RecordBufferedBytes(0) <= kRecordFlushThreshold) tickCounted();
    fs.failWrite.insert(data + "/w_1.csv");
    for (int i = 0; i < 10 * 7; ++i) tickCounted();  // ten of the pump's turns fail
    EXPECT_EQ(status(), "Record Error");
    EXPECT_EQ(status(2), "Record Error");
    EXPECT_LE(RecordBufferedBytes(0), kRecordBufferSize);
    fs.failWrite.clear();
    for (int i = 0; i < 7; ++i) tickCounted();
    EXPECT_EQ(status(), "Recording");
    menu(windows::MENU_RECORD_START);
    EXPECT_EQ(popups.count("Recording Error"), 0);
    // Every tick's line, once and in order (after the header's four lines).
    std::istringstream in(file("w_1.csv"));
    std::string line;
    for (int i = 0; i < 4; ++i) std::getline(in, line);
    int expected = 0;
    while (std::getline(in, line)) {
        char want[16];
        std::snprintf(want, sizeof want, ",%5.1f,", static_cast<double>(++expected));
        ASSERT_NE(line.find(want), std::string::npos) << expected << ": " << line;
    }
    EXPECT_EQ(expected, t - RecordDroppedLines(0));
    EXPECT_EQ(RecordDroppedLines(0), 0);
}

TEST_F(Recorder, FileThatNeverRecoversIsBoundedAndNamedAtStop) {
    online(0);
    online(6);
    fs.failWrite.insert(data + "/f_7.csv");  // pump 7's file cannot even be started
    ASSERT_TRUE(start(data + "/f.csv"));
    EXPECT_EQ(status(), "Record Error");
    ticks(200);
    EXPECT_LE(RecordBufferedBytes(6), kRecordBufferSize);
    EXPECT_GT(RecordDroppedLines(6), 0);
    menu(windows::MENU_RECORD_START);
    ASSERT_EQ(popups.count("Recording Error"), 1);
    EXPECT_NE(popups.shown().back().text.find("Pump 7: 200 lines"), std::string::npos)
        << popups.shown().back().text;
    EXPECT_EQ(popups.shown().back().text.find("Pump 1:"), std::string::npos);
    EXPECT_EQ(countOf(file("f_1.csv"), "\r\n"), 4 + 200);
}

class RecorderMove : public Recorder {
  protected:
    void SetUp() override {
        Recorder::SetUp();
        archive = (home / "archive").string();
        fs.makeDir(archive);
        setenv("VNK_ARCHIVE_DIR", archive.c_str(), 1);
        online(0);
        online(1);
    }
    void record(const std::string& name) {
        ASSERT_TRUE(start(data + "/" + name + ".csv"));
        ticks(3);
        menu(windows::MENU_RECORD_START);
        loop.processEvents();  // the move runs off the stop, at the loop's next turn
    }
    std::string archive;
};

TEST_F(RecorderMove, TheMoveTakesTheFilesOfTheStopAfterItAndNeverARecordingStartedMeanwhile) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    ASSERT_TRUE(start(data + "/first.csv"));
    ticks(2);
    menu(windows::MENU_RECORD_START);
    EXPECT_EQ(fs.listFiles(data).size(), 3u) << "the stop returns before anything is copied";
    EXPECT_EQ(popups.count("Recording Error"), 0);
    // The operator starts the next recording at once, and one under the stopped one's name.
    const int h = fs.openWrite(data + "/first_1.csv", true);  // written after the stop listed it
    fs.write(h, "more", 4);
    fs.close(h);
    ASSERT_TRUE(start(data + "/second.csv"));
    loop.processEvents();
    EXPECT_EQ(fs.listFiles(archive), (std::vector<std::string>{"first.csv", "first_2.csv"}));
    EXPECT_EQ(fs.listFiles(data), (std::vector<std::string>{"first_1.csv", "second.csv", "second_1.csv",
                                                            "second_2.csv"}));
    ASSERT_EQ(popups.count("Recording Error"), 1);
    EXPECT_NE(popups.shown().back().text.find("first_1.csv"), std::string::npos);
    EXPECT_EQ(events.countOf(journal::Kind::Recording, journal::kNoPump, "moved to " + archive + ": 2 of 3"), 1);
    journal::SetStore(nullptr);
}

TEST_F(RecorderMove, RefusedOrShortCopyKeepsEverySource) {
    fs.refuseCopyInto.insert(archive);
    record("a");
    ASSERT_EQ(popups.count("Recording Error"), 1);
    EXPECT_EQ(fs.listFiles(data).size(), 3u);
    EXPECT_TRUE(fs.listFiles(archive).empty());
    const std::string pump1 = fs.files[data + "/a_1.csv"];
    EXPECT_EQ(countOf(pump1, "\r\n"), 4 + 3);

    fs.refuseCopyInto.clear();
    fs.halfCopyInto.insert(archive);  // a copy that says it worked but is short
    fs.files.erase(data + "/a.csv");
    fs.files.erase(data + "/a_2.csv");
    EXPECT_EQ(MoveDataFiles(archive, data), std::vector<std::string>{"a_1.csv"});
    EXPECT_EQ(fs.files[data + "/a_1.csv"], pump1);
    EXPECT_TRUE(fs.listFiles(archive).empty());  // the partial copy is gone
}

}  // namespace
