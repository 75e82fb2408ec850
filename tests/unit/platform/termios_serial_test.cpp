// Real serial ports over pseudo-terminals, on the Qt loop. (A port that hangs up is the link's
// system test, with the whole fleet polling on the other ports.)
#include "platform/real/termios_serial.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/real/qt_loop.h"
#include "platform/trace.h"
#include "support/qt_app.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::vector<unsigned char> g_received;

void onReceive(int port, int mask, void*) {
    if (!(mask & kEventCharReceived)) return;
    unsigned char buf[512];
    int n = ComRd(port, buf, sizeof buf);
    if (n > 0) g_received.insert(g_received.end(), buf, buf + n);
}

class PtyPorts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestQtApp<>::start(); }
    static void TearDownTestSuite() { TestQtApp<>::stop(); }
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vnk_ports_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        setenv("VNK_PORTS_DIR", dir.c_str(), 1);
        setLoop(&loop);
        setSerialBackEnd(&serial);
        g_received.clear();
    }
    void TearDown() override {
        setSerialBackEnd(nullptr);
        setLoop(nullptr);
        for (int fd : masters) ::close(fd);
        unsetenv("VNK_PORTS_DIR");
        fs::remove_all(dir);
    }
    // A pseudo-terminal whose station end appears as COMn; returns the far end.
    int makePort(int n) {
        int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(master, 0);
        ::grantpt(master);
        ::unlockpt(master);
        fs::create_symlink(::ptsname(master), dir / ("COM" + std::to_string(n)));
        masters.push_back(master);
        return master;
    }
    int openPort(int n) { return OpenComConfig(n, "", 19200, 0, 8, 1, 4095, 4095); }

    fs::path dir;
    QtLoop loop;
    TermiosSerial serial;
    std::vector<int> masters;
};

TEST_F(PtyPorts, BytesFlowBothWaysThroughTheCallback) {
    int far = makePort(3);
    ASSERT_EQ(openPort(3), kComOk);
    ASSERT_EQ(InstallComCallback(3, kEventCharReceived, 0, 1, onReceive, nullptr), kComOk);
    const unsigned char reply[] = {0x16, 0x01, 0xFF, 0x00, 0x98};
    ASSERT_EQ(::write(far, reply, sizeof reply), 5);
    for (int i = 0; i < 50 && g_received.size() < 5; ++i) Delay(0.01);
    EXPECT_EQ(g_received, std::vector<unsigned char>(reply, reply + 5));

    const unsigned char request[] = {0x16, 0x01, 0xFF, 0x01, 0x58, 0, 0, 0, 0x12, 0x34};
    EXPECT_EQ(ComWrt(3, request, sizeof request), 10);
    unsigned char got[16] = {};
    ssize_t n = -1;
    for (int i = 0; i < 50; ++i) {
        n = ::read(far, got, sizeof got);
        if (n > 0) break;
        Delay(0.01);
    }
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
    for (int i = 0; i < 500 && (got[0].size() < out.size() || got[1].size() < out.size()); ++i) {
        for (int k = 0; k < 2; ++k)
            for (ssize_t n; (n = ::read(far[k], buf, sizeof buf)) > 0;)
                got[k].insert(got[k].end(), buf, buf + n);
        Delay(0.01);
    }
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(got[k] == out) << got[k].size() << " bytes came";
}

TEST_F(PtyPorts, MissingAndNonSerialPortsAreRefusedAndListedRight) {
    makePort(12);
    makePort(4);
    std::ofstream(dir / "COM7") << "not a port";
    std::ofstream(dir / "notes.txt") << "x";
    EXPECT_EQ(ExistingComPorts(), (std::vector<int>{4, 12}));
    EXPECT_EQ(openPort(9), kComInvalidPort);
    EXPECT_EQ(openPort(7), kComCannotOpen);
    EXPECT_EQ(openPort(0), kComInvalidPort);
    EXPECT_EQ(openPort(4), kComOk);
    EXPECT_EQ(OpenComConfig(12, "", 12345, 0, 8, 1, 4095, 4095), kComBadSettings);
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
    for (int i = 0; i < 100 && serial.isOpen(4); ++i) Delay(0.01);
    const std::string out = testing::internal::GetCapturedStderr();
    trace::setModules("");
    using testing::HasSubstr;
    EXPECT_THAT(out, HasSubstr("vnk ports: COM9 (" + (dir / "COM9").string() +
                               "): open failed: no such node: No such file or directory\n"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + "): open failed: in use (locked)"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + ") opened: 19200 baud"));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + ") hung up: "));
    EXPECT_THAT(out, HasSubstr("vnk ports: COM4 (" + node + ") closed\n"));
}

}  // namespace
