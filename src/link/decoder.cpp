#include "link/decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "common/wire.h"
#include "link/live_units.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/journal.h"
#include "platform/module_state.h"

namespace pumplink {

namespace {

constexpr double kGallonsPerBarrel = 42.0;
constexpr double kHydraulicHpFactor = 0.00058334;  // psi x gal/min -> hp

// The live values a data record carries, taken in psi, degF, bbl and hp and converted
// after. The trip point is apart: it comes only when it changes.
constexpr LiveField kRecordValues[] = {
    &PumpRecord::OilPressure,      &PumpRecord::SuctionPressure, &PumpRecord::DischargePressure,
    &PumpRecord::LastTripPressure, &PumpRecord::HydraulicHp,     &PumpRecord::PumpRate,
    &PumpRecord::TotalVolume,      &PumpRecord::WindingTempA,    &PumpRecord::WindingTempB,
    &PumpRecord::WindingTempC,     &PumpRecord::BearingTempDE,   &PumpRecord::BearingTempNDE,
    &PumpRecord::OilTemperature,
};

float toF(double v) {
    return static_cast<float>(v);
}
// A trip point in psi, in the units the reply is decoded in.
float tripValue(std::uint16_t psi, bool metric) {
    return metric ? MetricOf(&PumpRecord::TripPressure, psi) : static_cast<float>(psi);
}

// What the journal last recorded of each pump's trip, alarm, trip and fault words: only
// changes are journalled, and a pump that goes off line keeps its alarms until a record
// says they have gone.
struct Journalled {
    std::uint8_t tripped = 0;
    std::uint16_t alarms = 0;
    std::uint16_t trips = 0;
    std::uint16_t fault = 0;
    bool seen = false;  // a record of the pump has been journalled since the start
    // Its trip came on in the first record since the pump came on line: when it tripped is
    // not known.
    bool tripFound = false;
    bool operator==(const Journalled&) const = default;
};
struct DecoderState {
    std::array<Journalled, kPumpCount> journalled{};
    bool operator==(const DecoderState&) const = default;
};
DecoderState g;

// An alarm raised by the first record since the pump came on line was there before the
// station saw it: its journal line says so, rather than dating it to that moment.
std::string raisedText(const std::string& name, bool firstContact) {
    return firstContact ? name + ", found at first contact" : name;
}

void journalBits(int pump, journal::Kind kind, bool tripWord, std::uint16_t before,
                 std::uint16_t now, bool firstContact) {
    for (std::uint16_t changed = before ^ now; changed != 0; changed &= changed - 1) {
        const auto bit = static_cast<std::uint16_t>(changed & -changed);
        const std::string name = AlarmBitName(tripWord, bit);
        if ((now & bit) != 0)
            journal::SetAlarm(pump, kind, name, raisedText(name, firstContact));
        else
            journal::ClearAlarm(pump, kind, name);
    }
}

// "Tripped at 10050 psi: overpressure"; found at first contact the pressure is the one the
// controller kept of its last trip, whenever that was.
std::string tripText(std::uint16_t lastTripPsi, std::uint16_t tripWord, bool firstContact) {
    const std::string psi = std::to_string(lastTripPsi) + " psi";
    return (firstContact
                ? "Tripped: found tripped at first contact (last trip pressure " + psi + ")"
                : "Tripped at " + psi) +
           ": " + TripCause(tripWord);
}

void journalChanges(int pump, const PumpRecord& r, std::uint16_t lastTripPsi) {
    Journalled& j = g.journalled[pump];
    const bool firstContact = !j.seen || r.AdoptSpeed != 0;
    // The first record since the start speaks for every bit, set or clear: an alarm the
    // journal kept from before a restart is confirmed or cleared by it (a clear bit with
    // no alarm behind it records nothing).
    if (!j.seen)
        j = {static_cast<std::uint8_t>(r.Tripped != 0 ? 0 : 1),
             static_cast<std::uint16_t>(~r.AlarmWord), static_cast<std::uint16_t>(~r.TripWord),
             static_cast<std::uint16_t>(r.FaultWord != 0 ? 0 : 1), true};
    bool tripFound = j.tripFound && r.Tripped != 0;
    if (r.Tripped != j.tripped) {
        if (r.Tripped != 0) {
            // An alarm the journal kept from before a restart keeps its time.
            tripFound = firstContact && journal::StateOf(pump, journal::Kind::Trip, "Tripped") ==
                                            journal::AlarmState::Normal;
            journal::SetAlarm(pump, journal::Kind::Trip, "Tripped",
                              tripText(lastTripPsi, r.TripWord, firstContact));
        } else {
            journal::ClearAlarm(pump, journal::Kind::Trip, "Tripped");
        }
    }
    journalBits(pump, journal::Kind::Trip, true, j.trips, r.TripWord, firstContact);
    journalBits(pump, journal::Kind::Alarm, false, j.alarms, r.AlarmWord, firstContact);
    if ((r.FaultWord != 0) != (j.fault != 0)) {
        if (r.FaultWord != 0)
            journal::SetAlarm(pump, journal::Kind::Fault, "VFD fault",
                              raisedText("VFD fault", firstContact));
        else
            journal::ClearAlarm(pump, journal::Kind::Fault, "VFD fault");
    }
    j = {r.Tripped, r.AlarmWord, r.TripWord, r.FaultWord, true, tripFound};
}

void decodeDataRecord(int entry, const std::uint8_t* d, bool metric) {
    using wire::getF32;
    using wire::getU16;
    namespace f = record;
    PumpRecord& r = PumpTable[entry];
    // What this record does not carry (a trip point unchanged) is in its units too.
    SetLiveUnits(r, metric);

    const float rateGpm = getF32(d + f::kRateGpm);
    const float gallons = getF32(d + f::kGallons);
    const float discharge = getF32(d + f::kDischarge);
    const std::uint16_t status = getU16(d + f::kStatus);

    r.StatusWord = status;
    r.Tripped = (status & kStateMask) == kStateTripped ? 1 : 0;
    r.AlarmWord = getU16(d + f::kAlarms);
    r.TripWord = getU16(d + f::kTrips);
    r.FaultWord = getU16(d + f::kFault);
    if (entry < kPumpCount) journalChanges(entry, r, getU16(d + f::kLastTrip));
    r.VfdOn = d[f::kDriveOn];
    if (r.VfdOn == 0 && entry < kPumpCount && PumpTable[entry].PowerOffCommanded != 0) {
        // The power-off has taken effect: the hold ends, and the speed commands that follow
        // keep the drive off (a STOP or an idle never switches it on again) until the
        // operator powers it on.
        PumpTable[entry].PowerOffCommanded = 0;
        PumpTable[entry].SpeedCommand.Run = 0;
    }
    r.MotorRpm = getF32(d + f::kMotorRpm);
    r.StatusFlag2 = d[f::kOverrideOn];
    r.BearingTempDE = getF32(d + f::kBearingDE);
    r.BearingTempNDE = getF32(d + f::kBearingNDE);
    r.WindingTempA = getF32(d + f::kWindingA);
    r.WindingTempB = getF32(d + f::kWindingB);
    r.WindingTempC = getF32(d + f::kWindingC);
    r.DischargePressure = discharge;
    r.OilPressure = getF32(d + f::kOilPressure);
    r.SuctionPressure = getF32(d + f::kSuction);
    r.ReplyByte80 = d[f::kByte80];
    r.OilTemperature = getF32(d + f::kOilTemp);
    r.PumpRpm = getF32(d + f::kPumpRpm);
    r.PumpRate = toF(rateGpm / kGallonsPerBarrel);
    r.TotalVolume = toF(gallons / kGallonsPerBarrel);
    // From the raw psi and gal/min, before any conversion.
    r.HydraulicHp = toF(static_cast<double>(discharge) * rateGpm * kHydraulicHpFactor);
    r.LastTripPressure = static_cast<float>(getU16(d + f::kLastTrip));

    const std::uint16_t tripPoint = getU16(d + f::kTripPoint);
    if (tripPoint != kTripPointNotReported) r.TripPressure = tripValue(tripPoint, metric);
    if (metric)
        for (LiveField v : kRecordValues) r.*v = MetricOf(v, r.*v);

    r.AutoAllowed = d[f::kAutoAllowed];
    // While a speed command of the station's own is queued or on its way the record was
    // built before the pump had it: what it reports is older than the station's command and
    // must not undo it (a STOP turned back into the speed it replaced).
    const bool commandOnItsWay = entry < kPumpCount && SpeedCommandQueued(entry);
    if ((status & kStatusReportsSetpoint) != 0) {
        const std::int16_t reported = wire::getI16(d + f::kSetpoint);
        r.ReportedRpm = reported;
        if (!commandOnItsWay) {
            // The pump has taken the station's last command (or it never arrived): from
            // now on what it reports is its set-point, whoever set it.
            PumpTable[entry].SpeedCommand.Rpm = reported;
            r.RpmSetpoint = reported;
            PumpTable[entry].SpeedCommand.Run = d[f::kDriveOn];
            r.CommandedRpm = PumpRecord::kNoRpm;
        }
    } else {
        r.ReportedRpm = PumpRecord::kNoRpm;  // a set-point it reported once is not its own now
    }
    if (r.AdoptSpeed != 0) {
        if (r.MotorRpm >= 0.0f && !commandOnItsWay) {
            PumpTable[entry].SpeedCommand.Rpm = ToRpm(TruncSafe(r.MotorRpm));
            r.RpmSetpoint = PumpTable[entry].SpeedCommand.Rpm;
        }
        r.AdoptSpeed = 0;
    }
}

void decodeNetworkInfo(int entry, std::span<const std::uint8_t> data) {
    char* text = PumpTable[entry].NetworkInfo;
    std::memset(text, 0, kNetworkInfoSize);
    // The text sits at the end of the data; a reply too short to hold it carries none.
    if (data.size() < kNetworkTextSpan) return;
    const auto from = data.last(kNetworkTextSpan);
    for (int i = 0; i < kNetworkTextSpan && i < kNetworkInfoSize - 1 && from[i] != 0; ++i)
        text[i] = static_cast<char>(from[i]);
}

// The block when the reply holds all of it.
bool take(std::uint8_t* block, std::size_t size, std::span<const std::uint8_t> data) {
    if (data.size() < size) return false;
    std::memcpy(block, data.data(), size);
    return true;
}

}  // namespace

std::string AlarmBitName(bool tripWord, std::uint16_t bit) {
    struct Named {
        bool tripWord;
        std::uint16_t bit;
        const char* name;
    };
    // The recordings' texts without their marks.
    static constexpr Named kNames[] = {
        {false, 0x0001, "Motor RPM"},
        {false, 0x0008, "Discharge Rate"},
        {false, 0x0010, "Discharge Total"},
        {false, 0x0020, "Discharge Pressure"},
        {false, 0x2000, "Pump Oil Temperature"},
        {false, 0x4000, "Pump Oil Pressure"},
        {false, 0x8000, "Pump RPM"},
        {true, 0x0004, "Lube Oil Under Pressure Trip"},
        {true, 0x0008, "Charge Pump Under Pressure Trip"},
        {true, 0x0010, "COM Timeout Trip"},
    };
    for (const Named& n : kNames)
        if (n.tripWord == tripWord && n.bit == bit) return n.name;
    char text[32];
    std::snprintf(text, sizeof text, "%s bit 0x%04X", tripWord ? "Trip" : "Alarm", bit);
    return text;
}

bool TripFoundAtFirstContact(int pump) {
    return pump >= 0 && pump < kPumpCount && g.journalled[pump].tripFound;
}

std::string TripCause(std::uint16_t tripWord) {
    std::string cause;
    for (std::uint16_t bits = tripWord; bits != 0; bits &= bits - 1)
        cause += (cause.empty() ? "" : ", ") +
                 AlarmBitName(true, static_cast<std::uint16_t>(bits & -bits));
    // The controller's overpressure trip is the one trip it sets no bit for.
    return cause.empty() ? "overpressure" : cause;
}

void ResetDecodedEvents() {
    g = {};
}
VNK_MODULE_STATE_RESET(link, decoder, g, ResetDecodedEvents)

DecodeResult DecodeDataReply(int entry, WireCode code, std::uint8_t argument1,
                             std::span<const std::uint8_t> data, bool metric) {
    DecodeResult out;
    if (entry < 0 || entry >= kTableSize) return out;
    PumpRecord& r = PumpTable[entry];
    switch (code) {
        case WireCode::DataRecord:
            if (data.size() < kDataRecordSize) break;
            decodeDataRecord(entry, data.data(), metric);
            out.decoded = true;
            break;
        case WireCode::PumpConfig: {
            if (!take(r.PumpConfig.bytes.data(), PumpConfigBlock::kSize, data)) break;
            if (entry < kPumpCount) PumpTable[entry].PumpConfigRead = true;
            SetLiveUnits(r, metric);
            r.TripPressure = tripValue(r.PumpConfig.TripPsi(), metric);
            out.decoded = true;
            break;
        }
        case WireCode::PumpId:
            out.decoded = take(reinterpret_cast<std::uint8_t*>(r.PumpId), kPumpIdSize, data);
            break;
        case WireCode::AiConfig:
            if (argument1 >= kChannels) break;
            if (!take(AiConfig, kAiConfigSize, data)) {
                // Never write back a block made of stale bytes; the zeroing is abandoned.
                PumpTable[entry].PendingAiWrite = 0;
                break;
            }
            // Only the discharge channel's own block is written back: another channel's would
            // move the wrong offset.
            if (PumpTable[entry].PendingAiWrite != 0 && argument1 == kDischargeChannel) {
                using namespace aiblock;
                const float offset =
                    wire::getF32(AiConfig + kCoefficients) - wire::getF32(AiConfig + kReading);
                wire::putF32(AiConfig + kCoefficients, offset);
                PumpTable[entry].PendingAiWrite = 0;
                out.writeBackAi = true;
            }
            out.decoded = true;
            break;
        case WireCode::ThrottleConfig:
            out.decoded = argument1 < kChannels && take(AiConfig, kAiConfigSize, data);
            break;
        case WireCode::FiConfig:
            out.decoded = argument1 < kChannels && take(FiConfig, kFiConfigSize, data);
            break;
        case WireCode::NetworkInfo:
            decodeNetworkInfo(entry, data);
            out.decoded = true;
            break;
        case WireCode::AlarmLimits:
            out.decoded = take(AlarmLimits, kAlarmLimitsSize, data);
            break;
        case WireCode::AlarmOptions:
            out.decoded = take(AlarmOptions, kAlarmOptionsSize, data);
            break;
        default:
            break;
    }
    return out;
}

void ApplyThrottleLimits(int entry) {
    if (entry < 0 || entry >= kTableSize) return;
    PumpRecord& r = PumpTable[entry];
    r.MaxRpm = wire::getF32(AiConfig + aiblock::kHigh);
    r.MinRpm = wire::getF32(AiConfig + aiblock::kLow);
    // A set-point above a (lowered) maximum comes down to the minimum. One below the
    // minimum stays where the station put it: the pump runs at its minimum anyway, and
    // lifting the station's number would let the next step down send more than was
    // commanded. The speed command follows, so that steps and raises start from one value.
    const float setpoint = r.RpmSetpoint;
    if (setpoint > r.MaxRpm && r.MinRpm < setpoint) {
        r.RpmSetpoint = ToRpm(std::max(TruncSafe(r.MinRpm), 0LL));
        if (entry < kPumpCount) PumpTable[entry].SpeedCommand.Rpm = r.RpmSetpoint;
    }
}

}  // namespace pumplink
