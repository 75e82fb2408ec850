// The automatic controller on the running station against simulated pumps in virtual time:
// the closed loop in both modes, with transducer noise and in metric display; the station's
// interlocks that end it; and its settings as the window and the settings store hold them.
#include "autocontrol/autocontrol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "autocontrol/auto_panel.h"
#include "operation/display_prefs.h"
#include "operation/fleet_banner.h"
#include "operation/panels.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "safety/optional_trips.h"
#include "settings/registry_settings.h"
#include "shell/msg.h"
#include "support/auto_fleet.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"

using namespace operation;
using namespace safety;
using namespace shell;
using namespace autocontrol;

namespace {

using namespace windows;

struct Sent {
    int pump;
    bool increase;
    int before, after;
};
std::vector<Sent> g_sent;

class AutoControl : public AutoFleet {
  protected:
    void startEight(bool metric = false, double noisePsi = 0.0) {
        AutoFleet::startEight(metric, noisePsi);
        g_sent.clear();
        SetAutoCommandObserver([](int pump, bool up, int before, int after) {
            g_sent.push_back({pump, up, before, after});
        });
    }
    // Speed commands after `from` seconds, with no command to a pump off the auto list or
    // above the fleet's MaxRpm (1900) as the pumps received them.
    int commandsAfter(double from) const {
        int n = 0;
        for (const Command& c : heard) {
            if (c.code != 0x1A) continue;
            EXPECT_LT(c.pump, 8);
            EXPECT_LE(static_cast<std::int16_t>(c.data[0] | (c.data[1] << 8)), 1900);
            n += c.at >= from ? 1 : 0;
        }
        return n;
    }
    static bool readoutShown() { return ui::FindCtrl(BankPanel[0], BANK_TARGET_VALUE)->visible; }
};

std::vector<std::pair<int, int>> commands() {
    std::vector<std::pair<int, int>> out;
    for (const Sent& s : g_sent) out.push_back({s.pump + 1, s.after});
    return out;
}

TEST_F(AutoControl, RateAndPressureModesSettleAndStayQuiet) {
    startEight();
    apply(MODE_RATE, MODE_TARGET_RATE, 60.0, MODE_LIMIT_PRESSURE, 8000.0);
    loop.advance(180.0);
    EXPECT_NEAR(SelectedPumpsRate, 59.68f, 0.01f);
    EXPECT_EQ(commandsAfter(loop.now() - 90.0), 0);
    EXPECT_EQ(commands(), (std::vector<std::pair<int, int>>{{1, 1615}, {2, 1325}}));
    EXPECT_TRUE(readoutShown());
    EXPECT_EQ(ui::GetCtrlText(BankPanel[2], BANK_TARGET_CAPTION), "Target BPM :");

    TearDown();
    SetUp();
    startEight();
    apply(MODE_PRESSURE, MODE_TARGET_PRESSURE, 5000.0, MODE_LIMIT_RATE, 100.0);
    loop.advance(240.0);
    EXPECT_NEAR(AverageDischargePressure, 5000.0f, AutoSettings.PressureTolerance);
    EXPECT_EQ(commandsAfter(loop.now() - 90.0), 0);
    EXPECT_EQ(commands().size(), 5u);  // four pumps to the 0.85 headroom, one part way
}

TEST_F(AutoControl, NoisyPressureNeverMakesADecreaseRaiseOrPassesMaxRpm) {
    startEight(false, 300.0);
    // The limit bites: pressure actions on a noisy estimate, both ways, for ten minutes.
    apply(MODE_RATE, MODE_TARGET_RATE, 80.0, MODE_LIMIT_PRESSURE, 4000.0);
    loop.advance(600.0);
    commandsAfter(0.0);
    int decreases = 0;
    for (const Sent& s : g_sent) {
        if (!s.increase) {
            EXPECT_LE(s.after, s.before) << "pump " << s.pump + 1;
        }
        decreases += s.increase ? 0 : 1;
    }
    EXPECT_GT(decreases, 0);
}

TEST_F(AutoControl, MetricDisplaySendsTheSameCommands) {
    std::vector<std::pair<int, int>> runs[2];  // (pump, rpm) of each command
    for (bool metric : {false, true}) {
        if (metric) {
            TearDown();
            SetUp();
        }
        startEight(metric);
        // A pressure limit the fleet reaches: the pressure counts as much as the rate.
        apply(MODE_RATE, MODE_TARGET_RATE, metric ? 80.0 * 0.15899 : 80.0, MODE_LIMIT_PRESSURE,
              metric ? 4000.0 * 0.0068948 : 4000.0);
        loop.advance(120.0);
        runs[metric] = commands();
    }
    EXPECT_GT(runs[0].size(), 1u);
    // The same pumps in the same order; the speeds within the rounding of the limit typed in
    // MPa (27.579 MPa is 3999.8 psi by the entry's factor).
    ASSERT_EQ(runs[0].size(), runs[1].size());
    for (std::size_t i = 0; i < runs[0].size(); ++i) {
        EXPECT_EQ(runs[0][i].first, runs[1][i].first) << "command " << i;
        EXPECT_NEAR(runs[0][i].second, runs[1][i].second, 2) << "command " << i;
    }
}

TEST_F(AutoControl, IdleAllInlineTripAndEStopEachEndAutomaticControl) {
    for (int cause = 0; cause < 3; ++cause) {
        if (cause > 0) {
            TearDown();
            SetUp();
        }
        platform::MemoryJournal events;
        journal::SetStore(&events);
        startEight();
        apply(MODE_RATE, MODE_TARGET_RATE, 80.0, MODE_LIMIT_PRESSURE, 8000.0);
        loop.advance(12.0);
        ASSERT_TRUE(AutoModeActive());
        EXPECT_EQ(events.countOf(journal::Kind::Command, journal::kNoPump,
                                "Automatic control: hold rate 80.00 bbl/min, limit 8000 psi"),
                  1);
        if (cause == 0) {
            ui::SelectMenu(menuBar(), MENU_IDLE_ALL, BankPanel[0]);
            ui::Press(ConfirmDialogPanel(), CONFIRM_YES);
        } else if (cause == 1) {
            InlineTripEnabled = 1;
            InlineTripValue = 1500.0f;
            CheckInlinePressure("1600\r\n");
        } else {
            breakLoop();
        }
        // Idle All and the inline trip end it themselves, before their idle goes out; the
        // E-stop is seen on the input's next reading.
        if (cause < 2) {
            EXPECT_FALSE(AutoModeActive()) << "at once, cause " << cause;
        }
        g_sent.clear();
        heard.clear();
        loop.advance(60.0);
        EXPECT_FALSE(AutoModeActive()) << "cause " << cause;
        EXPECT_EQ(settings::ReadSetting(settings::kAutoMode), 0u);
        EXPECT_FALSE(readoutShown());
        EXPECT_EQ(ui::GetCtrlInt(AutoModePage, MODE_OFF), 1);
        EXPECT_EQ(ui::GetCtrlAttributeInt(AutoPanel, AUTO_MESSAGE, ui::ATTR_TEXT_COLOR),
                  ui::VAL_RED);
        EXPECT_NE(ui::GetCtrlText(AutoPanel, AUTO_MESSAGE), "");
        EXPECT_TRUE(g_sent.empty());
        for (int p = 0; p < 8; ++p)
            for (int rpm : speedsTo(p)) EXPECT_LE(rpm, kIdleRpm) << "cause " << cause;
        static const char* const kEnded[] = {"Auto control off: all pumps idled",
                                             "Auto control off: inline overpressure trip",
                                             "Auto control off: emergency stop"};
        EXPECT_EQ(events.countOf(journal::Kind::Command, journal::kNoPump, kEnded[cause]), 1);
        journal::SetStore(nullptr);
    }
}

// A target the Auto pumps cannot reach: once every one is at its minimum the controller says
// so on its window and on the banner, journals it once, and sends nothing more.
TEST_F(AutoControl, ATargetOutOfReachIsSaidOnceAndNothingIsSentForIt) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    startEight();
    holdRate(10.0);
    loop.advance(1.0);
    EXPECT_EQ(operation::FleetBannerText(), "AUTO: holding 10 bbl/min on 8 pumps");
    loop.advance(120.0);  // a pump to its minimum at each step
    heard.clear();
    loop.advance(60.0);
    EXPECT_EQ(commandsAfter(0.0), 0);
    const std::string why = "cannot reach 10 bbl/min: Auto pumps at minimum";
    EXPECT_EQ(ui::GetCtrlText(AutoPanel, AUTO_MESSAGE), why);
    EXPECT_EQ(operation::FleetBannerText(), "AUTO: " + why);
    EXPECT_EQ(events.countOf(journal::Kind::Command, journal::kNoPump, "Automatic control: " + why),
              1);
    journal::SetStore(nullptr);
}

