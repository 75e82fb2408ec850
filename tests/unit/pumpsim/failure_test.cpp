// Failure modes of the simulated controller: that each is really on the line. What the
// station makes of such lines is the link's test against controllers on bad lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Chunk;
using pumpsim::Failure;

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

TEST(PumpsimFailure, NoiseGoesBetweenRepliesNeverIntoThem) {
    Controller clean = runningUnit();
    Controller noisy = runningUnit();
    noisy.setFailure(Failure{.noise = true});
    size_t garbage = 0;
    size_t starts = 0;
    for (int i = 0; i < 20; ++i) {
        const auto want = joined(request(clean, shortCmd(0x18), 10.0 + i));
        const auto got = joined(request(noisy, shortCmd(0x18), 10.0 + i));
        ASSERT_NE(std::search(got.begin(), got.end(), want.begin(), want.end()), got.end()) << i;
        garbage += got.size() - want.size();
        starts += static_cast<size_t>(std::count(got.begin(), got.end(), uint8_t{0x16}));
    }
    EXPECT_GT(garbage, 0u);
    EXPECT_GT(starts, 40u) << "with stray start bytes";
}

// The adapter modes, as vnk-sim's --fail gives them: "ok" ends the line's faults but does not
// put a pulled adapter back; "replug" does, and ends a hang-up with it (a new device).
TEST(PumpsimFailure, AnUnpluggedAdapterStaysOutUntilReplugWhateverOkSays) {
    const auto events = pumpsim::parseFailure("2-3=unplug@1.5", 4);
    ASSERT_TRUE(events.has_value());
    ASSERT_EQ(events->size(), 2u);
    EXPECT_EQ((*events)[1].unit, 2);
    EXPECT_DOUBLE_EQ((*events)[1].at, 1.5);
    ASSERT_TRUE(pumpsim::parseFailure("1=replug@4", 4).has_value());
    EXPECT_FALSE(pumpsim::parseFailure("1=unplugged", 4).has_value());

    Controller c = runningUnit();
    ASSERT_TRUE(pumpsim::applyFailureMode(c, "crc"));
    ASSERT_TRUE(pumpsim::applyFailureMode(c, "unplug"));
    EXPECT_TRUE(c.unplugged());
    ASSERT_TRUE(pumpsim::applyFailureMode(c, "ok"));
    EXPECT_TRUE(c.unplugged()) << "ok put the adapter back";
    EXPECT_FALSE(c.failure().corruptCrc);
    pumpsim::Fleet fleet(1);
    ASSERT_TRUE(pumpsim::applyFailureMode(fleet.unit(0), "unplug"));
    ASSERT_TRUE(pumpsim::applyFailureMode(fleet.unit(0), "ok"));
    EXPECT_NE(pumpsim::fleetStateText(fleet, 1.0).find("line_ok=0"), std::string::npos)
        << "the state file shows a pulled adapter's line as good";

    ASSERT_TRUE(pumpsim::applyFailureMode(c, "hangup"));
    ASSERT_TRUE(pumpsim::applyFailureMode(c, "replug"));
    EXPECT_FALSE(c.unplugged());
    EXPECT_FALSE(c.hungUp()) << "the new adapter's line would be dropped at once";
}

}  // namespace
}  // namespace pumpsim_test
