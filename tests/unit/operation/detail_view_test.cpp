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
    // A reset reaches the members of the pump's group on line: the button counts those only.
    PumpTable[20].PumpGroup = PumpTable[22].PumpGroup = PumpTable[5].PumpGroup = 2;  // 5: off line
    tick();
    EXPECT_EQ(ui::GetCtrlAttributeText(DetailPanel, DETAIL_RESET_ALARMS, ui::ATTR_LABEL_TEXT),
              "Reset Alarms (Group 2: 2 pumps)");
}

}  // namespace
