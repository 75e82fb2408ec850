// The E-stop sample's own work, without the wake-up that brings it: one tick of the E-stop
// timer on a started station (simulated back ends, the loop closed, nothing to do but read
// and judge), and one with the loop broken between idle rounds. At 100 samples a second a
// tick of t ns costs t / 100 000 % of one core; the wake-up itself is estop_sampler_bench's.
#include <benchmark/benchmark.h>

#include "bench_station.h"
#include "safety/estop.h"
#include "shell/main_sequence.h"
#include "ui/ui_model.h"

namespace {

struct Station : BenchStation {
    Station() : BenchStation("vnk_estop_tick_bench") { shell::StartUp(); }
};

void BM_EStopSampleLoopClosed(benchmark::State& state) {
    Station station;
    station.system.status = 0x10;
    for (auto _ : state) safety::EStopTimerTick(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
    benchmark::DoNotOptimize(safety::EStopCount);
}
BENCHMARK(BM_EStopSampleLoopClosed);

// Broken and held: the ticks between two idle rounds (the virtual clock stands still, so no
// round falls due after the first).
void BM_EStopSampleLoopBroken(benchmark::State& state) {
    Station station;
    station.system.status = 0x00;
    safety::EStopTimerTick(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
    for (auto _ : state) safety::EStopTimerTick(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
    benchmark::DoNotOptimize(safety::EStopCount);
}
BENCHMARK(BM_EStopSampleLoopBroken);

}  // namespace
