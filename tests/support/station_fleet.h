// The station as an operator finds it: started (windows, settings file, ports) against 24
// simulated pumps on simulated lines in virtual time, every pump on line, with what each
// pump took in recorded.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/sim/sim_serial.h"
#include "platform/system.h"
#include "shell/cfg.h"
#include "shell/control_ids.h"
#include "shell/main_sequence.h"
#include "shell/numpadcode.h"
#include "support/config_file.h"
#include "support/pump_fleet.h"
#include "support/sim_fixture.h"
#include "ui/windows/entry_windows.h"

constexpr int kPumps = 24;
constexpr int kIdleRpm = 600;  // the simulated units' throttle block

struct Command {
    double at;
    int pump;
    int code;
    std::vector<std::uint8_t> data;
};

class StationFleet : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        home = std::filesystem::temp_directory_path() /
               ("vnk_fleet_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home / "cfg");
        setenv("VNK_HOME", home.c_str(), 1);
        platform::setSerialBackEnd(&serial);
        platform::setSystemBackEnd(&system);
        for (int port = 1; port <= 25; ++port) serial.addPort(port);
        ResetStation();
    }
    void TearDown() override {
        fleet.reset();
        ResetStation();
        platform::setSystemBackEnd(nullptr);
        platform::setSerialBackEnd(nullptr);
        unsetenv("VNK_HOME");
        std::filesystem::remove_all(home);
        SimFixture::TearDown();
    }

    // The station with its fleet on line; config adjusts the settings file first.
    void start(ConfigRecord config = FleetConfig()) {
        WriteConfig((home / "cfg" / "vnk.cfg").string(), config);
        fleet = std::make_unique<PumpFleetHarness>(serial, kPumps);
        for (int p = 0; p < kPumps; ++p) {
            fleet->listen(p);
            fleet->unit(p).setDriveOn(true);
        }
        fleet->onRequest = [this](int pump, const std::vector<std::uint8_t>& b) {
            if (b.size() >= 10 && (b[4] >> 6) == 3)
                heard.push_back({loop.now(), pump, b[4] & 0x3F,
                                 std::vector<std::uint8_t>(b.begin() + 8, b.end() - 2)});
        };
        ASSERT_TRUE(StartUp());
        loop.advance(4.0);
        for (int p = 0; p < kPumps; ++p) ASSERT_EQ(PumpTable[p].Online, 1) << "pump " << p + 1;
        heard.clear();
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

    std::filesystem::path home;
    platform::SimSerial serial;
    platform::SimSystem system;
    std::unique_ptr<PumpFleetHarness> fleet;
    std::vector<Command> heard;
};
