#include "link/tx_queue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "common/wire.h"
#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "platform/trace.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

namespace pumplink {

namespace {

struct Item {
    WireCode code = WireCode::DataRecord;
    std::uint8_t length = 0;
    std::array<std::uint8_t, kMaxQueuedPacket> packet{};

    std::span<const std::uint8_t> bytes() const { return {packet.data(), length}; }
    bool operator==(const Item&) const = default;
};

// The items of one queue; how many there are is the pump's TxQueue.ItemCount, the one count.
struct Ring {
    int head = 0;
    std::array<Item, kQueueDepth> items{};

    Item& at(int i) { return items[static_cast<std::size_t>((head + i) % kQueueDepth)]; }
    bool operator==(const Ring&) const = default;
};

struct QueueState {
    float ReplyTimeout = 5.0f;
    std::array<Ring, kPumpCount> rings{};
    std::array<QueueStatsRecord, kPumpCount> stats{};
    bool showStats = false;
    StatsShownFn statsShown = nullptr;
    int timerCalls = 0;
    bool operator==(const QueueState&) const = default;
};
QueueState g;
}  // namespace

float& ReplyTimeout = g.ReplyTimeout;

namespace {
TransmitFn g_transmit = nullptr;

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}
bool validEntry(int entry) {
    return entry >= 0 && entry < kTableSize;
}
bool created(int pump) {
    return PumpTable[pump].TxQueue.ItemCount >= 0;
}
bool isConnectPoll(const Item& item) {
    return item.code == WireCode::PumpConfig &&
           item.packet[kOffTypeCode] == typeAndCode(PacketType::Short, WireCode::PumpConfig);
}

// Keeps the per-code counts in step as an item comes or goes.
void count(TxQueueRecord& q, WireCode code, int delta) {
    if (code == WireCode::DataRecord) q.Count18 = std::max(0, q.Count18 + delta);
    if (code == WireCode::PumpConfig) q.Count1B = std::max(0, q.Count1B + delta);
}

void updateStats(int pump) {
    QueueStatsRecord& s = g.stats[pump];
    const double dt = platform::Timer() - s.SendTime;
    s.Maximum = std::max(s.Maximum, dt);
    s.Sum += dt;
    if (s.Samples <= 9.0f)
        s.Average = s.Samples > 0.0f ? s.Sum / s.Samples : dt;
    else
        s.Average = dt / 10.0 + s.Average * 0.9;
}

void removeHead(int pump) {
    TxQueueRecord& q = PumpTable[pump].TxQueue;
    if (q.ItemCount <= 0) return;
    Ring& r = g.rings[pump];
    count(q, r.at(0).code, -1);
    r.head = (r.head + 1) % kQueueDepth;
    --q.ItemCount;
}

// The head is done (answered or timed out): the next one goes.
void nextHead(int pump) {
    if (g.showStats) updateStats(pump);
    removeHead(pump);
    if (PumpTable[pump].TxQueue.ItemCount == 0)
        PumpTable[pump].TxQueue.Deadline = 0.0;
    else
        SendHead(pump);
}

bool isSpeedCommand(const Item& item) {
    return item.packet[kOffTypeCode] == typeAndCode(PacketType::Command, WireCode::Speed);
}
// The rpm and Run byte a queued speed command carries.
std::pair<int, int> speedOf(const Item& item) {
    if (item.length < kHeaderSize + kSpeedCommandSize) return {0, 0};
    const std::uint8_t* command = item.packet.data() + kHeaderSize;
    return {wire::getI16(command), command[2]};
}
// The requests the timers repeat on their own: data and network information.
bool isPeriodicRequest(const Item& item) {
    const std::uint8_t byte4 = item.packet[kOffTypeCode];
    return byte4 == typeAndCode(PacketType::Short, WireCode::DataRecord) ||
           byte4 == typeAndCode(PacketType::Short, WireCode::NetworkInfo);
}

// Takes out of the pump's queue every waiting item that drop() picks (never the head, which
// is on its way); returns how many went.
template <typename Pick>
int dropWaiting(int pump, Pick drop) {
    const int n = QueuedItems(pump);
    if (n == 0) return 0;
    Ring& r = g.rings[pump];
    TxQueueRecord& q = PumpTable[pump].TxQueue;
    int kept = 1;
    for (int i = 1; i < n; ++i) {
        if (drop(r.at(i))) {
            count(q, r.at(i).code, -1);
            continue;
        }
        if (kept != i) r.at(kept) = r.at(i);
        ++kept;
    }
    const int dropped = n - kept;
    q.ItemCount = kept;
    if (dropped > 0) TRACE(queue, "pump %d: %d waiting packets dropped", pump + 1, dropped);
    return dropped;
}

const char* QueueResultName(QueueResult result) {
    switch (result) {
        case QueueResult::Queued:
            return "queued";
        case QueueResult::Refused:
            return "refused by its per-code limit";
        case QueueResult::TooLarge:
            return "too large";
        case QueueResult::NoQueue:
            return "no queue";
        case QueueResult::Busy:
            return "ports busy";
        case QueueResult::NoPort:
            return "no port";
    }
    return "?";
}

}  // namespace

