// The controller's receive assembler. Its CRC and framing are checked by every link test,
// which feeds the station packets framed by the simulator.
#include <gtest/gtest.h>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Assembler;

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
