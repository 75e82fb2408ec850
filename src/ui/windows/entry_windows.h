// The windows through which the operator enters numbers: the password prompt and the
// change-password dialog ("password.uir" windows 2 and 3), and the numeric keypad
// ("numpad.uir" window 1).
#pragma once

namespace windows {

// The password fields hold the number typed on the keypad and are never shown; the star
// displays beside them are what the operator sees and taps.
enum PasswordPromptCtrl {
    PWD_VALUE = 2,
    PWD_STARS = 3,   // SetPWD on a left click
    PWD_OK = 4,      // passOK
    PWD_CANCEL = 5,  // passCancel
    PWD_CHANGE = 6,  // passChange
    PWD_TIMER = 7,   // SetStars
    PWD_CAPTION = 8,
};

enum PasswordChangeCtrl {
    CHG_NEW_VALUE = 2,
    CHG_NEW_STARS = 3,  // SetPWD1
    CHG_CONFIRM_VALUE = 4,
    CHG_CONFIRM_STARS = 5,  // SetPWD2
    CHG_OK = 6,             // changePassOK
    CHG_CANCEL = 7,         // changePassCancel
    CHG_TIMER = 8,          // SetStars2
    CHG_CAPTION_NEW = 9,
    CHG_CAPTION_CONFIRM = 10,
};

// The password fields' range keeps their "%.0f" text far below the 63 characters a
// password may have.
constexpr double kPasswordMin = -1e15;
constexpr double kPasswordMax = 1e15;
constexpr double kStarsInterval = 0.25;

enum NumpadCtrl {
    NUMPAD_DISPLAY = 2,
    NUMPAD_DIGIT_0 = 10,  // digits 0..9 are 10..19
    NUMPAD_POINT = 20,
    NUMPAD_SIGN = 21,
    NUMPAD_BACKSPACE = 22,
    NUMPAD_OK = 23,
    NUMPAD_CANCEL = 24,
    NUMPAD_TARGET_PANEL = 25,  // hidden: the window of the field being edited
    NUMPAD_TARGET_CTRL = 26,   // hidden: the field being edited
    NUMPAD_CAPTION = 27,       // what is edited and its range, above the display
};

constexpr int kNumpadWidth = 415;
constexpr int kNumpadHeight = 580;
// Maximum entry length of the keypad's display.
constexpr int kNumpadDisplayLength = 20;

// Keys as the keypad window receives them: EVENT_KEYPRESS with the character code in the
// first event word. Keys without a character use these codes.
constexpr int kKeyBackspace = 0x08;
constexpr int kKeyEnter = 0x0D;
constexpr int kKeyDelete = 0x7F;

void BuildPasswordPrompt(int panel);
void BuildPasswordChange(int panel);
void BuildKeypad(int panel);

}  // namespace windows
