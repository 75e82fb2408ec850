#include "link/comcfg.h"

#include <algorithm>
#include <set>
#include <string>

#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/serial.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/serial_monitor.h"
#include "ui/windows/window_support.h"

namespace pumplink {

double ComTimeout = 0.001;
std::uint32_t ComStartDelay = 0;

namespace {

constexpr long kBaud = 19200;
constexpr int kParityNone = 0;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kQueueSize = 4095;
constexpr int kHighestListedPort = 200;

struct ComCfgState {
    PortTimers timers;
    int monitor = 0;                   // serial-monitor window, 0 when not loaded
    bool settingsReportShown = false;  // "settings are invalid" at most once per OpenAllPorts
    bool waitPending = false;
};
ComCfgState g;

std::string comName(int port) {
    return "COM" + std::to_string(port);
}

void setMonitorTitle(const char* title) {
    if (g.monitor != 0) ui::SetPanelAttribute(g.monitor, ui::ATTR_TITLE, std::string(title));
}

// One tick of the WaitForPorts timer, with events running meanwhile. A stop requested
// meanwhile (SIGTERM at start-up) ends the wait at once.
void waitOneTick() {
    if (g.timers.panel == 0 || !ui::CtrlExists(g.timers.panel, g.timers.waitForPorts)) {
        platform::Delay(1.0);
        return;
    }
    g.waitPending = true;
    ui::SetCtrlAttribute(g.timers.panel, g.timers.waitForPorts, ui::ATTR_ENABLED, 1);
    while (g.waitPending && !platform::loop().quitRequested()) platform::Delay(0.02);
    g.waitPending = false;
    ui::SetCtrlAttribute(g.timers.panel, g.timers.waitForPorts, ui::ATTR_ENABLED, 0);
}

void reportOpenFailure(int port, int result) {
    std::string name = comName(port);
    if (result == platform::kComInvalidPort) {
        ui::MessagePopup("Communications Error", name + " is an invalid port assignment.\n");
    } else if (result == platform::kComCannotOpen) {
        ui::MessagePopup("Communications Error", "Cannot open " + name +
                                                     ".  Check if this \nport is in use by "
                                                     "another program or device.\n");
    } else if (!g.settingsReportShown) {
        g.settingsReportShown = true;
        ui::MessagePopup("Communications Error", "One or more serial port settings are invalid.\n");
    }
}

void reportDuplicate(int port) {
    std::string p = std::to_string(port);
    ui::MessagePopup("Communications Error", "COM" + p +
                                                 " has been multiply assigned.  Duplicate\n"
                                                 "assignments of COM" +
                                                 p + " will not be opened.\n");
}

// The entry that holds the port open, other than `entry`; -1 when none does. An entry whose
// open failed or was refused keeps naming its port in ComPort, so only Mode tells who has it.
int holderOf(int port, int entry) {
    for (int j = 0; j < kTableSize; ++j)
        if (j != entry && PortConfig[j].Mode == 1 && PumpTable[j].ComPort == port) return j;
    return -1;
}

// Steps shared by the open-all pass and the single reopen: take the configured port,
// refuse a port another entry holds open, try to open with the attempts left, set the port
// up. The open-all pass opens entries in order after closing them all, so a lower entry
// keeps a port that a higher one repeats; a single reopen is refused by any holder, lower or
// higher, since two pumps on one port would hear each other's commands.
void openEntry(int entry, int& attempts, bool flushBeforeCallback) {
    if (attempts < 1) attempts = 1;
    PumpRecord& r = PumpTable[entry];
    if (entry < kPumpCount) r.ComPort = r.ConfiguredComPort;
    PortConfig[entry].Mode = 0;
    if (r.ComPort == 0) return;
    if (holderOf(r.ComPort, entry) >= 0) {
        reportDuplicate(r.ComPort);
        return;
    }
    r.SecondsSinceRx = 0.0f;

    int result = platform::kComInvalidPort;
    bool tried = false;
    bool opened = false;
    while (attempts > 0 && !platform::loop().quitRequested()) {
        tried = true;
        result = platform::OpenComConfig(r.ComPort, "", kBaud, kParityNone, kDataBits, kStopBits,
                                         kQueueSize, kQueueSize);
        if (result >= 0) {
            opened = true;
            if (flushBeforeCallback) platform::FlushInQ(r.ComPort);
            if (platform::InstallComCallback(r.ComPort, platform::kEventCharReceived, 0, 1,
                                             SerialReceiveCallback, nullptr) < 0)
                ui::MessagePopup("Error", "Could not assign callback for a serial port");
            break;
        }
        --attempts;
        if (attempts > 0) waitOneTick();
    }
    if (opened) {
        platform::SetXMode(r.ComPort, 0);
        platform::SetCTSMode(r.ComPort, 0);
        platform::SetComTime(r.ComPort, ComTimeout);
        platform::FlushInQ(r.ComPort);
        platform::FlushOutQ(r.ComPort);
        PortConfig[entry].Mode = 1;
        ReconnectRequest[entry] = 1;
    } else {
        // A stop (SIGTERM at start-up) ends the pass; a port never tried has nothing to report.
        if (tried) reportOpenFailure(r.ComPort, result);
        PortConfig[entry].Mode = 0;
    }
}

// A selector shows the port an entry holds; one that no longer exists is kept in the list,
// or reading the selectors back would move the pump to whatever port was listed first.
void fillSelector(int entry, int port) {
    int ctrl = PortConfig[entry].PortControl;
    if (port != 0) {
        bool listed = false;
        for (int i = 0; i < ui::GetNumListItems(g.monitor, ctrl); ++i) {
            ui::SetCtrlIndex(g.monitor, ctrl, i);
            if (ui::GetCtrlInt(g.monitor, ctrl) == port) listed = true;
        }
        if (!listed)
            ui::InsertListItem(g.monitor, ctrl, 0, std::to_string(port) + " (missing)", port);
    }
    ui::SetCtrlVal(g.monitor, ctrl, port);
}

void readSelectorsBack() {
    if (g.monitor == 0) return;
    for (int entry = 0; entry < kTableSize; ++entry) {
        int port = ui::GetCtrlInt(g.monitor, PortConfig[entry].PortControl);
        if (entry < kPumpCount)
            PumpTable[entry].ConfiguredComPort = port;
        else
            PumpTable[entry].ComPort = port;
    }
}

}  // namespace

void SetPortTimers(const PortTimers& timers) {
    g.timers = timers;
}

const PortTimers& GetPortTimers() {
    return g.timers;
}

void OpenAllPorts(int attempts) {
    PortsBusy = 1;
    g.settingsReportShown = false;
    setMonitorTitle("COM Port Setup - Closing ports");
    CloseAllPorts();
    platform::Delay(1.0);
    platform::ProcessSystemEvents();
    setMonitorTitle("COM Port Setup - Opening ports");
    // Entries are opened in order, so a lower entry keeps a port that a higher one repeats.
    for (int entry = 0; entry < kTableSize; ++entry) openEntry(entry, attempts, true);
    setMonitorTitle("COM Port Setup");
    RefreshPortIndicators();
    if (ComStartDelay < 2 || g.timers.panel == 0) {
        PortsBusy = 0;
    } else {
        ui::SetCtrlAttribute(g.timers.panel, g.timers.delayCom, ui::ATTR_ENABLED, 1);
    }
}

void CloseAllPorts() {
    for (int entry = 0; entry < kTableSize; ++entry) ClosePort(entry);
}

void ClosePort(int entry) {
    if (entry < 0 || entry >= kTableSize) return;
    // Mode is 1 exactly while this entry holds the port open. An entry that only names a
    // port (its open failed or was refused) must not close it under the pump that holds it.
    if (PortConfig[entry].Mode == 1 && PumpTable[entry].ComPort != 0)
        platform::CloseCom(PumpTable[entry].ComPort);
    PortConfig[entry].Mode = 0;
}

void Open_One_Com(int entry, int retries) {
    if (entry < 0 || entry >= kTableSize) return;
    setMonitorTitle("COM Port Setup - Closing port");
    ClosePort(entry);
    platform::Delay(1.0);
    platform::ProcessSystemEvents();
    setMonitorTitle("COM Port Setup - Opening port");
    int attempts = std::max(retries, 0) + 1;
    openEntry(entry, attempts, false);
    setMonitorTitle("COM Port Setup");
}

int WaitForPorts(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (g.waitPending) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
        g.waitPending = false;
    }
    return 0;
}

