// A stage's sums against a fleet that follows a known script in virtual time: a total reset,
// a pump off line, the station restarted in the middle, the shut-in reached and not reached.
// Every expected figure is worked out here from the script, not from the station's code.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "autocontrol/autocontrol.h"
#include "client/blender_client.h"
#include "link/pump_table.h"
#include "operation/panels.h"
#include "platform/sim/memory_journal.h"
#include "platform/sim/sim_tcp.h"
#include "safety/estop.h"
#include "shell/msg.h"
#include "stages/stage_report.h"
#include "stages/stages.h"
#include "support/station_fixture.h"
#include "support/station_fleet.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/stage_window.h"

using namespace stages;

namespace {

// Pumps 1 and 2 pump (15 and 7.5 bbl/min: 0.25 and 0.125 bbl a second) until second 50,
// then shut in; pump 3 stands on line, tripping twice; pump 4 was tripped before the start.
// Pump 2 is off line over seconds 21-25, and pump 1's total is reset just before second 30.
struct Script {
    static bool pumping(int t) { return t <= 50; }
    static float pressure1(int t) { return pumping(t) ? (t <= 30 ? 6000.0f : 6400.0f) : shutIn(t); }
    static float pressure2(int t) { return pumping(t) ? 5000.0f : shutIn(t); }
    static float shutIn(int t) { return 3000.0f - 100.0f * static_cast<float>(t - 51); }
    static float total1(int t) {
        const int s = std::min(t, 50);
        return s < 30 ? 100.0f + 0.25f * static_cast<float>(s) : 0.25f * static_cast<float>(s - 29);
    }
    static float total2(int t) { return 50.0f + 0.125f * static_cast<float>(std::min(t, 50)); }
    static bool online2(int t) { return t < 21 || t > 25; }
    static bool tripped3(int t) { return (t >= 10 && t <= 12) || (t >= 33 && t <= 34); }
};

void setPump(int p, bool online, float rate, float pressure, float hhp, float total, bool tripped) {
    pumplink::PumpRecord& r = pumplink::PumpTable[p];
    r.Online = online ? 1 : 0;
    r.PumpRate = rate;
    r.DischargePressure = pressure;
    r.HydraulicHp = hhp;
    r.TotalVolume = total;
    r.Tripped = tripped ? 1 : 0;
}

void follow(int t) {
    const bool on = Script::pumping(t);
    setPump(0, true, on ? 15.0f : 0.0f, Script::pressure1(t), on ? 1500.0f : 0.0f, Script::total1(t),
            false);
    setPump(1, Script::online2(t), on ? 7.5f : 0.0f, Script::pressure2(t), on ? 700.0f : 0.0f,
            Script::total2(t), false);
    setPump(2, true, 0.0f, 1000.0f, 0.0f, 0.0f, Script::tripped3(t));
    setPump(3, true, 0.0f, 1000.0f, 0.0f, 0.0f, true);
    autocontrol::AutoSettings.AutoMode = t >= 5 && t <= 9 ? autocontrol::kAutoRate : autocontrol::kAutoOff;
}

class Stages : public StationFixture<> {
  protected:
    void SetUp() override {
        StationFixture::SetUp();
        journal::SetStore(&store);
        platform::setReportPrinter(&printer);
        start = loop.now();
    }
    void TearDown() override {
        StationFixture::TearDown();
        journal::SetStore(nullptr);
        platform::setReportPrinter(nullptr);
    }
    // The tick of second t, with the values of the script's second `as` (default t).
    void tick(int t, int as = -1) {
        loop.advance(start + t - loop.now());
        follow(as < 0 ? t : as);
        StageTick(platform::Timer());
    }
    // The station ends and starts again, down over the seconds after `after` up to `until`.
    void restart(double until) {
        ResetStation();
        journal::SetStore(&store);
        loop.advance(start + until - loop.now());
        ResumeStage();
    }
    platform::MemoryJournal store;
    platform::SimReportPrinter printer;
    double start = 0.0;
};

// A report's CSV file as lines keyed by their first field (a figure's name, a pump's number).
std::map<std::string, std::vector<std::string>> readCsv(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::map<std::string, std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "CR LF line ends";
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string f; std::getline(split, f, ',');) fields.push_back(f);
        if (!fields.empty()) lines[fields[0]] = std::vector<std::string>(fields.begin() + 1, fields.end());
    }
    return lines;
}

