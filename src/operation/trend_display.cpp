#include "operation/trend_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "link/live_units.h"
#include "link/pump_table.h"
#include "operation/trends.h"
#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/trend_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using namespace windows;

constexpr int kNoPumpChosen = -1;
constexpr int kSpanOnColour = 0x20A040;
constexpr int kTreatingColour = 0x40FF40;
constexpr int kTotalRateColour = 0x40A0FF;
constexpr int kPowerColour = 0xFFA040;
constexpr int kLowestTripColour = 0xFF3030;
constexpr int kSlotColours[TREND_PUMP_COUNT] = {0xFFE040, 0xFF70FF, 0x70FFE0};
// Tick marks of the time axis: every minute, every 10 minutes, every hour.
constexpr int kTimeTicks[kTrendSpanCount] = {11, 7, 9};

struct TrendDisplayState {
    int TrendPanel = 0;
    int span = kTrendSpan10Min;
    int pumps[TREND_PUMP_COUNT] = {kNoPumpChosen, kNoPumpChosen, kNoPumpChosen};
    long drawnBucket = -1;  // the newest bucket of the span the charts show
    bool operator==(const TrendDisplayState&) const = default;
};
TrendDisplayState g;
}  // namespace

int& TrendPanel = g.TrendPanel;

namespace {

bool windowShown() {
    return TrendPanel != 0 && ui::GetPanelAttributeInt(TrendPanel, ui::ATTR_PANEL_VISIBLE) == 1;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", v < 100.0 ? 2 : 0, v);
    return text;
}

// The highest finite y of the series on the axis.
double highest(const ui::ChartData& chart, int axis) {
    double top = 0.0;
    for (const ui::ChartSeries& s : chart.series) {
        if (s.axis != axis) continue;
        for (const ui::ChartPoint& p : s.points)
            if (std::isfinite(p.y)) top = std::max(top, static_cast<double>(p.y));
    }
    return top;
}

ui::ChartData timeAxisChart() {
    ui::ChartData chart;
    const TrendSpanDef& d = kTrendSpans[g.span];
    chart.x.title = g.span == kTrendSpan8Hours ? "Hours before now" : "Minutes before now";
    chart.x.min = -d.seconds / TrendSecondsPerUnit(g.span);
    chart.x.max = 0.0;
    chart.x.ticks = kTimeTicks[g.span];
    chart.x.shown = true;
    chart.left.shown = true;
    return chart;
}

ui::ChartSeries series(const std::string& name, int colour, int width, const TrendSeries& trend,
                       double scale, int axis = 0) {
    ui::ChartSeries s;
    s.name = name;
    s.color = colour;
    s.width = width;
    s.axis = axis;
    TrendPoints(trend, g.span, TrendSecond(), scale, s.points);
    return s;
}

// A trip point across the whole chart, dashed.
ui::ChartSeries tripLine(const std::string& name, int colour, double value,
                         const ui::ChartAxis& x) {
    ui::ChartSeries s;
    s.name = name;
    s.color = colour;
    s.width = 2;
    s.dashed = true;
    s.points = {{static_cast<float>(x.min), static_cast<float>(value)},
                {static_cast<float>(x.max), static_cast<float>(value)}};
    return s;
}

void finishAxis(ui::ChartData& chart, ui::ChartAxis& axis, int which) {
    const TrendScale scale = TrendAxisScale(highest(chart, which));
    axis.min = 0.0;
    axis.max = scale.top;
    axis.ticks = scale.ticks;
}

void drawPressureChart(bool metric) {
    ui::ChartData chart = timeAxisChart();
    const std::string units = metric ? "MPa" : "psi";
    const double scale = metric ? settings::kPsiToMpa : 1.0;
    chart.left.title = "Pressure (" + units + ")";
    chart.series.push_back(
        series("Treating pressure", kTreatingColour, 3, FleetTrend(kTrendTreatingPressure), scale));
    for (int i = 0; i < TREND_PUMP_COUNT; ++i)
        if (g.pumps[i] != kNoPumpChosen)
            chart.series.push_back(series(PumpName(g.pumps[i]), kSlotColours[i], 2,
                                          PumpPressureTrend(g.pumps[i]), scale));
    // The trip points in psi, from the units each record holds, then scaled like the series.
    const auto tripPsi = [](int pump) {
        return LiveUs(PumpTable[pump], &PumpRecord::TripPressure);
    };
    double lowest = 0.0;
    for (int p = 0; p < kPumpCount; ++p) {
        const float trip = tripPsi(p);
        if (PumpTable[p].Online != 0 && std::isfinite(trip) && trip > 0.0f &&
            (lowest == 0.0 || trip < lowest))
            lowest = trip;
    }
    if (lowest > 0.0)
        chart.series.push_back(tripLine("Lowest trip " + number(lowest * scale) + " " + units,
                                        kLowestTripColour, lowest * scale, chart.x));
    for (int i = 0; i < TREND_PUMP_COUNT; ++i) {
        if (g.pumps[i] == kNoPumpChosen) continue;
        const float trip = tripPsi(g.pumps[i]);
        if (std::isfinite(trip) && trip > 0.0f && trip != lowest)
            chart.series.push_back(
                tripLine(PumpName(g.pumps[i]) + " trip", kSlotColours[i], trip * scale, chart.x));
    }
    finishAxis(chart, chart.left, 0);
    ui::SetChartData(TrendPanel, TREND_PRESSURE_CHART, std::move(chart));
}

void drawRateChart(bool metric) {
    ui::ChartData chart = timeAxisChart();
    const double rateScale = metric ? settings::kBblToCubicMetres : 1.0;
    const std::string power = settings::PowerUnitsText();
    chart.left.title = metric ? "Rate (m\xC2\xB3/min)" : "Rate (bbl/min)";
    chart.right.title = "Hydraulic power (" + power + ")";
    chart.right.shown = true;
    chart.series.push_back(
        series("Total rate", kTotalRateColour, 3, FleetTrend(kTrendTotalRate), rateScale));
    chart.series.push_back(series("Total " + power, kPowerColour, 3, FleetTrend(kTrendTotalHhp),
                                  metric ? settings::kHpToKw : 1.0, 1));
    for (int i = 0; i < TREND_PUMP_COUNT; ++i)
        if (g.pumps[i] != kNoPumpChosen)
            chart.series.push_back(series(PumpName(g.pumps[i]) + " rate", kSlotColours[i], 2,
                                          PumpRateTrend(g.pumps[i]), rateScale));
    finishAxis(chart, chart.left, 0);
    finishAxis(chart, chart.right, 1);
    ui::SetChartData(TrendPanel, TREND_RATE_CHART, std::move(chart));
}

void showSpanButtons() {
    for (int i = 0; i < kTrendSpanCount; ++i) {
        ui::SetCtrlVal(TrendPanel, TREND_SPAN_10MIN + i, i == g.span ? 1 : 0);
        ui::SetCtrlAttribute(TrendPanel, TREND_SPAN_10MIN + i, ui::ATTR_TEXT_BGCOLOR,
                             i == g.span ? kSpanOnColour : ui::VAL_WHITE);
    }
}

int closeEvent(int panel, int event, void*, int, int) {
    if (event == ui::EVENT_CLOSE) ui::HidePanel(panel);
    return 0;
}

long newestBucket() {
    const long second = TrendSecond();
    return second < 0 ? -1 : second / kTrendSpans[g.span].bucketSeconds;
}

}  // namespace

