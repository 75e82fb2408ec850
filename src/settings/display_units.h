// The conversion of the settings windows between the US units the station keeps and the
// display units the operator has chosen. The two directions have factors of their own, so
// a value converted there and back is close to, not equal to, where it started.
#pragma once

namespace settings {

enum UnitKind {
    kUnitPressureKpa = 0,  // psi <-> kPa
    kUnitPressureMpa = 1,  // psi <-> MPa
    kUnitTemperature = 2,  // degF <-> degC
    kUnitRate = 3,         // bbl/min <-> m3/min
    kUnitVolume = 4,       // bbl <-> m3
    kUnitPower = 5,        // hp <-> kW
};

// US to metric when the display is metric; the value unchanged in US units or for a kind
// not listed.
float ToDisplayUnits(float value, int kind);
// Metric back to US, likewise.
float FromDisplayUnits(float value, int kind);

// The names of the display units of a rate and of hydraulic power: one name for each,
// whichever window shows it ("bbl/min" or "m³/min", "hhp" or "kW").
const char* RateUnitsText();
const char* PowerUnitsText();

}  // namespace settings
