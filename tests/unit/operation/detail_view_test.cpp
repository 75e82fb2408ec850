// The detail view: opening it from a row, its values, colours and indicators, moving from
// pump to pump, and closing when its pump goes off line.
#include "link/decoder.h"
#include "platform/journal.h"
#include "support/link_fixture.h"
#include "ui/windows/window_support.h"
#include "unit/operation/display_fixture.h"

namespace {

using linktest::Record;
using namespace rec;
using namespace windows;

class DetailView : public DisplayStation {
  protected:
    // Presses the detail button of the pump's row.
    void open(int pump) { ui::Press(bank(pump), row(pump, kPosDetail)); }
    int visibleResetButtons() {
        int n = 0;
        for (int p = 0; p < kPumpCount; ++p) n += detail(DetailVfdResetCtrl(p)).visible ? 1 : 0;
        return n;
    }
};

TEST_F(DetailView, RowButtonOpensTheViewOfItsPumpOverItsBankWindow) {
    online(11);
    commands(11);
    ui::SetPanelAttribute(BankPanel[1], ui::ATTR_PANEL_LEFT, 100);
    ui::SetPanelAttribute(BankPanel[1], ui::ATTR_PANEL_TOP, 50);
    open(11);  // bank 1, row 3
    ASSERT_TRUE(detailShown());
    EXPECT_EQ(CurrentPump, 11);
    EXPECT_EQ(ui::GetPanelTitle(DetailPanel), "Pump 6B");
    EXPECT_EQ(detail(DETAIL_PUMP_LABEL).text, "PUMP 6B");
    EXPECT_EQ(visibleResetButtons(), 1);
    EXPECT_TRUE(detail(DetailVfdResetCtrl(11)).visible);
    EXPECT_EQ(count(commands(11), 0x1E), 1) << "the identification is asked for";
    // Centred on the bank window and of its size: it covers it, menu bar and all; a view
    // lower than its bank showed the bank's menu bar above its own.
    const ui::Panel& view = *ui::FindPanel(DetailPanel);
    const ui::Panel& bankWindow = *ui::FindPanel(BankPanel[1]);
    EXPECT_EQ(view.left, 100);
    EXPECT_EQ(view.top, 50);
    EXPECT_EQ(view.width, bankWindow.width);
    EXPECT_EQ(view.height, bankWindow.height);

    ui::Press(DetailPanel, DETAIL_CLOSE);
    EXPECT_FALSE(detailShown());
    EXPECT_EQ(CurrentPump, kNoPump);
}

TEST_F(DetailView, ShowsThePumpsValuesWithThePressureGaugeInThousands) {
    Record rec;
    rec.f32(kDischarge, 8200.0f).f32(kRate, 630.0f).f32(kOilTemp, 140.0f).f32(kOilPressure, 55.5f);
    rec.f32(kPumpRpm, 180.0f).f32(kSuction, 80.0f).f32(kWindingA, 212.0f).u16(kTripPoint, 0xFFFF);
    online(6, rec);
    online(7, Record().f32(kDischarge, 100.0f));
    open(6);
    EXPECT_DOUBLE_EQ(detail(DETAIL_DISCHARGE).number, 8200.0)
        << "the view shows its pump at once, not the previous one's values";
    tick();
    EXPECT_NEAR(detail(DETAIL_PRESSURE_GAUGE).number, 8.2, 1e-6);
    EXPECT_DOUBLE_EQ(detail(DETAIL_RATE_GAUGE).number, 15.0);
    EXPECT_DOUBLE_EQ(detail(DETAIL_OIL_TEMP_GAUGE).number, 140.0);
    EXPECT_DOUBLE_EQ(detail(DETAIL_OIL_PRESSURE).number, 55.5);
    EXPECT_DOUBLE_EQ(detail(DETAIL_SUCTION).number, 80.0);
    EXPECT_DOUBLE_EQ(detail(DETAIL_PUMP_RPM).number, 180.0);
    EXPECT_DOUBLE_EQ(detail(DETAIL_WINDING_A).number, 212.0);
    EXPECT_FLOAT_EQ(static_cast<float>(detail(DETAIL_HP_GAUGE).number), PumpTable[6].HydraulicHp);

    // The view follows only its own pump.
    data(7, Record().f32(kDischarge, 9999.0f));
    tick();
    EXPECT_DOUBLE_EQ(detail(DETAIL_DISCHARGE).number, 8200.0);
    // A closed view is not written.
    ui::Press(DetailPanel, DETAIL_CLOSE);
    data(6, Record(rec).f32(kDischarge, 1000.0f));
    tick();
    EXPECT_DOUBLE_EQ(detail(DETAIL_DISCHARGE).number, 8200.0);
}

TEST_F(DetailView, PressureGaugeTakesTheTripColours) {
    online(1, Record().f32(kDischarge, 500.0f));
    open(1);
    tick();
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).bgColor, ui::VAL_WHITE);
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).textColor, ui::VAL_BLACK);
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).onColor, ui::VAL_RED);
    EXPECT_EQ(detail(DETAIL_PRESSURE_MULT).textColor, ui::VAL_BLACK);
    data(1, Record().u16(kStatus, kTrippedStatus));
    tick();
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).bgColor, ui::VAL_RED);
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).textColor, ui::VAL_WHITE);
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).onColor, ui::VAL_WHITE);
    EXPECT_EQ(detail(DETAIL_PRESSURE_UNITS).textColor, ui::VAL_WHITE);
    EXPECT_EQ(detail(DETAIL_PRESSURE_MULT).textColor, ui::VAL_WHITE);

    // Another pump that is not tripped: the colours change with the pump, not only with
    // the trip.
    online(2);
    ui::Press(DetailPanel, DETAIL_NEXT);
    ASSERT_EQ(CurrentPump, 2);
    tick();
    EXPECT_EQ(detail(DETAIL_PRESSURE_GAUGE).bgColor, ui::VAL_WHITE);
    EXPECT_EQ(detail(DETAIL_PRESSURE_UNITS).textColor, ui::VAL_BLACK);
}

