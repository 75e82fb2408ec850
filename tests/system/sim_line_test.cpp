// vnk-sim's lines as a station's port sees them, read and written here directly (no station
// code): the 19200-baud timing of --line-timing, and an adapter pulled and plugged in again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pumpsim.h"
#include "support/sim_process.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByte = 1.0 / 1920.0;  // 10 bits at 19200 baud

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The bound is for a loaded machine with sanitizer builds; nothing is judged by it.
bool waitFor(const std::function<bool()>& pred, double seconds = 30.0) {
    const auto t0 = Clock::now();
    while (since(t0) < seconds) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class SimLines : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vnk_simline_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        sim.stop();
        for (int fd : fds) ::close(fd);
        fs::remove_all(dir);
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
    // Reads until `total` bytes came; the moment each reply of `each` bytes was whole.
    static std::vector<double> readReplies(int fd, size_t each, size_t count, Clock::time_point t0,
                                           std::vector<uint8_t>& got) {
        std::vector<double> whole;
        uint8_t buf[512];
        waitFor([&] {
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) {
                got.insert(got.end(), buf, buf + n);
                while (whole.size() < count && got.size() >= each * (whole.size() + 1))
                    whole.push_back(since(t0));
            }
            return whole.size() == count;
        });
        return whole;
    }
    std::string output() const {
        std::ifstream in(dir / "sim.out");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    SimProcess sim;
    std::vector<int> fds;
};

std::vector<uint8_t> dataRequest() {
    return pumpsim::encodeRequest(pumpsim::Packet{1, 0x18, 0, 0, {}});
}

TEST_F(SimLines, WithLineTimingAPumpHearsAPacketWhenItsLastByteHasCrossed) {
    start({"--pumps", "1", "--line-timing", "--log", (dir / "commands.log").string()});
    ASSERT_TRUE(waitFor([&] { return linked(1); }));
    const int fd = openPort(1);
    ASSERT_GE(fd, 0);
    // Two polls written at once: the second crosses behind the first, and its reply behind
    // the first reply.
    std::vector<uint8_t> two = dataRequest();
    const auto one = dataRequest();
    two.insert(two.end(), one.begin(), one.end());
    const auto t0 = Clock::now();
    ASSERT_EQ(::write(fd, two.data(), two.size()), 20);
    std::vector<uint8_t> got;
    const auto whole = readReplies(fd, 98, 2, t0, got);
    ASSERT_EQ(whole.size(), 2u) << got.size() << " bytes came";
    EXPECT_EQ(got[4], 0x98) << "a data reply to 0x18";
    // The request's 10 bytes, the turnaround, the reply's 98: no sooner (later is the
    // machine's doing).
    const double turnaround = pumpsim::Controller::kDefaultTurnaround;
    EXPECT_GE(whole[0], (10 + 98) * kByte + turnaround);
    EXPECT_GE(whole[1], (10 + 98 + 98) * kByte + turnaround);

    // The log has each poll at the moment its own last byte crossed: 10 byte times apart.
    std::vector<double> heard;
    std::ifstream log(dir / "commands.log");
    for (std::string line; std::getline(log, line);)
        if (line.rfind("t=", 0) == 0) heard.push_back(std::stod(line.substr(2)));  // a packet
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NEAR(heard[1] - heard[0], 10 * kByte, 0.0011);
}

TEST_F(SimLines, AnUnpluggedPortHangsUpAndGoesUntilANewDeviceIsPluggedInUnderItsName) {
    start({"--pumps", "2", "--fail", "1=unplug@2", "--fail", "1=ok@2.5", "--fail", "1=replug@6"});
    ASSERT_TRUE(waitFor([&] { return linked(1) && linked(2); }));
    const int old = openPort(1);
    ASSERT_GE(old, 0);
    const auto request = dataRequest();
    std::vector<uint8_t> got;
    ASSERT_EQ(::write(old, request.data(), request.size()), 10);
    ASSERT_EQ(readReplies(old, 98, 1, Clock::now(), got).size(), 1u) << "no reply before";

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
    EXPECT_EQ(readReplies(fresh, 98, 1, Clock::now(), got).size(), 1u) << "no reply after";
    EXPECT_TRUE(::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) << "the old device came back";
}

}  // namespace
