// The automatic controller: on every step it holds the fleet's rate (or its discharge
// pressure) at the operator's target while keeping the other quantity under its limit, by
// giving one pump, the most suitable of those ticked "Auto", a new speed set-point. A step
// runs every SamplingTime + 1 ticks of the automatic-control window's timer; the resistance
// estimate follows the well on every step, whatever the mode.
//
// Everything here works in US units (bbl/min, psi): the fleet values it reads are US sums
// whatever the display shows, so a change of the display units leaves the next step where
// it was.
#pragma once

#include <cstdint>
#include <string>

namespace autocontrol {

enum AutoModeValue : std::int32_t { kAutoOff = 0, kAutoRate = 1, kAutoPressure = 2 };

// The controller's settings, kept in US units (the panel converts for display).
struct AutoSettingsRecord {
    std::int32_t AutoMode = kAutoOff;  // any value but 1 and 2 acts as off
    float TargetRate = 0.0f;           // bbl/min
    float TargetPressure = 0.0f;       // psi
    float LimitRate = 0.0f;            // bbl/min
    float LimitPressure = 0.0f;        // psi
    float RpmStep = 200.0f;            // kept and shown; the control law does not use it
    std::int16_t SamplingTime = 8;     // ticks between steps
    float PressureTolerance = 100.0f;  // psi
    float RateTolerance = 1.0f;        // bbl/min
    bool operator==(const AutoSettingsRecord&) const = default;
};
extern AutoSettingsRecord& AutoSettings;

// Ticks left until the next step; 0 makes the next tick a step.
extern std::int32_t& StepCountdown;

// One tick of the controller's timer (AutoTimer, on its window): counts down, and every
// SamplingTime + 1 ticks runs a step. True when a step ran.
bool AutoControllerTick();
// The message of the last step's action ("Need auto pump to increase rate!"), "" when it
// had none; each step starts without one.
const std::string& AutoControllerMessage();

// What the last step could not do: the way it had to move, with pumps ticked "Auto" that
// could follow but were all at their minimum (to slow) or their maximum (to speed up), and
// whether it was for the mode's target or for its limit. None when it could act, or had
// nothing to do.
enum class AutoShortfall { None, TargetAtMinimum, TargetAtMaximum, LimitAtMinimum };
AutoShortfall AutoControllerShortfall();
// A new mode or target: what the last step could not do no longer says anything.
void ForgetAutoShortfall();
// The pumps the controller may command now (on line, allowed, "Auto" ticked, with the
// figures the control law needs).
int AutoPumpCount();

// One step in each mode, on the given fleet values (US units).
void RateModeStep(float rate, float pressure);
void PressureModeStep(float rate, float pressure);

// The four actions: each picks one pump and, when one qualifies, commands it; when none
// does, nothing is sent and the action's message is left for the window.
void DecreaseRate(float rateError, float pressureMargin);
void IncreaseRate(float rateError, float pressureMargin);
void DecreasePressure(float pressureError, float rateMargin);
void IncreasePressure(float pressureError, float rateMargin);

// A pump index 0-23, or -1: the qualifying pump with the highest set-point for its maximum
// above its minimum speed (to slow), or the lowest below 96 % of it (to speed up; its drive on
// and not tripped).
int PickPumpToSlow();
int PickPumpToSpeed();

// Gallons per pump revolution from the pump's characteristics; NaN or 0 when they are not
// those of a pump.
double PumpDisplacement(int pump);

// Told of every speed command the controller sends: the pump, whether the action was an
// increase, the set-point before and the one sent. None by default.
using AutoCommandObserver = void (*)(int pump, bool increase, int before, int after);
void SetAutoCommandObserver(AutoCommandObserver observer);

void ResetAutoController();

}  // namespace autocontrol