TEST_F(DetailView, IndicatorsAndAlarmColoursFollowTheWords) {
    online(3);
    open(3);
    tick();
    EXPECT_EQ(detail(DETAIL_LED_ANY_ALARM).number, 0.0);
    EXPECT_EQ(detail(DETAIL_DISCHARGE).textColor, ui::VAL_GREEN);
    EXPECT_EQ(detail(DETAIL_OIL_TEMP_GAUGE).bgColor, ui::VAL_GREEN);
    EXPECT_TRUE(detail(DETAIL_POWER_ON).visible);
    EXPECT_TRUE(detail(DETAIL_OVERRIDE_START).visible);

    data(3, Record()
                .u16(kAlarm, 0x8000 | 0x1000 | 0x0020)
                .u16(kFault, 4)
                .u8(kVfdOn, 1)
                .u8(kOverride, 1));
    tick();
    EXPECT_EQ(detail(DETAIL_LED_PUMP_RPM).number, 1.0);
    EXPECT_EQ(detail(DETAIL_LED_AUX_2).number, 0.0);
    EXPECT_EQ(detail(DETAIL_LED_FAULT).number, 1.0);
    EXPECT_EQ(detail(DETAIL_LED_ANY_ALARM).number, 1.0);
    EXPECT_FALSE(detail(DETAIL_POWER_ON).visible);
    EXPECT_TRUE(detail(DETAIL_POWER_OFF).visible);
    EXPECT_FALSE(detail(DETAIL_OVERRIDE_START).visible);
    EXPECT_TRUE(detail(DETAIL_OVERRIDE_STOP).visible);
    EXPECT_EQ(detail(DETAIL_DISCHARGE).textColor, ui::VAL_RED);
    EXPECT_EQ(detail(DETAIL_DISCHARGE).bgColor, kAlarmBack);
    EXPECT_EQ(detail(DETAIL_SUCTION).textColor, ui::VAL_GREEN) << "another value's bit";
    EXPECT_EQ(detail(DETAIL_OIL_TEMP_GAUGE).bgColor, ui::VAL_RED);

    // Cleared alarms take their colours back.
    data(3, Record().u16(kAlarm, 0x0400));
    tick();
    EXPECT_EQ(detail(DETAIL_LED_AUX_2).number, 1.0);
    EXPECT_EQ(detail(DETAIL_LED_PUMP_RPM).number, 0.0);
    EXPECT_EQ(detail(DETAIL_DISCHARGE).textColor, ui::VAL_GREEN);
    EXPECT_EQ(detail(DETAIL_DISCHARGE).bgColor, kNormalBack);
    EXPECT_EQ(detail(DETAIL_OIL_TEMP_GAUGE).bgColor, ui::VAL_GREEN);
}

