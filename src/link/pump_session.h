// The pump session: everything the link does for a pump between its port and the Pump Table.
// Bytes from the port go through the pump's frame assembler to the decoder and end the wait
// of its transmit queue; the session notices a pump coming on line (its first contact) and
// going off line (the watchdog), polls the pumps, writes what the queues hand over to the
// ports, and keeps the row flag that says which pumps take commands.
//
// The session knows nothing of the windows above it. Where it must reach up (a pump's row,
// a configuration dialog, the display units, the serial monitor's lamp) it calls the hooks
// the upper modules register at start-up; with no hook registered it falls back to the
// behaviour described at each hook.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "link/frame.h"
#include "link/pump_table.h"

namespace pumplink {

// More than this many bytes waiting on a port means the line is flooding: both queues are
// emptied rather than read.
constexpr int kMaxWaiting = 500;

struct LinkHooks {
    // The display's side of a pump going off line (dim 1) or coming back (dim 0): its row
    // dimmed or enabled, its detail view closed, the banks refreshed. When a pump goes off
    // line the live values are already cleared (Online is still 1); when it comes back the
    // hook runs before anything is sent to the pump.
    std::function<void(int dim, int pump)> bringFracOffline;
    // 0 US, 1 metric. None: US.
    std::function<int()> displayUnits;
    // Called on every reply that carries the block, with the replying entry and, for the
    // input blocks, the channel: each dialog shows only what came for its own pump and
    // channel. None: nothing.
    std::function<void(int entry, int channel)> showAiConfig;  // analog-input dialog
    // Motor-speed-control dialog. The limits (MaxRpm, MinRpm) are taken from the received
    // block after it, whatever the dialog does with its own copy.
    std::function<void(int entry)> showThrottleConfig;
    std::function<void(int entry, int channel)> showFiConfig;  // frequency-input dialog
    std::function<void(int entry)> showNetworkInfo;
    std::function<void(int entry)> showAlarmLimits;
    std::function<void(int entry)> showPumpConfig;  // pump-characteristics dialog
    // The entry's receive indicator in the serial monitor. None: nothing.
    std::function<void(int entry, int on)> setRxLed;
};
void SetLinkHooks(const LinkHooks& hooks);
const LinkHooks& GetLinkHooks();

// Whether the pump takes commands: its row is enabled exactly while it is on line. Every row
// starts dimmed; the session enables a pump's row when it comes on line and dims it when it
// goes off line. The display mirrors this flag on its rows (bringFracOffline).
bool PumpRowEnabled(int pump);
void SetPumpRowDimmed(int pump, bool dimmed);

// The receive callback every pump port is installed with (InstallComCallback).
void SerialReceiveCallback(int port, int eventMask, void* data);
// Reads what waits on the entry's port and runs it through the assembler.
void ReceivePackets(int entry);
// The assembler and what follows it, on bytes already read from the entry's port.
void AssembleBytes(int entry, std::span<const std::uint8_t> bytes);
// Acts on a complete, checked packet from the entry: a data reply is decoded, and any good
// packet ends the wait for the head of the entry's queue. True when it was a data reply.
bool DispatchPacket(int entry, std::span<const std::uint8_t> packet);

// Writes a packet the transmit queue hands over to the entry's port.
void TransmitPacket(int entry, std::span<const std::uint8_t> packet);

// Came-on-line handling: waiting connect polls dropped, row enabled, the time-outs to this
// pump, the alarm options to every pump on line, and the next data record adopts the motor's
// speed as the set-point.
void PumpCameOnline(int pump);
// Went-off-line handling: live values cleared, row dimmed. The caller clears Online.
void PumpWentOffline(int pump);
// The communication time-outs (Timeout1, Timeout2 from the settings store; 30 and 60 s when
// missing) to the pump.
void SendTimeouts(int pump);
// The alarm-options word to the pump, unless the same write already waits in its queue.
void SendAlarmOptions(int pump);
// Zeroes the pump's discharge pressure: reads the discharge channel, and its own reply, if it
// comes within two reply time-outs and the pump stays on line, writes the offset back.
void StartPressureZero(int pump);
// The poll of one pump: the connect poll when it is off line or asked to reconnect, else the
// data request. GetControlData polls every open port; a speed button polls its pump at once.
void PollPump(int pump);

// Timer callbacks. The watchdog takes a pump off line once more than kSilenceLimit seconds
// of silence have been counted; the poll asks pumps off line to connect and pumps on line
// for their data record; the network-information poll asks every open port.
int ComTimerTick(int panel, int control, int event, void* data, int e1, int e2);
int GetControlData(int panel, int control, int event, void* data, int e1, int e2);
int GetIdTimer(int panel, int control, int event, void* data, int e1, int e2);
constexpr float kSilenceLimit = 14.0f;

// Sees every packet the assembler accepts, just before it is dispatched (tests, traces).
// Null: none.
using PacketTap = void (*)(int entry, std::span<const std::uint8_t> packet);
void SetPacketTap(PacketTap tap);

// Start-of-run state of the session: every assembly hunting, no hooks, no tap, rows dimmed.
void ResetPumpSession();

}  // namespace pumplink
