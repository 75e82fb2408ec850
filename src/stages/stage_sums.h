// What a stage of the job sums, in one plain record that the reports take as it is: per pump
// the volume pumped, pumping time, time-weighted average and highest discharge pressure and
// rate, HHP-hours and trips; for the fleet its volume, rate and average discharge pressure,
// the highest inline pressure, the E-stops, "Idle All Pumps", inline trips, time under
// automatic control, the pressure 5 s and 10 s after shut-in, and a series of one point a
// second. Everything is kept in US units (bbl, bbl/min, psi, hp) whatever the display shows.
//
// A pump's volume is the sum of the differences of its controller's total: a total that goes
// down (Reset Totals, a controller restart) counts again from its new value, and across a gap
// (the pump off line, the station restarted) the volume is taken from the totals before and
// after, and the gap is counted.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace stages {

constexpr int kStagePumps = 24;
// A pump, and the fleet, pump while their rate is above this, bbl/min; the fleet's shut-in
// is the moment its rate falls below it after pumping.
constexpr double kPumpingRate = 0.5;
constexpr double kShutInFirst = 5.0;    // s after shut-in
constexpr double kShutInSecond = 10.0;  // s after shut-in

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct PumpStageSums {
    double volume = 0.0;        // bbl
    double pumpingSeconds = 0.0;
    double pressureSeconds = 0.0;  // psi x s over pumping time
    double rateSeconds = 0.0;      // bbl/min x s over pumping time
    double maxPressure = 0.0;      // psi
    double maxRate = 0.0;          // bbl/min
    double hhpHours = 0.0;
    int trips = 0;
    int gaps = 0;  // times the pump's values stopped and came back (off line, a restart)
    // Where the sums stand: the controller's total at the last sample (NaN: none yet), and
    // whether the pump was on line and tripped then.
    double lastTotal = kNoValue;
    bool online = false;
    bool tripped = false;

    double averagePressure() const { return pumpingSeconds > 0 ? pressureSeconds / pumpingSeconds : 0; }
    double averageRate() const { return pumpingSeconds > 0 ? rateSeconds / pumpingSeconds : 0; }
    bool operator==(const PumpStageSums&) const = default;
};
// Whether the pump took part in the stage (pumped, tripped or had a gap): the pumps the
// reports list.
bool TookPart(const PumpStageSums& p);

struct StageSums {
    int number = 0;
    std::string job;
    std::string well;
    std::int64_t startMs = 0;  // wall clock, ms since 1970
    std::int64_t endMs = 0;    // 0 while it runs
    std::array<PumpStageSums, kStagePumps> pumps{};

    double pumpingSeconds = 0.0;   // of the fleet
    double rateSeconds = 0.0;      // bbl/min x s over the fleet's pumping time
    double pressureSeconds = 0.0;  // psi x s over the fleet's pumping time
    double maxRate = 0.0;
    double maxPressure = 0.0;  // of the fleet's average discharge
    double maxInline = kNoValue;  // psi; NaN while the blender computer reported none
    int estops = 0;
    int idleAlls = 0;
    int inlineTrips = 0;
    double autoSeconds = 0.0;
    int restarts = 0;      // the station restarted during the stage: a gap for every pump
    double seconds = 0.0;  // since the start, at the last sample
    bool ending = false;   // End Stage was asked for: it waits for the shut-in's 10 s point

    // The shut-in: when the fleet's rate last fell below kPumpingRate after pumping (seconds
    // since the start; NaN while none), and the fleet's average discharge 5 s and 10 s
    // later (NaN: not reached). A gap in the samples while it counts (the station restarted)
    // leaves the points it had not reached not reached: the moment is not known.
    double shutInAt = kNoValue;
    double shutIn5 = kNoValue;
    double shutIn10 = kNoValue;
    bool fleetPumping = false;  // at the last sample

    double volume() const;
    double averageRate() const { return pumpingSeconds > 0 ? rateSeconds / pumpingSeconds : 0; }
    double averagePressure() const {
        return pumpingSeconds > 0 ? pressureSeconds / pumpingSeconds : 0;
    }
    // Whether the shut-in has begun and its 10 s point is still to come.
    bool shutInCounting() const;
};

// One pump's values at a sample, in US units (NaN where a value is not a number).
struct PumpSample {
    bool online = false;
    bool tripped = false;
    double rate = kNoValue;      // bbl/min
    double pressure = kNoValue;  // psi
    double hhp = kNoValue;
    double total = kNoValue;  // the controller's total volume, bbl
};
struct FleetSample {
    std::array<PumpSample, kStagePumps> pumps{};
    double inline_ = kNoValue;  // the blender computer's reading when connected, psi
    bool automatic = false;     // automatic control holds a target
};

// The fleet's rate and average discharge of a sample, as the bank windows count them: the
// pumps on line, a value that is not a number left out. NaN pressure with no pump reporting.
double FleetRate(const FleetSample& sample);
double FleetPressure(const FleetSample& sample);

// Adds a sample taken at `second` (since the start) that stands for the `dt` seconds before
// it; dt 0 after a gap (the stage's first sample after a restart).
void AddStageSample(StageSums& sums, double second, double dt, const FleetSample& sample);

// The sums as text, and back (false, sums untouched, when the text is not such a record).
std::string StageSumsText(const StageSums& sums);
bool ParseStageSums(const std::string& text, StageSums& sums);

}  // namespace stages
