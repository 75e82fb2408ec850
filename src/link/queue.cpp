#include "link/queue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/directcontrol.h"
#include "platform/event_loop.h"
#include "ui/ui_model.h"

TxQueueRecord TxQueue[kPumpCount];
float ReplyTimeout = 5.0f;

namespace {

// The queue proper: a ring of fixed items that, when a write finds it full, empties itself
// and keeps only the new item, so a dead controller can never hold more than one queue of
// stale commands.
struct Ring {
    bool created = false;
    int head = 0;
    int size = 0;
    std::uint8_t items[kQueueDepth][kQueueItemSize] = {};
};
Ring g_rings[kPumpCount];

QueueStatsRecord g_stats[kPumpCount];
bool g_showStats = false;
int g_statsPanel = 0;
int g_statsControls[5] = {};
int g_queueTimerCalls = 0;

constexpr int kWriteFailed = -1;  // the queue does not exist
constexpr int kNotCreated = -2;

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}

int ringWrite(Ring& r, const std::uint8_t* item) {
    if (!r.created) return kWriteFailed;
    if (r.size == kQueueDepth) {
        r.head = 0;
        r.size = 0;
    }
    std::memcpy(r.items[(r.head + r.size) % kQueueDepth], item, kQueueItemSize);
    ++r.size;
    return 1;
}

const std::uint8_t* ringHead(const Ring& r) {
    return r.size > 0 ? r.items[r.head] : nullptr;
}

void updateStats(int pump) {
    QueueStatsRecord& s = g_stats[pump];
    const double dt = platform::Timer() - s.SendTime;
    s.Maximum = std::max(s.Maximum, dt);
    s.Sum += dt;
    if (s.Samples <= 9.0f)
        s.Average = s.Samples > 0.0f ? s.Sum / s.Samples : dt;
    else
        s.Average = dt / 10.0 + s.Average * 0.9;
}

// Drops the head item and keeps the per-code counts in step with what is left.
void removeHead(int pump) {
    Ring& r = g_rings[pump];
    if (r.size == 0) return;
    const std::uint8_t code = r.items[r.head][kQueueItemSize - 1];
    r.head = (r.head + 1) % kQueueDepth;
    --r.size;
    TxQueueRecord& q = TxQueue[pump];
    q.ItemCount = std::max(0, q.ItemCount - 1);
    if (code == 0x18) q.Count18 = std::max(0, q.Count18 - 1);
    if (code == 0x1B) q.Count1B = std::max(0, q.Count1B - 1);
}

void showStats() {
    if (g_statsPanel == 0) return;
    for (int i = 0; i < 5; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%0.3f, %0.3f", g_stats[i].Maximum, g_stats[i].Average);
        ui::SetCtrlVal(g_statsPanel, g_statsControls[i], text);
    }
}

}  // namespace

void CreateTxQueues() {
    for (int p = 0; p < kPumpCount; ++p) {
        g_rings[p] = Ring{};
        g_rings[p].created = true;
        TxQueue[p] = TxQueueRecord{};
        g_stats[p] = QueueStatsRecord{};
    }
}

void ResetTxQueues() {
    for (int p = 0; p < kPumpCount; ++p) {
        g_rings[p] = Ring{};
        TxQueue[p] = TxQueueRecord{};
        TxQueue[p].ItemCount = kNotCreated;
        g_stats[p] = QueueStatsRecord{};
    }
    ReplyTimeout = 5.0f;
    g_showStats = false;
    g_statsPanel = 0;
    std::memset(g_statsControls, 0, sizeof g_statsControls);
    g_queueTimerCalls = 0;
}

int QueueWrite(int pump, const std::uint8_t* item, int size, int code) {
    if (!validPump(pump)) return kWriteFailed;
    TxQueueRecord& q = TxQueue[pump];
    if (code == 0x1B && q.Count1B > kMaxConnectPollsWaiting - 1) return 0;
    if (code == 0x18 && q.Count18 > 0) return 0;
    if (size >= kQueueItemSize || size < 0) return -1;

    std::uint8_t buffer[kQueueItemSize] = {};
    std::memcpy(buffer, item, static_cast<std::size_t>(size));
    buffer[kQueueItemSize - 1] = static_cast<std::uint8_t>(code);
    const int result = ringWrite(g_rings[pump], buffer);
    if (result > 0) {
        q.ItemCount += 1;
        if (q.ItemCount > kQueueDepth) {
            // The queue emptied itself to take this item.
            q.ItemCount = 1;
            q.Count1B = 0;
            q.Count18 = 0;
        }
        if (code == 0x1B) ++q.Count1B;
        if (code == 0x18) ++q.Count18;
        if (q.ItemCount == 1) SendHead(pump);
    }
    return result;
}

void SendHead(int pump) {
    if (!validPump(pump)) return;
    const std::uint8_t* item = ringHead(g_rings[pump]);
    if (item == nullptr) return;
    TxHandOver.Length = wire::getI32(item);
    std::memcpy(TxHandOver.Packet, item + 4, kQueueItemSize - 4);
    TransmitPacket(pump);
    TxQueue[pump].Deadline = platform::Timer() + ReplyTimeout;
    if (g_showStats) {
        g_stats[pump].SendTime = platform::Timer();
        g_stats[pump].Samples += 1.0f;
    }
}

