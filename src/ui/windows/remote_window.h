// The remote-monitoring settings window ("remote.uir" window 1, "Remote Monitoring"),
// behind the system password: the broker, the names the station publishes under, the
// credentials and TLS files, and the connection's status while it is open.
#pragma once

#include <string>

namespace windows {

inline const std::string kRemoteUir = "remote.uir";

enum RemoteCtrl {
    REMOTE_WINDOW = 1,  // resource id of the window
    REMOTE_ENABLED = 2,
    REMOTE_HOST = 3,
    REMOTE_PORT = 4,
    REMOTE_SITE = 5,
    REMOTE_STATION = 6,
    REMOTE_USER = 7,
    REMOTE_PASSWORD = 8,  // shows kRemotePasswordKept while the stored one is kept
    REMOTE_TLS = 9,
    REMOTE_CA_FILE = 10,
    REMOTE_CERT_FILE = 11,
    REMOTE_KEY_FILE = 12,
    REMOTE_STATUS = 13,      // one line: connected, or why not
    REMOTE_WAITING = 14,     // journal events the broker has not acknowledged
    REMOTE_APPLY = 15,       // ApplyRemote
    REMOTE_CLOSE = 16,       // CloseRemote
    REMOTE_TOPIC = 17,       // the topic root the settings give
    REMOTE_TMR_STATUS = 18,  // RemoteStatusTick, 1 s, while the window is open
    REMOTE_CAPTION_FIRST = 30,
};

// What the password field shows for a stored password that is kept as it is.
inline const std::string kRemotePasswordKept = "********";

void BuildRemoteWindow(int panel);

}  // namespace windows
