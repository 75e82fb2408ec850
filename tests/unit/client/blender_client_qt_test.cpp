// The blender link on real sockets (the Qt back end, a peer on 127.0.0.1 in the same event
// loop): the read buffer's bound against a megabyte sent at once, the peer closing with and
// without a message first, and a flood that ends in a close.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cstring>
#include <functional>

#include "client/blender_client.h"
#include "operation/display_ids.h"
#include "platform/journal.h"
#include "platform/real/qt_loop.h"
#include "platform/real/qt_tcp.h"
#include "platform/sim/memory_journal.h"
#include "platform/trace.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "support/qt_app.h"
#include "support/station_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace client;

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;

// Runs the Qt loop until done() holds or the time is up; returns done().
bool runUntil(const std::function<bool()>& done, double seconds = 10.0) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < static_cast<qint64>(seconds * 1000.0))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void pause(double seconds) {
    runUntil([] { return false; }, seconds);
}

class RealTcp : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestQtApp<>::start(); }
    static void TearDownTestSuite() { TestQtApp<>::stop(); }
    void SetUp() override { ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }
    // The peer's end of the next connection.
    QTcpSocket* accept() {
        if (!runUntil([&] { return server.hasPendingConnections(); })) return nullptr;
        return server.nextPendingConnection();
    }
    QTcpServer server;
};

// A megabyte written at once: the station's end holds no more than the bound while the rest
// waits in the network, and every byte arrives, in order, once the station reads.
TEST_F(RealTcp, AMegabyteAtOnceStaysWithinTheBoundAndArrivesWhole) {
    platform::QtTcp tcp;
    bool connected = false;
    std::function<void()> onData = [] {};
    platform::TcpEvents events;
    events.connected = [&](bool ok) { connected = ok; };
    events.readyRead = [&] { onData(); };
    auto conn = tcp.connect("127.0.0.1", server.serverPort(), 5.0, std::move(events));
    QTcpSocket* peer = accept();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(runUntil([&] { return connected; }));

    std::string sent(kMegabyte, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 23);
    peer->write(sent.data(), static_cast<qint64>(sent.size()));
    // Nothing is read until the peer can write no more.
    qint64 lastLeft = -1;
    runUntil([&] {
        const qint64 left = peer->bytesToWrite();
        if (left == lastLeft) return true;
        lastLeft = left;
        pause(0.05);
        return false;
    });
    EXPECT_LE(conn->bytesAvailable(), platform::kTcpReadBufferBytes);

    std::string got;
    std::size_t most = 0;
    onData = [&] {
        most = std::max(most, conn->bytesAvailable());
        std::uint8_t buffer[4096];
        while (std::size_t n = conn->read(buffer, sizeof buffer))
            got.append(reinterpret_cast<const char*>(buffer), n);
    };
    onData();  // a full buffer tells of nothing new: the first read is the station's own
    ASSERT_TRUE(runUntil([&] { return got.size() >= sent.size(); }));
    EXPECT_LE(most, platform::kTcpReadBufferBytes);
    EXPECT_TRUE(got == sent) << "bytes lost or out of order";
}

// At each inline trip: whether the close had been shown.
std::vector<bool> g_trips;
ui::ScriptedPopups* g_popups = nullptr;

