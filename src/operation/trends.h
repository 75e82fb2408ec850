// Trends: one sample a second of the fleet's treating pressure (the average discharge of the
// pumps on line), total rate and total hydraulic horsepower, and of every pump's discharge
// pressure and rate, kept for the last 10 minutes, hour and 8 hours whether or not the trend
// window is open, so that a pump chosen there shows its past at once.
//
// Samples are kept in US units (psi, bbl/min, HHP) whatever the display shows: a switch of
// the display units converts what is drawn, never what was stored.
//
// Each span has a ring of its own: 1 s buckets for 10 min (600), 5 s buckets for 1 h (720)
// and 30 s buckets for 8 h (960), each bucket the lowest and the highest sample that fell in
// it, as floats. A chart of any span so draws at most two points per bucket instead of
// 28,800 samples, its cost does not grow with the span, and a pressure spike shorter than a
// bucket still shows (an average would hide it). The 51 series take 51 x 2280 x 8 bytes,
// about 0.9 MB.
//
// A second without a value is a gap, never a zero: a pump off line, a value that is not a
// number, no pump on line for the fleet values, or seconds the timer missed.
#pragma once

#include <vector>

#include "ui/model_types.h"

namespace operation {

enum TrendSpan { kTrendSpan10Min = 0, kTrendSpan1Hour = 1, kTrendSpan8Hours = 2 };
constexpr int kTrendSpanCount = 3;

struct TrendSpanDef {
    int seconds;
    int bucketSeconds;
};
inline constexpr TrendSpanDef kTrendSpans[kTrendSpanCount] = {{600, 1}, {3600, 5}, {28800, 30}};

// Lowest and highest sample of a bucket; both NaN when it holds none.
struct TrendBucket {
    float lo;
    float hi;
    // A gap (NaN) is the same as a gap.
    bool operator==(const TrendBucket& o) const {
        const auto same = [](float a, float b) { return a == b || (a != a && b != b); };
        return same(lo, o.lo) && same(hi, o.hi);
    }
};

// One quantity over the three spans. Seconds count from the first sample; a bucket of a
// span holds the seconds [n x bucketSeconds, (n + 1) x bucketSeconds).
class TrendSeries {
  public:
    TrendSeries();
    // The sample of second (NaN: none). Buckets skipped since the last sample become gaps;
    // a second older than the span's newest bucket is ignored.
    void add(long second, float value);
    // The bucket of span that holds second: a gap when it is outside the ring.
    TrendBucket bucket(int span, long second) const;

  private:
    struct Ring {
        std::vector<TrendBucket> buckets;
        long newest = -1;  // bucket number last written
        bool operator==(const Ring&) const = default;
    };
    Ring rings_[kTrendSpanCount];

  public:
    bool operator==(const TrendSeries&) const = default;
};

// Which fleet series.
enum TrendFleet { kTrendTreatingPressure = 0, kTrendTotalRate = 1, kTrendTotalHhp = 2 };

// Takes the sample of now (platform seconds) from the Pump Table: the first call starts the
// clock; a late call fills the seconds it missed with gaps.
void TrendSample(double now);
// The second of the newest sample (-1 before the first).
long TrendSecond();
const TrendSeries& FleetTrend(TrendFleet which);
const TrendSeries& PumpPressureTrend(int pump);
const TrendSeries& PumpRateTrend(int pump);

// The points of a series over span up to second now, x in the span's unit (minutes for
// 10 min and 1 h, hours for 8 h; 0 is now, the past negative), y times scale. A bucket
// with one value gives one point, a bucket whose samples differ its lowest then its
// highest; a run of empty buckets gives one point whose y is NaN.
void TrendPoints(const TrendSeries& series, int span, long now, double scale,
                 std::vector<ui::ChartPoint>& out);
// Seconds per unit of the x axis of span, and the axis title.
double TrendSecondsPerUnit(int span);

// A value axis from 0 that shows top with some room: at most five intervals of 1, 2, 2.5 or
// 5 times a power of ten (up to 1 in five intervals for nothing or less).
struct TrendScale {
    double top;
    int ticks;  // tick marks, both ends included
};
TrendScale TrendAxisScale(double top);

// Every ring empty, the clock not started.
void ResetTrends();

}  // namespace operation
