// What the pump link says and hears: the decoder of every data reply (into the Pump Table
// and the shared configuration buffers, with the derived values and the metric conversion
// done in place), the communication watchdog, what happens when a pump comes on or goes off
// line, and the operations through which the rest of the station commands the pumps.
//
// The link knows nothing of the windows above it. Where it must reach up (a pump's row,
// a configuration dialog, the detail view, pump groups, the display units) it calls the
// hooks the upper modules register at start-up; with no hook registered it falls back to
// the behaviour described at each hook.
#pragma once

#include <cstdint>
#include <functional>

#include "link/pump_table.h"

// ---- shared configuration buffers: the block last read from or written to a pump ----
constexpr int kAiConfigSize = 44;      // analog-input and throttle configuration
constexpr int kFiConfigSize = 40;      // frequency-input configuration
constexpr int kAlarmLimitsSize = 128;  // 16 pairs of f32 alarm set-points
constexpr int kAlarmOptionsSize = 2;   // the optional-trip switches
constexpr int kDataRecordSize = 88;
constexpr int kPumpIdSize = 9;
constexpr int kNetworkTextSpan = 17;  // the text sits in the last 17 bytes of reply 0x08
extern std::uint8_t AiConfig[kAiConfigSize];
extern std::uint8_t FiConfig[kFiConfigSize];
extern std::uint8_t AlarmLimits[kAlarmLimitsSize];
extern std::uint8_t AlarmOptions[kAlarmOptionsSize];

// ---- hooks registered by the upper layers ----
struct LinkHooks {
    // The display's side of a pump going off line (dim 1) or coming back (dim 0): its row
    // dimmed or enabled, its detail view closed, the banks refreshed. When a pump goes off
    // line the live values are already cleared (Online is still 1); when it comes back
    // the hook runs first, so that the row is enabled before the link sends to the pump.
    // The link's own row flags (see PumpRowEnabled) follow the pump either way.
    std::function<void(int dim, int pump)> bringFracOffline;
    // Whether the pump's row takes operations (its first control is not dimmed).
    // None: the link's own row flags.
    std::function<bool(int pump)> rowEnabled;
    // 0 US, 1 metric. None: US.
    std::function<int()> displayUnits;
    // The pump shown in the detail view, 255 when closed. None: 255.
    std::function<int()> currentPump;
    // Called on every reply that carries the block; each shows it only when its dialog is
    // open. None: nothing.
    std::function<void()> showAiConfig;        // analog-input dialog, reply 0x01
    std::function<void()> showThrottleConfig;  // motor-speed-control panel, reply 0x02
    std::function<void()> showFiConfig;        // frequency-input dialog, reply 0x03
    std::function<void(int pump)> showNetworkInfo;
    std::function<void()> showAlarmLimits;
    std::function<void(int pump)> showPumpConfig;  // pump-characteristics panel, reply 0x1B
    // A speed step for a pump that is in a group. None: the step is not sent.
    std::function<void(int pump, int step)> groupSpeedStep;
    // The entry's receive indicator in the serial monitor. None: nothing.
    std::function<void(int entry, int on)> setRxLed;
};
void SetLinkHooks(const LinkHooks& hooks);
const LinkHooks& GetLinkHooks();

// The link's own row flags, used while the display has not registered rowEnabled: every
// row starts dimmed (no pump is on line) and follows the pump on and off line.
bool PumpRowEnabled(int pump);
void SetPumpRowDimmed(int pump, bool dimmed);

// ---- decoding ----
// Decodes a data reply; data holds the length bytes after the header. Always 1.
int DecodeDataReply(int entry, int code, int argument1, int length, const std::uint8_t* data);
// A good packet of any kind came from the entry: its silence starts again.
void NoteGoodPacket(int entry);
// Came-on-line handling: row enabled, time-outs to this pump, alarm options to every
// pump, and the next data record adopts the motor's speed as the set-point.
void PumpCameOnline(int pump);
// Went-off-line handling: live values cleared, row dimmed. The caller clears Online.
void PumpWentOffline(int pump);
// Communication watchdog (timer callback): a pump goes off line once more than 14.0 s of
// silence have been counted.
int ComTimerTick(int panel, int control, int event, void* data, int e1, int e2);
constexpr float kSilenceLimit = 14.0f;

// ---- operations ----
enum PumpOperation {
    OpIdle = 0x16,
    OpClearTotals = 0x24,
    OpZeroPressure = 0x27,
    OpSpeedStep = 0x33,
    OpResetVfdFault = 0x34,
    OpSetTripPressure = 0x36,
    OpResetAlarms = 0x3C,
    OpSendTimeouts = 0x3D,
    OpSendAlarmOptions = 0x3E,
    OpShutdownOverride = 0x3F,
    OpWriteAiConfig = 0x40,
    OpReadAiConfig = 0x41,
    OpWriteFiConfig = 0x42,
    OpReadFiConfig = 0x43,
    OpWritePumpConfigA = 0x44,
    OpReadPumpConfig = 0x45,
    OpWritePumpConfigB = 0x46,
    OpReadPumpConfig2 = 0x47,
    OpWriteAlarmLimit = 0x48,
    OpReadAlarmLimits = 0x49,
    OpWriteThrottleConfig = 0x4A,
    OpReadThrottleConfig = 0x4B,
    OpReadAlarmOptions = 0x58,
    OpReadPumpId = 0x80,
    OpWritePumpId = 0x81,
};

// Speed steps of OpSpeedStep.
enum SpeedStep {
    kStepStop = 0,
    kStepUpSmall = 1,
    kStepUpLarge = 2,
    kStepDownSmall = 3,
    kStepDownLarge = 4,
    kStepIdle = -1,
};

// Runs the operation for pump 0-23, or for every pump when pump is -1, but only for pumps
// whose row is enabled; others are skipped without notice. data/length: what the
// operation takes (an i32 step or channel, an f32 pressure, a byte block); an operation
// given less data than it needs sends nothing.
void SendPumpCommand(int pump, int operation, const void* data, int length);
// The speed step of a pump in no group; a grouped pump's step goes to the group handler.
void Send_RPM_Request(int pump, int step);

// The pump's SpeedCommand as it stands, straight to its port (a pump that has a port, on
// line or not): the power switches. Run 0 latches the power-off (PowerOffCommanded).
void SendSpeedCommandNow(int pump);
// Idle for a pump whose port is open, whether or not it is on line (the emergency stop):
// down to its idle speed, never up, ahead of any waiting connect polls.
void IdleOpenPump(int pump);
// Idle all (inline overpressure): idles every pump now and starts the TmrOpTrip timer,
// which idles them twice more and stops itself.
void IdleAllPumps();
void SetOpTripTimer(int panel, int control);
int TmrOpTrip(int panel, int control, int event, void* data, int e1, int e2);

// The detail view's drive-fault reset: a confirmed reset locks the reset buttons for 120 s.
struct VfdResetControls {
    int timer = 0;                 // timer control on the same panel as the buttons
    int buttons[kPumpCount] = {};  // the per-pump reset buttons it unlocks
};
void SetVfdResetControls(const VfdResetControls& controls);
int ResetVfdFault(int panel, int control, int event, void* data, int e1, int e2);
int ResetTimerCallback(int panel, int control, int event, void* data, int e1, int e2);
constexpr double kVfdResetLockSeconds = 120.0;

// Start-of-run state of this module: buffers zero, no hooks, rows dimmed.
void ResetSerialInterface();
// Every link module and the Pump Table back to the start of a run, with the transmit
// queues created (as start-up leaves them before the ports open).
void ResetLink();
