#include "autocontrol/autocontrol.h"

#include <algorithm>
#include <cmath>

#include "autocontrol/wellresistance.h"
#include "link/operations.h"
#include "link/port_identity.h"
#include "link/pump_table.h"
#include "operation/panels.h"
#include "platform/module_state.h"
#include "platform/trace.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "safety/trips.h"

using namespace pumplink;
using namespace operation;
using namespace safety;

namespace autocontrol {

namespace {

struct ControllerState {
    AutoSettingsRecord AutoSettings;
    std::int32_t StepCountdown = 0;
    AutoCommandObserver observer = nullptr;
    std::string message;
    AutoShortfall shortfall = AutoShortfall::None;
    bool operator==(const ControllerState&) const = default;
};
ControllerState g;

}  // namespace

AutoSettingsRecord& AutoSettings = g.AutoSettings;
std::int32_t& StepCountdown = g.StepCountdown;

namespace {

// The control law's constants.
constexpr double kQuarterPi = 0.7853982;  // as the 32-bit float it has always been
constexpr double kGallonsPerCubicInch = 0.004329;
constexpr double kGallonsPerBarrel = 42.0;
constexpr double kGainDecreaseRate = 0.7;
constexpr double kGainIncreaseRate = 0.7;
constexpr double kGainIncreasePressure = 0.7;
constexpr double kGainDecreasePressure = 0.8;
constexpr double kHeadroomShare = 0.85;  // of what is left below MaxRpm
constexpr double kHighestRatioToSpeed = 0.96;
constexpr std::int16_t kSamplingMin = 6;
constexpr std::int16_t kSamplingMax = 20;

enum class Action { DecreaseRate, IncreaseRate, DecreasePressure, IncreasePressure };

// Whether an action works toward the mode's target (a rate action in rate mode) or keeps
// the other quantity under its limit.
bool forTarget(Action a) {
    const bool rate = a == Action::DecreaseRate || a == Action::IncreaseRate;
    return rate == (AutoSettings.AutoMode != kAutoPressure);
}

struct ActionDef {
    double gain;
    bool increase;
    const char* noPump;
};
ActionDef def(Action a) {
    switch (a) {
        case Action::DecreaseRate:
            return {kGainDecreaseRate, false, "Need auto pump to decrease rate!"};
        case Action::IncreaseRate:
            return {kGainIncreaseRate, true, "Need auto pump to increase rate!"};
        case Action::DecreasePressure:
            return {kGainDecreasePressure, false, "Need auto pump to decrease pressure!"};
        case Action::IncreasePressure:
            break;
    }
    return {kGainIncreasePressure, true, "Need auto pump to increase pressure!"};
}

double gearRatio(int pump) {
    return PumpTable[pump].PumpConfig.GearRatio();
}

bool positive(double v) {
    return std::isfinite(v) && v > 0.0;
}

// Handed over (Online, AutoAllowed, "Auto") and with the data the control law needs: a
// pump whose characteristics or limits are missing or impossible would divide by zero or
// turn the sign of every step.
bool qualifies(int pump) {
    const PumpRecord& r = PumpTable[pump];
    return r.Online != 0 && r.AutoAllowed != 0 && PumpTable[pump].AutoSelected != 0 &&
           positive(r.MaxRpm) && std::isfinite(r.MotorRpm) && positive(PumpDisplacement(pump)) &&
           positive(gearRatio(pump));
}

double ratio(int pump) {
    return static_cast<double>(PumpTable[pump].SpeedCommand.Rpm) /
           static_cast<double>(PumpTable[pump].MaxRpm);
}

double truncated(float v) {
    return std::trunc(static_cast<double>(v));
}

// A pump whose port answers as another unit not yet confirmed is left to the others: its
// raises would be refused.
bool canSpeedUp(int pump) {
    return qualifies(pump) && PumpTable[pump].Tripped == 0 && ManualSpeedAllowed(pump) &&
           !UnitUnconfirmed(pump);
}

// The new set-point goes to the pump by the path of every speed command of the station's
// own, which judges a raise as it judges the operator's; the controller never powers a
// drive, so Run goes as it stands. A set-point the pump holds already is not sent again.
void command(int pump, bool increase, double setpoint) {
    const int before = PumpTable[pump].SpeedCommand.Rpm;
    if (static_cast<double>(before) == setpoint) return;
    const SpeedResult result = CommandSpeed(pump, ToRpm(TruncSafe(setpoint)));
    if (result != SpeedResult::Sent) {
        TRACE(autoctl, "pump %d: %d rpm refused", pump + 1, ToRpm(TruncSafe(setpoint)));
        return;
    }
    TRACE(autoctl, "pump %d to %d rpm", pump + 1, PumpTable[pump].SpeedCommand.Rpm);
    if (g.observer != nullptr) g.observer(pump, increase, before, PumpTable[pump].SpeedCommand.Rpm);
}

void act(Action action, double pressureQuantity, double rateQuantity) {
    const ActionDef d = def(action);
    if (d.increase && !(pressureQuantity >= 0.0)) return;
    const int pump = d.increase ? PickPumpToSpeed() : PickPumpToSlow();
    if (pump < 0) {
        g.message = d.noPump;
        // Pumps that could follow, all at the end of their range: the target is out of reach.
        bool atEnd = false;
        for (int p = 0; p < kPumpCount; ++p)
            atEnd = atEnd || (d.increase ? canSpeedUp(p) : qualifies(p));
        if (atEnd)
            g.shortfall = !d.increase ? (forTarget(action) ? AutoShortfall::TargetAtMinimum
                                                           : AutoShortfall::LimitAtMinimum)
                                      : AutoShortfall::TargetAtMaximum;
        return;
    }
    float resistance = kDefaultWellResistance;
    GetWellResistance(&resistance);
    const double rpmPerBpm = kGallonsPerBarrel / PumpDisplacement(pump) * gearRatio(pump) * d.gain;
    const double a = pressureQuantity / static_cast<double>(resistance) * rpmPerBpm;
    const double b = rateQuantity * rpmPerBpm;
    double step = std::min(a, b);
    if (action == Action::IncreaseRate && a < 0.0) step = b;
    if (action == Action::IncreasePressure && b < 0.0) step = a;

    const PumpRecord& r = PumpTable[pump];
    const double motor = r.MotorRpm;
    const double maxRpm = r.MaxRpm;
    if (d.increase && motor + step > maxRpm) step = kHeadroomShare * (maxRpm - motor);
    double setpoint = motor + step;
    if (!std::isfinite(setpoint)) return;  // a NaN limit or target: nothing is sent
    setpoint = std::trunc(setpoint);
    if (!d.increase) {
        setpoint = std::max(setpoint, truncated(r.MinRpm));
        // A stop path never raises a pump: not above its maximum, not above where it was
        // set (a motor still running down from a higher speed).
        setpoint = std::min(
            {setpoint, truncated(r.MaxRpm), static_cast<double>(PumpTable[pump].SpeedCommand.Rpm)});
    } else {
        setpoint = std::min(setpoint, truncated(r.MaxRpm));
    }
    command(pump, d.increase, setpoint);
}

void controllerStep() {
    // The law works in bbl/min and psi, whatever the display shows.
    const float rate = SelectedPumpsRateBpm;
    const float pressure = AverageDischargePsi;
    AgeWellResistance();
    UpdateWellResistance(rate, pressure);
    g.message.clear();
    g.shortfall = AutoShortfall::None;
    // Nothing automatic moves a pump while an emergency stop or the inline trip holds the
    // fleet at idle.
    if (EStopActive() == 0 && !InlineTripHolds()) {
        if (AutoSettings.AutoMode == kAutoRate)
            RateModeStep(rate, pressure);
        else if (AutoSettings.AutoMode == kAutoPressure)
            PressureModeStep(rate, pressure);
    }
    StepCountdown = std::clamp(AutoSettings.SamplingTime, kSamplingMin, kSamplingMax);
}

}  // namespace

double PumpDisplacement(int pump) {
    if (pump < 0 || pump >= kPumpCount) return 0.0;
    const PumpConfigBlock& c = PumpTable[pump].PumpConfig;
    const double diameter = c.PlungerDiameter();
    const double stroke = c.Stroke();
    const double efficiency = c.Efficiency();
    // Each factor on its own: a negative diameter squares into a plausible displacement.
    if (!positive(diameter) || !positive(stroke) || c.Plungers() == 0 || !positive(efficiency))
        return 0.0;
    return kQuarterPi * diameter * diameter * stroke * static_cast<double>(c.Plungers()) *
           efficiency * kGallonsPerCubicInch;
}

int PickPumpToSlow() {
    double best = 0.0;
    int chosen = -1;
    for (int pump = 0; pump < kPumpCount; ++pump) {
        // A pump at its minimum can be slowed no further: a command would change nothing.
        if (!qualifies(pump) ||
            PumpTable[pump].SpeedCommand.Rpm <= truncated(PumpTable[pump].MinRpm))
            continue;
        if (ratio(pump) > best) {
            best = ratio(pump);
            chosen = pump;
        }
    }
    return chosen;
}

int PickPumpToSpeed() {
    double best = kHighestRatioToSpeed;
    int chosen = -1;
    for (int pump = 0; pump < kPumpCount; ++pump) {
        // A drive that is off, tripped or faulted cannot follow: choosing it would starve the
        // rest, and the controller never raises a pump the operator could not raise by hand.
        if (!canSpeedUp(pump)) continue;
        if (ratio(pump) < best) {
            best = ratio(pump);
            chosen = pump;
        }
    }
    return chosen;
}

void DecreaseRate(float rateError, float pressureMargin) {
    act(Action::DecreaseRate, pressureMargin, rateError);
}
void IncreaseRate(float rateError, float pressureMargin) {
    act(Action::IncreaseRate, pressureMargin, rateError);
}
void DecreasePressure(float pressureError, float rateMargin) {
    act(Action::DecreasePressure, pressureError, rateMargin);
}
void IncreasePressure(float pressureError, float rateMargin) {
    act(Action::IncreasePressure, pressureError, rateMargin);
}

void RateModeStep(float q, float p) {
    const AutoSettingsRecord& s = AutoSettings;
    const float rateError = s.TargetRate - q;
    const float pressureMargin = s.LimitPressure - p;
    if (p > s.LimitPressure - s.PressureTolerance && p < s.LimitPressure) return;
    if (p > s.LimitPressure)
        DecreasePressure(pressureMargin, rateError);
    else if (q > s.TargetRate + s.RateTolerance)
        DecreaseRate(rateError, pressureMargin);
    else if (q < s.TargetRate - s.RateTolerance)
        IncreaseRate(rateError, pressureMargin);
}

void PressureModeStep(float q, float p) {
    const AutoSettingsRecord& s = AutoSettings;
    const float pressureError = s.TargetPressure - p;
    const float rateMargin = s.LimitRate - q;
    if (q > s.LimitRate - s.RateTolerance && q < s.LimitRate) return;
    if (q > s.LimitRate)
        DecreaseRate(rateMargin, pressureError);
    else if (p > s.TargetPressure + s.PressureTolerance)
        DecreasePressure(pressureError, rateMargin);
    else if (p < s.TargetPressure - s.PressureTolerance)
        IncreasePressure(pressureError, rateMargin);
}

bool AutoControllerTick() {
    if (StepCountdown > 0) {
        --StepCountdown;
        return false;
    }
    controllerStep();
    return true;
}

const std::string& AutoControllerMessage() {
    return g.message;
}

AutoShortfall AutoControllerShortfall() {
    return g.shortfall;
}

void ForgetAutoShortfall() {
    g.shortfall = AutoShortfall::None;
}

int AutoPumpCount() {
    int n = 0;
    for (int pump = 0; pump < kPumpCount; ++pump) n += qualifies(pump) ? 1 : 0;
    return n;
}

void SetAutoCommandObserver(AutoCommandObserver observer) {
    g.observer = observer;
}

void ResetAutoController() {
    g = {};
    ResetWellResistance();
}
VNK_MODULE_STATE_RESET(autocontrol, autocontrol, g, ResetAutoController)

}  // namespace autocontrol
