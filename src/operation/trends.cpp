#include "operation/trends.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "link/live_units.h"
#include "link/pump_table.h"
#include "platform/module_state.h"

using namespace pumplink;

namespace operation {

namespace {

constexpr float kGap = std::numeric_limits<float>::quiet_NaN();
constexpr TrendBucket kEmptyBucket{kGap, kGap};

bool empty(const TrendBucket& b) {
    return std::isnan(b.lo);
}

struct TrendsState {
    bool started = false;
    double start = 0.0;  // platform time of second 0
    long second = -1;
    TrendSeries fleet[3];
    TrendSeries pressure[kPumpCount];
    TrendSeries rate[kPumpCount];
    bool operator==(const TrendsState&) const = default;
};
TrendsState g;

// A live value of the Pump Table in US units; one that is not finite is a gap.
float sampleUs(const PumpRecord& r, LiveField field) {
    const float v = LiveUs(r, field);
    return std::isfinite(v) ? v : kGap;
}

}  // namespace

TrendSeries::TrendSeries() {
    for (int s = 0; s < kTrendSpanCount; ++s) {
        const TrendSpanDef& d = kTrendSpans[s];
        rings_[s].buckets.assign(static_cast<size_t>(d.seconds / d.bucketSeconds), kEmptyBucket);
    }
}

void TrendSeries::add(long second, float value) {
    if (second < 0) return;
    for (int s = 0; s < kTrendSpanCount; ++s) {
        Ring& ring = rings_[s];
        const long size = static_cast<long>(ring.buckets.size());
        const long n = second / kTrendSpans[s].bucketSeconds;
        if (n < ring.newest) continue;
        // Every bucket from the last one written up to this one starts empty: seconds that
        // brought no sample are gaps, and what the ring held a span ago is gone.
        for (long b = std::max(ring.newest + 1, n - size + 1); b <= n; ++b)
            ring.buckets[static_cast<size_t>(b % size)] = kEmptyBucket;
        ring.newest = n;
        if (std::isnan(value)) continue;
        TrendBucket& bucket = ring.buckets[static_cast<size_t>(n % size)];
        if (empty(bucket)) {
            bucket = {value, value};
        } else {
            bucket.lo = std::min(bucket.lo, value);
            bucket.hi = std::max(bucket.hi, value);
        }
    }
}

TrendBucket TrendSeries::bucket(int span, long second) const {
    if (span < 0 || span >= kTrendSpanCount || second < 0) return kEmptyBucket;
    const Ring& ring = rings_[span];
    const long size = static_cast<long>(ring.buckets.size());
    const long n = second / kTrendSpans[span].bucketSeconds;
    if (n > ring.newest || n <= ring.newest - size) return kEmptyBucket;
    return ring.buckets[static_cast<size_t>(n % size)];
}

void TrendSample(double now) {
    if (!g.started) {
        g.started = true;
        g.start = now;
    }
    // Rounded: a tick a little early or late still counts as its own second, and a late
    // tick leaves the seconds it missed empty.
    const long second = std::lround(now - g.start);
    if (second < g.second) return;
    g.second = second;

    double pressureSum = 0.0, rate = 0.0, hhp = 0.0;
    int pressures = 0, online = 0;
    for (int p = 0; p < kPumpCount; ++p) {
        const PumpRecord& r = PumpTable[p];
        float pressure = kGap, pumpRate = kGap;
        if (r.Online != 0) {
            ++online;
            pressure = sampleUs(r, &PumpRecord::DischargePressure);
            pumpRate = sampleUs(r, &PumpRecord::PumpRate);
            const float power = sampleUs(r, &PumpRecord::HydraulicHp);
            // The same sums as the bank windows' fleet values: a value that is not a number
            // is left out rather than spoiling the fleet's.
            if (!std::isnan(pressure)) {
                pressureSum += pressure;
                ++pressures;
            }
            if (!std::isnan(pumpRate)) rate += pumpRate;
            if (!std::isnan(power)) hhp += power;
        }
        g.pressure[p].add(second, pressure);
        g.rate[p].add(second, pumpRate);
    }
    const auto fleetValue = [online](double v) {
        return online > 0 ? static_cast<float>(v) : kGap;
    };
    g.fleet[kTrendTreatingPressure].add(
        second, pressures > 0 ? static_cast<float>(pressureSum / pressures) : kGap);
    g.fleet[kTrendTotalRate].add(second, fleetValue(rate));
    g.fleet[kTrendTotalHhp].add(second, fleetValue(hhp));
}

long TrendSecond() {
    return g.second;
}

const TrendSeries& FleetTrend(TrendFleet which) {
    return g.fleet[std::clamp(static_cast<int>(which), 0, 2)];
}

const TrendSeries& PumpPressureTrend(int pump) {
    return g.pressure[std::clamp(pump, 0, kPumpCount - 1)];
}

const TrendSeries& PumpRateTrend(int pump) {
    return g.rate[std::clamp(pump, 0, kPumpCount - 1)];
}

double TrendSecondsPerUnit(int span) {
    return span == kTrendSpan8Hours ? 3600.0 : 60.0;
}

void TrendPoints(const TrendSeries& series, int span, long now, double scale,
                 std::vector<ui::ChartPoint>& out) {
    out.clear();
    if (span < 0 || span >= kTrendSpanCount || now < 0) return;
    const TrendSpanDef& d = kTrendSpans[span];
    const long buckets = d.seconds / d.bucketSeconds;
    const long newest = now / d.bucketSeconds;
    const double perUnit = TrendSecondsPerUnit(span);
    // A bucket is drawn at its middle second (the newest at most at now).
    const double middle = (d.bucketSeconds - 1) / 2.0;
    bool inGap = false;
    for (long n = std::max(0L, newest - buckets + 1); n <= newest; ++n) {
        const TrendBucket b = series.bucket(span, n * d.bucketSeconds);
        const double at =
            std::min(static_cast<double>(n * d.bucketSeconds) + middle, static_cast<double>(now));
        const auto x = static_cast<float>((at - static_cast<double>(now)) / perUnit);
        if (empty(b)) {
            if (!inGap && !out.empty()) out.push_back({x, kGap});
            inGap = true;
            continue;
        }
        inGap = false;
        out.push_back({x, static_cast<float>(b.lo * scale)});
        if (b.hi != b.lo) out.push_back({x, static_cast<float>(b.hi * scale)});
    }
}

TrendScale TrendAxisScale(double top) {
    if (!(top > 0.0) || !std::isfinite(top)) top = 0.95;
    top *= 1.05;
    const double rough = top / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 2.5, 5.0}) {
        if (rough <= m * power * (1.0 + 1e-9)) {
            step = m * power;
            break;
        }
    }
    const int intervals = std::max(1, static_cast<int>(std::ceil(top / step - 1e-9)));
    return {intervals * step, intervals + 1};
}

void ResetTrends() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, trends, g, ResetTrends)

}  // namespace operation
