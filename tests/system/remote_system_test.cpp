// vnk-station publishing to a real mosquitto broker, against vnk-sim over pseudo-terminals:
// the values a viewer reads against the fleet's own, the "offline" of a clean exit and of
// kill -9, every journal event after an outage with a restart in it, and a station that
// does nothing with what others publish under its topics.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/broker_process.h"
#include "support/remote_station.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using remotetest::json;
using remotetest::SimPump;
using remotetest::simState;
using remotetest::waitFor;

namespace {

constexpr const char* kRoot = "vnk/pad/van/";

class RemoteRun : public remotetest::RemoteStationTest {
  protected:
    std::string stateOf(const TestSubscriber& sub) const {
        const auto states = sub.on(std::string(kRoot) + "state");
        return states.empty() ? std::string()
                              : json(states.back().payload)["state"].toString().toStdString();
    }
    // The station's journal: (epoch, id) of every event, in order.
    std::vector<std::pair<std::int64_t, std::int64_t>> journalIds(std::int64_t& epoch) const {
        std::vector<std::pair<std::int64_t, std::int64_t>> ids;
        sqlite3* db = nullptr;
        const std::string path = (dir / "home" / "journal" / "journal.db").string();
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return ids;
        }
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE key = 'epoch'", -1, &st, nullptr);
        epoch = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
        sqlite3_finalize(st);
        sqlite3_prepare_v2(db, "SELECT id FROM events ORDER BY id", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) ids.emplace_back(epoch, sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return ids;
    }
};

TEST_F(RemoteRun, AViewerReadsTheFleetInUsUnitsAndSeesEveryKindOfEnd) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    TestSubscriber viewer;
    ASSERT_TRUE(viewer.start(broker.port(), "vnk/#"));
    configure(1, broker.port());  // the screen in metric
    startSim();
    ASSERT_TRUE(startStation());

    // Every pump on line, its values those of the fleet (vnk-sim's own, in psi and gal/min).
    const auto allOnLine = [&] {
        int online = 0;
        for (int p = 1; p <= 24; ++p) {
            const auto m = viewer.on(std::string(kRoot) + "pump/" + std::to_string(p));
            if (!m.empty() && json(m.back().payload)["online"].toBool()) ++online;
        }
        return online == 24;
    };
    ASSERT_TRUE(waitFor(allOnLine)) << broker.log();
    ASSERT_TRUE(waitFor([&] { return viewer.on(std::string(kRoot) + "fleet").size() >= 3; }));
    std::this_thread::sleep_for(std::chrono::seconds(3));  // ramped and steady
    const auto fleet = simState(dir / "fleet.state");
    ASSERT_EQ(fleet.size(), 24u);
    for (int p = 1; p <= 24; ++p) {
        SCOPED_TRACE("pump " + std::to_string(p));
        const QJsonObject o =
            json(viewer.on(std::string(kRoot) + "pump/" + std::to_string(p)).back().payload);
        const SimPump& s = fleet.at(p);
        EXPECT_NEAR(o["motor_rpm"].toDouble(), s.rpm, 30.0);
        EXPECT_NEAR(o["discharge_psi"].toDouble(), s.psi, 0.03 * s.psi + 10.0);  // psi, not MPa
        EXPECT_NEAR(o["rate_bpm"].toDouble(), s.gpm / 42.0, 0.1);
        EXPECT_NEAR(o["trip_psi"].toDouble(), s.trip, 1.0);
    }
    const QJsonObject f = json(viewer.on(std::string(kRoot) + "fleet").back().payload);
    EXPECT_EQ(f["pumps_online"].toInt(), 24);
    EXPECT_EQ(stateOf(viewer), "online");

    // A message to the station's own topics (a set-point, a command) changes nothing: the
    // pumps keep their speed, and the station's next message takes the retained place.
    {
        mosquitto* m = mosquitto_new(nullptr, true, nullptr);
        ASSERT_EQ(mosquitto_connect(m, "127.0.0.1", broker.port(), 10), MOSQ_ERR_SUCCESS);
        const std::string junk = R"({"setpoint_rpm":0,"command":"STOP"})";
        for (const std::string t : {"pump/3", "pump/3/set", "command", "state", "fleet"})
            mosquitto_publish(m, nullptr, (std::string(kRoot) + t).c_str(),
                              static_cast<int>(junk.size()), junk.data(), 1,
                              t == std::string("pump/3"));
        mosquitto_loop(m, 500, 1);
        mosquitto_disconnect(m);
        mosquitto_destroy(m);
    }
    ASSERT_TRUE(waitFor([&] {
        const auto m = viewer.on(std::string(kRoot) + "pump/3");
        return json(m.back().payload).contains("sample_ms");
    }));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_NEAR(simState(dir / "fleet.state").at(3).rpm, 700.0, 30.0) << "pump 3 moved";

