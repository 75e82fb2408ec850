// The client window ("client.uir" window 1, titled "Trellmix PC"): the connection indicator,
// both ends' names and addresses, the message log and its buttons.
#pragma once

#include <string>

namespace windows {

inline const std::string kClientUir = "client.uir";

enum ClientCtrl {
    CLIENT_WINDOW = 1,     // resource id of the window
    CLIENT_CONNECTED = 2,  // LED: a connection is open
    CLIENT_LOCAL_ADDRESS = 3,
    CLIENT_LOCAL_NAME = 4,
    CLIENT_SERVER_ADDRESS = 5,
    CLIENT_SERVER_NAME = 6,
    CLIENT_LOG = 7,              // text box: the last messages
    CLIENT_CLEAR = 8,            // ClearScreenCB
    CLIENT_CHANGE_SERVER = 9,    // Change_Server
    CLIENT_CLOSE = 10,           // Close_Client
    CLIENT_TMR_WATCHDOG = 11,    // Watchdog
    CLIENT_CONNECTED_TEXT = 20,  // beside the LED: what the LED shows, in words
};

// The words beside the connection LED, lit and dark.
inline const std::string kClientConnectedText = "Connected";
inline const std::string kClientNotConnectedText = "Not Connected";

void BuildClientWindow(int panel);

}  // namespace windows
