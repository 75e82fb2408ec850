#include "settings/display_units.h"

#include "settings/config_record.h"

namespace settings {

float ToDisplayUnits(float value, int kind) {
    if (!MetricUnits()) return value;
    switch (kind) {
        case kUnitPressureKpa:
            return value * 6.8948f;
        case kUnitPressureMpa:
            return value * 0.0068948f;
        case kUnitTemperature:
            return (value - 32.0f) * 0.55555f;
        case kUnitRate:
        case kUnitVolume:
            return value * 0.15899f;
        case kUnitPower:
            return value * 0.746f;
        default:
            return value;
    }
}

const char* RateUnitsText() {
    return MetricUnits() ? "m\xC2\xB3/min" : "bbl/min";
}

const char* PowerUnitsText() {
    return MetricUnits() ? "kW" : "hhp";
}

float FromDisplayUnits(float value, int kind) {
    if (!MetricUnits()) return value;
    switch (kind) {
        case kUnitPressureKpa:
            return value * 0.14504f;
        case kUnitPressureMpa:
            return value * 145.03f;
        case kUnitTemperature:
            return 32.0f + value * 1.8f;
        case kUnitRate:
        case kUnitVolume:
            return value * 6.2897f;
        case kUnitPower:
            return value * 1.34f;
        default:
            return value;
    }
}

}  // namespace settings
