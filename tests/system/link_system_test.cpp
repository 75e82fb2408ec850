// The pump link on the real back ends, Qt's loop and termios ports, against vnk-sim over
// pseudo-terminals: a port that hangs up costs nothing. (The whole station on these back ends
// is the station's system test; the table against the controllers is the link's integration
// test.)
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
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

namespace fs = std::filesystem;

namespace {

std::array<int, kPumpCount> g_records{};  // data replies accepted per pump

void countRecords(int entry, std::span<const std::uint8_t> packet) {
    const std::uint8_t byte4 = packet[kOffTypeCode];
    if (entry >= 0 && entry < kPumpCount && packetTypeOf(byte4) == PacketType::Data &&
        wireCodeOf(byte4) == WireCode::DataRecord)
        ++g_records[static_cast<size_t>(entry)];
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
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
        BindComCfgCallbacks();
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
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "ports" / "COM24"); }, 5.0))
            << "vnk-sim did not create its ports";
    }

    // Runs the loop until pred holds or seconds pass.
    bool waitFor(const std::function<bool()>& pred, double seconds) {
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
    ASSERT_TRUE(waitFor([] { return onlineCount() == kPumpCount; }, 5.0));
    ASSERT_TRUE(waitFor([&] { return !serial.isOpen(7); }, 10.0)) << "hang-up not seen";

    g_records.fill(0);
    const double cpu0 = cpuSeconds();
    const double t0 = platform::Timer();
    waitFor([] { return false; }, 10.0);
    const double cpuShare = (cpuSeconds() - cpu0) / (platform::Timer() - t0);
    std::printf("station CPU over 10 s after the hang-up: %.1f %% of one core\n", cpuShare * 100);
    // A port left spinning would take a whole core; sanitizers make a healthy run heavier.
    EXPECT_LT(cpuShare, 0.5);
    for (int p = 0; p < kPumpCount; ++p) {
        if (p == 6) continue;
        EXPECT_GT(g_records[static_cast<size_t>(p)], 50) << "pump " << p + 1 << " stopped updating";
        EXPECT_EQ(PumpTable[p].Online, 1);
    }
    EXPECT_TRUE(waitFor([] { return PumpTable[6].Online == 0; }, 6.0))
        << "the silent pump did not go off line";
    EXPECT_TRUE(popups.shown().empty());
}

}  // namespace
