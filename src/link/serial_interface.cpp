#include "link/serial_interface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/wire.h"
#include "link/directcontrol.h"
#include "link/queue.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

std::uint8_t AiConfig[kAiConfigSize];
std::uint8_t FiConfig[kFiConfigSize];
std::uint8_t AlarmLimits[kAlarmLimitsSize];
std::uint8_t AlarmOptions[kAlarmOptionsSize];

namespace {

constexpr double kGallonsPerBarrel = 42.0;
constexpr double kHydraulicHpFactor = 0.00058334;  // psi x gal/min -> hp
constexpr double kPsiToKpa = 6.8948;
constexpr double kPsiToMpa = 0.0068948;
constexpr double kHpToKw = 0.746;
constexpr double kBblToCubicMetres = 0.15899;
constexpr double kFahrenheitStep = 0.555555;
constexpr std::uint16_t kTripPointNotReported = 0xFFFF;
constexpr std::uint16_t kStatusReportsSetpoint = 0x0080;
constexpr int kChannels = 8;
constexpr int kDischargeChannel = 4;  // the analog input of the discharge pressure
constexpr const char* kSettingsKey = "Software\\Qorv\\VNKPC";

LinkHooks g_hooks;
bool g_rowDimmed[kTableSize];
double g_lastRxAt[kTableSize];   // Timer() time of the entry's last good packet
double g_zeroUntil[kTableSize];  // a pending zero of the discharge channel expires then
// The station knows the pump's speed command: it sent one, or the pump reported its
// set-point, or its speed was adopted after it came on line.
bool g_commandKnown[kTableSize];
int g_opTripPanel = 0;
int g_opTripControl = 0;
int g_opTripTicks = 0;
VfdResetControls g_vfdReset;
int g_vfdResetPanel = 0;
int g_vfdResetButton = 0;  // the button pressed last

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}
bool validEntry(int entry) {
    return entry >= 0 && entry < kTableSize;
}

// Float-to-integer truncation that cannot overflow: values from the wire may be anything.
long long truncSafe(double v) {
    if (!std::isfinite(v)) return 0;
    constexpr double kLimit = 4.0e18;
    if (v > kLimit) v = kLimit;
    if (v < -kLimit) v = -kLimit;
    return static_cast<long long>(v);
}

