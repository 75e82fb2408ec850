#include "operation/display_prefs.h"

#include <cstdint>
#include <string>
#include <vector>

#include "link/live_units.h"
#include "link/pump_table.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

using settings::Config;

namespace {

using namespace windows;

struct DisplayPrefsState {
    int PreferencePanel = 0;
    int prefItem = 0;  // the ring item marked there: 8, 16 or 24 pumps
    std::vector<GroupMemberHook> groupHooks;
    std::vector<UnitsChangedHook> unitsHooks;
    bool operator==(const DisplayPrefsState&) const = default;
};
DisplayPrefsState g;
}  // namespace

int& PreferencePanel = g.PreferencePanel;

namespace {

std::vector<int> menuBars() {
    std::vector<int> bars;
    for (int panel : {BankPanel[0], BankPanel[1], BankPanel[2], DetailPanel}) {
        const ui::Panel* p = ui::FindPanel(panel);
        if (p != nullptr && p->menuBar != 0) bars.push_back(p->menuBar);
    }
    return bars;
}

}  // namespace

void Set_Refresh_Rate(int, int menuItem, void*, int) {
    switch (menuItem) {
        case MENU_REFRESH_1S:
            Config.RefreshInterval = 1.0;
            break;
        case MENU_REFRESH_2S:
            Config.RefreshInterval = 2.0;
            break;
        case MENU_REFRESH_4S:
            Config.RefreshInterval = 4.0;
            break;
        default:
            return;
    }
    ApplyRefreshInterval();
}

void ApplyRefreshInterval() {
    if (!(Config.RefreshInterval >= 1.0)) Config.RefreshInterval = 1.0;  // NaN too
    const double r = Config.RefreshInterval;
    for (int panel : BankPanel) ui::SetCtrlAttribute(panel, BANK_TMR_DISPLAY, ui::ATTR_INTERVAL, r);
    for (int bar : menuBars()) {
        ui::SetMenuBarAttribute(bar, MENU_REFRESH_1S, ui::ATTR_CHECKED, r == 1.0);
        ui::SetMenuBarAttribute(bar, MENU_REFRESH_2S, ui::ATTR_CHECKED, r == 2.0);
        ui::SetMenuBarAttribute(bar, MENU_REFRESH_4S, ui::ATTR_CHECKED, r == 4.0);
        ui::SetMenuBarAttribute(bar, MENU_UNITS_US, ui::ATTR_CHECKED, !settings::MetricUnits());
        ui::SetMenuBarAttribute(bar, MENU_UNITS_METRIC, ui::ATTR_CHECKED, settings::MetricUnits());
    }
}

void ShowBankUnits() {
    const bool metric = settings::MetricUnits();
    const std::string pressure = metric ? "MPa" : "PSI";
    const std::string rate = settings::RateUnitsText();
    const int pressureDecimals = metric ? 2 : 0;
    const int rateDecimals = metric ? 2 : 1;
    const auto show = [](int panel, int control, const std::string& units, int decimals) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_UNITS_LABEL, units);
        ui::SetCtrlAttribute(panel, control, ui::ATTR_PRECISION, decimals);
    };
    for (int pump = 0; pump < kPumpCount; ++pump) {
        const int panel = BankPanel[BankOf(pump)];
        show(panel, BankRow[pump][kPosDischarge], pressure, pressureDecimals);
        show(panel, BankRow[pump][kPosRate], rate, rateDecimals);
        show(panel, BankRow[pump][kPosTrip], pressure, pressureDecimals);
    }
    for (int panel : BankPanel) {
        show(panel, BANK_AVG_PRESSURE, pressure, pressureDecimals);
        show(panel, BANK_TOTAL_RATE, rate, rateDecimals);
        ui::SetCtrlAttribute(panel, BANK_TOTAL_VOLUME, ui::ATTR_UNITS_LABEL,
                             std::string(metric ? "m3" : "BBL"));
        ui::SetCtrlAttribute(panel, BANK_TOTAL_HHP, ui::ATTR_UNITS_LABEL,
                             std::string(settings::PowerUnitsText()));
    }
}

