// Remote monitoring's own work on the station's loop: one second of the publisher (one
// tick) with 24 pumps on line whose values all change every second, on the simulated
// broker, so that every pump goes out once a second with the heartbeat and the fleet. A
// second of t ns costs t / 10 000 000 % of one core. The client thread's share (libmosquitto,
// the socket) is measured on the real station: REMOTE=1 bash bench/station_cpu.sh.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_station.h"
#include "link/pump_table.h"
#include "platform/mqtt.h"
#include "platform/sim/sim_mqtt.h"
#include "remote/publisher.h"
#include "settings/remote_settings.h"

namespace {

void BM_RemoteSecondWith24PumpsChanging(benchmark::State& state) {
    BenchStation station("vnk_remote_tick_bench");
    platform::SimMqttBroker broker;
    platform::setMqttBackEnd(&broker);
    settings::RemoteSettings r;
    r.enabled = true;
    r.host = "broker";
    r.site = "bench";
    r.station = "van";
    settings::WriteRemoteSettings(r);
    using pumplink::PumpTable;
    for (int p = 0; p < pumplink::kPumpCount; ++p) {
        PumpTable[p].Online = 1;
        PumpTable[p].ConfiguredComPort = p + 1;
        PumpTable[p].MotorRpm = 1200.0f;
        PumpTable[p].DischargePressure = 8000.0f;
        PumpTable[p].PumpRate = 4.0f;
        PumpTable[p].TripPressure = 10000.0f;
        std::strcpy(PumpTable[p].PumpId, "FP-0100");
    }
    remote::StartRemote("bench");
    station.loop.advance(1.0);
    broker.published.clear();
    double messages = 0.0;
    for (auto _ : state) {
        for (int p = 0; p < pumplink::kPumpCount; ++p) {
            PumpTable[p].TotalVolume += 0.05f;
            PumpTable[p].LastRxAt = station.loop.now();
        }
        station.loop.advance(remote::kRemoteTickSeconds);
        remote::RemoteTick();
        messages += static_cast<double>(broker.published.size());
        broker.published.clear();
    }
    // Messages per second of the station's time: 24 pumps, the heartbeat and the fleet.
    state.counters["messages"] = benchmark::Counter(messages, benchmark::Counter::kAvgIterations);
    remote::ResetRemote();
    platform::setMqttBackEnd(nullptr);
}
BENCHMARK(BM_RemoteSecondWith24PumpsChanging)->Unit(benchmark::kMicrosecond);

}  // namespace
