#include "link/live_units.h"

#include "link/pump_table.h"
#include "settings/config_record.h"

namespace pumplink {

namespace {

// metric = (us - usZero) x factor. The factors are the controllers' own, not the exact
// physical ones: a value goes back to US units through the same numbers.
struct Conversion {
    double factor;
    double usZero;
};
constexpr double kPsiToKpa = 6.8948;
constexpr double kFahrenheitStep = 0.555555;  // degC per degF above 32 degF
constexpr Conversion kMpa{settings::kPsiToMpa, 0.0};
constexpr Conversion kKpa{kPsiToKpa, 0.0};
constexpr Conversion kCelsius{kFahrenheitStep, 32.0};
constexpr Conversion kCubicMetres{settings::kBblToCubicMetres, 0.0};
constexpr Conversion kKw{settings::kHpToKw, 0.0};

struct LiveValue {
    LiveField field;
    Conversion conversion;
};
// Every value of a PumpRecord that changes units with the display. The speeds (MotorRpm,
// PumpRpm, the set-point and limits) are rpm in both.
constexpr LiveValue kLiveValues[] = {
    {&PumpRecord::DischargePressure, kMpa},   {&PumpRecord::TripPressure, kMpa},
    {&PumpRecord::LastTripPressure, kMpa},    {&PumpRecord::OilPressure, kKpa},
    {&PumpRecord::SuctionPressure, kKpa},     {&PumpRecord::OilTemperature, kCelsius},
    {&PumpRecord::WindingTempA, kCelsius},    {&PumpRecord::WindingTempB, kCelsius},
    {&PumpRecord::WindingTempC, kCelsius},    {&PumpRecord::BearingTempDE, kCelsius},
    {&PumpRecord::BearingTempNDE, kCelsius},  {&PumpRecord::PumpRate, kCubicMetres},
    {&PumpRecord::TotalVolume, kCubicMetres}, {&PumpRecord::HydraulicHp, kKw},
};

const Conversion* conversionOf(LiveField field) {
    for (const LiveValue& v : kLiveValues)
        if (v.field == field) return &v.conversion;
    return nullptr;
}

float toMetric(const Conversion& c, double us) {
    return static_cast<float>((us - c.usZero) * c.factor);
}

float toUs(const Conversion& c, double metric) {
    return static_cast<float>(metric / c.factor + c.usZero);
}

}  // namespace

float MetricOf(LiveField field, double us) {
    const Conversion* c = conversionOf(field);
    return c != nullptr ? toMetric(*c, us) : static_cast<float>(us);
}

float LiveUs(const PumpRecord& r, LiveField field) {
    const float v = r.*field;
    const Conversion* c = conversionOf(field);
    return r.MetricValues != 0 && c != nullptr ? toUs(*c, v) : v;
}

void SetLiveUnits(PumpRecord& r, bool metric) {
    if ((r.MetricValues != 0) == metric) return;
    for (const LiveValue& v : kLiveValues)
        r.*v.field = metric ? toMetric(v.conversion, r.*v.field) : toUs(v.conversion, r.*v.field);
    r.MetricValues = metric ? 1 : 0;
}

}  // namespace pumplink
