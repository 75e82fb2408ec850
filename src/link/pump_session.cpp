#include "link/pump_session.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/wire.h"
#include "link/decoder.h"
#include "link/port_identity.h"
#include "link/tx_queue.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "ui/ui_model.h"

namespace pumplink {

namespace {

struct SessionState {
    LinkHooks hooks;
    PacketTap tap = nullptr;
    bool operator==(const SessionState&) const = default;
};
SessionState g;
ContactCommands g_commands;  // wiring, not state: the link's reset installs it

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}
bool validEntry(int entry) {
    return entry >= 0 && entry < kTableSize;
}

void setRxLed(int entry, int on) {
    if (g.hooks.setRxLed) g.hooks.setRxLed(entry, on);
}

void tracePacket(const char* direction, int entry, std::span<const std::uint8_t> packet) {
    const std::uint8_t byte4 = packet[kOffTypeCode];
    TRACE(link, "%s pump %d type %d %s arg %u N %zu", direction, entry + 1,
          static_cast<int>(packetTypeOf(byte4)), WireCodeName(wireCodeOf(byte4)),
          static_cast<unsigned>(packet[kOffArg1]), packet.size() - kPacketOverhead);
}

// A good packet of any kind came from the entry: its silence starts again.
void noteGoodPacket(int entry) {
    PumpTable[entry].SecondsSinceRx = 0.0f;
    PumpTable[entry].LastRxAt = platform::Timer();
}

// Decodes a data reply and does what the decoder asks: a zeroed pressure offset written
// back, the open dialog of the block refreshed.
void decodeReply(int entry, WireCode code, std::uint8_t argument1,
                 std::span<const std::uint8_t> data) {
    const bool metric = g.hooks.displayUnits && g.hooks.displayUnits() == 1;
    if (code == WireCode::AiConfig && argument1 < kChannels && entry < kPumpCount &&
        PumpTable[entry].PendingAiWrite != 0 && platform::Timer() > PumpTable[entry].ZeroUntil)
        PumpTable[entry].PendingAiWrite = 0;  // a late block may be stale: no write-back from it
    const DecodeResult result = DecodeDataReply(entry, code, argument1, data, metric);
    if (!result.decoded) return;
    const LinkHooks& h = g.hooks;
    switch (code) {
        case WireCode::AiConfig:
            if (result.writeBackAi && g_commands.pressureZeroRead != nullptr)
                g_commands.pressureZeroRead(entry);
            if (h.showAiConfig) h.showAiConfig(entry, argument1);
            break;
        case WireCode::ThrottleConfig:
            if (h.showThrottleConfig) h.showThrottleConfig(entry);
            ApplyThrottleLimits(entry);
            break;
        case WireCode::FiConfig:
            if (h.showFiConfig) h.showFiConfig(entry, argument1);
            break;
        case WireCode::PumpConfig:
            if (h.showPumpConfig) h.showPumpConfig(entry);
            break;
        case WireCode::PumpId:
            if (entry < kPumpCount) IdentityRead(entry);
            break;
        case WireCode::NetworkInfo:
            if (h.showNetworkInfo) h.showNetworkInfo(entry);
            break;
        case WireCode::AlarmLimits:
            if (h.showAlarmLimits) h.showAlarmLimits(entry);
            break;
        default:
            break;
    }
}

// What one read of an entry's port makes of the packets in it.
class SessionSink final : public FrameSink {
  public:
    explicit SessionSink(int entry) : entry_(entry) {}

    void frame(std::span<const std::uint8_t> packet) override {
        tracePacket("rx", entry_, packet);
        if (g.tap != nullptr) g.tap(entry_, packet);
        const bool wasOnline = PumpTable[entry_].Online != 0;
        const bool dataReply = DispatchPacket(entry_, packet);
        if (dataReply && !wasOnline) {
            firstContact = true;
            PumpCameOnline(entry_);
        }
        if (dataReply) PumpTable[entry_].Online = 1;
        noteGoodPacket(entry_);
    }
    void dropped(FrameDrop why) override {
        TRACE(link, "rx pump %d dropped: %s", entry_ + 1, FrameDropName(why));
    }

