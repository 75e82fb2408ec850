#include "autocontrol/wellresistance.h"

#include <cmath>

#include "platform/module_state.h"

namespace autocontrol {

namespace {

constexpr float kRateChange = 0.5f;  // bbl/min over two steps that makes a new estimate

struct WellResistanceState {
    float WellResistance = 0.0f;
    std::uint8_t ResistanceValid = 0;
    std::uint8_t ResistanceHold = kResistanceHoldSteps;
    // Oldest first.
    float rates[3] = {};
    float pressures[3] = {};
    bool operator==(const WellResistanceState&) const = default;
};
WellResistanceState g;

}  // namespace

float& WellResistance = g.WellResistance;
std::uint8_t& ResistanceValid = g.ResistanceValid;
std::uint8_t& ResistanceHold = g.ResistanceHold;

void AgeWellResistance() {
    if (ResistanceHold > 0) --ResistanceHold;
}

void UpdateWellResistance(float rate, float pressure) {
    for (int i = 0; i < 2; ++i) {
        g.rates[i] = g.rates[i + 1];
        g.pressures[i] = g.pressures[i + 1];
    }
    g.rates[2] = rate;
    g.pressures[2] = pressure;
    const float dq = g.rates[2] - g.rates[0];
    const float dp = g.pressures[2] - g.pressures[0];
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
    g = {};
}
VNK_MODULE_STATE_RESET(autocontrol, wellresistance, g, ResetWellResistance)

}  // namespace autocontrol
