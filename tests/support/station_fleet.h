// The station as an operator finds it: started (windows, settings file, ports) against 24
// simulated pumps on simulated lines in virtual time, every pump on line, with what each
// pump took in recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "settings/config_record.h"
#include "shell/main_sequence.h"
#include "support/pump_fleet.h"
#include "support/station_fixture.h"
#include "ui/windows/entry_windows.h"

using namespace pumplink;
using namespace operation;
using namespace shell;

constexpr int kPumps = 24;
constexpr int kIdleRpm = 600;  // the simulated units' throttle block

struct Command {
    double at;
    int pump;
    int code;
    std::vector<std::uint8_t> data;
};

class StationFleet : public StationFixture<> {
  protected:
    void TearDown() override {
        fleet.reset();
        StationFixture::TearDown();
    }

    // The station with its fleet on line; config adjusts the settings file first.
    void start(const settings::ConfigRecord& config = FleetConfig()) {
        writeConfig(config);
        fleet = std::make_unique<PumpFleetHarness>(serial, kPumps);
        for (int p = 0; p < kPumps; ++p) {
            fleet->listen(p);
            fleet->unit(p).setDriveOn(true);
        }
        fleet->onRequest = [this](int pump, const std::vector<std::uint8_t>& b) {
            if (b.size() < 10 || ((b[4] >> 6) != 3 && !hearShort)) return;
            ((b[4] >> 6) == 3 ? heard : heardShort)
                .push_back({loop.now(), pump, b[4] & 0x3F,
                            std::vector<std::uint8_t>(b.begin() + 8, b.end() - 2)});
        };
        ASSERT_TRUE(StartUp());
        loop.advance(4.0);
        for (int p = 0; p < kPumps; ++p) {
            if (config.PumpComPort[p] != 0) {
                ASSERT_EQ(PumpTable[p].Online, 1) << "pump " << p + 1;
            }
        }
        heard.clear();
        heardShort.clear();
        startUpPopups = popups.shown();
        popups.clear();
    }
    // Speed commands a pump received (rpm as sent), in order.
    std::vector<int> speedsTo(int pump) const {
        std::vector<int> rpm;
        for (const Command& c : heard)
            if (c.pump == pump && c.code == 0x1A && c.data.size() >= 2)
                rpm.push_back(static_cast<std::int16_t>(c.data[0] | (c.data[1] << 8)));
        return rpm;
    }
    int commandsTo(int pump, int code) const {
        int n = 0;
        for (const Command& c : heard) n += c.pump == pump && c.code == code ? 1 : 0;
        return n;
    }
    static int menuBar() { return ui::FindPanel(BankPanel[0])->menuBar; }
    void breakLoop() { system.status = 0x00; }
    void closeLoop() { system.status = 0x10; }
    bool estopWindowShown() const {
        return EStopPanel != 0 && ui::GetPanelAttributeInt(EStopPanel, ui::ATTR_PANEL_VISIBLE) == 1;
    }
    // Enters a number on the open keypad and presses OK.
    void keypadEnter(const std::string& text) {
        ASSERT_NE(KeypadPanel, 0);
        for (char c : text) ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_KEYPRESS, c, 0);
        ui::DispatchPanelEvent(KeypadPanel, ui::EVENT_KEYPRESS, windows::kKeyEnter, 0);
    }
    static std::string keypadCaption() {
        return ui::GetCtrlText(KeypadPanel, windows::NUMPAD_CAPTION);
    }

    std::unique_ptr<PumpFleetHarness> fleet;
    std::vector<Command> heard;
    bool hearShort = false;  // whether the short requests (the polls, reads) are kept too
    std::vector<Command> heardShort;
    std::vector<ui::ScriptedPopups::Shown> startUpPopups;  // what start-up showed
};

// The same station with its journal kept in memory, to read back what each source wrote.
class JournaledStationFleet : public StationFleet {
  protected:
    void SetUp() override {
        StationFleet::SetUp();
        journal::SetStore(&store);
    }
    void TearDown() override {
        StationFleet::TearDown();
        journal::SetStore(nullptr);
    }
    platform::MemoryJournal store;
};