    bool firstContact = false;

  private:
    int entry_;
};

}  // namespace

void SetContactCommands(const ContactCommands& commands) {
    g_commands = commands;
}

void SetLinkHooks(const LinkHooks& hooks) {
    g.hooks = hooks;
}
const LinkHooks& GetLinkHooks() {
    return g.hooks;
}

bool PumpRowEnabled(int pump) {
    return validPump(pump) && !PumpTable[pump].RowDimmed;
}

void SetPumpRowDimmed(int pump, bool dimmed) {
    if (validPump(pump)) PumpTable[pump].RowDimmed = dimmed;
}

void SerialReceiveCallback(int port, int eventMask, void*) {
    if ((eventMask & platform::kEventCharReceived) == 0) return;
    if (PortsBusy != 0) {
        platform::FlushInQ(port);
        return;
    }
    if (platform::GetInQLen(port) < 1) return;
    // The bytes belong to the one pump that holds the port open. Another entry may still
    // name the port (its open failed or was refused) and must not take them.
    for (int entry = 0; entry < kPumpCount; ++entry) {
        if (PumpTable[entry].PortConfig.Mode == 1 && PumpTable[entry].ComPort == port) {
            ReceivePackets(entry);
            return;
        }
    }
}

void ReceivePackets(int entry) {
    if (!validEntry(entry)) return;
    setRxLed(entry, 0);
    const int port = PumpTable[entry].ComPort;
    const int waiting = platform::GetInQLen(port);
    if (waiting > kMaxWaiting) {
        platform::FlushInQ(port);
        platform::FlushOutQ(port);
        PumpTable[entry].PortState.reset();
        TRACE(link, "rx pump %d dropped: %d bytes waiting, both queues emptied", entry + 1,
              waiting);
        return;
    }
    std::uint8_t work[kMaxWaiting];
    int got = 0;
    if (waiting > 0) got = platform::ComRd(port, work, static_cast<std::size_t>(waiting));
    got = std::clamp(got, 0, kMaxWaiting);
    AssembleBytes(entry, std::span<const std::uint8_t>(work, static_cast<std::size_t>(got)));
}

void AssembleBytes(int entry, std::span<const std::uint8_t> bytes) {
    if (!validEntry(entry)) return;
    FrameAssembler& assembler = PumpTable[entry].PortState;
    if (assembler.fits(bytes.size())) setRxLed(entry, 1);
    SessionSink sink(entry);
    assembler.feed(bytes, sink);
    // After the whole read: the first contact's own questions go behind what came on line
    // has queued.
    if (sink.firstContact && g_commands.firstContactRead != nullptr)
        g_commands.firstContactRead(entry);
}

bool DispatchPacket(int entry, std::span<const std::uint8_t> packet) {
    if (!validEntry(entry) || packet.size() < kPacketOverhead) return false;
    const std::uint8_t byte4 = packet[kOffTypeCode];
    const bool dataReply = packetTypeOf(byte4) == PacketType::Data;
    if (dataReply)
        decodeReply(entry, wireCodeOf(byte4), packet[kOffArg1],
                    packet.subspan(kHeaderSize, packet.size() - kPacketOverhead));
    // Any good packet answers the head: answers carry nothing that says what they answer.
    AnswerReceived(entry);
    return dataReply;
}

void TransmitPacket(int entry, std::span<const std::uint8_t> packet) {
    if (!validEntry(entry) || packet.size() < kPacketOverhead) return;
    tracePacket("tx", entry, packet);
    platform::ComWrt(PumpTable[entry].ComPort, packet.data(), packet.size());
}

