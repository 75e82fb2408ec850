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
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "hardware/hardware_selection.h"
#include "hardware/hardware_setup.h"
#include "hardware/hdw_pump.h"
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
#include "ui/windows/hardware_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace hardware;

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

struct SimPump {
    double rpm = 0, psi = 0, gpm = 0;
    unsigned tripPsi = 0;
    int driveOn = 0, tripped = 0;
    std::string id;
};

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

    std::map<int, SimPump> readState() {
        std::map<int, SimPump> out;
        std::ifstream f(dir / "state.txt");
        int pump = 0;
        SimPump s;
        while (f >> pump >> s.rpm >> s.psi >> s.gpm >> s.tripPsi >> s.driveOn >> s.tripped >> s.id)
            out[pump] = s;
        return out;
    }

    // A key=value field of a pump's state line, "" when missing.
    std::string stateField(int pump, const std::string& key) {
        std::ifstream f(dir / "state.txt");
        const std::string head = "pump=" + std::to_string(pump) + " ";
        for (std::string line; std::getline(f, line);) {
            if (line.rfind(head, 0) != 0) continue;
            const size_t at = line.find(" " + key + "=");
            if (at == std::string::npos) return "";
            const size_t from = at + key.size() + 2;
            return line.substr(from, line.find(' ', from) - from);
        }
        return "";
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

// A technician calibrates pump 2's discharge input from two test pressures and sets pump
// 3's characteristics and identification; vnk-sim ends up holding what was sent.
TEST_F(RealLink, CalibrationCharacteristicsAndIdReachThePumps) {
    const double started = platform::Timer();
    startSim({"--state", (dir / "state.txt").string(), "--event", "pressure=2:1000", "--event",
              "pressure=2:9000@8"});
    BindHardwareCallbacks();
    LinkHooks hooks = GetLinkHooks();
    InstallHardwareLinkHooks(hooks);
    SetLinkHooks(hooks);
    assignPorts();
    OpenAllPorts(60);
    startTimers();
    ASSERT_TRUE(waitFor([] { return onlineCount() == kPumpCount; }, 5.0));

    OpenHardwareWindow(1);
    ui::Press(HardwarePanel(), windows::HW_SELECT_DISCHARGE);
    const int ai = HardwareDialog(HwDialog::Ai);
    ASSERT_NE(ai, 0);
    waitFor([] { return false; }, 0.5);
    ui::Press(ai, windows::AI_READ_LOW);
    ASSERT_TRUE(waitFor([&] { return ui::GetCtrlInt(ai, windows::AI_RAW_LOW) != 0; }, 3.0));
    waitFor([&] { return platform::Timer() - started > 9.0; }, 12.0);
    ui::Press(ai, windows::AI_READ_HIGH);
    ASSERT_TRUE(waitFor([&] { return ui::GetCtrlInt(ai, windows::AI_RAW_HIGH) != 0; }, 3.0));
    const int low = ui::GetCtrlInt(ai, windows::AI_RAW_LOW);
    const int high = ui::GetCtrlInt(ai, windows::AI_RAW_HIGH);
    EXPECT_NEAR(high - low, 8000.0 * 3200.0 / 15000.0, 1.0);  // the transmitter's span
    ui::SetCtrlVal(ai, windows::AI_ENG_LOW, 1000.0);
    ui::SetCtrlVal(ai, windows::AI_ENG_HIGH, 9000.0);
    ui::Press(ai, windows::AI_AUTOSCALE);
    ui::Press(ai, windows::AI_OK);
    char expected[64];
    const float slope = 8000.0f / static_cast<float>(high - low);
    std::snprintf(expected, sizeof expected, "%g,%g,0,0",
                  static_cast<double>(1000.0f - static_cast<float>(low) * slope),
                  static_cast<double>(slope));
    EXPECT_TRUE(waitFor([&] { return stateField(2, "ai4") == expected; }, 4.0))
        << stateField(2, "ai4") << " instead of " << expected;

    OpenHardwareWindow(2);
    ui::Press(HardwarePanel(), windows::HW_SELECT_CHARACTERISTICS);
    const int pumpDialog = HardwareDialog(HwDialog::Characteristics);
    ASSERT_TRUE(
        waitFor([&] { return ui::GetCtrlInt(pumpDialog, windows::CHAR_PLUNGERS) == 3; }, 3.0));
    ui::Press(pumpDialog, windows::CHAR_PRESET_5);
    ui::SetCtrlVal(pumpDialog, windows::CHAR_STROKE, 10.0);
    ui::Press(pumpDialog, windows::CHAR_OK);
    SetPumpIds(0, 0, ui::EVENT_LEFT_CLICK, nullptr, 0, 0);
    ASSERT_NE(PumpIdsPanel(), 0);
    ui::SetCtrlVal(PumpIdsPanel(), windows::IDS_FIELD_FIRST + 2, "SYS-3");
    ui::Press(PumpIdsPanel(), windows::IDS_SEND);
    EXPECT_TRUE(waitFor(
        [&] {
            return stateField(3, "plungers") == "5" && stateField(3, "stroke_in") == "10" &&
                   readState()[3].id == "SYS-3";
        },
        4.0))
        << "vnk-sim: plungers " << stateField(3, "plungers") << " id " << readState()[3].id;

    // Read back from the pump.
    std::memset(PumpTable[2].PumpId, 0, kPumpIdSize);
    PumpTable[2].PumpConfigRead = false;
    SendPumpCommand(2, Op::ReadPumpId);
    SendPumpCommand(2, Op::ReadPumpConfig);
    EXPECT_TRUE(waitFor([] { return PumpTable[2].PumpConfigRead; }, 3.0));
    EXPECT_STREQ(PumpTable[2].PumpId, "SYS-3");
    EXPECT_EQ(PumpTable[2].PumpConfig.Plungers(), 5);
    EXPECT_FLOAT_EQ(PumpTable[2].PumpConfig.Stroke(), 10.0f);
    EXPECT_TRUE(popups.shown().empty());
}

}  // namespace
