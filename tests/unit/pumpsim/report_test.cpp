// What vnk-sim writes for other processes: the log of what a unit took in (every good packet,
// speed commands as sent, not as clamped). Its fleet state file is read by the blender peer,
// whose content test reads it.
#include <gtest/gtest.h>

#include "line.h"

namespace pumpsim_test {
namespace {

// The system tests and the benchmarks judge what a pump was sent by this log: a speed is
// logged as sent (2500, not the 1900 it was clamped to), by a unit that cannot answer too,
// and a damaged frame is not logged at all.
TEST(PumpsimCommandLog, EveryGoodPacketAsReceivedWithTheRawSpeed) {
    Controller c(0);
    std::vector<std::string> lines;
    c.setCommandObserver(
        [&](const pumpsim::ReceivedCommand& r) { lines.push_back(pumpsim::commandLogLine(r)); });
    c.setFailure(pumpsim::Failure{.silent = true});
    auto bad = pumpsim::encodeRequest(dataCmd(0x35, {}));
    bad.back() ^= 0x01;
    c.receive(bad.data(), bad.size(), 11.0);
    const auto speed = pumpsim::encodeRequest(speedCmd(2500, true));
    c.receive(speed.data(), speed.size(), 12.3456);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "t=12.346 pump=1 type=3 code=0x1a arg=0 data=c40901000000 rpm=2500 run=1 "
              "setpoint=1900 reply=ack\n");
}

}  // namespace
}  // namespace pumpsim_test
