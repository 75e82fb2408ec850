// Real serial ports over pseudo-terminals, on the Qt loop: bytes both ways, naming, and a
// device that goes away (the far end of the pseudo-terminal closed, as an adapter pulled).
// (The other pumps polled on past a lost port is PortLoss's test, in virtual time.)
#include "platform/real/termios_serial.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/real/qt_loop.h"
#include "platform/trace.h"
#include "support/files.h"
#include "support/qt_app.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::vector<unsigned char> g_received;
int g_callbacksOnClosedPorts = 0;

void onReceive(int port, int mask, void*) {
    if (!(mask & kEventCharReceived)) return;
    unsigned char buf[512];
    int n = ComRd(port, buf, sizeof buf);
    if (n == kComNotOpen) ++g_callbacksOnClosedPorts;
    if (n > 0) g_received.insert(g_received.end(), buf, buf + n);
}

struct Lost {
    int port;
    std::string reason;
    bool operator==(const Lost&) const = default;
};
std::vector<Lost> g_lost;

bool onLost(int port, const char* reason) {
    g_lost.push_back({port, reason});
    return false;
}

void PrintTo(const Lost& l, std::ostream* os) {
    *os << "COM" << l.port << " (" << l.reason << ")";
}

class PtyPorts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestQtApp<>::start(); }
    static void TearDownTestSuite() { TestQtApp<>::stop(); }
    void SetUp() override {
        setenv("VNK_PORTS_DIR", dir.path().c_str(), 1);
        setLoop(&loop);
        setSerialBackEnd(&serial);
        SetPortLostHandler(onLost);
        g_received.clear();
        g_lost.clear();
        g_callbacksOnClosedPorts = 0;
    }
    void TearDown() override {
        EXPECT_EQ(g_callbacksOnClosedPorts, 0) << "a receive callback ran for a closed port";
        SetPortLostHandler(nullptr);
        setSerialBackEnd(nullptr);
        setLoop(nullptr);
        for (int fd : masters) ::close(fd);
        for (auto& [n, fd] : farEnds) ::close(fd);
        unsetenv("VNK_PORTS_DIR");
    }
    // A pseudo-terminal whose station end appears as COMn; returns the far end.
    int makePort(int n, const fs::path& folder = {}) {
        int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(master, 0);
        ::grantpt(master);
        ::unlockpt(master);
        fs::create_symlink(::ptsname(master),
                           (folder.empty() ? dir.path() : folder) / ("COM" + std::to_string(n)));
        masters.push_back(master);
        return master;
    }
    int openPort(int n) { return OpenComConfig(n, "", 19200, 0, 8, 1, 4095, 4095); }

    // COMn's adapter, which can be pulled and put back (a new device under the same name).
    int plugIn(int n) {
        const int master = makePort(n);
        masters.pop_back();
        farEnds[n] = master;
        return master;
    }
    void pull(int n) {
        ::close(farEnds.at(n));
        farEnds.erase(n);
        fs::remove(dir / ("COM" + std::to_string(n)));
    }
    // Runs the loop until pred holds or a bound ends that only a hang reaches (a loaded
    // machine, sanitizers).
    static bool waitFor(const std::function<bool()>& pred) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Delay(0.01);
        }
        return true;
    }
    static bool received(std::size_t n) {
        return waitFor([n] { return g_received.size() >= n; });
    }
    // Two turns of the loop from now: a descriptor still watched with a hang-up flagged on it
    // would have been reported again by then.
    bool loopTurnedTwice() {
        const auto done = std::make_shared<bool>(false);
        loop.post(0.0, [this, done] { loop.post(0.0, [done] { *done = true; }); });
        return waitFor([done] { return *done; });
    }

    TempFolder dir{"vnk_ports"};
    QtLoop loop;
    TermiosSerial serial;
    std::vector<int> masters;
    std::map<int, int> farEnds;
};

