// The station's shell on the virtual-time back end: the command line, the order of
// start-up, the window arrangement, the exit and shut-down questions, the fleet-wide
// confirmation dialog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/comcfg.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "operation/detail_view.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/panels.h"
#include "platform/sim/sim_serial.h"
#include "platform/system.h"
#include "safety/estop.h"
#include "settings/config_record.h"
#include "shell/links.h"
#include "shell/main_sequence.h"
#include "shell/msg.h"
#include "support/station_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace shell;

namespace {

using namespace windows;

std::vector<std::string>* g_events = nullptr;

// Records the opening of ports (and whether the transmit queues existed by then).
class RecordingSerial : public platform::SimSerial {
  public:
    int open(int port, long baud, int parity, int dataBits, int stopBits, int inQueue,
             int outQueue) override {
        if (g_events != nullptr)
            g_events->push_back("open COM" + std::to_string(port) +
                                (PumpTable[0].TxQueue.ItemCount == -2 ? " before queues" : ""));
        return SimSerial::open(port, baud, parity, dataBits, stopBits, inQueue, outQueue);
    }
};

// Records splash messages and timers switched on or off.
class Watcher : public ui::Observer {
  public:
    platform::SimSystem* system = nullptr;
    void controlChanged(int panel, int control) override {
        const ui::Control* c = ui::FindCtrl(panel, control);
        if (c == nullptr || g_events == nullptr) return;
        if (c->type == ui::CTRL_TIMER && panel == BankPanel[0]) {
            bool on = c->enabled;
            if (on != enabled_[control]) {
                enabled_[control] = on;
                std::string e = "timer " + std::to_string(control) + (on ? " on" : " off");
                if (on && control == windows::BANK_TMR_ESTOP && system->parallelOpens == 0)
                    e += " before the input";
                g_events->push_back(e);
            }
        } else if (control == windows::SPLASH_MESSAGE && c->type == ui::CTRL_STRING &&
                   !c->text.empty()) {
            const ui::Panel* p = ui::FindPanel(panel);
            if (p != nullptr && p->resourceId == windows::VNK_SPLASH)
                g_events->push_back("splash: " + c->text);
        }
    }

  private:
    std::map<int, bool> enabled_;
};

class Station : public StationFixture<RecordingSerial> {
  protected:
    void SetUp() override {
        StationFixture::SetUp();
        watcher.system = &system;
        g_events = &events;
        ui::setObserver(&watcher);
    }
    void TearDown() override {
        ui::setObserver(nullptr);
        g_events = nullptr;
        StationFixture::TearDown();
    }
    size_t indexOf(const std::string& e) const {
        auto it = std::find(events.begin(), events.end(), e);
        return it == events.end() ? std::string::npos : static_cast<size_t>(it - events.begin());
    }

    Watcher watcher;
    std::vector<std::string> events;
};

TEST_F(Station, StartUpRunsInItsOrder) {
    writeConfig();
    ResetTxQueues();  // as at the start of a run: no queue yet
    ASSERT_TRUE(StartUp());

    std::vector<std::string> splash;
    for (const std::string& e : events)
        if (e.rfind("splash: ", 0) == 0) splash.push_back(e.substr(8));
    EXPECT_EQ(splash,
              (std::vector<std::string>{"Setting system policies...", "Initializing control IDs...",
                                        "Loading saved settings...", "Connecting to Trellmix PC...",
                                        "Initializing COM ports...please wait"}));
    size_t lastOpen = 0;
    int opens = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].rfind("open COM", 0) != 0) continue;
        EXPECT_EQ(events[i].find("before queues"), std::string::npos) << events[i];
        lastOpen = i;
        ++opens;
    }
    EXPECT_EQ(opens, 24);
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].rfind("timer ", 0) != 0 || events[i].find(" on") == std::string::npos)
            continue;
        bool portTimer =
            events[i] == "timer " + std::to_string(windows::BANK_TMR_WAIT_PORTS) + " on" ||
            events[i] == "timer " + std::to_string(windows::BANK_TMR_DELAY_COM) + " on";
        if (!portTimer) {
            EXPECT_GT(i, lastOpen) << events[i] << " started before the ports were open";
        }
    }
    EXPECT_GT(system.parallelOpens, 0);

    EXPECT_EQ(ui::GetPanelTitle(BankPanel[0]), "Pumps 1-8 - Varnock");
    EXPECT_EQ(ui::GetPanelTitle(BankPanel[2]), "Pumps 17-24 - Varnock");
    EXPECT_FALSE(ui::PanelExists(0));
    EXPECT_TRUE(popups.shown().empty());
}