int SerialMonitorPanel() {
    return g.monitor;
}

void DiscardSerialWindow() {
    if (g.monitor != 0 && ui::PanelExists(g.monitor)) ui::DiscardPanel(g.monitor);
    g.monitor = 0;
}

void RefreshPortIndicators() {
    if (g.monitor == 0) return;
    for (int entry = 0; entry < kTableSize; ++entry) {
        bool open = PortConfig[entry].Mode == 1;
        ui::SetCtrlVal(g.monitor, PortConfig[entry].OpenLed, open ? 1 : 0);
        if (!open) ui::SetCtrlVal(g.monitor, PortConfig[entry].RxLed, 0);
    }
}

void Set_RX_LED(int entry, int on) {
    if (g.monitor == 0 || entry < 0 || entry >= kTableSize) return;
    if (!on) {
        ui::SetCtrlVal(g.monitor, PortConfig[entry].RxLed, 0);
    } else if (ui::GetCtrlInt(g.monitor, PortConfig[entry].OpenLed) != 0) {
        ui::SetCtrlVal(g.monitor, PortConfig[entry].RxLed, 1);
    }
}

void Show_Serial_Window(int, int, void*, int) {
    if (g.monitor != 0) ui::DiscardPanel(g.monitor);
    g.monitor = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_SERIAL_MONITOR);
    if (g.monitor <= 0) {
        g.monitor = 0;
        return;
    }
    for (int entry = 0; entry < kTableSize; ++entry) {
        PortConfig[entry].PortControl = windows::SerialPortCtrl(entry);
        PortConfig[entry].OpenLed = windows::SerialOpenLed(entry);
        PortConfig[entry].RxLed = windows::SerialRxLed(entry);
    }
    std::vector<int> existing = platform::ExistingComPorts();
    std::set<int> present(existing.begin(), existing.end());
    for (int entry = 0; entry < kTableSize; ++entry) {
        int ctrl = PortConfig[entry].PortControl;
        ui::ClearListCtrl(g.monitor, ctrl);
        for (int n = kHighestListedPort; n >= 1; --n)
            if (present.count(n)) ui::InsertListItem(g.monitor, ctrl, -1, std::to_string(n), n);
        ui::InsertListItem(g.monitor, ctrl, -1, "OFF", 0);
        fillSelector(entry, entry < kPumpCount ? PumpTable[entry].ConfiguredComPort
                                               : PumpTable[entry].ComPort);
    }
    ui::DisplayPanel(g.monitor);
    RefreshPortIndicators();
}