std::int16_t toRpm(long long v) {
    if (v > std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    if (v < std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(v);
}

bool metricUnits() {
    return g_hooks.displayUnits && g_hooks.displayUnits() == 1;
}

float toF(double v) {
    return static_cast<float>(v);
}
float fahrenheitToCelsius(float v) {
    return toF((v - 32.0) * kFahrenheitStep);
}

void decodeDataRecord(int entry, const std::uint8_t* d, bool metric) {
    using wire::getF32;
    using wire::getU16;
    PumpRecord& r = PumpTable[entry];

    const float rateGpm = getF32(d + 0);
    const float gallons = getF32(d + 4);
    const float discharge = getF32(d + 8);
    const std::uint16_t status = getU16(d + 68);

    r.StatusWord = status;
    r.Tripped = (status & 0x70) == 0x40 ? 1 : 0;
    r.AlarmWord = getU16(d + 70);
    r.TripWord = getU16(d + 72);
    r.FaultWord = getU16(d + 74);
    r.VfdOn = d[82];
    if (r.VfdOn == 0 && entry < kPumpCount) PowerOffCommanded[entry] = 0;  // it is off now
    r.MotorRpm = getF32(d + 52);
    r.StatusFlag2 = d[83];
    r.BearingTempDE = getF32(d + 32);
    r.BearingTempNDE = getF32(d + 36);
    r.WindingTempA = getF32(d + 40);
    r.WindingTempB = getF32(d + 44);
    r.WindingTempC = getF32(d + 48);
    r.DischargePressure = discharge;
    r.OilPressure = getF32(d + 16);
    r.SuctionPressure = getF32(d + 24);
    r.ReplyByte80 = d[80];
    r.OilTemperature = getF32(d + 12);
    r.PumpRpm = getF32(d + 20);
    r.PumpRate = toF(rateGpm / kGallonsPerBarrel);
    r.TotalVolume = toF(gallons / kGallonsPerBarrel);
    // From the raw psi and gal/min, before any conversion.
    r.HydraulicHp = toF(static_cast<double>(discharge) * rateGpm * kHydraulicHpFactor);
    r.LastTripPressure = static_cast<float>(getU16(d + 76));

    const std::uint16_t tripPoint = getU16(d + 78);
    if (tripPoint != kTripPointNotReported)
        r.TripPressure = metric ? toF(tripPoint * kPsiToMpa) : static_cast<float>(tripPoint);

    if (metric) {
        r.OilPressure = toF(r.OilPressure * kPsiToKpa);
        r.SuctionPressure = toF(r.SuctionPressure * kPsiToKpa);
        r.DischargePressure = toF(r.DischargePressure * kPsiToMpa);
        r.LastTripPressure = toF(r.LastTripPressure * kPsiToMpa);
        r.HydraulicHp = toF(r.HydraulicHp * kHpToKw);
        r.PumpRate = toF(r.PumpRate * kBblToCubicMetres);
        r.TotalVolume = toF(r.TotalVolume * kBblToCubicMetres);
        r.WindingTempA = fahrenheitToCelsius(r.WindingTempA);
        r.WindingTempB = fahrenheitToCelsius(r.WindingTempB);
        r.WindingTempC = fahrenheitToCelsius(r.WindingTempC);
        r.BearingTempDE = fahrenheitToCelsius(r.BearingTempDE);
        r.BearingTempNDE = fahrenheitToCelsius(r.BearingTempNDE);
        r.OilTemperature = fahrenheitToCelsius(r.OilTemperature);
    }

    r.AutoAllowed = d[84];
    if ((status & kStatusReportsSetpoint) != 0) {
        SpeedCommand[entry].Rpm = wire::getI16(d + 66);
        r.RpmSetpoint = SpeedCommand[entry].Rpm;
        SpeedCommand[entry].Run = d[82];
        g_commandKnown[entry] = true;
    }
    if (r.AdoptSpeed != 0) {
        if (r.MotorRpm >= 0.0f) {
            SpeedCommand[entry].Rpm = toRpm(truncSafe(r.MotorRpm));
            r.RpmSetpoint = SpeedCommand[entry].Rpm;
            g_commandKnown[entry] = true;
        }
        r.AdoptSpeed = 0;
    }
}

void decodeNetworkInfo(int entry, int length, const std::uint8_t* d) {
    char* text = NetworkInfo[entry];
    std::memset(text, 0, kNetworkInfoSize);
    // The text sits at the end of the data; a reply too short to hold it carries none.
    if (length >= kNetworkTextSpan) {
        const std::uint8_t* from = d + (length - kNetworkTextSpan);
        for (int i = 0; i < kNetworkTextSpan && i < kNetworkInfoSize - 1 && from[i] != 0; ++i)
            text[i] = static_cast<char>(from[i]);
    }
    if (g_hooks.showNetworkInfo) g_hooks.showNetworkInfo(entry);
}

void sendSpeedCommand(int pump) {
    if (PowerOffCommanded[pump] != 0) SpeedCommand[pump].Run = 0;
    g_commandKnown[pump] = true;
    std::uint8_t bytes[SpeedCommandRecord::kSize];
    SpeedCommand[pump].encode(bytes);
    SendDataCommand(pump, 0x1A, 0, 0, bytes, SpeedCommandRecord::kSize);
}

// The speed an idle brings a pump to: down to its idle speed, never up. The present speed
// is the pump's speed command; only while that is not known yet does the reported motor
// speed count as well (the larger of the two). A pump already slower, stopped, or slowing
// down to a STOP keeps its command, and nothing above MaxRpm or below 0 goes out.
std::int16_t idleSpeed(int pump) {
    const PumpRecord& r = PumpTable[pump];
    const long long command = SpeedCommand[pump].Rpm;
    const long long present =
        g_commandKnown[pump] ? command : std::max(command, truncSafe(r.MotorRpm));
    long long idle = std::min(truncSafe(r.MinRpm), present);
    if (r.MaxRpm > 0) idle = std::min(idle, truncSafe(r.MaxRpm));
    return toRpm(std::max(idle, 0LL));
}

// An idle overtakes the connect polls waiting in the pump's queue: a pump that hears but
// cannot answer gets it within one reply time-out.
void idlePump(int pump) {
    DropWaitingForSpeedCommand(pump);
    SpeedCommand[pump].Rpm = idleSpeed(pump);
    PumpTable[pump].RpmSetpoint = SpeedCommand[pump].Rpm;
    sendSpeedCommand(pump);
}

void speedStep(int pump, int step) {
    PumpRecord& r = PumpTable[pump];
    SpeedCommand[pump].Rpm = r.RpmSetpoint;
    // No set-point yet: the limits may not be known either, so ask for them.
    if (SpeedCommand[pump].Rpm < 1) SendShortCommand(pump, 0x02, 0);
    long long rpm = SpeedCommand[pump].Rpm;
    switch (step) {
        case kStepStop:
            rpm = 0;
            break;
        case kStepUpSmall:
            rpm += r.RpmStepSmall;
            break;
        case kStepUpLarge:
            rpm += r.RpmStepLarge;
            break;
        case kStepDownSmall:
            rpm -= r.RpmStepSmall;
            break;
        case kStepDownLarge:
            rpm -= r.RpmStepLarge;
            break;
        case kStepIdle:
            rpm = std::min<long long>(idleSpeed(pump), rpm);
            break;
        default:
            break;
    }
    if (r.MaxRpm < static_cast<float>(rpm)) rpm = truncSafe(r.MaxRpm);
    if (rpm < 0) rpm = 0;
    SpeedCommand[pump].Rpm = toRpm(rpm);
    r.RpmSetpoint = SpeedCommand[pump].Rpm;
    sendSpeedCommand(pump);
}

void sendTimeouts(int pump) {
    unsigned int timeout1 = 30;
    unsigned int timeout2 = 60;
    unsigned int v = 0;
    if (platform::RegReadULong(platform::REGKEY_HKLM, kSettingsKey, "Timeout1", &v, 1) ==
        platform::kRegOk)
        timeout1 = v;
    if (platform::RegReadULong(platform::REGKEY_HKLM, kSettingsKey, "Timeout2", &v, 1) ==
        platform::kRegOk)
        timeout2 = v;
    std::uint8_t bytes[8];
    wire::putU32(bytes, timeout1);
    wire::putU32(bytes + 4, timeout2);
    SendDataCommand(pump, 0x3C, 0, 0, bytes, 8);
}

template <typename T>
bool scalarArg(const void* data, int length, T& out) {
    if (data == nullptr || length < static_cast<int>(sizeof(T))) return false;
    std::memcpy(&out, data, sizeof(T));
    return true;
}

void runOperation(int pump, int operation, const void* data, int length) {
    PumpRecord& r = PumpTable[pump];
    const auto* d = static_cast<const std::uint8_t*>(data);
    const auto has = [&](int n) { return d != nullptr && length >= n; };
    std::uint8_t* config = r.PumpConfig.bytes.data();

    switch (operation) {
        case OpIdle:
            idlePump(pump);
            break;
        case OpClearTotals:
            SendDataCommand(pump, 0x04, 99, 0, nullptr, 0);
            break;
        case OpZeroPressure:
            // Reading channel 4 first: its reply completes the write (see the decoder).
            SendShortCommand(pump, 0x01, kDischargeChannel);
            PendingAiWrite[pump] = 1;
            g_zeroUntil[pump] = platform::Timer() + 2.0 * ReplyTimeout;
            break;
        case OpSpeedStep: {
            std::int32_t step = 0;
            if (scalarArg(data, length, step)) speedStep(pump, step);
            break;
        }
        case OpResetVfdFault:
            SendDataCommand(pump, 0x34, 0, 0, nullptr, 0);
            break;
        case OpSetTripPressure: {
            float psi = 0.0f;
            if (!scalarArg(data, length, psi)) break;
            r.PumpConfig.setTripPsi(static_cast<std::uint16_t>(truncSafe(psi) & 0xFFFF));
            SendDataCommand(pump, 0x1B, 0, 0, config, PumpConfigBlock::kSize);
            SendShortCommand(pump, 0x1B, 0);
            break;
        }
        case OpResetAlarms:
            SendDataCommand(pump, 0x35, 0, 0, nullptr, 0);
            break;
        case OpSendTimeouts:
            sendTimeouts(pump);
            break;
        case OpSendAlarmOptions:
            // Every pump coming on line sends the word to every pump: when a fleet comes on
            // line together, the copies would fill an early pump's queue until it empties
            // itself, and the requests queued at its first contact would be lost with them.
            // A copy still waiting says the same.
            if (!QueueHasWaiting(pump, 0xC0 | 0x33, 0, AlarmOptions, kAlarmOptionsSize))
                SendDataCommand(pump, 0x33, 0, 0, AlarmOptions, kAlarmOptionsSize);
            break;
        case OpShutdownOverride:
            if (has(1)) SendDataCommand(pump, 0x36, 0, 0, d, 1);
            break;
        case OpWriteAiConfig:
            if (!has(29)) break;
            std::memcpy(AiConfig + 12, d + 4, 24);
            AiConfig[1] = d[28];
            SendDataCommand(pump, 0x01, d[0], 0, AiConfig, kAiConfigSize);
            break;
        case OpReadAiConfig: {
            std::int32_t channel = 0;
            if (scalarArg(data, length, channel)) SendShortCommand(pump, 0x01, channel);
            break;
        }
        case OpWriteFiConfig:
            if (!has(7)) break;
            FiConfig[1] = d[2];
            std::memcpy(FiConfig + 28, d + 3, 4);
            SendDataCommand(pump, 0x03, d[0], 0, FiConfig, kFiConfigSize);
            break;
        case OpReadFiConfig: {
            std::int32_t channel = 0;
            if (scalarArg(data, length, channel)) SendShortCommand(pump, 0x03, channel);
            break;
        }
        case OpWritePumpConfigA:
            if (!has(10)) break;
            std::memcpy(config + 20, d, 4);      // plunger diameter
            std::memcpy(config + 16, d + 4, 4);  // stroke
            config[0] = d[8];                    // plungers
            SendDataCommand(pump, 0x1B, 0, 0, config, PumpConfigBlock::kSize);
            break;
        case OpReadPumpConfig:
        case OpReadPumpConfig2:
            SendShortCommand(pump, 0x1B, 0);
            break;
        case OpWritePumpConfigB:
            if (!has(8)) break;
            std::memcpy(config + 24, d, 4);      // efficiency
            std::memcpy(config + 12, d + 4, 4);  // gear ratio
            SendDataCommand(pump, 0x1B, 0, 0, config, PumpConfigBlock::kSize);
            break;
        case OpWriteAlarmLimit: {
            if (!has(9)) break;
            std::uint8_t pair[8];
            std::memcpy(pair, d + 5, 4);
            std::memcpy(pair + 4, d + 1, 4);
            SendDataCommand(pump, 0x32, d[0], 0, pair, 8);
            break;
        }
        case OpReadAlarmLimits:
            SendShortCommand(pump, 0x32, 0);
            break;
        case OpWriteThrottleConfig:
            if (!has(16)) break;
            wire::putF32(AiConfig + 32, static_cast<float>(wire::getI16(d + 4)));  // MinRpm
            wire::putF32(AiConfig + 28, static_cast<float>(wire::getI16(d + 6)));  // MaxRpm
            std::memcpy(AiConfig + 12, d + 8, 4);
            std::memcpy(AiConfig + 16, d + 12, 4);
            SendDataCommand(pump, 0x02, 0, 0, AiConfig, kAiConfigSize);
            SendShortCommand(pump, 0x1B, 0);
            break;
        case OpReadThrottleConfig:
            SendShortCommand(pump, 0x02, 0);
            break;
        case OpReadAlarmOptions:
            SendShortCommand(pump, 0x33, 0);
            break;
        case OpReadPumpId:
            SendShortCommand(pump, 0x1E, 0);
            break;
        case OpWritePumpId:
            if (!has(kPumpIdSize)) break;
            std::memcpy(r.PumpId, d, kPumpIdSize);
            SendDataCommand(pump, 0x1F, 0, 0, r.PumpId, kPumpIdSize);
            break;
        default:
            break;  // operations without a wire command send nothing
    }
}

}  // namespace

void SetLinkHooks(const LinkHooks& hooks) {
    g_hooks = hooks;
}
const LinkHooks& GetLinkHooks() {
    return g_hooks;
}

bool PumpRowEnabled(int pump) {
    if (!validPump(pump)) return false;
    if (g_hooks.rowEnabled) return g_hooks.rowEnabled(pump);
    return !g_rowDimmed[pump];
}

void SetPumpRowDimmed(int pump, bool dimmed) {
    if (validPump(pump)) g_rowDimmed[pump] = dimmed;
}

int DecodeDataReply(int entry, int code, int argument1, int length, const std::uint8_t* data) {
    if (!validEntry(entry) || data == nullptr || length < 0) return 1;
    // A reply shorter than the block it carries is not decoded: the block would be
    // completed with bytes left from earlier packets. The previous values stand.
    const bool metric = metricUnits();
    switch (code) {
        case 0x18:
            if (length >= kDataRecordSize) decodeDataRecord(entry, data, metric);
            break;
        case 0x1B: {
            if (length < PumpConfigBlock::kSize) break;
            PumpRecord& r = PumpTable[entry];
            std::memcpy(r.PumpConfig.bytes.data(), data, PumpConfigBlock::kSize);
            const std::uint16_t psi = r.PumpConfig.TripPsi();
            r.TripPressure = metric ? toF(psi * kPsiToMpa) : static_cast<float>(psi);
            if (g_hooks.showPumpConfig) g_hooks.showPumpConfig(entry);
            break;
        }
        case 0x1E:
            if (length >= kPumpIdSize) std::memcpy(PumpTable[entry].PumpId, data, kPumpIdSize);
            break;
        case 0x01:
            if (argument1 >= kChannels) break;
            if (length < kAiConfigSize) {
                // Never write back a block made of stale bytes; the zeroing is abandoned.
                PendingAiWrite[entry] = 0;
                break;
            }
            std::memcpy(AiConfig, data, kAiConfigSize);
            // Only the discharge channel's own block, read for this zero and in time, is
            // written back: another channel's or a stale block would move the wrong offset.
            if (PendingAiWrite[entry] != 0 && platform::Timer() > g_zeroUntil[entry])
                PendingAiWrite[entry] = 0;
            if (PendingAiWrite[entry] != 0 && argument1 == kDischargeChannel) {
                const float offset = wire::getF32(AiConfig + 12) - wire::getF32(AiConfig + 8);
                wire::putF32(AiConfig + 12, offset);
                SendDataCommand(entry, 0x01, kDischargeChannel, 0, AiConfig, kAiConfigSize);
                PendingAiWrite[entry] = 0;
            }
            if (g_hooks.showAiConfig) g_hooks.showAiConfig();
            break;
        case 0x02: {
            if (argument1 >= kChannels || length < kAiConfigSize) break;
            std::memcpy(AiConfig, data, kAiConfigSize);
            if (g_hooks.showThrottleConfig) g_hooks.showThrottleConfig();
            PumpRecord& r = PumpTable[entry];
            r.MaxRpm = wire::getF32(AiConfig + 28);
            r.MinRpm = wire::getF32(AiConfig + 32);
            // A set-point outside the limits comes within them at the minimum, but a stopped
            // pump stays stopped: its next step down must not start from the minimum.
            const float setpoint = r.RpmSetpoint;
            if (setpoint != 0.0f && (setpoint > r.MaxRpm || setpoint < r.MinRpm))
                r.RpmSetpoint = toRpm(truncSafe(r.MinRpm));
            break;
        }
        case 0x03:
            if (argument1 >= kChannels || length < kFiConfigSize) break;
            std::memcpy(FiConfig, data, kFiConfigSize);
            if (g_hooks.showFiConfig) g_hooks.showFiConfig();
            break;
        case 0x08:
            decodeNetworkInfo(entry, length, data);
            break;
        case 0x32:
            if (length < kAlarmLimitsSize) break;
            std::memcpy(AlarmLimits, data, kAlarmLimitsSize);
            if (g_hooks.showAlarmLimits) g_hooks.showAlarmLimits();
            break;
        case 0x33:
            if (length >= kAlarmOptionsSize) std::memcpy(AlarmOptions, data, kAlarmOptionsSize);
            break;
        default:
            break;
    }
    return 1;
}

void NoteGoodPacket(int entry) {
    if (!validEntry(entry)) return;
    PumpTable[entry].SecondsSinceRx = 0.0f;
    g_lastRxAt[entry] = platform::Timer();
}

void PumpCameOnline(int pump) {
    if (!validPump(pump)) return;
    // After a silence up to ten connect polls wait in the queue; left there, the commands a
    // pump gets on coming back would overflow it, and the queue would throw them away.
    DropWaitingConnectPolls(pump);
    // The row first: operations go only to pumps whose row is enabled.
    g_rowDimmed[pump] = false;
    if (g_hooks.bringFracOffline) g_hooks.bringFracOffline(0, pump);
    SendPumpCommand(pump, OpSendTimeouts, nullptr, 0);
    SendPumpCommand(-1, OpSendAlarmOptions, nullptr, 0);
    PumpTable[pump].AdoptSpeed = 1;
}

void PumpWentOffline(int pump) {
    if (!validPump(pump)) return;
    PendingAiWrite[pump] = 0;  // a zero never completes on a later connection
    g_commandKnown[pump] = false;
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
    SpeedCommand[pump].Rpm = 0;
    r.RpmSetpoint = 0;
    g_rowDimmed[pump] = true;
    if (g_hooks.bringFracOffline) g_hooks.bringFracOffline(1, pump);
}

int ComTimerTick(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    const double interval = ui::GetCtrlAttributeDouble(panel, control, ui::ATTR_INTERVAL);
    const double now = platform::Timer();
    for (int p = 0; p < kPumpCount; ++p) {
        PumpRecord& r = PumpTable[p];
        double silent = interval;
        // A packet that came part-way through the last interval has been silent only since
        // it came; counting the whole interval would take a pump off line up to one
        // interval early.
        if (r.SecondsSinceRx == 0.0f) {
            const double since = now - g_lastRxAt[p];
            if (since >= 0.0 && since < silent) silent = since;
        }
        r.SecondsSinceRx = toF(r.SecondsSinceRx + silent);
        if (r.SecondsSinceRx > kSilenceLimit) {
            if (r.Online != 0) PumpWentOffline(p);
            r.Online = 0;
        }
    }
    return 0;
}

void SendPumpCommand(int pump, int operation, const void* data, int length) {
    if (pump == -1) {
        for (int p = 0; p < kPumpCount; ++p)
            if (PumpRowEnabled(p)) runOperation(p, operation, data, length);
    } else if (PumpRowEnabled(pump)) {
        runOperation(pump, operation, data, length);
    }
}

void Send_RPM_Request(int pump, int step) {
    if (!validPump(pump)) return;
    if (PumpGroup[pump] == kNoGroup) {
        std::int32_t s = step;
        SendPumpCommand(pump, OpSpeedStep, &s, sizeof s);
    } else if (g_hooks.groupSpeedStep) {
        g_hooks.groupSpeedStep(pump, step);
    }
}

void SendSpeedCommandNow(int pump) {
    if (!validPump(pump) || PumpTable[pump].ComPort == 0) return;
    if (SpeedCommand[pump].Run == 0) {
        // A power-off: it holds until a power-on or until the drive reports off, and it
        // overtakes the polls waiting for a pump that may not answer.
        PowerOffCommanded[pump] = 1;
        DropWaitingForSpeedCommand(pump);
    } else {
        PowerOffCommanded[pump] = 0;
    }
    sendSpeedCommand(pump);
}

void IdleOpenPump(int pump) {
    if (!validPump(pump) || PortConfig[pump].Mode != 1) return;
    idlePump(pump);
}

void IdleAllPumps() {
    SendPumpCommand(-1, OpIdle, nullptr, 0);
    if (g_opTripPanel != 0)
        ui::SetCtrlAttribute(g_opTripPanel, g_opTripControl, ui::ATTR_ENABLED, 1);
}

void SetOpTripTimer(int panel, int control) {
    g_opTripPanel = panel;
    g_opTripControl = control;
}

int TmrOpTrip(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    SendPumpCommand(-1, OpIdle, nullptr, 0);
    if (++g_opTripTicks >= 2) {
        g_opTripTicks = 0;
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    }
    return 0;
}

void SetVfdResetControls(const VfdResetControls& controls) {
    g_vfdReset = controls;
}

int ResetVfdFault(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (ui::ConfirmPopup("Reset VFD", "Do you want to reset the VFD fault?") != 1) return 0;
    // The drive needs time to come back: the buttons stay locked until the timer ends it.
    ui::SetCtrlAttribute(panel, control, ui::ATTR_DIMMED, 1);
    g_vfdResetPanel = panel;
    g_vfdResetButton = control;
    if (g_vfdReset.timer != 0) {
        ui::SetCtrlAttribute(panel, g_vfdReset.timer, ui::ATTR_INTERVAL, kVfdResetLockSeconds);
        ui::SetCtrlAttribute(panel, g_vfdReset.timer, ui::ATTR_ENABLED, 1);
    }
    const int pump = g_hooks.currentPump ? g_hooks.currentPump() : 255;
    SendPumpCommand(pump, OpResetVfdFault, nullptr, 0);
    return 0;
}

int ResetTimerCallback(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    for (int button : g_vfdReset.buttons)
        if (button != 0) ui::SetCtrlAttribute(panel, button, ui::ATTR_DIMMED, 0);
    if (g_vfdResetButton != 0 && g_vfdResetPanel == panel)
        ui::SetCtrlAttribute(panel, g_vfdResetButton, ui::ATTR_DIMMED, 0);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    return 0;
}

void ResetSerialInterface() {
    std::memset(AiConfig, 0, sizeof AiConfig);
    std::memset(FiConfig, 0, sizeof FiConfig);
    std::memset(AlarmLimits, 0, sizeof AlarmLimits);
    std::memset(AlarmOptions, 0, sizeof AlarmOptions);
    g_hooks = LinkHooks{};
    for (int i = 0; i < kTableSize; ++i) {
        g_rowDimmed[i] = true;
        g_lastRxAt[i] = 0.0;
        g_zeroUntil[i] = 0.0;
        g_commandKnown[i] = false;
    }
    g_opTripPanel = g_opTripControl = g_opTripTicks = 0;
    g_vfdReset = VfdResetControls{};
    g_vfdResetPanel = g_vfdResetButton = 0;
}

void ResetLink() {
    ResetPumpTable();
    ResetDirectControl();
    ResetSerialInterface();
    ResetTxQueues();
    CreateTxQueues();
}

namespace {
struct StartOfRun {
    StartOfRun() {
        for (bool& dimmed : g_rowDimmed) dimmed = true;
    }
} g_startOfRun;
}  // namespace