TEST_F(Stages, SumsFollowTheScriptAcrossAResetAGapAndARestart) {
    follow(0);
    BeginStage(12, "Job A", "Well 7");
    for (int t = 1; t <= 40; ++t) tick(t);
    restart(45.5);  // ticks 41-45 are lost; tick 46 follows a gap
    ASSERT_TRUE(StageRunning());
    for (int t = 46; t <= 52; ++t) tick(t);
    settings::Config.DisplayUnits = settings::kUnitsMetric;  // the CSV stays in US units
    FinishStage();
    for (int t = 53; t <= 60; ++t) tick(t);
    EXPECT_TRUE(StageRunning()) << "End Stage waits for the 10 s point";
    tick(61);
    EXPECT_FALSE(StageRunning());

    const StageSums& s = CurrentStage();
    EXPECT_EQ(s.number, 12);
    EXPECT_EQ(s.job, "Job A");
    EXPECT_EQ(s.well, "Well 7");
    EXPECT_EQ(s.restarts, 1);
    // Pump 1: 0.25 bbl a second to 29, then counted again from the reset's first value.
    EXPECT_DOUBLE_EQ(s.pumps[0].volume, 0.25 * 29 + 0.25 * 21);
    // Pump 2: its totals either side of the gap and of the restart.
    EXPECT_DOUBLE_EQ(s.pumps[1].volume, 0.125 * 50);
    EXPECT_EQ(s.pumps[0].gaps, 1);
    EXPECT_EQ(s.pumps[1].gaps, 2);
    // Pumping seconds: ticks 1-40 and 47-50 (46 follows the restart); pump 2 also loses
    // 21-26 (off line, then back after a gap).
    EXPECT_DOUBLE_EQ(s.pumps[0].pumpingSeconds, 44.0);
    EXPECT_DOUBLE_EQ(s.pumps[1].pumpingSeconds, 38.0);
    EXPECT_DOUBLE_EQ(s.pumps[0].averagePressure(), (30 * 6000.0 + 14 * 6400.0) / 44);
    EXPECT_DOUBLE_EQ(s.pumps[0].maxPressure, 6400.0);
    EXPECT_DOUBLE_EQ(s.pumps[1].averageRate(), 7.5);
    EXPECT_DOUBLE_EQ(s.pumps[0].hhpHours, 1500.0 * 44 / 3600);
    EXPECT_EQ(s.pumps[2].trips, 2);
    EXPECT_EQ(s.pumps[3].trips, 0) << "tripped before the stage";
    EXPECT_DOUBLE_EQ(s.volume(), 0.25 * 50 + 0.125 * 50);
    // The fleet: 22.5 bbl/min, 15 while pump 2 is off line (ticks 21-25).
    EXPECT_DOUBLE_EQ(s.pumpingSeconds, 44.0);
    EXPECT_DOUBLE_EQ(s.averageRate(), (39 * 22.5 + 5 * 15.0) / 44);
    EXPECT_DOUBLE_EQ(s.maxRate, 22.5);
    const auto fleetPressure = [](int t) {
        return Script::online2(t)
                   ? (Script::pressure1(t) + Script::pressure2(t) + 2000.0) / 4.0
                   : (Script::pressure1(t) + 2000.0) / 3.0;
    };
    double pressureSeconds = 0.0;
    for (int t : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                  22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 47,
                  48, 49, 50})
        pressureSeconds += fleetPressure(t);
    EXPECT_NEAR(s.averagePressure(), pressureSeconds / 44, 1e-9);
    EXPECT_DOUBLE_EQ(s.maxPressure, fleetPressure(31));
    EXPECT_DOUBLE_EQ(s.autoSeconds, 5.0);
    // Shut in at 51: the fleet's average pressure at 56 and 61.
    EXPECT_DOUBLE_EQ(s.shutInAt, 51.0);
    EXPECT_DOUBLE_EQ(s.shutIn5, fleetPressure(56));
    EXPECT_DOUBLE_EQ(s.shutIn10, fleetPressure(61));
    EXPECT_TRUE(std::isnan(s.maxInline)) << "no blender computer";

    // The series: one point a second but for the seconds the station was down.
    const auto& series = StageSeries();
    ASSERT_EQ(series.size(), 40u + 16u);
    EXPECT_EQ(series[39].second, 40);
    EXPECT_EQ(series[40].second, 46);
    EXPECT_FLOAT_EQ(series[40].rate, 22.5f);
    // What the journal's file keeps is what the station holds.
    std::optional<journal::SavedStage> saved = store.newestStage();
    ASSERT_TRUE(saved.has_value());
    EXPECT_FALSE(saved->running);
    EXPECT_EQ(saved->points, series);
    EXPECT_EQ(store.countOf(journal::Kind::Command, journal::kNoPump, "Stage 12 started: job Job A, well Well 7"), 1);
    EXPECT_EQ(store.countOf(journal::Kind::Command, journal::kNoPump, "Stage 12 ended: 18.8 bbl"), 1);

    // The CSV read back: the same figures in US units, to the precision written.
    loop.advance(0.1);  // the files are written off the loop
    auto csv = readCsv(home / "reports" / "Stage 12 Job A Well 7.csv");
    const auto near = [&csv](const std::string& key, std::size_t i, double expected, double within) {
        ASSERT_GT(csv[key].size(), i) << key;
        EXPECT_NEAR(std::stod(csv[key][i]), expected, within) << key;
    };
    EXPECT_EQ(csv["Job"], std::vector<std::string>{"Job A"});
    EXPECT_EQ(csv["Stage"], std::vector<std::string>{"12"});
    near("Total volume (bbl)", 0, 0.25 * 50 + 0.125 * 50, 0.0501);
    near("Average rate (bbl/min)", 0, (39 * 22.5 + 5 * 15.0) / 44, 0.05);
    near("Maximum average discharge pressure (psi)", 0, fleetPressure(31), 0.5);
    near("Average discharge pressure (psi)", 0, pressureSeconds / 44, 0.5);
    near("Time under automatic control (min)", 0, 5.0 / 60, 0.05);
    near("pressure 5 s / 10 s after shut-in (psi)", 0, fleetPressure(56), 0.5);
    near("pressure 5 s / 10 s after shut-in (psi)", 1, fleetPressure(61), 0.5);
    EXPECT_EQ(csv["Maximum inline pressure (psi)"], std::vector<std::string>{"no reading"});
    EXPECT_EQ(csv["Station restarts during the stage"], std::vector<std::string>{"1"});
    EXPECT_EQ(csv["Pump"].size(), 9u);
    // Pump 1: volume, minutes pumping, average and highest pressure and rate, HHP-hours.
    const double pump1[] = {12.5, 44.0 / 60, (30 * 6000.0 + 14 * 6400.0) / 44, 6400, 15, 15, 1500.0 * 44 / 3600};
    for (std::size_t i = 0; i < 7; ++i) near("1", i, pump1[i], i == 2 || i == 3 ? 0.501 : 0.0501);
    EXPECT_EQ(std::vector<std::string>(csv["2"].begin() + 7, csv["2"].end()), (std::vector<std::string>{"0", "2"}));
    EXPECT_EQ(csv["3"].at(7), "2") << "pump 3's trips";
    EXPECT_EQ(csv["4"].at(8), "1") << "pump 4 only stood on line: listed for the restart's gap";
    EXPECT_EQ(csv.count("5"), 0u) << "pumps 5-24 took no part";
    // The PDF's report and the summary window: the display's units.
    ASSERT_EQ(printer.reports.size(), 1u);
    EXPECT_EQ(printer.paths[0], (home / "reports" / "Stage 12 Job A Well 7.pdf").string());
    const platform::ReportDocument& pdf = printer.reports[0];
    EXPECT_NE(std::find(pdf.lines.begin(), pdf.lines.end(), "Total volume: 2.98 m\xC2\xB3"), pdf.lines.end());
    EXPECT_EQ(pdf.tableRows.size(), 4u);
    EXPECT_EQ(pdf.chart.seconds.size(), series.size());
    EXPECT_NEAR(pdf.chart.series[1].values[0], fleetPressure(1) * 0.0068948, 1e-3);
    ASSERT_NE(StageSummaryPanel(), 0);
    EXPECT_NE(ui::GetCtrlText(StageSummaryPanel(), windows::SUMMARY_FACTS_LEFT).find("Total volume: 2.98 m"),
              std::string::npos);
    EXPECT_EQ(store.countOf(journal::Kind::Recording, journal::kNoPump, "Stage 12 report: "), 1);
}

