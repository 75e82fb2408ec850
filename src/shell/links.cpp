#include "shell/links.h"

#include <string>

#include "platform/program_dir.h"
#include "platform/system.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace shell {

namespace {

// The desktop says only later whether any program took the link: a link nothing opens is
// told to the operator, under the name of the menu item that asked for it.
platform::Opened tellIfNotOpened(int menuBar, int item, const std::string& what) {
    std::string title = "VNK PC";
    if (const ui::MenuBar* bar = ui::FindMenuBar(menuBar))
        for (const ui::MenuItem& m : bar->items)
            if (m.id == item) title = m.name;
    return [title, what](bool opened) {
        if (!opened) ui::MessagePopup(title, NotOpenedText(what));
    };
}

}  // namespace

std::string NotOpenedText(const std::string& what) {
    return "No program on this computer could open\n" + what;
}

void Check_Web(int menuBar, int item, void*, int) {
    platform::systemBackEnd().openLink(kSupportPage, tellIfNotOpened(menuBar, item, kSupportPage));
}

void Send_Email(int menuBar, int item, void*, int) {
    platform::systemBackEnd().openLink(kSupportMail, tellIfNotOpened(menuBar, item, kSupportMail));
}

// The desktop's file manager, on the program folder: xdg-open hands a folder to whichever
// file manager the desktop has chosen (without an argument it only prints its usage).
void LaunchExplorer(int menuBar, int item, void*, int) {
    const std::string folder = platform::GetProjectDir();
    platform::systemBackEnd().launch("xdg-open", {folder}, tellIfNotOpened(menuBar, item, folder));
}

void BindLinkCallbacks() {
    windows::BindMenuCallback("Check_Web", Check_Web);
    windows::BindMenuCallback("Send_Email", Send_Email);
    windows::BindMenuCallback("LaunchExplorer", LaunchExplorer);
}

}  // namespace shell
