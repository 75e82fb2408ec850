#include "ui/windows/autocontrol_window.h"

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 690;
constexpr int kPageBack = 0x203870;

// The mode buttons stand right of the values: the keypad, opened beside a value and never
// over a bank's STOP column, then opens left of them, and leaves them in sight.
constexpr int kRadioLeft = 410;
constexpr int kRadioWidth = 180;

ui::Control& radio(int panel, int id, const char* label, int top) {
    ui::Control& c =
        ui::AddCtrl(panel, id, ui::CTRL_CHECKBOX, label, top, kRadioLeft, kRadioWidth, 48);
    c.kind = ui::ValueKind::Integer;
    c.textColor = kCaptionText;
    c.bgColor = kPageBack;
    Attach(panel, id, "RadioSelectionChange");
    return c;
}

// A value field edited on the keypad; the ranges in force are set by the code for the units.
// Field and unit label take kFieldWidth + kUnitsGap + kUnitsWidth pixels: the longest unit,
// "m³/min", fits whole, and the right-hand pair ends clear of the tab page's frame.
constexpr int kFieldWidth = 120;
constexpr int kUnitsGap = 4;
constexpr int kUnitsWidth = 62;

ui::Control& valueField(int panel, int id, const char* label, int top, int left, double min,
                        double max, int precision) {
    ui::Control& c = AddNumeric(panel, id, label, top, left, kFieldWidth, 44, min, max, precision);
    Attach(panel, id, "AutoValueChanged");
    return c;
}

void unitLabel(int panel, int id, int top, int left) {
    AddCaption(panel, id, "", top + 12, left + kFieldWidth + kUnitsGap, kUnitsWidth, 24).bgColor =
        kPageBack;
}

void gauge(int panel, int id, int left, double max) {
    ui::Control& g = ui::AddCtrl(panel, id, ui::CTRL_GAUGE, "", 14, left, 190, 190);
    g.minValue = 0.0;
    g.maxValue = max;
    g.precision = 0;
    g.mode = ui::MODE_INDICATOR;
    g.textColor = ui::VAL_WHITE;
    g.bgColor = 0x101030;
    g.onColor = ui::VAL_RED;
}

}  // namespace

void BuildAutoControlWindow(int panel) {
    SizePanel(panel, kWidth, kHeight, kNormalBack, "Auto Control");
    gauge(panel, AUTO_RATE_GAUGE, 20, 200.0);
    gauge(panel, AUTO_PRESSURE_GAUGE, 230, 15.0);
    AddCaption(panel, AUTO_RATE_CAPTION, "Rate", 26, 440, 80, 24);
    AddReadout(panel, AUTO_RATE, "", 50, 440, 170, 44, -1e9, 1e9, 2);
    AddCaption(panel, AUTO_PRESSURE_CAPTION, "Pressure", 106, 440, 120, 24);
    AddReadout(panel, AUTO_PRESSURE, "", 130, 440, 170, 44, -1e9, 1e9, 0);
    // What runs, above the choice the pages hold (which waits for Apply while "Not applied"
    // shows beside it).
    AddCaption(panel, AUTO_ACTIVE, "Active: Off", 212, 20, 430, 30);
    ui::Control& pending = AddCaption(panel, AUTO_PENDING, "Not applied", 214, 460, 150, 28);
    pending.textColor = ui::VAL_YELLOW;
    pending.visible = false;
    ui::Control& message = AddCaption(panel, AUTO_MESSAGE, "", kAutoPageTop + kAutoPageHeight + 4,
                                      20, kAutoPageWidth, 28);
    message.text.clear();
    message.textColor = ui::VAL_GREEN;
    AddTimer(panel, AUTO_TIMER, 1.0, "AutoTimer");
    // The canvas the pages are shown on.
    ui::Control& tabs = ui::AddCtrl(panel, AUTO_TABS, ui::CTRL_TAB, "", kAutoPageTop, kAutoPageLeft,
                                    kAutoPageWidth, kAutoPageHeight);
    tabs.bgColor = 0xC0C0C0;
    // Apply on the right, under the mode buttons: the keypad, kept left of them, leaves it in
    // sight as well.
    AddButton(panel, AUTO_APPLY, "Apply", kHeight - 76, 460, 160, 60, "SetAutoMode");
    AddButton(panel, AUTO_CLOSE, "Close", kHeight - 76, 40, 160, 60, "CloseAutoPanel");
}

void BuildAutoModePage(int panel) {
    SizePanel(panel, kAutoPageWidth, kAutoPageHeight - 40, kPageBack, "");
    radio(panel, MODE_OFF, "Off", 20);
    radio(panel, MODE_RATE, "Hold Rate", 90);
    radio(panel, MODE_PRESSURE, "Hold Pressure", 170);
    ui::AddPanelKeepClear(panel, {kRadioLeft, 20, kRadioWidth, 198});
    // A target and its limit side by side, each with its unit label after it.
    constexpr int kTargetLeft = 20;
    constexpr int kLimitLeft = 214;
    valueField(panel, MODE_TARGET_RATE, "Target Rate", 60, kTargetLeft, 0.0, 200.0, 1);
    unitLabel(panel, MODE_TARGET_RATE_UNITS, 60, kTargetLeft);
    valueField(panel, MODE_LIMIT_PRESSURE, "Limit Pressure", 60, kLimitLeft, 0.0, 15000.0, 0);
    unitLabel(panel, MODE_LIMIT_PRESSURE_UNITS, 60, kLimitLeft);
    valueField(panel, MODE_TARGET_PRESSURE, "Target Pressure", 160, kTargetLeft, 0.0, 15000.0, 0);
    unitLabel(panel, MODE_TARGET_PRESSURE_UNITS, 160, kTargetLeft);
    valueField(panel, MODE_LIMIT_RATE, "Limit Rate", 160, kLimitLeft, 0.0, 200.0, 1);
    unitLabel(panel, MODE_LIMIT_RATE_UNITS, 160, kLimitLeft);
}

void BuildAutoSettingsPage(int panel) {
    SizePanel(panel, kAutoPageWidth, kAutoPageHeight - 40, kPageBack, "");
    valueField(panel, SETTINGS_RPM_STEP, "RPM Step", 40, 30, 100.0, 250.0, 0);
    ui::Control& sampling =
        valueField(panel, SETTINGS_SAMPLING_TIME, "Sampling Time", 140, 30, 6.0, 20.0, 0);
    sampling.kind = ui::ValueKind::Integer;
    DeclareDataType(kAutoControlUir, AUTO_SETTINGS_PAGE, SETTINGS_SAMPLING_TIME, VAL_SHORT_INTEGER);
    valueField(panel, SETTINGS_RATE_TOLERANCE, "Rate Tolerance", 40, 320, 0.8, 2.0, 1);
    unitLabel(panel, SETTINGS_RATE_TOLERANCE_UNITS, 40, 320);
    valueField(panel, SETTINGS_PRESSURE_TOLERANCE, "Pressure Tolerance", 140, 320, 80.0, 200.0, 0);
    unitLabel(panel, SETTINGS_PRESSURE_TOLERANCE_UNITS, 140, 320);
}

}  // namespace windows
