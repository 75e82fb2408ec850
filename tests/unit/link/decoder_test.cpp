// The data-reply decoder on its own: fields, derived values, units, the blocks, and replies
// too short for what they carry. No port, no clock: bytes in, Pump Table out.
#include "link/decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "support/link_fixture.h"

using namespace pumplink;

namespace {

using linktest::Record;
using Bytes = std::vector<std::uint8_t>;
namespace f = record;

class Decoder : public ::testing::Test {
  protected:
    void SetUp() override { ResetPumpTable(); }
    void TearDown() override { ResetPumpTable(); }
    DecodeResult decode(WireCode code, const Bytes& data, int arg1 = 0, bool metric = false) {
        return DecodeDataReply(0, code, static_cast<std::uint8_t>(arg1), data, metric);
    }
    static Record full() {
        Record r;
        r.f32(f::kRateGpm, 420.0f)
            .f32(f::kGallons, 8400.0f)
            .f32(f::kDischarge, 1000.0f)
            .f32(f::kOilTemp, 212.0f)
            .f32(f::kOilPressure, 100.0f)
            .f32(f::kPumpRpm, 300.0f)
            .f32(f::kSuction, 50.0f)
            .f32(f::kBearingDE, 150.0f)
            .f32(f::kBearingNDE, 160.0f)
            .f32(f::kWindingA, 170.0f)
            .f32(f::kWindingB, 180.0f)
            .f32(f::kWindingC, 190.0f)
            .f32(f::kMotorRpm, 1500.0f)
            .u16(f::kSetpoint, 1400)
            .u16(f::kStatus, 0x00C0)  // reports its set-point; tripped
            .u16(f::kAlarms, 0x8001)
            .u16(f::kTrips, 0x0010)
            .u16(f::kFault, 0x0003)
            .u16(f::kLastTrip, 9100)
            .u16(f::kTripPoint, 9500)
            .u8(f::kByte80, 0x5A)
            .u8(f::kDriveOn, 1)
            .u8(f::kOverrideOn, 1)
            .u8(f::kAutoAllowed, 1);
        return r;
    }
};

TEST_F(Decoder, AlarmsKeptFromBeforeARestartAreConfirmedOrClearedByTheFirstRecord) {
    using journal::AlarmState, journal::Kind;
    platform::MemoryJournal store;
    journal::SetStore(&store);
    journal::Reset();
    journal::SetAlarm(0, Kind::Trip, "Tripped");
    journal::Acknowledge(0, Kind::Trip, "Tripped");
    journal::SetAlarm(0, Kind::Alarm, "Discharge Pressure");
    journal::SetAlarm(0, Kind::Fault, "VFD fault");
    journal::Reset();  // the restart
    ResetPumpTable();
    ResetDecodedEvents();
    const auto before = store.count();

    // Still tripped, the discharge pressure alarm and the fault gone, a Pump RPM alarm new.
    decode(WireCode::DataRecord, Record().u16(f::kStatus, 0x0040).u16(f::kAlarms, 0x8000).b);
    EXPECT_EQ(journal::StateOf(0, Kind::Trip, "Tripped"), AlarmState::ActiveAcknowledged)
        << "the same trip asks for no second acknowledgement";
    EXPECT_EQ(journal::StateOf(0, Kind::Alarm, "Discharge Pressure"),
              AlarmState::ClearedUnacknowledged);
    EXPECT_EQ(journal::StateOf(0, Kind::Fault, "VFD fault"), AlarmState::ClearedUnacknowledged);
    EXPECT_EQ(journal::StateOf(0, Kind::Alarm, "Pump RPM"), AlarmState::ActiveUnacknowledged);
    decode(WireCode::DataRecord, Record().u16(f::kStatus, 0x0040).u16(f::kAlarms, 0x8000).b);
    EXPECT_EQ(store.count() - before, 3) << "two cleared, one new; nothing for the quiet bits";
    journal::SetStore(nullptr);
    journal::Reset();
}

TEST_F(Decoder, ThrottleConfigurationSetsLimitsAndClampsTheSetpoint) {
    Bytes throttle(kAiConfigSize, 0);
    pumpsim::putF32(throttle, 28, 1800.0f);
    pumpsim::putF32(throttle, 32, 600.7f);
    // Above the maximum comes down to the minimum, with the speed command; below the
    // minimum is never lifted (a step down from there must not send more than was asked).
    for (auto [before, after] : {std::pair{2000, 600}, {500, 500}, {1200, 1200}, {1800, 1800}}) {
        PumpTable[0].RpmSetpoint = static_cast<std::int16_t>(before);
        PumpTable[0].SpeedCommand.Rpm = static_cast<std::int16_t>(before);
        ASSERT_TRUE(decode(WireCode::ThrottleConfig, throttle).decoded);
        ApplyThrottleLimits(0);
        EXPECT_EQ(PumpTable[0].RpmSetpoint, after) << "from " << before;
        EXPECT_EQ(PumpTable[0].SpeedCommand.Rpm, after) << "from " << before;
    }
    EXPECT_FLOAT_EQ(PumpTable[0].MaxRpm, 1800.0f);
    EXPECT_FLOAT_EQ(PumpTable[0].MinRpm, 600.7f);
    EXPECT_EQ(std::memcmp(AiConfig, throttle.data(), kAiConfigSize), 0);
    // Channel 8 and above: ignored.
    pumpsim::putF32(throttle, 28, 900.0f);
    EXPECT_FALSE(decode(WireCode::ThrottleConfig, throttle, 8).decoded);
    EXPECT_FLOAT_EQ(wire::getF32(AiConfig + 28), 1800.0f);
}

TEST_F(Decoder, ShortRepliesLeaveEverythingAsItWas) {
    decode(WireCode::DataRecord, full().b);
    decode(WireCode::AiConfig, Bytes(kAiConfigSize, 0x11));
    decode(WireCode::FiConfig, Bytes(kFiConfigSize, 0x22));
    decode(WireCode::AlarmLimits, Bytes(kAlarmLimitsSize, 0x33));
    decode(WireCode::PumpConfig, Bytes(kPumpConfigSize, 0x44));
    decode(WireCode::PumpId, {'P', '-', '1', 0, 0, 0, 0, 0, 0});
    decode(WireCode::AlarmOptions, {0x05, 0x00});
    PumpTable[0].PendingAiWrite = 1;

    const PumpRecord before = PumpTable[0];
    for (auto [code, n] : {std::pair{WireCode::DataRecord, 87},
                           {WireCode::DataRecord, 0},
                           {WireCode::AiConfig, 43},
                           {WireCode::ThrottleConfig, 43},
                           {WireCode::FiConfig, 39},
                           {WireCode::AlarmLimits, 127},
                           {WireCode::PumpConfig, 43},
                           {WireCode::PumpId, 8},
                           {WireCode::AlarmOptions, 1}})
        EXPECT_FALSE(decode(code, Bytes(static_cast<std::size_t>(n), 0xEE)).decoded) << n;
    const PumpRecord& after = PumpTable[0];
    EXPECT_EQ(after.StatusWord, before.StatusWord);
    EXPECT_EQ(after.MotorRpm, before.MotorRpm);
    EXPECT_EQ(after.TripPressure, 17476.0f);  // 0x4444 from the whole configuration block
    EXPECT_EQ(std::string(after.PumpId), "P-1");
    EXPECT_EQ(after.PumpConfig.bytes, before.PumpConfig.bytes);
    EXPECT_EQ(AiConfig[43], 0x11);
    EXPECT_EQ(FiConfig[39], 0x22);
    EXPECT_EQ(AlarmLimits[127], 0x33);
    EXPECT_EQ(AlarmOptions[0], 0x05);
    // A pressure zeroing never writes back a block it did not get whole.
    EXPECT_EQ(PumpTable[0].PendingAiWrite, 0);
}

}  // namespace
