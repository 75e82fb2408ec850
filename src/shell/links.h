// The Help menu's ways to the maker's support: the download page, e-mail, a file browser.
#pragma once

namespace shell {

constexpr const char* kSupportPage = "https://support.varnock.example/support/downloads.aspx?s=s";
constexpr const char* kSupportMail = "mailto:support@varnock.example";

void Check_Web(int menuBar, int item, void* data, int panel);
void Send_Email(int menuBar, int item, void* data, int panel);
void LaunchExplorer(int menuBar, int item, void* data, int panel);
void BindLinkCallbacks();

}  // namespace shell