void SetTransmit(TransmitFn transmit) {
    g_transmit = transmit;
}

void CreateTxQueues() {
    for (int p = 0; p < kPumpCount; ++p) {
        g.rings[p] = Ring{};
        g.stats[p] = QueueStatsRecord{};
        PumpTable[p].TxQueue = TxQueueRecord{};
        PumpTable[p].TxQueue.ItemCount = 0;
    }
}

void ResetTxQueues() {
    g = {};
    for (int p = 0; p < kPumpCount; ++p) PumpTable[p].TxQueue = TxQueueRecord{};
}
VNK_MODULE_STATE_RESET(link, tx_queue, g, ResetTxQueues)

QueueResult SendShortCommand(int entry, WireCode code, std::uint8_t argument1) {
    if (!validEntry(entry) || PumpTable[entry].ComPort == 0) return QueueResult::NoPort;
    std::array<std::uint8_t, kPacketOverhead> packet;
    EncodeShort(packet, code, argument1);
    return PushPacket(entry, packet, code);
}

QueueResult SendDataCommand(int entry, WireCode code, std::uint8_t argument1,
                            std::uint8_t argument2, std::span<const std::uint8_t> data) {
    if (!validEntry(entry) || PumpTable[entry].ComPort == 0) return QueueResult::NoPort;
    std::array<std::uint8_t, kMaxFrameLength> packet;
    const std::size_t n =
        EncodeData(packet, code, argument1, argument2, data.first(data.size() % 256));
    return PushPacket(entry, std::span(packet).first(n), code);
}

QueueResult PushPacket(int entry, std::span<const std::uint8_t> packet, WireCode code) {
    if (PortsBusy != 0) return QueueResult::Busy;
    // The size as a queue item counts it: the packet and its 4-byte length.
    const int size = static_cast<int>(packet.size()) + 4;
    if (size > kQueueItemSize) {
        TRACE(queue, "pump %d %s dropped: %d bytes", entry + 1, WireCodeName(code), size);
        char text[96];
        std::snprintf(text, sizeof text,
                      "The amount of data to Push was too large, data is %d bytes.", size);
        ui::MessagePopup("Send Error", text);
        return QueueResult::TooLarge;
    }
    return QueueWrite(entry, packet, code);
}

QueueResult QueueWrite(int pump, std::span<const std::uint8_t> packet, WireCode code) {
    if (!validPump(pump)) return QueueResult::NoQueue;
    TxQueueRecord& q = PumpTable[pump].TxQueue;
    QueueResult result = QueueResult::Queued;
    if ((code == WireCode::PumpConfig && q.Count1B >= kMaxConnectPollsWaiting) ||
        (code == WireCode::DataRecord && q.Count18 > 0))
        result = QueueResult::Refused;
    else if (packet.size() > kMaxQueuedPacket)
        result = QueueResult::TooLarge;
    else if (!created(pump))
        result = QueueResult::NoQueue;
    if (result != QueueResult::Queued) {
        TRACE(queue, "pump %d %s not queued: %s", pump + 1, WireCodeName(code),
              QueueResultName(result));
        return result;
    }

    Ring& r = g.rings[pump];
    if (q.ItemCount == kQueueDepth) {
        // The newest speed command waiting is the station's last word on the pump's speed
        // (a STOP, an idle, a power-off): it is never thrown away to make room.
        std::optional<Item> keep;
        for (int i = 1; i < kQueueDepth; ++i)
            if (isSpeedCommand(r.at(i))) keep = r.at(i);
        TRACE(queue, "pump %d queue full: %d packets dropped for %s", pump + 1,
              kQueueDepth - (keep ? 1 : 0), WireCodeName(code));
        r.head = 0;
        q.ItemCount = 0;
        q.Count1B = 0;
        q.Count18 = 0;
        if (keep) {
            r.at(0) = *keep;
            q.ItemCount = 1;
            SendHead(pump);
        }
    }
    Item& item = r.at(q.ItemCount);
    item.code = code;
    item.length = static_cast<std::uint8_t>(packet.size());
    std::copy(packet.begin(), packet.end(), item.packet.begin());
    ++q.ItemCount;
    count(q, code, +1);
    if (q.ItemCount == 1) SendHead(pump);
    return QueueResult::Queued;
}

