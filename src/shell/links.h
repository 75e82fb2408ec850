// The Help menu's ways to the maker's support: the download page, e-mail, a file browser.
// When no program on the computer opens one, a message says so (it would go unseen on stderr).
#pragma once

#include <string>

namespace shell {

constexpr const char* kSupportPage = "https://support.varnock.example/support/downloads.aspx?s=s";
constexpr const char* kSupportMail = "mailto:support@varnock.example";

// The message's text for a link or folder nothing could open.
std::string NotOpenedText(const std::string& what);

void Check_Web(int menuBar, int item, void* data, int panel);
void Send_Email(int menuBar, int item, void* data, int panel);
void LaunchExplorer(int menuBar, int item, void* data, int panel);
void BindLinkCallbacks();

}  // namespace shell
