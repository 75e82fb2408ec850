#include "shell/links.h"

#include "platform/program_dir.h"
#include "platform/system.h"
#include "ui/windows/window_support.h"

namespace shell {

void Check_Web(int, int, void*, int) {
    platform::systemBackEnd().openLink(kSupportPage);
}

void Send_Email(int, int, void*, int) {
    platform::systemBackEnd().openLink(kSupportMail);
}

// The desktop's file manager, on the program folder: xdg-open hands a folder to whichever
// file manager the desktop has chosen (without an argument it only prints its usage).
void LaunchExplorer(int, int, void*, int) {
    platform::systemBackEnd().launch("xdg-open", {platform::GetProjectDir()});
}

void BindLinkCallbacks() {
    windows::BindMenuCallback("Check_Web", Check_Web);
    windows::BindMenuCallback("Send_Email", Send_Email);
    windows::BindMenuCallback("LaunchExplorer", LaunchExplorer);
}

}  // namespace shell
