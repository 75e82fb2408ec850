#include "shell/password.h"

#include <cmath>
#include <cstdio>

#include "operation/commands.h"
#include "operation/numpadcode.h"
#include "platform/module_state.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/window_support.h"

using namespace operation;

namespace shell {

namespace {

struct PasswordState {
    int PasswordTarget = kPasswordTargetControlMode;
    int prompt = 0;  // the open prompt, 0 when closed
    int change = 0;  // the open change dialog, 0 when closed
    bool operator==(const PasswordState&) const = default;
};
PasswordState g;

// Start-up's wiring, not the run's state: the windows behind the targets.
struct PasswordWiring {
    PasswordTargetOpener openControlMode = nullptr;
    PasswordTargetOpener openHardware = nullptr;
    PasswordTargetOpener openRemote = nullptr;
};
PasswordWiring g_wiring;
}  // namespace

int& PasswordTarget = g.PasswordTarget;

namespace {

// The entry as the stored password is written: a whole number, no leading zeros.
std::string formatted(int panel, int control) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", ui::GetCtrlDouble(panel, control));
    return buf;
}

void discard(int& panel) {
    if (panel != 0 && ui::PanelExists(panel)) ui::DiscardPanel(panel);
    panel = 0;
}

// The keypad on a password field: named as its window names it, and showing stars for
// every digit typed.
void openKeypadOn(int panel, int control) {
    const ui::Panel* window = ui::FindPanel(panel);
    const bool change = window != nullptr && window->resourceId == windows::PASSWORD_CHANGE;
    KeypadField field;
    field.name = !change                                 ? "System password"
                 : control == windows::CHG_CONFIRM_VALUE ? "Confirm new password"
                                                         : "New password";
    field.secret = true;
    OpenKeypadFor(panel, control, 0, field, nullptr);
}

// Opens the keypad, empty, on a password field and hides what it held behind four stars.
void openEntry(int panel, int field, int stars) {
    openKeypadOn(panel, field);
    ui::SetCtrlVal(panel, stars, "****");
}

void showStars(int panel, int field, int stars) {
    ui::SetCtrlVal(panel, stars, StarsFor(ui::GetCtrlDouble(panel, field)));
}

}  // namespace

void SetControlModeOpener(PasswordTargetOpener open) {
    g_wiring.openControlMode = open;
}

void SetHardwareWindowOpener(PasswordTargetOpener open) {
    g_wiring.openHardware = open;
}

void SetRemoteMonitoringOpener(PasswordTargetOpener open) {
    g_wiring.openRemote = open;
}

void ResetPasswordWiring() {
    g_wiring = {};
}

void ShowPasswordPrompt(int parent) {
    discard(g.prompt);
    int handle = ui::LoadPanel(parent, windows::kPasswordUir, windows::PASSWORD_PROMPT);
    if (handle < 0) return;
    g.prompt = handle;
    ui::DisplayPanel(g.prompt);
    ui::SetCtrlAttribute(g.prompt, windows::PWD_TIMER, ui::ATTR_ENABLED, 1);
}

int PasswordPromptPanel() {
    return ui::PanelExists(g.prompt) ? g.prompt : 0;
}
int PasswordChangePanel() {
    return ui::PanelExists(g.change) ? g.change : 0;
}

void Load_Setup_Panel(int, int, void*, int panel) {
    PasswordTarget = kPasswordTargetControlMode;
    ShowPasswordPrompt(panel);
}

void Load_Remote_Panel(int, int, void*, int panel) {
    PasswordTarget = kPasswordTargetRemote;
    ShowPasswordPrompt(panel);
}

int passOK(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const std::string stored = settings::ReadPassword();
    if (formatted(panel, windows::PWD_VALUE) != stored) {
        ui::MessagePopup("Access Denied", "The system password is required.");
        ui::SetCtrlVal(panel, windows::PWD_VALUE, 0.0);
        return 0;
    }
    PasswordTargetOpener open = PasswordTarget == kPasswordTargetControlMode
                                    ? g_wiring.openControlMode
                                : PasswordTarget == kPasswordTargetRemote ? g_wiring.openRemote
                                : PasswordTarget == kPasswordTargetZeroAnyway
                                    ? operation::ZeroAnywayGranted
                                    : g_wiring.openHardware;
    if (open != nullptr) open();
    if (panel == g.prompt) g.prompt = 0;
    if (ui::PanelExists(panel)) ui::DiscardPanel(panel);
    return 0;
}

