#include "shell/splash.h"

#include <string>

#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "ui/ui_model.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

namespace shell {

namespace {

struct SplashState {
    int splash = 0;  // the splash window (or About box), 0 when not loaded
    bool operator==(const SplashState&) const = default;
};
SplashState g;

void loadSplash() {
    CloseSplash();
    g.splash = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_SPLASH);
    if (g.splash < 0) g.splash = 0;
    if (g.splash == 0) return;
    ui::SetCtrlVal(g.splash, windows::SPLASH_MESSAGE, std::string());
    ui::DisplayPanel(g.splash);
}
}  // namespace

int SplashPanel() {
    return g.splash;
}

void AnimateSplash() {
    if (g.splash == 0) return;
    const int bar = windows::SPLASH_ANIMATION;
    ui::SetCtrlAttribute(g.splash, bar, ui::ATTR_VISIBLE, 0);
    ui::SetCtrlVal(g.splash, bar, 0);
    platform::ProcessDrawEvents();
    platform::Delay(0.04);
    ui::SetCtrlAttribute(g.splash, bar, ui::ATTR_VISIBLE, 1);
    platform::ProcessDrawEvents();
    for (int v = 1; v <= windows::kSplashAnimationMax && g.splash != 0; ++v) {
        platform::Delay(0.04);
        if (g.splash == 0) break;  // closed while waiting
        ui::SetCtrlVal(g.splash, bar, v);
        platform::ProcessDrawEvents();
    }
}

void ShowSplash() {
    loadSplash();
    AnimateSplash();
}

void SetSplashMessage(const char* message) {
    if (g.splash == 0) return;
    ui::SetCtrlVal(g.splash, windows::SPLASH_MESSAGE, std::string(message));
    platform::ProcessDrawEvents();
    platform::Delay(0.5);
}

void CloseSplash() {
    if (g.splash != 0 && ui::PanelExists(g.splash)) ui::DiscardPanel(g.splash);
    g.splash = 0;
}

void Display_Help_About(int, int, void*, int) {
    loadSplash();
    if (g.splash == 0) return;
    ui::SetCtrlVal(g.splash, windows::SPLASH_MESSAGE, std::string(kAboutCloseHint));
    AnimateSplash();
    if (g.splash != 0) ui::InstallPanelCallback(g.splash, Close_Help_About);
}

int Close_Help_About(int panel, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK || event == ui::EVENT_LOST_FOCUS ||
        event == ui::EVENT_CLOSE) {
        if (panel == g.splash) g.splash = 0;
        ui::DiscardPanel(panel);
    }
    return 0;
}

void BindSplashCallbacks() {
    windows::BindMenuCallback("Display_Help_About", Display_Help_About);
}

void ResetSplash() {
    CloseSplash();
    g = {};
}
VNK_MODULE_STATE_RESET(shell, splash, g, ResetSplash)

}  // namespace shell
