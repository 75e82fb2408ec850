#include "autocontrol/auto_panel.h"

#include <cmath>
#include <cstdio>

#include "autocontrol/autocontrol.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/fleet_banner.h"
#include "operation/numpadcode.h"
#include "operation/panels.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/trace.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "settings/registry_settings.h"
#include "ui/ui_model.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace safety;

namespace autocontrol {

namespace {

using namespace windows;
using settings::FromDisplayUnits;
using settings::ToDisplayUnits;

constexpr int kTabColour = 0xC0C0C0;
constexpr float kStartMaxRpm = 1000.0f;

// The eight value fields, in the order the settings are read from the window.
enum Field {
    kTargetRate,
    kTargetPressure,
    kLimitRate,
    kLimitPressure,
    kRpmStep,
    kSamplingTime,
    kRateTolerance,
    kPressureTolerance,
    kFieldCount
};
struct FieldDef {
    bool settingsPage;
    int control;
    int kind;  // display conversion; -1: none
};
constexpr FieldDef kFields[kFieldCount] = {
    {false, MODE_TARGET_RATE, settings::kUnitRate},
    {false, MODE_TARGET_PRESSURE, settings::kUnitPressureMpa},
    {false, MODE_LIMIT_RATE, settings::kUnitRate},
    {false, MODE_LIMIT_PRESSURE, settings::kUnitPressureMpa},
    {true, SETTINGS_RPM_STEP, -1},
    {true, SETTINGS_SAMPLING_TIME, -1},
    {true, SETTINGS_RATE_TOLERANCE, settings::kUnitRate},
    {true, SETTINGS_PRESSURE_TOLERANCE, settings::kUnitPressureKpa},
};

struct PanelState {
    int AutoPanel = 0;
    int AutoModePage = 0;
    int AutoSettingsPage = 0;
    std::string offNotice;
    double shown[kFieldCount] = {};   // what ShowAutoValues last put in each field
    std::string shortfallJournalled;  // the target out of reach, journalled while it lasts
    bool operator==(const PanelState&) const = default;
};
PanelState g;
}  // namespace

int& AutoPanel = g.AutoPanel;
int& AutoModePage = g.AutoModePage;
int& AutoSettingsPage = g.AutoSettingsPage;

namespace {

int pageOf(const FieldDef& f) {
    return f.settingsPage ? AutoSettingsPage : AutoModePage;
}

float* storeOf(Field f) {
    AutoSettingsRecord& s = AutoSettings;
    float* const stores[kFieldCount] = {&s.TargetRate,    &s.TargetPressure,   &s.LimitRate,
                                        &s.LimitPressure, &s.RpmStep,          nullptr,
                                        &s.RateTolerance, &s.PressureTolerance};
    return stores[f];
}

void setVisible(int panel, int control, bool on) {
    ui::SetCtrlAttribute(panel, control, ui::ATTR_VISIBLE, on ? 1 : 0);
}

void setDimmed(int panel, int control, bool dim) {
    ui::SetCtrlAttribute(panel, control, ui::ATTR_DIMMED, dim ? 1 : 0);
}

// Exactly one radio button set; the value group of the other mode dimmed (both with off).
void showRadios(int mode) {
    if (AutoModePage == 0) return;
    ui::SetCtrlVal(AutoModePage, MODE_OFF, mode != kAutoRate && mode != kAutoPressure ? 1 : 0);
    ui::SetCtrlVal(AutoModePage, MODE_RATE, mode == kAutoRate ? 1 : 0);
    ui::SetCtrlVal(AutoModePage, MODE_PRESSURE, mode == kAutoPressure ? 1 : 0);
    for (int c :
         {MODE_TARGET_RATE, MODE_LIMIT_PRESSURE, MODE_TARGET_RATE_UNITS, MODE_LIMIT_PRESSURE_UNITS})
        setDimmed(AutoModePage, c, mode != kAutoRate);
    for (int c :
         {MODE_TARGET_PRESSURE, MODE_LIMIT_RATE, MODE_TARGET_PRESSURE_UNITS, MODE_LIMIT_RATE_UNITS})
        setDimmed(AutoModePage, c, mode != kAutoPressure);
}

int radioMode() {
    if (ui::GetCtrlInt(AutoModePage, MODE_RATE) != 0) return kAutoRate;
    if (ui::GetCtrlInt(AutoModePage, MODE_PRESSURE) != 0) return kAutoPressure;
    return kAutoOff;
}

void setPending(bool on) {
    if (AutoPanel != 0) setVisible(AutoPanel, AUTO_PENDING, on);
}

void valueEntered(int panel, int control) {
    AutoValueChanged(panel, control, ui::EVENT_VAL_CHANGED, nullptr, 0, 0);
}

// A value field's unit for the keypad: the unit label beside it, which follows the units.
std::string unitsOf(int panel, int control) {
    if (panel == AutoModePage) {
        switch (control) {
            case MODE_TARGET_RATE:
                return ui::GetCtrlText(panel, MODE_TARGET_RATE_UNITS);
            case MODE_LIMIT_PRESSURE:
                return ui::GetCtrlText(panel, MODE_LIMIT_PRESSURE_UNITS);
            case MODE_TARGET_PRESSURE:
                return ui::GetCtrlText(panel, MODE_TARGET_PRESSURE_UNITS);
            case MODE_LIMIT_RATE:
                return ui::GetCtrlText(panel, MODE_LIMIT_RATE_UNITS);
            default:
                return {};
        }
    }
    switch (control) {
        case SETTINGS_RPM_STEP:
            return "RPM";
        case SETTINGS_SAMPLING_TIME:
            return "s";
        case SETTINGS_RATE_TOLERANCE:
            return ui::GetCtrlText(panel, SETTINGS_RATE_TOLERANCE_UNITS);
        case SETTINGS_PRESSURE_TOLERANCE:
            return ui::GetCtrlText(panel, SETTINGS_PRESSURE_TOLERANCE_UNITS);
        default:
            return {};
    }
}

void range(int panel, int control, double min, double max, double step) {
    if (!std::isnan(min)) ui::SetCtrlAttribute(panel, control, ui::ATTR_MIN_VALUE, min);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_MAX_VALUE, max);
    if (step > 0.0) ui::SetCtrlAttribute(panel, control, ui::ATTR_INCR_VALUE, step);
}

void unitsChanged() {
    ShowAutoUnits();
    ShowTargetReadout();
}

// What the last controller step could not do, as the window and the banner say it; "" when
// nothing.
std::string shortfallText() {
    const AutoShortfall s = AutoControllerShortfall();
    if (!AutoModeActive() || s == AutoShortfall::None) return {};
    if (s == AutoShortfall::LimitAtMinimum)
        return "cannot keep under " +
               AutoTargetText(AutoSettings.AutoMode == kAutoRate ? -kAutoPressure : -kAutoRate) +
               ": Auto pumps at minimum";
    return "cannot reach " + AutoTargetText(AutoSettings.AutoMode) +
           (s == AutoShortfall::TargetAtMinimum ? ": Auto pumps at minimum"
                                                : ": Auto pumps at maximum");
}

void showOnBanner() {
    using operation::FleetCondition;
    if (!AutoModeActive()) {
        operation::ClearFleetCondition(FleetCondition::AutoControl);
        return;
    }
    const std::string shortfall = shortfallText();
    if (!shortfall.empty()) {
        operation::SetFleetCondition(FleetCondition::AutoControl, operation::BannerTone::Warning,
                                     "AUTO: " + shortfall);
        return;
    }
    const int pumps = AutoPumpCount();
    if (pumps == 0)  // a mode with nothing to hold it
        operation::SetFleetCondition(
            FleetCondition::AutoControl, operation::BannerTone::Warning,
            "AUTO: no Auto pump to hold " + AutoTargetText(AutoSettings.AutoMode));
    else
        operation::SetFleetCondition(FleetCondition::AutoControl, operation::BannerTone::Info,
                                     "AUTO: holding " + AutoTargetText(AutoSettings.AutoMode) +
                                         " on " + std::to_string(pumps) +
                                         (pumps == 1 ? " pump" : " pumps"));
}

// "Active: Hold Rate 90 bbl/min": what runs, whatever the window's choice waiting for Apply.
void showActive() {
    if (AutoPanel == 0) return;
    const int mode = AutoSettings.AutoMode;
    const std::string text = mode == kAutoRate ? "Active: Hold Rate " + AutoTargetText(mode)
                             : mode == kAutoPressure
                                 ? "Active: Hold Pressure " + AutoTargetText(mode)
                                 : std::string("Active: Off");
    ui::SetCtrlAttribute(AutoPanel, AUTO_ACTIVE, ui::ATTR_LABEL_TEXT, text);
}

const char* offText(AutoModeCause cause) {
    switch (cause) {
        case AutoModeCause::InlineTrip:
            return "Auto control off: inline overpressure trip";
        case AutoModeCause::IdleAll:
            return "Auto control off: all pumps idled";
        case AutoModeCause::EStop:
            return "Auto control off: emergency stop";
        default:
            return "";
    }
}

}  // namespace