    // A clean exit says "offline" itself; kill -9 leaves it to the will.
    EXPECT_EQ(station.stop(), 0);
    ASSERT_TRUE(waitFor([&] { return stateOf(viewer) == "offline"; }, 10.0));
    const std::size_t offlineBeforeKill = viewer.on(std::string(kRoot) + "state").size();
    ASSERT_TRUE(startStation("station2.log"));
    ASSERT_TRUE(waitFor([&] { return stateOf(viewer) == "online"; }));
    ::kill(station.pid(), SIGKILL);
    ASSERT_TRUE(waitFor([&] { return stateOf(viewer) == "offline"; }, 15.0));
    EXPECT_GT(viewer.on(std::string(kRoot) + "state").size(), offlineBeforeKill);
}

TEST_F(RemoteRun, EveryJournalEventArrivesInOrderAfterAnOutageWithARestartInIt) {
    BrokerProcess broker;
    BrokerSetup setup;
    setup.persistent = true;  // the viewer's session outlives the broker's stop
    ASSERT_TRUE(broker.start(setup)) << broker.log();
    TestSubscriber viewer;
    ASSERT_TRUE(viewer.start(broker.port(), std::string(kRoot) + "#", {}, {}, "journal-viewer"));
    configure(0, broker.port());
    // Pump 5 trips 20 s into the run, while the broker is gone.
    startSim({"--event", "trip=5@20"});
    ASSERT_TRUE(startStation());
    ASSERT_TRUE(waitFor([&] { return stateOf(viewer) == "online"; })) << broker.log();
    ASSERT_TRUE(waitFor([&] { return !viewer.on(std::string(kRoot) + "event").empty(); }));

    broker.stop();
    const auto outage = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(12));
    EXPECT_EQ(station.stop(), 0);  // a restart while the broker is gone
    ASSERT_TRUE(startStation("station2.log"));
    while (Clock::now() - outage < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(broker.restart()) << broker.log();

    // Then every event of the journal after the first one published is there.
    std::int64_t epoch = 0;
    const auto published = [&] {
        std::vector<std::pair<std::int64_t, std::int64_t>> got;
        for (const auto& m : viewer.messages())
            if (m.topic == std::string(kRoot) + "event" ||
                m.topic == std::string(kRoot) + "alarm") {
                const QJsonObject o = json(m.payload);
                got.emplace_back(o["epoch"].toInteger(), o["id"].toInteger());
            }
        return got;
    };
    const auto allThere = [&] {
        const auto journal = journalIds(epoch);
        const auto got = published();
        if (journal.empty() || got.empty()) return false;
        const std::set<std::pair<std::int64_t, std::int64_t>> seen(got.begin(), got.end());
        for (const auto& e : journal)
            if (e >= got.front() && seen.count(e) == 0) return false;
        return true;
    };
    ASSERT_TRUE(waitFor(allThere, 120.0)) << broker.log();
    const auto got = published();
    std::vector<std::pair<std::int64_t, std::int64_t>> firstSeen;
    std::set<std::pair<std::int64_t, std::int64_t>> seen;
    for (const auto& e : got)
        if (seen.insert(e).second) firstSeen.push_back(e);
    EXPECT_TRUE(std::is_sorted(firstSeen.begin(), firstSeen.end())) << "not in journal order";
    bool tripSeen = false, restartSeen = false;
    for (const auto& m : viewer.messages()) {
        tripSeen = tripSeen || (m.topic == std::string(kRoot) + "alarm" &&
                                m.payload.find("Tripped") != std::string::npos);
        restartSeen = restartSeen || m.payload.find("\"Shut-down") != std::string::npos;
    }
    EXPECT_TRUE(tripSeen) << "the trip during the outage";
    EXPECT_TRUE(restartSeen) << "the shut-down during the outage";
}

}  // namespace
