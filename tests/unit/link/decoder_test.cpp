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

// Field by field against the simulator's own layout is the integration test's part; here
// the derived values and what the simulator does not report.
TEST_F(Decoder, DataRecordInUsUnits) {
    EXPECT_TRUE(decode(WireCode::DataRecord, full().b).decoded);
    const PumpRecord& r = PumpTable[0];
    EXPECT_FLOAT_EQ(r.PumpRate, 10.0f);  // barrels of 42 gallons
    EXPECT_FLOAT_EQ(r.TotalVolume, 200.0f);
    // 1000 psi x 420 gal/min with 0.00058334, not 1/1714 (which gives 245.04).
    EXPECT_NEAR(r.HydraulicHp, 245.0028, 1e-3);
    EXPECT_EQ(r.ReplyByte80, 0x5A);
    EXPECT_FLOAT_EQ(r.LastTripPressure, 9100.0f);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Rpm, 1400);
    EXPECT_EQ(r.RpmSetpoint, 1400);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Run, 1);
}

TEST_F(Decoder, TrippedIsStateFourOnly) {
    for (auto [status, tripped] :
         {std::pair{0x0040, 1}, {0x00C0, 1}, {0x0050, 0}, {0x0030, 0}, {0x0070, 0}, {0x0000, 0}}) {
        decode(WireCode::DataRecord,
               Record().u16(f::kStatus, static_cast<std::uint16_t>(status)).b);
        EXPECT_EQ(PumpTable[0].Tripped, tripped) << std::hex << status;
    }
}

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

TEST_F(Decoder, MetricFiguresAreConvertedInPlace) {
    decode(WireCode::DataRecord, full().b, 0, true);
    const PumpRecord& r = PumpTable[0];
    EXPECT_NEAR(r.DischargePressure, 6.8948, 1e-5);
    EXPECT_NEAR(r.PumpRate, 1.5899, 1e-5);
    EXPECT_NEAR(r.OilTemperature, 99.9999, 1e-4);
    EXPECT_NEAR(r.OilPressure, 689.48, 1e-2);
    EXPECT_NEAR(r.SuctionPressure, 344.74, 1e-2);
    EXPECT_NEAR(r.TripPressure, 65.5006, 1e-4);
    EXPECT_NEAR(r.HydraulicHp, 182.7721, 1e-3);  // 245.0028 hp
    EXPECT_NEAR(r.BearingTempDE, 65.5555, 1e-4);  // 150 degF
    EXPECT_FLOAT_EQ(r.MotorRpm, 1500.0f);  // speeds stay in rpm

    // The pump-configuration reply gives the trip point in MPa too.
    Bytes config(kPumpConfigSize, 0);
    pumpsim::putU16(config, 8, 10000);
    decode(WireCode::PumpConfig, config, 0, true);
    EXPECT_NEAR(PumpTable[0].TripPressure, 68.948, 1e-4);
}

TEST_F(Decoder, TripPointAndSetpointNotReportedLeaveTheirValues) {
    decode(WireCode::DataRecord, full().b);
    PumpTable[0].SpeedCommand = {1000, 0};
    PumpTable[0].RpmSetpoint = 1000;
    decode(WireCode::DataRecord, full().u16(f::kTripPoint, 0xFFFF).u16(f::kStatus, 0x0020).b);
    EXPECT_FLOAT_EQ(PumpTable[0].TripPressure, 9500.0f);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Rpm, 1000);
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1000);
    EXPECT_EQ(PumpTable[0].SpeedCommand.Run, 0);
    EXPECT_EQ(PumpTable[0].ReportedRpm, PumpRecord::kNoRpm) << "no idle is bounded by it";
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

TEST_F(Decoder, NetworkInformationTextIsTheEndOfTheReply) {
    Bytes info(18, 0xAB);
    const std::string text = "Unit 7 - ready";
    Bytes area(17, 0);
    std::copy(text.begin(), text.end(), area.begin());
    info.insert(info.end(), area.begin(), area.end());
    decode(WireCode::NetworkInfo, info);
    EXPECT_STREQ(PumpTable[0].NetworkInfo, "Unit 7 - ready");
    // No terminator in the last 17 bytes: the text stops at the end of the data.
    decode(WireCode::NetworkInfo, Bytes(40, 'x'));
    EXPECT_EQ(std::string(PumpTable[0].NetworkInfo), std::string(17, 'x'));
    // Shorter than the text area: no text, and nothing read from before the data.
    for (std::size_t n : {16u, 0u}) {
        std::strcpy(PumpTable[0].NetworkInfo, "old");
        EXPECT_TRUE(decode(WireCode::NetworkInfo, Bytes(n, 'y')).decoded);
        EXPECT_STREQ(PumpTable[0].NetworkInfo, "") << n;
    }
}

}  // namespace
