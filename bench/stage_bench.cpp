// The cost of a running stage's sums: one tick of the stage timer with 24 pumps on line and
// pumping, the save to the journal's SQLite file every tenth tick included (a stage saves
// every 10 s). The timer runs once a second, so a tick of t ns costs t / 10 000 000 % of one
// core.
#include <benchmark/benchmark.h>

#include "bench_station.h"
#include "link/pump_table.h"
#include "platform/journal.h"
#include "platform/real/sqlite_journal.h"
#include "stages/stages.h"

namespace {

void BM_StageTick24Pumps(benchmark::State& state) {
    BenchStation station("vnk_stage_bench");
    platform::SqliteJournal db;
    std::string notice;
    if (!db.open((station.home / "journal.db").string(), notice)) {
        state.SkipWithError(notice.c_str());
        return;
    }
    journal::SetStore(&db);
    for (int p = 0; p < pumplink::kPumpCount; ++p) {
        pumplink::PumpRecord& r = pumplink::PumpTable[p];
        r.Online = 1;
        r.PumpRate = 4.0f + 0.1f * static_cast<float>(p);
        r.DischargePressure = 8000.0f;
        r.HydraulicHp = 900.0f;
        r.TotalVolume = 100.0f;
    }
    stages::BeginStage(1, "Bench", "Well");
    double now = 0.0;
    for (auto _ : state) {
        now += 1.0;
        for (int p = 0; p < pumplink::kPumpCount; ++p) pumplink::PumpTable[p].TotalVolume += 0.07f;
        stages::StageTick(now);
    }
    benchmark::DoNotOptimize(stages::CurrentStage().volume());
    journal::SetStore(nullptr);
}
BENCHMARK(BM_StageTick24Pumps);

}  // namespace
