// The pump session: everything the link does for a pump between its port and the Pump Table.
// Bytes from the port go through the pump's frame assembler to the decoder and end the wait
// of its transmit queue; the session notices a pump coming on line (its first contact) and
// going off line (the watchdog), polls the pumps, writes what the queues hand over to the
// ports, and keeps the row flag that says which pumps take commands.
//
// The session builds no command of its own beyond the polls: what a pump's contact calls
// for is built by the operations (ContactCommands).
//
// The session knows nothing of the windows above it. Where it must reach up (a pump's row,
// a configuration dialog, the display units, the serial monitor's lamp) it calls the hooks
// the upper modules register at start-up; with no hook registered it falls back to the
// behaviour described at each hook.
#pragma once

#include <cstdint>
#include <span>

#include "link/frame.h"
#include "link/pump_table.h"
#include "platform/module_state.h"

namespace pumplink {

// More than this many bytes waiting on a port means the line is flooding: both queues are
// emptied rather than read.
constexpr int kMaxWaiting = 500;

struct LinkHooks {
    // The display's side of a pump going off line (dim 1) or coming back (dim 0): its row
    // dimmed or enabled, its detail view closed, the banks refreshed. When a pump goes off
    // line the live values are already cleared (Online is still 1); when it comes back the
    // hook runs before anything is sent to the pump.
    modstate::Hook<void(int dim, int pump)> bringFracOffline;
    // 0 US, 1 metric. None: US.
    modstate::Hook<int()> displayUnits;
    // Called on every reply that carries the block, with the replying entry and, for the
    // input blocks, the channel: each dialog shows only what came for its own pump and
    // channel. None: nothing.
    modstate::Hook<void(int entry, int channel)> showAiConfig;  // analog-input dialog
    // Motor-speed-control dialog. The limits (MaxRpm, MinRpm) are taken from the received
    // block after it, whatever the dialog does with its own copy.
    modstate::Hook<void(int entry)> showThrottleConfig;
    modstate::Hook<void(int entry, int channel)> showFiConfig;  // frequency-input dialog
    modstate::Hook<void(int entry)> showNetworkInfo;
    modstate::Hook<void(int entry)> showAlarmLimits;
    modstate::Hook<void(int entry)> showPumpConfig;  // pump-characteristics dialog
    // The entry's receive indicator in the serial monitor. None: nothing.
    modstate::Hook<void(int entry, int on)> setRxLed;
    // The serial data output line has gone out. None: nothing.
    modstate::Hook<void()> outputSent;

    bool operator==(const LinkHooks&) const = default;
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

// The commands a pump's contact calls for, built by the operations, which install them as
// the link is reset. None: nothing is sent.
struct ContactCommands {
    // The pump has come on line (its row is enabled): what it must be told.
    void (*cameOnline)(int pump) = nullptr;
    // After the whole read that brought the pump on line: what the station asks it.
    void (*firstContactRead)(int entry) = nullptr;
    // The discharge channel's block of a pressure zero came back zeroed (in AiConfig).
    void (*pressureZeroRead)(int entry) = nullptr;
};
void SetContactCommands(const ContactCommands& commands);

// Came-on-line handling: waiting connect polls dropped, row enabled, the contact commands,
// and the next data record adopts the motor's speed as the set-point.
void PumpCameOnline(int pump);
// Went-off-line handling: live values cleared, row dimmed. The caller clears Online.
void PumpWentOffline(int pump);
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

// Start-of-run state of the session: no hooks, no tap. (The receive assembly and the row
// flags are each pump record's and start again with the Pump Table.)
void ResetPumpSession();

}  // namespace pumplink
