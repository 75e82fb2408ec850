#include "link/comcfg.h"

#include <algorithm>
#include <string>

#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "platform/serial.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

namespace pumplink {

namespace {

constexpr long kBaud = 19200;
constexpr int kParityNone = 0;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kQueueSize = 4095;

struct ComCfgState {
    double ComTimeout = 0.001;
    std::uint32_t ComStartDelay = 0;
    PortTimers timers;
    PortHooks hooks;
    bool settingsReportShown = false;  // "settings are invalid" at most once per OpenAllPorts
    bool waitPending = false;
    std::uint32_t startDelayTicks = 0;  // ticks of the start-delay timer so far
    bool operator==(const ComCfgState&) const = default;
};
ComCfgState g;
}  // namespace

double& ComTimeout = g.ComTimeout;
std::uint32_t& ComStartDelay = g.ComStartDelay;

namespace {

std::string comName(int port) {
    return "COM" + std::to_string(port);
}

void tell(PortActivity activity) {
    if (g.hooks.activity) g.hooks.activity(activity);
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
        if (j != entry && PumpTable[j].PortConfig.Mode == 1 && PumpTable[j].ComPort == port)
            return j;
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
    PumpTable[entry].PortConfig.Mode = 0;
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
        PumpTable[entry].PortConfig.Mode = 1;
        PumpTable[entry].ReconnectRequest = 1;
    } else {
        // A stop (SIGTERM at start-up) ends the pass; a port never tried has nothing to report.
        if (tried) reportOpenFailure(r.ComPort, result);
        PumpTable[entry].PortConfig.Mode = 0;
    }
}

}  // namespace

void SetPortHooks(const PortHooks& hooks) {
    g.hooks = hooks;
}

void SetPortTimers(const PortTimers& timers) {
    g.timers = timers;
}

const PortTimers& GetPortTimers() {
    return g.timers;
}

void OpenAllPorts(int attempts) {
    PortsBusy = 1;
    g.settingsReportShown = false;
    tell(PortActivity::ClosingAll);
    CloseAllPorts();
    platform::Delay(1.0);
    platform::ProcessSystemEvents();
    tell(PortActivity::OpeningAll);
    // Entries are opened in order, so a lower entry keeps a port that a higher one repeats.
    for (int entry = 0; entry < kTableSize; ++entry) openEntry(entry, attempts, true);
    tell(PortActivity::Done);
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
    if (PumpTable[entry].PortConfig.Mode == 1 && PumpTable[entry].ComPort != 0)
        platform::CloseCom(PumpTable[entry].ComPort);
    PumpTable[entry].PortConfig.Mode = 0;
}

void Open_One_Com(int entry, int retries) {
    if (entry < 0 || entry >= kTableSize) return;
    tell(PortActivity::ClosingOne);
    ClosePort(entry);
    platform::Delay(1.0);
    platform::ProcessSystemEvents();
    tell(PortActivity::OpeningOne);
    int attempts = std::max(retries, 0) + 1;
    openEntry(entry, attempts, false);
    tell(PortActivity::Done);
}

int WaitForPorts(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (g.waitPending) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
        g.waitPending = false;
    }
    return 0;
}

void ResetComCfg() {
    g = {};
}
VNK_MODULE_STATE_RESET(link, comcfg, g, ResetComCfg)

// ---------------------------------------------------------------- start delay

int DelayCom(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (++g.startDelayTicks >= ComStartDelay) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
        PortsBusy = 0;
        g.startDelayTicks = 0;
    }
    return 0;
}

}  // namespace pumplink
