#include "operation/port_monitor.h"

#include <array>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "link/serial_output.h"
#include "link/tx_queue.h"
#include "operation/panels.h"
#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "platform/serial.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/serial_monitor.h"
#include "ui/windows/window_support.h"

namespace operation {

using namespace pumplink;

namespace {

constexpr int kHighestListedPort = 200;
constexpr int kStatsReadouts = 5;

struct MonitorState {
    int monitor = 0;  // serial-monitor window, 0 when not loaded
    int statsPanel = 0;
    std::array<int, kStatsReadouts> statsControls{};
    bool operator==(const MonitorState&) const = default;
};
MonitorState g;

const char* titleOf(PortActivity activity) {
    switch (activity) {
        case PortActivity::ClosingAll:
            return "COM Port Setup - Closing ports";
        case PortActivity::OpeningAll:
            return "COM Port Setup - Opening ports";
        case PortActivity::ClosingOne:
            return "COM Port Setup - Closing port";
        case PortActivity::OpeningOne:
            return "COM Port Setup - Opening port";
        case PortActivity::Done:
            break;
    }
    return "COM Port Setup";
}

void portActivity(PortActivity activity) {
    if (g.monitor == 0) return;
    ui::SetPanelAttribute(g.monitor, ui::ATTR_TITLE, std::string(titleOf(activity)));
    if (activity == PortActivity::Done) RefreshPortIndicators();
}

void showStats() {
    if (g.statsPanel == 0) return;
    for (int i = 0; i < kStatsReadouts; ++i) {
        const QueueStatsRecord& s = QueueStats(i);
        char text[64];
        std::snprintf(text, sizeof text, "%0.3f, %0.3f", s.Maximum, s.Average);
        ui::SetCtrlVal(g.statsPanel, g.statsControls[static_cast<std::size_t>(i)], text);
    }
}

int configuredPort(int entry) {
    return entry < kPumpCount ? PumpTable[entry].ConfiguredComPort : PumpTable[entry].ComPort;
}

// A selector shows the port an entry holds; one that no longer exists is kept in the list,
// or reading the selectors back would move the pump to whatever port was listed first.
void fillSelector(int entry, int port) {
    const int ctrl = PumpTable[entry].PortConfig.PortControl;
    if (port != 0) {
        bool listed = false;
        for (int i = 0; i < ui::GetNumListItems(g.monitor, ctrl); ++i) {
            ui::SetCtrlIndex(g.monitor, ctrl, i);
            if (ui::GetCtrlInt(g.monitor, ctrl) == port) listed = true;
        }
        if (!listed)
            ui::InsertListItem(g.monitor, ctrl, 0, "COM" + std::to_string(port) + " (missing)",
                               port);
    }
    ui::SetCtrlVal(g.monitor, ctrl, port);
}

// Each selector lists the ports that exist now: a port that was missing when the window
// opened and has come back since is listed as any other.
void fillSelectors() {
    const std::vector<int> existing = platform::ExistingComPorts();
    const std::set<int> present(existing.begin(), existing.end());
    for (int entry = 0; entry < kTableSize; ++entry) {
        const int ctrl = PumpTable[entry].PortConfig.PortControl;
        ui::ClearListCtrl(g.monitor, ctrl);
        for (int n = kHighestListedPort; n >= 1; --n)
            if (present.count(n))
                ui::InsertListItem(g.monitor, ctrl, -1, "COM" + std::to_string(n), n);
        ui::InsertListItem(g.monitor, ctrl, -1, "OFF", 0);
        fillSelector(entry, configuredPort(entry));
    }
}

void readSelectorsBack() {
    if (g.monitor == 0) return;
    for (int entry = 0; entry < kTableSize; ++entry) {
        const int port = ui::GetCtrlInt(g.monitor, PumpTable[entry].PortConfig.PortControl);
        if (entry < kPumpCount)
            PumpTable[entry].ConfiguredComPort = port;
        else
            PumpTable[entry].ComPort = port;
    }
}

bool shownOpen(int entry) {
    return ui::GetCtrlInt(g.monitor, PumpTable[entry].PortConfig.OpenLed) != 0;
}

}  // namespace

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
        const PortConfigRecord& c = PumpTable[entry].PortConfig;
        ui::SetCtrlVal(g.monitor, c.OpenLed, c.Mode == 1 ? 1 : 0);
        if (c.Mode != 1) ui::SetCtrlVal(g.monitor, c.RxLed, 0);
        ui::SetCtrlAttribute(g.monitor, windows::SerialStatus(entry), ui::ATTR_VISIBLE,
                             c.Lost ? 1 : 0);
    }
}

