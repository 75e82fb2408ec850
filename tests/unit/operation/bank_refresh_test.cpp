// The bank rows and fleet values of the display refresh, and what a row does when its pump
// goes off line or comes back.
#include <cmath>
#include <limits>

#include "support/link_fixture.h"
#include "unit/operation/display_fixture.h"

namespace {

using linktest::Record;
using namespace rec;
using namespace windows;

Record pumping(float psi, float gpm, float gallons) {
    Record r;
    r.f32(kDischarge, psi).f32(kRate, gpm).f32(kTotal, gallons).u16(kTripPoint, 0xFFFF);
    return r;
}

using BankRefresh = DisplayStation;

// The bar under the motor's speed shows that speed, not the set-point of 1000 rpm.
TEST_F(BankRefresh, MotorBarFollowsTheMotorSpeedAndIsZeroWithoutAMaximum) {
    Record rec = pumping(0.0f, 0.0f, 0.0f);
    rec.u16(kStatus, kReportsSetpoint).u16(kSetpoint, 1000).u8(kVfdOn, 1).f32(kMotorRpm, 900.0f);
    online(5, rec);
    ASSERT_EQ(PumpTable[5].SpeedCommand.Rpm, 1000);
    PumpTable[5].MaxRpm = 0.0f;  // a throttle block without a maximum
    tick();
    EXPECT_EQ(rowValue(5, kPosSetpointBar), 0.0);
    PumpTable[5].MaxRpm = 1800.0f;
    tick();
    EXPECT_EQ(rowValue(5, kPosSetpointBar), 50.0);  // 900 / 1800 x 100
    data(5, Record(rec).f32(kMotorRpm, 0.0f));
    tick();
    EXPECT_EQ(rowValue(5, kPosSetpointBar), 0.0);
    PumpTable[5].MaxRpm = 0.0f;
    tick();
    EXPECT_EQ(rowValue(5, kPosSetpointBar), 0.0);
}

TEST_F(BankRefresh, DriveOffClearsTheSetpointOnTheNextRefresh) {
    Record on = pumping(0.0f, 0.0f, 0.0f);
    on.u16(kStatus, kReportsSetpoint).u16(kSetpoint, 1200).u8(kVfdOn, 1).f32(kMotorRpm, 1200.0f);
    online(7, on);
    data(7, on);  // the second record adopts the motor's speed; it is the same
    PumpTable[7].MaxRpm = 2000.0f;
    PumpTable[7].SpeedCommand.Run = 0;
    tick();
    EXPECT_EQ(PumpTable[7].SpeedCommand.Run, 1);
    EXPECT_EQ(PumpTable[7].SpeedCommand.Rpm, 1200);
    EXPECT_EQ(rowCtrl(7, kPosPowerText).text, "ON");
    EXPECT_TRUE(rowCtrl(7, kPosPowerOff).visible);
    EXPECT_FALSE(rowCtrl(7, kPosPowerOn).visible);
    EXPECT_EQ(rowValue(7, kPosSetpointBar), 60.0);

    // The drive reports off; the record does not carry a set-point, so only the refresh
    // can clear the one the station holds.
    data(7, pumping(0.0f, 0.0f, 0.0f).u8(kVfdOn, 0));
    ASSERT_EQ(PumpTable[7].SpeedCommand.Rpm, 1200);
    tick();
    EXPECT_EQ(PumpTable[7].SpeedCommand.Rpm, 0);
    EXPECT_EQ(PumpTable[7].SpeedCommand.Run, 0);
    EXPECT_EQ(PumpTable[7].RpmSetpoint, 0);
    EXPECT_EQ(rowCtrl(7, kPosPowerText).text, "OFF");
    EXPECT_TRUE(rowCtrl(7, kPosPowerOn).visible);
    EXPECT_FALSE(rowCtrl(7, kPosPowerOff).visible);
    EXPECT_EQ(rowValue(7, kPosSetpointBar), 0.0);
}

TEST_F(BankRefresh, RowDimsAndClearsWhenItsPumpFallsSilentAndComesBack) {
    Record rec = pumping(3500.0f, 420.0f, 4200.0f);
    rec.f32(kMotorRpm, 1500.0f).u16(kStatus, kReportsSetpoint | kTrippedStatus).u16(kSetpoint, 900);
    rec.u8(kVfdOn, 1);
    online(12, rec);
    idReply(12, "FRAC-12");
    tick();
    ASSERT_EQ(rowCtrl(12, kPosPumpId).text, "TRIPPED") << "in place of FRAC-12 while tripped";
    for (int position = 0; position < kRowPositionCount; ++position)
        EXPECT_FALSE(rowCtrl(12, position).dimmed) << position;

    loop.advance(15.0);  // the watchdog: 14 s without a packet
    ASSERT_EQ(PumpTable[12].Online, 0);
    for (int position = 0; position < kRowPositionCount; ++position)
        EXPECT_TRUE(rowCtrl(12, position).dimmed) << position;
    EXPECT_EQ(rowValue(12, kPosDischarge), 0.0);
    EXPECT_EQ(rowValue(12, kPosMotorRpm), 0.0);
    EXPECT_EQ(rowValue(12, kPosRate), 0.0);
    EXPECT_EQ(rowCtrl(12, kPosPumpId).text, "");
    EXPECT_EQ(rowCtrl(12, kPosDischarge).bgColor, ui::VAL_WHITE)
        << "the trip colours went with the trip";
    EXPECT_EQ(PumpTable[12].SpeedCommand.Rpm, 0);
    // Nothing goes to a pump whose row is dimmed.
    serial.takeWritten(port(12));
    SendPumpCommand(12, Op::ResetAlarms);
    EXPECT_TRUE(serial.takeWritten(port(12)).empty());

    // Back on line: the row is enabled and takes operations again.
    online(12, pumping(100.0f, 0.0f, 0.0f).f32(kMotorRpm, 700.0f));
    for (int position = 0; position < kRowPositionCount; ++position)
        EXPECT_FALSE(rowCtrl(12, position).dimmed) << position;
    commands(12);
    SendPumpCommand(12, Op::ResetAlarms);
    EXPECT_EQ(count(commands(12), 0x35), 1);
    tick();
    EXPECT_DOUBLE_EQ(rowValue(12, kPosDischarge), 100.0);
}

}  // namespace
