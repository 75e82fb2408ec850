// A station started the way vnk-station starts, on simulated serial lines in virtual time:
// pump n on COM(n + 1), every port open and polled, the display hooks in the link. Pumps
// come on line by a data record arriving on their line; the display refresh runs when a
// test ticks it, so nothing else moves unless the test advances the clock.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/panels.h"
#include "platform/sim/sim_serial.h"
#include "platform/system.h"
#include "shell/cfg.h"
#include "shell/control_ids.h"
#include "shell/main_sequence.h"
#include "support/link_fixture.h"
#include "support/sim_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"

class DisplayStation : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        home_ = std::filesystem::temp_directory_path() /
                ("vnk_display_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(home_);
        std::filesystem::create_directories(home_ / "cfg");
        setenv("VNK_HOME", home_.c_str(), 1);
        platform::setSerialBackEnd(&serial);
        platform::setSystemBackEnd(&system);
        for (int port = 1; port <= 25; ++port) serial.addPort(port);
        ResetStation();
        writeConfig();
        ASSERT_TRUE(StartUp());
        // The first poll, which takes every freshly opened port as not yet connected, has
        // gone out: records fed from here on bring pumps on line for good.
        loop.advance(0.2);
        for (int pump = 0; pump < kPumpCount; ++pump) serial.takeWritten(pump + 1);
    }
    void TearDown() override {
        ResetStation();
        platform::setSystemBackEnd(nullptr);
        platform::setSerialBackEnd(nullptr);
        unsetenv("VNK_HOME");
        std::filesystem::remove_all(home_);
        SimFixture::TearDown();
    }

    // A record image with every port in use, one refresh a second, all banks shown.
    void writeConfig() {
        ConfigRecord r{};
        r.RefreshInterval = 1.0;
        r.PumpsShown = 24;
        r.GroupsValid = 1;
        r.DisplayUnits = metricAtStart ? 1 : 0;
        for (int i = 0; i < kPumpCount; ++i) {
            r.PumpComPort[i] = static_cast<std::uint8_t>(i + 1);
            r.PumpGroup[i] = 255;
        }
        for (int i = 0; i < kTableSize; ++i) {
            r.RpmStepLarge[i] = 100;
            r.RpmStepSmall[i] = 25;
        }
        std::uint8_t bytes[kConfigRecordSize];
        EncodeConfigRecord(r, bytes);
        WriteConfigFile((home_ / "cfg" / "vnk.cfg").string(), bytes, kConfigRecordSize);
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
    platform::SimSerial serial;
    platform::SimSystem system;

  private:
    std::filesystem::path home_;
};
