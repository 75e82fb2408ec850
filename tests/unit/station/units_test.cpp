// The units of the live values on the running station: a switch of the display units
// leaves the Pump Table in one unit at once, the fleet values follow in the same moment,
// and what must judge a live value in psi (the zero-pressure guard) reads it in the units
// it holds, before and after the pump's next record.
#include <gtest/gtest.h>

#include <string>

#include "operation/commands.h"
#include "operation/detail_view.h"
#include "support/station_fleet.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/menu_bar.h"

using namespace pumplink;
using namespace operation;

namespace {

class LiveUnits : public StationFleet {
  protected:
    // The station with its fleet on line in the given display units; every packet a pump
    // takes in is kept, short requests (the reads that begin a zeroing) apart.
    void startIn(bool metric) {
        settings::ConfigRecord config = FleetConfig();
        config.DisplayUnits = metric ? settings::kUnitsMetric : settings::kUnitsUs;
        hearShort = true;
        start(config);
    }
    void switchTo(bool metric) {
        ui::SelectMenu(menuBar(), metric ? windows::MENU_UNITS_METRIC : windows::MENU_UNITS_US,
                       BankPanel[0]);
    }
    // The detail view's zero button for one pump, as the operator presses it.
    void pressZero(int pump) {
        CurrentPump = static_cast<std::uint8_t>(pump);
        ui::Press(DetailPanel, windows::DETAIL_ZERO_PRESSURE);
    }
    // Packets of a zeroing that reached the pump: the read of its discharge channel's block
    // and the write of it back.
    int zeroPackets(int pump) const {
        int n = 0;
        for (const std::vector<Command>* list : {&heard, &heardShort})
            for (const Command& c : *list) n += c.pump == pump && c.code == 0x01 ? 1 : 0;
        return n;
    }
    void clearHeard() {
        heard.clear();
        heardShort.clear();
        popups.clear();
    }
};

// Pump 1's transducer reads 4950 psi, pump 2's line is vented. Whichever way the units go,
// and whether the zero is pressed in the same moment as the switch or after the pump's next
// record, pump 1 is not zeroed unasked (the question names its reading in the display's
// units; No is the default) and pump 2 is zeroed.
TEST_F(LiveUnits, ZeroGuardReadsPsiAcrossBothSwitches) {
    for (bool metricFirst : {true, false}) {
        SCOPED_TRACE(metricFirst ? "metric -> US" : "US -> metric");
        if (!metricFirst) {
            TearDown();
            SetUp();
        }
        startIn(metricFirst);
        fleet->unit(0).setDischargeOverride(4950.0);
        fleet->unit(1).setDischargeOverride(0.0);
        loop.advance(2.0);
        const double scale = metricFirst ? 0.0068948 : 1.0;  // psi to the display's units
        ASSERT_NEAR(PumpTable[0].DischargePressure, 4950.0 * scale, 5.0 * scale);
        switchTo(!metricFirst);
        for (const char* when : {"at once", "after the next record"}) {
            SCOPED_TRACE(when);
            clearHeard();
            pressZero(0);
            pressZero(1);
            loop.advance(1.0);
            EXPECT_EQ(zeroPackets(0), 0) << "a pump under 4950 psi is never zeroed";
            EXPECT_EQ(popups.count("Zero Pressure"), 1);
            const std::string text = popups.shown().empty() ? "" : popups.shown().back().text;
            EXPECT_EQ(text, metricFirst ? "Pump 1A reads 4950 psi. Zero it anyway?"
                                        : "Pump 1A reads 34.13 MPa. Zero it anyway?");
            EXPECT_EQ(zeroPackets(1), 2) << "the vented pump: its block read and written back";
        }
    }
}

}  // namespace
