// vnk-blender as a process, against a station stand-in on loopback that connects, reads each
// message and answers it with a 292-byte block, and connects again when the tool closes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "pumpsim.h"
#include "station_block.h"
#include "support/sim_process.h"

namespace fs = std::filesystem;

namespace blender_test {
namespace {

using Clock = std::chrono::steady_clock;

std::string slurp(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exited(pid_t pid) {
    siginfo_t info{};  // looked at, not reaped: SimProcess::stop() collects the status
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// The station's part: every read is one message and gets one answer. Runs until the tool has
// exited, or 10 s at most.
struct StandIn {
    explicit StandIn(std::function<std::vector<uint8_t>(int k)> a) : answer(std::move(a)) {}

    std::function<std::vector<uint8_t>(int k)> answer;
    std::vector<std::string> texts;
    int connections = 0;

    void run(int port, pid_t tool) {
        const auto end = Clock::now() + std::chrono::seconds(10);
        int fd = -1;
        while (Clock::now() < end && !exited(tool)) {
            if (fd < 0) {
                if ((fd = connectTo(port)) >= 0) {
                    ++connections;
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    continue;
                }
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buf[255];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(fd);
                fd = -1;
                continue;
            }
            texts.emplace_back(buf, static_cast<size_t>(n));
            const std::vector<uint8_t> block = answer(static_cast<int>(texts.size()) - 1);
            if (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) < 0) {
                ::close(fd);
                fd = -1;
            }
        }
        if (fd >= 0) ::close(fd);
    }
};

class VnkBlender : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vnk-blender-test-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts the tool on a free port, plays the station until it exits, returns its status.
    int run(const std::vector<std::string>& options, StandIn& station, std::string& output) {
        std::vector<std::string> args = {"--port", "0"};
        args.insert(args.end(), options.begin(), options.end());
        const fs::path log = dir / "out.txt";
        SimProcess tool;
        if (!tool.start(VNK_BLENDER_PATH, args, log.string())) return -1;
        const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
        std::smatch m;
        for (int i = 0; i < 250 && !std::regex_search(output = slurp(log), m, listening); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (m.empty()) return -1;
        station.run(std::stoi(m[1]), tool.pid());
        const int status = tool.stop();
        output = slurp(log);
        return status;
    }

    fs::path dir;
};

std::string summaryOf(const std::string& output) {
    const size_t at = output.find("vnk-blender: summary ");
    return at == std::string::npos ? "" : output.substr(at, output.find('\n', at) - at);
}

TEST_F(VnkBlender, ChecksAStationStandInAgainstTheFleetAcrossAReconnect) {
    // The fleet as vnk-sim leaves it in its state file: three pumps, two of them running.
    pumpsim::Fleet fleet(3);
    for (int i = 0; i < 2; ++i) {
        fleet.unit(i).setDriveOn(true);
        fleet.unit(i).setSpeedSetpoint(1600 + 200 * i);
    }
    for (int s = 1; s <= 60; ++s) fleet.advance(0.5 * s);
    const fs::path state = dir / "state.txt";
    std::ofstream(state) << pumpsim::fleetStateText(fleet, 30.0);

    // What the station would show for that fleet, in US units.
    std::array<Pump, 24> pumps{};
    float total = 0.0f;
    double psiSum = 0.0;
    for (int i = 0; i < 3; ++i) {
        const pumpsim::Controller& c = fleet.unit(i);
        pumps[static_cast<size_t>(i)] = {static_cast<float>(c.suctionPsi()),
                                         static_cast<float>(c.dischargePsi()),
                                         static_cast<float>(c.rateGpm() / 42.0)};
        total += pumps[static_cast<size_t>(i)].rate;
        psiSum += c.dischargePsi();
    }
    const std::vector<uint8_t> block = replyBlock(total, pumps);

    StandIn good([&](int) { return block; });
    std::string out;
    const int status =
        run({"--interval", "0.2", "--duration", "2.5", "--settle", "0.3", "--terminator", "crlf",
             "--state", state.string(), "--fail", "close@1.2"},
            good, out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(good.connections, 2) << out;
    ASSERT_GE(good.texts.size(), 8u) << out;
    for (const std::string& t : good.texts) {
        ASSERT_GE(t.size(), 3u);
        EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
        EXPECT_NEAR(std::stod(t), psiSum / 3.0, 0.2) << "the fleet's average discharge";
    }
    const std::string summary = summaryOf(out);
    EXPECT_NE(summary.find(" connections=2 "), std::string::npos) << out;
    EXPECT_NE(summary.find(" replies=" + std::to_string(good.texts.size()) + " "),
              std::string::npos)
        << out;
    EXPECT_NE(summary.find(" mismatches=0 result=ok"), std::string::npos) << out;
    EXPECT_EQ(summary.find(" checked=0 "), std::string::npos) << "the content was compared";
    EXPECT_NE(out.find("vnk-blender: t=1s connected"), std::string::npos) << "status lines";

    // A station whose fourth answer is two bytes short fails the run.
    StandIn shortWrite([&](int k) {
        return k == 3 ? std::vector<uint8_t>(block.begin(), block.end() - 2) : block;
    });
    EXPECT_EQ(run({"--interval", "0.2", "--duration", "1.5", "--quiet"}, shortWrite, out), 1)
        << out;
    EXPECT_NE(summaryOf(out).find(" bad_sizes=1 "), std::string::npos) << out;
    EXPECT_NE(out.find("a reply block stopped after 290 bytes"), std::string::npos) << out;
}

}  // namespace
}  // namespace blender_test