void Set_RX_LED(int entry, int on) {
    if (g.monitor == 0 || entry < 0 || entry >= kTableSize) return;
    const int led = PumpTable[entry].PortConfig.RxLed;
    if (!on)
        ui::SetCtrlVal(g.monitor, led, 0);
    else if (shownOpen(entry))
        ui::SetCtrlVal(g.monitor, led, 1);
}

void SetTxLed(int on) {
    if (g.monitor == 0) return;
    const int led = PumpTable[kOutputEntry].PortConfig.RxLed;
    if (!on) {
        ui::SetCtrlVal(g.monitor, led, 0);
    } else if (shownOpen(kOutputEntry)) {
        ui::SetCtrlVal(g.monitor, led, 1);
        const PortTimers& timers = GetPortTimers();
        if (timers.panel != 0)
            ui::SetCtrlAttribute(timers.panel, timers.txFlash, ui::ATTR_ENABLED, 1);
    }
    platform::ProcessDrawEvents();
}

int TxTimerTick(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    SetTxLed(0);
    return 0;
}

void Show_Serial_Window(int, int, void*, int) {
    if (g.monitor != 0) ui::DiscardPanel(g.monitor);
    g.monitor = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_SERIAL_MONITOR);
    if (g.monitor <= 0) {
        g.monitor = 0;
        return;
    }
    for (int entry = 0; entry < kTableSize; ++entry) {
        PortConfigRecord& c = PumpTable[entry].PortConfig;
        c.PortControl = windows::SerialPortCtrl(entry);
        c.OpenLed = windows::SerialOpenLed(entry);
        c.RxLed = windows::SerialRxLed(entry);
    }
    fillSelectors();
    ui::DisplayPanel(g.monitor);
    RefreshPortIndicators();
}

int Close_Serial_Window(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    readSelectorsBack();
    const int panel = g.monitor;
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
        if (PumpTable[i].PortConfig.PortControl == control) entry = i;
    if (entry < 0) return 0;
    // Choosing again the port this entry holds open is no change: the pump stays on line.
    // Choosing again a port that failed to open tries it once more.
    if (ui::GetCtrlInt(g.monitor, control) == configuredPort(entry) &&
        PumpTable[entry].PortConfig.Mode == 1)
        return 0;
    ClosePort(entry);
    if (entry < kPumpCount) {
        PumpWentOffline(entry);
        PumpTable[entry].Online = 0;
    }
    readSelectorsBack();
    Open_One_Com(entry, 0);
    RefreshPortIndicators();
    if (entry < kPumpCount) ShowRowPortState(entry);
    return 0;
}

void SetStatsReadouts(int panel, std::span<const int, 5> controls) {
    g.statsPanel = panel;
    std::copy(controls.begin(), controls.end(), g.statsControls.begin());
}

namespace {

// A pulled adapter: its pump's row and the monitor say so, and what it did not deliver is
// told at once, since the operator may believe the pump stopped.
void portLost(int entry, int port, const std::vector<LostCommand>& undelivered) {
    if (g.monitor != 0) fillSelectors();  // the port listed as missing
    RefreshPortIndicators();
    if (entry >= kPumpCount) return;
    ShowRowPortState(entry);
    if (undelivered.empty()) return;
    std::string lost;
    for (const LostCommand& c : undelivered)
        lost += (lost.empty() ? "" : ", ") + DescribeLostCommand(entry, c);
    ui::MessagePopup("Port Lost", "COM" + std::to_string(port) + " of " + windows::PumpName(entry) +
                                      " was lost.\nNot delivered: " + lost + ".");
}

void portBack(int entry, int) {
    if (g.monitor != 0) fillSelectors();  // listed again as any other
    RefreshPortIndicators();
    if (entry < kPumpCount) ShowRowPortState(entry);
}

}  // namespace

void InstallPortMonitor(LinkHooks& hooks) {
    hooks.setRxLed = Set_RX_LED;
    hooks.outputSent = [] { SetTxLed(1); };
    SetPortHooks({portActivity, portLost, portBack});
    SetStatsShown(showStats);
}

void BindPortMonitorCallbacks() {
    windows::BindCtrlCallback("Port_Changed", Port_Changed);
    windows::BindCtrlCallback("Close_Serial_Window", Close_Serial_Window);
    windows::BindMenuCallback("Show_Serial_Window", Show_Serial_Window);
    windows::BindCtrlCallback("TxTimerTick", TxTimerTick);
}

void ResetPortMonitor() {
    DiscardSerialWindow();
    g = {};
}
VNK_MODULE_STATE_RESET(operation, port_monitor, g, ResetPortMonitor)

}  // namespace operation
