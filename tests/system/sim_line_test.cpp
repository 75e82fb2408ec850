// vnk-sim's lines as a station's port sees them, read and written here directly (no station
// code): an adapter pulled and plugged in again, on lines with the timing of --line-timing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "pumpsim.h"
#include "support/files.h"
#include "support/sim_process.h"

namespace fs = std::filesystem;

namespace {

constexpr double kByte = 1.0 / 1920.0;  // 10 bits at 19200 baud

class SimLines : public ::testing::Test {
  protected:
    void TearDown() override {
        sim.stop();
        for (int fd : fds) ::close(fd);
    }

    void start(std::vector<std::string> args) {
        args.insert(args.begin(), {"--ports-dir", (dir / "ports").string(), "--quiet"});
        ASSERT_TRUE(sim.start(VNK_SIM_PATH, args, (dir / "sim.out").string()));
    }
    bool linked(int n) const {
        return fs::is_symlink(fs::symlink_status(dir / "ports" / ("COM" + std::to_string(n))));
    }
    // The station's end of COMn, raw and non-blocking.
    int openPort(int n) {
        const int fd = ::open((dir / "ports" / ("COM" + std::to_string(n))).c_str(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd, 0);
        if (fd < 0) return fd;
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        fds.push_back(fd);
        return fd;
    }
    // Reads until at least `bytes` came; whether they did.
    static bool readReplies(int fd, size_t bytes, std::vector<uint8_t>& got) {
        uint8_t buf[512];
        return waitFor([&] {
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
                got.insert(got.end(), buf, buf + n);
            return got.size() >= bytes;
        });
    }
    std::string output() const { return readFile(dir / "sim.out"); }

    TempFolder dir{"vnk_simline"};
    SimProcess sim;
    std::vector<int> fds;
};

std::vector<uint8_t> dataRequest() {
    return pumpsim::encodeRequest(pumpsim::Packet{1, 0x18, 0, 0, {}});
}

// With --line-timing two polls written at once are heard each when its own last byte has
// crossed at 19200 baud, 10 byte times apart in vnk-sim's log (how StationLine times them is
// its own test). The adapter is pulled once the port has been opened and answered: vnk-sim
// holds its script until this test's SIGUSR1.
TEST_F(SimLines, AnUnpluggedPortHangsUpAndGoesUntilANewDeviceIsPluggedInUnderItsName) {
    start({"--pumps", "2", "--line-timing", "--log", (dir / "commands.log").string(),
           "--hold-script", "--fail", "1=unplug@0", "--fail", "1=ok@0.5", "--fail", "1=replug@3"});
    ASSERT_TRUE(waitFor([&] { return linked(1) && linked(2); }));
    const int old = openPort(1);
    ASSERT_GE(old, 0);
    const auto request = dataRequest();
    std::vector<uint8_t> two = request;
    two.insert(two.end(), request.begin(), request.end());
    std::vector<uint8_t> got;
    ASSERT_EQ(::write(old, two.data(), two.size()), 20);
    ASSERT_TRUE(readReplies(old, 2 * 98, got)) << "no reply before";
    EXPECT_EQ(got[4], 0x98) << "a data reply to 0x18";
    std::vector<double> heard;
    std::istringstream log(readFile(dir / "commands.log"));
    for (std::string line; std::getline(log, line);)
        if (line.rfind("t=", 0) == 0) heard.push_back(std::stod(line.substr(2)));  // a packet
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NEAR(heard[1] - heard[0], 10 * kByte, 0.0011);
    EXPECT_TRUE(linked(1)) << "pulled before the script was let go";

    ASSERT_EQ(::kill(sim.pid(), SIGUSR1), 0);
    pollfd p{old, POLLIN, 0};
    ASSERT_TRUE(waitFor([&] { return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP); }))
        << "the station's end did not hang up";
    EXPECT_FALSE(linked(1)) << "COM1 left behind";
    EXPECT_TRUE(linked(2));
    ASSERT_TRUE(waitFor([&] { return output().find("pump 1: ok") != std::string::npos; }));
    EXPECT_FALSE(linked(1)) << "ok put the adapter back";

    ASSERT_TRUE(waitFor([&] { return linked(1); })) << "not plugged in again";
    const int fresh = openPort(1);
    ASSERT_GE(fresh, 0);
    got.clear();
    ASSERT_EQ(::write(fresh, request.data(), request.size()), 10);
    EXPECT_TRUE(readReplies(fresh, 98, got)) << "no reply after";
    EXPECT_TRUE(::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) << "the old device came back";
}

}  // namespace
