// The pump link's receive path over a stream of data replies, in bytes per second on one
// core. The link needs about 46 KB/s for 24 ports at 19200 baud.
//   BM_AssembleAndDecode   the frame assembler and the decoder alone: no clock, no port
//   BM_SessionReceive      the pump session on bytes already read: assembler, dispatch,
//                          decoder, the queue's answer and the watchdog's note
//   BM_SerialCallbackPath  through a simulated port and the receive callback
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "common/wire.h"
#include "link/decoder.h"
#include "link/frame.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/serial.h"
#include "platform/sim/sim_serial.h"
#include "platform/sim_loop.h"

using namespace pumplink;

namespace {

constexpr int kPump = 0;
constexpr int kPort = 1;
constexpr int kReplies = 1000;

// kReplies data replies as a controller frames them, each with different values.
std::vector<std::uint8_t> replyStream() {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < kReplies; ++i) {
        std::uint8_t p[kHeaderSize + kDataRecordSize + 2] = {
            kStartByte,
            kSecondStartByte,
            0x01,
            0x00,
            typeAndCode(PacketType::Data, WireCode::DataRecord),
            0x00,
            0x00,
            kDataRecordSize};
        std::uint8_t* d = p + kHeaderSize;
        for (int f = 0; f < 14; ++f) wire::putF32(d + 4 * f, 100.0f + static_cast<float>(i + f));
        wire::putU16(d + record::kSetpoint, static_cast<std::uint16_t>(1000 + i));
        wire::putU16(d + record::kStatus, kStatusReportsSetpoint | 0x0020);
        wire::putU16(d + record::kTripPoint, 9500);
        d[record::kDriveOn] = 1;
        d[record::kAutoAllowed] = 1;
        const std::uint16_t crc = Crc16(std::span(p).first(sizeof p - 2));
        p[sizeof p - 2] = static_cast<std::uint8_t>(crc >> 8);
        p[sizeof p - 1] = static_cast<std::uint8_t>(crc);
        out.insert(out.end(), p, p + sizeof p);
    }
    return out;
}

// Runs the stream in reads of `chunk` bytes through feed(bytes) per iteration.
template <typename Feed>
void receiveStream(benchmark::State& state, std::size_t chunk, Feed feed) {
    const auto stream = replyStream();
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk)
            feed(std::span(stream).subspan(at, std::min(chunk, stream.size() - at)));
        benchmark::DoNotOptimize(PumpTable[kPump].MotorRpm);
    }
    if (PumpTable[kPump].RpmSetpoint != 1000 + kReplies - 1) state.SkipWithError("not decoded");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}

struct Decode final : FrameSink {
    bool metric = false;
    void frame(std::span<const std::uint8_t> p) override {
        DecodeDataReply(kPump, wireCodeOf(p[kOffTypeCode]), p[kOffArg1],
                        p.subspan(kHeaderSize, p.size() - kPacketOverhead), metric);
    }
};

void BM_AssembleAndDecode(benchmark::State& state) {
    ResetPumpTable();
    FrameAssembler assembler;
    Decode sink;
    sink.metric = state.range(1) != 0;
    receiveStream(state, static_cast<std::size_t>(state.range(0)),
                  [&](std::span<const std::uint8_t> bytes) { assembler.feed(bytes, sink); });
}
BENCHMARK(BM_AssembleAndDecode)
    ->ArgNames({"read", "metric"})
    ->Args({8, 0})
    ->Args({98, 0})
    ->Args({98, 1});

// A pump on line on a simulated port: the steady state, not first contact.
struct Station {
    platform::SimLoop loop;
    platform::SimSerial serial;
    explicit Station(bool metric) {
        platform::setLoop(&loop);
        platform::setSerialBackEnd(&serial);
        serial.addPort(kPort);
        ResetLink();
        LinkHooks hooks;
        hooks.displayUnits = [metric]() { return metric ? 1 : 0; };
        SetLinkHooks(hooks);
        PumpTable[kPump].ComPort = kPort;
        PumpTable[kPump].PortConfig.Mode = 1;
        platform::OpenComConfig(kPort, "", 19200, 0, 8, 1, 4096, 4096);
        platform::InstallComCallback(kPort, platform::kEventCharReceived, 0, 1,
                                     SerialReceiveCallback, nullptr);
        PumpTable[kPump].Online = 1;
        SetPumpRowDimmed(kPump, false);
    }
    ~Station() {
        ResetLink();
        platform::setSerialBackEnd(nullptr);
        platform::setLoop(nullptr);
    }
};

void BM_SessionReceive(benchmark::State& state) {
    Station station(state.range(1) != 0);
    receiveStream(state, static_cast<std::size_t>(state.range(0)),
                  [](std::span<const std::uint8_t> bytes) { AssembleBytes(kPump, bytes); });
}
BENCHMARK(BM_SessionReceive)
    ->ArgNames({"read", "metric"})
    ->Args({8, 0})
    ->Args({98, 0})
    ->Args({98, 1});

// Bytes arrive, the receive callback runs on the loop, reads them and assembles.
void BM_SerialCallbackPath(benchmark::State& state) {
    Station station(false);
    receiveStream(state, static_cast<std::size_t>(state.range(0)),
                  [&](std::span<const std::uint8_t> bytes) {
                      station.serial.arriveNow(kPort, bytes.data(), bytes.size());
                      station.loop.processEvents();
                  });
}
BENCHMARK(BM_SerialCallbackPath)->ArgName("read")->Arg(98);

}  // namespace
