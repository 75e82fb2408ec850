// The blender link on real sockets (the Qt back end, a peer on 127.0.0.1 in the same event
// loop): the read buffer's bound against a megabyte sent at once.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <functional>

#include "platform/real/qt_tcp.h"
#include "support/qt_app.h"

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

}  // namespace
