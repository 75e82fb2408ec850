// Failure modes of the simulated controller, and garbage on the line towards it.
#include <gtest/gtest.h>

#include <algorithm>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Chunk;
using pumpsim::Failure;

// The station's receive rules, reduced to what decides whether a reply survives the line:
// hunt for 0x16; a wrong second byte drops both bytes; byte 3 must be 00, 01 or FF; the length
// comes from byte 7; the CRC over the whole packet must leave 0.
struct StationRx {
    std::vector<uint8_t> buf;
    int expected = -1;
    uint16_t crc = 0;
    std::vector<std::vector<uint8_t>> packets;
    int badCrc = 0;

    void reset() {
        buf.clear();
        crc = 0;
        expected = -1;
    }
    void feed(const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes) {
            const size_t count = buf.size();
            if (count == 0 && b != 0x16) continue;
            if ((count == 1 && b != 0x01) || (count == 3 && b != 0x00 && b != 0x01 && b != 0xFF)) {
                reset();
                continue;
            }
            if (count == 7) expected = b + 10;
            buf.push_back(b);
            crc = pumpsim::crc16Update(crc, b);
            if (static_cast<int>(buf.size()) == expected) {
                if (crc == 0)
                    packets.push_back(buf);
                else
                    ++badCrc;
                reset();
            }
        }
    }
};

// A unit in a known running state; twins built the same way answer byte for byte the same.
Controller runningUnit() {
    Controller c(2);
    ask(c, speedCmd(1200, true), 0.0);
    c.advance(10.0);
    return c;
}

std::vector<Chunk> request(Controller& c, const Packet& p, double now) {
    const auto bytes = pumpsim::encodeRequest(p);
    c.receive(bytes.data(), bytes.size(), now);
    return c.takeOutput();
}

std::vector<uint8_t> joined(const std::vector<Chunk>& chunks) {
    std::vector<uint8_t> out;
    for (const auto& ch : chunks) out.insert(out.end(), ch.bytes.begin(), ch.bytes.end());
    return out;
}

TEST(PumpsimFailure, SilentUnitObeysButNeverAnswers) {
    Controller c(0);
    c.setFailure(Failure{.silent = true});
    EXPECT_TRUE(request(c, speedCmd(1000, true), 0.0).empty());
    EXPECT_TRUE(request(c, shortCmd(0x18), 1.0).empty());
    EXPECT_EQ(c.setpoint(), 1000);
    EXPECT_EQ(c.counters().received, 2u);
    EXPECT_EQ(c.counters().answered, 0u);

    c.setFailure(Failure{});
    EXPECT_EQ(parseReplies(joined(request(c, shortCmd(0x18), 2.0))).size(), 1u) << "recovers";
}

TEST(PumpsimFailure, CorruptCrcIsRejectedByTheStation) {
    Controller good = runningUnit();
    Controller bad = runningUnit();
    bad.setFailure(Failure{.corruptCrc = true});
    const auto g = joined(request(good, shortCmd(0x18), 10.0));
    const auto b = joined(request(bad, shortCmd(0x18), 10.0));
    ASSERT_EQ(g.size(), b.size());
    EXPECT_TRUE(std::equal(g.begin(), g.end() - 1, b.begin())) << "only the CRC differs";
    EXPECT_NE(g.back(), b.back());

    StationRx rx;
    rx.feed(b);
    EXPECT_TRUE(rx.packets.empty());
    EXPECT_EQ(rx.badCrc, 1);
}

TEST(PumpsimFailure, NoiseBetweenRepliesIsSurvivable) {
    Controller c = runningUnit();
    c.setFailure(Failure{.noise = true});
    StationRx rx;
    size_t bytes = 0;
    size_t starts = 0;
    for (int i = 0; i < 20; ++i) {
        const auto out = joined(request(c, shortCmd(0x18), 10.0 + i));
        bytes += out.size();
        starts += static_cast<size_t>(std::count(out.begin(), out.end(), uint8_t{0x16}));
        rx.feed(out);
    }
    EXPECT_GT(bytes, 20u * 98u) << "garbage on the line";
    EXPECT_GT(starts, 40u) << "with stray start bytes";
    EXPECT_EQ(rx.packets.size(), 20u) << "yet every reply comes through";
    EXPECT_EQ(rx.badCrc, 0);
    for (const auto& p : rx.packets) EXPECT_EQ(p.size(), 98u);
}

TEST(PumpsimFailure, OneByteAtATimeKeepsTheBytes) {
    Controller normal = runningUnit();
    Controller slow = runningUnit();
    slow.setFailure(Failure{.oneByteAtATime = true});
    const auto whole = request(normal, shortCmd(0x18), 10.0);
    const auto bytes = request(slow, shortCmd(0x18), 10.0);

    ASSERT_EQ(bytes.size(), 98u) << "one chunk per byte";
    EXPECT_DOUBLE_EQ(bytes.back().at, whole.back().at) << "last byte arrives as in one piece";
    EXPECT_EQ(joined(bytes), joined(whole));

    // Noisy and byte by byte together still reaches the station intact.
    slow.setFailure(Failure{.noise = true, .oneByteAtATime = true});
    StationRx rx;
    rx.feed(joined(request(slow, shortCmd(0x1E), 11.0)));
    ASSERT_EQ(rx.packets.size(), 1u);
    EXPECT_EQ(rx.packets[0][4], 0x9E);
}

TEST(PumpsimFailure, ShortDataRecordAndHangUp) {
    Controller normal = runningUnit();
    Controller c = runningUnit();
    c.setFailure(Failure{.shortDataRecord = true, .hangUp = true});
    EXPECT_TRUE(c.hungUp()) << "reported for the transport";

    const Reply full = ask(normal, shortCmd(0x18), 10.0);
    const Reply r = ask(c, shortCmd(0x18), 10.0);
    ASSERT_EQ(r.data.size(), 60u);
    EXPECT_LT(r.data.size(), 88u);
    EXPECT_EQ(r.raw.size(), 70u);
    EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), full.data.begin()));
    EXPECT_EQ(ask(c, shortCmd(0x1B), 10.0).data.size(), 44u) << "other replies are whole";
}

}  // namespace
}  // namespace pumpsim_test
