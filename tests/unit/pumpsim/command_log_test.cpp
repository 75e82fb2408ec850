// The log of what a unit took in: every good packet, speed commands as sent (not as clamped),
// and the line format vnk-sim writes with --log.
#include <gtest/gtest.h>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Handling;
using pumpsim::ReceivedCommand;

struct Recorder {
    std::vector<ReceivedCommand> seen;
    void attach(Controller& c) {
        c.setCommandObserver([this](const ReceivedCommand& r) { seen.push_back(r); });
    }
};

TEST(PumpsimCommandLog, ReportsEveryGoodPacketAsReceived) {
    Controller c(2);
    Recorder log;
    log.attach(c);
    c.setFailure(pumpsim::Failure{.silent = true});  // a unit that cannot answer still hears

    auto send = [&](const Packet& p, double at) {
        const auto bytes = pumpsim::encodeRequest(p);
        c.receive(bytes.data(), bytes.size(), at);
    };
    send(speedCmd(2500, true), 1.0);
    send(speedCmd(-50, true), 2.0);
    send(shortCmd(0x18), 3.0);
    send(shortCmd(0x3F), 4.0);
    send(Packet{0, 0x18, 0, 0, {}}, 5.0);
    auto bad = pumpsim::encodeRequest(dataCmd(0x35, {}));
    bad.back() ^= 0x01;
    c.receive(bad.data(), bad.size(), 6.0);
    send(dataCmd(0x35, {}), 7.0);

    ASSERT_EQ(log.seen.size(), 6u) << "the damaged frame is not a received command";
    const ReceivedCommand& fast = log.seen[0];
    EXPECT_EQ(fast.at, 1.0);
    EXPECT_EQ(fast.unit, 2);
    EXPECT_EQ(fast.packet.data, (std::vector<uint8_t>{0xC4, 0x09, 1, 0, 0, 0})) << "2500 as sent";
    EXPECT_EQ(fast.setpoint, 1900) << "what the unit made of it";
    EXPECT_EQ(fast.handling, Handling::Ack);
    EXPECT_EQ(log.seen[1].setpoint, 0);

    const std::pair<Handling, uint8_t> rest[] = {{Handling::Data, 0x18},
                                                 {Handling::Echo, 0x3F},
                                                 {Handling::Ignored, 0x18},
                                                 {Handling::Ack, 0x35}};
    for (size_t i = 0; i < std::size(rest); ++i) {
        EXPECT_EQ(log.seen[i + 2].handling, rest[i].first) << "packet " << i + 2;
        EXPECT_EQ(log.seen[i + 2].packet.code, rest[i].second) << "packet " << i + 2;
    }
    EXPECT_EQ(log.seen[5].at, 7.0);
}

TEST(PumpsimCommandLog, LinesCarryTheRawSpeedAndTheBytes) {
    Controller c(0);
    std::vector<std::string> lines;
    c.setCommandObserver(
        [&](const ReceivedCommand& r) { lines.push_back(pumpsim::commandLogLine(r)); });
    exchange(c, speedCmd(2500, true), 12.3456);
    exchange(c, speedCmd(-2, false), 13.0);
    exchange(c, shortCmd(0x01, 4), 14.0);
    exchange(c, dataCmd(0x35, {}), 15.0);
    exchange(c, dataCmd(0x1A, {0x10, 0x27}), 16.0);  // too short to act on

    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0],
              "t=12.346 pump=1 type=3 code=0x1a arg=0 data=c40901000000 rpm=2500 run=1 "
              "setpoint=1900 reply=ack\n");
    EXPECT_EQ(lines[1],
              "t=13.000 pump=1 type=3 code=0x1a arg=0 data=feff00000000 rpm=-2 run=0 "
              "setpoint=0 reply=ack\n");
    EXPECT_EQ(lines[2], "t=14.000 pump=1 type=1 code=0x01 arg=4 data=- reply=data\n");
    EXPECT_EQ(lines[3], "t=15.000 pump=1 type=3 code=0x35 arg=0 data=- reply=ack\n");
    EXPECT_EQ(lines[4], "t=16.000 pump=1 type=3 code=0x1a arg=0 data=1027 reply=echo\n")
        << "no speed fields without the run byte";
}

}  // namespace
}  // namespace pumpsim_test