void RefreshTrendWindow() {
    if (!windowShown()) return;
    const bool metric = settings::MetricUnits();
    drawPressureChart(metric);
    drawRateChart(metric);
    g.drawnBucket = newestBucket();
}

void ShowTrends(int, int, void*, int) {
    if (TrendPanel == 0 || !ui::PanelExists(TrendPanel)) {
        TrendPanel = ui::LoadPanel(0, kVnkUir, VNK_TRENDS);
        if (TrendPanel < 0) {
            TrendPanel = 0;
            return;
        }
        ui::InstallPanelCallback(TrendPanel, closeEvent);
        showSpanButtons();
    }
    ui::DisplayPanel(TrendPanel);
    RefreshTrendWindow();
}

int TrendTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    TrendSample(platform::Timer());
    if (windowShown() && newestBucket() != g.drawnBucket) RefreshTrendWindow();
    return 0;
}

int SetTrendSpan(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != TrendPanel) return 0;
    const int span = control - TREND_SPAN_10MIN;
    if (span >= 0 && span < kTrendSpanCount) g.span = span;
    showSpanButtons();
    RefreshTrendWindow();
    return 0;
}

int ChooseTrendPump(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != TrendPanel) return 0;
    const int slot = control - TREND_PUMP_FIRST;
    if (slot < 0 || slot >= TREND_PUMP_COUNT) return 0;
    const int pump = ui::GetCtrlInt(panel, control);
    g.pumps[slot] = pump >= 0 && pump < kPumpCount ? pump : kNoPumpChosen;
    RefreshTrendWindow();
    return 0;
}

int CloseTrends(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT) ui::HidePanel(panel);
    return 0;
}

void DiscardTrendWindow() {
    if (TrendPanel != 0 && ui::PanelExists(TrendPanel)) ui::DiscardPanel(TrendPanel);
    TrendPanel = 0;
}

void ResetTrendDisplay() {
    g = {};
    ResetTrends();
}
VNK_MODULE_STATE_RESET(operation, trend_display, g, ResetTrendDisplay)

void BindTrendCallbacks() {
    BindMenuCallback("ShowTrends", ShowTrends);
    BindCtrlCallback("TrendTimer", TrendTimer);
    BindCtrlCallback("SetTrendSpan", SetTrendSpan);
    BindCtrlCallback("ChooseTrendPump", ChooseTrendPump);
    BindCtrlCallback("CloseTrends", CloseTrends);
}

}  // namespace operation
