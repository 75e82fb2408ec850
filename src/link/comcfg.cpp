#include "link/comcfg.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"

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
    bool holdReports = false;
    std::vector<std::pair<std::string, std::string>> heldReports;  // title, text
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

std::string entryName(int entry) {
    return entry < kPumpCount ? "pump " + std::to_string(entry + 1) : "output";
}

// A port lost under a running pump is an alarm until the port is back or the pump is given
// another: the pump may trip on its own communication time-out meanwhile.
std::string lostAlarmName(int port) {
    return comName(port) + " lost";
}

// The wait for a lost port ends: its alarm, if the pump was running, clears with text as its
// line. False when there was none.
bool clearLostAlarm(int entry, const std::string& text) {
    const PumpRecord& r = PumpTable[entry];
    const std::string name = lostAlarmName(r.ComPort);
    if (entry >= kPumpCount ||
        journal::StateOf(entry, journal::Kind::Link, name) == journal::AlarmState::Normal)
        return false;
    journal::ClearAlarm(entry, journal::Kind::Link, name, text.c_str());
    return true;
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

void report(const std::string& title, const std::string& text) {
    if (g.holdReports)
        g.heldReports.emplace_back(title, text);
    else
        ui::MessagePopup(title, text);
}

void reportOpenFailure(int port, int result) {
    std::string name = comName(port);
    if (result == platform::kComInvalidPort) {
        report("Communications Error", name + " is an invalid port assignment.\n");
    } else if (result == platform::kComCannotOpen) {
        report("Communications Error", "Cannot open " + name +
                                           ".  Check if this \nport is in use by "
                                           "another program or device.\n");
    } else if (!g.settingsReportShown) {
        g.settingsReportShown = true;
        report("Communications Error", "One or more serial port settings are invalid.\n");
    }
}

void reportDuplicate(int port) {
    std::string p = std::to_string(port);
    report("Communications Error", "COM" + p +
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

// The port an entry is given: a pump's from the port configuration, the output's its own.
int assignedPort(int entry) {
    return entry < kPumpCount ? PumpTable[entry].ConfiguredComPort : PumpTable[entry].ComPort;
}

// Whether the entry must leave its port alone: another entry holds it open, or a lower entry
// is given it. The lower entry keeps its assignment whether or not its own open succeeded, so
// a port that failed for it (or appears later) never goes to the pump behind it.
bool portTakenFrom(int entry, int port) {
    if (holderOf(port, entry) >= 0) return true;
    for (int j = 0; j < entry; ++j)
        if (assignedPort(j) == port) return true;
    return false;
}

// Opens a port with the link's settings and installs the receive callback.
int openWithCallback(int port, bool flushBeforeCallback) {
    const int result = platform::OpenComConfig(port, "", kBaud, kParityNone, kDataBits, kStopBits,
                                               kQueueSize, kQueueSize);
    if (result < 0) return result;
    if (flushBeforeCallback) platform::FlushInQ(port);
    if (platform::InstallComCallback(port, platform::kEventCharReceived, 0, 1,
                                     SerialReceiveCallback, nullptr) < 0)
        ui::MessagePopup("Error", "Could not assign callback for a serial port");
    return result;
}

// The rest of setting up a port just opened for the entry; its pump is then polled for
// first contact.
void setUpOpenedPort(int entry) {
    const int port = PumpTable[entry].ComPort;
    platform::SetXMode(port, 0);
    platform::SetCTSMode(port, 0);
    platform::SetComTime(port, ComTimeout);
    platform::FlushInQ(port);
    platform::FlushOutQ(port);
    // A packet cut off when the port closed must not swallow the first reply on it.
    PumpTable[entry].PortState.reset();
    PumpTable[entry].PortConfig.Mode = 1;
    PumpTable[entry].PortConfig.Lost = false;
    PumpTable[entry].ReconnectRequest = 1;
}

// Steps shared by the open-all pass and the single reopen: take the configured port,
// refuse a port another entry holds open, try to open with the attempts left, set the port
// up. A lower entry keeps a port that a higher one repeats, whether or not it could open it;
// a single reopen is refused besides by any holder, lower or higher, since two pumps on one
// port would hear each other's commands.
// False when the port was tried and did not open.
bool openEntry(int entry, int& attempts, bool flushBeforeCallback) {
    if (attempts < 1) attempts = 1;
    PumpRecord& r = PumpTable[entry];
    if (entry < kPumpCount) r.ComPort = r.ConfiguredComPort;
    PumpTable[entry].PortConfig.Mode = 0;
    PumpTable[entry].PortConfig.Lost = false;  // a new assignment ends the wait for the old
    if (r.ComPort == 0) return true;
    if (portTakenFrom(entry, r.ComPort)) {
        reportDuplicate(r.ComPort);
        return true;
    }
    r.SecondsSinceRx = 0.0f;

    int result = platform::kComInvalidPort;
    bool tried = false;
    bool opened = false;
    while (attempts > 0 && !platform::loop().quitRequested()) {
        tried = true;
        result = openWithCallback(r.ComPort, flushBeforeCallback);
        if (result >= 0) {
            opened = true;
            break;
        }
        --attempts;
        if (attempts > 0) waitOneTick();
    }
    if (opened) {
        setUpOpenedPort(entry);
    } else {
        // A stop (SIGTERM at start-up) ends the pass; a port never tried has nothing to report.
        if (tried) reportOpenFailure(r.ComPort, result);
        PumpTable[entry].PortConfig.Mode = 0;
    }
    return opened || !tried;
}

// A port that did not open when the ports were opened is waited for like a pulled one: the
// journal says so once, and the lost-port timer opens it when its adapter is there.
void waitForMissingPort(int entry) {
    PumpRecord& r = PumpTable[entry];
    r.PortConfig.Lost = true;
    const int pump = entry < kPumpCount ? entry : journal::kNoPump;
    journal::Record(pump, journal::Kind::Link,
                    comName(r.ComPort) + " not opened: " +
                        (pump != journal::kNoPump ? windows::PumpName(pump)
                                                  : std::string("Output")) +
                        "; tried again every " +
                        std::to_string(static_cast<int>(kPortRetrySeconds)) + " s");
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

void OpenAllPorts(PortReports reports) {
    PortsBusy = 1;
    g.holdReports = reports == PortReports::Held;
    g.settingsReportShown = false;
    tell(PortActivity::ClosingAll);
    bool anyOpen = false;
    for (int entry = 0; entry < kTableSize; ++entry)
        anyOpen = anyOpen || PumpTable[entry].PortConfig.Mode == 1;
    CloseAllPorts();
    // A port just closed is given a moment before it opens again; at start-up none was open.
    if (anyOpen) platform::Delay(1.0);
    platform::ProcessSystemEvents();
    tell(PortActivity::OpeningAll);
    // Entries are opened in order, so a lower entry keeps a port that a higher one repeats.
    // One try each: the lost-port timer keeps trying a port that is not there yet.
    for (int entry = 0; entry < kTableSize; ++entry) {
        int attempts = 1;
        if (!openEntry(entry, attempts, true)) waitForMissingPort(entry);
    }
    g.holdReports = false;
    tell(PortActivity::Done);
    if (ComStartDelay < 2 || g.timers.panel == 0) {
        PortsBusy = 0;
    } else {
        ui::SetCtrlAttribute(g.timers.panel, g.timers.delayCom, ui::ATTR_ENABLED, 1);
    }
}

void ShowHeldPortReports() {
    const auto reports = std::move(g.heldReports);
    g.heldReports.clear();
    for (const auto& [title, text] : reports) ui::MessagePopup(title, text);
}

void CloseAllPorts() {
    for (int entry = 0; entry < kTableSize; ++entry) ClosePort(entry);
}

void ClosePort(int entry) {
    if (entry < 0 || entry >= kTableSize) return;
    if (PumpTable[entry].PortConfig.Lost)
        clearLostAlarm(entry, "No longer waiting for " + comName(PumpTable[entry].ComPort));
    // Mode is 1 exactly while this entry holds the port open. An entry that only names a
    // port (its open failed or was refused) must not close it under the pump that holds it.
    if (PumpTable[entry].PortConfig.Mode == 1 && PumpTable[entry].ComPort != 0)
        platform::CloseCom(PumpTable[entry].ComPort);
    PumpTable[entry].PortConfig.Mode = 0;
    PumpTable[entry].PortConfig.Lost = false;
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

// ---------------------------------------------------------------- ports that come back

std::string DescribeLostCommand(int pump, const LostCommand& command) {
    if (command.run == 0) return "power-off";
    if (command.rpm <= 0) return "STOP";
    const std::string rpm = std::to_string(command.rpm) + " rpm";
    if (pump >= 0 && pump < kPumpCount && command.rpm <= TruncSafe(PumpTable[pump].MinRpm))
        return "idle (" + rpm + ")";
    return "speed command (" + rpm + ")";
}

bool PortLost(int port, const char* reason) {
    const int entry = holderOf(port, -1);
    if (entry < 0) return false;  // not a pump's or the output's (the E-stop input sees its own)
    PumpRecord& r = PumpTable[entry];
    r.PortConfig.Mode = 0;
    r.PortConfig.Lost = true;
    const int pump = entry < kPumpCount ? entry : journal::kNoPump;
    TRACE(link, "%s: %s lost: %s", entryName(entry).c_str(), comName(port).c_str(), reason);
    const std::string text = comName(port) + " lost (" + reason +
                             "): " + (pump != journal::kNoPump ? windows::PumpName(pump)
                                                                : std::string("Output"));
    if (pump != journal::kNoPump && r.Online != 0 && r.VfdOn != 0 && r.MotorRpm > 0.0f)
        journal::SetAlarm(pump, journal::Kind::Link, lostAlarmName(port), text);
    else
        journal::Record(pump, journal::Kind::Link, text);
    std::vector<LostCommand> undelivered;
    if (entry < kPumpCount) {
        undelivered = EmptyQueue(entry);
        for (const LostCommand& c : undelivered)
            journal::Record(
                pump, journal::Kind::Link,
                "Not delivered, " + comName(port) + " lost: " + DescribeLostCommand(entry, c));
        // Its row is dimmed already, or by going off line here.
        if (r.Online != 0) PumpWentOffline(entry);
        r.Online = 0;
    }
    if (g.hooks.lost) g.hooks.lost(entry, port, undelivered);
    return true;
}

int PortRetryTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK || PortsBusy != 0) return 0;
    for (int entry = 0; entry < kTableSize; ++entry) {
        PumpRecord& r = PumpTable[entry];
        if (!r.PortConfig.Lost) continue;
        const int port = r.ComPort;
        // Given meanwhile to an entry that holds it open: that entry's now.
        if (port == 0 || holderOf(port, entry) >= 0) {
            clearLostAlarm(entry, "No longer waiting for " + comName(port));
            r.PortConfig.Lost = false;
            continue;
        }
        if (openWithCallback(port, true) < 0) continue;
        if (!clearLostAlarm(entry, "Port back: " + comName(port)))
            journal::Record(entry < kPumpCount ? entry : journal::kNoPump, journal::Kind::Link,
                            "Port back: " + comName(port));
        setUpOpenedPort(entry);
        TRACE(link, "%s: %s back", entryName(entry).c_str(), comName(port).c_str());
        if (g.hooks.back) g.hooks.back(entry, port);
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
