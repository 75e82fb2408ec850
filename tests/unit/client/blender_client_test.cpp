// The blender link against scripted in-memory peers in virtual time: the reply block field by
// field, one read as one message, the log bound, closing and reconnecting, the reply queue.
#include "client/blender_client.h"

#include <cstring>

#include "common/wire.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/panels.h"
#include "platform/sim/sim_tcp.h"
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
    EXPECT_EQ(status(), " 12 ") << "control characters shown as blanks";
    peer().send("7");
    settle();
    EXPECT_EQ(status(), "7");
    EXPECT_EQ(status(2), "7");
    ASSERT_EQ(ClientLog().size(), 3u);
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

TEST_F(ClientTest, WatchdogShowsTheLinkLostAndTheNextMessageRestoresIt) {
    MenuChanges menus;
    ui::setObserver(&menus);
    LoadClient();
    settle();
    const int atConnect = menus.count;
    for (int i = 0; i < 5; ++i) {
        peer().send("800");
        settle();
    }
    EXPECT_EQ(menus.count, atConnect) << "messages on a link shown up change no menu";
    loop.advance(2 * kClientWatchdogInterval + 0.1);
    EXPECT_EQ(status(1), "Not Connected");
    EXPECT_EQ(connectItem(ui::ATTR_CHECKED), 0);
    EXPECT_EQ(connectItem(ui::ATTR_ITEM_DIMMED), 0);
    EXPECT_TRUE(ClientConnected());  // the connection itself stays
    peer().send("810");
    settle();
    EXPECT_EQ(status(1), "810");
    // Connecting now closes the old connection first: the peer sees exactly one open.
    ui::SelectMenu(bar(), windows::MENU_BLENDER_CONNECT, BankPanel[0]);
    settle();
    ASSERT_EQ(net.peers().size(), 1u);  // checked item: nothing to do
    loop.advance(2 * kClientWatchdogInterval + 0.1);
    ui::SelectMenu(bar(), windows::MENU_BLENDER_CONNECT, BankPanel[0]);
    settle();
    ASSERT_EQ(net.peers().size(), 2u);
    EXPECT_FALSE(net.peers()[0].open());
    EXPECT_TRUE(net.peers()[1].open());
    ui::setObserver(nullptr);
}

TEST_F(ClientTest, ServerClosingThenConnectAgainAndEmptyNameMakesNoAttempt) {
    LoadClient();
    settle();
    peer().close();
    settle();
    EXPECT_FALSE(ClientConnected());
    ASSERT_EQ(popups.count("Connection Closed"), 1);
    EXPECT_EQ(popups.shown().back().text, "Trellmix PC has closed the connection!");
    EXPECT_EQ(connectItem(ui::ATTR_ITEM_DIMMED), 0);
    EXPECT_EQ(ui::GetCtrlInt(ClientPanel(), windows::CLIENT_CONNECTED), 0);
    EXPECT_TRUE(ClientLog().empty());  // the end of the stream is no message

    ui::SelectMenu(bar(), windows::MENU_BLENDER_CONNECT, BankPanel[0]);
    settle();
    ASSERT_TRUE(ClientConnected());
    peer().send("900");
    settle();
    EXPECT_EQ(peer().received().size(), 292u);

    // Change_Server: Cancel keeps the name and reconnects to it; an empty answer makes no attempt.
    popups.answerPrompt(std::nullopt);
    ui::Press(ClientPanel(), windows::CLIENT_CHANGE_SERVER);
    settle();
    EXPECT_STREQ(settings::Config.ServerName, "127.0.0.1");
    EXPECT_TRUE(ClientConnected());
    EXPECT_EQ(popups.shown().back().title, "Server Name?");
    popups.answerPrompt(std::string());
    ui::Press(ClientPanel(), windows::CLIENT_CHANGE_SERVER);
    loop.advance(6.0);
    EXPECT_FALSE(ClientConnected());
    EXPECT_FALSE(ClientConnecting());
    EXPECT_EQ(net.peers().size(), 3u);
    EXPECT_EQ(connectItem(ui::ATTR_ITEM_DIMMED), 0);

    // A server that never answers: the item comes back after the time limit.
    std::strcpy(settings::Config.ServerName, "10.255.255.1");
    ConnectToServer();
    loop.advance(4.9);
    EXPECT_TRUE(ClientConnecting());
    loop.advance(0.2);
    EXPECT_FALSE(ClientConnecting());
    EXPECT_EQ(popups.count("Connection Closed"), 1);
}

// The words beside the client window's LED say what the LED shows, through every way the
// link comes up or goes down.
TEST_F(ClientTest, TheConnectedWordsFollowTheLight) {
    const auto shows = [](bool lit) {
        const int panel = ClientPanel();
        EXPECT_EQ(ui::GetCtrlInt(panel, windows::CLIENT_CONNECTED), lit ? 1 : 0);
        EXPECT_EQ(ui::GetCtrlText(panel, windows::CLIENT_CONNECTED_TEXT),
                  lit ? "Connected" : "Not Connected");
    };
    net.stopListening("127.0.0.1", BlenderPort());  // the window loads; the first attempt fails
    LoadClient();
    shows(false);
    loop.advance(5.1);
    ASSERT_FALSE(ClientConnected());
    ASSERT_FALSE(ClientConnecting());
    shows(false);
    net.listen("127.0.0.1", BlenderPort());
    ConnectToServer();
    settle();
    ASSERT_TRUE(ClientConnected());
    shows(true);
    peer().close();
    settle();
    shows(false);
    ConnectToServer();
    settle();
    shows(true);
    popups.answerPrompt(std::string());  // Change Server to no name: no connection
    ui::Press(ClientPanel(), windows::CLIENT_CHANGE_SERVER);
    settle();
    shows(false);
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

}  // namespace
