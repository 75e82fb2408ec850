#include "operation/panels.h"

#include <cmath>
#include <cstring>
#include <string>

#include "link/operations.h"
#include "link/pump_table.h"
#include "link/serial_output.h"
#include "safety/trips.h"
#include "shell/cfg.h"
#include "shell/control_ids.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

float AverageDischargePressure = 0.0f;
float SelectedPumpsTotal = 0.0f;
float SelectedPumpsRate = 0.0f;
float SelectedPumpsHhp = 0.0f;
int PreferencePanel = 0;

namespace {

// Row positions written by the refresh.
enum Position {
    kPosMotorRpm = 4,
    kPosSetpointBar = 5,
    kPosPowerOff = 6,
    kPosPowerOn = 7,
    kPosDischarge = 8,
    kPosTrip = 9,
    kPosRate = 10,
    kPosPercent = 11,
    kPosFault = 12,
    kPosAlarm = 13,
    kPosPumpId = 17,
    kPosPowerText = 22,
};

constexpr double kPsiToMpa = 0.0068948;
// Neither 0 nor 1: the first refresh of a pump sets its pressure colours.
constexpr int kNoTripShown = 0xF6;
// No identification reads like this: the first refresh shows the pump's and asks for it.
constexpr char kNoIdShown[kPumpIdSize] = "-10";

int g_tripShown[kPumpCount];
char g_idShown[kPumpCount][kPumpIdSize];
int g_prefItem = 0;
PumpIdShownHook g_pumpIdHook = nullptr;
UnitsChangedHook g_unitsHook = nullptr;

void resetCaches() {
    for (int p = 0; p < kPumpCount; ++p) {
        g_tripShown[p] = kNoTripShown;
        std::memcpy(g_idShown[p], kNoIdShown, kPumpIdSize);
    }
}

struct StartOfRun {
    StartOfRun() { resetCaches(); }
} g_startOfRun;

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}

// truncate(rpm / maxRpm x the bar's maximum), kept on the bar.
double setpointBar(int panel, int bar, double rpm, double maxRpm) {
    if (!(maxRpm > 0.0)) return 0.0;
    const double low = ui::GetCtrlAttributeDouble(panel, bar, ui::ATTR_MIN_VALUE);
    const double high = ui::GetCtrlAttributeDouble(panel, bar, ui::ATTR_MAX_VALUE);
    const double v = std::trunc(rpm / maxRpm * high);
    if (!std::isfinite(v)) return 0.0;
    return v < low ? low : v > high ? high : v;
}

void refreshRow(int pump) {
    PumpRecord& r = PumpTable[pump];
    SpeedCommandRecord& speed = SpeedCommand[pump];
    const int panel = BankPanel[BankOf(pump)];
    const int* ids = BankRow[pump];

    if (r.Tripped != g_tripShown[pump]) {
        const bool tripped = r.Tripped != 0;
        ui::SetCtrlAttribute(panel, ids[kPosDischarge], ui::ATTR_TEXT_BGCOLOR,
                             tripped ? ui::VAL_RED : ui::VAL_WHITE);
        ui::SetCtrlAttribute(panel, ids[kPosDischarge], ui::ATTR_TEXT_COLOR,
                             tripped ? ui::VAL_WHITE : ui::VAL_BLACK);
        g_tripShown[pump] = r.Tripped;
    }
    ui::SetCtrlVal(panel, ids[kPosAlarm], r.AlarmWord != 0 ? 1 : 0);
    ui::SetCtrlVal(panel, ids[kPosFault], r.FaultWord != 0 ? 1 : 0);
    ui::SetCtrlVal(panel, ids[kPosMotorRpm], static_cast<double>(r.MotorRpm));

    // The drive before the bar: a set-point the drive's state clears is never shown.
    const bool driveOn = r.VfdOn != 0;
    ui::SetCtrlAttribute(panel, ids[kPosPowerOn], ui::ATTR_VISIBLE, driveOn ? 0 : 1);
    ui::SetCtrlAttribute(panel, ids[kPosPowerOff], ui::ATTR_VISIBLE, driveOn ? 1 : 0);
    if (driveOn) {
        speed.Run = 1;
    } else {
        speed.Rpm = 0;
        speed.Run = 0;
        r.RpmSetpoint = 0;
    }
    ui::SetCtrlAttribute(panel, ids[kPosPowerText], ui::ATTR_LABEL_TEXT,
                         std::string(driveOn ? "ON" : "OFF"));
    ui::SetCtrlVal(panel, ids[kPosSetpointBar],
                   setpointBar(panel, ids[kPosSetpointBar], speed.Rpm, r.MaxRpm));

    ui::SetCtrlVal(panel, ids[kPosDischarge], static_cast<double>(r.DischargePressure));
    ui::SetCtrlVal(panel, ids[kPosTrip], static_cast<double>(r.TripPressure));
    ui::SetCtrlVal(panel, ids[kPosRate], static_cast<double>(r.PumpRate));
    // Without a trip point there is nothing to compare with: the last percentage stands.
    if (r.TripPressure > 0.0f)
        ui::SetCtrlVal(panel, ids[kPosPercent],
                       static_cast<double>(r.DischargePressure) * 100.0 / r.TripPressure);

    if (pump == CurrentPump && DetailViewVisible()) RefreshDetailView(pump);

    // A reply may fill all nine bytes: the text ends within them.
    r.PumpId[kPumpIdSize - 1] = '\0';
    if (std::strncmp(r.PumpId, g_idShown[pump], kPumpIdSize) != 0) {
        SendPumpCommand(pump, Op::ReadPumpId);
        ui::SetCtrlVal(panel, ids[kPosPumpId], std::string(r.PumpId));
        if (g_pumpIdHook != nullptr) g_pumpIdHook(pump, r.PumpId);
        std::memcpy(g_idShown[pump], r.PumpId, kPumpIdSize);
    }
}

