#include "link/operations.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "common/wire.h"
#include "link/comcfg.h"
#include "link/decoder.h"
#include "link/link_states.h"
#include "link/port_identity.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

namespace pumplink {

namespace {

constexpr int kOpTripRepeats = 2;  // TmrOpTrip ticks after the first idle

struct OperationsState {
    OperationHooks hooks;
    RaiseGate raiseGate = nullptr;
    CeilingRefusal ceilingRefusal = nullptr;
    IdleHold idleHold = nullptr;
    int opTripPanel = 0;
    int opTripControl = 0;
    int opTripTicks = 0;
    double configRefusalShownAt = -1.0;   // Timer() of the last "not read yet" message
    double ceilingRefusalShownAt = -1.0;  // and of the last "maximum speed not known"
    // The communication time-out (s) last written to each pump this run, and whether one was.
    std::array<std::uint32_t, kPumpCount> timeoutSent{};
    std::array<bool, kPumpCount> timeoutWritten{};
    bool operator==(const OperationsState&) const = default;
};
OperationsState g;
constexpr double kRefusalQuietSeconds = 2.0;

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}

std::span<const std::uint8_t> bytesOf(const char* text, std::size_t n) {
    return {reinterpret_cast<const std::uint8_t*>(text), n};
}

// Every speed command of the station's own goes out here: a power-off holds its Run 0, and
// the speed is remembered as the newest the station commanded.
// A command that lowers the pump (no faster than the present command, or switching its
// drive off) takes the line ahead of whatever else waits; a raise waits its turn.
void sendSpeedCommand(int pump) {
    if (PumpTable[pump].PowerOffCommanded != 0) PumpTable[pump].SpeedCommand.Run = 0;
    const bool lowers =
        PumpTable[pump].SpeedCommand.Run == 0 ||
        PumpTable[pump].SpeedCommand.Rpm <= std::max<int>(PumpTable[pump].RpmSetpoint, 0);
    PumpTable[pump].RpmSetpoint = PumpTable[pump].SpeedCommand.Rpm;
    PumpTable[pump].CommandedRpm = PumpTable[pump].SpeedCommand.Rpm;
    if (SendDataCommand(pump, WireCode::Speed, 0, 0, PumpTable[pump].SpeedCommand.encode()) ==
            QueueResult::Queued &&
        lowers)
        HurryNewestSpeedCommand(pump);
}

// The speed an idle brings a pump to: down to its idle speed, never up. Never above the
// newest speed the station commanded (queued or sent) nor the set-point the pump reported;
// where neither is known, never above the motor's measured speed. A pump already slower,
// stopped, or slowing down to a STOP keeps its speed, and nothing above MaxRpm or below 0
// goes out.
std::int16_t idleSpeed(int pump) {
    const PumpRecord& r = PumpTable[pump];
    long long idle = TruncSafe(r.MinRpm);
    bool known = false;
    for (const std::int32_t rpm : {r.CommandedRpm, r.ReportedRpm}) {
        if (rpm == PumpRecord::kNoRpm) continue;
        idle = std::min<long long>(idle, rpm);
        known = true;
    }
    if (!known) idle = std::min(idle, TruncSafe(r.MotorRpm));
    if (r.MaxRpm > 0) idle = std::min(idle, TruncSafe(r.MaxRpm));
    return ToRpm(std::max(idle, 0LL));
}

// An idle overtakes the connect polls waiting in the pump's queue: a pump that hears but
// cannot answer gets it within one reply time-out.
void idlePump(int pump) {
    PumpTable[pump].SpeedCommand.Rpm = idleSpeed(pump);
    DropWaitingForSpeedCommand(pump, PumpTable[pump].SpeedCommand.Rpm,
                               PumpTable[pump].SpeedCommand.Run);
    sendSpeedCommand(pump);
}

// The present command as steps start from it (a garbage report below 0 counts as 0).
long long presentCommand(int pump) {
    return std::max<long long>(PumpTable[pump].RpmSetpoint, 0);
}

bool knownCeiling(const PumpRecord& r) {
    return std::isfinite(r.MaxRpm) && r.MaxRpm > 0.0f;
}

// One message for a burst of refusals (a group, a fleet), not one per pump.
void showRefusal(double& shownAt, const std::string& title, const std::string& text) {
    const double now = platform::Timer();
    if (shownAt >= 0.0 && now - shownAt < kRefusalQuietSeconds) return;
    shownAt = now;
    ui::MessagePopup(title, text);
}

// A speed above the present command is a raise, whichever button or controller asked for
// it: it goes only to a pump whose maximum speed is known and finite, and only while the
// raise gate holds nothing back (no E-stop, no inline trip). Without a gate nothing is
// raised.
SpeedResult raiseVerdict(int pump, long long rpm) {
    if (rpm <= presentCommand(pump)) return SpeedResult::Sent;
    if (!knownCeiling(PumpTable[pump])) {
        TRACE(ops, "pump %d: maximum speed not known, raise refused", pump + 1);
        journal::Record(pump, journal::Kind::Command, "Speed up refused: maximum speed not known");
        if (g.ceilingRefusal != nullptr)
            g.ceilingRefusal(pump);
        else
            showRefusal(g.ceilingRefusalShownAt, "Speed",
                        "Pump " + std::to_string(pump + 1) +
                            ": its maximum speed is not known, so it is not sped up. Its speed "
                            "limits are being read; please try again in a moment.");
        SendShortCommand(pump, WireCode::ThrottleConfig, 0);
        return SpeedResult::RefusedNoCeiling;
    }
    const RaiseHold hold = RaiseHeld(pump);
    if (g.raiseGate == nullptr || hold != RaiseHold::None) {
        TRACE(ops, "pump %d: raise refused by the gate", pump + 1);
        journal::Record(pump, journal::Kind::Command,
                        g.raiseGate == nullptr
                            ? std::string("Speed up refused: no interlock installed")
                            : std::string("Speed up refused: ") + RaiseHoldText(hold));
        return SpeedResult::RefusedHeld;
    }
    return SpeedResult::Sent;
}

void sendPumpConfig(int pump) {
    SendDataCommand(pump, WireCode::PumpConfig, 0, 0, PumpTable[pump].PumpConfig.bytes);
}

// A configuration block is written back only when it came from this pump: a block never
// read is all zeros (no plungers, no gear) and would stop the pump's rate and its trip.
// Otherwise the block is asked for and the operator told to try again (one message for a
// burst of refusals, say a trip point for the whole fleet).
bool pumpConfigKnownOrAsk(int pump) {
    if (PumpTable[pump].PumpConfigRead) return true;
    SendShortCommand(pump, WireCode::PumpConfig, 0);
    TRACE(ops, "pump %d: configuration not read yet, write refused", pump + 1);
    showRefusal(g.configRefusalShownAt, "Pump Configuration",
                "Pump " + std::to_string(pump + 1) +
                    ": its configuration has not been read yet. It is being read now; please "
                    "try again in a moment.");
    return false;
}

// The communication time-outs (Timeout1, Timeout2 from the settings store; 30 and 60 s when
// missing).
void sendTimeouts(int pump) {
    const std::uint32_t timeout1 = settings::ReadSetting(settings::kTimeout1);
    const std::uint32_t timeout2 = settings::ReadSetting(settings::kTimeout2);
    std::array<std::uint8_t, kTimeoutsSize> bytes;
    wire::putU32(bytes.data(), timeout1);
    wire::putU32(bytes.data() + 4, timeout2);
    SendDataCommand(pump, WireCode::Timeouts, 0, 0, bytes);
    if (validPump(pump)) {
        g.timeoutSent[static_cast<std::size_t>(pump)] = timeout1;
        g.timeoutWritten[static_cast<std::size_t>(pump)] = true;
    }
}

// The alarm-options word, unless the same write already waits in the pump's queue.
void sendAlarmOptions(int pump) {
    // Every pump coming on line sends the word to every pump: when a fleet comes on line
    // together, the copies would fill an early pump's queue until it empties itself, and the
    // requests queued at its first contact would be lost with them. A copy still waiting
    // says the same.
    std::array<std::uint8_t, kPacketOverhead + kAlarmOptionsSize> packet;
    EncodeData(packet, WireCode::AlarmOptions, 0, 0, AlarmOptions);
    if (!QueueHasWaiting(pump, packet))
        SendDataCommand(pump, WireCode::AlarmOptions, 0, 0, AlarmOptions);
}

// A pressure zero reads the discharge channel; its own reply, if it comes within two reply
// time-outs and the pump stays on line, writes the zeroed offset back.
void startPressureZero(int pump) {
    SendShortCommand(pump, WireCode::AiConfig, kDischargeChannel);
    PumpTable[pump].PendingAiWrite = 1;
    PumpTable[pump].ZeroUntil = platform::Timer() + 2.0 * ReplyTimeout;
}

bool opTripRepeating() {
    return g.opTripPanel != 0 &&
           ui::GetCtrlAttributeInt(g.opTripPanel, g.opTripControl, ui::ATTR_ENABLED) != 0;
}

// A pump that comes on line gets its time-outs, and every pump on line the alarm options;
// while a stop repeat runs it is idled first of all.
void contactCameOnline(int pump) {
    if ((g.idleHold != nullptr && g.idleHold()) || opTripRepeating()) {
        TRACE(ops, "pump %d idled at first contact: a stop repeat runs", pump + 1);
        idlePump(pump);
    }
    sendTimeouts(pump);
    for (int p = 0; p < kPumpCount; ++p)
        if (PumpRowEnabled(p)) sendAlarmOptions(p);
}
// Asked after the whole read that brought the pump on line, behind what coming on line
// queued: its speed limits (MaxRpm, MinRpm) and its identification.
void contactFirstRead(int entry) {
    SendShortCommand(entry, WireCode::ThrottleConfig, 0);
    SendShortCommand(entry, WireCode::PumpId, 0);
}
void contactPressureZeroRead(int entry) {
    SendDataCommand(entry, WireCode::AiConfig, kDischargeChannel, 0, AiConfig);
}

void run(int pump, Op op) {
    switch (op) {
        case Op::Idle:
            idlePump(pump);
            break;
        case Op::ClearTotals:
            SendDataCommand(pump, WireCode::ClearTotals, kClearTotalsGuard, 0, {});
            break;
        case Op::ZeroPressure:
            startPressureZero(pump);
            break;
        case Op::ResetVfdFault:
            SendDataCommand(pump, WireCode::ResetVfdFault, 0, 0, {});
            break;
        case Op::ResetAlarms:
            SendDataCommand(pump, WireCode::ResetAlarms, 0, 0, {});
            break;
        case Op::SendTimeouts:
            sendTimeouts(pump);
            break;
        case Op::SendAlarmOptions:
            sendAlarmOptions(pump);
            break;
        case Op::ReadPumpConfig:
            SendShortCommand(pump, WireCode::PumpConfig, 0);
            break;
        case Op::ReadAlarmLimits:
            SendShortCommand(pump, WireCode::AlarmLimits, 0);
            break;
        case Op::ReadThrottleConfig:
            SendShortCommand(pump, WireCode::ThrottleConfig, 0);
            break;
        case Op::ReadAlarmOptions:
            SendShortCommand(pump, WireCode::AlarmOptions, 0);
            break;
        case Op::ReadPumpId:
            SendShortCommand(pump, WireCode::PumpId, 0);
            break;
    }
}

// The speed a step sends from the present command: a step down, a STOP and an idle never
// above it, nothing above a known MaxRpm or below 0.
long long stepResult(int pump, SpeedStep step) {
    const PumpRecord& r = PumpTable[pump];
    const long long present = presentCommand(pump);
    long long rpm = present;
    bool lowers = true;
    switch (step) {
        case SpeedStep::Stop:
            rpm = 0;
            break;
        case SpeedStep::UpSmall:
            rpm += r.RpmStepSmall;
            lowers = false;
            break;
        case SpeedStep::UpLarge:
            rpm += r.RpmStepLarge;
            lowers = false;
            break;
        case SpeedStep::DownSmall:
            rpm -= r.RpmStepSmall;
            break;
        case SpeedStep::DownLarge:
            rpm -= r.RpmStepLarge;
            break;
        case SpeedStep::Idle:
            rpm = idleSpeed(pump);
            break;
    }
    // With no known ceiling nothing is clamped: a step up is then refused as a raise, and a
    // step down is bounded by the present command alone.
    if (knownCeiling(r) && r.MaxRpm < static_cast<float>(rpm)) rpm = TruncSafe(r.MaxRpm);
    if (lowers) rpm = std::min(rpm, present);
    return std::max(rpm, 0LL);
}

SpeedResult run(int pump, SpeedStep step) {
    // No set-point yet: the limits may not be known either, so ask for them.
    if (PumpTable[pump].RpmSetpoint < 1) SendShortCommand(pump, WireCode::ThrottleConfig, 0);
    const long long rpm = stepResult(pump, step);
    const SpeedResult verdict = raiseVerdict(pump, rpm);
    if (verdict != SpeedResult::Sent) return verdict;
    PumpTable[pump].SpeedCommand.Rpm = ToRpm(rpm);
    sendSpeedCommand(pump);
    return SpeedResult::Sent;
}

void run(int pump, const TripPressureWrite& w) {
    if (!pumpConfigKnownOrAsk(pump)) return;
    PumpTable[pump].PumpConfig.setTripPsi(static_cast<std::uint16_t>(TruncSafe(w.psi) & 0xFFFF));
    sendPumpConfig(pump);
    SendShortCommand(pump, WireCode::PumpConfig, 0);
}

void run(int pump, const ShutdownOverride& request) {
    const std::uint8_t on[1] = {request.on};
    SendDataCommand(pump, WireCode::ShutdownOverride, 0, 0, on);
}

void run(int pump, const AiConfigRead& read) {
    SendShortCommand(pump, WireCode::AiConfig, read.channel);
}

void run(int pump, const FiConfigRead& read) {
    SendShortCommand(pump, WireCode::FiConfig, read.channel);
}

void run(int pump, const AiConfigWrite& w) {
    using namespace aiblock;
    for (std::size_t i = 0; i < w.coefficients.size(); ++i)
        wire::putF32(AiConfig + kCoefficients + 4 * i, w.coefficients[i]);
    wire::putF32(AiConfig + kHigh, w.high);
    wire::putF32(AiConfig + kLow, w.low);
    AiConfig[kOption] = w.option;
    SendDataCommand(pump, WireCode::AiConfig, w.channel, 0, AiConfig);
}

void run(int pump, const FiConfigWrite& w) {
    FiConfig[fiblock::kOption] = w.option;
    wire::putF32(FiConfig + fiblock::kPulsesPerRev, w.pulsesPerRev);
    SendDataCommand(pump, WireCode::FiConfig, w.channel, 0, FiConfig);
}

void run(int pump, const PumpGeometryWrite& w) {
    if (!pumpConfigKnownOrAsk(pump)) return;
    PumpConfigBlock& c = PumpTable[pump].PumpConfig;
    c.setPlungerDiameter(w.plungerDiameter);
    c.setStroke(w.stroke);
    c.setPlungers(w.plungers);
    sendPumpConfig(pump);
}

void run(int pump, const PumpEfficiencyWrite& w) {
    if (!pumpConfigKnownOrAsk(pump)) return;
    PumpConfigBlock& c = PumpTable[pump].PumpConfig;
    c.setEfficiency(w.efficiency);
    c.setGearRatio(w.gearRatio);
    sendPumpConfig(pump);
}

void run(int pump, const AlarmLimitWrite& w) {
    std::uint8_t pair[kAlarmPairSize];
    wire::putF32(pair, w.first);
    wire::putF32(pair + 4, w.second);
    SendDataCommand(pump, WireCode::AlarmLimits, w.code, 0, pair);
}

void run(int pump, const ThrottleConfigWrite& w) {
    using namespace aiblock;
    wire::putF32(AiConfig + kLow, w.minRpm);
    wire::putF32(AiConfig + kHigh, w.maxRpm);
    wire::putF32(AiConfig + kCoefficients, w.scale1);
    wire::putF32(AiConfig + kCoefficients + 4, w.scale2);
    SendDataCommand(pump, WireCode::ThrottleConfig, 0, 0, AiConfig);
    SendShortCommand(pump, WireCode::PumpConfig, 0);
    // MaxRpm and MinRpm come only from a throttle reply: without this read-back a lowered
    // maximum would not bound the speed steps until the next first contact.
    SendShortCommand(pump, WireCode::ThrottleConfig, 0);
}

void run(int pump, const PumpIdWrite& w) {
    std::memcpy(PumpTable[pump].PumpId, w.id.data(), kPumpIdSize);
    IdentityWritten(pump, std::string(w.id.data(), strnlen(w.id.data(), kPumpIdSize - 1)));
    SendDataCommand(pump, WireCode::WritePumpId, 0, 0,
                    bytesOf(PumpTable[pump].PumpId, kPumpIdSize));
}

// One pump, or every pump in index order; only pumps whose row is enabled.
template <typename Payload>
void sendToEnabled(int pump, const Payload& payload) {
    if (pump == kAllPumps) {
        for (int p = 0; p < kPumpCount; ++p)
            if (PumpRowEnabled(p)) run(p, payload);
    } else if (PumpRowEnabled(pump)) {
        run(pump, payload);
    } else {
        TRACE(ops, "pump %d skipped: its row is dimmed", pump + 1);
    }
}

}  // namespace

