// Framing on its own: the CRC, the two encoders, and the receive assembler: what makes a
// packet, what is dropped and why. Packets fed here are framed by the simulator's code.
// (That a packet cut anywhere assembles as whole is receive_fuzz's, over any stream.)
#include "link/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "support/link_fixture.h"

using namespace pumplink;

namespace {

using Bytes = std::vector<std::uint8_t>;
using linktest::ack;
using linktest::dataReply;
using linktest::reply;

struct Collect final : FrameSink {
    std::vector<Bytes> frames;
    std::vector<FrameDrop> drops;
    void frame(std::span<const std::uint8_t> p) override {
        frames.emplace_back(p.begin(), p.end());
    }
    void dropped(FrameDrop why) override { drops.push_back(why); }
};

class Assembler : public ::testing::Test {
  protected:
    // One read; the packets it completed.
    std::vector<Bytes> feed(const Bytes& bytes) {
        sink.frames.clear();
        assembler.feed(bytes, sink);
        return sink.frames;
    }
    FrameAssembler assembler;
    Collect sink;
};

Bytes record() {
    Bytes d(kDataRecordSize);
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(i * 7);
    return dataReply(WireCode::DataRecord, d);
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Crc, CheckValueAndSelfCheck) {
    const Bytes text = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(text), 0x31C3);
    // A framed packet run through the CRC with its own CRC bytes comes out 0.
    auto packet = record();
    EXPECT_EQ(Crc16(packet), 0);
    packet[20] ^= 0x01;
    EXPECT_NE(Crc16(packet), 0);
}

// Every test that sends checks the frames against the simulator's CRC; here the limits.
TEST(Encode, WhatDoesNotFitIsNotWritten) {
    std::array<std::uint8_t, kMaxFrameLength> out{};
    const std::uint8_t data[3] = {7, 8, 9};
    EXPECT_EQ(EncodeShort(out, WireCode::DataRecord, 7), 10u);
    EXPECT_EQ(EncodeData(out, WireCode::ShutdownOverride, 5, 6, data), 13u);
    EXPECT_EQ(EncodeShort(std::span(out).first(9), WireCode::DataRecord, 0), 0u);
    EXPECT_EQ(EncodeData(std::span(out).first(12), WireCode::ShutdownOverride, 0, 0, data), 0u);
    EXPECT_EQ(EncodeData(out, WireCode::AlarmLimits, 0, 0, Bytes(kMaxDataLength + 1)), 0u);
    EXPECT_EQ(EncodeData(out, WireCode::AlarmLimits, 0, 0, Bytes(kMaxDataLength)),
              static_cast<std::size_t>(kMaxFrameLength));
}

TEST_F(Assembler, HuntSkipsNoiseButAStrayStartSwallowsTheNextByte) {
    const Bytes packet = ack();
    // Noise without a start byte is skipped.
    EXPECT_EQ(feed(cat({0x00, 0x01, 0xFF, 0x55}, packet)).size(), 1u);
    EXPECT_TRUE(sink.drops.empty());
    // 0x16 0x00: the 0x00 restarts the hunt, the packet is found.
    EXPECT_EQ(feed(cat({0x16, 0x00}, packet)).size(), 1u);
    // 0x16 right before the packet: the packet's own 0x16 is the failing second byte and is
    // dropped, not taken as a start, so the packet is lost.
    EXPECT_TRUE(feed(cat({0x16}, packet)).empty());
    EXPECT_EQ(sink.drops.back(), FrameDrop::BadHeader);
    EXPECT_EQ(feed(packet).size(), 1u);  // hunting cleanly again
}

TEST_F(Assembler, HeaderByteThreeMustBeZeroOneOrFF) {
    for (int b3 : {0x00, 0x01, 0xFF})
        EXPECT_EQ(feed(reply(0, 0x1A, 0, {}, static_cast<std::uint8_t>(b3))).size(), 1u) << b3;
    EXPECT_TRUE(feed(reply(0, 0x1A, 0, {}, 0x02)).empty());  // good CRC, refused at byte 3
    EXPECT_EQ(assembler.pending(), 0);
}

TEST_F(Assembler, BadCrcIsDroppedAndTheNextPacketStillAssembles) {
    Bytes bad = record();
    bad[12] ^= 0x40;
    EXPECT_TRUE(feed(bad).empty());
    EXPECT_EQ(sink.drops, std::vector<FrameDrop>{FrameDrop::BadCrc});
    EXPECT_EQ(feed(record()).size(), 1u);
}

TEST_F(Assembler, TheLargestPacketIsTakenAndLongerOnesAreRefusedAtTheirLengthByte) {
    // N = 244: 254 bytes, the most an assembly holds.
    const Bytes largest = dataReply(WireCode::NetworkInfo, Bytes(244, 0x00));
    ASSERT_EQ(largest.size(), static_cast<std::size_t>(kMaxPacketLength));
    auto frames = feed(largest);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], largest);

    // N = 245 can never be completed, and N = 254 or 255 would wrap an 8-bit expected length
    // to 8 or 9 bytes, making a "packet" of a bare header and stale bytes: each is refused at
    // its length byte, however it arrives.
    for (int n : {245, 254, 255}) {
        const Bytes header(largest.begin(), largest.begin() + kHeaderSize - 1);
        sink.drops.clear();
        EXPECT_TRUE(feed(cat(header, {static_cast<std::uint8_t>(n)})).empty());
        EXPECT_EQ(sink.drops, std::vector<FrameDrop>{FrameDrop::TooLong}) << n;
        EXPECT_EQ(assembler.pending(), 0) << n;
    }
}

TEST_F(Assembler, AReadThatWouldReachTheLimitIsDroppedWhole) {
    const Bytes packet = ack();
    // 255 bytes with nothing assembled: all dropped, the good packet at the end too.
    Bytes flood(kAssemblyLimit - packet.size(), 0x00);
    flood = cat(flood, packet);
    EXPECT_FALSE(assembler.fits(flood.size()));
    EXPECT_TRUE(feed(flood).empty());
    EXPECT_EQ(sink.drops.back(), FrameDrop::Overflow);
    flood.erase(flood.begin());  // 254 is still read
    EXPECT_EQ(feed(flood).size(), 1u);

    // A partial packet and a read that would take it to 255: both go.
    const Bytes big = dataReply(WireCode::AlarmLimits, Bytes(128, 1));
    feed({big.begin(), big.begin() + 100});
    EXPECT_EQ(assembler.pending(), 100);
    Bytes rest(big.begin() + 100, big.end());
    rest.resize(155, 0x00);
    EXPECT_TRUE(feed(rest).empty());
    EXPECT_EQ(assembler.pending(), 0);
    EXPECT_EQ(assembler.expectedLength(), 0);
}

}  // namespace
