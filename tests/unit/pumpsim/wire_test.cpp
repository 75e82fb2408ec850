// Framing, CRC and the controller's receive assembler.
#include <gtest/gtest.h>

#include <string_view>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Assembler;

TEST(PumpsimWire, CrcAndFramingMatchKnownBytes) {
    constexpr std::string_view check = "123456789";
    EXPECT_EQ(
        pumpsim::crc16(std::span(reinterpret_cast<const uint8_t*>(check.data()), check.size())),
        0x31C3);

    // The station's data request, worked out by hand: CRC 0x0B08 sent high byte first.
    EXPECT_EQ(pumpsim::encodeRequest(shortCmd(0x18)),
              (std::vector<uint8_t>{0x16, 0x01, 0xFF, 0x01, 0x58, 0x00, 0x00, 0x00, 0x0B, 0x08}));

    const auto reply = pumpsim::encodePacket(Packet{2, 0x1E, 0, 0, {'A', 'B', 0}});
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply[4], 0x9E);
    EXPECT_EQ(reply[7], 3);
    EXPECT_EQ(pumpsim::crc16(reply), 0) << "CRC over the whole packet leaves no remainder";

    std::vector<uint8_t> b(6);
    pumpsim::putU16(b, 0, 0x1234);
    pumpsim::putF32(b, 2, 1.0f);
    EXPECT_EQ(b, (std::vector<uint8_t>{0x34, 0x12, 0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(pumpsim::getI16(std::vector<uint8_t>{0xFE, 0xFF}, 0), -2);
}

TEST(PumpsimWire, AssemblesPacketSplitAtAnyBoundary) {
    const auto bytes = pumpsim::encodeRequest(dataCmd(0x1A, {0xDC, 0x05, 1, 0, 0, 0}));
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        Assembler a;
        std::vector<Packet> got;
        a.feed(std::span(bytes).first(cut), 1.0, got);
        a.feed(std::span(bytes).subspan(cut), 1.0, got);
        ASSERT_EQ(got.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(got[0].type, 3);
        EXPECT_EQ(got[0].code, 0x1A);
        EXPECT_EQ(got[0].data, (std::vector<uint8_t>{0xDC, 0x05, 1, 0, 0, 0}));
        EXPECT_TRUE(a.idle());
    }
}

TEST(PumpsimWire, BogusHeaderCannotSwallowTheNextPacket) {
    // A header announcing 80 data bytes, then a real request: the request sits inside the
    // bogus frame until the frame goes stale, and is found on the rescan.
    std::vector<uint8_t> stream = {0x16, 0x01, 0xFF, 0x01, 0x58, 0x00, 0x00, 80};
    const auto good = pumpsim::encodeRequest(shortCmd(0x1E));
    stream.insert(stream.end(), good.begin(), good.end());

    Assembler a;
    std::vector<Packet> got;
    a.feed(stream, 1.0, got);
    EXPECT_TRUE(got.empty());
    a.expire(1.0 + Assembler::kFrameGap / 2, got);
    EXPECT_TRUE(got.empty()) << "not stale yet";
    a.expire(1.0 + Assembler::kFrameGap * 2, got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 0x1E);
    EXPECT_TRUE(a.idle());
}

}  // namespace
}  // namespace pumpsim_test
