// Transmit scheduling of the pump link. A controller answers one packet at a time, so each
// pump has a queue of framed packets: the head is sent, and the next one only when the
// controller has answered (any good packet counts) or the reply time-out has passed. Also
// owns the timers that poll the pumps and the optional response-time statistics.
#pragma once

#include <cstdint>

#include "link/pump_table.h"

// A queue item: i32 packet length (bytes 0-3), the packet (from byte 4), and the command code
// it was built for (byte 99).
constexpr int kQueueItemSize = 100;
constexpr int kQueueDepth = 15;
constexpr int kMaxConnectPollsWaiting = 10;

struct TxQueueRecord {
    std::int32_t ItemCount = 0;  // -2: the queue could not be created
    double Deadline = 0.0;       // Timer() time the head must be answered by; 0.0: idle
    std::int32_t Count1B = 0;    // items of code 0x1B waiting
    std::int32_t Count18 = 0;    // items of code 0x18 waiting
};
extern TxQueueRecord TxQueue[kPumpCount];

// Seconds a controller has to answer the packet at the head (the /timeout option).
extern float ReplyTimeout;

// Creates the 24 queues empty (start-up, before the ports open). Until then every write
// fails and nothing is sent.
void CreateTxQueues();
// Back to the start-of-run state: no queues, statistics off, time-out 5 s.
void ResetTxQueues();

// 0 when refused by the per-code limits, -1 when too large, else the queue's result (1 when
// written, negative when the queue does not exist).
int QueueWrite(int pump, const std::uint8_t* item, int size, int code);
void SendHead(int pump);
void AnswerReceived(int pump);
// Items waiting in the pump's queue, the head first; for the serial monitor and tests.
int QueuedItems(int pump);
// The command code of item i (0 = head), or -1.
int QueuedCode(int pump, int i);
// Whether a packet with this byte 4 (type and code), argument 1 and data waits behind the
// head (the head is always on its way already).
bool QueueHasWaiting(int pump, int typeAndCode, int argument1, const std::uint8_t* data, int n);

// Removes the connect polls waiting behind the head (a pump that has just answered needs
// none of them); returns how many went.
int DropWaitingConnectPolls(int pump);
// Before a speed command that must get through (an idle, a power-off): the waiting polls and
// requests the timers repeat anyway go, and so do waiting speed commands, which the new one
// supersedes. The queue of a pump that does not answer moves one item per reply time-out:
// the command then goes out next.
int DropWaitingForSpeedCommand(int pump);

// Timer callbacks.
int QueueTimer(int panel, int control, int event, void* data, int e1, int e2);
int GetControlData(int panel, int control, int event, void* data, int e1, int e2);
int GetIdTimer(int panel, int control, int event, void* data, int e1, int e2);

// Response-time statistics (the /ShowStats option).
struct QueueStatsRecord {
    double SendTime = 0.0;
    float Samples = 0.0f;
    double Sum = 0.0;
    double Maximum = 0.0;
    double Average = 0.0;
};
void SetShowStats(bool on);
bool ShowStatsOn();
const QueueStatsRecord& QueueStats(int pump);
// The five read-outs (pumps 1-5) that every fifth QueueTimer tick writes "max, average" to.
void SetStatsReadouts(int panel, const int controls[5]);
