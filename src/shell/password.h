// The system password that guards the per-pump hardware configuration and the control-mode
// settings: the prompt and the change dialog ("password.uir"), entered on the keypad and
// shown as stars. The stored password is the settings-store value "pwd"
// (settings/registry_settings.h).
#pragma once

#include <string>

namespace shell {

// What a correct password opens: a configure button's control id (the hardware window of
// that pump), or -1 for the control-mode settings.
extern int& PasswordTarget;
constexpr int kPasswordTargetControlMode = -1;
constexpr int kPasswordTargetRemote = -2;  // the remote-monitoring settings
// The zero of a pump whose discharge reads above the guard, which the operator said yes to
// (operation::ZeroAnywayGranted).
constexpr int kPasswordTargetZeroAnyway = -3;

// The windows behind the two targets, each installed by the module that owns it without
// touching the other. Until one is installed, a correct password for it only closes the
// prompt.
using PasswordTargetOpener = void (*)();
void SetControlModeOpener(PasswordTargetOpener open);
void SetHardwareWindowOpener(PasswordTargetOpener open);
void SetRemoteMonitoringOpener(PasswordTargetOpener open);
// Removes the openers (they are start-up's wiring, which a reset of the modules' state keeps).
void ResetPasswordWiring();

// Opens the prompt over parent (an earlier prompt is discarded). Callers set PasswordTarget.
void ShowPasswordPrompt(int parent);
// Handles of the open prompt and change dialog, 0 when closed.
int PasswordPromptPanel();
int PasswordChangePanel();

// Menu: the control-mode settings, behind the password.
void Load_Setup_Panel(int menuBar, int menuItem, void* data, int panel);
// Menu: the remote-monitoring settings, behind the password.
void Load_Remote_Panel(int menuBar, int menuItem, void* data, int panel);

// Window callbacks.
int passOK(int panel, int control, int event, void* data, int e1, int e2);
int passCancel(int panel, int control, int event, void* data, int e1, int e2);
int passChange(int panel, int control, int event, void* data, int e1, int e2);
int changePassOK(int panel, int control, int event, void* data, int e1, int e2);
int changePassCancel(int panel, int control, int event, void* data, int e1, int e2);
int SetPWD(int panel, int control, int event, void* data, int e1, int e2);
int SetPWD1(int panel, int control, int event, void* data, int e1, int e2);
int SetPWD2(int panel, int control, int event, void* data, int e1, int e2);
int Set_Password_Event(int panel, int control, int event, void* data, int e1, int e2);
int SetStars(int panel, int control, int event, void* data, int e1, int e2);
int SetStars2(int panel, int control, int event, void* data, int e1, int e2);

// The star text of a field's value: one star per division by ten while above 0.99.
std::string StarsFor(double value);

// Closed windows, target -1, no openers.
void ResetPassword();
void BindPasswordCallbacks();

}  // namespace shell
