// The serial protocol between the station and a pump controller, by name: packet layout,
// packet types, every wire code, block sizes and the offsets of the fields the station reads.
// This is the one place where the protocol's numbers are written; everything else in the
// station uses these names. (The simulator writes its own copy on purpose, so the two sides
// check each other.)
//
// Packet (both directions): 16 01 h2 h3 | type<<6 | code | arg1 | arg2 | N | N data | CRC hi lo
// The CRC (CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR) is sent
// high byte first; run over a whole packet, its own two bytes included, it comes out 0.
#pragma once

#include <cstdint>

namespace pumplink {

// ---- framing ----
constexpr std::uint8_t kStartByte = 0x16;
constexpr std::uint8_t kSecondStartByte = 0x01;
constexpr std::uint8_t kStationByte2 = 0xFF;  // bytes 2 and 3 of every station packet
constexpr std::uint8_t kStationByte3 = 0x01;
// Byte 3 of a controller's packet is one of these; anything else restarts the hunt.
constexpr bool validByte3(std::uint8_t b) {
    return b == 0x00 || b == 0x01 || b == 0xFF;
}
constexpr std::uint16_t kCrcPolynomial = 0x1021;

constexpr int kOffTypeCode = 4;  // type in bits 7-6, code in bits 5-0
constexpr int kOffArg1 = 5;
constexpr int kOffArg2 = 6;
constexpr int kOffLength = 7;  // N
constexpr int kHeaderSize = 8;
constexpr int kPacketOverhead = 10;  // the header and the CRC
constexpr int kMaxDataLength = 255;  // what the length byte can say

// Packet types, bits 7-6 of byte 4.
enum class PacketType : std::uint8_t {
    Ack = 0,      // controller: acknowledgement
    Short = 1,    // station: request without data; controller: accepted
    Data = 2,     // controller: data reply
    Command = 3,  // station: command with data; controller: accepted
};

// Every code that travels in bits 5-0 of byte 4.
enum class WireCode : std::uint8_t {
    AiConfig = 0x01,        // analog-input configuration block (argument 1: channel)
    ThrottleConfig = 0x02,  // throttle configuration block: speed limits and scaling
    FiConfig = 0x03,        // frequency-input configuration block (argument 1: channel)
    ClearTotals = 0x04,     // argument 1 must be kClearTotalsGuard
    NetworkInfo = 0x08,
    DataRecord = 0x18,  // the 88-byte live record; the poll
    Speed = 0x1A,       // the 6-byte speed command
    PumpConfig = 0x1B,  // pump characteristics block; its request is the connect poll
    PumpId = 0x1E,      // the identification text: its request and its reply
    WritePumpId = 0x1F,
    AlarmLimits = 0x32,  // 16 set-point pairs; a write carries one pair (argument 1: its code)
    AlarmOptions = 0x33,
    ResetVfdFault = 0x34,
    ResetAlarms = 0x35,
    ShutdownOverride = 0x36,
    Timeouts = 0x3C,
};
constexpr std::uint8_t kCodeMask = 0x3F;
constexpr std::uint8_t kClearTotalsGuard = 99;
// The analog input of the discharge pressure: the one the pressure zeroing reads and writes.
constexpr std::uint8_t kDischargeChannel = 4;

constexpr std::uint8_t typeAndCode(PacketType type, WireCode code) {
    return static_cast<std::uint8_t>((static_cast<unsigned>(type) << 6) |
                                     (static_cast<unsigned>(code) & kCodeMask));
}
constexpr PacketType packetTypeOf(std::uint8_t byte4) {
    return static_cast<PacketType>(byte4 >> 6);
}
constexpr WireCode wireCodeOf(std::uint8_t byte4) {
    return static_cast<WireCode>(byte4 & kCodeMask);
}
// For traces: "DataRecord", or "?" for a code the station does not know.
constexpr const char* WireCodeName(WireCode code) {
    switch (code) {
        case WireCode::AiConfig:
            return "AiConfig";
        case WireCode::ThrottleConfig:
            return "ThrottleConfig";
        case WireCode::FiConfig:
            return "FiConfig";
        case WireCode::ClearTotals:
            return "ClearTotals";
        case WireCode::NetworkInfo:
            return "NetworkInfo";
        case WireCode::DataRecord:
            return "DataRecord";
        case WireCode::Speed:
            return "Speed";
        case WireCode::PumpConfig:
            return "PumpConfig";
        case WireCode::PumpId:
            return "PumpId";
        case WireCode::WritePumpId:
            return "WritePumpId";
        case WireCode::AlarmLimits:
            return "AlarmLimits";
        case WireCode::AlarmOptions:
            return "AlarmOptions";
        case WireCode::ResetVfdFault:
            return "ResetVfdFault";
        case WireCode::ResetAlarms:
            return "ResetAlarms";
        case WireCode::ShutdownOverride:
            return "ShutdownOverride";
        case WireCode::Timeouts:
            return "Timeouts";
    }
    return "?";
}

// ---- blocks ----
constexpr int kDataRecordSize = 88;
constexpr int kAiConfigSize = 44;      // analog-input and throttle configuration
constexpr int kFiConfigSize = 40;      // frequency-input configuration
constexpr int kPumpConfigSize = 44;    // pump characteristics
constexpr int kAlarmLimitsSize = 128;  // 16 pairs of f32 set-points
constexpr int kAlarmPairSize = 8;
constexpr int kAlarmOptionsSize = 2;  // the optional-trip switches
constexpr int kPumpIdSize = 9;
constexpr int kSpeedCommandSize = 6;
constexpr int kTimeoutsSize = 8;      // u32 Timeout1, u32 Timeout2
constexpr int kNetworkTextSpan = 17;  // the text sits in the last 17 bytes of its reply
constexpr int kChannels = 8;          // configuration replies for channel 8 and up are ignored

// Data record fields (little-endian).
namespace record {
constexpr int kRateGpm = 0;       // f32
constexpr int kGallons = 4;       // f32
constexpr int kDischarge = 8;     // f32, psi
constexpr int kOilTemp = 12;      // f32, deg F
constexpr int kOilPressure = 16;  // f32, psi
constexpr int kPumpRpm = 20;      // f32
constexpr int kSuction = 24;      // f32, psi
constexpr int kBearingDE = 32;    // f32, deg F
constexpr int kBearingNDE = 36;   // f32, deg F
constexpr int kWindingA = 40;     // f32, deg F
constexpr int kWindingB = 44;     // f32, deg F
constexpr int kWindingC = 48;     // f32, deg F
constexpr int kMotorRpm = 52;     // f32
constexpr int kSetpoint = 66;     // i16, valid with kStatusReportsSetpoint
constexpr int kStatus = 68;       // u16
constexpr int kAlarms = 70;       // u16
constexpr int kTrips = 72;        // u16
constexpr int kFault = 74;        // u16
constexpr int kLastTrip = 76;     // u16, psi
constexpr int kTripPoint = 78;    // u16, psi; kTripPointNotReported when unchanged
constexpr int kByte80 = 80;       // u8, kept as received
constexpr int kDriveOn = 82;      // u8
constexpr int kOverrideOn = 83;   // u8, shutdown override
constexpr int kAutoAllowed = 84;  // u8
}  // namespace record

// Status word.
constexpr std::uint16_t kStatusReportsSetpoint = 0x0080;
constexpr std::uint16_t kStateMask = 0x0070;
constexpr std::uint16_t kStateTripped = 0x0040;
constexpr std::uint16_t kTripPointNotReported = 0xFFFF;

// Analog-input / throttle block (AiConfig).
namespace aiblock {
constexpr int kOption = 1;         // u8
constexpr int kReading = 8;        // f32, the channel's reading now
constexpr int kCoefficients = 12;  // 4 x f32, the first is the offset; the throttle keeps
                                   // its two scaling values in the first two
constexpr int kHigh = 28;          // f32; the throttle's maximum speed
constexpr int kLow = 32;           // f32; the throttle's minimum speed
}  // namespace aiblock

// Frequency-input block (FiConfig).
namespace fiblock {
constexpr int kOption = 1;         // u8
constexpr int kPulsesPerRev = 28;  // f32
}  // namespace fiblock

// Pump characteristics block (PumpConfig).
namespace pumpblock {
constexpr int kPlungers = 0;          // u8
constexpr int kTripPsi = 8;           // u16
constexpr int kGearRatio = 12;        // f32
constexpr int kStroke = 16;           // f32, inches
constexpr int kPlungerDiameter = 20;  // f32, inches
constexpr int kEfficiency = 24;       // f32, volumetric
}  // namespace pumpblock

}  // namespace pumplink
