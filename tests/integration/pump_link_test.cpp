// The pump link against a fleet of simulated controllers on simulated lines, in virtual
// time: coming on line, what ends up in the Pump Table, the data rate, and controllers on bad
// lines. (Going off line and back is the session's and the watchdog's test.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/sim/sim_serial.h"
#include "support/pump_fleet.h"
#include "support/sim_fixture.h"

using namespace pumplink;

namespace {

struct Seen {
    double at;
    int entry;
    PacketType type;
    WireCode code;
};
Seen seen(int entry, std::span<const std::uint8_t> packet) {
    const std::uint8_t byte4 = packet[kOffTypeCode];
    return {platform::Timer(), entry, packetTypeOf(byte4), wireCodeOf(byte4)};
}
std::vector<Seen> g_seen;
void tap(int entry, std::span<const std::uint8_t> packet) {
    g_seen.push_back(seen(entry, packet));
}

void expectClose(double table, double reported, const char* what, int pump) {
    EXPECT_NEAR(table, reported, 1e-4 * std::max(1.0, std::fabs(reported)))
        << what << ", pump " << pump + 1;
}

class PumpLink : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        platform::setSerialBackEnd(&serial);
        ResetLink();
        g_seen.clear();
        SetPacketTap(tap);
    }
    void TearDown() override {
        fleet.reset();
        ResetLink();
        platform::setSerialBackEnd(nullptr);
        SimFixture::TearDown();
    }

    void makeFleet(int pumps) {
        fleet = std::make_unique<PumpFleetHarness>(serial, pumps);
        fleet->onRequest = [this](int pump, const std::vector<std::uint8_t>& request) {
            const Seen r = seen(pump, request);
            if (r.type == PacketType::Short && r.code == WireCode::DataRecord)
                last[pump] = fleet->unit(pump);  // as it was when it built the record
        };
    }

    // The station's timers as start-up sets them.
    void startTimers() {
        panel = ui::NewPanel(0, "timers", 0, 0, 100, 100);
        const std::pair<ui::CtrlCallback, double> timers[] = {
            {GetControlData, 0.1}, {QueueTimer, 0.05}, {GetIdTimer, 10.0}, {ComTimerTick, 0.495}};
        int id = 1;
        for (auto [cb, interval] : timers) {
            ui::AddCtrl(panel, id, ui::CTRL_TIMER, "", 0, 0);
            ui::InstallCtrlCallback(panel, id, cb);
            ui::SetCtrlAttribute(panel, id, ui::ATTR_INTERVAL, interval);
            ui::SetCtrlAttribute(panel, id, ui::ATTR_ENABLED, 1);
            ++id;
        }
    }
    void stopPolling() {
        ui::SetCtrlAttribute(panel, 1, ui::ATTR_ENABLED, 0);
        ui::SetCtrlAttribute(panel, 3, ui::ATTR_ENABLED, 0);
    }
    bool allOnline(int pumps) const {
        for (int p = 0; p < pumps; ++p)
            if (PumpTable[p].Online == 0) return false;
        return true;
    }
    int dataReplies(int entry, double from, double to) const {
        int n = 0;
        for (const Seen& s : g_seen)
            if (s.entry == entry && s.type == PacketType::Data && s.code == WireCode::DataRecord &&
                s.at >= from && s.at < to)
                ++n;
        return n;
    }

    platform::SimSerial serial;
    std::unique_ptr<PumpFleetHarness> fleet;
    std::optional<pumpsim::Controller> last[kPumpCount];
    int panel = 0;
};