class RealClientTest : public StationFixture<> {
  protected:
    static void SetUpTestSuite() { TestQtApp<>::start(); }
    static void TearDownTestSuite() { TestQtApp<>::stop(); }
    void SetUp() override {
        StationFixture::SetUp();
        platform::setLoop(&qtLoop);
        platform::setTcpBackEnd(&tcp);
        journal::SetStore(&events);
        windows::RegisterWindowDefinitions();
        BindClientCallbacks();
        for (int& panel : operation::BankPanel)
            panel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        setenv("VNK_BLENDER_PORT", std::to_string(server.serverPort()).c_str(), 1);
        std::strcpy(settings::Config.ServerName, "127.0.0.1");
        g_trips.clear();
        g_popups = &popups;
        safety::InlineTripEnabled = 1;
        safety::InlineTripValue = 6000.0f;
        safety::SetInlineTripHook(
            [] { g_trips.push_back(g_popups->count("Connection Closed") > 0); });
    }
    void TearDown() override {
        ResetStation();  // on this loop: the client window's timer goes with it
        g_popups = nullptr;
        journal::SetStore(nullptr);
        platform::setTcpBackEnd(nullptr);
        platform::setLoop(&loop);
        unsetenv("VNK_BLENDER_PORT");
        StationFixture::TearDown();
    }
    // Connects through the bank window's menu item; the peer's end, or nullptr.
    QTcpSocket* connectByMenu() {
        const int bar = ui::FindPanel(operation::BankPanel[0])->menuBar;
        ui::SelectMenu(bar, windows::MENU_BLENDER_CONNECT, operation::BankPanel[0]);
        if (!runUntil([&] { return server.hasPendingConnections(); })) return nullptr;
        QTcpSocket* peer = server.nextPendingConnection();
        return runUntil([] { return ClientConnected(); }) ? peer : nullptr;
    }
    int connectItemDimmed() {
        const int bar = ui::FindPanel(operation::BankPanel[0])->menuBar;
        return ui::GetMenuBarAttributeInt(bar, windows::MENU_BLENDER_CONNECT, ui::ATTR_ITEM_DIMMED);
    }
    int closedInJournal() {
        return events.countOf(journal::Kind::Blender, journal::kNoPump,
                              "Blender connection closed");
    }
    // The message is answered with one block.
    void exchange(QTcpSocket* peer, const char* message) {
        const qint64 before = peer->bytesAvailable();
        peer->write(message);
        EXPECT_TRUE(runUntil([&] { return peer->bytesAvailable() >= before + 292; })) << message;
    }

    platform::QtLoop qtLoop;
    platform::QtTcp tcp;
    platform::MemoryJournal events;
    QTcpServer server;
};

// A megabyte of readings and the end of the stream straight behind it (the peer shuts its
// sending side and reads on): the station sees the end while readings still wait in its
// buffer. Both readings over the trip are checked, in order, the last reading is read, and
// only then is the close shown; nothing is answered after it, and no transmit error comes of
// it.
TEST_F(RealClientTest, AFloodThenTheEndIsReadToItsLastReadingBeforeTheCloseIsShown) {
    LoadClient();
    ASSERT_TRUE(runUntil([&] { return server.hasPendingConnections(); }));
    QTcpSocket* peer = server.nextPendingConnection();
    ASSERT_TRUE(runUntil([] { return ClientConnected(); }));
    std::string flood;
    while (flood.size() < kMegabyte / 2) flood += "1000.0\r\n";
    flood += "15000.0\r\n";
    while (flood.size() < kMegabyte - 64) flood += "1000.0\r\n";
    flood += "15000.0\r\n4321.5\r\n";
    peer->write(flood.data(), static_cast<qint64>(flood.size()));
    ASSERT_TRUE(runUntil([&] { return peer->bytesToWrite() == 0; }));
    ASSERT_EQ(::shutdown(static_cast<int>(peer->socketDescriptor()), SHUT_WR), 0);
    ASSERT_TRUE(runUntil([&] { return popups.count("Connection Closed") > 0; }, 20.0));
    EXPECT_FALSE(ClientConnected());
    EXPECT_EQ(g_trips, (std::vector<bool>{false, false}));
    EXPECT_EQ(popups.count("Connection Closed"), 1);
    EXPECT_TRUE(ClientLog().back().ends_with("4321.5")) << ClientLog().back();
    EXPECT_EQ(std::count(ClientLog().begin(), ClientLog().end(), "Transmit Error"), 0);

    peer = connectByMenu();
    ASSERT_NE(peer, nullptr);
    exchange(peer, "900\r\n");
}

}  // namespace
