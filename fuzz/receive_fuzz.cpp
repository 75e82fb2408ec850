// Fuzzes the pump link's receive path: the assembler, the CRC, the dispatch and every
// decoder, fed arbitrary bytes in arbitrary pieces.
//
// The input is turned into a byte stream: its first byte seeds the chunking, the rest is a
// list of pieces, each either raw bytes or a packet framed here with a good (or, on
// request, broken) CRC so that the decoders behind the CRC are reached too. The stream is
// then received three times:
//   1. through a frame assembler and the decoder in the largest pieces it takes whole,
//   2. the same in pieces the input chooses (no larger than 1.),
//   3. through a simulated port and the pump session's receive callback, in pieces of any
//      size, so the guards against floods and the session's own steps are exercised.
// Checked: 1. and 2. deliver the same packets; every packet delivered has a good CRC and is
// N + 10 bytes long, at most kMaxPacketLength; a piece that delivers nothing leaves the Pump
// Table and the shared buffers untouched. Sanitizers check the rest.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
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

// The port for the third pass.
struct World {
    platform::SimLoop loop;
    platform::SimSerial serial;
    World() {
        platform::setLoop(&loop);
        platform::setSerialBackEnd(&serial);
        serial.addPort(kPort);
    }
};

World& world() {
    static World w;
    return w;
}

// Decodes what the assembler delivers, as the session would, and keeps a copy.
struct Decode final : FrameSink {
    bool metric = false;
    std::vector<std::vector<std::uint8_t>> packets;
    void frame(std::span<const std::uint8_t> p) override {
        packets.emplace_back(p.begin(), p.end());
        if (packetTypeOf(p[kOffTypeCode]) == PacketType::Data)
            DecodeDataReply(kPump, wireCodeOf(p[kOffTypeCode]), p[kOffArg1],
                            p.subspan(kHeaderSize, p.size() - kPacketOverhead), metric);
    }
};

std::vector<std::vector<std::uint8_t>> g_tapped;
void tap(int, std::span<const std::uint8_t> packet) {
    g_tapped.emplace_back(packet.begin(), packet.end());
}

[[noreturn]] void fail(const char* what) {
    fuzzsupport::fail("receive_fuzz", what);
}

// A small deterministic generator for the piece sizes.
struct Rng {
    std::uint32_t s;
    std::uint32_t next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
};

std::vector<std::uint8_t> buildStream(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    const auto take = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t op = take();
        if ((op & 0x80) == 0) {
            for (int n = op & 0x7F; n > 0 && i < size; --n) out.push_back(take());
            continue;
        }
        static constexpr std::uint8_t kByte3[4] = {0x00, 0x01, 0xFF, 0x02};
        std::vector<std::uint8_t> p = {0x16, 0x01, 0x01, kByte3[op & 3]};
        p.push_back(static_cast<std::uint8_t>((((op >> 5) & 3) << 6) | (take() & 0x3F)));
        p.push_back(take());  // argument 1
        p.push_back(0);
        const std::uint8_t n = take();
        p.push_back(n);
        for (int k = 0; k < n; ++k) p.push_back(take());
        std::uint16_t crc = Crc16(p);
        if ((op & 0x10) != 0) crc ^= 0x0001;
        p.push_back(static_cast<std::uint8_t>(crc >> 8));
        p.push_back(static_cast<std::uint8_t>(crc));
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

void checkPackets(const std::vector<std::vector<std::uint8_t>>& packets) {
    for (const auto& p : packets) {
        if (p.size() < static_cast<std::size_t>(kPacketOverhead)) fail("packet shorter than 10");
        if (p.size() > static_cast<std::size_t>(kMaxPacketLength)) fail("packet too long");
        if (p.size() != p[7] + static_cast<std::size_t>(kPacketOverhead)) fail("length not N+10");
        if (Crc16(p) != 0) fail("dispatched with a bad CRC");
        if (p[0] != 0x16 || p[1] != 0x01) fail("bad start bytes");
        if (p[3] != 0x00 && p[3] != 0x01 && p[3] != 0xFF) fail("bad byte 3");
    }
}

// Everything a received packet may change, as bytes.
std::vector<std::uint8_t> linkState() {
    std::vector<std::uint8_t> s;
    const auto add = [&s](const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        s.insert(s.end(), b, b + n);
    };
    add(&PumpTable[kPump], sizeof PumpTable[kPump]);
    for (const PumpRecord& r : PumpTable) {
        add(&r.PendingAiWrite, sizeof r.PendingAiWrite);
        add(&r.PowerOffCommanded, sizeof r.PowerOffCommanded);
    }
    add(AiConfig, sizeof AiConfig);
    add(FiConfig, sizeof FiConfig);
    add(AlarmLimits, sizeof AlarmLimits);
    add(AlarmOptions, sizeof AlarmOptions);
    return s;
}

std::vector<std::vector<std::uint8_t>> assembleInPieces(const std::vector<std::uint8_t>& stream,
                                                        bool metric, Rng* rng) {
    ResetPumpTable();
    FrameAssembler assembler;
    Decode sink;
    sink.metric = metric;
    std::size_t at = 0;
    while (at < stream.size()) {
        // Never so much that the assembly would reach its limit: those reads are dropped
        // whole, which is what makes the guard depend on the piece sizes.
        const auto room = static_cast<std::size_t>(kAssemblyLimit - 1 - assembler.pending());
        if (room == 0) fail("assembly at its limit");
        std::size_t n = std::min(room, stream.size() - at);
        if (rng != nullptr) n = std::min<std::size_t>(n, 1 + rng->next() % 40);
        const std::size_t before = sink.packets.size();
        const auto state = linkState();
        assembler.feed(std::span(stream).subspan(at, n), sink);
        if (sink.packets.size() == before && linkState() != state)
            fail("bytes without a good packet changed the table");
        at += n;
    }
    checkPackets(sink.packets);
    return sink.packets;
}

void receiveThroughPort(const std::vector<std::uint8_t>& stream, bool metric, Rng rng) {
    World& w = world();
    ResetLink();
    w.serial.takeWritten(kPort);
    g_tapped.clear();
    SetPacketTap(tap);
    LinkHooks hooks;
    hooks.displayUnits = [metric]() { return metric ? 1 : 0; };
    SetLinkHooks(hooks);
    PumpTable[kPump].ComPort = kPort;
    PumpTable[kPump].PortConfig.Mode = 1;
    platform::OpenComConfig(kPort, "", 19200, 0, 8, 1, 1024, 1024);
    platform::InstallComCallback(kPort, platform::kEventCharReceived, 0, 1, SerialReceiveCallback,
                                 nullptr);
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + rng.next() % 600);
        w.serial.arriveNow(kPort, stream.data() + at, n);
        w.loop.processEvents();
        if (platform::GetInQLen(kPort) != 0) fail("bytes left unread");
        at += n;
    }
    checkPackets(g_tapped);
    platform::CloseCom(kPort);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool metric = (data[0] & 0x80) != 0;
    const auto stream = buildStream(data + 1, size - 1);

    const auto whole = assembleInPieces(stream, metric, nullptr);
    Rng rng{data[0]};
    const auto pieces = assembleInPieces(stream, metric, &rng);
    if (whole != pieces) fail("pieces changed what was dispatched");
    receiveThroughPort(stream, metric, Rng{data[0] * 7u + 3u});
    return 0;
}