int Close_Serial_Window(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    readSelectorsBack();
    int panel = g.monitor;
    g.monitor = 0;
    if (panel != 0) {
        ui::HidePanel(panel);
        ui::DiscardPanel(panel);
    }
    return 0;
}

int Port_Changed(int, int control, int event, void*, int, int) {
    if (event != ui::EVENT_VAL_CHANGED || g.monitor == 0) return 0;
    int entry = -1;
    for (int i = 0; i < kTableSize; ++i)
        if (PortConfig[i].PortControl == control) entry = i;
    if (entry < 0) return 0;
    // Choosing again the port this entry holds open is no change: the pump stays on line.
    // Choosing again a port that failed to open tries it once more.
    const int current =
        entry < kPumpCount ? PumpTable[entry].ConfiguredComPort : PumpTable[entry].ComPort;
    if (ui::GetCtrlInt(g.monitor, control) == current && PortConfig[entry].Mode == 1) return 0;
    ClosePort(entry);
    if (entry < kPumpCount) {
        PumpWentOffline(entry);
        PumpTable[entry].Online = 0;
    }
    readSelectorsBack();
    Open_One_Com(entry, 0);
    RefreshPortIndicators();
    return 0;
}

void BindComCfgCallbacks() {
    windows::BindCtrlCallback("WaitForPorts", WaitForPorts);
    windows::BindCtrlCallback("Port_Changed", Port_Changed);
    windows::BindCtrlCallback("Close_Serial_Window", Close_Serial_Window);
    windows::BindMenuCallback("Show_Serial_Window", Show_Serial_Window);
}

void ResetComCfg() {
    DiscardSerialWindow();
    g = {};
    ComTimeout = 0.001;
    ComStartDelay = 0;
}

// ---------------------------------------------------------------- start delay

namespace {
std::uint32_t g_startDelayTicks = 0;  // ticks of the start-delay timer so far
}  // namespace

int DelayCom(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (++g_startDelayTicks >= ComStartDelay) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
        PortsBusy = 0;
        g_startDelayTicks = 0;
    }
    return 0;
}

void ResetStartDelay() {
    g_startDelayTicks = 0;
}

}  // namespace pumplink
