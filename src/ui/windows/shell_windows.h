// The small windows of the shell: the E-stop alert, the splash / About window, the
// display preferences ("vnk.uir" windows 5, 6, 7) and the confirmation dialog of the
// fleet-wide commands ("message.uir" window 1).
#pragma once

namespace windows {

enum EStopCtrl {
    ESTOP_TEXT = 2,
    ESTOP_OK = 3,  // Info_OK
};

enum SplashCtrl {
    SPLASH_MESSAGE = 2,    // start-up progress text
    SPLASH_ANIMATION = 3,  // 0..25, stepped by the splash animation
    SPLASH_PRODUCT = 4,
    SPLASH_MAKER = 5,
    SPLASH_VERSION = 6,
};
constexpr int kSplashAnimationMax = 25;

enum PreferencesCtrl {
    PREF_PUMPS_SHOWN = 2,  // ring: item values 0, 1, 2 = 8, 16, 24 pumps (SelectPumpShown)
    PREF_OK = 3,           // SetPreferences
    PREF_CLOSE = 4,        // ClosePreferencePanel
    PREF_NIGHT = 5,        // tick box: the night palette
};

enum ConfirmCtrl {
    CONFIRM_QUESTION = 2,
    CONFIRM_ACTION = 3,  // hidden: the action code
    CONFIRM_YES = 4,     // the confirming button is control 4
    CONFIRM_NO = 5,
};

void BuildEStopWindow(int panel);
void BuildSplashWindow(int panel);
void BuildPreferencesWindow(int panel);
void BuildConfirmDialog(int panel);

}  // namespace windows
