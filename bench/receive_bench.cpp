// The pump link's receive path over a stream of data replies: assembler, CRC, dispatch and
// decoding into the Pump Table, in bytes per second on one core. The link needs about
// 46 KB/s for 24 ports at 19200 baud.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "link/directcontrol.h"
#include "link/pump_table.h"
#include "link/serial_interface.h"
#include "common/wire.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/sim/sim_serial.h"
#include "platform/sim_loop.h"
#include "ui/popups.h"

namespace {

constexpr int kPump = 0;
constexpr int kPort = 1;
constexpr int kReplies = 1000;

struct World {
    platform::SimLoop loop;
    platform::RegistryStore store;
    ui::ScriptedPopups popups;
    platform::SimSerial serial;

    explicit World(bool metric) {
        platform::setLoop(&loop);
        platform::setRegistry(&store);
        ui::setPopupBackEnd(&popups);
        platform::setSerialBackEnd(&serial);
        serial.addPort(kPort);
        ResetLink();
        LinkHooks hooks;
        hooks.displayUnits = [metric]() { return metric ? 1 : 0; };
        SetLinkHooks(hooks);
        PumpTable[kPump].ComPort = kPort;
        PortConfig[kPump].Mode = 1;
        platform::OpenComConfig(kPort, "", 19200, 0, 8, 1, 4096, 4096);
        platform::InstallComCallback(kPort, platform::kEventCharReceived, 0, 1,
                                     SerialReceiveCallback, nullptr);
        // On line already: the stream is the steady state, not first contact.
        PumpTable[kPump].Online = 1;
        SetPumpRowDimmed(kPump, false);
    }
    ~World() {
        ResetLink();
        platform::setSerialBackEnd(nullptr);
        ui::setPopupBackEnd(nullptr);
        platform::setRegistry(nullptr);
        platform::setLoop(nullptr);
    }
};

// kReplies data replies as a controller frames them, each with different values.
std::vector<std::uint8_t> replyStream() {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < kReplies; ++i) {
        std::uint8_t p[98] = {0x16, 0x01, 0x01, 0x00, 0x80 | 0x18, 0x00, 0x00, 88};
        std::uint8_t* d = p + 8;
        for (int f = 0; f < 14; ++f) wire::putF32(d + 4 * f, 100.0f + static_cast<float>(i + f));
        wire::putU16(d + 66, static_cast<std::uint16_t>(1000 + i));
        wire::putU16(d + 68, 0x00A0);
        wire::putU16(d + 78, 9500);
        d[82] = 1;
        d[84] = 1;
        const std::uint16_t crc = Crc16(p, 96);
        p[96] = static_cast<std::uint8_t>(crc >> 8);
        p[97] = static_cast<std::uint8_t>(crc);
        out.insert(out.end(), p, p + 98);
    }
    return out;
}

// Straight into the assembler, in reads of range(0) bytes.
void BM_AssembleAndDecode(benchmark::State& state) {
    World world(state.range(1) != 0);
    const auto stream = replyStream();
    const auto chunk = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            AssembleBytes(kPump, stream.data() + at, static_cast<int>(n));
        }
        benchmark::DoNotOptimize(PumpTable[kPump].MotorRpm);
    }
    if (PumpTable[kPump].RpmSetpoint != 1000 + kReplies - 1) state.SkipWithError("not decoded");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_AssembleAndDecode)
    ->ArgNames({"read", "metric"})
    ->Args({8, 0})
    ->Args({98, 0})
    ->Args({98, 1});

// Through the simulated port: bytes arrive, the receive callback runs on the loop, reads
// them with GetInQLen/ComRd and assembles.
void BM_SerialCallbackPath(benchmark::State& state) {
    World world(false);
    const auto stream = replyStream();
    const auto chunk = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            world.serial.arriveNow(kPort, stream.data() + at, n);
            world.loop.processEvents();
        }
        benchmark::DoNotOptimize(PumpTable[kPump].MotorRpm);
    }
    if (PumpTable[kPump].RpmSetpoint != 1000 + kReplies - 1) state.SkipWithError("not decoded");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_SerialCallbackPath)->ArgName("read")->Arg(98);

}  // namespace
