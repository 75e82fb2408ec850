// The trend window ("vnk.uir" window 11, titled "Trends"): the span buttons, three pump
// choices, Close, and two charts: pressures above, rates and hydraulic power below.
#pragma once

namespace windows {

enum TrendCtrl {
    TREND_SPAN_10MIN = 2,  // SetTrendSpan: the three span buttons, one of them on
    TREND_SPAN_1HOUR = 3,
    TREND_SPAN_8HOURS = 4,
    TREND_PUMP_FIRST = 5,  // ChooseTrendPump: rings 5..7, "None" (-1) or a pump (0-23)
    TREND_PUMP_COUNT = 3,
    TREND_CLOSE = 8,              // CloseTrends
    TREND_PRESSURE_CHART = 9,     // treating pressure, the chosen pumps' and the trip points
    TREND_RATE_CHART = 10,        // total rate, the chosen pumps' rates, total power (right)
    TREND_CAPTION_FIRST = 20,
};

void BuildTrendWindow(int panel);

}  // namespace windows
