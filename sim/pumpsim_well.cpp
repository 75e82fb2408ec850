#include "pumpsim_well.h"

#include <algorithm>
#include <cmath>

namespace pumpsim {

namespace {

uint64_t mix(uint64_t x) {  // splitmix64's finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

void Well::scaleResistance(double factor) {
    if (std::isfinite(factor) && factor > 0.0) params_.k *= factor;
}

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

double Well::steadyPressure() const {
    const double q = totalRate();
    const double p = params_.basePsi + params_.k * q * q;
    return std::clamp(std::isfinite(p) ? p : 0.0, 0.0, std::max(0.0, params_.maxPsi));
}

void Well::advance(double now) {
    if (!std::isfinite(now)) return;
    const double target = steadyPressure();
    if (!started_) {
        started_ = true;
        time_ = now;
        lagged_ = target;
        return;
    }
    if (now <= time_) return;
    const double tau = params_.lagSeconds;
    if (std::isfinite(tau) && tau > 0.0)
        lagged_ += (target - lagged_) * (1.0 - std::exp(-(now - time_) / tau));
    else
        lagged_ = target;
    time_ = now;
}

double Well::pressure() const {
    const bool lagging = std::isfinite(params_.lagSeconds) && params_.lagSeconds > 0.0;
    return lagging && started_ ? lagged_ : steadyPressure();
}

double Well::noise(int unit, double t) const {
    const double amplitude = params_.noisePsi;
    if (!std::isfinite(amplitude) || amplitude <= 0.0 || !std::isfinite(t)) return 0.0;
    // A small allowance keeps a time that lands on a slot boundary, give or take rounding,
    // in that slot.
    const auto slot = static_cast<int64_t>(std::floor(t / kNoiseInterval + 1e-6));
    const uint64_t z = mix(mix(params_.noiseSeed ^ mix(static_cast<uint64_t>(unit) + 1)) ^
                           static_cast<uint64_t>(slot));
    const double u = static_cast<double>(z >> 11) * 0x1.0p-53;  // [0, 1)
    return (2.0 * u - 1.0) * amplitude;
}

}  // namespace pumpsim
