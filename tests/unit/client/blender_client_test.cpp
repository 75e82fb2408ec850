// The blender link against scripted in-memory peers in virtual time: the reply block field by
// field, one read as one message, the log bound, closing and reconnecting, the reply queue, a
// flood read in turns with every reading checked in order. (A close behind a flood, on real
// sockets, is blender_client_qt_test's; any text the peer sends is blender_fuzz's.)
#include "client/blender_client.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>

#include "common/wire.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/fleet_banner.h"
#include "operation/panels.h"
#include "platform/journal.h"
#include "platform/sim/sim_tcp.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "support/station_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/client_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace client;

namespace {

class ClientTest : public StationFixture<> {
  protected:
    void SetUp() override {
        StationFixture::SetUp();
        platform::setTcpBackEnd(&net);
        windows::RegisterWindowDefinitions();
        BindClientCallbacks();
        for (int& panel : BankPanel) panel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
        std::strcpy(settings::Config.ServerName, "127.0.0.1");
        net.listen("127.0.0.1", BlenderPort());
    }
    void TearDown() override {
        ResetClient();
        platform::setTcpBackEnd(nullptr);
        StationFixture::TearDown();
    }
    void settle() { loop.advance(0.01); }
    platform::SimTcpPeer& peer() { return net.peers().back(); }
    int bar(int b = 0) { return ui::FindPanel(BankPanel[b])->menuBar; }
    int connectItem(ui::MenuAttr a, int b = 0) {
        return ui::GetMenuBarAttributeInt(bar(b), windows::MENU_BLENDER_CONNECT, a);
    }
    std::string status(int b = 0) {
        return ui::GetCtrlText(BankPanel[b], windows::BANK_BLENDER_STATUS);
    }

    platform::SimTcpNetwork net;
};

float f32At(const std::string& bytes, std::size_t at) {
    return wire::getF32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at);
}

TEST_F(ClientTest, ReplyBlockFieldByFieldWithOffLinePumpsZero) {
    SelectedPumpsRate = 21.5f;
    // Values as the table holds them in metric display: kPa, MPa, m3/min.
    PumpTable[0] = {};
    PumpTable[0].Online = 1;
    PumpTable[0].SuctionPressure = 430.9f;
    PumpTable[0].DischargePressure = 44.8f;
    PumpTable[0].PumpRate = 1.113f;
    PumpTable[23].Online = 1;
    PumpTable[23].DischargePressure = 12.5f;
    PumpTable[5].Online = 0;  // off line: its stale values stay out of the block
    PumpTable[5].SuctionPressure = 99.0f;
    PumpTable[5].DischargePressure = 99.0f;
    PumpTable[5].PumpRate = 99.0f;
    auto block = BuildReply();
    ASSERT_EQ(block.size(), 292u);
    std::string b(block.begin(), block.end());
    EXPECT_EQ(f32At(b, 0), 21.5f);
    EXPECT_EQ(f32At(b, 4), 430.9f);
    EXPECT_EQ(f32At(b, 8), 44.8f);
    EXPECT_EQ(f32At(b, 12), 1.113f);
    EXPECT_EQ(f32At(b, 4 + 12 * 23 + 4), 12.5f);
    for (std::size_t at = 4 + 12 * 5; at < 16 + 12 * 5; at += 4) EXPECT_EQ(f32At(b, at), 0.0f);
    // Little-endian on the wire: 21.5f is 0x41AC0000.
    EXPECT_EQ(block[3], 0x41);
    EXPECT_EQ(block[2], 0xAC);
}

