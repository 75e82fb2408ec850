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

TEST_F(BankRefresh, FleetValuesSumThePumpsOnLineOnEveryBankAndAreZeroWithNone) {
    online(0, pumping(1000.0f, 420.0f, 4200.0f));   // 10 bbl/min, 100 bbl
    online(17, pumping(3000.0f, 210.0f, 2100.0f));  // 5 bbl/min, 50 bbl
    PumpTable[9].DischargePressure = 9000.0f;       // off line
    tick();
    EXPECT_FLOAT_EQ(AverageDischargePressure, 2000.0f);
    EXPECT_FLOAT_EQ(SelectedPumpsRate, 15.0f);
    EXPECT_FLOAT_EQ(SelectedPumpsTotal, 150.0f);
    EXPECT_NEAR(SelectedPumpsHhp, 612.507, 0.01);  // 245.0 + 367.5 hp
    for (int b = 0; b < kBankCount; ++b) {
        EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(BankPanel[b], windows::BANK_AVG_PRESSURE), 2000.0);
        EXPECT_DOUBLE_EQ(ui::GetCtrlDouble(BankPanel[b], windows::BANK_TOTAL_VOLUME), 150.0);
    }

    // A failed sensor reporting no number spoils neither the average nor the sums that the
    // automatic controller steers by.
    data(17, pumping(std::numeric_limits<float>::quiet_NaN(), 210.0f, 2100.0f));
    tick();
    EXPECT_FLOAT_EQ(AverageDischargePressure, 1000.0f);
    EXPECT_FLOAT_EQ(SelectedPumpsRate, 15.0f);
    EXPECT_TRUE(std::isfinite(SelectedPumpsHhp));

    // Once the last of them falls silent the fleet values are zero, on every bank; the
    // left-over values of pumps off line count for nothing, and nothing divides by zero.
    loop.advance(15.0);
    ASSERT_EQ(PumpTable[0].Online + PumpTable[17].Online, 0);
    tick();
    for (float v :
         {AverageDischargePressure, SelectedPumpsRate, SelectedPumpsTotal, SelectedPumpsHhp})
        EXPECT_EQ(v, 0.0f);
    for (int b = 0; b < kBankCount; ++b) {
        EXPECT_EQ(ui::GetCtrlDouble(BankPanel[b], windows::BANK_AVG_PRESSURE), 0.0) << b;
        EXPECT_EQ(ui::GetCtrlDouble(BankPanel[b], windows::BANK_TOTAL_RATE), 0.0) << b;
    }
}

TEST_F(BankRefresh, RowShowsThePumpAndItsTripColours) {
    Record rec = pumping(2500.0f, 420.0f, 0.0f);
    rec.u16(kTripPoint, 5000).f32(kMotorRpm, 1450.0f).u16(kAlarm, 0x0010).u16(kFault, 0x0200);
    online(10, rec);
    tick();
    EXPECT_DOUBLE_EQ(rowValue(10, kPosMotorRpm), 1450.0);
    EXPECT_DOUBLE_EQ(rowValue(10, kPosDischarge), 2500.0);
    EXPECT_DOUBLE_EQ(rowValue(10, kPosTrip), 5000.0);
    EXPECT_DOUBLE_EQ(rowValue(10, kPosRate), 10.0);
    EXPECT_DOUBLE_EQ(rowValue(10, kPosPercent), 50.0);
    EXPECT_EQ(rowCtrl(10, kPosPercent).unitsLabel, "% of trip") << "the box says what it is";
    EXPECT_EQ(rowValue(10, kPosFault), 1.0);
    EXPECT_EQ(rowValue(10, kPosAlarm), 1.0);
    EXPECT_EQ(rowCtrl(10, kPosDischarge).bgColor, ui::VAL_WHITE);
    EXPECT_EQ(rowCtrl(10, kPosDischarge).textColor, ui::VAL_BLACK);

    data(10, Record(rec).u16(kStatus, kTrippedStatus).u16(kAlarm, 0).u16(kFault, 0));
    tick();
    EXPECT_EQ(rowCtrl(10, kPosDischarge).bgColor, ui::VAL_RED);
    EXPECT_EQ(rowCtrl(10, kPosDischarge).textColor, ui::VAL_WHITE);
    EXPECT_EQ(rowValue(10, kPosFault), 0.0);
    EXPECT_EQ(rowValue(10, kPosAlarm), 0.0);
    data(10, rec);
    tick();
    EXPECT_EQ(rowCtrl(10, kPosDischarge).bgColor, ui::VAL_WHITE);
    EXPECT_EQ(rowCtrl(10, kPosDischarge).textColor, ui::VAL_BLACK);
    // The neighbouring rows, whose pumps are off line, are not touched.
    EXPECT_EQ(rowValue(9, kPosDischarge), 0.0);
    EXPECT_TRUE(rowCtrl(9, kPosStepUpLarge).dimmed);
}

TEST_F(BankRefresh, PercentageKeepsItsLastValueWithoutATripPoint) {
    online(2, pumping(3000.0f, 0.0f, 0.0f).u16(kTripPoint, 6000));
    tick();
    EXPECT_DOUBLE_EQ(rowValue(2, kPosPercent), 50.0);
    data(2, pumping(4500.0f, 0.0f, 0.0f).u16(kTripPoint, 0));
    tick();
    EXPECT_EQ(PumpTable[2].TripPressure, 0.0f);
    EXPECT_DOUBLE_EQ(rowValue(2, kPosDischarge), 4500.0);
    EXPECT_DOUBLE_EQ(rowValue(2, kPosPercent), 50.0);
    EXPECT_FALSE(std::isinf(rowValue(2, kPosPercent)));
}

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

TEST_F(BankRefresh, IdentificationIsBoundedAndAskedForOnlyWhenItChanges) {
    online(4);
    commands(4);  // first contact: throttle and identification requests
    tick();
    EXPECT_EQ(count(commands(4), 0x1E), 1) << "the first refresh asks for the identification";
    tick();
    EXPECT_EQ(count(commands(4), 0x1E), 0);

    // Nine bytes with no end: the row shows eight.
    idReply(4, "ABCDEFGHI");
    tick();
    EXPECT_EQ(rowCtrl(4, kPosPumpId).text, "ABCDEFGH");
    EXPECT_EQ(PumpTable[4].PumpId[8], '\0');
    EXPECT_EQ(count(commands(4), 0x1E), 1);
    idReply(4, "ABCDEFGH");
    tick();
    EXPECT_EQ(count(commands(4), 0x1E), 0);
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
