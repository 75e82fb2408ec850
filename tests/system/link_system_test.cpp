// The pump link on the real back ends, Qt's loop and termios ports, against vnk-sim over
// pseudo-terminals: a port that hangs up is closed and the others carry on. (Whether a hung-up
// port leaves anything spinning is bench/station_cpu.sh's figure, HANGUP=n. What the hardware
// dialogs write is the station's hardware test, over the simulated lines.) (The whole station on
// these back ends is the station's system test; the table against the controllers is the link's
// integration test.)
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "link/comcfg.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/event_loop.h"
#include "platform/real/qt_loop.h"
#include "platform/real/termios_serial.h"
#include "platform/registry.h"
#include "support/qt_app.h"
#include "support/sim_process.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace fs = std::filesystem;

namespace {

std::array<int, kPumpCount> g_records{};  // data replies accepted per pump

void countRecords(int entry, std::span<const std::uint8_t> packet) {
    const std::uint8_t byte4 = packet[kOffTypeCode];
    if (entry >= 0 && entry < kPumpCount && packetTypeOf(byte4) == PacketType::Data &&
        wireCodeOf(byte4) == WireCode::DataRecord)
        ++g_records[static_cast<size_t>(entry)];
}

class RealLink : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestQtApp<>::start(); }
    static void TearDownTestSuite() { TestQtApp<>::stop(); }

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vnk_sys_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "ports");
        setenv("VNK_PORTS_DIR", (dir / "ports").c_str(), 1);
        platform::setLoop(&loop);
        platform::setSerialBackEnd(&serial);
        platform::setRegistry(&store);
        ui::setPopupBackEnd(&popups);
        ui::ResetModel();
        ResetLink();
        ResetComCfg();
        windows::ClearCallbackBindings();
        windows::BindCtrlCallback("WaitForPorts", WaitForPorts);
        windows::RegisterWindowDefinitions();
        g_records.fill(0);
        SetPacketTap(countRecords);

        timers = ui::NewPanel(0, "timers", 0, 0, 100, 100);
        addTimer(1, GetControlData, 0.1);
        addTimer(2, QueueTimer, 0.05);
        addTimer(3, ComTimerTick, 0.495);
        addTimer(4, WaitForPorts, 1.0);
        SetPortTimers({timers, 4, 0, 0});
    }

    void TearDown() override {
        sim.stop();
        CloseAllPorts();
        SetPacketTap(nullptr);
        ResetComCfg();
        ResetLink();
        ui::ResetModel();
        windows::ClearCallbackBindings();
        ui::setPopupBackEnd(nullptr);
        platform::setRegistry(nullptr);
        platform::setSerialBackEnd(nullptr);
        platform::setLoop(nullptr);
        unsetenv("VNK_PORTS_DIR");
        fs::remove_all(dir);
    }

    void addTimer(int id, ui::CtrlCallback cb, double interval) {
        ui::AddCtrl(timers, id, ui::CTRL_TIMER, "", 0, 0);
        ui::InstallCtrlCallback(timers, id, cb);
        ui::SetCtrlAttribute(timers, id, ui::ATTR_INTERVAL, interval);
    }
    void startTimers() {
        for (int id : {1, 2, 3}) ui::SetCtrlAttribute(timers, id, ui::ATTR_ENABLED, 1);
    }

    void startSim(std::vector<std::string> args) {
        args.insert(args.begin(), {"--ports-dir", (dir / "ports").string(), "--quiet"});
        ASSERT_TRUE(sim.start(VNK_SIM_PATH, args, (dir / "sim.log").string()));
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "ports" / "COM24"); }))
            << "vnk-sim did not create its ports";
    }

    // Runs the loop until pred holds. The bound is for a machine loaded with other builds,
    // where a Debug build under the sanitizers is slow; nothing is judged by the time taken.
    bool waitFor(const std::function<bool()>& pred, double seconds = 60.0) {
        double end = platform::Timer() + seconds;
        while (!pred()) {
            if (platform::Timer() > end) return false;
            platform::Delay(0.02);
        }
        return true;
    }

    static int onlineCount() {
        int n = 0;
        for (int p = 0; p < kPumpCount; ++p) n += PumpTable[p].Online;
        return n;
    }

    fs::path dir;
    platform::QtLoop loop;
    platform::TermiosSerial serial;
    platform::RegistryStore store;
    ui::ScriptedPopups popups;
    SimProcess sim;
    int timers = 0;
};

void assignPorts() {
    for (int p = 0; p < kPumpCount; ++p) PumpTable[p].ConfiguredComPort = p + 1;
}

TEST_F(RealLink, HungUpPortIsClosedQuietlyAndTheOthersCarryOn) {
    startSim({"--speed", "all=1000", "--fail", "7=hangup@6"});
    assignPorts();
    OpenAllPorts(60);
    startTimers();
    // Pump 7 hangs up 6 s into vnk-sim's run, on line by then or not.
    ASSERT_TRUE(waitFor([] { return onlineCount() - PumpTable[6].Online == kPumpCount - 1; }));
    ASSERT_TRUE(waitFor([&] { return !serial.isOpen(7); })) << "hang-up not seen";

    // Every other pump goes on updating: fifty more records each.
    g_records.fill(0);
    EXPECT_TRUE(waitFor([] {
        for (int p = 0; p < kPumpCount; ++p)
            if (p != 6 && g_records[static_cast<size_t>(p)] < 50) return false;
        return true;
    })) << "a pump stopped updating after the hang-up";
    for (int p = 0; p < kPumpCount; ++p) {
        if (p != 6) {
            EXPECT_EQ(PumpTable[p].Online, 1) << "pump " << p + 1;
        }
    }
    EXPECT_TRUE(waitFor([] { return PumpTable[6].Online == 0; }))
        << "the silent pump did not go off line";
    EXPECT_TRUE(popups.shown().empty());
}

}  // namespace
