#include "shell/splash.h"

#include <string>

#include "platform/event_loop.h"
#include "ui/ui_model.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

namespace {
int g_splash = 0;

void loadSplash() {
    CloseSplash();
    g_splash = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_SPLASH);
    if (g_splash < 0) g_splash = 0;
    if (g_splash == 0) return;
    ui::SetCtrlVal(g_splash, windows::SPLASH_MESSAGE, std::string());
    ui::DisplayPanel(g_splash);
}
}  // namespace

int SplashPanel() {
    return g_splash;
}

void AnimateSplash() {
    if (g_splash == 0) return;
    const int bar = windows::SPLASH_ANIMATION;
    ui::SetCtrlAttribute(g_splash, bar, ui::ATTR_VISIBLE, 0);
    ui::SetCtrlVal(g_splash, bar, 0);
    platform::ProcessDrawEvents();
    platform::Delay(0.04);
    ui::SetCtrlAttribute(g_splash, bar, ui::ATTR_VISIBLE, 1);
    platform::ProcessDrawEvents();
    for (int v = 1; v <= windows::kSplashAnimationMax && g_splash != 0; ++v) {
        platform::Delay(0.04);
        if (g_splash == 0) break;  // closed while waiting
        ui::SetCtrlVal(g_splash, bar, v);
        platform::ProcessDrawEvents();
    }
}

void ShowSplash() {
    loadSplash();
    AnimateSplash();
}

void SetSplashMessage(const char* message) {
    if (g_splash == 0) return;
    ui::SetCtrlVal(g_splash, windows::SPLASH_MESSAGE, std::string(message));
    platform::ProcessDrawEvents();
    platform::Delay(0.5);
}

void CloseSplash() {
    if (g_splash != 0 && ui::PanelExists(g_splash)) ui::DiscardPanel(g_splash);
    g_splash = 0;
}

void Display_Help_About(int, int, void*, int) {
    loadSplash();
    if (g_splash == 0) return;
    AnimateSplash();
    if (g_splash != 0) ui::InstallPanelCallback(g_splash, Close_Help_About);
}

int Close_Help_About(int panel, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK || event == ui::EVENT_LOST_FOCUS) {
        if (panel == g_splash) g_splash = 0;
        ui::DiscardPanel(panel);
    }
    return 0;
}

void BindSplashCallbacks() {
    windows::BindMenuCallback("Display_Help_About", Display_Help_About);
}

void ResetSplash() {
    CloseSplash();
}