void Set_Display_Units(int, int menuItem, void*, int) {
    const int units = menuItem == MENU_UNITS_METRIC ? settings::kUnitsMetric : settings::kUnitsUs;
    if (units == Config.DisplayUnits) return;
    // The whole table changes units in this moment, not pump by pump with each next reply,
    // and the display's refresh (the first hook) shows it and sums the fleet values at once:
    // the rows, the fleet values, the blender reply, the data output line and the
    // recordings never mix the two.
    for (int p = 0; p < kPumpCount; ++p)
        SetLiveUnits(PumpTable[p], units == settings::kUnitsMetric);
    Config.DisplayUnits = units;
    ApplyRefreshInterval();  // ticks the unit items with the refresh items
    ShowBankUnits();
    ShowDetailUnits();
    for (UnitsChangedHook hook : g.unitsHooks) hook();
}

void ShowBanks(int pumpsShown) {
    const int banks = pumpsShown <= 8 ? 1 : pumpsShown <= 16 ? 2 : 3;
    for (int b = 0; b < kBankCount; ++b) {
        if (BankPanel[b] == 0) continue;
        const bool visible = ui::GetPanelAttributeInt(BankPanel[b], ui::ATTR_PANEL_VISIBLE) != 0;
        if (b < banks && !visible)
            ui::DisplayPanel(BankPanel[b]);
        else if (b >= banks && visible)
            ui::HidePanel(BankPanel[b]);
    }
}

void ShowDisplayPrefPanel(int, int, void*, int panel) {
    if (PreferencePanel != 0 && ui::PanelExists(PreferencePanel)) ui::DiscardPanel(PreferencePanel);
    PreferencePanel = ui::LoadPanel(0, kVnkUir, VNK_PREFERENCES);
    if (PreferencePanel < 0) {
        PreferencePanel = 0;
        return;
    }
    const int shown = Config.PumpsShown;
    g.prefItem = shown <= 8 ? 0 : shown <= 16 ? 1 : 2;
    ui::SetCtrlIndex(PreferencePanel, PREF_PUMPS_SHOWN, g.prefItem);
    ui::SetCtrlVal(PreferencePanel, PREF_NIGHT, ui::DisplayPalette() == ui::Palette::Night ? 1 : 0);
    if (ui::PanelExists(panel))
        DisplayCenteredPanel(panel, PreferencePanel);
    else
        ui::DisplayPanel(PreferencePanel);
}

int SelectPumpShown(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int item = ui::GetCtrlInt(panel, control);
    if (item >= 0 && item <= 2) g.prefItem = item;
    return 0;
}

// OK: the choice applies and the window closes (left open it would end up behind the bank
// windows it brings up, and a tap meant for its Close would land on a row). A choice that
// would put running or alarmed pumps out of sight is asked first; No leaves everything as it
// was, the window open.
int SetPreferences(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    static constexpr std::uint8_t kPumps[] = {8, 16, 24};
    const int pumps = kPumps[g.prefItem];
    const std::string hiding = HidingQuestion(pumps);
    if (!hiding.empty() && ui::ConfirmPopup("Pumps Shown", hiding) == 0) return 0;
    // The question waited on a loop of its own: the window may have gone meanwhile.
    if (!ui::PanelExists(panel)) return 0;
    Config.PumpsShown = static_cast<std::uint8_t>(pumps);
    ShowBanks(Config.PumpsShown);
    ApplyDisplayPalette(ui::GetCtrlInt(panel, PREF_NIGHT) != 0 ? ui::Palette::Night
                                                               : ui::Palette::Day);
    ui::DiscardPanel(panel);
    if (panel == PreferencePanel) PreferencePanel = 0;
    return 0;
}

