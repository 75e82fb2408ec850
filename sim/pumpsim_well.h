// pumpsim well model: the discharge pressure that every pump of a fleet works against.
//
// The pumps of a fleet all push into one treating line, so a unit's discharge pressure depends
// on the total rate of the fleet, not on its own rate: P = base + k * Q^2 (Q in US gal/min),
// clamped to [0, maxPsi]. Each controller posts its own rate; the well sums them.
#pragma once

#include <array>

namespace pumpsim {

inline constexpr int kMaxUnits = 24;

class Well {
  public:
    struct Params {
        double basePsi = 300.0;  // static wellhead pressure with nothing pumping
        double k = 5.0e-4;       // psi per (gal/min)^2: 4000 gal/min gives 8300 psi
        double maxPsi = 15000.0;
    };

    Well() = default;
    explicit Well(const Params& p) : params_(p) {}

    const Params& params() const { return params_; }
    void setParams(const Params& p) { params_ = p; }

    // Latest rate of one unit, gal/min; units outside 0..23 are ignored.
    void setRate(int unit, double gpm);
    double rate(int unit) const;
    double totalRate() const;
    double pressure() const;

  private:
    Params params_;
    std::array<double, kMaxUnits> rates_{};
};

}  // namespace pumpsim
