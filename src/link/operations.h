// The operations through which the rest of the station commands the pumps: what each one
// puts on the wire, the speed step and its limits, and idle-all. An operation goes to one
// pump (0-23) or to every pump (kAllPumps), but only to pumps whose row is enabled (see
// PumpRowEnabled); others are skipped without notice.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "link/protocol.h"
#include "platform/module_state.h"

namespace pumplink {

constexpr int kAllPumps = -1;

// Operations that carry no data of their own.
enum class Op : std::uint8_t {
    Idle,  // the speed command down to the idle speed, never up, ahead of waiting polls
    ClearTotals,
    ZeroPressure,  // reads the discharge channel; its reply writes the offset back
    ResetVfdFault,
    ResetAlarms,
    SendTimeouts,
    SendAlarmOptions,
    ReadPumpConfig,
    ReadAlarmLimits,
    ReadThrottleConfig,
    ReadAlarmOptions,
    ReadPumpId,
};

enum class SpeedStep : std::int8_t {
    Idle = -1,  // down to the idle speed, never up
    Stop = 0,
    UpSmall = 1,
    UpLarge = 2,
    DownSmall = 3,
    DownLarge = 4,
};

// The operations with data, one payload type each. Floats and block bytes go on the wire as
// they are given; channels and codes are the controller's numbers.
struct TripPressureWrite {
    float psi = 0.0f;  // truncated into the pump's configuration block, then read back
};
struct ShutdownOverride {
    std::uint8_t on = 0;
};
struct AiConfigRead {
    std::uint8_t channel = 0;
};
struct FiConfigRead {
    std::uint8_t channel = 0;
};
// Into AiConfig: the four coefficients and the two values after them, and the option byte.
struct AiConfigWrite {
    std::uint8_t channel = 0;
    std::array<float, 4> coefficients{};
    float high = 0.0f;  // block bytes 28-31
    float low = 0.0f;   // block bytes 32-35
    std::uint8_t option = 0;
};
struct FiConfigWrite {
    std::uint8_t channel = 0;
    std::uint8_t option = 0;
    float pulsesPerRev = 0.0f;
};
struct PumpGeometryWrite {
    float plungerDiameter = 0.0f;  // inches
    float stroke = 0.0f;           // inches
    std::uint8_t plungers = 0;
};
struct PumpEfficiencyWrite {
    float efficiency = 0.0f;
    float gearRatio = 0.0f;
};
// One set-point pair of the alarm-limits block, in block order.
struct AlarmLimitWrite {
    std::uint8_t code = 0;
    float first = 0.0f;
    float second = 0.0f;
};
// The speed limits and the two scaling values into the throttle block (AiConfig); the
// pump's configuration and its throttle block (so its speed limits) are read back after.
struct ThrottleConfigWrite {
    float minRpm = 0.0f;  // as the block holds them: a value left alone goes back bit for bit
    float maxRpm = 0.0f;
    float scale1 = 0.0f;
    float scale2 = 0.0f;
};
struct PumpIdWrite {
    std::array<char, kPumpIdSize> id{};
};

void SendPumpCommand(int pump, Op op);
void SendPumpCommand(int pump, SpeedStep step);
void SendPumpCommand(int pump, const TripPressureWrite& write);
void SendPumpCommand(int pump, const ShutdownOverride& request);
void SendPumpCommand(int pump, const AiConfigRead& read);
void SendPumpCommand(int pump, const FiConfigRead& read);
void SendPumpCommand(int pump, const AiConfigWrite& write);
void SendPumpCommand(int pump, const FiConfigWrite& write);
void SendPumpCommand(int pump, const PumpGeometryWrite& write);
void SendPumpCommand(int pump, const PumpEfficiencyWrite& write);
void SendPumpCommand(int pump, const AlarmLimitWrite& write);
void SendPumpCommand(int pump, const ThrottleConfigWrite& write);
void SendPumpCommand(int pump, const PumpIdWrite& write);

// The speed step of a pump in no group; a grouped pump's step goes to the group handler.
void Send_RPM_Request(int pump, SpeedStep step);

// The communication time-out (s) the station last wrote to the pump this run (at its first
// contact): without the station it trips that long after its last packet. None before one
// was written.
std::optional<std::uint32_t> CommTimeoutWritten(int pump);

// What became of a speed command.
enum class SpeedResult : std::uint8_t {
    Sent,              // queued for the pump
    RefusedHeld,       // a raise, and the raise gate (an E-stop, the inline trip) held it back
    RefusedNoCeiling,  // a raise, and the pump's MaxRpm is not a known finite speed
    NotSent,           // no such pump, or its row is dimmed (not on line)
};

// What holds a raise back: for the whole fleet an emergency stop, or the inline overpressure
// trip from its trip until a reading below its value; for one pump, another unit answering on
// its port until the operator confirms it (port_identity.h).
enum class RaiseHold : std::uint8_t { None, EStop, InlineOverpressure, UnitUnconfirmed };
// The journal's name of a hold: "E-stop", "inline overpressure", "another unit on its port"
// ("" for none).
const char* RaiseHoldText(RaiseHold hold);

// A speed command raises the pump when its speed is above the present command (the pump's
// RpmSetpoint), whichever button or controller asked for it. A raise goes only to a pump
// whose MaxRpm is finite and above 0 (else the refusal hook, and its limits are asked for)
// and only while the gate holds nothing back; with no gate installed nothing is raised. The
// gate is safety's, installed at start-up: it names what holds the fleet; a pump whose unit is
// not confirmed is held besides.
using RaiseGate = RaiseHold (*)(int pump);
void SetRaiseGate(RaiseGate gate);
bool RaiseGateInstalled();
// What holds the pump's raises now: the gate's hold, else the pump's own (None without a gate
// and without the pump's own: the refusal is then the link's).
RaiseHold RaiseHeld(int pump);
// Where a raise refused for want of a known maximum speed is said: on the window the
// operator pressed (operation's, installed at start-up). None: a message says it.
using CeilingRefusal = void (*)(int pump);
void SetCeilingRefusal(CeilingRefusal show);
// Whether this step would send the pump a speed above its present command. A step down, a
// STOP and an idle never do: their speed is never above the present command.
bool StepRaises(int pump, SpeedStep step);
// A speed of the station's own choosing for one pump whose row is enabled (automatic
// control), held within 0..32767; raises are judged as above.
SpeedResult CommandSpeed(int pump, std::int16_t rpm);

struct OperationHooks {
    // A speed step for a pump that is in a group. None: the step is not sent.
    modstate::Hook<void(int pump, SpeedStep step)> groupSpeedStep;
    bool operator==(const OperationHooks&) const = default;
};
void SetOperationHooks(const OperationHooks& hooks);

// The pump's SpeedCommand as it stands, straight to its port (a pump that has a port, on
// line or not): the power switches. Run 0 latches the power-off (PowerOffCommanded).
void SendSpeedCommandNow(int pump);
// Idle for a pump whose port is open, whether or not it is on line (the emergency stop):
// down to its idle speed, never up, ahead of any waiting connect polls.
void IdleOpenPump(int pump);
// Whether a stop repeat holds the fleet at idle (an E-stop, the repeat of "Idle All
// Pumps"); the inline trip's own repeat is this module's. A pump that comes on line while one
// runs (a port back after a replug) is idled before anything else is sent to it. Installed at
// start-up; a station without it does not start.
using IdleHold = bool (*)();
void SetIdleHold(IdleHold hold);
bool IdleHoldInstalled();
// Idle all (inline overpressure): idles every pump now and starts the TmrOpTrip timer,
// which idles them twice more and stops itself.
void IdleAllPumps();
void SetOpTripTimer(int panel, int control);
int TmrOpTrip(int panel, int control, int event, void* data, int e1, int e2);

// Start-of-run state of this module: no hooks, no raise gate, no idle-all timer.
void ResetOperations();
// Every link module and the Pump Table back to the start of a run, the session wired to the
// transmit queues, and the queues created (as start-up leaves them before the ports open).
void ResetLink();

}  // namespace pumplink