// The E-stop input is open, and its watch running, before the automatic recording starts
// (which may wait on a file or a dialog).
TEST_F(Station, EStopWatchStartsOnceTheInputIsOpenAndBeforeTheRecorder) {
    storeDword("AutoRecord", 1);
    ASSERT_TRUE(StartUp());
    size_t estop = indexOf("timer " + std::to_string(windows::BANK_TMR_ESTOP) + " on");
    ASSERT_NE(estop, std::string::npos) << "the E-stop watch never started";
    for (const std::string& e : events)
        EXPECT_EQ(e.find("before the input"), std::string::npos) << e;
    EXPECT_LT(estop, indexOf("timer " + std::to_string(windows::BANK_TMR_RECORD) + " on"));
}

// An adapter that is not there, a pump's or the output line's, holds nobody up: start-up
// keeps its own pace, the others open and the E-stop input with them, each missing port is
// reported once, and the lost-port timer opens it when it is plugged in.
TEST_F(Station, MissingAdaptersHoldNobodyUpAndAreTakenWhenPlugged) {
    settings::ConfigRecord r = FleetConfig();
    r.OutputComPort = 25;
    writeConfig(r);
    serial.unplug(3);
    serial.unplug(25);
    // A message waits for the operator: by then every other port is open and polled (its
    // timer runs before the E-stop input opens), and the E-stop input watched.
    std::vector<std::string> before;
    popups.whileShown = [&](const ui::ScriptedPopups::Shown&) {
        before.push_back(std::string(serial.isOpen(24) ? "ports" : "") +
                         (system.parallelOpens > 0 ? " estop" : ""));
    };
    const double startedAt = loop.now();
    ASSERT_TRUE(StartUp());
    EXPECT_EQ(before, std::vector<std::string>(2, "ports estop"));
    EXPECT_LT(loop.now() - startedAt, 10.0) << "the splash and the blender's wait, no more";
    EXPECT_GT(system.parallelOpens, 0);
    EXPECT_TRUE(serial.isOpen(4));
    EXPECT_EQ(popups.count("Communications Error"), 2);
    EXPECT_EQ(popups.shown().at(0).text, "COM3 is an invalid port assignment.\n");
    loop.advance(5.0);
    EXPECT_EQ(popups.count("Communications Error"), 2) << "reported once, retried quietly";
    serial.replug(3);
    serial.replug(25);
    loop.advance(2.1);
    EXPECT_TRUE(serial.isOpen(3));
    EXPECT_TRUE(serial.isOpen(25));
    EXPECT_EQ(popups.count("Communications Error"), 2);
}

// The lock after a drive-fault reset is wired at start-up: it ends after two minutes.
TEST_F(Station, VfdResetLockEndsAfterTwoMinutes) {
    writeConfig();
    ASSERT_TRUE(StartUp());
    PumpTable[0].Online = 1;
    Bring_Frac_Offline(0, 0);
    ui::Press(BankPanel[0], BankRow[0][kPosDetail]);  // pump 1's detail view
    ASSERT_EQ(CurrentPump, 0);
    const int reset = windows::DetailVfdResetCtrl(0);
    popups.answerConfirm(true);
    ui::Press(DetailPanel, reset);
    EXPECT_EQ(ui::GetCtrlAttributeInt(DetailPanel, reset, ui::ATTR_DIMMED), 1);
    loop.advance(119.0);
    EXPECT_EQ(ui::GetCtrlAttributeInt(DetailPanel, reset, ui::ATTR_DIMMED), 1);
    loop.advance(1.1);
    EXPECT_EQ(ui::GetCtrlAttributeInt(DetailPanel, reset, ui::ATTR_DIMMED), 0);
}

TEST_F(Station, EStopInputThatCannotOpenIsReportedAndStartUpGoesOn) {
    system.parallelAvailable = false;
    ASSERT_TRUE(StartUp());
    EXPECT_EQ(popups.count("Parallel Port"), 1);
    EXPECT_EQ(popups.shown().back().text, "Unable to initialize parallel port!!!");

    ResetStation();
    storeDword("EStopParallelPort", 0);
    popups.clear();
    ASSERT_TRUE(StartUp());  // port 32 does not exist here
    EXPECT_EQ(popups.count("Port Open"), 1);
    EXPECT_EQ(popups.shown().back().text, "Unable to open the EStop serial port.");
}

