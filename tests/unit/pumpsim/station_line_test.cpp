// The station's direction of a simulated 19200-baud line: when a pump hears a packet, and so
// when its reply can be back, as vnk-sim --line-timing runs them.
#include <gtest/gtest.h>

#include <vector>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::StationLine;

constexpr double kByte = 1.0 / 1920.0;  // 10 bits at 19200 baud

// Good packets as the controller took them in, with the moment of each.
struct Heard {
    std::vector<double> at;
    explicit Heard(Controller& c) {
        c.setCommandObserver([this](const pumpsim::ReceivedCommand& rc) { at.push_back(rc.at); });
    }
};

std::vector<uint8_t> framed(const Packet& p) {
    return pumpsim::encodeRequest(p);
}

TEST(StationLine, APacketIsHeardWhenItsLastByteHasCrossedAndItsReplyLeavesAfterThat) {
    Controller c(0);
    Heard heard(c);
    StationLine line;
    const auto request = framed(shortCmd(0x18));
    ASSERT_EQ(request.size(), 10u);
    line.write(request, 1.0);
    EXPECT_DOUBLE_EQ(line.nextDue(), 1.0 + 10 * kByte);

    line.deliver(c, 1.0 + 9.5 * kByte);
    EXPECT_TRUE(heard.at.empty()) << "heard before its last byte crossed";
    EXPECT_FALSE(c.hasOutput());
    line.deliver(c, 1.0 + 10 * kByte);
    ASSERT_EQ(heard.at.size(), 1u);
    EXPECT_DOUBLE_EQ(heard.at[0], 1.0 + 10 * kByte);
    EXPECT_TRUE(line.idle());

    // The 98-byte data reply crosses after the controller's turnaround: a poll and its
    // record hold the line for tens of milliseconds.
    const auto out = c.takeOutput();
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].bytes.size(), 98u);
    EXPECT_DOUBLE_EQ(out[0].at, 1.0 + 10 * kByte + Controller::kDefaultTurnaround + 98 * kByte);
    EXPECT_GT(out[0].at - 1.0, 0.055);
}

TEST(StationLine, BytesQueueBehindThoseOnTheLineAndEachPacketIsHeardAtItsOwnEnd) {
    Controller c(0);
    Heard heard(c);
    StationLine line;
    // A speed command and a poll in one write, as a pseudo-terminal may hand them over, then
    // another poll written while both are still crossing.
    std::vector<uint8_t> two = framed(speedCmd(900, true));
    const size_t first = two.size();
    const auto poll = framed(shortCmd(0x18));
    two.insert(two.end(), poll.begin(), poll.end());
    line.write(two, 2.0);
    line.write(poll, 2.0 + kByte);
    const double end = 2.0 + static_cast<double>(two.size() + poll.size()) * kByte;

    line.deliver(c, 2.0 + 0.5);  // long after: each still at its own moment
    ASSERT_EQ(heard.at.size(), 3u);
    EXPECT_DOUBLE_EQ(heard.at[0], 2.0 + static_cast<double>(first) * kByte);
    EXPECT_DOUBLE_EQ(heard.at[1], 2.0 + static_cast<double>(two.size()) * kByte);
    EXPECT_DOUBLE_EQ(heard.at[2], end);
    EXPECT_EQ(c.setpoint(), 900);

    // A write after the line went quiet starts when it is written, not where the last ended.
    line.write(poll, 3.0);
    EXPECT_DOUBLE_EQ(line.nextDue(), 3.0 + 10 * kByte);
}

TEST(StationLine, APulledLineLosesWhatWasCrossing) {
    Controller c(0);
    Heard heard(c);
    StationLine line;
    const auto poll = framed(shortCmd(0x18));
    line.write(poll, 1.0);
    line.write(poll, 1.0);
    line.deliver(c, 1.0 + 10 * kByte);
    ASSERT_EQ(heard.at.size(), 1u);
    line.clear();
    EXPECT_TRUE(line.idle());
    line.deliver(c, 5.0);
    EXPECT_EQ(heard.at.size(), 1u) << "the second poll was on the pulled line";
    line.write(poll, 5.0);
    EXPECT_DOUBLE_EQ(line.nextDue(), 5.0 + 10 * kByte) << "the new line is free";
}

}  // namespace
}  // namespace pumpsim_test
