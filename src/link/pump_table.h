// The Pump Table: the one place where the state of every pump is kept, one record per
// entry: its live values and everything the station keeps for it (speed command, port,
// queue counts, group, Auto box). Entries 0-23 are pumps 1-24 (bank = index / 8, row =
// index % 8); entry 24 is the serial data output port and uses only its port fields and its
// text buffer. Everything here is static, reached by index, and holds its start-of-run
// value before main() runs. PumpConfig, PumpId, SpeedCommand and the shared configuration
// buffers travel whole in packets and keep their wire layouts.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/wire.h"
#include "link/frame.h"
#include "link/protocol.h"

namespace pumplink {

constexpr int kPumpCount = 24;  // pumps 1-24: entries 0-23
constexpr int kTableSize = 25;  // plus the output port
constexpr int kOutputEntry = 24;

// The 44-byte pump characteristics block as the controller holds it. Bytes not named
// here are kept as received.
struct PumpConfigBlock {
    static constexpr int kSize = kPumpConfigSize;
    std::array<std::uint8_t, kSize> bytes{};

    // The system's names for the fields, and the same fields by what they hold.
    std::uint8_t ConfigByte0() const { return bytes[pumpblock::kPlungers]; }
    void setConfigByte0(std::uint8_t v) { bytes[pumpblock::kPlungers] = v; }
    std::uint16_t TripPsi() const { return wire::getU16(&bytes[pumpblock::kTripPsi]); }
    void setTripPsi(std::uint16_t v) { wire::putU16(&bytes[pumpblock::kTripPsi], v); }
    float ConfigValue12() const { return wire::getF32(&bytes[pumpblock::kGearRatio]); }
    void setConfigValue12(float v) { wire::putF32(&bytes[pumpblock::kGearRatio], v); }
    float ConfigValue16() const { return wire::getF32(&bytes[pumpblock::kStroke]); }
    void setConfigValue16(float v) { wire::putF32(&bytes[pumpblock::kStroke], v); }
    float ConfigValue20() const { return wire::getF32(&bytes[pumpblock::kPlungerDiameter]); }
    void setConfigValue20(float v) { wire::putF32(&bytes[pumpblock::kPlungerDiameter], v); }
    float ConfigValue24() const { return wire::getF32(&bytes[pumpblock::kEfficiency]); }
    void setConfigValue24(float v) { wire::putF32(&bytes[pumpblock::kEfficiency], v); }

    std::uint8_t Plungers() const { return ConfigByte0(); }
    void setPlungers(std::uint8_t v) { setConfigByte0(v); }
    float GearRatio() const { return ConfigValue12(); }
    void setGearRatio(float v) { setConfigValue12(v); }
    float Stroke() const { return ConfigValue16(); }  // inches
    void setStroke(float v) { setConfigValue16(v); }
    float PlungerDiameter() const { return ConfigValue20(); }  // inches
    void setPlungerDiameter(float v) { setConfigValue20(v); }
    float Efficiency() const { return ConfigValue24(); }
    void setEfficiency(float v) { setConfigValue24(v); }

    bool operator==(const PumpConfigBlock&) const = default;
};

// The 6-byte speed command: i16 Rpm, u8 Run, three zero bytes.
struct SpeedCommandRecord {
    static constexpr int kSize = kSpeedCommandSize;
    std::int16_t Rpm = 0;
    std::uint8_t Run = 0;
    std::array<std::uint8_t, kSize> encode() const {
        std::array<std::uint8_t, kSize> out{};
        wire::putI16(out.data(), Rpm);
        out[2] = Run;
        return out;
    }

    bool operator==(const SpeedCommandRecord&) const = default;
};

// Port state of an entry and its controls in the serial-monitor window.
struct PortConfigRecord {
    std::int32_t PortControl = 0;
    std::int32_t Mode = 0;  // 1: open and polled
    // The port's device went away while open (an adapter pulled): Mode is 0 and the port is
    // tried again every few seconds until it returns or the entry is given another port.
    bool Lost = false;
    std::int32_t OpenLed = 0;
    std::int32_t RxLed = 0;

    bool operator==(const PortConfigRecord&) const = default;
};

// The transmit queue's own counts of one pump (the queue's items are its own).
struct TxQueueRecord {
    std::int32_t ItemCount = kQueueNotCreated;  // packets queued, the head included
    double Deadline = 0.0;     // Timer() time the head must be answered by; 0.0: idle
    std::int32_t Count1B = 0;  // items of code PumpConfig waiting (connect polls among them)
    std::int32_t Count18 = 0;  // items of code DataRecord waiting

    static constexpr std::int32_t kQueueNotCreated = -2;