void AnswerReceived(int pump) {
    if (!validPump(pump)) return;
    if (g_showStats) updateStats(pump);
    removeHead(pump);
    if (TxQueue[pump].ItemCount == 0)
        TxQueue[pump].Deadline = 0.0;
    else
        SendHead(pump);
}

int QueuedItems(int pump) {
    return validPump(pump) ? g_rings[pump].size : 0;
}

int QueuedCode(int pump, int i) {
    if (!validPump(pump) || i < 0 || i >= g_rings[pump].size) return -1;
    const Ring& r = g_rings[pump];
    return r.items[(r.head + i) % kQueueDepth][kQueueItemSize - 1];
}

bool QueueHasWaiting(int pump, int typeAndCode, int argument1, const std::uint8_t* data, int n) {
    if (!validPump(pump) || n < 0 || n > kQueueItemSize - 4 - kPacketOverhead) return false;
    const Ring& r = g_rings[pump];
    for (int i = 1; i < r.size; ++i) {
        const std::uint8_t* item = r.items[(r.head + i) % kQueueDepth];
        const std::uint8_t* packet = item + 4;
        if (wire::getI32(item) == n + kPacketOverhead && packet[4] == typeAndCode &&
            packet[5] == argument1 && packet[7] == n &&
            (n == 0 || std::memcmp(packet + kHeaderSize, data, static_cast<std::size_t>(n)) == 0))
            return true;
    }
    return false;
}

namespace {
// Takes out of the pump's queue every waiting item (never the head, which is on its way)
// that drop() picks; returns how many went.
template <typename Pick>
int dropWaiting(int pump, Pick drop) {
    if (!validPump(pump)) return 0;
    Ring& r = g_rings[pump];
    int kept = r.size > 0 ? 1 : 0;  // the head is on its way already
    int dropped = 0;
    int droppedPolls = 0;
    for (int i = 1; i < r.size; ++i) {
        std::uint8_t* item = r.items[(r.head + i) % kQueueDepth];
        if (drop(item)) {
            ++dropped;
            if (item[kQueueItemSize - 1] == 0x1B) ++droppedPolls;
            if (item[kQueueItemSize - 1] == 0x18) TxQueue[pump].Count18 = 0;
            continue;
        }
        if (kept != i) std::memcpy(r.items[(r.head + kept) % kQueueDepth], item, kQueueItemSize);
        ++kept;
    }
    r.size = kept;
    TxQueue[pump].ItemCount -= dropped;
    TxQueue[pump].Count1B = std::max(0, TxQueue[pump].Count1B - droppedPolls);
    return dropped;
}

bool isConnectPoll(const std::uint8_t* item) {
    return item[kQueueItemSize - 1] == 0x1B && item[4 + 4] == (0x40 | 0x1B);
}
bool isSpeedCommand(const std::uint8_t* item) {
    return item[4 + 4] == (0xC0 | 0x1A);
}
// The requests the timers repeat on their own: data and network information.
bool isPeriodicRequest(const std::uint8_t* item) {
    return item[4 + 4] == (0x40 | 0x18) || item[4 + 4] == (0x40 | 0x08);
}
}  // namespace

int DropWaitingConnectPolls(int pump) {
    return dropWaiting(pump, isConnectPoll);
}

int DropWaitingForSpeedCommand(int pump) {
    return dropWaiting(pump, [](const std::uint8_t* item) {
        return isConnectPoll(item) || isSpeedCommand(item) || isPeriodicRequest(item);
    });
}

int QueueTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    const double now = platform::Timer();
    for (int p = 0; p < kPumpCount; ++p) {
        TxQueueRecord& q = TxQueue[p];
        if (q.Deadline > 0.0 && now > q.Deadline) {
            // Timed out: the packet is never sent again.
            if (g_showStats) updateStats(p);
            removeHead(p);
            if (q.ItemCount == 0)
                q.Deadline = 0.0;
            else
                SendHead(p);
        }
    }
    if (g_showStats && ++g_queueTimerCalls % 5 == 0) showStats();
    return 0;
}

int GetControlData(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    for (int p = 0; p < kPumpCount; ++p) {
        if (PortConfig[p].Mode != 1) continue;
        if (ReconnectRequest[p] != 0 || PumpTable[p].Online == 0) {
            ReconnectRequest[p] = 0;
            PumpTable[p].Online = 0;
            SendShortCommand(p, 0x1B, 0);  // connect poll
        }
        if (PumpTable[p].Online != 0) SendShortCommand(p, 0x18, 0);  // data request
    }
    return 0;
}

int GetIdTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    for (int p = 0; p < kPumpCount; ++p)
        if (PortConfig[p].Mode == 1) SendShortCommand(p, 0x08, 0);
    return 0;
}

void SetShowStats(bool on) {
    g_showStats = on;
}
bool ShowStatsOn() {
    return g_showStats;
}

const QueueStatsRecord& QueueStats(int pump) {
    static const QueueStatsRecord none;
    return validPump(pump) ? g_stats[pump] : none;
}

void SetStatsReadouts(int panel, const int controls[5]) {
    g_statsPanel = panel;
    for (int i = 0; i < 5; ++i) g_statsControls[i] = controls[i];
}

namespace {
struct StartOfRun {
    StartOfRun() { ResetTxQueues(); }
} g_startOfRun;
}  // namespace
