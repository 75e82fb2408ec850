#include "shell/links.h"

#include "platform/system.h"
#include "ui/windows/window_support.h"

void Check_Web(int, int, void*, int) {
    platform::systemBackEnd().openLink(kSupportPage);
}

void Send_Email(int, int, void*, int) {
    platform::systemBackEnd().openLink(kSupportMail);
}

// The desktop's file manager, on the program folder.
void LaunchExplorer(int, int, void*, int) {
    platform::systemBackEnd().launch("xdg-open");
}

void BindLinkCallbacks() {
    windows::BindMenuCallback("Check_Web", Check_Web);
    windows::BindMenuCallback("Send_Email", Send_Email);
    windows::BindMenuCallback("LaunchExplorer", LaunchExplorer);
}
