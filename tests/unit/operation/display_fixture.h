// A station started the way vnk-station starts, on simulated serial lines in virtual time:
// pump n on COM(n + 1), every port open and polled, the display hooks in the link. Pumps
// come on line by a data record arriving on their line; the display refresh runs when a
// test ticks it, so nothing else moves unless the test advances the clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/panels.h"
#include "settings/config_record.h"
#include "support/link_fixture.h"
#include "support/station_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"

using namespace pumplink;
using namespace operation;

// Offsets in a data record of the fields the display tests set.
namespace rec {
constexpr std::size_t kRate = 0, kTotal = 4, kDischarge = 8, kOilTemp = 12, kOilPressure = 16,
                      kPumpRpm = 20, kSuction = 24, kWindingA = 40, kMotorRpm = 52, kSetpoint = 66,
                      kStatus = 68, kAlarm = 70, kFault = 74, kTripPoint = 78, kVfdOn = 82,
                      kOverride = 83;
constexpr std::uint16_t kReportsSetpoint = 0x0080;  // status bits
constexpr std::uint16_t kTrippedStatus = 0x0040;
}  // namespace rec

class DisplayStation : public StationFixture<> {
  protected:
    void SetUp() override {
        StationFixture::SetUp();
        settings::ConfigRecord r = FleetConfig();
        r.DisplayUnits = metricAtStart ? settings::kUnitsMetric : settings::kUnitsUs;
        writeConfig(r);
        ASSERT_TRUE(StartUp());
        // The first poll, which takes every freshly opened port as not yet connected, has
        // gone out: records fed from here on bring pumps on line for good.
        loop.advance(0.2);
        for (int pump = 0; pump < kPumpCount; ++pump) serial.takeWritten(pump + 1);
    }

    static int port(int pump) { return pump + 1; }

    // A data record arrives from the pump (bringing it on line the first time).
    void data(int pump, const linktest::Record& rec) {
        serial.arriveNow(port(pump), rec.packet());
        loop.processEvents();
    }
    void online(int pump, const linktest::Record& rec = {}) {
        data(pump, rec);
        ASSERT_EQ(PumpTable[pump].Online, 1) << "pump " << pump;
    }
    // Its identification reply: nine bytes as the controller holds them.
    void idReply(int pump, const std::string& nineBytes) {
        std::vector<std::uint8_t> d(nineBytes.begin(), nineBytes.end());
        d.resize(kPumpIdSize, 0);
        serial.arriveNow(port(pump), linktest::reply(2, 0x1E, 0, d));
        loop.processEvents();
    }

    // Every command the station has for the pump, each answered so the next one goes out;
    // returns the wire codes in the order sent.
    std::vector<int> commands(int pump) {
        std::vector<int> codes;
        for (int guard = 0; guard < 64; ++guard) {
            for (const auto& s : linktest::splitSent(serial.takeWritten(port(pump))))
                codes.push_back(static_cast<int>(s.code));
            if (QueuedItems(pump) == 0) break;
            serial.arriveNow(port(pump), linktest::reply(0, 0x00, 0));
            loop.processEvents();
        }
        return codes;
    }
    static int count(const std::vector<int>& codes, int code) {
        int n = 0;
        for (int c : codes) n += c == code ? 1 : 0;
        return n;
    }

    void tick() {
        ui::DispatchCtrlEvent(BankPanel[0], windows::BANK_TMR_DISPLAY, ui::EVENT_TIMER_TICK);
    }

    // A pump's row control, by position.
    static int bank(int pump) { return BankPanel[pump / kPumpsPerBank]; }
    static int row(int pump, int position) { return BankRow[pump][position]; }
    static double rowValue(int pump, int position) {
        return ui::GetCtrlDouble(bank(pump), row(pump, position));
    }
    static const ui::Control& rowCtrl(int pump, int position) {
        return *ui::FindCtrl(bank(pump), row(pump, position));
    }
    static const ui::Control& detail(int control) { return *ui::FindCtrl(DetailPanel, control); }
    static bool detailShown() {
        return ui::GetPanelAttributeInt(DetailPanel, ui::ATTR_PANEL_VISIBLE) != 0;
    }
    static int menuBar(int panel) { return ui::FindPanel(panel)->menuBar; }

    bool metricAtStart = false;
};