TEST_F(ClientTest, EachReadIsOneMessageAnsweredOnceAndTheLogKeepsElevenLines) {
    LoadClient();
    settle();
    ASSERT_TRUE(ClientConnected());
    EXPECT_EQ(connectItem(ui::ATTR_CHECKED), 1);
    EXPECT_EQ(connectItem(ui::ATTR_ITEM_DIMMED, 2), 1);
    EXPECT_EQ(ui::GetCtrlInt(ClientPanel(), windows::CLIENT_CONNECTED), 1);

    peer().send("1500.9\r\n");
    settle();
    peer().send(
        std::string("\0"
                    "12\x01\r\n",
                    6));
    settle();
    EXPECT_EQ(status(), "12 psi") << "the reading in the display units";
    peer().send("7");
    settle();
    EXPECT_EQ(status(), "7 psi");
    EXPECT_EQ(status(2), "7 psi");
    ASSERT_EQ(ClientLog().size(), 3u);
    EXPECT_EQ(ClientLog()[1], " 12 ") << "control characters shown as blanks";
    EXPECT_EQ(ClientLog()[0], "1500.9");
    EXPECT_EQ(ClientLog()[2], "7");
    EXPECT_EQ(peer().received().size(), 3 * 292u);

    // 600 bytes in one segment: three messages of at most 255 bytes, all drained at once.
    peer().send(std::string(600, '1'));
    settle();
    EXPECT_EQ(peer().received().size(), 6 * 292u);
    EXPECT_EQ(ClientLog().back(), std::string(90, '1'));

    for (int i = 0; i < 30; ++i) {
        peer().send("12" + std::to_string(i));
        settle();
    }
    ASSERT_EQ(ClientLog().size(), 11u);
    EXPECT_EQ(ClientLog().back(), "1229");
    EXPECT_EQ(ClientLog().front(), "1219");
    ui::Press(ClientPanel(), windows::CLIENT_CLEAR);
    EXPECT_TRUE(ClientLog().empty());
}

// Counts menu-bar changes: the view rebuilds a whole menu bar for each.
struct MenuChanges : ui::Observer {
    int count = 0;
    void menuChanged(int) override { ++count; }
};

// Losing the link while the inline trip is on: an alarm and a banner, the reading blanked at
// once; the station connects again by itself (a connection of its own that the peer closes
// before any reading is not told of again), and a reading, shown in the display units, ends
// the alarm.
TEST_F(ClientTest, ALinkLostWhileTheInlineTripIsOnIsAnAlarmAndComesBackByItself) {
    safety::InlineTripEnabled = 1;
    safety::InlineTripValue = 9000.0f;
    const auto alarm = [] {
        return journal::StateOf(journal::kNoPump, journal::Kind::Blender, kBlenderLinkLostName);
    };
    LoadClient();
    settle();
    peer().send("6900.4\r\n");
    settle();
    EXPECT_EQ(status(), "6900 psi");
    for (int close = 0; close < 2; ++close) {
        peer().close();
        settle();
        EXPECT_EQ(status(), "Not Connected") << "blanked at once";
        EXPECT_EQ(alarm(), journal::AlarmState::ActiveUnacknowledged);
        EXPECT_EQ(FleetBannerText(), "BLENDER LINK LOST — inline overpressure protection off");
        loop.advance(kClientWatchdogInterval + 0.5);
        ASSERT_TRUE(ClientConnected()) << "connected again by itself";
    }
    EXPECT_EQ(popups.count("Connection Closed"), 1);
    settings::Config.DisplayUnits = settings::kUnitsMetric;
    peer().send("6900\r\n");
    settle();
    EXPECT_EQ(status(), "47.57 MPa");
    EXPECT_EQ(alarm(), journal::AlarmState::ClearedUnacknowledged);
    EXPECT_EQ(FleetBannerText(), "All normal");
    peer().close();  // after a reading, the end of the station's own connection is told
    settle();
    EXPECT_EQ(popups.count("Connection Closed"), 2);
}

TEST_F(ClientTest, APeerThatStopsReadingGetsWholeBlocksOnlyAndDropsAreLogged) {
    net.window = 292 + 100;  // the peer holds one block and part of the next
    LoadClient();
    settle();
    peer().setReading(false);
    for (int i = 0; i < 10; ++i) {
        peer().send("1000");
        settle();
    }
    int errors = 0;
    for (const auto& line : ClientLog()) errors += line == "Transmit Error";
    // Two blocks handed to the connection, four waiting, four dropped.
    EXPECT_EQ(errors, 4);
    peer().setReading(true);
    settle();
    const std::string& got = peer().received();
    ASSERT_EQ(got.size(), 6 * 292u);
    auto expected = BuildReply();
    for (std::size_t at = 0; at < got.size(); at += 292)
        EXPECT_EQ(0, std::memcmp(got.data() + at, expected.data(), 292)) << at;
    peer().send("1000");
    settle();
    EXPECT_EQ(peer().received().size(), 7 * 292u);
}

