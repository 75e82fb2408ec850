// The blender peer without sockets: its judging of the station's replies, against vnk-sim's
// state file, and its failure modes. The system test takes the peer's "result=ok" for a
// station that answered well: here a peer that says so of a bad reply fails.
#include "blender_peer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

#include "pumpsim.h"
#include "station_block.h"

namespace blender_test {
namespace {

using blender::Peer;
using blender::PeerOptions;

std::span<const uint8_t, 292> span292(const std::vector<uint8_t>& b) {
    return std::span<const uint8_t, 292>(b.data(), 292);
}

// The peer's own reading of the station's block (its layout is checked by the content test
// below): a stream that lost or gained one to three bytes is caught, and so is a NaN.
TEST(BlenderReply, ShiftedBlocksAndNaNsAreImplausible) {
    std::vector<uint8_t> wire = goodBlock();
    const std::vector<uint8_t> second = goodBlock();
    wire.insert(wire.end(), second.begin(), second.end());
    EXPECT_EQ(blender::implausible(blender::decodeReply(span292(wire))), std::nullopt);
    for (size_t shift = 1; shift < 4; ++shift) {
        const auto cut = std::span<const uint8_t, 292>(wire.data() + 292 - shift, 292);
        EXPECT_NE(blender::implausible(blender::decodeReply(cut)), std::nullopt) << shift;
        const auto early = std::span<const uint8_t, 292>(wire.data() + shift, 292);
        EXPECT_NE(blender::implausible(blender::decodeReply(early)), std::nullopt) << shift;
    }
    std::vector<uint8_t> nan = goodBlock();
    putF32(nan, 12 + 12 * 3, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(blender::implausible(blender::decodeReply(span292(nan))), "pump 4 rate nan");
}

// A fleet of three: pumps 1 and 2 running, 3 with its drive off.
struct SimFleet {
    pumpsim::Fleet fleet{3};
    SimFleet() {
        for (int i = 0; i < 2; ++i) {
            fleet.unit(i).setDriveOn(true);
            fleet.unit(i).setSpeedSetpoint(1500 + 200 * i);
        }
        for (int s = 1; s <= 60; ++s) fleet.advance(0.5 * s);
    }
    blender::FleetState state() const {
        auto s = blender::parseFleetState(pumpsim::fleetStateText(fleet, 30.0));
        EXPECT_TRUE(s.has_value());
        return s.value_or(blender::FleetState{});
    }
    // The station's values of a pump, by its own conversions: gal/min / 42, and in metric
    // kPa, MPa and m3/min.
    Pump station(int i, bool metric) const {
        const pumpsim::Controller& c = fleet.unit(i);
        const double bpm = c.rateGpm() / 42.0;
        if (!metric)
            return {static_cast<float>(c.suctionPsi()), static_cast<float>(c.dischargePsi()),
                    static_cast<float>(bpm)};
        return {static_cast<float>(c.suctionPsi() * 6.8948),
                static_cast<float>(c.dischargePsi() * 0.0068948),
                static_cast<float>(bpm * 0.15899)};
    }
    std::array<Pump, 24> stationPumps(bool metric) const {
        std::array<Pump, 24> p{};
        for (int i = 0; i < 3; ++i) p[static_cast<size_t>(i)] = station(i, metric);
        return p;
    }
};

TEST(BlenderContent, StationValuesAgreeWithTheFleetInEitherUnitsAndFaultsAreNamed) {
    SimFleet sim;
    const blender::FleetState s = sim.state();
    blender::ContentOptions us, metric;
    metric.units = blender::Units::Metric;
    for (bool m : {false, true}) {
        const auto pumps = sim.stationPumps(m);
        const blender::Reply r = blender::decodeReply(span292(replyBlock(0.0f, pumps)));
        EXPECT_TRUE(blender::compareWithFleet(r, s, nullptr, m ? metric : us).empty()) << m;
    }

    struct Case {
        const char* name;
        std::function<void(std::array<Pump, 24>&)> change;
        const char* named;  // in the first disagreement; nullptr: none
    };
    const Case cases[] = {
        {"discharge 20% low", [](auto& p) { p[1].discharge *= 0.8f; }, "pump 2 discharge"},
        {"rate in gal/min", [](auto& p) { p[0].rate *= 42.0f; }, "pump 1 rate"},
        {"suction in kPa", [](auto& p) { p[0].suction *= 6.8948f; }, "pump 1 suction"},
        {"pump beyond the fleet", [](auto& p) { p[3].rate = 0.1f; }, "pump 4 off line"},
        {"values shifted one pump", [](auto& p) { std::rotate(p.begin(), p.begin() + 1, p.end()); },
         "pump 1"},
        {"within the tolerance", [](auto& p) { p[0].discharge *= 1.04f; }, nullptr},
    };
    for (const Case& c : cases) {
        auto pumps = sim.stationPumps(false);
        c.change(pumps);
        const auto diffs = blender::compareWithFleet(
            blender::decodeReply(span292(replyBlock(0.0f, pumps))), s, nullptr, us);
        if (c.named == nullptr) {
            EXPECT_TRUE(diffs.empty()) << c.name << ": " << (diffs.empty() ? "" : diffs[0]);
        } else {
            ASSERT_FALSE(diffs.empty()) << c.name;
            EXPECT_NE(diffs[0].find(c.named), std::string::npos) << c.name << ": " << diffs[0];
        }
    }

    // Declared off line, pump 1 must be zeros; a pump whose line is down may show anything.
    blender::ContentOptions offline = us;
    offline.offline[0] = true;
    auto pumps = sim.stationPumps(false);
    const auto r = blender::decodeReply(span292(replyBlock(0.0f, pumps)));
    EXPECT_EQ(blender::compareWithFleet(r, s, nullptr, offline).size(), 1u);
    blender::FleetState down = s;
    down.pumps[1].lineOk = false;
    pumps[1] = {1.0f, 2.0f, 3.0f};
    EXPECT_TRUE(blender::compareWithFleet(blender::decodeReply(span292(replyBlock(0.0f, pumps))),
                                          down, nullptr, us)
                    .empty());
}

// The peer behind a simulated connection: every millisecond a tick, the writes handed to a
// station stand-in whose answers arrive after their delays, and not at all while the peer is
// not reading (they wait on the wire until it reads again).
struct Answer {
    double delay = 0.002;
    std::vector<uint8_t> bytes = goodBlock();
};
using Station = std::function<std::vector<Answer>(int k, const std::string& text)>;

struct Link {
    explicit Link(PeerOptions o, blender::FailSchedule f = {}) : peer(std::move(o), std::move(f)) {}

    void run(double until, const Station& station) {
        for (; ms <= static_cast<long>(until * 1000.0); ++ms) {
            const double t = static_cast<double>(ms) / 1000.0;
            if (!peer.isConnected() && (listening.empty() || listening.back())) peer.connected(t);
            const blender::Actions a = peer.tick(t);
            listening.push_back(a.listen);
            if (a.close) {
                peer.disconnected(t);
                ++closes;
                wire.clear();
            }
            if (!a.write.empty()) {
                writes.emplace_back(t, a.write);
                for (Answer& ans : station(static_cast<int>(writes.size()) - 1, a.write))
                    wire.emplace(t + ans.delay, std::move(ans.bytes));
            }
            if (!a.read) continue;
            while (!wire.empty() && wire.begin()->first <= t) {
                peer.received(wire.begin()->second, t);
                wire.erase(wire.begin());
            }
        }
    }
    const blender::Summary& finish() {
        peer.finish(static_cast<double>(ms) / 1000.0);
        return peer.summary();
    }

    Peer peer;
    long ms = 0;
    std::multimap<double, std::vector<uint8_t>> wire;
    std::vector<std::pair<double, std::string>> writes;
    std::vector<bool> listening;
    int closes = 0;
};

PeerOptions quick() {
    PeerOptions o;
    o.settle = 0.0;
    o.basePsi = 6523.4;
    return o;
}

std::vector<Answer> answerEach(int, const std::string&) {
    return {Answer{}};
}

TEST(BlenderPeer, FailureModesInTurn) {
    blender::FailSchedule f;
    for (const char* text : {"split@2-3", "coalesce@4-6", "oversize:1000@6-7", "garbage@7", "ok@8",
                             "silent@8-9", "no-read@9-10", "close@10.5", "refuse@10.5-11"})
        f.add(*blender::parseFail(text));
    PeerOptions o = quick();
    o.terminator = blender::Terminator::CrLf;
    Link link(o, f);
    link.run(12.5, answerEach);

    std::map<long, std::string> at;  // by millisecond
    for (const auto& [t, text] : link.writes) at[std::lround(t * 1000.0)] = text;
    EXPECT_EQ(at[1000], "6523.4\r\n");
    EXPECT_EQ(at[2000], "6523") << "split: half now";
    EXPECT_EQ(at[2050], ".4\r\n") << "split: the rest 50 ms later";
    EXPECT_EQ(at.count(4000), 0u) << "coalesce: held";
    EXPECT_EQ(at[5000], "6523.4\r\n6523.4\r\n");
    EXPECT_EQ(at[6000].size(), 1000u);
    EXPECT_EQ(at[7000], "abc\r\n");
    EXPECT_EQ(at.count(8000), 0u) << "silent";
    EXPECT_EQ(at[9000], "6523.4\r\n") << "no-read still sends";
    EXPECT_EQ(link.closes, 1);
    EXPECT_FALSE(link.listening.at(10700));
    EXPECT_TRUE(link.listening.at(11000));
    const auto reopened = at.upper_bound(10500);
    ASSERT_NE(reopened, at.end());
    EXPECT_LE(reopened->first, 11002) << "speaks first on the new connection";

    const blender::Summary& s = link.finish();
    EXPECT_EQ(s.connections, 2u);
    EXPECT_EQ(s.messages, 12u);  // every second but 8; 4 and 5 went together
    EXPECT_EQ(s.writes, 12u);    // and 2 in two writes
    // A station answering every read: the split message got two replies, the coalesced pair
    // one, and the backlog of no-read came late; none of it is a fault.
    EXPECT_TRUE(s.good()) << s.line();
    EXPECT_EQ(s.replies, s.writes);
}

TEST(BlenderPeer, EachReplyFaultIsCountedAndFailsTheRun) {
    struct Case {
        const char* name;
        Station station;
        unsigned blender::Summary::*counter;
        unsigned want;
        const char* fail = nullptr;
    };
    auto on3 = [](std::vector<Answer> third) {
        return [third](int k, const std::string&) {
            return k == 3 ? third : std::vector<Answer>{Answer{}};
        };
    };
    std::vector<uint8_t> b = goodBlock();
    const std::vector<uint8_t> head(b.begin(), b.begin() + 146);
    std::vector<uint8_t> wrongTotal = b;
    putF32(wrongTotal, 0, 28.0f * 42.0f);
    const Case cases[] = {
        {"no reply", on3({}), &blender::Summary::missing, 1},
        {"two replies", on3({Answer{}, Answer{}}), &blender::Summary::extra, 1},
        {"late reply", on3({Answer{0.3}}), &blender::Summary::late, 1},
        {"half a block, never the rest", on3({Answer{0.002, head}}), &blender::Summary::badSizes,
         1},
        // the backlog of a reader that stopped comes in one piece: the blocks after the short
        // one are out of step
        {"290 bytes in a backlog", on3({Answer{0.002, {b.begin(), b.end() - 2}}}),
         &blender::Summary::misaligned, 1, "no-read@2.5-5.5"},
        {"a total in gal/min", on3({Answer{0.002, wrongTotal}}), &blender::Summary::mismatches, 1},
    };
    for (const Case& c : cases) {
        blender::FailSchedule f;
        if (c.fail != nullptr) f.add(*blender::parseFail(c.fail));
        Link link(quick(), f);
        link.run(9.5, c.station);
        const blender::Summary& s = link.finish();
        EXPECT_EQ(s.*c.counter, c.want) << c.name << ": " << s.line();
        EXPECT_FALSE(s.good()) << c.name;
        EXPECT_EQ(s.line().substr(s.line().size() - 13), "result=failed") << c.name;
    }

    // The half block is dropped after the latency limit: the blocks after it are in step.
    Link resync(quick());
    resync.run(9.5, on3({Answer{0.002, head}}));
    EXPECT_EQ(resync.finish().misaligned, 0u);
    EXPECT_EQ(resync.peer.summary().replies, 9u);

    // A partial block at a close is a bad size too.
    Link cut(quick());
    cut.run(3.5, on3({}));
    cut.peer.received(head, 3.6);
    cut.peer.disconnected(3.7);
    EXPECT_EQ(cut.finish().badSizes, 1u);
}

}  // namespace
}  // namespace blender_test
