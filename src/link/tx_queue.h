// Transmit scheduling of the pump link. A controller answers one packet at a time, so each
// pump has a queue of framed packets: the head is sent, and the next one only when the
// controller has answered (any good packet counts) or the reply time-out has passed. Also
// frames the station's commands on their way in, and keeps the optional response-time
// statistics. The queue hands each head to the transmit function it was given; it never
// touches a port itself.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/frame.h"
#include "link/pump_table.h"

namespace pumplink {

constexpr int kQueueDepth = 15;
constexpr int kMaxConnectPollsWaiting = 10;
// A queue item holds a packet of at most this many bytes (N at most 85). The size limits
// are counted as they always were: an item is the packet, a 4-byte length before it and a
// code byte, in 100 bytes.
constexpr int kQueueItemSize = 100;
constexpr int kMaxQueuedPacket = kQueueItemSize - 4 - 1;

// Seconds a controller has to answer the packet at the head (the /timeout option).
extern float& ReplyTimeout;

// Sends a packet to the pump's port (the pump session's TransmitPacket).
using TransmitFn = void (*)(int pump, std::span<const std::uint8_t> packet);
// The queues hand every head to this function. Wiring, not state: a reset keeps it.
void SetTransmit(TransmitFn transmit);

// Creates the 24 queues empty (start-up, before the ports open). Until then every write
// fails and nothing is sent.
void CreateTxQueues();
// Back to the start-of-run state: no queues, statistics off, time-out 5 s.
void ResetTxQueues();

enum class QueueResult : std::uint8_t {
    Queued,    // in the queue, and sent when it is the head
    Refused,   // the per-code limit: ten connect polls or one data request wait already
    TooLarge,  // longer than kMaxQueuedPacket
    NoQueue,   // the queues do not exist (yet), or no such pump
    Busy,      // ports are being opened or closed
    NoPort,    // the entry has no port
};

// Frame a command and queue it for the entry. The data of a data command is cut to its
// length byte (N modulo 256).
QueueResult SendShortCommand(int entry, WireCode code, std::uint8_t argument1);
QueueResult SendDataCommand(int entry, WireCode code, std::uint8_t argument1,
                            std::uint8_t argument2, std::span<const std::uint8_t> data);
// Queues a framed packet unless ports are busy; one too large for any queue item is
// refused with the "Send Error" popup.
QueueResult PushPacket(int entry, std::span<const std::uint8_t> packet, WireCode code);
// The queue proper: the per-code limits, then the size. A full queue empties itself to take
// the packet, so a dead controller never holds more than one queue of stale commands; the
// newest speed command waiting is kept and goes first.
QueueResult QueueWrite(int pump, std::span<const std::uint8_t> packet, WireCode code);

void SendHead(int pump);
// A good packet came from the pump: the head is done, the next one goes.
void AnswerReceived(int pump);
// Items waiting in the pump's queue, the head first; for the serial monitor and tests.
int QueuedItems(int pump);
// The code item i (0 = head) was queued with.
std::optional<WireCode> QueuedCode(int pump, int i);
// Whether this very packet waits behind the head (the head is on its way already).
bool QueueHasWaiting(int pump, std::span<const std::uint8_t> packet);
// Removes the connect polls waiting behind the head (a pump that has just answered needs
// none of them); returns how many went.
int DropWaitingConnectPolls(int pump);
// Before a speed command that must get through (an idle, a power-off), given its rpm and Run
// byte: the waiting polls and requests the timers repeat anyway go, and so do the waiting
// speed commands it supersedes (no slower than it, and not switching off a drive it would
// leave on). A waiting STOP or power-off therefore stays, ahead of the new command, unless
// that is a STOP or power-off too. The queue of a pump that does not answer moves one item
// per reply time-out: the command then goes out next.
int DropWaitingForSpeedCommand(int pump, std::int16_t rpm, std::uint8_t run);
// The speed command just queued (the last item) goes ahead of the waiting items that are
// not speed commands: it takes the line as soon as the exchange in flight ends. It never
// passes a waiting speed command, so the pump hears its speed commands in the order given.
// For the commands that lower a pump (STOP, idle, a step down, a power-off).
void HurryNewestSpeedCommand(int pump);
// The pump's port is gone: the queue is emptied, the head in flight included (nothing can
// answer it now). Returned are the speed commands that were in it, in their order, as (rpm,
// Run byte): none of them is known to have reached the pump.
struct UndeliveredSpeed {
    std::int16_t rpm = 0;
    std::uint8_t run = 0;
};
std::vector<UndeliveredSpeed> EmptyQueue(int pump);
// Whether a speed command of the station's own to the pump is queued or in flight: until it
// has been answered (or has timed out) a set-point the pump reports is older than it.
bool SpeedCommandQueued(int pump);

// Timer callback: a head not answered by its deadline is dropped, never sent again, and the
// next one goes.
int QueueTimer(int panel, int control, int event, void* data, int e1, int e2);

// Response-time statistics (the /ShowStats option).
struct QueueStatsRecord {
    double SendTime = 0.0;
    float Samples = 0.0f;
    double Sum = 0.0;
    double Maximum = 0.0;
    double Average = 0.0;
    bool operator==(const QueueStatsRecord&) const = default;
};
void SetShowStats(bool on);
const QueueStatsRecord& QueueStats(int pump);
// Called every fifth QueueTimer tick while the statistics are on: the read-outs above show
// them. Installed at start-up; a reset removes it.
using StatsShownFn = void (*)();
void SetStatsShown(StatsShownFn shown);

}  // namespace pumplink