void SendPumpCommand(int pump, Op op) {
    sendToEnabled(pump, op);
}
void SendPumpCommand(int pump, SpeedStep step) {
    sendToEnabled(pump, step);
}
void SendPumpCommand(int pump, const TripPressureWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const ShutdownOverride& request) {
    sendToEnabled(pump, request);
}
void SendPumpCommand(int pump, const AiConfigRead& read) {
    sendToEnabled(pump, read);
}
void SendPumpCommand(int pump, const FiConfigRead& read) {
    sendToEnabled(pump, read);
}
void SendPumpCommand(int pump, const AiConfigWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const FiConfigWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const PumpGeometryWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const PumpEfficiencyWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const AlarmLimitWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const ThrottleConfigWrite& write) {
    sendToEnabled(pump, write);
}
void SendPumpCommand(int pump, const PumpIdWrite& write) {
    sendToEnabled(pump, write);
}

std::optional<std::uint32_t> CommTimeoutWritten(int pump) {
    if (!validPump(pump) || !g.timeoutWritten[static_cast<std::size_t>(pump)]) return std::nullopt;
    return g.timeoutSent[static_cast<std::size_t>(pump)];
}

void Send_RPM_Request(int pump, SpeedStep step) {
    if (!validPump(pump)) return;
    if (PumpTable[pump].PumpGroup == kNoGroup)
        SendPumpCommand(pump, step);
    else if (g.hooks.groupSpeedStep)
        g.hooks.groupSpeedStep(pump, step);
}