int passCancel(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (panel == g.prompt) g.prompt = 0;
    ui::DiscardPanel(panel);
    return 0;
}

int passChange(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const std::string stored = settings::ReadPassword();
    if (formatted(panel, windows::PWD_VALUE) != stored) {
        ui::MessagePopup("Access Denied", "The current system password is required.");
        return 0;
    }
    discard(g.change);
    const ui::Panel* prompt = ui::FindPanel(panel);
    int parent = prompt != nullptr ? prompt->parent : 0;
    int handle = ui::LoadPanel(parent, windows::kPasswordUir, windows::PASSWORD_CHANGE);
    if (handle < 0) return 0;
    g.change = handle;
    ui::DisplayPanel(g.change);
    ui::SetCtrlAttribute(g.change, windows::CHG_TIMER, ui::ATTR_ENABLED, 1);
    return 0;
}

int changePassOK(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const std::string entered = formatted(panel, windows::CHG_NEW_VALUE);
    const std::string confirmed = formatted(panel, windows::CHG_CONFIRM_VALUE);
    const unsigned char first = entered.empty() ? 0 : static_cast<unsigned char>(entered[0]);
    if (entered != confirmed || first <= 0x20 || first >= 0x7F) {
        ui::MessagePopup("Verification Failed", "Please re-enter the new password.");
        return 0;
    }
    settings::WritePassword(entered);
    if (panel == g.change) g.change = 0;
    ui::DiscardPanel(panel);
    // The prompt behind still held the old password: it waits for the new one, empty.
    if (PasswordPromptPanel() != 0) {
        ui::SetCtrlVal(g.prompt, windows::PWD_VALUE, 0.0);
        showStars(g.prompt, windows::PWD_VALUE, windows::PWD_STARS);
    }
    ui::MessagePopup("Password Change Successful", "The system password has been changed.");
    return 0;
}

int changePassCancel(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (panel == g.change) g.change = 0;
    ui::DiscardPanel(panel);
    return 0;
}

int SetPWD(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK) openEntry(panel, windows::PWD_VALUE, windows::PWD_STARS);
    return 0;
}

int SetPWD1(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK)
        openEntry(panel, windows::CHG_NEW_VALUE, windows::CHG_NEW_STARS);
    return 0;
}

int SetPWD2(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK)
        openEntry(panel, windows::CHG_CONFIRM_VALUE, windows::CHG_CONFIRM_STARS);
    return 0;
}

int Set_Password_Event(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK) return 0;
    openKeypadOn(panel, control);
    return 0;
}

int SetStars(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) showStars(panel, windows::PWD_VALUE, windows::PWD_STARS);
    return 0;
}

int SetStars2(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    showStars(panel, windows::CHG_NEW_VALUE, windows::CHG_NEW_STARS);
    showStars(panel, windows::CHG_CONFIRM_VALUE, windows::CHG_CONFIRM_STARS);
    return 0;
}

std::string StarsFor(double value) {
    std::string stars;
    // The fields' range keeps this short; the bound only guards a value that is not finite.
    while (value > 0.99 && stars.size() < 64) {
        value /= 10.0;
        stars += '*';
    }
    return stars;
}

void ResetPassword() {
    discard(g.prompt);
    discard(g.change);
    g = {};
}
VNK_MODULE_STATE_RESET(shell, password, g, ResetPassword)

void BindPasswordCallbacks() {
    windows::BindMenuCallback("Load_Setup_Panel", Load_Setup_Panel);
    windows::BindMenuCallback("Load_Remote_Panel", Load_Remote_Panel);
    windows::BindCtrlCallback("passOK", passOK);
    windows::BindCtrlCallback("passCancel", passCancel);
    windows::BindCtrlCallback("passChange", passChange);
    windows::BindCtrlCallback("changePassOK", changePassOK);
    windows::BindCtrlCallback("changePassCancel", changePassCancel);
    windows::BindCtrlCallback("SetPWD", SetPWD);
    windows::BindCtrlCallback("SetPWD1", SetPWD1);
    windows::BindCtrlCallback("SetPWD2", SetPWD2);
    windows::BindCtrlCallback("Set_Password_Event", Set_Password_Event);
    windows::BindCtrlCallback("SetStars", SetStars);
    windows::BindCtrlCallback("SetStars2", SetStars2);
}

}  // namespace shell