TEST_F(PtyPorts, BytesFlowBothWaysThroughTheCallback) {
    int far = makePort(3);
    ASSERT_EQ(OpenComConfig(3, "", 9600, 1, 8, 1, 4095, 4095), kComOk);
    // The line as asked: 9600 baud, odd parity.
    termios line{};
    const int node = ::open((dir / "COM3").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::tcgetattr(node, &line), 0);
    ::close(node);
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_NE(line.c_cflag & PARODD, 0u);  // a pseudo-terminal keeps no PARENB
    ASSERT_EQ(InstallComCallback(3, kEventCharReceived, 0, 1, onReceive, nullptr), kComOk);
    const unsigned char reply[] = {0x16, 0x01, 0xFF, 0x00, 0x98};
    ASSERT_EQ(::write(far, reply, sizeof reply), 5);
    EXPECT_TRUE(received(5));
    EXPECT_EQ(g_received, std::vector<unsigned char>(reply, reply + 5));

    const unsigned char request[] = {0x16, 0x01, 0xFF, 0x01, 0x58, 0, 0, 0, 0x12, 0x34};
    EXPECT_EQ(ComWrt(3, request, sizeof request), 10);
    unsigned char got[16] = {};
    ssize_t n = -1;
    ASSERT_TRUE(waitFor([&] { return (n = ::read(far, got, sizeof got)) > 0; }));
    ASSERT_EQ(n, 10);
    EXPECT_EQ(std::memcmp(got, request, 10), 0);
    EXPECT_EQ(CloseCom(3), kComOk);
    EXPECT_EQ(ComWrt(3, request, sizeof request), kComNotOpen);
}

TEST_F(PtyPorts, MoreOutputThanTheTerminalTakesGoesOutWholeAndInOrderOnTwoPorts) {
    // Far more than a pseudo-terminal buffers: the rest waits until the far end reads.
    constexpr int kBytes = 200000;
    std::vector<unsigned char> out(kBytes);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(i * 7 + i / 251);
    const int far[2] = {makePort(5), makePort(6)};
    for (int port : {5, 6}) {
        ASSERT_EQ(OpenComConfig(port, "", 19200, 0, 8, 1, 4095, kBytes), kComOk);
        EXPECT_EQ(ComWrt(port, out.data(), out.size()), kBytes);
    }
    std::vector<unsigned char> got[2];
    unsigned char buf[8192];
    waitFor([&] {
        for (int k = 0; k < 2; ++k)
            for (ssize_t n; (n = ::read(far[k], buf, sizeof buf)) > 0;)
                got[k].insert(got[k].end(), buf, buf + n);
        return got[0].size() >= out.size() && got[1].size() >= out.size();
    });
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(got[k] == out) << got[k].size() << " bytes came";
}

// The station's own messages say only "cannot open": the trace must say which node and why,
// and that a port went away.
TEST_F(PtyPorts, PortsTraceNamesTheNodeAndTheReason) {
    const int far = makePort(4);
    const std::string node = (dir / "COM4").string();
    const int other = ::open(::ptsname(far), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);  // another program holds COM4

    testing::internal::CaptureStderr();
    EXPECT_EQ(openPort(9), kComInvalidPort);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "traced while off";

    trace::setModules("ports");
    testing::internal::CaptureStderr();
    EXPECT_EQ(openPort(9), kComInvalidPort);
    EXPECT_EQ(openPort(4), kComCannotOpen);
    ::close(other);
    EXPECT_EQ(openPort(4), kComOk);
    ::close(far);  // the far end goes: the port hangs up
    masters.clear();
    EXPECT_TRUE(waitFor([&] { return !serial.isOpen(4); }));
    const std::string out = testing::internal::GetCapturedStderr();
    trace::setModules("");
    using testing::HasSubstr;
    EXPECT_THAT(out, HasSubstr("vnk ports: COM9 (" + (dir / "COM9").string() +
                               "): open failed: no such node: No such file or directory\n"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + "): open failed: in use (locked)"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + ") opened: 19200 baud"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + ") lost: hang-up\n"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + ") closed\n"));
}

