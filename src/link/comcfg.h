// The pump ports: assigning COM ports to Pump Table entries, opening and closing them with
// the link's fixed settings, refusing duplicate assignments, retrying ports that will not
// open yet, and the serial-monitor window ("COM Port Setup") in which the operator
// assigns ports and sees which are open and when bytes arrive.
#pragma once

#include <cstdint>

namespace pumplink {

// The serial library's read/write time-out in use (every start uses 0.001 s).
extern double ComTimeout;
// Ticks of the start-delay timer during which the ports stay blocked after opening.
extern std::uint32_t ComStartDelay;

// The window that holds the WaitForPorts, DelayCom and TxTimerTick timers ("Pumps 1-8"),
// and their control ids.
struct PortTimers {
    int panel = 0;
    int waitForPorts = 0;
    int delayCom = 0;
    int txFlash = 0;
};
void SetPortTimers(const PortTimers& timers);
const PortTimers& GetPortTimers();

// Opens every entry's port (pumps from ConfiguredComPort, the output entry from its
// ComPort), with up to `attempts` tries shared by all entries; ports stay blocked
// (PortsBusy) until done, or until the start delay has passed.
void OpenAllPorts(int attempts);
void CloseAllPorts();
// Reopens one entry's port with up to retries + 1 tries; refused when another entry holds
// that port open.
void Open_One_Com(int entry, int retries);
// Closes the entry's port if this entry holds it open (Mode 1); the entry is closed after.
void ClosePort(int entry);

// Timer callback: one tick of the wait between two tries to open a port.
int WaitForPorts(int panel, int control, int event, void* data, int e1, int e2);

// The serial-monitor window.
void Show_Serial_Window(int menuBar, int item, void* data, int panel);
int Close_Serial_Window(int panel, int control, int event, void* data, int e1, int e2);
int Port_Changed(int panel, int control, int event, void* data, int e1, int e2);
void Set_RX_LED(int entry, int on);
// The window's handle, 0 while it is not loaded.
int SerialMonitorPanel();
// Discards the window without reading its selectors back.
void DiscardSerialWindow();
// The open and receive indicators follow each entry's Mode.
void RefreshPortIndicators();

// The callback names the window definitions use.
void BindComCfgCallbacks();
// Start-of-run state: no window, no timers, default time-out, no start delay.
void ResetComCfg();

// Tick of the start-delay timer: after ComStartDelay ticks it stops and lets the ports work
// (PortsBusy cleared).
int DelayCom(int panel, int control, int event, void* data, int e1, int e2);
// No start-delay tick counted yet.
void ResetStartDelay();

}  // namespace pumplink
