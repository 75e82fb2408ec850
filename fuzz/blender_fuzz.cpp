// Fuzzes what the blender computer sends: the station's client connected to a simulated peer
// that sends the input in pieces, with the inline overpressure trip on.
//
// Input: two bytes choose the trip value (1000 to 25000 psi); then pieces, each a byte h and
// (h & 0x7F) + 1 bytes of text. A piece with bit 7 of h clear ends a batch: the station reads
// what came before the next one is sent (a batch of several pieces arrives together and is
// read in messages of up to 255 bytes). The peer closes at the end.
// Checked:
//  - every message is answered once with a whole 292-byte block, in the order they came;
//  - a pressure reading over the trip value is never missed: a plain reading ("6523.4",
//    "  +15000", "9000 psi") of up to 64 characters, ended by CR, LF or NUL, that comes after
//    the peer's first line end trips the station while it arrives (in one of the batches that
//    carried it), however TCP cut it;
//  - the log keeps at most eleven lines, none with a control character; the close is shown
//    once, after everything.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/blender_client.h"
#include "fuzz_support.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/registry.h"
#include "platform/sim/sim_tcp.h"
#include "platform/sim_loop.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "shell/main_sequence.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

namespace {

[[noreturn]] void fail(const std::string& what) {
    fuzzsupport::fail("blender_fuzz", what);
}

struct World {
    platform::SimLoop loop;
    platform::RegistryStore store;  // in memory
    ui::ScriptedPopups popups;
    World() {
        platform::setLoop(&loop);
        platform::setRegistry(&store);
        ui::setPopupBackEnd(&popups);
        ::unsetenv("VNK_BLENDER_PORT");
        shell::ResetStation();
    }
    void settle() { loop.advance(0.01); }
};

World& world() {
    static World w;
    return w;
}

int g_batch = 0;               // the batch being read
std::vector<int> g_tripBatches;  // the batch of each trip
void tripped() {
    g_tripBatches.push_back(g_batch);
}

// A plain reading over the trip value: blanks, an optional '+', digits with an optional
// fraction, then nothing or a blank and anything. Other texts are left to the sanitizers.
bool plainOverTrip(const std::string& reading, double trip) {
    std::size_t i = reading.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    if (reading[i] == '+') ++i;
    const std::size_t from = i;
    while (i < reading.size() && reading[i] >= '0' && reading[i] <= '9') ++i;
    if (i == from) return false;
    if (i < reading.size() && reading[i] == '.') {
        ++i;
        while (i < reading.size() && reading[i] >= '0' && reading[i] <= '9') ++i;
    }
    if (i < reading.size() && reading[i] != ' ') return false;
    const double value = std::strtod(reading.substr(from, i - from).c_str(), nullptr);
    return std::trunc(value) >= trip;
}

bool separator(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    World& w = world();
    const float trip = 1000.0f + static_cast<float>((data[0] | (data[1] << 8)) % 24001);

    // The pieces and the batch each byte of the stream came in.
    std::vector<std::string> batches(1);
    std::vector<int> batchOf;
    std::string stream;
    for (std::size_t i = 2; i < size;) {
        const std::uint8_t h = data[i++];
        const std::size_t n = std::min<std::size_t>((h & 0x7Fu) + 1u, size - i);
        const std::string piece(reinterpret_cast<const char*>(data + i), n);
        i += n;
        batches.back() += piece;
        stream += piece;
        batchOf.insert(batchOf.end(), n, static_cast<int>(batches.size()) - 1);
        if ((h & 0x80) == 0 && i < size) batches.emplace_back();
    }

    client::ResetClient();
    safety::ResetOptionalTrips();
    journal::Reset();
    w.popups.clear();
    safety::InlineTripEnabled = 1;
    safety::InlineTripValue = trip;
    safety::SetInlineTripHook(tripped);
    g_tripBatches.clear();
    platform::SimTcpNetwork net;
    platform::setTcpBackEnd(&net);
    std::strcpy(settings::Config.ServerName, "127.0.0.1");
    net.listen("127.0.0.1", client::BlenderPort());
    client::LoadClient();
    w.settle();
    if (!client::ClientConnected() || net.peers().size() != 1) fail("no connection");
    platform::SimTcpPeer& peer = net.peers().back();

    std::size_t messages = 0;
    for (std::size_t b = 0; b < batches.size(); ++b) {
        g_batch = static_cast<int>(b);
        if (batches[b].empty()) continue;
        peer.send(batches[b]);
        w.settle();
        messages += (batches[b].size() + client::kMaxMessage - 1) / client::kMaxMessage;
    }
    const std::string& got = peer.received();
    if (got.size() != messages * client::kReplySize)
        fail("messages and replies differ: " + std::to_string(messages) + " messages, " +
             std::to_string(got.size()) + " bytes of replies");
    const auto block = client::BuildReply();
    for (std::size_t at = 0; at < got.size(); at += client::kReplySize)
        if (std::memcmp(got.data() + at, block.data(), client::kReplySize) != 0)
            fail("a reply that is not the fleet's block");

    // Every plain reading over the trip after the first line end tripped while it came in.
    const std::size_t first = stream.find_first_of(std::string("\r\n\0", 3));
    std::size_t start = first == std::string::npos ? stream.size() : first + 1;
    for (std::size_t end = start; end < stream.size(); ++end) {
        if (!separator(stream[end])) continue;
        const std::string reading = stream.substr(start, end - start);
        if (!reading.empty() && reading.size() <= 64 && plainOverTrip(reading, trip)) {
            bool seen = false;
            for (int t : g_tripBatches) seen = seen || (t >= batchOf[start] && t <= batchOf[end]);
            if (!seen) fail("the reading \"" + reading + "\" over the trip did not trip");
        }
        start = end + 1;
    }

    if (client::ClientLog().size() > static_cast<std::size_t>(client::kMaxLogLines))
        fail("the log holds more than eleven lines");
    for (const std::string& line : client::ClientLog())
        for (char c : line)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                fail("a control character in the log");

    peer.close();
    w.settle();
    if (client::ClientConnected()) fail("still connected after the close");
    if (w.popups.count("Connection Closed") != 1) fail("the close not shown once");
    client::CloseClient();
    platform::setTcpBackEnd(nullptr);
    return 0;
}