// Sums over the pumps on line. A value that is not a number (a failed sensor) is left
// out, so that one pump cannot turn the fleet values, and the controller that reads
// them, into nonsense.
void computeFleetValues() {
    double pressure = 0.0, volume = 0.0, rate = 0.0, hhp = 0.0;
    int pressures = 0;
    const auto add = [](double& sum, float v) {
        if (std::isfinite(v)) sum += v;
    };
    for (int p = 0; p < kPumpCount; ++p) {
        const PumpRecord& r = PumpTable[p];
        if (r.Online == 0) continue;
        if (std::isfinite(r.DischargePressure)) {
            pressure += r.DischargePressure;
            ++pressures;
        }
        add(volume, r.TotalVolume);
        add(rate, r.PumpRate);
        add(hhp, r.HydraulicHp);
    }
    AverageDischargePressure = pressures > 0 ? static_cast<float>(pressure / pressures) : 0.0f;
    SelectedPumpsTotal = static_cast<float>(volume);
    SelectedPumpsRate = static_cast<float>(rate);
    SelectedPumpsHhp = static_cast<float>(hhp);
}

void showFleetValues() {
    for (int panel : BankPanel) {
        if (panel == 0) continue;
        ui::SetCtrlVal(panel, windows::BANK_AVG_PRESSURE,
                       static_cast<double>(AverageDischargePressure));
        ui::SetCtrlVal(panel, windows::BANK_TOTAL_RATE, static_cast<double>(SelectedPumpsRate));
        ui::SetCtrlVal(panel, windows::BANK_TOTAL_VOLUME, static_cast<double>(SelectedPumpsTotal));
        ui::SetCtrlVal(panel, windows::BANK_TOTAL_HHP, static_cast<double>(SelectedPumpsHhp));
    }
}

}  // namespace

void RefreshBanks() {
    for (int bank = 0; bank < kBankCount; ++bank)
        for (int row = 0; row < kPumpsPerBank; ++row) {
            const int pump = bank * kPumpsPerBank + row;
            if (PumpTable[pump].Online != 0) refreshRow(pump);
        }
    computeFleetValues();
    showFleetValues();
}

int DisplayTimerTick(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    SerialOutputLine();
    RefreshBanks();
    if (DetailViewVisible() && CurrentPump < kPumpCount) SetDetailViewIndicators(CurrentPump);
    return 0;
}

void SetRowDimmed(int pump, bool dim) {
    if (!validPump(pump)) return;
    const int panel = BankPanel[BankOf(pump)];
    if (panel == 0) return;
    for (int position = 0; position < kRowPositionCount; ++position)
        ui::SetCtrlAttribute(panel, BankRow[pump][position], ui::ATTR_DIMMED, dim ? 1 : 0);
}

void Bring_Frac_Offline(int dim, int pump) {
    if (!validPump(pump)) return;
    SetRowDimmed(pump, dim != 0);
    if (DetailViewVisible() && CurrentPump == pump) CloseDetailView();
    if (dim == 0) return;

    PumpRecord& r = PumpTable[pump];
    r.Tripped = 0;
    r.MotorRpm = r.OilTemperature = r.DischargePressure = r.PumpRpm = r.PumpRate = 0.0f;
    r.HydraulicHp = r.OilPressure = r.SuctionPressure = r.TotalVolume = 0.0f;
    std::memset(r.PumpId, 0, sizeof r.PumpId);
    SpeedCommand[pump].Rpm = 0;
    r.RpmSetpoint = 0;
    // Online is still set: the zeroes reach the row before it stops being refreshed.
    RefreshBanks();
    ui::SetCtrlVal(BankPanel[BankOf(pump)], BankRow[pump][kPosPumpId], std::string());
}

