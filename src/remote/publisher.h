// Remote monitoring: the station publishes its state, fleet, pumps and journal to an MQTT
// broker under "vnk/<site>/<station>/", read-only by design (it subscribes to nothing).
//
// The journal is the outbox of the alarms and events: each goes out at QoS 1 with its
// journal id and epoch, in journal order, and the last id the broker acknowledged (every
// one before it acknowledged too) is kept in the journal file itself. After an outage or a
// restart the station publishes from there: no gaps; duplicates are possible and a reader
// drops them by (epoch, id).
//
// Nothing here waits: the client's thread connects and talks to the broker, its results
// come back on the loop, and a broker that does not answer is given up after
// kConnectTimeoutSeconds and tried again with a growing pause.
#pragma once

#include <cstdint>
#include <string>

#include "settings/remote_settings.h"

namespace remote {

// The heartbeat's and the fleet's pace; pumps are looked at on the same tick.
inline constexpr double kRemoteTickSeconds = 1.0;
// A pump goes out when its values change, at most once a second; while they stand still,
// every kPumpRefreshSeconds, so that its sample time shows it alive; every pump in full
// every kPumpFullSeconds.
inline constexpr double kPumpMinSeconds = 1.0;
inline constexpr double kPumpRefreshSeconds = 2.0;
inline constexpr double kPumpFullSeconds = 60.0;
inline constexpr double kConnectTimeoutSeconds = 10.0;
inline constexpr double kRetryFirstSeconds = 1.0;
inline constexpr double kRetryMaxSeconds = 30.0;
// A connection up this long is stable: the pause between attempts starts again from
// kRetryFirstSeconds, and an unstable episode's journal line with its drops is written.
inline constexpr double kStableSeconds = 60.0;
// How long a rename waits for the broker to acknowledge the clearing of the old topics
// before it connects under the new ones (the clearing is then done at the next connection).
inline constexpr double kClearSeconds = 5.0;
// Journal messages handed to the client and not yet acknowledged, at most (fewer when the
// broker takes fewer at a time): on a link with a long round trip, the backlog drains at
// about the window per round trip.
inline constexpr int kEventWindow = 256;
// The key of the acknowledged id in the journal file.
inline constexpr const char* kAckedMark = "remote_acked_id";
// How long the clean exit waits for the broker to take "offline".
inline constexpr double kCloseSeconds = 1.0;

struct RemoteStatus {
    bool enabled = false;
    bool connected = false;
    std::string broker;              // "host:port"
    std::string lastError;           // of the last attempt or connection; "" once connected
    // While connected: "Broker refuses to publish under vnk/<site>/<station>/: <reason>"
    // while the broker refuses the station's messages, or the warning that it cannot say
    // so (MQTT 3.1.1); "" when all is well.
    std::string problem;
    bool refusing = false;  // the broker refuses: the outbox holds
    // While connected: the journal messages in flight at once, kEventWindow unless the
    // broker's Receive Maximum is lower.
    int window = 0;
    std::int64_t eventsWaiting = 0;  // journal events the broker has not acknowledged
    double retryIn = 0.0;            // seconds to the next attempt, while waiting for one
};
RemoteStatus CurrentRemoteStatus();
// The status in one line for the operator ("Connected to host:port", "Not connected: ...").
std::string RemoteStatusText();
// "vnk/<site>/<station>/" of the settings in use.
std::string RemoteTopicRoot();

// Start-up: reads the settings and starts publishing when they say so.
void StartRemote(const std::string& version);
// New settings (the window's Apply): stored, and the connection started afresh with them.
// A new site or station first clears the old topics' retained messages and disconnects
// cleanly (no "offline" left behind under the old names); a broker that is away or refuses
// has them cleared at the next good connection.
void ApplyRemoteSettings(const settings::RemoteSettings& remote);
// The timer's work, every kRemoteTickSeconds.
void RemoteTick();
// The clean exit: "offline" published (waiting at most kCloseSeconds), the acknowledged id
// saved.
void StopRemote();

// Called after every change of the status (the window, the bank windows' status line).
void SetRemoteStatusListener(void (*listener)());

int RemoteTimer(int panel, int control, int event, void* data, int e1, int e2);
void BindRemoteCallbacks();
void ResetRemote();
void RegisterRemoteStates();

}  // namespace remote