void SendSpeedCommandNow(int pump) {
    if (!validPump(pump) || PumpTable[pump].ComPort == 0) return;
    if (PumpTable[pump].SpeedCommand.Run == 0) {
        // A power-off: it holds until a power-on or until the drive reports off, and it
        // overtakes the polls waiting for a pump that may not answer.
        PumpTable[pump].PowerOffCommanded = 1;
        DropWaitingForSpeedCommand(pump, PumpTable[pump].SpeedCommand.Rpm, 0);
    } else {
        PumpTable[pump].PowerOffCommanded = 0;
    }
    sendSpeedCommand(pump);
}

void IdleOpenPump(int pump) {
    if (!validPump(pump) || PumpTable[pump].PortConfig.Mode != 1) return;
    idlePump(pump);
}

void SetOperationHooks(const OperationHooks& hooks) {
    g.hooks = hooks;
}

void SetRaiseGate(RaiseGate gate) {
    g.raiseGate = gate;
}

void SetIdleHold(IdleHold hold) {
    g.idleHold = hold;
}

bool IdleHoldInstalled() {
    return g.idleHold != nullptr;
}

bool RaiseGateInstalled() {
    return g.raiseGate != nullptr;
}

void SetCeilingRefusal(CeilingRefusal show) {
    g.ceilingRefusal = show;
}

