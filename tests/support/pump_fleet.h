// Simulated pump controllers on simulated serial lines, in virtual time. Pump i answers on
// COM(i + 1): what the station writes reaches the controller when its last byte has crossed
// the line, and the controller's reply bytes travel back with the controller's own line
// timing, in chunks of the line's chunk size. The controllers' physics runs on a loop timer.
#pragma once

#include <functional>
#include <vector>

#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/serial.h"
#include "platform/sim/sim_serial.h"
#include "pumpsim.h"

using namespace pumplink;

class PumpFleetHarness {
  public:
    static constexpr double kPhysicsStep = 0.05;

    PumpFleetHarness(platform::SimSerial& serial, int pumps) : serial_(serial), fleet_(pumps) {
        timer_ = platform::loop().addTimer([this]() { tick(); });
        platform::loop().setTimer(timer_, kPhysicsStep, true);
    }
    ~PumpFleetHarness() { platform::loop().removeTimer(timer_); }
    PumpFleetHarness(const PumpFleetHarness&) = delete;
    PumpFleetHarness& operator=(const PumpFleetHarness&) = delete;

    static int portOf(int pump) { return pump + 1; }
    int size() const { return fleet_.size(); }
    pumpsim::Controller& unit(int pump) { return fleet_.unit(pump); }
    pumpsim::Fleet& fleet() { return fleet_; }

    // Puts the pump's port on the line, open with the station's receive callback and polled,
    // the way the port configuration leaves an opened pump port.
    void attach(int pump, std::size_t chunk = platform::SimSerial::kDefaultChunk) {
        const int port = portOf(pump);
        serial_.addPort(port);
        serial_.setChunkSize(port, chunk);
        platform::OpenComConfig(port, "", 19200, 0, 8, 1, 512, 512);
        platform::InstallComCallback(port, platform::kEventCharReceived, 0, 1,
                                     SerialReceiveCallback, nullptr);
        serial_.setWriteListener(
            port, [this](int p, const std::vector<std::uint8_t>& bytes) { heard(p - 1, bytes); });
        PumpTable[pump].ComPort = port;
        PumpTable[pump].ConfiguredComPort = port;
        PumpTable[pump].PortConfig.Mode = 1;
    }
    // Listens on a pump's port that the station opened itself (its start-up).
    void listen(int pump) {
        serial_.setWriteListener(
            portOf(pump), [this](int p, const std::vector<std::uint8_t>& b) { heard(p - 1, b); });
    }
    // Called after a controller has taken in a request (and built its reply), with the
    // request's bytes: the moment to look at what it is reporting.
    std::function<void(int pump, const std::vector<std::uint8_t>& request)> onRequest;

  private:
    void heard(int pump, const std::vector<std::uint8_t>& bytes) {
        if (pump < 0 || pump >= size()) return;
        const double now = platform::Timer();
        fleet_.advance(now);
        fleet_.unit(pump).receive(bytes, now);
        if (onRequest) onRequest(pump, bytes);
        forward(pump);
    }
    void forward(int pump) {
        pumpsim::Controller& c = fleet_.unit(pump);
        if (c.hungUp()) serial_.hangUp(portOf(pump));
        for (const pumpsim::Chunk& chunk : c.takeOutput())
            serial_.farEndSendTimed(portOf(pump), chunk.bytes.data(), chunk.bytes.size(), chunk.at);
    }
    void tick() {
        fleet_.advance(platform::Timer());
        for (int p = 0; p < size(); ++p) forward(p);
    }

    platform::SimSerial& serial_;
    pumpsim::Fleet fleet_;
    int timer_ = 0;
};
