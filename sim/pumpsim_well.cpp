#include "pumpsim_well.h"

#include <algorithm>
#include <cmath>

namespace pumpsim {

void Well::setRate(int unit, double gpm) {
    if (unit < 0 || unit >= kMaxUnits) return;
    rates_[static_cast<size_t>(unit)] = std::isfinite(gpm) && gpm > 0.0 ? gpm : 0.0;
}

double Well::rate(int unit) const {
    if (unit < 0 || unit >= kMaxUnits) return 0.0;
    return rates_[static_cast<size_t>(unit)];
}

double Well::totalRate() const {
    double q = 0.0;
    for (double r : rates_) q += r;
    return q;
}

double Well::pressure() const {
    const double q = totalRate();
    const double p = params_.basePsi + params_.k * q * q;
    return std::clamp(p, 0.0, std::max(0.0, params_.maxPsi));
}

}  // namespace pumpsim
