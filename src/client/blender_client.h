// The link to the blender computer ("Trellmix PC"): a TCP client of port 9017 (or
// VNK_BLENDER_PORT) at the configuration's ServerName. Each read is one message: its text goes
// to the log, to the blender status field of the bank windows and to the inline overpressure
// trip, and it is answered at once with the 292-byte block of the fleet's values. Replies go out
// whole, in order, through a queue of at most four waiting blocks. Nothing here waits: the
// connect, the reads and the writes are driven by the event loop, and a callback reads at most
// kMessagesPerTurn messages. The peer's close (or a broken connection) is shown after the
// messages that came before it.
//
// The link is the inline overpressure trip's only source: while that trip is on, a link that
// is down (or silent for two watchdog ticks) is an alarm and stands on the fleet banner, the
// reading shown is blanked, and the station connects again by itself on every watchdog tick.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace client {

constexpr int kBlenderDefaultPort = 9017;
constexpr std::size_t kReplySize = 292;
constexpr std::size_t kMaxMessage = 255;
// Messages read in one callback; the rest wait for the next turn of the loop. With 64, a
// megabyte of readings held the loop up to 54 ms past an E-stop sample; with 16, 12 ms.
constexpr int kMessagesPerTurn = 16;
constexpr std::size_t kMaxWaitingReplies = 4;
constexpr int kMaxLogLines = 11;
constexpr double kClientWatchdogInterval = 2.0;

// 9017, or VNK_BLENDER_PORT when it holds a valid port number.
int BlenderPort();

// Closes any open connection (its late events are ignored) and connects to ServerName; an
// empty name makes no attempt. The outcome shows on the menus and the client window.
void ConnectToServer();
// Disconnects, errors ignored (exit and server change).
void DisconnectClient();
bool ClientConnected();
bool ClientConnecting();

// The reply to a message, field by field: total rate, then per pump suction, discharge and rate
// (0.0 for a pump off line), little-endian f32.
std::array<std::uint8_t, kReplySize> BuildReply();

// The message log, oldest line first; never more than kMaxLogLines lines.
const std::vector<std::string>& ClientLog();
void ClearClientLog();

// Watchdog tick: two ticks without a message show the link lost; a link that is down is
// connected again.
void ClientWatchdogTick();
// The alarm of the link lost while the inline trip is on.
inline constexpr const char* kBlenderLinkLostName =
    "Blender link lost: inline overpressure protection off";
int ClientWatchdogCount();

// The client window (0 while there is none): the log and the status fields mirror into it.
void SetClientPanel(int panel);
int ClientPanel();

// Start-up: binds the client's callbacks (before any window is loaded).
void BindClientCallbacks();
// Start-up: loads the client window, starts its watchdog and connects.
void LoadClient();
// Exit: disconnects, errors ignored, and discards the client window.
void CloseClient();

// Callbacks.
void ConnectMenu(int menuBar, int menuItem, void* data, int panel);
void ShowClient(int menuBar, int menuItem, void* data, int panel);
int ClearScreenCB(int panel, int control, int event, void* data, int e1, int e2);
int Change_Server(int panel, int control, int event, void* data, int e1, int e2);
int Close_Client(int panel, int control, int event, void* data, int e1, int e2);
int Watchdog(int panel, int control, int event, void* data, int e1, int e2);

// Back to the start of a run (tests): no connection, an empty log, no window.
void ResetClient();

// Registers the blender client's state for ResetAllStates.
void RegisterClientStates();

}  // namespace client