// Readings of 1000 psi up to byte `at` of the stream (a shorter one makes up the rest), then
// `reading` from there.
void appendAt(std::string& flood, std::size_t at, std::string_view reading) {
    while (flood.size() + 8 <= at) flood += "1000.0\r\n";
    if (flood.size() < at) flood += std::string(at - flood.size() - 1, '0') + "\n";
    flood += reading;
}

// At each inline trip: the replies the peer had (the number of the message that tripped) and
// whether the close had been shown.
struct Trip {
    std::size_t message;
    bool closeShown;
    bool operator==(const Trip&) const = default;
    friend void PrintTo(const Trip& t, std::ostream* os) {
        *os << "message " << t.message << (t.closeShown ? " after the close" : "");
    }
};
std::vector<Trip> g_trips;
platform::SimTcpPeer* g_tripPeer = nullptr;
ui::ScriptedPopups* g_tripPopups = nullptr;

class FloodTest : public ClientTest {
  protected:
    void SetUp() override {
        ClientTest::SetUp();
        safety::InlineTripEnabled = 1;
        safety::InlineTripValue = 6000.0f;
        g_trips.clear();
        g_tripPopups = &popups;
        safety::SetInlineTripHook([] {
            g_trips.push_back({g_tripPeer->received().size() / 292,
                               g_tripPopups->count("Connection Closed") > 0});
        });
        LoadClient();
        settle();
        g_tripPeer = &peer();
        // Over the trip: one cut between the first turn's last message and the next turn's
        // first, one deep in the flood, where the station's buffer could not take it at first.
        appendAt(flood, kMessagesPerTurn * kMaxMessage - 4, "15000.0\r\n");
        appendAt(flood, kDeep * kMaxMessage + 100, "15000.0\r\n");
        appendAt(flood, 100 * 1024, "4321.5\r\n");
        messages = (flood.size() + kMaxMessage - 1) / kMaxMessage;
    }
    void TearDown() override {
        g_tripPeer = nullptr;
        g_tripPopups = nullptr;
        ClientTest::TearDown();
    }
    // Messages answered, sampled after every turn of the loop until nothing is left to read.
    std::vector<std::size_t> answeredPerTurn() {
        std::vector<std::size_t> turns;
        std::function<void()> sample = [&] {
            turns.push_back(peer().received().size() / 292);
            maxUnread = std::max(maxUnread, peer().unreadAtStation());
            if (peer().unreadAtStation() + peer().heldAtPeer() > 0) loop.post(0.0, sample);
        };
        loop.post(0.0, sample);
        settle();
        return turns;
    }

    static constexpr std::size_t kDeep = 300;
    std::string flood;
    std::size_t messages = 0;
    std::size_t maxUnread = 0;
};

TEST_F(FloodTest, AFloodIsReadInTurnsWithEveryReadingCheckedInOrder) {
    peer().send(flood);
    EXPECT_GT(peer().heldAtPeer(), 0u) << "held back at the peer's end";
    const std::vector<std::size_t> turns = answeredPerTurn();
    ASSERT_GT(turns.size(), 1u);
    std::size_t before = 0, fullTurns = 0;
    for (std::size_t answered : turns) {
        EXPECT_LE(answered - before, static_cast<std::size_t>(kMessagesPerTurn)) << answered;
        fullTurns += answered - before == static_cast<std::size_t>(kMessagesPerTurn) ? 1 : 0;
        before = answered;
    }
    EXPECT_EQ(fullTurns, messages / kMessagesPerTurn);
    EXPECT_EQ(turns.back(), messages) << "every message answered once";
    EXPECT_LE(maxUnread, platform::kTcpReadBufferBytes);
    // The reading cut between two turns is joined; the deep one trips at its own place.
    EXPECT_EQ(g_trips, (std::vector<Trip>{{kMessagesPerTurn, false}, {kDeep, false}}));
    EXPECT_TRUE(ClientLog().back().ends_with("4321.5")) << ClientLog().back();
    EXPECT_TRUE(ClientConnected());

    // A message after the flood is a message like any other.
    peer().send("15000\r\n");
    settle();
    EXPECT_EQ(g_trips.size(), 3u);
    EXPECT_EQ(peer().received().size(), (messages + 1) * 292);
}

}  // namespace