TEST_F(Station, StartDelayHoldsThePortsForItsTicks) {
    writeConfig();
    storeDword("ComStartDelay", 5);
    ASSERT_TRUE(StartUp());
    EXPECT_EQ(PortsBusy, 1);
    serial.takeWritten(1);
    loop.advance(4.5);  // four ticks of the start-delay timer
    EXPECT_EQ(PortsBusy, 1);
    EXPECT_TRUE(serial.takeWritten(1).empty()) << "nothing may be sent during the start delay";
    loop.advance(1.0);  // the fifth
    EXPECT_EQ(PortsBusy, 0);
    loop.advance(0.2);
    EXPECT_FALSE(serial.takeWritten(1).empty()) << "polling starts once the delay is over";

    ResetStation();
    writeConfig();
    storeDword("ComStartDelay", 1);
    ASSERT_TRUE(StartUp());
    EXPECT_EQ(PortsBusy, 0);  // 0 and 1 mean no delay
}

TEST_F(Station, ExitAndShutDownAskFirst) {
    writeConfig();
    ASSERT_TRUE(StartUp());
    ui::Press(BankPanel[1], windows::BANK_EXIT);  // Cancel (the default answer)
    EXPECT_FALSE(loop.quitRequested());
    EXPECT_EQ(popups.shown().back().title, "Exit Program");
    EXPECT_EQ(popups.shown().back().text, "Exit VNK PC?");
    EXPECT_TRUE(popups.shown().back().style.okCancel);
    EXPECT_EQ(popups.shown().back().style.owner, BankPanel[1]) << "asked over the pressed window";
    popups.answerConfirm(true);
    ui::Press(BankPanel[1], windows::BANK_EXIT);
    EXPECT_TRUE(loop.quitRequested());

    PumpTable[0].ConfiguredComPort = 300;  // only the low 8 bits reach the file
    ShutDown(true);                        // Cancel: the computer stays on
    EXPECT_EQ(popups.shown().back().text, "Shut down computer?");
    EXPECT_TRUE(popups.shown().back().style.okCancel);
    EXPECT_TRUE(popups.shown().back().style.guarded) << "right behind Exit's question";
    EXPECT_EQ(system.shutdowns, 0);
    EXPECT_FALSE(serial.isOpen(1));
    std::uint8_t bytes[settings::kConfigRecordSize] = {};
    ASSERT_EQ(settings::ReadConfigFile((home / "cfg" / "vnk.cfg").string(), bytes, sizeof bytes),
              0);
    EXPECT_EQ(bytes[0], 300 & 0xFF);

    popups.answerConfirm(true);
    ShutDown(true);
    EXPECT_EQ(system.shutdowns, 1);
    int asked = popups.count("Shut Down Computer");
    ShutDown(false);  // a stop by signal does not ask
    EXPECT_EQ(popups.count("Shut Down Computer"), asked);
}

// vnk.cfg follows a change within a second (a power cut loses none) and is not written while
// nothing changes; a write that fails is shown once, and the change goes out once it can.
TEST_F(Station, SettingsAreKeptWhenTheyChange) {
    writeConfig();
    ASSERT_TRUE(StartUp());
    const std::string path = (home / "cfg" / "vnk.cfg").string();
    const auto onDisk = [&] {
        std::uint8_t bytes[settings::kConfigRecordSize] = {};
        settings::ConfigRecord r{};
        EXPECT_EQ(settings::ReadConfigFile(path, bytes, sizeof bytes), 0);
        settings::DecodeConfigRecord(bytes, r);
        return r;
    };
    const auto inode = [&] {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const auto started = inode();
    loop.advance(2.0);
    EXPECT_EQ(inode(), started) << "nothing changed, nothing written (a write renames anew)";
    const int bar = ui::FindPanel(BankPanel[0])->menuBar;
    ui::SelectMenu(bar, MENU_REFRESH_4S, BankPanel[0]);
    PumpTable[7].ConfiguredComPort = 0;  // COM Port Setup: pump 4B off
    loop.advance(1.1);
    EXPECT_EQ(onDisk().RefreshInterval, 4.0);
    EXPECT_EQ(onDisk().PumpComPort[7], 0);

    std::filesystem::create_directories(path + ".new");  // the write cannot start
    ui::SelectMenu(bar, MENU_REFRESH_2S, BankPanel[0]);
    loop.advance(3.0);
    EXPECT_EQ(popups.count("Settings Not Saved"), 1) << "shown once, not at every try";
    EXPECT_EQ(onDisk().RefreshInterval, 4.0);
    std::filesystem::remove(path + ".new");
    loop.advance(1.1);
    EXPECT_EQ(onDisk().RefreshInterval, 2.0);
}

}  // namespace
