// The trend rings (spans, wrap-around, decimation, gaps) and the trend window on a station
// in virtual time (display units, pumps off line).
#include <cmath>

#include "operation/trend_display.h"
#include "operation/trends.h"
#include "support/link_fixture.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/trend_window.h"
#include "unit/operation/display_fixture.h"

using namespace operation;

namespace {

bool gap(const TrendBucket& b) {
    return std::isnan(b.lo) && std::isnan(b.hi);
}

TEST(TrendSeries, MissingSecondsAreGapsNotZeros) {
    TrendSeries s;
    s.add(10, 500.0f);
    s.add(11, NAN);
    s.add(14, 700.0f);  // 12 and 13 never came
    for (long t : {11L, 12L, 13L}) EXPECT_TRUE(gap(s.bucket(kTrendSpan10Min, t))) << t;
    const TrendBucket b = s.bucket(kTrendSpan1Hour, 12);  // [10, 15): the gaps left out
    EXPECT_EQ(b.lo, 500.0f);
    EXPECT_EQ(b.hi, 700.0f);
    s.add(13, 900.0f);  // a second older than the newest changes nothing
    EXPECT_TRUE(gap(s.bucket(kTrendSpan10Min, 13)));
    // Silence longer than every span leaves nothing of the past.
    s.add(14 + 8 * 3600 + 60, 1.0f);
    EXPECT_TRUE(gap(s.bucket(kTrendSpan8Hours, 14 + 8 * 3600)));
    EXPECT_EQ(s.bucket(kTrendSpan10Min, 14 + 8 * 3600 + 60).lo, 1.0f);
}

TEST(TrendSeries, PointsBreakAtGapsAndDrawBothEndsOfABucket) {
    TrendSeries s;
    for (long t = 0; t < 20; ++t) s.add(t, t >= 5 && t < 10 ? NAN : static_cast<float>(t));
    std::vector<ui::ChartPoint> points;
    TrendPoints(s, kTrendSpan10Min, 19, 2.0, points);
    ASSERT_EQ(points.size(), 5u + 1u + 10u);  // one gap point for the five missing seconds
    EXPECT_TRUE(std::isnan(points[5].y));
    EXPECT_FLOAT_EQ(points[4].y, 8.0f);  // scaled
    EXPECT_FLOAT_EQ(points.back().x, 0.0f);
    EXPECT_FLOAT_EQ(points.front().x, -19.0f / 60.0f);
    TrendPoints(s, kTrendSpan1Hour, 19, 1.0, points);  // [10, 15) gives 10 then 14
    ASSERT_EQ(points.size(), 2u + 1u + 2u + 2u);
    EXPECT_FLOAT_EQ(points[3].y, 10.0f);
    EXPECT_FLOAT_EQ(points[4].y, 14.0f);
    EXPECT_EQ(TrendAxisScale(9000.0).top, 10000.0);
    EXPECT_EQ(TrendAxisScale(10000.0).top, 12500.0);  // the trip line never on the edge
    EXPECT_EQ(TrendAxisScale(41.0).ticks, 6);
    EXPECT_EQ(TrendAxisScale(NAN).top, 1.0);
}

using linktest::Record;
using settings::kPsiToMpa;
using namespace windows;

class TrendWindow : public DisplayStation {
  protected:
    // Seconds of data records: pump 1 at p1 psi, pump 2 (unless silent) at 6000 psi, each
    // 420 gal/min (10 bbl/min) with a trip point of 9000 psi.
    void feed(int seconds, float p1, bool pump2 = true) {
        for (int s = 0; s < seconds; ++s) {
            for (int pump : {0, 1}) {
                if (pump == 1 && !pump2) continue;
                data(pump, Record()
                               .f32(rec::kDischarge, pump == 0 ? p1 : 6000.0f)
                               .f32(rec::kRate, 420.0f)
                               .u16(rec::kTripPoint, 9000));
            }
            loop.advance(1.0);
        }
    }
    void menu(int item) { ui::SelectMenu(menuBar(BankPanel[0]), item, BankPanel[0]); }
    static const ui::ChartSeries& line(int chart, size_t i) {
        return ui::GetChartData(TrendPanel, chart)->series.at(i);
    }
    static float last(const ui::ChartSeries& s) { return s.points.back().y; }
};

}  // namespace
