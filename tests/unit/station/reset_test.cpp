// ResetStation() brings every module back to the start of a run: a station used hard and
// then reset starts exactly like a fresh one, and no hook installed before the reset
// survives it. Each module's start-of-run state is what its own reset restores, so a value
// someone forgets there shows up here.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "link/comcfg.h"
#include "link/pump_session.h"
#include "link/tx_queue.h"
#include "operation/numpadcode.h"
#include "operation/port_monitor.h"
#include "operation/pumpgroup.h"
#include "platform/module_state.h"
#include "safety/estop.h"
#include "shell/msg.h"
#include "settings/registry_settings.h"
#include "shell/control_mode.h"
#include "shell/password.h"
#include "shell/splash.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"
#include "unit/operation/display_fixture.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace shell;

namespace {

using namespace windows;
using linktest::Record;

int g_hookCalls = 0;

class Reset : public DisplayStation {
  protected:
    // What an operator and the other modules can see of a started station.
    static std::string observables() {
        std::ostringstream o;
        for (int h : ui::PanelHandles())
            o << "panel '" << ui::GetPanelTitle(h) << "' "
              << ui::GetPanelAttributeInt(h, ui::ATTR_PANEL_VISIBLE) << "\n";
        const int bar = menuBar(BankPanel[0]);
        for (int item : {MENU_REFRESH_1S, MENU_REFRESH_4S, MENU_UNITS_US, MENU_UNITS_METRIC})
            o << "item " << item << " " << ui::GetMenuBarAttributeInt(bar, item, ui::ATTR_CHECKED);
        for (const TimerDef& t : kBankTimers)
            o << "timer " << t.id << " "
              << ui::GetCtrlAttributeInt(BankPanel[0], t.id, ui::ATTR_ENABLED) << " "
              << ui::GetCtrlAttributeDouble(BankPanel[0], t.id, ui::ATTR_INTERVAL) << "\n";
        for (int p = 0; p < kPumpCount; ++p) {
            const PumpRecord& r = PumpTable[p];
            o << "pump " << p << " " << r.Online << " " << r.ComPort << " " << r.ConfiguredComPort
              << " " << r.RpmStepLarge << " " << r.DischargePressure << " " << r.TripPressure << " "
              << r.RpmSetpoint << " " << PumpTable[p].SpeedCommand.Rpm << " "
              << int{PumpTable[p].PumpGroup} << " " << int{PumpTable[p].AutoSelected} << " "
              << PumpRowEnabled(p) << " "
              << ui::GetCtrlAttributeText(bank(p), row(p, kPosDischarge), ui::ATTR_UNITS_LABEL)
              << " " << rowValue(p, kPosDischarge) << " " << rowCtrl(p, kPosPumpId).text << " "
              << int{r.MetricValues} << "\n";
        }
        std::uint8_t record[settings::kConfigRecordSize];
        settings::EncodeConfigRecord(settings::Config, record);
        o << "record " << std::hash<std::string>{}(std::string(record, record + sizeof record))
          << "\n";
        o << "fleet " << AverageDischargePressure << " " << SelectedPumpsRate << " "
          << AverageDischargePsi << " " << SelectedPumpsRateBpm << "\n";
        o << "windows " << int{CurrentPump} << " " << PreferencePanel << " " << KeypadPanel << " "
          << KeypadValue << " '" << KeypadText() << "' " << PasswordPromptPanel() << " "
          << PasswordChangePanel() << " " << PasswordTarget << " " << ConfirmDialogPanel() << " "
          << SplashPanel() << " " << SerialMonitorPanel() << "\n";
        o << "shell " << ShowStats << " " << AdminMode << " " << StopRequested() << " "
          << ReplyTimeout << " " << ComStartDelay << " " << PortsBusy << " " << EStopParallelPort
          << " " << EStopMonitored << " " << EStopCount << " " << InstantIdleCount << "\n";
        for (int group = 0; group < kGroupCount; ++group)
            o << "group " << group << " " << GroupMemberList(group).size() << "\n";
        return o.str();
    }
};

TEST_F(Reset, AStationUsedAndResetStartsLikeAFreshOne) {
    const std::string fresh = observables();

    // Everything an operator, the command line and the other modules can change.
    AddPumpIdShownHook([](int, const char*) { ++g_hookCalls; });
    AddUnitsChangedHook([] { ++g_hookCalls; });
    AddGroupMemberHook([](int, int) { ++g_hookCalls; });
    SetControlModeOpener([] { ++g_hookCalls; });
    SetHardwareWindowOpener([] { ++g_hookCalls; });
    ParseCommandLine({"/ShowStats", "/admin", "/timeout", "2.5"});
    online(4, Record().f32(rec::kDischarge, 5100.0f).u16(rec::kStatus, rec::kTrippedStatus));
    online(17, Record().f32(rec::kDischarge, 900.0f).u16(rec::kTripPoint, 9000));
    ui::OperateIndex(bank(17), row(17, kPosGroup), 4);  // group 3
    PumpTable[4].AutoSelected = 1;
    tick();
    ui::Press(bank(4), row(4, kPosDetail));
    ui::SelectMenu(menuBar(BankPanel[0]), MENU_UNITS_METRIC, BankPanel[0]);
    ui::SelectMenu(menuBar(BankPanel[0]), MENU_REFRESH_4S, BankPanel[0]);
    ui::SelectMenu(menuBar(BankPanel[0]), MENU_PUMPS_SHOWN, BankPanel[0]);
    ui::Press(PreferencePanel, PREF_OK);
    settings::Config.PumpsShown = 8;
    OpenKeypadWithCallback(BankPanel[0], BankRow[4][kPosTrip], 1, [](int, int) { ++g_hookCalls; });
    ui::Press(KeypadPanel, NUMPAD_DIGIT_0 + 7);
    PasswordTarget = BankRow[2][kPosConfigure];
    ShowPasswordPrompt(BankPanel[0]);
    ShowConfirmDialog(BankPanel[0], "Shutdown", "Go to Idle / Neutral on all pumps?",
                      kConfirmIdleAll);
    Display_Help_About(0, 0, nullptr, BankPanel[0]);
    Show_Serial_Window(0, 0, nullptr, BankPanel[0]);
    ComStartDelay = 9;
    EStopParallelPort = 0;
    RequestStop();
    loop.clearQuit();
    ASSERT_NE(observables(), fresh);
    ASSERT_FALSE(modstate::NotFresh().empty());

    // Every module's own reset leaves its state equal to a fresh one, field by field (before
    // start-up wires the modules together again).
    modstate::ResetAll();
    EXPECT_THAT(modstate::NotFresh(), testing::IsEmpty());
    ResetStation();
    writeConfig();
    ASSERT_TRUE(StartUp());
    loop.advance(0.2);
    EXPECT_EQ(observables(), fresh);

    // Nothing installed before the reset is called after it.
    g_hookCalls = 0;
    online(4, Record().u16(rec::kTripPoint, 9000));
    tick();
    ui::SelectMenu(menuBar(BankPanel[0]), MENU_UNITS_METRIC, BankPanel[0]);
    ShowConfirmDialog(BankPanel[0], "Shutdown", "Go to Idle / Neutral on all pumps?",
                      kConfirmIdleAll);
    ui::Press(ConfirmDialogPanel(), CONFIRM_YES);
    EXPECT_EQ(g_hookCalls, 0);

    // Start-up's wiring is no run state: a reset of the modules after start-up leaves each
    // fresh, and the password still opens the control-mode settings.
    modstate::ResetAll();
    EXPECT_THAT(modstate::NotFresh(), testing::IsEmpty());
    PasswordTarget = kPasswordTargetControlMode;
    ShowPasswordPrompt(0);
    ui::SetCtrlVal(PasswordPromptPanel(), PWD_VALUE, std::stod(settings::ReadPassword()));
    ui::Press(PasswordPromptPanel(), PWD_OK);
    EXPECT_NE(ControlModePanel(), 0);
}

// Every module that keeps state says so beside it (VNK_MODULE_STATE...); a module whose
// library does not register it would keep its state over a reset.
TEST(ModuleStates, EveryDeclaredStateIsRegistered) {
    RegisterStationStates();
    std::set<std::string> registered;
    for (const modstate::Module& m : modstate::Modules())
        registered.insert(std::string(m.library) + "/" + m.name);

    std::set<std::string> declared;
    const std::regex line(R"(^VNK_MODULE_STATE(?:_RESET|_CUSTOM)?\((\w+), (\w+),)");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VNK_SOURCE_DIR "/src")) {
        if (entry.path().extension() != ".cpp") continue;
        std::ifstream in(entry.path());
        for (std::string text; std::getline(in, text);) {
            std::smatch m;
            if (std::regex_search(text, m, line)) declared.insert(m[1].str() + "/" + m[2].str());
        }
    }
    EXPECT_GE(declared.size(), 35u);  // the scan found the sources
    EXPECT_EQ(registered, declared);
}

}  // namespace
