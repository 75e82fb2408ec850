// The display refresh tick in the UI model, without the Qt view: the station started on
// simulated lines, 24 pumps on line with changing values, the detail view open on one of
// them. The counter "writes" is the number of model changes a view would be told of per
// tick. Target for the whole tick with the view: under 5 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_station.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/panels.h"
#include "platform/event_loop.h"
#include "shell/main_sequence.h"
#include "ui/qt/qt_view.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"

using namespace pumplink;
using namespace operation;
using namespace shell;

namespace {

class CountingObserver : public ui::Observer {
  public:
    long writes = 0;
    void panelCreated(int) override {}
    void panelDiscarded(int) override {}
    void panelChanged(int) override { ++writes; }
    void controlChanged(int, int) override { ++writes; }
    void menuChanged(int) override {}
};

struct Station : BenchStation {
    Station() : BenchStation("vnk_display_bench") {
        StartUp();
        for (int p = 0; p < kPumpCount; ++p) {
            PumpRecord& r = PumpTable[p];
            r.Online = 1;
            r.VfdOn = 1;
            r.MaxRpm = 1800.0f;
            r.TripPressure = 12000.0f;
            std::strcpy(r.PumpId, "FRAC-01");
            PumpTable[p].SpeedCommand.Rpm = 1200;
            Bring_Frac_Offline(0, p);
        }
        // The detail view open on pump 5, as an operator would leave it.
        ui::Press(BankPanel[0], BankRow[5][windows::kPosDetail]);
        DisplayTimerTick(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);  // first-time colours, ids
    }

    // New values, as 24 data replies between two refreshes would leave them.
    void changeValues(long n) {
        for (int p = 0; p < kPumpCount; ++p) {
            PumpRecord& r = PumpTable[p];
            const float f = static_cast<float>((n + p) % 100);
            r.DischargePressure = 6000.0f + f;
            r.MotorRpm = 1400.0f + f;
            r.PumpRate = 10.0f + f / 100.0f;
            r.TotalVolume = 500.0f + f;
            r.HydraulicHp = 1000.0f + f;
            r.OilTemperature = 120.0f + f / 10.0f;
            r.AlarmWord = (n + p) % 7 == 0 ? 0x0020 : 0;
        }
    }
};

void BM_DisplayRefreshTick(benchmark::State& state) {
    Station station;
    CountingObserver observer;
    ui::setObserver(&observer);
    long n = 0;
    for (auto _ : state) {
        station.changeValues(++n);
        DisplayTimerTick(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
    }
    ui::setObserver(nullptr);
    state.counters["writes"] =
        benchmark::Counter(static_cast<double>(observer.writes) / static_cast<double>(n));
    benchmark::DoNotOptimize(AverageDischargePressure);
}
BENCHMARK(BM_DisplayRefreshTick)->Unit(benchmark::kMicrosecond);

// The same tick with the Qt view attached (offscreen), including the repaint of every
// visible window that the tick's changes cause.
void BM_DisplayRefreshTickWithView(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "display_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    ui::qt::QtView view;
    ui::setObserver(&view);
    {
        Station station;
        ui::setObserver(&view);
        for (int b = 0; b < kBankCount; ++b) ui::DisplayPanel(BankPanel[b]);
        QApplication::processEvents();
        long n = 0;
        for (auto _ : state) {
            station.changeValues(++n);
            DisplayTimerTick(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
            QApplication::processEvents();  // layout and paint what changed
        }
    }
    ui::setObserver(nullptr);
}
BENCHMARK(BM_DisplayRefreshTickWithView)->Unit(benchmark::kMillisecond);

}  // namespace
