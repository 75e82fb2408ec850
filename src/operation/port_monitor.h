// The serial monitor ("COM Port Setup"): the window in which the operator assigns a port to
// each Pump Table entry and sees which ports are open and when bytes arrive or the data
// output line goes out; and the queue statistics read-outs of the /ShowStats option. It
// follows the link through the link's hooks and never keeps port state of its own: an
// entry's port and Mode stay in its pump record.
#pragma once

#include <span>

#include "link/comcfg.h"
#include "link/pump_session.h"

namespace operation {

void Show_Serial_Window(int menuBar, int item, void* data, int panel);
int Close_Serial_Window(int panel, int control, int event, void* data, int e1, int e2);
// A selector changed: the entry's pump goes off line and its port is reopened on the choice.
int Port_Changed(int panel, int control, int event, void* data, int e1, int e2);
// The entry's receive indicator; it lights only while the entry's port is shown open.
void Set_RX_LED(int entry, int on);
// The output entry's receive lamp shows transmit: on, it flashes for one tick of the
// TxTimerTick timer.
void SetTxLed(int on);
int TxTimerTick(int panel, int control, int event, void* data, int e1, int e2);
// The window's handle, 0 while it is not loaded.
int SerialMonitorPanel();
// Discards the window without reading its selectors back.
void DiscardSerialWindow();
// The open and receive indicators follow each entry's Mode.
void RefreshPortIndicators();

// The five read-outs (pumps 1-5) that show "max, average" of the reply times.
void SetStatsReadouts(int panel, std::span<const int, 5> controls);

// The monitor's answers to the link: the receive lamp into hooks (the rest of the link's
// hooks are the display's), and its own port and queue hooks.
void InstallPortMonitor(pumplink::LinkHooks& hooks);
void BindPortMonitorCallbacks();
// No window, no read-outs.
void ResetPortMonitor();

}  // namespace operation