// The journal's line for a change of the mode: what the controller now holds and why.
std::string modeEventText(int mode, AutoModeCause cause) {
    char text[96];
    if (mode == kAutoRate)
        std::snprintf(text, sizeof text,
                      "Automatic control: hold rate %.2f bbl/min, limit %.0f psi",
                      static_cast<double>(AutoSettings.TargetRate),
                      static_cast<double>(AutoSettings.LimitPressure));
    else if (mode == kAutoPressure)
        std::snprintf(text, sizeof text,
                      "Automatic control: hold pressure %.0f psi, limit %.2f bbl/min",
                      static_cast<double>(AutoSettings.TargetPressure),
                      static_cast<double>(AutoSettings.LimitRate));
    else if (cause == AutoModeCause::Operator)
        return "Automatic control off";
    else
        return offText(cause);
    return text;
}

void ChangeAutoMode(int mode, AutoModeCause cause) {
    const bool wasOn = AutoModeActive();
    const int before = AutoSettings.AutoMode;
    // Start-up only settles the mode off; an operator's Apply is journalled even when the
    // mode stays (its targets may have changed); an interlock only when it ends a mode.
    if (cause == AutoModeCause::Operator ||
        (cause != AutoModeCause::StartUp && wasOn && mode != before))
        journal::Record(journal::kNoPump, journal::Kind::Command, modeEventText(mode, cause));
    AutoSettings.AutoMode = mode;
    ForgetAutoShortfall();
    settings::WriteSetting(settings::kAutoMode, static_cast<std::uint32_t>(mode));
    ShowTargetReadout();
    TRACE(autoctl, "mode %d (cause %d)", mode, static_cast<int>(cause));
    if (cause == AutoModeCause::Operator) g.offNotice.clear();
    const std::string text = offText(cause);
    if (text.empty()) return;
    showRadios(kAutoOff);
    if (wasOn) {
        g.offNotice = text;
        ShowAutoMessage(text, ui::VAL_RED);
    }
}

