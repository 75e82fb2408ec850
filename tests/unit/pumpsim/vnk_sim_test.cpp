// vnk-sim as a process: its options reach the fleet, the command log is readable while it
// runs, and the state file carries what the options switched on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "line.h"
#include "support/sim_process.h"

namespace fs = std::filesystem;

namespace pumpsim_test {
namespace {

std::string slurp(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool waitFor(const std::function<bool()>& pred, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class VnkSim : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vnk-sim-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (fd >= 0) ::close(fd);
        sim.stop();
        fs::remove_all(dir);
    }

    // Opens a pump's port as the station does, raw.
    bool open(int com) {
        fd = ::open((dir / "ports" / ("COM" + std::to_string(com))).c_str(),
                    O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return false;
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        return ::tcsetattr(fd, TCSANOW, &t) == 0;
    }
    // Sends one request and collects the reply bytes that come within the time.
    std::vector<Reply> request(const Packet& p, size_t replyBytes) {
        const auto bytes = pumpsim::encodeRequest(p);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::vector<uint8_t> in;
        waitFor(
            [&] {
                uint8_t buf[256];
                ssize_t n;
                while ((n = ::read(fd, buf, sizeof buf)) > 0) in.insert(in.end(), buf, buf + n);
                return in.size() >= replyBytes;
            },
            5.0);
        return parseReplies(in);
    }

    fs::path dir;
    SimProcess sim;
    int fd = -1;
};

TEST_F(VnkSim, OptionsReachTheFleetAndTheLogIsReadWhileItRuns) {
    const fs::path log = dir / "log.txt", state = dir / "state.txt";
    std::vector<std::string> args = {
        "--ports-dir", (dir / "ports").string(), "--log", log.string(), "--state", state.string()};
    for (const char* a :
         {"--pumps", "2", "--quiet", "--drive-on", "none", "--event", "trip=2:0x10@0.2", "--event",
          "alarm=2:0x0800", "--no-setpoint-report", "1", "--power-off-delay", "1=30"})
        args.emplace_back(a);
    ASSERT_TRUE(sim.start(VNK_SIM_PATH, args, (dir / "out.txt").string()));
    ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "ports" / "COM2"); }, 5.0));
    ASSERT_TRUE(open(1));

    auto replies = request(speedCmd(2500, true), 10);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, 0);
    ASSERT_TRUE(
        waitFor([&] { return slurp(log).find("rpm=2500 run=1") != std::string::npos; }, 5.0))
        << "the line is on disk while vnk-sim runs:\n"
        << slurp(log);
    const std::string line = slurp(log);
    EXPECT_NE(line.find("pump=1 type=3 code=0x1a arg=0 data=c40901000000 rpm=2500 run=1 "
                        "setpoint=1900 reply=ack\n"),
              std::string::npos)
        << line;

    request(speedCmd(0, false), 10);  // power off: the drive stays on for 30 s
    replies = request(shortCmd(0x18), 98);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(u16At(replies[0].data, 68) & 0x80, 0) << "set-point not reported";
    EXPECT_EQ(replies[0].data.at(82), 1) << "drive still on within its power-off delay";

    ASSERT_TRUE(waitFor(
        [&] {
            const std::string s = slurp(state);
            return s.find("pump=2 ") != std::string::npos && s.find("time=") != std::string::npos;
        },
        5.0));
    const std::string s = slurp(state);
    EXPECT_TRUE(std::regex_search(s, std::regex("pump=1 setpoint=\\d+ status=0x00[0-7][0-9a-f] ")))
        << "bit 0x80 clear\n"
        << s;
    EXPECT_NE(s.find("reports_setpoint=0"), std::string::npos) << s;
    EXPECT_NE(s.find("pump=2 setpoint=0 status=0x00c0 trip=0x0010 fault=0x0000 alarm=0x0800"),
              std::string::npos)
        << s;
    EXPECT_EQ(sim.stop(), 0);
    const std::string out = slurp(dir / "out.txt");
    EXPECT_NE(out.find("pump 2: trip 0x0010"), std::string::npos) << out;
}

}  // namespace
}  // namespace pumpsim_test
