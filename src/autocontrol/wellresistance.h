// The running estimate of the well's resistance: the change of the fleet's discharge
// pressure per change of its rate (psi per bbl/min), from the rate and pressure of the last
// three controller steps. A fresh estimate is blended into the last one while that one is
// still held; after five steps without a rate change the estimate lapses and the default
// takes its place.
#pragma once

#include <cstdint>

namespace autocontrol {

constexpr float kDefaultWellResistance = 100.0f;
constexpr std::uint8_t kResistanceHoldSteps = 5;

// The estimate as stored and blended (it may be 0, negative or not finite: see
// GetWellResistance), and its state. Start of run: 0.0, not valid, held for 5 steps.
extern float& WellResistance;
extern std::uint8_t& ResistanceValid;
extern std::uint8_t& ResistanceHold;

// One step older: the hold counts down by one.
void AgeWellResistance();
// The fleet's rate (bbl/min) and pressure (psi) at this step: a new estimate when the rate
// moved by more than 0.5 bbl/min over the last two steps.
void UpdateWellResistance(float rate, float pressure);
// The resistance to use: the estimate while it is valid, finite and above 0, else the
// default 100. Returns the valid flag.
int GetWellResistance(float* resistance);

void ResetWellResistance();

}  // namespace autocontrol