bool AutoModeActive() {
    return AutoSettings.AutoMode == kAutoRate || AutoSettings.AutoMode == kAutoPressure;
}

const std::string& AutoOffNotice() {
    return g.offNotice;
}

void SetupAutoControl(bool admin) {
    if (AutoPanel != 0 && ui::PanelExists(AutoPanel)) return;
    AutoPanel = ui::LoadPanel(0, kAutoControlUir, AUTO_PANEL);
    if (AutoPanel < 0) {
        AutoPanel = 0;
        return;
    }
    for (int pump = 0; pump < kPumpCount; ++pump) {
        float& maxRpm = PumpTable[pump].MaxRpm;
        if (maxRpm > kStartMaxRpm || !(maxRpm > 0.0f)) maxRpm = kStartMaxRpm;
        PumpTable[pump].ReplyByte80 = 0;
    }
    ChangeAutoMode(kAutoOff, AutoModeCause::StartUp);
    AutoSettingsRecord& s = AutoSettings;
    s.TargetRate = settings::ReadSetting(settings::kTargetRate);
    s.TargetPressure = settings::ReadSetting(settings::kTargetPressure);
    s.LimitRate = settings::ReadSetting(settings::kLimitRate);
    s.LimitPressure = settings::ReadSetting(settings::kLimitPressure);
    s.RpmStep = settings::ReadSetting(settings::kRpmStep);
    s.SamplingTime = settings::ReadSetting(settings::kSamplingTime);
    s.PressureTolerance = settings::ReadSetting(settings::kPressureTolerance);
    s.RateTolerance = settings::ReadSetting(settings::kRateTolerance);

    AutoModePage = ui::LoadPanel(AutoPanel, kAutoControlUir, AUTO_MODE_PAGE);
    AutoSettingsPage = ui::LoadPanel(AutoPanel, kAutoControlUir, AUTO_SETTINGS_PAGE);
    if (AutoModePage < 0) AutoModePage = 0;
    if (AutoSettingsPage < 0) AutoSettingsPage = 0;
    ui::InsertListItem(AutoPanel, AUTO_TABS, -1, "       Mode      ", AutoModePage);
    ui::InsertListItem(AutoPanel, AUTO_TABS, -1, "       Controller Settings       ",
                       AutoSettingsPage);
    ui::SetCtrlAttribute(AutoPanel, AUTO_TABS, ui::ATTR_TEXT_BGCOLOR, kTabColour);
    ui::SetPanelAttribute(AutoSettingsPage, ui::ATTR_PANEL_DIMMED, admin ? 0 : 1);
    showRadios(kAutoOff);
    ShowAutoUnits();
}

