// The splash window: start-up progress messages, and the same window as the About box.
#pragma once

namespace shell {

void ShowSplash();
void SetSplashMessage(const char* message);
void CloseSplash();
void AnimateSplash();
// The splash handle, 0 when not loaded.
int SplashPanel();

// About box: the splash window again, closed by a click or when it loses the focus. Its
// message field, empty on the About box otherwise, tells the operator so.
constexpr const char* kAboutCloseHint = "Tap anywhere to close";
void Display_Help_About(int menuBar, int item, void* data, int panel);
int Close_Help_About(int panel, int event, void* data, int e1, int e2);

void BindSplashCallbacks();
void ResetSplash();

}  // namespace shell
