// The optional-trips and control-mode windows against a simulated fleet: the limits of what
// they accept, what they save, what the pumps hear and what takes effect at once.
#include "ui/windows/settings_windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "link/pump_table.h"
#include "operation/numpadcode.h"
#include "platform/sim/memory_journal.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "shell/control_mode.h"
#include "shell/password.h"
#include "support/station_fleet.h"
#include "ui/windows/menu_bar.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace shell;

namespace {

using namespace windows;
constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC";

class SettingsWindows : public StationFleet {
  protected:
    std::int64_t stored(const char* name) const {
        const auto v = store.get(kKey, name);
        return v ? static_cast<std::int64_t>(v->dword) : -1;
    }
    int openControlMode() {
        ui::SelectMenu(menuBar(), MENU_CONTROL_MODE, BankPanel[0]);
        const int prompt = PasswordPromptPanel();
        EXPECT_NE(prompt, 0);
        if (prompt == 0) return 0;
        ui::Press(prompt, PWD_STARS);
        keypadEnter("5927");
        ui::Press(prompt, PWD_OK);
        return ControlModePanel();
    }
};

TEST_F(SettingsWindows, OptionalTripsLimitTheValueAndSendTheWordToEveryPump) {
    start();
    ui::SelectMenu(menuBar(), MENU_OPTIONAL_TRIPS, BankPanel[0]);
    const int panel = OptionalTripsPanel();
    ASSERT_NE(panel, 0);
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, TRIPS_INLINE_VALUE), 1000.0);

    ui::Press(panel, TRIPS_INLINE_VALUE);  // the keypad; its OK is checked like an entry
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_CAPTION), "Inline trip pressure, 0 to 25000 psi");
    keypadEnter("25001");
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_DISPLAY), "0 to 25000 psi");
    EXPECT_EQ(popups.count("Pressure Value"), 0) << "the keypad said it";
    EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, TRIPS_INLINE_VALUE), 1000.0);
    keypadEnter("25000");
    EXPECT_FLOAT_EQ(InlineTripValue, 25000.0f);
    EXPECT_EQ(stored("Inline OP Value"), 250000000);
    for (double refused : {25000.5, -1.0}) {
        popups.clear();
        ui::Operate(panel, TRIPS_INLINE_VALUE, refused);
        EXPECT_EQ(popups.count("Pressure Value"), 1) << refused;
        EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(panel, TRIPS_INLINE_VALUE), 25000.0);
        EXPECT_FLOAT_EQ(InlineTripValue, 25000.0f);
    }
    EXPECT_EQ(stored("Inline OP Value"), 250000000);

    // The box switches the inline trip; the word goes out marked even with 0x8000 clear.
    ui::Operate(panel, TRIPS_INLINE_ENABLED, 1.0);
    loop.advance(1.0);
    EXPECT_EQ(InlineTripEnabled, 1);
    EXPECT_EQ(stored("Inline OP Trip"), 1);
    EXPECT_EQ(stored("Alarmops"), 0x2000);
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(commandsTo(p, 0x33), 1) << "pump " << p + 1;
    heard.clear();
    ui::Operate(panel, TRIPS_CONTROLLER_TRIP, 1.0);
    loop.advance(1.0);
    EXPECT_EQ(stored("Alarmops"), 0xA000);
    ASSERT_EQ(commandsTo(5, 0x33), 1);
    for (const Command& c : heard)
        if (c.code == 0x33) {
            EXPECT_EQ(c.data, (std::vector<std::uint8_t>{0x00, 0xA0}));
        }

    // 0 is in range: taken, with a warning while the trip is on.
    popups.clear();
    ui::Operate(panel, TRIPS_INLINE_VALUE, 0.0);
    EXPECT_FLOAT_EQ(InlineTripValue, 0.0f);
    EXPECT_EQ(stored("Inline OP Value"), 0);
    EXPECT_EQ(popups.count("Pressure Value"), 1);

    // Opened afresh it shows what is in force.
    ui::Press(panel, TRIPS_CLOSE);
    ui::SelectMenu(menuBar(), MENU_OPTIONAL_TRIPS, BankPanel[0]);
    const int again = OptionalTripsPanel();
    EXPECT_EQ(ui::GetCtrlInt(again, TRIPS_CONTROLLER_TRIP), 1);
    EXPECT_EQ(ui::GetCtrlInt(again, TRIPS_INLINE_ENABLED), 1);
}