// Reports never overwrite, take names made safe (in the CSV, a name typed as a formula is
// shown, not run), and one that cannot be written is told once and loses nothing: the CSV
// that could be written stays, the sums stay in the journal's file.
TEST_F(Stages, ReportsNeverOverwriteTakeSafeNamesAndAFailureIsToldOnce) {
    const std::filesystem::path reports = home / "reports";
    for (int run = 0; run < 3; ++run) {
        printer.fails = run == 2;
        follow(0);
        BeginStage(3, "=PAD/4,\x01:", " ..");
        for (int t = 1; t <= 3; ++t) tick(t);
        FinishStage();
        loop.advance(0.1);
    }
    EXPECT_TRUE(std::filesystem::exists(reports / "Stage 3 =PAD_4,__ (2).csv"));
    EXPECT_TRUE(std::filesystem::exists(reports / "Stage 3 =PAD_4,__ (3).csv"));
    EXPECT_EQ(printer.paths.at(1), (reports / "Stage 3 =PAD_4,__ (2).pdf").string());
    std::ifstream first(reports / "Stage 3 =PAD_4,__.csv");
    const std::string text((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\r\nJob,\"'=PAD/4,\x01:\"\r\n"), std::string::npos) << text;
    EXPECT_EQ(popups.count("Stage Report Error"), 1);
    EXPECT_EQ(store.countOf(journal::Kind::Recording, journal::kNoPump, "Stage 3 report failed: "), 1);
    StageSums saved;
    ASSERT_TRUE(ParseStageSums(store.newestStage()->sums, saved));
    EXPECT_EQ(saved.endMs, CurrentStage().endMs);
}