std::string HidingQuestion(int pumpsShown) {
    const int banks = pumpsShown <= 8 ? 1 : pumpsShown <= 16 ? 2 : 3;
    std::string windows;
    int running = 0;
    std::vector<int> alarmed;
    const std::vector<journal::Alarm> alarms = journal::CurrentAlarms();
    for (int b = banks; b < kBankCount; ++b) {
        // A bank hidden already hides nothing more.
        if (BankPanel[b] == 0 || ui::GetPanelAttributeInt(BankPanel[b], ui::ATTR_PANEL_VISIBLE) == 0)
            continue;
        windows += std::string(windows.empty() ? "" : " and ") + "Pumps " +
                   std::to_string(b * kPumpsPerBank + 1) + "-" +
                   std::to_string((b + 1) * kPumpsPerBank);
        for (int pump = b * kPumpsPerBank; pump < (b + 1) * kPumpsPerBank; ++pump) {
            const PumpRecord& r = PumpTable[pump];
            if (r.Online != 0 && r.MotorRpm > 0.0f) ++running;
            for (const journal::Alarm& a : alarms)
                if (a.pump == pump) {
                    alarmed.push_back(pump);
                    break;
                }
        }
    }
    if (running == 0 && alarmed.empty()) return {};
    std::string what;
    if (running > 0)
        what = std::to_string(running) + (running == 1 ? " pump is running" : " pumps are running");
    if (!alarmed.empty()) {
        std::string labels;
        for (int pump : alarmed) labels += (labels.empty() ? "" : ", ") + UnitLabel(pump);
        what += std::string(what.empty() ? "" : " and ") + std::to_string(alarmed.size()) +
                (alarmed.size() == 1 ? " pump has an alarm (" : " pumps have alarms (") +
                labels + ")";
    }
    return "Showing " + std::to_string(pumpsShown) + " pumps hides " + windows + ", where " +
           what + ".\n\nHidden pumps keep running, and their trips and the E-stop still act on "
           "them, but their rows are out of sight. Hide them?";
}

void ApplyDisplayPalette(ui::Palette palette) {
    settings::WriteSetting(settings::kNightPalette, palette == ui::Palette::Night ? 1 : 0);
    ui::SetDisplayPalette(palette);
}

int ClosePreferencePanel(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    ui::DiscardPanel(panel);
    if (panel == PreferencePanel) PreferencePanel = 0;
    return 0;
}

void ShowLoadedSettings() {
    ApplyRefreshInterval();
    ShowBankUnits();
    ui::SetDisplayPalette(settings::ReadSetting(settings::kNightPalette) != 0 ? ui::Palette::Night
                                                                              : ui::Palette::Day);
    for (int pump = 0; pump < kPumpCount; ++pump) {
        const int group = static_cast<std::uint8_t>(PumpTable[pump].PumpGroup);
        ui::SetCtrlVal(BankPanel[BankOf(pump)], BankRow[pump][kPosGroup], group);
        if (group != kGroupNone)
            for (GroupMemberHook hook : g.groupHooks) hook(pump, group);
    }
}

void AddGroupMemberHook(GroupMemberHook hook) {
    if (hook != nullptr) g.groupHooks.push_back(hook);
}

void AddUnitsChangedHook(UnitsChangedHook hook) {
    if (hook != nullptr) g.unitsHooks.push_back(hook);
}

void ResetDisplayPrefs() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, display_prefs, g, ResetDisplayPrefs)

void BindDisplayPrefCallbacks() {
    BindMenuCallback("Set_Refresh_Rate", Set_Refresh_Rate);
    BindMenuCallback("Set_Display_Units", Set_Display_Units);
    BindMenuCallback("ShowDisplayPrefPanel", ShowDisplayPrefPanel);
    BindCtrlCallback("SelectPumpShown", SelectPumpShown);
    BindCtrlCallback("SetPreferences", SetPreferences);
    BindCtrlCallback("ClosePreferencePanel", ClosePreferencePanel);
}

}  // namespace operation
