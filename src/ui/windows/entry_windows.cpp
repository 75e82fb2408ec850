#include "ui/windows/entry_windows.h"

#include <string>

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

// This window's buttons are 120 x 56 unless it says otherwise.
ui::Control& button(int panel, int id, const char* label, int top, int left, const char* callback,
                    int width = 120, int height = 56) {
    return AddButton(panel, id, label, top, left, width, height, callback);
}

// A hidden password field and the star display the operator taps to edit it.
void passwordEntry(int panel, int valueId, int starsId, int top, const char* tapCallback) {
    ui::Control& value =
        AddNumeric(panel, valueId, "", top, 40, 300, 44, kPasswordMin, kPasswordMax, 0);
    value.visible = false;
    Attach(panel, valueId, "Set_Password_Event");
    ui::Control& stars = ui::AddCtrl(panel, starsId, ui::CTRL_STRING, "", top, 40, 300, 44);
    stars.bgColor = ui::VAL_WHITE;
    stars.textColor = ui::VAL_BLACK;
    Attach(panel, starsId, tapCallback);
}

}  // namespace

void BuildPasswordPrompt(int panel) {
    SizePanel(panel, 380, 250, kNormalBack, "System Password");
    AddCaption(panel, PWD_CAPTION, "Enter the system password", 16, 40, 300, 24);
    passwordEntry(panel, PWD_VALUE, PWD_STARS, 48, "SetPWD");
    button(panel, PWD_OK, "OK", 120, 16, "passOK", 110);
    button(panel, PWD_CANCEL, "Cancel", 120, 135, "passCancel", 110);
    button(panel, PWD_CHANGE, "Change", 120, 254, "passChange", 110);
    AddTimer(panel, PWD_TIMER, kStarsInterval, "SetStars");
}

void BuildPasswordChange(int panel) {
    SizePanel(panel, 380, 330, kNormalBack, "Change System Password");
    AddCaption(panel, CHG_CAPTION_NEW, "New password", 16, 40, 300, 24);
    passwordEntry(panel, CHG_NEW_VALUE, CHG_NEW_STARS, 44, "SetPWD1");
    AddCaption(panel, CHG_CAPTION_CONFIRM, "Confirm new password", 100, 40, 300, 24);
    passwordEntry(panel, CHG_CONFIRM_VALUE, CHG_CONFIRM_STARS, 128, "SetPWD2");
    button(panel, CHG_OK, "OK", 220, 40, "changePassOK", 130);
    button(panel, CHG_CANCEL, "Cancel", 220, 210, "changePassCancel", 130);
    AddTimer(panel, CHG_TIMER, kStarsInterval, "SetStars2");
}

void BuildKeypad(int panel) {
    SizePanel(panel, kNumpadWidth, kNumpadHeight, kNormalBack, "Keypad");
    AddCaption(panel, NUMPAD_CAPTION, "", 6, 20, 375, 34);
    ui::Control& display = ui::AddCtrl(panel, NUMPAD_DISPLAY, ui::CTRL_STRING, "", 42, 20, 375, 58);
    display.mode = ui::MODE_INDICATOR;
    display.bgColor = ui::VAL_WHITE;
    display.textColor = ui::VAL_BLACK;

    // 7 8 9 / 4 5 6 / 1 2 3 / sign 0 point: keys of 115 x 80 pixels.
    const int layout[4][3] = {{7, 8, 9}, {4, 5, 6}, {1, 2, 3}, {-1, 0, -2}};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            int key = layout[r][c];
            int top = 108 + r * 90;
            int left = 20 + c * 130;
            if (key >= 0)
                button(panel, NUMPAD_DIGIT_0 + key, std::to_string(key).c_str(), top, left,
                       "SetNumString", 115, 80);
            else if (key == -1)
                button(panel, NUMPAD_SIGN, "+/-", top, left, "SetNumString", 115, 80);
            else
                button(panel, NUMPAD_POINT, ".", top, left, "SetNumString", 115, 80);
        }
    }
    button(panel, NUMPAD_BACKSPACE, "<-", 466, 20, "SetNumString", 115, 90);
    button(panel, NUMPAD_CANCEL, "Cancel", 466, 150, "QuitNumPad", 115, 90);
    ui::Control& ok = button(panel, NUMPAD_OK, "OK", 466, 280, "QuitNumPad", 115, 90);
    ok.bgColor = ui::VAL_GREEN;

    for (int id : {NUMPAD_TARGET_PANEL, NUMPAD_TARGET_CTRL}) {
        ui::Control& hidden = AddNumeric(panel, id, "", 0, 0, 10, 10, 0.0, 1e9, 0);
        hidden.kind = ui::ValueKind::Integer;
        hidden.visible = false;
    }
    AttachPanel(panel, "PanelEvents");
}

}  // namespace windows
