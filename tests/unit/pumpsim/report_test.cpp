// What vnk-sim writes for other processes: the log of what a unit took in (every good packet,
// speed commands as sent, not as clamped) and the fleet state file.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "line.h"

namespace pumpsim_test {
namespace {

TEST(PumpsimCommandLog, EveryGoodPacketAsReceivedWithTheRawSpeed) {
    Controller c(0);
    std::vector<std::string> lines;
    c.setCommandObserver(
        [&](const pumpsim::ReceivedCommand& r) { lines.push_back(pumpsim::commandLogLine(r)); });
    c.setFailure(pumpsim::Failure{.silent = true});  // a unit that cannot answer still hears
    auto send = [&](const Packet& p, double at) {
        const auto bytes = pumpsim::encodeRequest(p);
        c.receive(bytes.data(), bytes.size(), at);
    };
    send(speedCmd(2500, true), 12.3456);
    send(speedCmd(-2, false), 13.0);
    send(shortCmd(0x01, 4), 14.0);
    send(dataCmd(0x1A, {0x10, 0x27}), 15.0);  // too short to act on
    send(Packet{0, 0x18, 0, 0, {}}, 16.0);
    auto bad = pumpsim::encodeRequest(dataCmd(0x35, {}));
    bad.back() ^= 0x01;
    c.receive(bad.data(), bad.size(), 17.0);
    send(dataCmd(0x35, {}), 18.0);

    const std::vector<std::string> want = {
        "t=12.346 pump=1 type=3 code=0x1a arg=0 data=c40901000000 rpm=2500 run=1 setpoint=1900 "
        "reply=ack\n",
        "t=13.000 pump=1 type=3 code=0x1a arg=0 data=feff00000000 rpm=-2 run=0 setpoint=0 "
        "reply=ack\n",
        "t=14.000 pump=1 type=1 code=0x01 arg=4 data=- reply=data\n",
        "t=15.000 pump=1 type=3 code=0x1a arg=0 data=1027 reply=echo\n",  // no run byte
        "t=16.000 pump=1 type=0 code=0x18 arg=0 data=- reply=none\n",
        "t=18.000 pump=1 type=3 code=0x35 arg=0 data=- reply=ack\n",  // not the damaged frame
    };
    EXPECT_EQ(lines, want);
}

// The fleet state's first part, read the way the first readers of the file read it.
struct OldStateLine {
    double rpm = 0, psi = 0, gpm = 0;
    unsigned tripPsi = 0;
    int driveOn = 0, tripped = 0;
    std::string id;
};
std::map<int, OldStateLine> readOldState(const std::string& text) {
    std::map<int, OldStateLine> out;
    std::istringstream f(text);
    int pump = 0;
    OldStateLine s;
    while (f >> pump >> s.rpm >> s.psi >> s.gpm >> s.tripPsi >> s.driveOn >> s.tripped >> s.id)
        out[pump] = s;
    return out;
}

// The key=value lines, by pump, and the time line.
std::map<int, std::map<std::string, std::string>> readFields(const std::string& text,
                                                             std::string& time) {
    std::map<int, std::map<std::string, std::string>> out;
    std::istringstream f(text);
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind("time=", 0) == 0) time = line.substr(5);
        if (line.rfind("pump=", 0) != 0) continue;
        std::map<std::string, std::string> fields;
        std::istringstream words(line);
        std::string w;
        while (words >> w) {
            const size_t eq = w.find('=');
            if (eq != std::string::npos) fields[w.substr(0, eq)] = w.substr(eq + 1);
        }
        out[std::stoi(fields["pump"])] = fields;
    }
    return out;
}

TEST(PumpsimFleetState, OldFieldsFirstThenEveryWord) {
    pumpsim::Fleet fleet(3);
    Controller& running = fleet.unit(0);
    Controller& tripped = fleet.unit(1);
    Controller& quiet = fleet.unit(2);
    ask(running, speedCmd(2500, true), 0.0);
    ask(running, dataCmd(0x3C, {30, 0, 0, 0, 60, 0, 0, 0}), 0.0);
    ask(running, dataCmd(0x33, {0x05, 0x80}), 0.0);
    ask(tripped, speedCmd(1000, true), 0.0);
    ask(tripped, dataCmd(0x36, {1}), 0.0);
    quiet.setReportsSetpoint(false);
    ask(quiet, speedCmd(700, false), 0.0);
    fleet.advance(20.0);
    tripped.trip(0x0010);
    tripped.setFault(0x0202);
    tripped.raiseAlarms(0x4001);
    fleet.advance(20.5);

    const std::string text = pumpsim::fleetStateText(fleet, 20.5);
    const auto old = readOldState(text);
    ASSERT_EQ(old.size(), 3u) << "the old reader stops where the new part begins\n" << text;
    EXPECT_NEAR(old.at(1).rpm, 1900.0, 0.05);
    EXPECT_NEAR(old.at(1).psi, running.dischargePsi(), 0.05);
    EXPECT_NEAR(old.at(1).gpm, running.rateGpm(), 0.005);
    EXPECT_EQ(old.at(1).tripPsi, 10000u);
    EXPECT_EQ(old.at(1).driveOn, 1);
    EXPECT_EQ(old.at(2).tripped, 1);
    EXPECT_EQ(old.at(3).driveOn, 0);
    EXPECT_EQ(old.at(3).id, "FP-0103");

    // The words: what the first part does not carry, for a unit whose every word is set.
    std::string time;
    auto fields = readFields(text, time);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(time, "20.500");
    const std::map<std::string, std::string> want2 = {
        {"setpoint", "0"},   {"status", "0x00c0"},
        {"trip", "0x0010"},  {"fault", "0x0202"},
        {"alarm", "0x4001"}, {"override", "1"},
        {"auto", "0"},       {"last_trip_psi", std::to_string(tripped.lastTripPsi())}};
    for (const auto& [key, value] : want2) EXPECT_EQ(fields[2][key], value) << key;
    EXPECT_EQ(fields[1]["alarm_options"], "0x8005");
    EXPECT_EQ(fields[1]["timeout1"], "30");
    EXPECT_EQ(fields[3]["reports_setpoint"], "0");
    EXPECT_EQ(fields[1]["line_ok"], "1");
    pumpsim::applyFailureMode(quiet, "silent");
    EXPECT_EQ(readFields(pumpsim::fleetStateText(fleet, 21.0), time)[3]["line_ok"], "0");
}

}  // namespace
}  // namespace pumpsim_test
