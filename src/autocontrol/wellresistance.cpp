#include "autocontrol/wellresistance.h"

#include <cmath>

namespace autocontrol {

float WellResistance = 0.0f;
std::uint8_t ResistanceValid = 0;
std::uint8_t ResistanceHold = kResistanceHoldSteps;

namespace {

constexpr float kRateChange = 0.5f;  // bbl/min over two steps that makes a new estimate

// Oldest first.
float g_rates[3] = {};
float g_pressures[3] = {};

}  // namespace

void AgeWellResistance() {
    if (ResistanceHold > 0) --ResistanceHold;
}

void UpdateWellResistance(float rate, float pressure) {
    for (int i = 0; i < 2; ++i) {
        g_rates[i] = g_rates[i + 1];
        g_pressures[i] = g_pressures[i + 1];
    }
    g_rates[2] = rate;
    g_pressures[2] = pressure;
    const float dq = g_rates[2] - g_rates[0];
    const float dp = g_pressures[2] - g_pressures[0];
    if (dq > kRateChange || dq < -kRateChange) {
        const float fresh = dp / dq;
        WellResistance = ResistanceHold == 0 ? fresh : (fresh + 2.0f * WellResistance) / 3.0f;
        ResistanceHold = kResistanceHoldSteps;
        ResistanceValid = 1;
    } else if (ResistanceHold == 0) {
        ResistanceValid = 0;
    }
}

int GetWellResistance(float* resistance) {
    // Pressure that did not move while the rate did (a saturated gauge) gives 0, and noise a
    // negative value: either would make the pressure-based step unbounded or turn its sign.
    // A tiny positive one only makes a large step, which the set-point limits hold.
    const bool usable =
        ResistanceValid == 1 && std::isfinite(WellResistance) && WellResistance > 0.0f;
    if (resistance != nullptr) *resistance = usable ? WellResistance : kDefaultWellResistance;
    return ResistanceValid;
}

void ResetWellResistance() {
    WellResistance = 0.0f;
    ResistanceValid = 0;
    ResistanceHold = kResistanceHoldSteps;
    for (int i = 0; i < 3; ++i) g_rates[i] = g_pressures[i] = 0.0f;
}

}  // namespace autocontrol
