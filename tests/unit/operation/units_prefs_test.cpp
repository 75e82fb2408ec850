// The display units switch, the pumps-shown preference and the automatic precision.
#include <string>

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
    void expectUnits(bool metric) {
        SCOPED_TRACE(metric ? "metric" : "US");
        const std::string pressure = metric ? "MPa" : "PSI";
        for (int pump : {0, 13, 23}) {
            EXPECT_EQ(units(bank(pump), row(pump, kPosDischarge)), pressure);
            EXPECT_EQ(units(bank(pump), row(pump, kPosTrip)), pressure);
        }
        EXPECT_EQ(units(BankPanel[2], BANK_AVG_PRESSURE), pressure);
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

TEST_F(Units, EveryUnitTextFollowsTheChosenSystem) {
    online(0);
    ui::Press(bank(0), row(0, kPosDetail));  // the view takes the units in force when it opens
    expectUnits(false);
    choose(MENU_UNITS_METRIC);
    EXPECT_EQ(Config.DisplayUnits, 1);
    expectUnits(true);
    choose(MENU_UNITS_US);
    EXPECT_EQ(Config.DisplayUnits, 0);
    expectUnits(false);
}

TEST_F(Units, TripPointsGoThereAndBackOtherValuesWaitForTheNextReply) {
    online(1, Record().u16(kTripPoint, 4500).f32(kDischarge, 3000.0f));
    online(14, Record().u16(kTripPoint, 12345).f32(kDischarge, 1000.0f));
    choose(MENU_UNITS_METRIC);
    EXPECT_NEAR(PumpTable[1].TripPressure, 4500 * 0.0068948, 1e-4);
    EXPECT_FLOAT_EQ(PumpTable[1].DischargePressure, 3000.0f) << "converted by the next reply";
    choose(MENU_UNITS_METRIC);  // already metric: nothing is converted twice
    EXPECT_NEAR(PumpTable[1].TripPressure, 4500 * 0.0068948, 1e-4);

    // The next reply comes converted; the view's pressure gauge reads MPa as they are.
    data(1, Record().u16(kTripPoint, 0xFFFF).f32(kDischarge, 5000.0f));
    EXPECT_NEAR(PumpTable[1].DischargePressure, 5000 * 0.0068948, 1e-4);
    ui::Press(bank(1), row(1, kPosDetail));
    tick();
    EXPECT_NEAR(detail(DETAIL_PRESSURE_GAUGE).number, 5000 * 0.0068948, 1e-4);
    EXPECT_NEAR(rowValue(1, kPosTrip), 4500 * 0.0068948, 1e-4);

    choose(MENU_UNITS_US);
    EXPECT_NEAR(PumpTable[1].TripPressure, 4500.0f, 0.01f);
    EXPECT_NEAR(PumpTable[14].TripPressure, 12345.0f, 0.01f);
    EXPECT_EQ(PumpTable[3].TripPressure, 0.0f);
}

class MetricStation : public Units {
  protected:
    MetricStation() { metricAtStart = true; }
};

TEST_F(MetricStation, ViewOpensInTheSavedUnits) {
    online(9);
    ui::Press(bank(9), row(9, kPosDetail));
    expectUnits(true);
}

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
    // Hidden banks are still refreshed.
    online(20, Record().f32(kDischarge, 777.0f));
    tick();
    EXPECT_DOUBLE_EQ(rowValue(20, kPosDischarge), 777.0);

    ui::OperateIndex(prefs, PREF_PUMPS_SHOWN, 1);
    ui::Press(prefs, PREF_OK);
    EXPECT_EQ(Config.PumpsShown, 16);
    EXPECT_EQ(shown(1), 1);
    EXPECT_EQ(shown(2), 0);
    ui::Press(prefs, PREF_CLOSE);
    EXPECT_FALSE(ui::PanelExists(prefs));
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

TEST(AutoPrecisionAI, DecimalsAndFormatFollowTheValue) {
    ui::ResetModel();
    const int panel = ui::NewPanel(0, "calibration", 0, 0, 100, 100);
    ui::AddCtrl(panel, 1, ui::CTRL_NUMERIC, "", 0, 0);
    struct Case {
        double value;
        int decimals;
        int format;
    };
    const Case cases[] = {
        {1500.0, 0, ui::FMT_DECIMAL},     {1000.0, 1, ui::FMT_DECIMAL},
        {-150.0, 1, ui::FMT_DECIMAL},     {50.0, 2, ui::FMT_DECIMAL},
        {2.5, 3, ui::FMT_DECIMAL},        {0.5, 4, ui::FMT_DECIMAL},
        {0.05, 5, ui::FMT_DECIMAL},       {0.005, 6, ui::FMT_DECIMAL},
        {-0.0005, 7, ui::FMT_DECIMAL},    {0.0, 3, ui::FMT_DECIMAL},
        {0.00005, 3, ui::FMT_SCIENTIFIC}, {-1e-9, 3, ui::FMT_SCIENTIFIC},
    };
    for (const Case& c : cases) {
        ui::SetCtrlVal(panel, 1, c.value);
        AutoPrecisionAI(panel, 1);
        EXPECT_EQ(ui::GetCtrlAttributeInt(panel, 1, ui::ATTR_PRECISION), c.decimals) << c.value;
        EXPECT_EQ(ui::GetCtrlAttributeInt(panel, 1, ui::ATTR_FORMAT), c.format) << c.value;
    }
    ui::ResetModel();
}

}  // namespace