void ShowAutoUnits() {
    if (AutoPanel == 0) return;
    const bool metric = settings::MetricUnits();
    ui::SetCtrlVal(AutoPanel, AUTO_RATE_GAUGE, 0.0);
    ui::SetCtrlVal(AutoPanel, AUTO_PRESSURE_GAUGE, 0.0);
    ui::SetCtrlAttribute(AutoPanel, AUTO_RATE_GAUGE, ui::ATTR_UNITS_LABEL,
                         std::string(settings::RateUnitsText()));
    ui::SetCtrlAttribute(AutoPanel, AUTO_RATE_GAUGE, ui::ATTR_MAX_VALUE, metric ? 32.0 : 200.0);
    ui::SetCtrlAttribute(AutoPanel, AUTO_PRESSURE_GAUGE, ui::ATTR_UNITS_LABEL,
                         std::string(metric ? "     MPa" : "PSI x1000"));
    ui::SetCtrlAttribute(AutoPanel, AUTO_PRESSURE_GAUGE, ui::ATTR_MAX_VALUE, metric ? 104.0 : 15.0);
    ui::SetCtrlAttribute(AutoPanel, AUTO_PRESSURE, ui::ATTR_PRECISION, metric ? 2 : 0);

    const char* const rate = settings::RateUnitsText();
    const char* const modeUnits[] = {rate, metric ? "MPa" : "PSI", metric ? "MPa" : "PSI", rate};
    const int modeLabels[] = {MODE_TARGET_RATE_UNITS, MODE_LIMIT_PRESSURE_UNITS,
                              MODE_TARGET_PRESSURE_UNITS, MODE_LIMIT_RATE_UNITS};
    for (int i = 0; i < 4; ++i) ui::SetCtrlVal(AutoModePage, modeLabels[i], modeUnits[i]);
    ui::SetCtrlVal(AutoSettingsPage, SETTINGS_RATE_TOLERANCE_UNITS, rate);
    ui::SetCtrlVal(AutoSettingsPage, SETTINGS_PRESSURE_TOLERANCE_UNITS, metric ? "kPa" : "PSI");

    const double nan = std::nan("");
    for (int c : {MODE_TARGET_RATE, MODE_LIMIT_RATE}) {
        range(AutoModePage, c, nan, metric ? 32.0 : 200.0, metric ? 0.1 : 1.0);
        ui::SetCtrlAttribute(AutoModePage, c, ui::ATTR_PRECISION, metric ? 2 : 1);
    }
    for (int c : {MODE_TARGET_PRESSURE, MODE_LIMIT_PRESSURE}) {
        range(AutoModePage, c, nan, metric ? 104.0 : 15000.0, metric ? 1.0 : 100.0);
        ui::SetCtrlAttribute(AutoModePage, c, ui::ATTR_PRECISION, metric ? 2 : 0);
    }
    range(AutoSettingsPage, SETTINGS_RATE_TOLERANCE, metric ? 0.127 : 0.8, metric ? 0.318 : 2.0,
          0.0);
    ui::SetCtrlAttribute(AutoSettingsPage, SETTINGS_RATE_TOLERANCE, ui::ATTR_PRECISION,
                         metric ? 3 : 1);
    range(AutoSettingsPage, SETTINGS_PRESSURE_TOLERANCE, metric ? 550.0 : 80.0,
          metric ? 1380.0 : 200.0, 0.0);
    ShowAutoValues();
    setPending(false);
}

