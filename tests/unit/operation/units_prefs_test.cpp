// The display units switch, the pumps-shown preference and the automatic precision.
#include <cmath>
#include <string>

#include "settings/registry_settings.h"
#include "support/link_fixture.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"
#include "unit/operation/display_fixture.h"

namespace {

using linktest::Record;
using namespace windows;
using settings::Config;

using rec::kDischarge;
using rec::kTripPoint;

class Units : public DisplayStation {
  protected:
    void choose(int item) { ui::SelectMenu(menuBar(BankPanel[0]), item, BankPanel[0]); }
    static std::string units(int panel, int control) {
        return ui::GetCtrlAttributeText(panel, control, ui::ATTR_UNITS_LABEL);
    }
    static bool checked(int panel, int item) {
        return ui::GetMenuBarAttributeInt(menuBar(panel), item, ui::ATTR_CHECKED) != 0;
    }
    // Every place that shows units follows the system in force: the rows of each bank, the
    // fleet values, the detail view's gauges and read-outs, the menu ticks of every window.
    // A rate and a power have one name on the banks and the detail view.
    void expectUnits(bool metric) {
        SCOPED_TRACE(metric ? "metric" : "US");
        const std::string pressure = metric ? "MPa" : "PSI";
        const std::string rate = metric ? "m\xC2\xB3/min" : "bbl/min";
        const std::string power = metric ? "kW" : "hhp";
        for (int pump : {0, 13, 23}) {
            EXPECT_EQ(units(bank(pump), row(pump, kPosDischarge)), pressure);
            EXPECT_EQ(units(bank(pump), row(pump, kPosTrip)), pressure);
            EXPECT_EQ(units(bank(pump), row(pump, kPosRate)), rate);
        }
        EXPECT_EQ(units(BankPanel[2], BANK_AVG_PRESSURE), pressure);
        EXPECT_EQ(units(BankPanel[2], BANK_TOTAL_RATE), rate);
        EXPECT_EQ(units(BankPanel[2], BANK_TOTAL_HHP), power);
        for (int c : {DETAIL_RATE, DETAIL_HP})
            EXPECT_EQ(detail(c).unitsLabel, c == DETAIL_RATE ? rate : power);
        EXPECT_EQ(detail(DETAIL_RATE_UNITS).text, rate);
        EXPECT_EQ(detail(DETAIL_HP_UNITS).text, power);
        EXPECT_EQ(detail(DETAIL_PRESSURE_UNITS).text, pressure);
        EXPECT_EQ(detail(DETAIL_DISCHARGE).unitsLabel, pressure);
        EXPECT_EQ(detail(DETAIL_OIL_TEMP).unitsLabel, metric ? "degC" : "degF");
        EXPECT_EQ(detail(DETAIL_PRESSURE_MULT).visible, !metric) << "the x1000 of the gauge";
        for (int panel : {BankPanel[0], BankPanel[2], DetailPanel}) {
            EXPECT_EQ(checked(panel, MENU_UNITS_US), !metric);
            EXPECT_EQ(checked(panel, MENU_UNITS_METRIC), metric);
            EXPECT_TRUE(checked(panel, MENU_REFRESH_1S)) << "the refresh item keeps its tick";
        }
    }
};

// Pump 2 reports some live values, pump 15 fewer; pump 4 never comes on line. A switch
// converts the whole table in that moment (no reply, no refresh tick in between), and the
// rows and fleet values show it at once, in the display's units and in US units.
TEST_F(Units, ASwitchConvertsEveryLiveValueAndTheFleetValuesAtOnce) {
    namespace f = pumplink::record;
    online(1, Record()
                  .f32(f::kRateGpm, 420.0f)   // 10 bbl/min
                  .f32(f::kGallons, 8400.0f)  // 200 bbl
                  .f32(f::kDischarge, 3000.0f)
                  .f32(f::kOilTemp, 212.0f)
                  .f32(f::kMotorRpm, 1500.0f)
                  .u16(f::kTripPoint, 4500));
    online(14,
           Record().f32(f::kRateGpm, 210.0f).f32(f::kDischarge, 1000.0f).u16(f::kTripPoint, 12345));
    tick();

    // US and metric by the units' definitions; hydraulic power 3000 psi x 420 gpm and
    // 1000 psi x 210 gpm at the controllers' 0.00058334 hp per psi gpm.
    constexpr double kMpa = 0.0068948, kM3 = 0.15899, kKw = 0.746;
    const double hp2 = 735.0084, hp15 = 122.5014;
    const auto near = [](double want) { return std::abs(want) * 1e-5 + 1e-5; };
    const auto expectTable = [&](bool metric) {
        SCOPED_TRACE(metric ? "metric" : "US");
        // Every field against the decoder is the link's live-units test; here, that the whole
        // table was switched, by the controllers' factors.
        EXPECT_NEAR(PumpTable[1].OilTemperature, metric ? 100.0 : 212.0, 1e-3);
        EXPECT_NEAR(PumpTable[1].HydraulicHp, metric ? hp2 * kKw : hp2, near(hp2));
        for (int pump = 0; pump < kPumpCount; ++pump)
            EXPECT_EQ(PumpTable[pump].MetricValues, metric ? 1 : 0) << "pump " << pump + 1;
        EXPECT_EQ(PumpTable[3].TripPressure, 0.0f);
        const double mpa = metric ? kMpa : 1.0, m3 = metric ? kM3 : 1.0, kw = metric ? kKw : 1.0;
        EXPECT_NEAR(PumpTable[14].TripPressure, 12345.0 * mpa, near(12345.0 * mpa));
        EXPECT_NEAR(rowValue(1, kPosDischarge), 3000.0 * mpa, near(3000.0 * mpa));
        EXPECT_NEAR(rowValue(14, kPosTrip), 12345.0 * mpa, near(12345.0 * mpa));
        EXPECT_NEAR(rowValue(14, kPosRate), 5.0 * m3, near(5.0 * m3));
        EXPECT_NEAR(AverageDischargePressure, 2000.0 * mpa, near(2000.0 * mpa));
        EXPECT_NEAR(SelectedPumpsRate, 15.0 * m3, near(15.0 * m3));
        EXPECT_NEAR(SelectedPumpsTotal, 200.0 * m3, near(200.0 * m3));
        EXPECT_NEAR(SelectedPumpsHhp, (hp2 + hp15) * kw, near((hp2 + hp15) * kw));
        EXPECT_NEAR(rowValue(1, kPosRate), 10.0 * m3, near(10.0 * m3));
        EXPECT_NEAR(ui::GetCtrlDouble(BankPanel[2], BANK_TOTAL_RATE), 15.0 * m3, near(15.0 * m3));
        EXPECT_NEAR(AverageDischargePsi, 2000.0, near(2000.0));
        EXPECT_NEAR(SelectedPumpsRateBpm, 15.0, near(15.0));
    };
    expectTable(false);
    choose(MENU_UNITS_METRIC);
    expectTable(true);
    choose(MENU_UNITS_METRIC);  // already metric: nothing is converted twice
    expectTable(true);
    choose(MENU_UNITS_US);
    expectTable(false);

    // The next reply comes in the units of the moment; one that leaves the trip point out
    // keeps the one the switch converted. The view's pressure gauge reads MPa as they are.
    choose(MENU_UNITS_METRIC);
    data(1, Record().u16(f::kTripPoint, 0xFFFF).f32(f::kDischarge, 5000.0f));
    EXPECT_NEAR(PumpTable[1].DischargePressure, 5000 * kMpa, 1e-4);
    EXPECT_NEAR(PumpTable[1].TripPressure, 4500 * kMpa, 1e-4);
    ui::Press(bank(1), row(1, kPosDetail));
    tick();
    EXPECT_NEAR(detail(DETAIL_PRESSURE_GAUGE).number, 5000 * kMpa, 1e-4);
}

class MetricStation : public Units {
  protected:
    MetricStation() { metricAtStart = true; }
};

using Preferences = DisplayStation;

TEST_F(Preferences, PumpsShownChoosesTheBankWindows) {
    auto shown = [](int b) {
        return ui::GetPanelAttributeInt(BankPanel[b], ui::ATTR_PANEL_VISIBLE);
    };
    auto openPrefs = [] {
        ui::SelectMenu(menuBar(BankPanel[0]), MENU_PUMPS_SHOWN, BankPanel[0]);
        return PreferencePanel;
    };
    Config.PumpsShown = 12;
    int prefs = openPrefs();
    ASSERT_GT(prefs, 0);
    EXPECT_EQ(ui::GetCtrlIndex(prefs, PREF_PUMPS_SHOWN), 1);
    ui::OperateIndex(prefs, PREF_PUMPS_SHOWN, 0);
    ui::Press(prefs, PREF_OK);
    EXPECT_EQ(Config.PumpsShown, 8);
    EXPECT_EQ(shown(0), 1);
    EXPECT_EQ(shown(1), 0);
    EXPECT_EQ(shown(2), 0);
    EXPECT_FALSE(ui::PanelExists(prefs)) << "OK applies and closes";
    EXPECT_EQ(PreferencePanel, 0);
    // Hidden banks are still refreshed.
    online(20, Record().f32(kDischarge, 777.0f));
    tick();
    EXPECT_DOUBLE_EQ(rowValue(20, kPosDischarge), 777.0);

    prefs = openPrefs();
    ui::OperateIndex(prefs, PREF_PUMPS_SHOWN, 1);
    ui::Press(prefs, PREF_CLOSE);  // Close applies nothing
    EXPECT_EQ(Config.PumpsShown, 8);
    EXPECT_FALSE(ui::PanelExists(prefs));
    prefs = openPrefs();
    ui::OperateIndex(prefs, PREF_PUMPS_SHOWN, 1);
    ui::Press(prefs, PREF_OK);
    EXPECT_EQ(Config.PumpsShown, 16);
    EXPECT_EQ(shown(1), 1);
    EXPECT_EQ(shown(2), 0);
    EXPECT_EQ(PreferencePanel, 0);

    // Opened afresh: the ring starts at the setting in force, not at the last choice.
    Config.PumpsShown = 24;
    prefs = openPrefs();
    EXPECT_EQ(ui::GetCtrlIndex(prefs, PREF_PUMPS_SHOWN), 2);
    const int again = openPrefs();
    EXPECT_FALSE(ui::PanelExists(prefs)) << "a second opening replaces the first window";
    ui::Press(again, PREF_OK);
    EXPECT_EQ(Config.PumpsShown, 24);
    EXPECT_EQ(shown(1), 1);
    EXPECT_EQ(shown(2), 1);
    Config.PumpsShown = 5;
    prefs = openPrefs();
    EXPECT_EQ(ui::GetCtrlIndex(prefs, PREF_PUMPS_SHOWN), 0);
}

// A choice that would put running or alarmed pumps out of sight is asked first, No changing
// nothing; the fleet values say which pumps they count, those hidden too. The night palette
// is kept in the settings store and taken up again with the loaded settings.
TEST_F(Preferences, HidingRunningOrAlarmedPumpsIsAskedAndTheFleetValuesSayWhatTheyCount) {
    const auto shown = [](int b) {
        return ui::GetPanelAttributeInt(BankPanel[b], ui::ATTR_PANEL_VISIBLE);
    };
    const auto scope = [] { return ui::GetCtrlText(BankPanel[1], BANK_FLEET_SCOPE); };
    const auto choose = [](int item) {
        ui::SelectMenu(menuBar(BankPanel[0]), MENU_PUMPS_SHOWN, BankPanel[0]);
        const int prefs = PreferencePanel;
        ui::OperateIndex(prefs, PREF_PUMPS_SHOWN, item);
        ui::Press(prefs, PREF_OK);
        return prefs;
    };
    online(3);
    online(12, Record().f32(rec::kMotorRpm, 900.0f));  // running, on Pumps 9-16
    online(20, Record().u16(rec::kAlarm, 0x8000));     // an alarm, on Pumps 17-24
    tick();
    EXPECT_EQ(scope(), "Fleet values of the 3 pumps on line");

    popups.answerConfirm(false);
    int prefs = choose(1);
    ASSERT_EQ(popups.count("Pumps Shown"), 1);
    const std::string question = popups.shown().back().text;
    EXPECT_NE(question.find("hides Pumps 17-24, where 1 pump has an alarm (11A)"),
              std::string::npos)
        << question;
    EXPECT_EQ(Config.PumpsShown, 24) << "No changes nothing";
    EXPECT_EQ(shown(2), 1);
    EXPECT_TRUE(ui::PanelExists(prefs)) << "and leaves the window for another choice";

    popups.answerConfirm(true);
    ui::Press(prefs, PREF_OK);
    EXPECT_EQ(Config.PumpsShown, 16);
    EXPECT_EQ(shown(2), 0);
    tick();
    EXPECT_EQ(scope(), "Fleet values of the 3 pumps on line, 1 of them hidden (Pumps 17-24)");

    // Pumps 17-24 are hidden already: only the running pump of Pumps 9-16 is asked about.
    popups.answerConfirm(true);
    choose(0);
    ASSERT_EQ(popups.count("Pumps Shown"), 3);
    EXPECT_NE(popups.shown().back().text.find("hides Pumps 9-16, where 1 pump is running."),
              std::string::npos)
        << popups.shown().back().text;
    EXPECT_EQ(shown(1), 0);
    tick();
    EXPECT_EQ(scope(), "Fleet values of the 3 pumps on line, 2 of them hidden (Pumps 9-24)");
    choose(0);
    EXPECT_EQ(popups.count("Pumps Shown"), 3) << "nothing more to hide, nothing asked";

    // Night colours: kept in the store, taken up again when the settings are loaded.
    ui::SelectMenu(menuBar(BankPanel[0]), MENU_PUMPS_SHOWN, BankPanel[0]);
    prefs = PreferencePanel;
    EXPECT_EQ(ui::GetCtrlInt(prefs, PREF_NIGHT), 0);
    ui::Press(prefs, PREF_NIGHT);
    ui::Press(prefs, PREF_OK);
    EXPECT_EQ(ui::DisplayPalette(), ui::Palette::Night);
    EXPECT_EQ(settings::ReadSetting(settings::kNightPalette), 1u);
    ui::SetDisplayPalette(ui::Palette::Day);
    ShowLoadedSettings();
    EXPECT_EQ(ui::DisplayPalette(), ui::Palette::Night);
}

}  // namespace
