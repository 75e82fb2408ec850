// The "Remote Monitoring..." window of the Setup menu (opened through the system password)
// and the bank windows' line that shows remote monitoring failing.
#pragma once

#include <string>

namespace remote {

// Opens the window with the stored settings (or brings the open one up).
void ShowRemotePanel();
// Handle of the open window, 0 when closed.
int RemotePanel();
// The bank windows' status line and the open window, from the publisher's status.
void ShowRemoteStatus();
// A notice of the station's own that takes the bank windows' status line for `seconds`
// (the restart after an unexpected end); the remote monitoring status has the line back
// after it.
void ShowBankNotice(const std::string& text, double seconds);

int RemoteEdited(int panel, int control, int event, void* data, int e1, int e2);
int ApplyRemote(int panel, int control, int event, void* data, int e1, int e2);
int CloseRemote(int panel, int control, int event, void* data, int e1, int e2);
int RemoteStatusTick(int panel, int control, int event, void* data, int e1, int e2);

void BindRemotePanelCallbacks();
void ResetRemotePanel();
void RegisterRemotePanelStates();

}  // namespace remote