RaiseHold RaiseHeld(int pump) {
    const RaiseHold fleet = g.raiseGate != nullptr ? g.raiseGate(pump) : RaiseHold::None;
    if (fleet != RaiseHold::None) return fleet;
    return UnitUnconfirmed(pump) ? RaiseHold::UnitUnconfirmed : RaiseHold::None;
}

const char* RaiseHoldText(RaiseHold hold) {
    switch (hold) {
        case RaiseHold::EStop:
            return "E-stop";
        case RaiseHold::InlineOverpressure:
            return "inline overpressure";
        case RaiseHold::UnitUnconfirmed:
            return "another unit on its port";
        case RaiseHold::None:
            break;
    }
    return "";
}

bool StepRaises(int pump, SpeedStep step) {
    return validPump(pump) && stepResult(pump, step) > presentCommand(pump);
}

SpeedResult CommandSpeed(int pump, std::int16_t rpm) {
    if (!validPump(pump)) return SpeedResult::NotSent;
    if (!PumpRowEnabled(pump)) {
        TRACE(ops, "pump %d skipped: its row is dimmed", pump + 1);
        return SpeedResult::NotSent;
    }
    const SpeedResult verdict = raiseVerdict(pump, std::max<long long>(rpm, 0));
    if (verdict != SpeedResult::Sent) return verdict;
    PumpTable[pump].SpeedCommand.Rpm = ToRpm(std::max<long long>(rpm, 0));
    sendSpeedCommand(pump);
    return SpeedResult::Sent;
}

void IdleAllPumps() {
    g.opTripTicks = 0;  // a trip while the last one's repeats run starts its own two
    SendPumpCommand(kAllPumps, Op::Idle);
    if (g.opTripPanel != 0)
        ui::SetCtrlAttribute(g.opTripPanel, g.opTripControl, ui::ATTR_ENABLED, 1);
}

void SetOpTripTimer(int panel, int control) {
    g.opTripPanel = panel;
    g.opTripControl = control;
}

int TmrOpTrip(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    SendPumpCommand(kAllPumps, Op::Idle);
    if (++g.opTripTicks >= kOpTripRepeats) {
        g.opTripTicks = 0;
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    }
    return 0;
}

void ResetOperations() {
    g = {};
}
VNK_MODULE_STATE_RESET(link, operations, g, ResetOperations)

void ResetLink() {
    RegisterLinkStates();
    modstate::ResetLibrary("link");
    CreateTxQueues();
    SetTransmit(TransmitPacket);
    platform::SetPortLostHandler(PortLost);
    SetContactCommands({contactCameOnline, contactFirstRead, contactPressureZeroRead});
}

}  // namespace pumplink