// The controller works in US units whatever the display shows: a units switch at any moment
// between two steps leaves the next step at its time (random moments, fixed seeds).
TEST_F(AutoControl, AUnitsSwitchLeavesTheNextStepAtItsTime) {
    startEight();
    holdRate(80.0);
    const double period = AutoSettings.SamplingTime + 1.0;  // ticks of 1 s
    // Advances to the next step (the countdown starts again) and gives its time.
    const auto nextStep = [this] {
        for (int last = StepCountdown, ticks = 0; ticks < 1000; ++ticks) {
            loop.advance(0.02);
            if (StepCountdown > last) return loop.now();
            last = StepCountdown;
        }
        return -1.0;
    };
    double step = nextStep();
    bool metric = false;
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 3; ++i) {
            const double phase = std::uniform_real_distribution<double>(0.0, period - 0.05)(rng);
            loop.advance(phase);
            metric = !metric;
            ui::SelectMenu(menuBar(), metric ? MENU_UNITS_METRIC : MENU_UNITS_US, BankPanel[0]);
            const double next = nextStep();
            EXPECT_NEAR(next - step, period, 0.03) << "seed " << seed << ", switch at " << phase;
            step = next;
        }
    }
    EXPECT_TRUE(AutoModeActive());
}

TEST_F(AutoControl, SettingsComeBackLimitedAndMetricEntriesDoNotDrift) {
    settings::WriteSetting(settings::kTargetPressure, 20000.0f);
    settings::WriteSetting(settings::kRateTolerance, 0.5f);
    settings::WriteSetting(settings::kTargetRate, 10.0f);
    settings::WriteSetting(settings::kSamplingTime, std::int16_t{3});
    settings::WriteSetting(settings::kAutoMode, 1);
    settings::ConfigRecord config = FleetConfig();
    config.DisplayUnits = settings::kUnitsMetric;
    start(config);
    EXPECT_FALSE(AutoModeActive());
    EXPECT_EQ(settings::ReadSetting(settings::kAutoMode), 0u);
    EXPECT_EQ(AutoSettings.TargetPressure, 15000.0f);
    EXPECT_EQ(AutoSettings.RateTolerance, 0.8f);
    EXPECT_EQ(AutoSettings.SamplingTime, 6);
    EXPECT_NEAR(ui::GetCtrlDouble(AutoModePage, MODE_TARGET_RATE), 1.5899, 1e-4);
    EXPECT_EQ(ui::GetCtrlText(AutoModePage, MODE_LIMIT_PRESSURE_UNITS), "MPa");
    EXPECT_EQ(ui::GetCtrlText(AutoSettingsPage, SETTINGS_PRESSURE_TOLERANCE_UNITS), "kPa");
    EXPECT_EQ(ui::GetCtrlText(AutoModePage, MODE_TARGET_PRESSURE_UNITS), "MPa");
    EXPECT_EQ(ui::GetCtrlText(AutoModePage, MODE_TARGET_RATE_UNITS), "m\xC2\xB3/min");

    // Without "/admin" the settings page cannot be opened; Apply keeps what nobody changed.
    ui::OperateIndex(AutoPanel, AUTO_TABS, 1);
    EXPECT_EQ(ui::GetCtrlIndex(AutoPanel, AUTO_TABS), 0);
    ui::Press(AutoPanel, AUTO_APPLY);
    ui::Press(AutoPanel, AUTO_APPLY);
    EXPECT_EQ(settings::ReadSetting(settings::kTargetPressure), 15000.0f);
    ui::Press(AutoModePage, MODE_RATE);
    ui::Operate(AutoModePage, MODE_TARGET_RATE, 2.0);
    EXPECT_TRUE(ui::FindCtrl(AutoPanel, AUTO_PENDING)->visible);
    ui::Press(AutoPanel, AUTO_APPLY);
    EXPECT_NEAR(AutoSettings.TargetRate, 12.5794f, 1e-4);
    EXPECT_FALSE(ui::FindCtrl(AutoPanel, AUTO_PENDING)->visible);

    // A radio button alone changes nothing, and the window says what runs.
    ui::Press(AutoModePage, MODE_PRESSURE);
    EXPECT_EQ(AutoSettings.AutoMode, kAutoRate);
    EXPECT_EQ(ui::GetCtrlText(AutoPanel, AUTO_ACTIVE), "Active: Hold Rate 2 m3/min");
    ui::SelectMenu(menuBar(), MENU_UNITS_US, BankPanel[0]);
    EXPECT_EQ(ui::GetCtrlText(AutoPanel, AUTO_ACTIVE), "Active: Hold Rate 12.58 bbl/min");
    EXPECT_EQ(ui::GetCtrlText(AutoModePage, MODE_LIMIT_PRESSURE_UNITS), "PSI");
    // The keypad says the field, its range and the unit beside it, in the units now shown.
    ui::Press(AutoModePage, MODE_TARGET_PRESSURE);
    EXPECT_EQ(keypadCaption(), "Target Pressure, 0 to 15000 PSI");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
}

}  // namespace