TEST_F(PumpLink, FleetComesOnLineAndTheTableMatchesTheControllers) {
    makeFleet(kPumpCount);
    // A well that takes the whole fleet at speed without an overpressure trip.
    pumpsim::Well::Params wide;
    wide.k = 5.0e-5;
    fleet->fleet().well.setParams(wide);
    for (int p = 0; p < kPumpCount; ++p) {
        fleet->attach(p, 1 + static_cast<std::size_t>(p) % 16);  // chunks of 1 to 16 bytes
        fleet->unit(p).setDriveOn(true);
        fleet->unit(p).setSpeedSetpoint(700 + 45 * p);
    }
    fleet->unit(4).setFault(0x0002);
    fleet->unit(9).trip(0x0008);
    startTimers();

    ASSERT_TRUE(loop.runUntil([this] { return allOnline(kPumpCount); }, 1.0));
    const double onlineAt = loop.now();
    EXPECT_LT(onlineAt, 1.0);

    loop.advance(20.0 - loop.now());
    // Data records per second over 10 s: the poll rate (10/s) is below the line limit of
    // 1920 / (10 + 98) = 17.8/s, so about 10.
    for (int p = 0; p < kPumpCount; ++p) {
        const int n = dataReplies(p, 5.0, 15.0);
        EXPECT_GE(n, 90) << "pump " << p + 1;
        EXPECT_LE(n, 110) << "pump " << p + 1;
    }

    stopPolling();
    loop.advance(1.0);  // what is on its way lands
    for (int p = 0; p < kPumpCount; ++p) {
        const PumpRecord& r = PumpTable[p];
        ASSERT_TRUE(last[p].has_value());
        const pumpsim::Controller& s = *last[p];
        EXPECT_EQ(r.Online, 1);
        expectClose(r.MotorRpm, s.motorRpm(), "motor rpm", p);
        expectClose(r.PumpRpm, s.pumpRpm(), "pump rpm", p);
        expectClose(r.PumpRate, s.rateGpm() / 42.0, "rate", p);
        expectClose(r.TotalVolume, s.totalGallons() / 42.0, "volume", p);
        expectClose(r.DischargePressure, s.dischargePsi(), "discharge", p);
        expectClose(r.SuctionPressure, s.suctionPsi(), "suction", p);
        expectClose(r.OilPressure, s.oilPsi(), "oil pressure", p);
        expectClose(r.OilTemperature, s.oilTempF(), "oil temperature", p);
        expectClose(r.BearingTempDE, s.bearingTempF(0), "bearing DE", p);
        expectClose(r.BearingTempNDE, s.bearingTempF(1), "bearing NDE", p);
        expectClose(r.WindingTempA, s.windingTempF(0), "winding A", p);
        expectClose(r.WindingTempB, s.windingTempF(1), "winding B", p);
        expectClose(r.WindingTempC, s.windingTempF(2), "winding C", p);
        expectClose(r.HydraulicHp, s.dischargePsi() * s.rateGpm() * 0.00058334, "hydraulic hp", p);
        EXPECT_EQ(r.StatusWord, s.statusWord()) << p;
        EXPECT_EQ(r.Tripped, (s.statusWord() & pumpsim::kStateMask) == pumpsim::kStateTripped) << p;
        EXPECT_EQ(r.AlarmWord, s.alarmWord()) << p;
        EXPECT_EQ(r.TripWord, s.tripWord()) << p;
        EXPECT_EQ(r.FaultWord, s.faultWord()) << p;
        EXPECT_EQ(r.LastTripPressure, static_cast<float>(s.lastTripPsi())) << p;
        EXPECT_EQ(r.TripPressure, static_cast<float>(s.tripPsi())) << p;
        EXPECT_EQ(r.RpmSetpoint, s.setpoint()) << p;
        EXPECT_EQ(r.VfdOn, s.driveOn() ? 1 : 0) << p;
        EXPECT_EQ(r.StatusFlag2, s.overrideOn() ? 1 : 0) << p;
        EXPECT_EQ(r.AutoAllowed, s.autoAllowed() ? 1 : 0) << p;

        const pumpsim::Controller& c = fleet->unit(p);
        EXPECT_EQ(std::string(r.PumpId, strnlen(r.PumpId, sizeof r.PumpId)), c.pumpId()) << p;
        EXPECT_TRUE(std::equal(r.PumpConfig.bytes.begin(), r.PumpConfig.bytes.end(),
                               c.pumpConfig().begin()))
            << p;
        EXPECT_EQ(r.MaxRpm, c.maxRpm()) << p;
        EXPECT_EQ(r.MinRpm, c.minRpm()) << p;
        EXPECT_EQ(std::string(PumpTable[p].NetworkInfo), c.networkText()) << p;
        // What coming on line sent the controller.
        EXPECT_EQ(c.timeout1(), 30u) << p;
        EXPECT_EQ(c.timeout2(), 60u) << p;
    }
    // The stopped motor of the tripped pump and the running ones are told apart.
    EXPECT_EQ(PumpTable[9].Tripped, 1);
    EXPECT_GT(PumpTable[20].MotorRpm, 1000.0f);
}

}  // namespace