void Set_Display_Units(int, int menuItem, void*, int) {
    const int units = menuItem == windows::MENU_UNITS_METRIC ? 1 : 0;
    if (units == Config.DisplayUnits) return;
    // The trip point is only reported when it changes, so it is converted here; every
    // other value comes converted with the pump's next data reply.
    for (int p = 0; p < kPumpCount; ++p) {
        const double trip = PumpTable[p].TripPressure;
        PumpTable[p].TripPressure =
            static_cast<float>(units == 1 ? trip * kPsiToMpa : trip / kPsiToMpa);
    }
    Config.DisplayUnits = units;
    ApplyRefreshInterval();  // ticks the unit items with the refresh items
    ShowBankUnits();
    ShowTripFieldRanges();
    ShowDetailUnits();
    if (g_unitsHook != nullptr) g_unitsHook();
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
    PreferencePanel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_PREFERENCES);
    if (PreferencePanel < 0) {
        PreferencePanel = 0;
        return;
    }
    const int shown = Config.PumpsShown;
    g_prefItem = shown <= 8 ? 0 : shown <= 16 ? 1 : 2;
    ui::SetCtrlIndex(PreferencePanel, windows::PREF_PUMPS_SHOWN, g_prefItem);
    if (ui::PanelExists(panel))
        DisplayCenteredPanel(panel, PreferencePanel);
    else
        ui::DisplayPanel(PreferencePanel);
}

int SelectPumpShown(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int item = ui::GetCtrlInt(panel, control);
    if (item >= 0 && item <= 2) g_prefItem = item;
    return 0;
}

int SetPreferences(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    static constexpr std::uint8_t kPumps[] = {8, 16, 24};
    Config.PumpsShown = kPumps[g_prefItem];
    ShowBanks(Config.PumpsShown);
    return 0;
}

int ClosePreferencePanel(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    ui::DiscardPanel(panel);
    if (panel == PreferencePanel) PreferencePanel = 0;
    return 0;
}

void AutoPrecisionAI(int panel, int control) {
    const double v = ui::GetCtrlDouble(panel, control);
    const double a = std::fabs(v);
    int decimals = 3;
    if (a > 1000.0)
        decimals = 0;
    else if (a > 100.0)
        decimals = 1;
    else if (a > 10.0)
        decimals = 2;
    else if (a > 1.0)
        decimals = 3;
    else if (a > 0.1)
        decimals = 4;
    else if (a > 0.01)
        decimals = 5;
    else if (a > 0.001)
        decimals = 6;
    else if (a > 0.0001)
        decimals = 7;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_PRECISION, decimals);
    const bool fixed = v == 0.0 || a > 0.0001;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_FORMAT,
                         fixed ? ui::FMT_DECIMAL : ui::FMT_SCIENTIFIC);
}

void SetPumpIdShownHook(PumpIdShownHook hook) {
    g_pumpIdHook = hook;
}

void SetUnitsChangedHook(UnitsChangedHook hook) {
    g_unitsHook = hook;
}

void ResetPanels() {
    resetCaches();
    AverageDischargePressure = SelectedPumpsTotal = SelectedPumpsRate = SelectedPumpsHhp = 0.0f;
    PreferencePanel = 0;
    g_prefItem = 0;
    g_pumpIdHook = nullptr;
    g_unitsHook = nullptr;
    ResetDetailView();
}

void BindPanelCallbacks() {
    windows::BindCtrlCallback("DisplayTimerTick", DisplayTimerTick);
    windows::BindCtrlCallback("Display_Pump_Panel", Display_Pump_Panel);
    windows::BindCtrlCallback("GoToNextPump", GoToNextPump);
    windows::BindCtrlCallback("GoToPreviousPump", GoToPreviousPump);
    windows::BindCtrlCallback("Close_Current_Pump", Close_Current_Pump);
    windows::BindCtrlCallback("SelectPumpShown", SelectPumpShown);
    windows::BindCtrlCallback("SetPreferences", SetPreferences);
    windows::BindCtrlCallback("ClosePreferencePanel", ClosePreferencePanel);
    windows::BindMenuCallback("Set_Display_Units", Set_Display_Units);
    windows::BindMenuCallback("ShowDisplayPrefPanel", ShowDisplayPrefPanel);
}