    bool operator==(const TxQueueRecord&) const = default;
};

constexpr int kNetworkInfoSize = 33;
constexpr std::int8_t kNoGroup = -1;

struct PumpRecord {
    std::uint8_t Online = 0;
    std::uint8_t AutoAllowed = 0;
    std::int32_t ComPort = 0;
    std::int32_t ConfiguredComPort = 0;
    float SecondsSinceRx = 0.0f;
    char TextBuffer[1024] = {};  // entry 24: the serial data output line
    std::uint8_t VfdOn = 0;
    std::uint8_t Tripped = 0;
    std::uint8_t StatusFlag2 = 0;
    std::uint16_t AlarmWord = 0;
    std::uint16_t TripWord = 0;
    std::uint16_t FaultWord = 0;
    float MotorRpm = 0.0f;
    float WindingTempA = 0.0f;
    float WindingTempB = 0.0f;
    float WindingTempC = 0.0f;
    float BearingTempDE = 0.0f;
    float BearingTempNDE = 0.0f;
    float DischargePressure = 0.0f;
    float TripPressure = 0.0f;
    float HydraulicHp = 0.0f;
    float OilPressure = 0.0f;
    float OilTemperature = 0.0f;
    float PumpRpm = 0.0f;
    float PumpRate = 0.0f;
    float TotalVolume = 0.0f;
    float SuctionPressure = 0.0f;
    std::uint8_t ReplyByte80 = 0;
    PumpConfigBlock PumpConfig;
    std::int16_t RpmStepSmall = 0;
    std::int16_t RpmStepLarge = 0;
    float MaxRpm = 0.0f;
    float MinRpm = 0.0f;
    // The present speed command as the station knows it (the same as SpeedCommand's Rpm):
    // what steps start from and what decides whether a command raises the pump.
    std::int16_t RpmSetpoint = 0;
    std::uint16_t StatusWord = 0;
    char PumpId[kPumpIdSize] = {};
    float LastTripPressure = 0.0f;
    // The units of every live value above (1 metric): the display units the last reply was
    // decoded in, or those a switch of the display units converted them to. Read a live
    // value in US units through LiveUs (live_units.h), never by the display setting.
    std::uint8_t MetricValues = 0;
    // Set when the pump comes on line: the next data record adopts the motor's speed as the
    // set-point (unless a speed command of the station's own is on its way), then clears it.
    std::uint8_t AdoptSpeed = 0;
    // The newest speed the station itself commanded the pump, queued or sent, until a
    // set-point the pump reports after taking it stands for it; and the set-point the pump
    // last reported. kNoRpm while there is none (since it went off line). An idle never goes
    // above either.
    std::int32_t CommandedRpm = kNoRpm;
    std::int32_t ReportedRpm = kNoRpm;

    // What the station keeps per pump beside the live values: every module reads and writes
    // these here, in the pump's own record.
    SpeedCommandRecord SpeedCommand;  // the speed command as the station last built it
    PortConfigRecord PortConfig;
    FrameAssembler PortState;  // the receive assembly of the entry's port
    TxQueueRecord TxQueue;     // pumps only
    // Whether the pump takes commands: its row is enabled exactly while it is on line (the
    // pump session keeps it; read it through PumpRowEnabled).
    bool RowDimmed = true;
    double LastRxAt = 0.0;              // Timer() time of the entry's last good packet
    std::uint8_t ReconnectRequest = 0;  // the next poll is a connect poll
    char NetworkInfo[kNetworkInfoSize] = {};
    // A pressure zero is waiting for its discharge-channel block to write the offset back.
    std::uint8_t PendingAiWrite = 0;
    double ZeroUntil = 0.0;  // a pressure zero not answered by then lapses
    std::int8_t PumpGroup = kNoGroup;
    std::uint8_t AutoSelected = 0;  // the pump's "Auto" box; changed only by SetAutoSelected
    // Set by the operator's power-off until a power-on or a report of the drive off: while it
    // is set no speed command to the pump carries Run 1, whatever a stale record says.
    std::uint8_t PowerOffCommanded = 0;
    // A full configuration block (PumpConfig) came from this pump since it came on line: only
    // then may the station write the block back with one field changed.
    bool PumpConfigRead = false;

    static constexpr std::int32_t kNoRpm = -1;

    bool operator==(const PumpRecord&) const = default;
};

extern PumpRecord (&PumpTable)[kTableSize];

// The shared configuration buffers: the block last read from or written to a pump.
extern std::uint8_t (&AiConfig)[kAiConfigSize];
extern std::uint8_t (&FiConfig)[kFiConfigSize];
extern std::uint8_t (&AlarmLimits)[kAlarmLimitsSize];
extern std::uint8_t (&AlarmOptions)[kAlarmOptionsSize];

// Set while ports are being closed or opened: bytes that arrive are thrown away and nothing
// is queued.
extern std::int32_t& PortsBusy;

// Every table back to its start-of-run state (all zero, no groups, ports not busy).
void ResetPumpTable();

// Pump index 0-23 as the operator sees it: bank window 0-2 and row 0-7.
inline int BankOf(int pump) {
    return pump / 8;
}
inline int RowOf(int pump) {
    return pump % 8;
}

// Float-to-integer truncation that cannot overflow: values from the wire may be anything.
inline long long TruncSafe(double v) {
    if (!std::isfinite(v)) return 0;
    constexpr double kLimit = 4.0e18;
    return static_cast<long long>(std::clamp(v, -kLimit, kLimit));
}
// A whole speed held within the i16 that the speed command carries.
inline std::int16_t ToRpm(long long v) {
    return static_cast<std::int16_t>(std::clamp<long long>(
        v, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

}  // namespace pumplink