void SendHead(int pump) {
    if (!validPump(pump) || PumpTable[pump].TxQueue.ItemCount <= 0) return;
    if (g_transmit != nullptr) g_transmit(pump, g.rings[pump].at(0).bytes());
    PumpTable[pump].TxQueue.Deadline = platform::Timer() + ReplyTimeout;
    if (g.showStats) {
        g.stats[pump].SendTime = platform::Timer();
        g.stats[pump].Samples += 1.0f;
    }
}

void AnswerReceived(int pump) {
    if (validPump(pump)) nextHead(pump);
}

int QueuedItems(int pump) {
    return validPump(pump) ? std::max(0, PumpTable[pump].TxQueue.ItemCount) : 0;
}

std::optional<WireCode> QueuedCode(int pump, int i) {
    if (i < 0 || i >= QueuedItems(pump)) return std::nullopt;
    return g.rings[pump].at(i).code;
}

bool QueueHasWaiting(int pump, std::span<const std::uint8_t> packet) {
    for (int i = 1; i < QueuedItems(pump); ++i) {
        const auto waiting = g.rings[pump].at(i).bytes();
        if (std::equal(waiting.begin(), waiting.end(), packet.begin(), packet.end())) return true;
    }
    return false;
}

int DropWaitingConnectPolls(int pump) {
    return dropWaiting(pump, isConnectPoll);
}

int DropWaitingForSpeedCommand(int pump, std::int16_t rpm, std::uint8_t run) {
    return dropWaiting(pump, [rpm, run](const Item& item) {
        if (isConnectPoll(item) || isPeriodicRequest(item)) return true;
        if (!isSpeedCommand(item)) return false;
        // Superseded only by a command that is no faster and keeps a drive switched off: a
        // waiting STOP or power-off stays unless the new command is one as well.
        const auto [waitingRpm, waitingRun] = speedOf(item);
        return rpm <= waitingRpm && (run == 0 || waitingRun != 0);
    });
}

void HurryNewestSpeedCommand(int pump) {
    const int n = QueuedItems(pump);
    if (n < 3) return;  // nothing waits between it and the head
    Ring& r = g.rings[pump];
    if (!isSpeedCommand(r.at(n - 1))) return;
    int to = 1;  // right behind the head, or behind the last speed command waiting
    for (int i = n - 2; i >= 1; --i) {
        if (isSpeedCommand(r.at(i))) {
            to = i + 1;
            break;
        }
    }
    if (to == n - 1) return;
    const Item newest = r.at(n - 1);
    for (int i = n - 1; i > to; --i) r.at(i) = r.at(i - 1);
    r.at(to) = newest;
    TRACE(queue, "pump %d: speed command moved ahead of %d waiting packets", pump + 1, n - 1 - to);
}

std::vector<UndeliveredSpeed> EmptyQueue(int pump) {
    std::vector<UndeliveredSpeed> speeds;
    const int n = QueuedItems(pump);
    for (int i = 0; i < n; ++i) {
        const Item& item = g.rings[pump].at(i);
        if (!isSpeedCommand(item)) continue;
        const auto [rpm, run] = speedOf(item);
        speeds.push_back({static_cast<std::int16_t>(rpm), static_cast<std::uint8_t>(run)});
    }
    if (n > 0) TRACE(queue, "pump %d: %d packets dropped with the port", pump + 1, n);
    if (!validPump(pump) || !created(pump)) return speeds;
    g.rings[pump].head = 0;
    TxQueueRecord& q = PumpTable[pump].TxQueue;
    q.ItemCount = 0;
    q.Count1B = 0;
    q.Count18 = 0;
    q.Deadline = 0.0;
    return speeds;
}

bool SpeedCommandQueued(int pump) {
    for (int i = 0; i < QueuedItems(pump); ++i)
        if (isSpeedCommand(g.rings[pump].at(i))) return true;
    return false;
}

int QueueTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    const double now = platform::Timer();
    for (int p = 0; p < kPumpCount; ++p) {
        const TxQueueRecord& q = PumpTable[p].TxQueue;
        if (q.Deadline > 0.0 && now > q.Deadline) {
            TRACE(queue, "pump %d %s timed out", p + 1, WireCodeName(g.rings[p].at(0).code));
            nextHead(p);
        }
    }
    if (g.showStats && ++g.timerCalls % 5 == 0 && g.statsShown != nullptr) g.statsShown();
    return 0;
}

void SetShowStats(bool on) {
    g.showStats = on;
}

const QueueStatsRecord& QueueStats(int pump) {
    static const QueueStatsRecord none;
    return validPump(pump) ? g.stats[pump] : none;
}

void SetStatsShown(StatsShownFn shown) {
    g.statsShown = shown;
}

}  // namespace pumplink
