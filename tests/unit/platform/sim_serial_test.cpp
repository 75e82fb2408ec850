// The simulated serial lines: line timing, chunking, the receive callback, open results,
// flushes and hang-up.
#include "platform/sim/sim_serial.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/event_loop.h"
#include "platform/serial.h"
#include "platform/sim_loop.h"

namespace {

struct Arrivals {
    std::vector<std::pair<double, int>> calls;  // time, bytes waiting
};

void onBytes(int port, int mask, void* data) {
    ASSERT_EQ(mask & platform::kEventCharReceived, platform::kEventCharReceived);
    auto* a = static_cast<Arrivals*>(data);
    a->calls.emplace_back(platform::Timer(), platform::GetInQLen(port));
}

class SimSerialTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setLoop(&loop);
        platform::setSerialBackEnd(&serial);
        serial.addPort(3);
        ASSERT_EQ(platform::OpenComConfig(3, "", 19200, 0, 8, 1, 512, 512), platform::kComOk);
        platform::InstallComCallback(3, platform::kEventCharReceived, 0, 1, onBytes, &arrivals);
    }
    void TearDown() override {
        platform::setSerialBackEnd(nullptr);
        platform::setLoop(nullptr);
    }
    platform::SimLoop loop;
    platform::SimSerial serial;
    Arrivals arrivals;
};

TEST_F(SimSerialTest, StationWritesReachTheFarEndAfterTheirLineTime) {
    std::vector<std::pair<double, std::size_t>> heard;
    serial.setWriteListener(3, [&](int, const std::vector<std::uint8_t>& b) {
        heard.emplace_back(platform::Timer(), b.size());
    });
    const std::uint8_t packet[10] = {0x16, 1, 0xFF, 1, 0x58, 0, 0, 0, 0, 0};
    platform::ComWrt(3, packet, 10);
    platform::ComWrt(3, packet, 10);
    loop.advance(1.0);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NEAR(heard[0].first, 10.0 / 1920.0, 1e-6);
    EXPECT_NEAR(heard[1].first, 20.0 / 1920.0, 1e-6);
    EXPECT_EQ(serial.takeWritten(3).size(), 20u);

    // Flushed before it crossed: never heard.
    platform::ComWrt(3, packet, 10);
    platform::FlushOutQ(3);
    loop.advance(1.0);
    EXPECT_EQ(heard.size(), 2u);
}

TEST_F(SimSerialTest, HangUpLosesWhatIsOnTheWayAndDropsCts) {
    EXPECT_EQ(platform::GetComLineStatus(3) & platform::kLineCts, platform::kLineCts);
    serial.farEndSend(3, std::vector<std::uint8_t>(50, 0x16));
    loop.advance(10.0 / 1920.0);
    serial.hangUp(3);
    loop.advance(1.0);
    EXPECT_EQ(platform::GetInQLen(3), 0);
    EXPECT_EQ(platform::GetComLineStatus(3) & platform::kLineCts, 0);
    serial.farEndSend(3, std::vector<std::uint8_t>(5, 1));
    loop.advance(1.0);
    EXPECT_EQ(platform::GetInQLen(3), 0);
    serial.hangUp(3, false);
    serial.farEndSend(3, std::vector<std::uint8_t>(5, 1));
    loop.advance(1.0);
    EXPECT_EQ(platform::GetInQLen(3), 5);
}

}  // namespace
