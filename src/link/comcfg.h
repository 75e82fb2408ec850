// The pump ports: opening and closing the COM ports assigned to Pump Table entries with
// the link's fixed settings, refusing duplicate assignments, retrying ports that will not
// open yet, and taking in ports whose adapter was pulled: reported, tried again every 2 s,
// reopened when they return. The serial monitor above the link follows what the ports do
// through the hooks it registers here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/tx_queue.h"
#include "platform/module_state.h"

namespace pumplink {

// The serial library's read/write time-out in use (every start uses 0.001 s).
extern double& ComTimeout;
// Ticks of the start-delay timer during which the ports stay blocked after opening.
extern std::uint32_t& ComStartDelay;

// The window that holds the WaitForPorts, DelayCom and TxTimerTick timers ("Pumps 1-8"),
// and their control ids.
struct PortTimers {
    int panel = 0;
    int waitForPorts = 0;
    int delayCom = 0;
    int txFlash = 0;
    bool operator==(const PortTimers&) const = default;
};
void SetPortTimers(const PortTimers& timers);
const PortTimers& GetPortTimers();

// What the ports are doing, for the serial monitor's title.
enum class PortActivity : std::uint8_t { ClosingAll, OpeningAll, ClosingOne, OpeningOne, Done };
// A lost port's speed commands that did not reach the pump (see EmptyQueue).
using LostCommand = UndeliveredSpeed;
struct PortHooks {
    // Before each step of opening ports and when done. None: nothing.
    modstate::Hook<void(PortActivity activity)> activity;
    // The entry's port was lost (its pump already off line and its row dimmed), with the
    // speed commands it did not deliver; and the port is back (first contact follows).
    // None: the journal alone tells.
    modstate::Hook<void(int entry, int port, const std::vector<LostCommand>& undelivered)> lost;
    modstate::Hook<void(int entry, int port)> back;
    bool operator==(const PortHooks&) const = default;
};
// Installed at start-up; a reset removes them.
void SetPortHooks(const PortHooks& hooks);

// Opens every entry's port (pumps from ConfiguredComPort, the output entry from its
// ComPort), one try each: a port that does not open is reported once and left to the
// lost-port timer (PortRetryTimer), so a missing adapter holds up neither start-up nor the
// other pumps. Ports stay blocked (PortsBusy) until done, or until the start delay has
// passed. Held: the reports (message boxes that wait for the operator) are kept for
// ShowHeldPortReports instead of being shown as each port is tried, so that start-up brings
// the link up before anybody answers them.
enum class PortReports { Shown, Held };
void OpenAllPorts(PortReports reports = PortReports::Shown);
// The reports OpenAllPorts held, shown now, in the order the ports were tried.
void ShowHeldPortReports();
void CloseAllPorts();
// Reopens one entry's port with up to retries + 1 tries; refused when another entry holds
// that port open.
void Open_One_Com(int entry, int retries);
// Closes the entry's port if this entry holds it open (Mode 1); the entry is closed after.
void ClosePort(int entry);

// Timer callback: one tick of the wait between two tries to open a port.
int WaitForPorts(int panel, int control, int event, void* data, int e1, int e2);

// A port whose device went away (the serial back end's report): the entry that held it open
// is closed and marked Lost, its pump taken off line, its queue emptied and every speed
// command in it reported as not delivered. The loss is one journal line naming what the port
// served ("COM5 lost (hang-up): Pump 3A"); true then. A port no entry holds is left alone
// (false: the E-stop input's port, say, keeps the serial back end's own line).
bool PortLost(int port, const char* reason);
// Timer callback, every kPortRetrySeconds: each lost port (pulled, or not there when the
// ports were opened) is tried once, quietly; one that opens is set up as at start-up and its
// pump polled for first contact.
int PortRetryTimer(int panel, int control, int event, void* data, int e1, int e2);
constexpr double kPortRetrySeconds = 2.0;
// How the journal and the operator's message name a command that was not delivered:
// "power-off", "STOP", "idle (600 rpm)" or "speed command (1500 rpm)".
std::string DescribeLostCommand(int pump, const LostCommand& command);

// Start-of-run state: no timers, no hooks, default time-out, no start delay.
void ResetComCfg();

// Tick of the start-delay timer: after ComStartDelay ticks it stops and lets the ports work
// (PortsBusy cleared).
int DelayCom(int panel, int control, int event, void* data, int e1, int e2);

}  // namespace pumplink
