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

TEST(TrendSeries, RingsWrapAndDecimateToLowestAndHighest) {
    TrendSeries s;
    for (long t = 0; t < 8 * 3600 + 45; ++t) s.add(t, static_cast<float>(t % 100));
    const long now = 8 * 3600 + 44;
    // 10 min of single seconds: the newest 600 only, the one before them gone.
    EXPECT_EQ(s.bucket(kTrendSpan10Min, now).lo, 44.0f);
    EXPECT_EQ(s.bucket(kTrendSpan10Min, now - 599).lo, static_cast<float>((now - 599) % 100));
    EXPECT_TRUE(gap(s.bucket(kTrendSpan10Min, now - 600)));
    // 5 s buckets: lowest and highest of [28840, 28845) hold 40..44.
    EXPECT_EQ(s.bucket(kTrendSpan1Hour, now).lo, 40.0f);
    EXPECT_EQ(s.bucket(kTrendSpan1Hour, now).hi, 44.0f);
    EXPECT_TRUE(gap(s.bucket(kTrendSpan1Hour, now - 3600)));
    // 30 s buckets over 8 h: a bucket crossing 99 -> 0 keeps both ends; the first one, 8 h
    // and a bucket ago, is gone; the partly filled newest holds what it has.
    const TrendBucket wrap = s.bucket(kTrendSpan8Hours, 90);
    EXPECT_EQ(wrap.lo, 0.0f);
    EXPECT_EQ(wrap.hi, 99.0f);
    EXPECT_TRUE(gap(s.bucket(kTrendSpan8Hours, 0)));
    EXPECT_EQ(s.bucket(kTrendSpan8Hours, now).lo, 30.0f);
    EXPECT_EQ(s.bucket(kTrendSpan8Hours, now).hi, 44.0f);
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

TEST_F(TrendWindow, ShowsFleetAndChosenPumpInTheDisplayUnitsOfTheMoment) {
    feed(20, 4000.0f);
    menu(MENU_TRENDS);
    ASSERT_NE(TrendPanel, 0);
    // Pump 2 goes by its unit label, as on its bank row; its number helps in the list.
    EXPECT_EQ(ui::FindCtrl(TrendPanel, TREND_PUMP_FIRST)->items.at(2).label, "Pump 1B (2)");
    ui::OperateIndex(TrendPanel, TREND_PUMP_FIRST, 2);
    EXPECT_FLOAT_EQ(last(line(TREND_PRESSURE_CHART, 0)), 5000.0f);
    EXPECT_EQ(line(TREND_PRESSURE_CHART, 1).name, "Pump 1B");
    EXPECT_FLOAT_EQ(last(line(TREND_PRESSURE_CHART, 1)), 6000.0f);
    EXPECT_EQ(line(TREND_PRESSURE_CHART, 2).name, "Lowest trip 9000 psi");
    EXPECT_EQ(ui::GetChartData(TrendPanel, TREND_PRESSURE_CHART)->left.max, 10000.0);
    EXPECT_FLOAT_EQ(last(line(TREND_RATE_CHART, 0)), 20.0f);

    // Metric: what is shown converts at once; samples taken before the switch and after it
    // lie on one line.
    menu(MENU_UNITS_METRIC);
    loop.advance(1.0);
    feed(5, 4000.0f);
    const ui::ChartSeries& treating = line(TREND_PRESSURE_CHART, 0);
    for (const ui::ChartPoint& p : treating.points) ASSERT_NEAR(p.y, 5000.0 * kPsiToMpa, 1e-3);
    EXPECT_EQ(ui::GetChartData(TrendPanel, TREND_PRESSURE_CHART)->left.title,
              "Pressure (MPa)");
    EXPECT_NEAR(last(line(TREND_RATE_CHART, 0)), 20.0 * settings::kBblToCubicMetres,
                1e-4);

    ui::Press(TrendPanel, TREND_SPAN_8HOURS);
    EXPECT_EQ(ui::GetChartData(TrendPanel, TREND_RATE_CHART)->x.min, -8.0);
    EXPECT_EQ(ui::GetCtrlInt(TrendPanel, TREND_SPAN_10MIN), 0);
}

TEST_F(TrendWindow, APumpGoneOffLineIsAGapAndLeavesTheFleetAverage) {
    feed(5, 4000.0f);
    feed(90, 4000.0f, false);  // pump 2 falls silent and goes off line
    ASSERT_EQ(PumpTable[1].Online, 0);
    menu(MENU_TRENDS);
    ui::OperateIndex(TrendPanel, TREND_PUMP_FIRST, 2);
    const ui::ChartSeries& pump2 = line(TREND_PRESSURE_CHART, 1);
    ASSERT_TRUE(std::isnan(pump2.points.back().y));
    for (const ui::ChartPoint& p : pump2.points) EXPECT_TRUE(std::isnan(p.y) || p.y == 6000.0f);
    EXPECT_FLOAT_EQ(last(line(TREND_PRESSURE_CHART, 0)), 4000.0f);
}

}  // namespace
