#include "ui/windows/shell_windows.h"

#include <string>

#include "platform/version.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

// This window's buttons are 140 x 56 unless it says otherwise.
ui::Control& button(int panel, int id, const char* label, int top, int left, const char* callback,
                    int width = 140, int height = 56) {
    return AddButton(panel, id, label, top, left, width, height, callback);
}

}  // namespace

void BuildEStopWindow(int panel) {
    SizePanel(panel, 520, 260, kAlarmBack, "Emergency Stop");
    ui::Control& text =
        AddCaption(panel, ESTOP_TEXT, "EMERGENCY STOP\nAll pumps sent to idle (minimum speed)", 30,
                   20, 480, 120);
    text.textColor = ui::VAL_RED;
    text.bgColor = kAlarmBack;
    button(panel, ESTOP_OK, "OK", 180, 190, "Info_OK");
}

void BuildSplashWindow(int panel) {
    SizePanel(panel, 560, 320, kNormalBack, "VNK PC");
    ui::Control& product = AddCaption(panel, SPLASH_PRODUCT, "VNK PC", 30, 20, 520, 48);
    product.textColor = ui::VAL_YELLOW;
    AddCaption(panel, SPLASH_MAKER, "Varnock frac pump operator station", 90, 20, 520, 24);
    AddCaption(panel, SPLASH_VERSION, std::string("Version ") + platform::ProgramVersion(), 120, 20,
               520, 24);
    ui::Control& bar = ui::AddCtrl(panel, SPLASH_ANIMATION, ui::CTRL_SLIDE, "", 170, 20, 520, 24);
    bar.minValue = 0.0;
    bar.maxValue = kSplashAnimationMax;
    bar.precision = 0;
    bar.mode = ui::MODE_INDICATOR;
    ui::Control& message =
        ui::AddCtrl(panel, SPLASH_MESSAGE, ui::CTRL_STRING, "", 220, 20, 520, 30);
    message.mode = ui::MODE_INDICATOR;
    message.bgColor = kNormalBack;
    message.textColor = kCaptionText;
}

void BuildPreferencesWindow(int panel) {
    SizePanel(panel, 420, 260, kNormalBack, "Display Preferences");
    ui::AddCtrl(panel, PREF_PUMPS_SHOWN, ui::CTRL_RING, "Pumps Shown", 40, 40, 340, 48);
    ui::InsertListItem(panel, PREF_PUMPS_SHOWN, -1, "8 Pumps (1-8)", 0);
    ui::InsertListItem(panel, PREF_PUMPS_SHOWN, -1, "16 Pumps (1-16)", 1);
    ui::InsertListItem(panel, PREF_PUMPS_SHOWN, -1, "24 Pumps (1-24)", 2);
    Attach(panel, PREF_PUMPS_SHOWN, "SelectPumpShown");
    ui::Control& night =
        ui::AddCtrl(panel, PREF_NIGHT, ui::CTRL_CHECKBOX, "Night Colours", 104, 40, 340, 48);
    night.kind = ui::ValueKind::Integer;
    night.textColor = kCaptionText;
    night.bgColor = kNormalBack;
    Attach(panel, PREF_NIGHT, "Do_Nothing");  // OK applies it
    button(panel, PREF_OK, "OK", 180, 40, "SetPreferences");
    button(panel, PREF_CLOSE, "Close", 180, 240, "ClosePreferencePanel");
}

void BuildConfirmDialog(int panel) {
    SizePanel(panel, 480, 240, kNormalBack, "");
    ui::Control& question = AddCaption(panel, CONFIRM_QUESTION, "", 30, 20, 440, 80);
    question.textColor = ui::VAL_WHITE;
    ui::Control& action = AddNumeric(panel, CONFIRM_ACTION, "", 0, 0, 10, 10, 0.0, 3.0, 0);
    action.kind = ui::ValueKind::Integer;
    action.visible = false;
    button(panel, CONFIRM_YES, "Yes", 150, 60, "InfoSelect");
    button(panel, CONFIRM_NO, "No", 150, 280, "InfoSelect");
}

}  // namespace windows
