// The units of the live values against the decoder: what a record decoded in metric gives
// back in US units, a record's switch of units next to a record decoded in the other units,
// and a reply in the other units bringing along what it does not carry.
#include "link/live_units.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "link/decoder.h"
#include "support/link_fixture.h"

using namespace pumplink;

namespace {

using linktest::Record;
using Bytes = std::vector<std::uint8_t>;
namespace f = record;

struct Field {
    const char* name;
    LiveField field;
};
// Every value that changes units, and the speeds, which do not.
constexpr Field kFields[] = {
    {"discharge", &PumpRecord::DischargePressure}, {"trip point", &PumpRecord::TripPressure},
    {"last trip", &PumpRecord::LastTripPressure},  {"oil pressure", &PumpRecord::OilPressure},
    {"suction", &PumpRecord::SuctionPressure},     {"oil temperature", &PumpRecord::OilTemperature},
    {"winding A", &PumpRecord::WindingTempA},      {"winding B", &PumpRecord::WindingTempB},
    {"winding C", &PumpRecord::WindingTempC},      {"bearing DE", &PumpRecord::BearingTempDE},
    {"bearing NDE", &PumpRecord::BearingTempNDE},  {"rate", &PumpRecord::PumpRate},
    {"volume", &PumpRecord::TotalVolume},          {"power", &PumpRecord::HydraulicHp},
    {"motor speed", &PumpRecord::MotorRpm},        {"pump speed", &PumpRecord::PumpRpm},
};

// A pump at work, one at rest on a cold morning (below freezing in degC), one near the
// transducers' top: every live field nonzero.
Record sample(int which) {
    static constexpr float kValues[3][13] = {
        {420.0f, 8400.0f, 5000.0f, 180.0f, 65.0f, 310.5f, 120.0f, 150.0f, 160.0f, 170.0f, 180.0f,
         190.0f, 1500.0f},
        {0.5f, 3.0f, 12.5f, 10.0f, 3.25f, 0.0f, 2.0f, 14.0f, 15.0f, 16.0f, 17.0f, 18.0f, 1.0f},
        {1260.0f, 1.5e6f, 14999.0f, 260.0f, 140.0f, 1200.0f, 400.0f, 300.0f, 310.0f, 320.0f, 330.0f,
         340.0f, 1900.0f},
    };
    const float* v = kValues[which];
    static constexpr std::uint16_t kTrips[3][2] = {{4800, 9500}, {0, 1}, {15000, 15000}};
    return Record()
        .f32(f::kRateGpm, v[0])
        .f32(f::kGallons, v[1])
        .f32(f::kDischarge, v[2])
        .f32(f::kOilTemp, v[3])
        .f32(f::kOilPressure, v[4])
        .f32(f::kPumpRpm, v[5])
        .f32(f::kSuction, v[6])
        .f32(f::kBearingDE, v[7])
        .f32(f::kBearingNDE, v[8])
        .f32(f::kWindingA, v[9])
        .f32(f::kWindingB, v[10])
        .f32(f::kWindingC, v[11])
        .f32(f::kMotorRpm, v[12])
        .u16(f::kLastTrip, kTrips[which][0])
        .u16(f::kTripPoint, kTrips[which][1]);
}

class LiveUnits : public ::testing::Test {
  protected:
    void SetUp() override { ResetPumpTable(); }
    void TearDown() override { ResetPumpTable(); }
    static void decode(int entry, const Record& r, bool metric) {
        ASSERT_TRUE(DecodeDataReply(entry, WireCode::DataRecord, 0, r.b, metric).decoded);
    }
    // Float precision of a US value: the temperatures go through 32 degF as well.
    static double precision(double us) { return 2.0 * FLT_EPSILON * (std::abs(us) + 32.0); }
};

// The switch and the decoder go by the same factors: a US record switched to metric holds
// what the same record decoded in metric holds, and switched back, its US values.
TEST_F(LiveUnits, ASwitchedRecordMatchesTheDecoderBothWays) {
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which);
        decode(0, sample(which), false);
        decode(1, sample(which), true);
        const PumpRecord before = PumpTable[0];
        SetLiveUnits(PumpTable[0], true);
        EXPECT_EQ(PumpTable[0].MetricValues, 1);
        for (const Field& x : kFields)
            EXPECT_EQ(PumpTable[0].*x.field, PumpTable[1].*x.field) << x.name;
        SetLiveUnits(PumpTable[0], true);  // already metric: as it is
        for (const Field& x : kFields)
            EXPECT_EQ(PumpTable[0].*x.field, PumpTable[1].*x.field) << x.name;
        SetLiveUnits(PumpTable[0], false);
        EXPECT_EQ(PumpTable[0].MetricValues, 0);
        for (const Field& x : kFields) {
            const double want = before.*x.field;
            EXPECT_NEAR(PumpTable[0].*x.field, want, precision(want)) << x.name;
        }
    }
}

}  // namespace