TEST_F(PtyPorts, AHungUpDeviceIsReportedOnceAndItsPortIsClosed) {
    const int far3 = plugIn(3);
    const int far5 = plugIn(5);
    for (int port : {3, 5}) {
        ASSERT_EQ(openPort(port), kComOk);
        ASSERT_EQ(InstallComCallback(port, kEventCharReceived, 0, 1, onReceive, nullptr), kComOk);
    }
    // A reply on its way as the adapter goes: it may or may not be heard, but never through a
    // callback on a closed port.
    const unsigned char bytes[] = {0x16, 0x01, 0x02, 0x03};
    ASSERT_EQ(::write(far3, bytes, sizeof bytes), 4);
    pull(3);
    ASSERT_TRUE(waitFor([] { return !g_lost.empty(); })) << "no loss reported";
    EXPECT_FALSE(serial.isOpen(3));
    unsigned char buf[8];
    EXPECT_EQ(ComRd(3, buf, sizeof buf), kComNotOpen);
    EXPECT_EQ(ComWrt(3, bytes, sizeof bytes), kComNotOpen);
    ASSERT_TRUE(loopTurnedTwice());  // the hang-up stays flagged on the dead descriptor
    EXPECT_EQ(g_lost, (std::vector<Lost>{{3, "hang-up"}}));

    g_received.clear();
    ASSERT_EQ(::write(far5, bytes, sizeof bytes), 4);
    EXPECT_TRUE(received(4)) << "the other port stopped hearing its far end";
    EXPECT_EQ(ComWrt(5, bytes, sizeof bytes), 4);
}

// A write that finds the device gone closes the port there, but the station hears of it only
// from the loop, once, and not again from the hang-up that the same loss flags.
TEST_F(PtyPorts, AFailedWriteLosesThePortOnceAndIsReportedFromTheLoop) {
    plugIn(4);
    ASSERT_EQ(openPort(4), kComOk);
    pull(4);
    const unsigned char request[] = {0x16, 0x01, 0xFF, 0x01, 0x58, 0, 0, 0, 0x12, 0x34};
    EXPECT_EQ(ComWrt(4, request, sizeof request), kComIoError);
    EXPECT_FALSE(serial.isOpen(4));
    EXPECT_TRUE(g_lost.empty()) << "reported from inside the write";
    EXPECT_EQ(ComWrt(4, request, sizeof request), kComNotOpen);
    ASSERT_TRUE(waitFor([] { return !g_lost.empty(); }));
    ASSERT_TRUE(loopTurnedTwice());
    EXPECT_EQ(g_lost, (std::vector<Lost>{{4, "write error: Input/output error"}}));
}

TEST_F(PtyPorts, APortLostAndPluggedInAgainUnderItsNameOpensAndWorks) {
    plugIn(2);
    ASSERT_EQ(openPort(2), kComOk);
    // Twice: nothing of the first loss may linger into the second.
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        pull(2);
        ASSERT_TRUE(waitFor([round] { return g_lost.size() == static_cast<size_t>(round); }));
        EXPECT_EQ(g_lost.back(), (Lost{2, "hang-up"}));
        EXPECT_EQ(openPort(2), kComInvalidPort) << "opened while the adapter is out";
        EXPECT_EQ(ExistingComPorts(), std::vector<int>{});

        const int far = plugIn(2);  // a new device node under the same name
        EXPECT_EQ(ExistingComPorts(), std::vector<int>{2});
        ASSERT_EQ(openPort(2), kComOk);
        ASSERT_EQ(InstallComCallback(2, kEventCharReceived, 0, 1, onReceive, nullptr), kComOk);
        g_received.clear();
        const unsigned char reply[] = {0x16, 0x01, 0x00, 0x00, 0x98};
        ASSERT_EQ(::write(far, reply, sizeof reply), 5);
        EXPECT_TRUE(received(5));
        EXPECT_EQ(ComWrt(2, reply, sizeof reply), 5);
        unsigned char got[8] = {};
        EXPECT_TRUE(waitFor([&] { return ::read(far, got, sizeof got) == 5; }));
        EXPECT_EQ(std::memcmp(got, reply, 5), 0);
    }
    ASSERT_TRUE(loopTurnedTwice());
    EXPECT_EQ(g_lost.size(), 2u);
}

}  // namespace