void PumpCameOnline(int pump) {
    if (!validPump(pump)) return;
    TRACE(link, "pump %d on line", pump + 1);
    journal::Record(pump, journal::Kind::Link, "On line");
    // After a silence up to ten connect polls wait in the queue; left there, the commands a
    // pump gets on coming back would overflow it, and the queue would throw them away.
    DropWaitingConnectPolls(pump);
    // The row first: commands go only to pumps whose row is enabled.
    PumpTable[pump].RowDimmed = false;
    if (g.hooks.bringFracOffline) g.hooks.bringFracOffline(0, pump);
    if (g_commands.cameOnline != nullptr) g_commands.cameOnline(pump);
    PumpTable[pump].AdoptSpeed = 1;
    // Whoever answers now may not be the unit that answered before (adapters renamed, a
    // cable moved): its identification, asked at first contact, is checked.
    ExpectIdentity(pump);
}

void PumpWentOffline(int pump) {
    if (!validPump(pump)) return;
    TRACE(link, "pump %d off line", pump + 1);
    // Only a pump that was on line goes off line: a port given to an entry whose pump never
    // answered (a first assignment, a refused duplicate) takes nothing off line.
    if (PumpRowEnabled(pump)) journal::Record(pump, journal::Kind::Link, "Off line");
    PumpTable[pump].PendingAiWrite = 0;      // a zero never completes on a later connection
    PumpTable[pump].PumpConfigRead = false;  // the pump may have been changed or replaced meanwhile
    PumpRecord& r = PumpTable[pump];
    r.Tripped = 0;
    r.MotorRpm = 0.0f;
    r.OilTemperature = 0.0f;
    r.DischargePressure = 0.0f;
    r.PumpRpm = 0.0f;
    r.PumpRate = 0.0f;
    r.HydraulicHp = 0.0f;
    r.OilPressure = 0.0f;
    r.SuctionPressure = 0.0f;
    r.TotalVolume = 0.0f;
    std::memset(r.PumpId, 0, sizeof r.PumpId);
    PumpTable[pump].SpeedCommand.Rpm = 0;
    r.RpmSetpoint = 0;
    // Nothing commanded or reported since: until the pump speaks again its idle is judged
    // by its motor's speed.
    r.CommandedRpm = r.ReportedRpm = PumpRecord::kNoRpm;
    PumpTable[pump].RowDimmed = true;
    if (g.hooks.bringFracOffline) g.hooks.bringFracOffline(1, pump);
}

int ComTimerTick(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    const double interval = ui::GetCtrlAttributeDouble(panel, control, ui::ATTR_INTERVAL);
    const double now = platform::Timer();
    for (int p = 0; p < kPumpCount; ++p) {
        PumpRecord& r = PumpTable[p];
        double silent = interval;
        // A packet that came part-way through the last interval has been silent only since
        // it came; counting the whole interval would take a pump off line up to one interval
        // early.
        if (r.SecondsSinceRx == 0.0f) {
            const double since = now - PumpTable[p].LastRxAt;
            if (since >= 0.0 && since < silent) silent = since;
        }
        r.SecondsSinceRx = static_cast<float>(r.SecondsSinceRx + silent);
        if (r.SecondsSinceRx > kSilenceLimit) {
            if (r.Online != 0) PumpWentOffline(p);
            r.Online = 0;
        }
    }
    return 0;
}

void PollPump(int pump) {
    if (!validPump(pump)) return;
    if (PumpTable[pump].ReconnectRequest != 0 || PumpTable[pump].Online == 0) {
        PumpTable[pump].ReconnectRequest = 0;
        PumpTable[pump].Online = 0;
        SendShortCommand(pump, WireCode::PumpConfig, 0);  // the connect poll
    } else {
        SendShortCommand(pump, WireCode::DataRecord, 0);
    }
}

int GetControlData(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    for (int p = 0; p < kPumpCount; ++p)
        if (PumpTable[p].PortConfig.Mode == 1) PollPump(p);
    return 0;
}

int GetIdTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    for (int p = 0; p < kPumpCount; ++p)
        if (PumpTable[p].PortConfig.Mode == 1) SendShortCommand(p, WireCode::NetworkInfo, 0);
    return 0;
}

void SetPacketTap(PacketTap tap) {
    g.tap = tap;
}

void ResetPumpSession() {
    g = {};
}
VNK_MODULE_STATE_RESET(link, pump_session, g, ResetPumpSession)

}  // namespace pumplink