void ShowAutoValues() {
    if (AutoPanel == 0) return;
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& d = kFields[f];
        const double v =
            f == kSamplingTime
                ? AutoSettings.SamplingTime
                : (d.kind < 0 ? *storeOf(static_cast<Field>(f))
                              : ToDisplayUnits(*storeOf(static_cast<Field>(f)), d.kind));
        ui::SetCtrlVal(pageOf(d), d.control, v);
        g.shown[f] = ui::GetCtrlDouble(pageOf(d), d.control);
    }
}

int ReadAutoPanel() {
    const int mode = radioMode();
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& d = kFields[f];
        const double v = ui::GetCtrlDouble(pageOf(d), d.control);
        // Unchanged fields keep the stored value: the two conversions are not exact inverses,
        // and an Apply in metric must not move a target nobody touched.
        if (v == g.shown[f]) continue;
        if (f == kSamplingTime)
            AutoSettings.SamplingTime = static_cast<std::int16_t>(v);
        else
            *storeOf(static_cast<Field>(f)) = d.kind < 0
                                                  ? static_cast<float>(v)
                                                  : FromDisplayUnits(static_cast<float>(v), d.kind);
    }
    return mode;
}

std::string AutoTargetText(int mode) {
    // A negative mode names the limit of the other mode's quantity (the rate limit of Hold
    // Pressure is -kAutoRate).
    const AutoSettingsRecord& s = AutoSettings;
    const bool metric = settings::MetricUnits();
    if (mode == kAutoRate || mode == -kAutoRate) {
        const float rate = mode == kAutoRate ? s.TargetRate : s.LimitRate;
        return operation::NumberText(ToDisplayUnits(rate, settings::kUnitRate), 2) +
               (metric ? " m3/min" : " bbl/min");
    }
    const float psi = mode == kAutoPressure ? s.TargetPressure : s.LimitPressure;
    return metric
               ? operation::NumberText(ToDisplayUnits(psi, settings::kUnitPressureMpa), 2) + " MPa"
               : operation::NumberText(psi, 0) + " psi";
}

void ShowTargetReadout() {
    showActive();
    showOnBanner();
    const int mode = AutoSettings.AutoMode;
    for (int panel : BankPanel) {
        if (panel == 0) continue;
        const bool on = mode == kAutoRate || mode == kAutoPressure;
        setVisible(panel, BANK_TARGET_CAPTION, on);
        setVisible(panel, BANK_TARGET_VALUE, on);
        if (!on) continue;
        const bool rate = mode == kAutoRate;
        ui::SetCtrlVal(panel, BANK_TARGET_CAPTION, rate ? "Target BPM :" : "Target PSI :");
        ui::SetCtrlAttribute(panel, BANK_TARGET_VALUE, ui::ATTR_PRECISION, rate ? 2 : 0);
        ui::SetCtrlVal(
            panel, BANK_TARGET_VALUE,
            static_cast<double>(rate ? AutoSettings.TargetRate : AutoSettings.TargetPressure));
    }
}

void ShowAutoMessage(const std::string& text, int colour) {
    if (AutoPanel == 0) return;
    ui::SetCtrlAttribute(AutoPanel, AUTO_MESSAGE, ui::ATTR_TEXT_COLOR, colour);
    ui::SetCtrlVal(AutoPanel, AUTO_MESSAGE, text);
}

void ClearAutoMessage() {
    if (g.offNotice.empty())
        ShowAutoMessage("", ui::VAL_GREEN);
    else
        ShowAutoMessage(g.offNotice, ui::VAL_RED);
}

void ShowAutoFleetValues(float rate, float pressure) {
    if (AutoPanel == 0) return;
    ui::SetCtrlVal(AutoPanel, AUTO_RATE_GAUGE, static_cast<double>(rate));
    ui::SetCtrlVal(AutoPanel, AUTO_PRESSURE_GAUGE,
                   settings::MetricUnits() ? static_cast<double>(pressure)
                                           : static_cast<double>(pressure) / 1000.0);
    ui::SetCtrlVal(AutoPanel, AUTO_RATE, static_cast<double>(rate));
    ui::SetCtrlVal(AutoPanel, AUTO_PRESSURE, static_cast<double>(pressure));
}

int AutoTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    ShowAutoFleetValues(SelectedPumpsRate, AverageDischargePressure);
    // The emergency stop ends automatic control: when the loop closes again the pumps stay
    // at idle until the operator raises them (or applies a mode again).
    if (AutoModeActive() && EStopActive() != 0) ChangeAutoMode(kAutoOff, AutoModeCause::EStop);
    // So does the inline trip while it holds: a mode applied meanwhile ends at once.
    if (AutoModeActive() && InlineTripHolds()) ChangeAutoMode(kAutoOff, AutoModeCause::InlineTrip);
    if (!AutoControllerTick()) {
        showOnBanner();  // the pumps it holds with may come and go between steps
        return 0;
    }
    const std::string shortfall = shortfallText();
    if (!shortfall.empty() && shortfall != g.shortfallJournalled)
        journal::Record(journal::kNoPump, journal::Kind::Command,
                        "Automatic control: " + shortfall);
    g.shortfallJournalled = shortfall;
    showOnBanner();
    if (!shortfall.empty())
        ShowAutoMessage(shortfall, ui::VAL_RED);
    else if (AutoControllerMessage().empty())
        ClearAutoMessage();
    else
        ShowAutoMessage(AutoControllerMessage(), ui::VAL_RED);
    return 0;
}

void ShowAutoControlPanel(int, int, void*, int) {
    if (AutoPanel == 0) return;
    showRadios(AutoSettings.AutoMode);
    ShowAutoValues();
    setPending(false);
    ui::DisplayPanel(AutoPanel);
}

int CloseAutoPanel(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    ui::HidePanel(AutoPanel);  // the timer keeps the controller running
    return 0;
}

int RadioSelectionChange(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != AutoModePage) return 0;
    showRadios(control == MODE_RATE       ? kAutoRate
               : control == MODE_PRESSURE ? kAutoPressure
                                          : kAutoOff);
    setPending(true);
    return 0;
}

int AutoValueChanged(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK) {
        KeypadField field;  // named by the field's own label
        field.units = unitsOf(panel, control);
        OpenKeypadFor(panel, control, 0, field, valueEntered);
        return 0;
    }
    if (event == ui::EVENT_VAL_CHANGED) setPending(true);
    return 0;
}

int SetAutoMode(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int mode = ReadAutoPanel();
    ChangeAutoMode(mode, AutoModeCause::Operator);
    const AutoSettingsRecord& s = AutoSettings;
    settings::WriteSetting(settings::kTargetRate, s.TargetRate);
    settings::WriteSetting(settings::kTargetPressure, s.TargetPressure);
    settings::WriteSetting(settings::kLimitRate, s.LimitRate);
    settings::WriteSetting(settings::kLimitPressure, s.LimitPressure);
    settings::WriteSetting(settings::kRpmStep, s.RpmStep);
    settings::WriteSetting(settings::kSamplingTime, s.SamplingTime);
    settings::WriteSetting(settings::kPressureTolerance, s.PressureTolerance);
    settings::WriteSetting(settings::kRateTolerance, s.RateTolerance);
    StepCountdown = 0;
    ClearAutoMessage();
    ShowAutoValues();
    setPending(false);
    return 0;
}

void InstallAutoControl() {
    AddUnitsChangedHook(unitsChanged);
}

void BindAutoControlCallbacks() {
    BindMenuCallback("ShowAutoControlPanel", ShowAutoControlPanel);
    BindCtrlCallback("CloseAutoPanel", CloseAutoPanel);
    BindCtrlCallback("RadioSelectionChange", RadioSelectionChange);
    BindCtrlCallback("AutoValueChanged", AutoValueChanged);
    BindCtrlCallback("SetAutoMode", SetAutoMode);
    BindCtrlCallback("AutoTimer", AutoTimer);
}

void DiscardAutoControl() {
    if (AutoPanel != 0 && ui::PanelExists(AutoPanel)) ui::DiscardPanel(AutoPanel);
    AutoPanel = AutoModePage = AutoSettingsPage = 0;
}

void ResetAutoControl() {
    g = {};
    ResetAutoController();
}
VNK_MODULE_STATE_RESET(autocontrol, auto_panel, g, ResetAutoControl)

}  // namespace autocontrol
