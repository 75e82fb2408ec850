#include "ui/windows/trend_window.h"

#include <string>

#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {
// Narrower than the screen: with its frame it still fits on a 1024-pixel screen.
constexpr int kWidth = 1000;
constexpr int kHeight = 720;  // with a title bar and borders, within 768
constexpr int kButtonTop = 10;
constexpr int kButtonHeight = 56;
constexpr int kChartTop = kButtonTop + kButtonHeight + 10;
constexpr int kChartHeight = (kHeight - kChartTop - 16) / 2;
constexpr int kPumps = 24;
}  // namespace

void BuildTrendWindow(int panel) {
    SizePanel(panel, kWidth, kHeight, kNormalBack, "Trends");
    const char* spans[] = {"10 min", "1 h", "8 h"};
    for (int i = 0; i < 3; ++i) {
        ui::Control& b = ui::AddCtrl(panel, TREND_SPAN_10MIN + i, ui::CTRL_TOGGLE_BUTTON,
                                     spans[i], kButtonTop, 8 + 110 * i, 100, kButtonHeight);
        b.kind = ui::ValueKind::Integer;
        Attach(panel, TREND_SPAN_10MIN + i, "SetTrendSpan");
    }
    for (int i = 0; i < TREND_PUMP_COUNT; ++i) {
        const int left = 356 + 170 * i;
        AddCaption(panel, TREND_CAPTION_FIRST + i, "Pump " + std::string(1, char('A' + i)),
                   kButtonTop, left, 150, 18);
        ui::Control& ring = ui::AddCtrl(panel, TREND_PUMP_FIRST + i, ui::CTRL_RING, "",
                                        kButtonTop + 20, left, 150, 36);
        ring.kind = ui::ValueKind::Integer;
        Attach(panel, TREND_PUMP_FIRST + i, "ChooseTrendPump");
    }
    for (int i = 0; i < TREND_PUMP_COUNT; ++i) {
        ui::InsertListItem(panel, TREND_PUMP_FIRST + i, -1, "None", -1.0);
        for (int pump = 0; pump < kPumps; ++pump)
            ui::InsertListItem(panel, TREND_PUMP_FIRST + i, -1, PumpChoiceName(pump),
                               static_cast<double>(pump));
        ui::SetCtrlIndex(panel, TREND_PUMP_FIRST + i, 0);
    }
    ui::Control& close = AddButton(panel, TREND_CLOSE, "Close", kButtonTop, kWidth - 104, 96,
                                   kButtonHeight, "CloseTrends");
    close.bgColor = ui::VAL_LT_GRAY;
    ui::AddCtrl(panel, TREND_PRESSURE_CHART, ui::CTRL_CHART, "", kChartTop, 8, kWidth - 16,
                kChartHeight);
    ui::AddCtrl(panel, TREND_RATE_CHART, ui::CTRL_CHART, "", kChartTop + kChartHeight + 6, 8,
                kWidth - 16, kChartHeight);
}

}  // namespace windows