// A shut-in that pumping ends before its 10 s is no shut-in: ended while the fleet pumps
// again, the stage ends at once. The next stage
// is proposed with the same names and the next number, also after a restart.
TEST_F(Stages, AShutInNotReachedAndTheNextStageProposed) {
    follow(0);
    BeginStage(998, "J", "W");
    for (int t = 1; t <= 12; ++t) tick(t);
    for (int t = 13; t <= 15; ++t) tick(t, 51 + t - 13);
    for (int t = 16; t <= 19; ++t) tick(t);
    FinishStage();
    EXPECT_FALSE(StageRunning());
    EXPECT_TRUE(std::isnan(CurrentStage().shutIn5));
    EXPECT_EQ(store.countOf(journal::Kind::Command, journal::kNoPump,
                            "pressure 5 s / 10 s after shut-in not reached / not reached"),
              1);
    restart(20.0);
    EXPECT_FALSE(StageRunning()) << "an ended stage does not go on";
}

// End Stage asked for while the shut-in counts, and the station down over its 10 s point:
// the stage still ends, at the first sample after the restart, and the point the gap hid
// is not reached (the moment it stood for is not known).
TEST_F(Stages, AnEndAskedForDuringTheShutInOutlivesARestart) {
    follow(0);
    BeginStage(5, "J", "W");
    for (int t = 1; t <= 57; ++t) tick(t);  // shut in at 51: the 5 s point is 56
    FinishStage();
    ASSERT_TRUE(StageRunning());
    restart(70.0);
    ASSERT_TRUE(StageRunning());
    tick(71);
    EXPECT_FALSE(StageRunning());
    EXPECT_DOUBLE_EQ(CurrentStage().shutIn5, (2 * Script::shutIn(56) + 2000.0) / 4);
    EXPECT_TRUE(std::isnan(CurrentStage().shutIn10));
    EXPECT_EQ(store.countOf(journal::Kind::Command, journal::kNoPump,
                            "pressure 5 s / 10 s after shut-in 1750 psi / not reached"),
              1);
}

// The fleet's events during a stage, each from its own path: an E-stop, "Idle All Pumps" and
// an inline trip are counted once each, and the highest reading of the blender computer is
// kept; a reading after the stage's end is not.
class StageEvents : public StationFleet {
  protected:
    void TearDown() override {
        StationFleet::TearDown();
        platform::setTcpBackEnd(nullptr);
        journal::SetStore(nullptr);
    }
    void blenderSays(const std::string& text) {
        net.peers().back().send(text);
        loop.advance(0.5);
    }
    platform::SimTcpNetwork net;
    platform::MemoryJournal store;
};

TEST_F(StageEvents, EStopIdleAllAndInlineTripAreCountedAndTheHighestInlineReadingKept) {
    journal::SetStore(&store);
    platform::setTcpBackEnd(&net);
    net.listen("127.0.0.1", client::BlenderPort());
    storeDword("Inline OP Trip", 1);
    storeDword("Inline OP Value", 15000000);  // 1500 psi
    settings::ConfigRecord config = FleetConfig();
    std::strcpy(config.ServerName, "127.0.0.1");
    start(config);
    ASSERT_TRUE(client::ClientConnected());
    BeginStage(1, "J", "W");
    blenderSays("1200\r\n");
    blenderSays("1650\r\n");
    loop.advance(1.0);  // a sample of the stage's seconds falls on it
    blenderSays("900\r\n");
    loop.advance(2.0);
    breakLoop();
    loop.advance(1.0);
    // Counted at once in the journal's file, not on the next save 10 s after the start.
    StageSums saved;
    ASSERT_TRUE(ParseStageSums(store.newestStage()->sums, saved));
    EXPECT_EQ(saved.estops, 1);
    EXPECT_EQ(saved.inlineTrips, 1);
    closeLoop();
    loop.advance(5.0);
    ui::SelectMenu(menuBar(), windows::MENU_IDLE_ALL, operation::BankPanel[0]);
    ui::Press(ConfirmDialogPanel(), windows::CONFIRM_YES);
    loop.advance(2.0);
    FinishStage();
    ASSERT_FALSE(StageRunning());
    blenderSays("1700\r\n");
    const StageSums& s = CurrentStage();
    EXPECT_EQ(s.estops, 1);
    EXPECT_EQ(s.idleAlls, 1);
    EXPECT_EQ(s.inlineTrips, 1);
    EXPECT_DOUBLE_EQ(s.maxInline, 1650.0);
}

}  // namespace