// The bit indicators are captioned with the names the journal gives their bits, so a lit
// indicator and the alarm in the Event Journal read alike; bits without a known meaning are
// named by their value, not by a guess.
TEST_F(DetailView, BitIndicatorsAreNamedAsTheJournalNamesTheirBits) {
    online(3);
    open(3);
    data(3, Record().u16(kAlarm, kDetailPumpRpmBit | kDetailAux1Bit | kDetailAux2Bit));
    tick();
    const std::pair<int, std::uint16_t> leds[] = {
        {DETAIL_LED_PUMP_RPM, kDetailPumpRpmBit},
        {DETAIL_LED_AUX_1, kDetailAux1Bit},
        {DETAIL_LED_AUX_2, kDetailAux2Bit},
    };
    for (const auto& [led, bit] : leds) {
        const std::string caption = detail(DetailLedCaption(led)).text;
        SCOPED_TRACE(caption);
        EXPECT_EQ(detail(led).number, 1.0);
        EXPECT_EQ(caption, AlarmBitName(false, bit));
        EXPECT_EQ(journal::StateOf(3, journal::Kind::Alarm, caption),
                  journal::AlarmState::ActiveUnacknowledged);
    }
    EXPECT_EQ(detail(DetailLedCaption(DETAIL_LED_PUMP_RPM)).text, "Pump RPM");
    EXPECT_EQ(detail(DetailLedCaption(DETAIL_LED_AUX_1)).text, "Alarm bit 0x0800");
    EXPECT_EQ(detail(DetailLedCaption(DETAIL_LED_AUX_2)).text, "Alarm bit 0x0400");
}

TEST_F(DetailView, NextAndPreviousVisitOnlyPumpsOnLineAndWrap) {
    online(20);
    open(20);
    ui::Press(DetailPanel, DETAIL_NEXT);
    EXPECT_EQ(CurrentPump, 20) << "alone on line: nowhere to go";
    ui::Press(DetailPanel, DETAIL_PREVIOUS);
    EXPECT_EQ(CurrentPump, 20);
    EXPECT_EQ(ui::GetPanelTitle(DetailPanel), "Pump 11A");

    online(3);
    online(22);
    commands(3);
    ui::Press(DetailPanel, DETAIL_NEXT);
    EXPECT_EQ(CurrentPump, 22);
    ui::Press(DetailPanel, DETAIL_NEXT);
    EXPECT_EQ(CurrentPump, 3) << "from 23 round to 0";
    EXPECT_EQ(ui::GetPanelTitle(DetailPanel), "Pump 2B");
    EXPECT_TRUE(detail(DetailVfdResetCtrl(3)).visible);
    EXPECT_FALSE(detail(DetailVfdResetCtrl(22)).visible);
    EXPECT_EQ(count(commands(3), 0x1E), 1);
    ui::Press(DetailPanel, DETAIL_PREVIOUS);
    EXPECT_EQ(CurrentPump, 22) << "from 0 round to 23";
    ui::Press(DetailPanel, DETAIL_PREVIOUS);
    EXPECT_EQ(CurrentPump, 20);
}

TEST_F(DetailView, ClosesWhenItsPumpGoesOffLine) {
    online(8);
    online(9);
    open(9);
    // Another pump falling silent leaves it open.
    for (int i = 0; i < 15; ++i) {
        data(9, Record());
        loop.advance(1.0);
    }
    ASSERT_EQ(PumpTable[8].Online, 0);
    EXPECT_TRUE(detailShown());
    EXPECT_EQ(CurrentPump, 9);

    loop.advance(15.0);
    ASSERT_EQ(PumpTable[9].Online, 0);
    EXPECT_FALSE(detailShown());
    EXPECT_EQ(CurrentPump, kNoPump);
    // Later refreshes do not bring it back.
    tick();
    EXPECT_FALSE(detailShown());
}

TEST_F(DetailView, NavigationFromAClosedViewDoesNothing) {
    online(5);
    // Stray events with no pump shown must not index past the tables.
    GoToNextPump(DetailPanel, DETAIL_NEXT, ui::EVENT_COMMIT, nullptr, 0, 0);
    GoToPreviousPump(DetailPanel, DETAIL_PREVIOUS, ui::EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(CurrentPump, kNoPump);
    RefreshDetailView(kNoPump);
    SetDetailViewIndicators(kNoPump);
    SetDetailViewPump(kNoPump);
    EXPECT_EQ(ui::GetPanelTitle(DetailPanel), "Pump 1A");
    // Only the commit of a button acts.
    open(5);
    GoToNextPump(DetailPanel, DETAIL_NEXT, ui::EVENT_LEFT_CLICK, nullptr, 0, 0);
    Close_Current_Pump(DetailPanel, DETAIL_CLOSE, ui::EVENT_LEFT_CLICK, nullptr, 0, 0);
    EXPECT_TRUE(detailShown());
}

}  // namespace