// A stored inline value above what the window takes is not used, and the operator hears at
// start which value it was and what trips meanwhile; switching the trip on then asks, as
// for a value nobody entered.
TEST_F(SettingsWindows, AnInlineValueOutOfRangeInTheStoreIsToldAtStart) {
    platform::MemoryJournal events;
    journal::SetStore(&events);
    storeDword("Inline OP Value", 300005000);
    start();
    const std::string text =
        "The settings store holds an Inline OP Value of 30000.5 psi, above the 25000 psi the "
        "inline trip takes. The inline trip uses 1000 psi until a value is entered (Setup > "
        "Optional Trips...).";
    int told = 0;
    for (const auto& shown : startUpPopups) told += shown.title == "Inline OP Value" ? 1 : 0;
    EXPECT_EQ(told, 1);
    EXPECT_NE(std::find_if(startUpPopups.begin(), startUpPopups.end(),
                           [&](const auto& shown) { return shown.text == text; }),
              startUpPopups.end());
    EXPECT_EQ(events.countOf(journal::Kind::Settings, journal::kNoPump, text), 1);
    EXPECT_FLOAT_EQ(InlineTripValue, 1000.0f);
    ui::SelectMenu(menuBar(), MENU_OPTIONAL_TRIPS, BankPanel[0]);
    ui::Operate(OptionalTripsPanel(), TRIPS_INLINE_ENABLED, 1.0);
    EXPECT_EQ(popups.count("Inline OP Trip"), 1);
    EXPECT_EQ(InlineTripEnabled, 0) << "No, the default";
    journal::SetStore(nullptr);
}

TEST_F(SettingsWindows, ControlModeLimitsTheTimeOutAndRefusesALinkPort) {
    start();
    for (const auto& [entered, saved] : {std::pair{5, 8}, {0, 0}, {5000, 1200}, {-1, 1200}}) {
        const int panel = openControlMode();
        ASSERT_NE(panel, 0) << "the password opens the window";
        EXPECT_EQ(ui::GetCtrlInt(panel, CM_PARALLEL), 1);  // the defaults
        EXPECT_EQ(ui::GetCtrlInt(panel, CM_SERIAL_PORT), 32);
        ui::Operate(panel, CM_TIMEOUT1, static_cast<double>(entered));
        heard.clear();
        ui::Press(panel, CM_OK);
        loop.advance(1.0);
        EXPECT_EQ(stored("Timeout1"), saved) << entered;
        EXPECT_EQ(stored("Timeout2"), 60);
        EXPECT_EQ(ControlModePanel(), 0);
        ASSERT_EQ(commandsTo(0, 0x3C), 1);
        for (const Command& c : heard)
            if (c.code == 0x3C) {
                EXPECT_EQ(c.data[0] | (c.data[1] << 8), saved);
            }
    }

    // The serial input on pump 3's port is refused: nothing saved, the window stays open.
    int panel = openControlMode();
    ui::Press(panel, CM_SERIAL);
    EXPECT_EQ(ui::GetCtrlInt(panel, CM_PARALLEL), 0);
    ui::Operate(panel, CM_SERIAL_PORT, static_cast<double>(PumpTable[2].ComPort));
    popups.clear();
    ui::Press(panel, CM_OK);
    EXPECT_EQ(popups.count("EStop Serial Port"), 1);
    EXPECT_EQ(ControlModePanel(), panel);
    EXPECT_EQ(stored("EStopParallelPort"), 1);  // as the last OK saved it
    EXPECT_EQ(EStopParallelPort, 1u);
    ui::Press(panel, CM_CANCEL);
    EXPECT_EQ(ControlModePanel(), 0);
}

TEST_F(SettingsWindows, EStopSwitchedOffTakesEffectAtOnce) {
    start();
    const int panel = openControlMode();
    ASSERT_NE(panel, 0);
    ui::Operate(panel, CM_ESTOP_ENABLED, 0.0);
    ui::Operate(panel, CM_AUTO_RECORD, 1.0);
    ui::Press(panel, CM_OK);
    EXPECT_EQ(EStopMonitored, 0u);
    EXPECT_EQ(stored("EStop"), 0);
    EXPECT_EQ(stored("AutoRecord"), 1);
    heard.clear();
    breakLoop();
    loop.advance(1.0);
    for (int p = 0; p < kPumps; ++p) EXPECT_TRUE(speedsTo(p).empty()) << "pump " << p + 1;
    EXPECT_FALSE(estopWindowShown());
    ApplyEStopSettings(1, 1, 32);  // and on again, as at once
    loop.advance(0.5);
    EXPECT_FALSE(speedsTo(0).empty());
}

}  // namespace
