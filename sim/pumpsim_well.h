// pumpsim well model: the discharge pressure that every pump of a fleet works against.
//
// The pumps of a fleet all push into one treating line, so a unit's discharge pressure depends
// on the total rate of the fleet, not on its own rate: the line settles at
// P = base + k * Q^2 (Q in US gal/min), clamped to [0, maxPsi]. Each controller posts its own
// rate; the well sums them. Optionally:
//   - the line pressure follows that curve with a first-order lag (time constant lagSeconds),
//     moved on by advance(); without a lag it follows the rate at once;
//   - each pump's transducer adds noise, uniform within +-noisePsi, drawn afresh every
//     kNoiseInterval seconds from noiseSeed, the unit and the time alone, so a run repeats
//     exactly with the same seed however its time is cut into steps;
//   - scaleResistance() steps k, as a screen-out does.
#pragma once

#include <array>
#include <cstdint>

namespace pumpsim {

inline constexpr int kMaxUnits = 24;

class Well {
  public:
    static constexpr double kNoiseInterval = 0.1;  // seconds

    struct Params {
        double basePsi = 300.0;  // static wellhead pressure with nothing pumping
        double k = 5.0e-4;       // psi per (gal/min)^2: 4000 gal/min gives 8300 psi
        double maxPsi = 15000.0;
        double lagSeconds = 0.0;  // time constant of the line pressure; 0: no lag
        double noisePsi = 0.0;    // transducer noise amplitude; 0: none
        uint64_t noiseSeed = 1;
    };

    Well() = default;
    explicit Well(const Params& p) : params_(p) {}

    const Params& params() const { return params_; }
    void setParams(const Params& p) { params_ = p; }
    // Multiplies k by factor (finite and above 0; anything else is ignored).
    void scaleResistance(double factor);

    // Latest rate of one unit, gal/min; units outside 0..23 are ignored.
    void setRate(int unit, double gpm);
    double rate(int unit) const;
    double totalRate() const;
    // Moves the lagged line pressure on to `now` (seconds; earlier times are ignored).
    void advance(double now);
    double steadyPressure() const;  // where the line settles at the present rates
    double pressure() const;        // the line pressure now
    // The noise unit's transducer adds to its reading at time t.
    double noise(int unit, double t) const;

  private:
    Params params_;
    std::array<double, kMaxUnits> rates_{};
    bool started_ = false;  // the lag starts from the pressure at the first advance
    double time_ = 0.0;
    double lagged_ = 0.0;
};

}  // namespace pumpsim
