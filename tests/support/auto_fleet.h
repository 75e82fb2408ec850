// The started station with pumps 1-8 on line, running at 1200 rpm with their "Auto" boxes
// ticked (the other pumps have no port), and what an operator does to put the fleet under
// automatic control.
#pragma once

#include "autocontrol/auto_panel.h"
#include "support/station_fleet.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/menu_bar.h"

class AutoFleet : public StationFleet {
  protected:
    void startEight(bool metric = false, double noisePsi = 0.0) {
        settings::ConfigRecord config = FleetConfig();
        for (int p = 0; p < kPumps; ++p) {
            config.PumpComPort[p] = p < 8 ? static_cast<std::uint8_t>(p + 1) : 0;
            config.AutoSelected[p] = p < 8 ? 1 : 0;
        }
        config.DisplayUnits = metric ? settings::kUnitsMetric : settings::kUnitsUs;
        start(config);
        pumpsim::Well::Params well = fleet->fleet().well.params();
        well.noisePsi = noisePsi;
        fleet->fleet().well.setParams(well);
        for (int p = 0; p < 8; ++p) {
            fleet->unit(p).setReportsSetpoint(true);
            fleet->unit(p).setSpeedSetpoint(1200);
        }
        loop.advance(10.0);
        heard.clear();
    }
    // Opens the window, picks the mode, enters the two values, Apply.
    void apply(int radio, int targetField, double target, int limitField, double limit) {
        using namespace windows;
        ui::SelectMenu(menuBar(), MENU_AUTO_CONTROL, BankPanel[0]);
        ui::Press(autocontrol::AutoModePage, radio);
        ui::Operate(autocontrol::AutoModePage, targetField, target);
        ui::Operate(autocontrol::AutoModePage, limitField, limit);
        ui::Press(autocontrol::AutoPanel, AUTO_APPLY);
    }
    void holdRate(double bblPerMinute, double limitPsi = 8000.0) {
        using namespace windows;
        apply(MODE_RATE, MODE_TARGET_RATE, bblPerMinute, MODE_LIMIT_PRESSURE, limitPsi);
    }
};
