// The remote page (web/) in headless Chromium, served by the project's broker configuration
// with MQTT over WebSockets, against vnk-station publishing a vnk-sim fleet: the values it
// shows against the fleet's own, "offline" after kill -9, "stale" while the broker is paused
// (no will), a second station beside the first, a pump stale on its station's clock, and a
// page that can write nothing to the broker.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "support/broker_process.h"
#include "support/headless_browser.h"
#include "support/private_network.h"
#include "support/remote_station.h"

namespace fs = std::filesystem;
using remotetest::json;
using remotetest::simState;

namespace {

std::int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What the page shows of one station: status, note, totals, alarms and every tile.
constexpr const char* kReadStation = R"((key) => {
  const s = document.querySelector('.station[data-station="' + key + '"]');
  if (!s) return null;
  const text = (e, sel) => e.querySelector(sel).textContent;
  const totals = {};
  for (const b of s.querySelectorAll('.total'))
    totals[b.dataset.field] = { text: text(b, '.value'), stale: b.dataset.stale === 'true',
                                alert: b.dataset.alert || '' };
  return {
    status: s.dataset.status, label: text(s, '.status'), note: text(s, '.status-note'),
    name: text(s, '.station-name'), totals: totals,
    alarms: [...s.querySelectorAll('.alarms li')].map((l) => l.textContent),
    tiles: [...s.querySelectorAll('.tile')].map((t) => ({
      pump: Number(t.dataset.pump), state: t.dataset.state, stale: t.dataset.stale === 'true',
      rpm: text(t, '.rpm'), psi: text(t, '.psi'), bpm: text(t, '.bpm'), flag: text(t, '.flag'),
      id: text(t, '.id') })),
  };
})";

QJsonObject readStation(HeadlessBrowser& browser, const std::string& key) {
    return browser.evaluate("(" + std::string(kReadStation) + ")('" + key + "')").toObject();
}

QJsonObject tile(const QJsonObject& station, int pump) {
    for (const auto t : station["tiles"].toArray())
        if (t.toObject()["pump"].toInt() == pump) return t.toObject();
    return {};
}

double number(const QJsonObject& o, const char* field) {
    bool ok = false;
    const double v = o[field].toString().toDouble(&ok);
    return ok ? v : std::nan("");
}

// Where the README's shots of the page go when they are asked for: VNK_SCREENSHOT_DIR, taken
// out of the environment so that the station does not save its own windows there.
const fs::path& ScreenshotDir() {
    static const fs::path dir = [] {
        const char* set = std::getenv("VNK_SCREENSHOT_DIR");
        fs::path out = set != nullptr ? fs::path(set) : fs::path();
        ::unsetenv("VNK_SCREENSHOT_DIR");
        return out;
    }();
    return dir;
}

// A second station on the same broker, published by the test: retained state and pumps,
// a heartbeat every half second on a clock three hours behind this machine's (a station
// clock far from the viewer's must not matter), and one pump whose sample lags.
class ScriptedStation {
  public:
    static constexpr std::int64_t kClockOffsetMs = -3LL * 3600 * 1000;

    ~ScriptedStation() {
        running_ = false;
        if (beat_.joinable()) beat_.join();
    }

    bool start(int port, int lagPump, std::int64_t lagMs) {
        if (!link_.start(port)) return false;
        publish("state",
                R"({"state":"online","site":"Well Pad 9","station":"van2","version":"0.1",)"
                R"("started_ms":)" +
                    std::to_string(stationMs() - 60000) + R"(,"pumps_configured":8})",
                true);
        const std::int64_t startMs = stationMs();
        publishPumps(lagPump, lagMs, startMs);
        running_ = true;
        beat_ = std::thread([this, lagPump, lagMs, startMs] {
            std::int64_t seq = 0;
            while (running_) {
                // Its clock steps exactly half a second a beat, so the lag the page shows is
                // the scripted one whatever the beats' own timing.
                const std::int64_t now = startMs + 500 * seq;
                // Every second, as a station does while its pumps stand still.
                if (seq % 2 == 1) publishPumps(lagPump, lagMs, now);
                publish("heartbeat", R"({"seq":)" + std::to_string(++seq) + R"(,"time_ms":)" +
                                         std::to_string(now) + "}");
                publish("fleet",
                        R"({"time_ms":)" + std::to_string(now) +
                            R"(,"pumps_online":8,"rate_bpm":50.0,"discharge_psi_avg":5555.4,)"
                            R"("hhp":6800,"volume_bbl":28,"auto":{"mode":"pressure",)"
                            R"("target_psi":6000},"estop":{"active":false,"input":"broken"},)"
                            R"("alarms":[]})");
                for (int i = 0; i < 5 && running_; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        return true;
    }

    static std::int64_t stationMs() { return wallMs() + kClockOffsetMs; }

  private:
    // Every pump sampled at t, but lagPump lagMs before; pumps 9-24 not configured.
    void publishPumps(int lagPump, std::int64_t lagMs, std::int64_t t) {
        for (int p = 1; p <= 24; ++p) {
            const bool configured = p <= 8;
            const std::int64_t sample = p == lagPump ? t - lagMs : t;
            publish("pump/" + std::to_string(p),
                    R"({"pump":)" + std::to_string(p) + R"(,"id":"B-)" + std::to_string(p) +
                        R"(","configured":)" + (configured ? "true" : "false") + R"(,"online":)" +
                        (configured ? "true" : "false") +
                        R"(,"port_lost":false,"motor_rpm":1234,"setpoint_rpm":1234,)"
                        R"("discharge_psi":5555.4,"rate_bpm":6.25,"hhp":850,"volume_bbl":3.5,)"
                        R"("trip_psi":9000,"drive_on":true,"tripped":false,"alarms":[],)"
                        R"("auto":false,"group":null,"sample_ms":)" +
                        std::to_string(configured ? sample : 0) + "}",
                    true);
        }
    }

    void publish(const std::string& what, const std::string& payload, bool retain = false) {
        link_.publish("vnk/Well_Pad_9/van2/" + what, payload, retain);
    }

    TestSubscriber link_{"scripted-station"};
    std::atomic<bool> running_{false};
    std::thread beat_;
};

class RemotePage : public remotetest::RemoteStationTest {
  protected:
    void SetUp() override {
        // The page's listener binds every interface whatever its line says: the broker, the
        // station and the browser run in a network of the test's own, where that is loopback.
        const std::string outside = EnterPrivateNetwork();
        ScreenshotDir();
        remotetest::RemoteStationTest::SetUp();
        if (HeadlessBrowser::program().empty())
            GTEST_FAIL() << "chromium is not installed (scripts/deps.sh installs it)";
        if (!fs::exists(fs::path(VNK_SOURCE_DIR) / "web" / "vendor" / "mqtt.min.js"))
            GTEST_FAIL() << "web/vendor/mqtt.min.js is missing (scripts/web_bundle.sh fetches it)";
        ASSERT_TRUE(broker.startProjectBroker(VNK_SOURCE_DIR)) << broker.log();
        if (!outside.empty() && !ListensOnLoopbackOnly(broker.webPort()))
            GTEST_SKIP() << "NOT RUN: the page's listener (port " << broker.webPort()
                         << ") is open to every interface, and no private network could be "
                            "had for it ("
                         << outside << "); run as root";
        ASSERT_TRUE(browser.start()) << browser.log();
    }
    void TearDown() override {
        browser.stop();
        remotetest::RemoteStationTest::TearDown();
    }
    bool openPage() {
        return browser.open("http://127.0.0.1:" + std::to_string(broker.webPort()) + "/") &&
               waitFor(
                   [&] {
                       return browser.evaluate("document.body.dataset.broker").toString() ==
                              "connected";
                   },
                   30.0);
    }
    // A shot of the page for the README, when asked for; not a check of the page.
    void screenshot(const std::string& name) {
        if (!ScreenshotDir().empty() && !browser.screenshot(ScreenshotDir() / name))
            ADD_FAILURE() << "no screenshot " << name << ": " << browser.log();
    }
    std::string statusOf(const std::string& key) {
        return readStation(browser, key)["status"].toString().toStdString();
    }

    BrokerProcess broker;
    HeadlessBrowser browser;
};

TEST_F(RemotePage, ShowsEveryPumpAsTheFleetHasItAndTurnsOfflineWhenTheStationIsKilled) {
    configure(1, broker.port());  // the station's screen in metric: the page reads US units
    startSim({"--speed", "1-8=620", "--speed", "9-16=680", "--speed", "17-24=720", "--drive-on",
              "1-3,5-24", "--trip", "5", "--fail", "11=silent"});
    ASSERT_TRUE(startStation());
    ASSERT_TRUE(openPage()) << browser.log() << broker.log();

    // Every pump that answers on line, the silent one off line; values those of the fleet.
    const auto settled = [&] {
        const QJsonObject s = readStation(browser, "pad/van");
        if (s["status"].toString() != "live") return false;
        for (int p = 1; p <= 24; ++p) {
            const QString state = tile(s, p)["state"].toString();
            if (p == 11 ? state != "offline" : state == "nodata" || state == "offline")
                return false;
        }
        return true;
    };
    ASSERT_TRUE(waitFor(settled))
        << QJsonDocument(readStation(browser, "pad/van")).toJson().toStdString();
    // Ramped and steady: the page shows every answering pump at the speed vnk-sim has, and
    // the fleet's rate of the station's own message (which comes on its own beat) has caught up.
    QJsonObject s;
    std::map<int, remotetest::SimPump> fleet;
    const auto fleetRate = [&] {
        double rate = 0;
        for (const auto& [p, f] : fleet)
            if (p != 11) rate += f.gpm / 42.0;
        return rate;
    };
    const auto shownRate = [&] {
        return s["totals"].toObject()["rate_bpm"].toObject()["text"].toString().split(
            QChar(0xa0))[0].toDouble();
    };
    ASSERT_TRUE(waitFor([&] {
        s = readStation(browser, "pad/van");
        fleet = simState(dir / "fleet.state");
        if (fleet.size() != 24u) return false;
        for (int p = 1; p <= 24; ++p)
            if (p != 11 && !(std::abs(number(tile(s, p), "rpm") - fleet.at(p).rpm) <= 30.0))
                return false;
        return std::abs(shownRate() - fleetRate()) <= 1.0;
    })) << QJsonDocument(s).toJson().toStdString();
    EXPECT_EQ(s["name"].toString(), "pad / van");
    for (int p = 1; p <= 24; ++p) {
        SCOPED_TRACE("pump " + std::to_string(p));
        const QJsonObject t = tile(s, p);
        EXPECT_FALSE(t["stale"].toBool()) << t["flag"].toString().toStdString();
        if (p == 11) {
            EXPECT_EQ(t["rpm"].toString(), "----");
            EXPECT_EQ(t["flag"].toString(), "OFF LINE");
            continue;
        }
        const auto& f = fleet.at(p);
        EXPECT_NEAR(number(t, "rpm"), f.rpm, 30.0);
        EXPECT_NEAR(number(t, "psi"), f.psi, 0.03 * f.psi + 10.0);  // psi, not MPa
        EXPECT_NEAR(number(t, "bpm"), f.gpm / 42.0, 0.15);
        const char* want = p == 5 ? "tripped" : p == 4 ? "off" : "running";
        EXPECT_EQ(t["state"].toString(), want);
    }
    const QJsonObject totals = s["totals"].toObject();
    EXPECT_EQ(totals["pumps_online"].toObject()["text"].toString(), "23");
    EXPECT_FALSE(totals["rate_bpm"].toObject()["stale"].toBool());
    EXPECT_NEAR(shownRate(), fleetRate(), 1.0);
    EXPECT_EQ(totals["estop"].toObject()["text"].toString(), "Ready");
    EXPECT_EQ(totals["auto"].toObject()["text"].toString(), "Off");
    bool tripListed = false;
    for (const auto a : s["alarms"].toArray())
        tripListed = tripListed || a.toString().startsWith("Pump 5 \u2014 Trip");
    EXPECT_TRUE(tripListed) << QJsonDocument(s["alarms"].toArray()).toJson().toStdString();

    // kill -9: the broker's will says "offline", and every value is shown as possibly frozen.
    ::kill(station.pid(), SIGKILL);
    QJsonObject off;
    EXPECT_TRUE(waitFor([&] {
        off = readStation(browser, "pad/van");
        bool frozen = off["status"].toString() == "offline" && off["label"].toString() == "OFFLINE" &&
                      off["totals"].toObject()["rate_bpm"].toObject()["stale"].toBool();
        for (int p = 1; p <= 24; ++p) frozen = frozen && tile(off, p)["stale"].toBool();
        return frozen;
    }, 60.0)) << QJsonDocument(off).toJson().toStdString();
    screenshot("remote_offline.png");
}

TEST_F(RemotePage, AStationSilencedWithoutItsWillTurnsStaleBesideASecondStation) {
    configure(0, broker.port());
    startSim({"--trip", "5"});
    ASSERT_TRUE(startStation());
    ScriptedStation second;
    ASSERT_TRUE(second.start(broker.port(), 3, 8000));
    ASSERT_TRUE(openPage()) << browser.log() << broker.log();

    // Both listed, in the order of their names, both live.
    ASSERT_TRUE(waitFor([&] {
        return statusOf("pad/van") == "live" && statusOf("Well_Pad_9/van2") == "live" &&
               tile(readStation(browser, "pad/van"), 24)["state"].toString() == "running";
    })) << broker.log();
    EXPECT_EQ(browser
                  .evaluate("[...document.querySelectorAll('.station')]"
                            ".map((s) => s.dataset.station).join(',')")
                  .toString(),
              "Well_Pad_9/van2,pad/van");
    EXPECT_EQ(browser.evaluate("document.getElementById('summary').textContent").toString(),
              "2 stations: 2 live, 0 stale, 0 offline");

    // On the second station, whose clock is 3 h behind this one, only the pump whose sample
    // is 8 s older than the station's heartbeat is stale; pumps 9-24 are not configured.
    const QJsonObject two = readStation(browser, "Well_Pad_9/van2");
    EXPECT_EQ(two["name"].toString(), "Well Pad 9 / van2");
    for (int p = 1; p <= 24; ++p) {
        SCOPED_TRACE("pump " + std::to_string(p));
        const QJsonObject t = tile(two, p);
        EXPECT_EQ(t["stale"].toBool(), p == 3);
        EXPECT_EQ(t["state"].toString(), p <= 8 ? "running" : "unconfigured");
    }
    // 8 s behind the heartbeat it goes out with, 8.5 s behind the one between two publications.
    EXPECT_EQ(tile(two, 3)["flag"].toString(), "STALE 8 s");
    EXPECT_EQ(tile(two, 1)["rpm"].toString(), "1234");
    EXPECT_EQ(tile(two, 1)["psi"].toString(), "5555");
    EXPECT_EQ(tile(two, 1)["bpm"].toString(), "6.3");
    const QJsonObject totals = two["totals"].toObject();
    EXPECT_EQ(totals["auto"].toObject()["text"].toString(), "Hold Pressure 6000 psi");
    EXPECT_EQ(totals["estop"].toObject()["alert"].toString(), "amber");
    screenshot("remote_page.png");

    // The page may read, never write: what it publishes under a station's topics is dropped.
    // The broker has taken the write once it acknowledged it; a heartbeat the station sent
    // after that comes to a subscriber after what the broker passed on of the write.
    TestSubscriber viewer;
    ASSERT_TRUE(viewer.start(broker.port(), "vnk/pad/van/#"));
    browser.evaluate(
        "window.vnkRemote.client.publish('vnk/pad/van/pump/3', 'from the page', "
        "{ qos: 1, retain: true }, () => { window.pageWriteTaken = true; }); true");
    ASSERT_TRUE(waitFor([&] { return browser.evaluate("window.pageWriteTaken === true").toBool(); }));
    const std::int64_t takenMs = wallMs();
    ASSERT_TRUE(viewer.waitFor([&](const auto& all) {
        return std::any_of(all.begin(), all.end(), [&](const TestSubscriber::Message& m) {
            return m.topic == "vnk/pad/van/heartbeat" &&
                   remotetest::json(m.payload)["time_ms"].toInteger() > takenMs;
        });
    }, 60.0));
    for (const auto& m : viewer.messages()) EXPECT_NE(m.payload, "from the page") << m.topic;

    // The broker paused: no heartbeat arrives and no will is published. Both turn stale
    // (timed by the page's own clock), then live again once the broker goes on.
    broker.pause();
    EXPECT_TRUE(waitFor(
        [&] { return statusOf("pad/van") == "stale" && statusOf("Well_Pad_9/van2") == "stale"; },
        30.0));
    const QJsonObject stale = readStation(browser, "pad/van");
    EXPECT_TRUE(stale["note"].toString().startsWith("no heartbeat for "))
        << stale["note"].toString().toStdString();
    for (int p = 1; p <= 24; ++p) EXPECT_TRUE(tile(stale, p)["stale"].toBool()) << "pump " << p;
    EXPECT_EQ(stale["label"].toString(), "STALE");
    broker.resume();
    EXPECT_TRUE(waitFor(
        [&] { return statusOf("pad/van") == "live" && statusOf("Well_Pad_9/van2") == "live"; },
        60.0))
        << broker.log();
}

TEST_F(RemotePage, JudgesOnTheStationsClockAndShrugsOffWhatItCannotRead) {
    ASSERT_TRUE(openPage()) << browser.log();
    const auto js = [&](const std::string& e) { return browser.evaluate(e); };
    // A sample exactly 5 s behind the heartbeat is still live; a millisecond more is stale.
    EXPECT_FALSE(js("vnkRemote.pumpStatus({online:true, drive_on:true, sample_ms:1000}, 6000, "
                    "true).stale")
                     .toBool());
    EXPECT_TRUE(js("vnkRemote.pumpStatus({online:true, drive_on:true, sample_ms:999}, 6000, "
                   "true).stale")
                    .toBool());
    // Ahead of the heartbeat (sampled before the station's clock was set back): 5 s ahead is
    // still live, an hour ahead is stale, its age untold.
    EXPECT_FALSE(js("vnkRemote.pumpStatus({online:true, drive_on:true, sample_ms:11000}, 6000, "
                    "true).stale")
                     .toBool());
    EXPECT_EQ(js("JSON.stringify(vnkRemote.pumpStatus({online:true, drive_on:true, "
                 "sample_ms:3606000}, 6000, true))")
                  .toString()
                  .toStdString(),
              R"({"state":"running","stale":true,"flag":"STALE"})");
    // No sample yet, or the station not live: stale. An off-line pump is off line, whatever
    // its last sample.
    EXPECT_TRUE(js("vnkRemote.pumpStatus({online:true, sample_ms:0}, 6000, true).stale").toBool());
    EXPECT_TRUE(
        js("vnkRemote.pumpStatus({online:true, sample_ms:6000}, 6000, false).stale").toBool());
    EXPECT_EQ(js("JSON.stringify(vnkRemote.pumpStatus({online:false, port_lost:true, "
                 "sample_ms:1}, 600000, true))")
                  .toString(),
              R"({"state":"offline","stale":false,"flag":"PORT LOST"})");
    EXPECT_EQ(js("vnkRemote.pumpStatus({online:true, tripped:true, drive_on:false, "
                 "sample_ms:6000}, 6000, true).state")
                  .toString(),
              "tripped");

    // Junk on a station's topics changes nothing and throws nothing; a cleared state removes
    // the station.
    js(R"(vnkRemote.take('vnk/x/y/state', '{"state":"online","site":"x","station":"y"}'); true)");
    js(R"(vnkRemote.take('vnk/x/y/heartbeat', '{"seq":1,"time_ms":1000}'); true)");
    js(R"(vnkRemote.take('vnk/x/y/pump/2', '{"online":true,"drive_on":true,"motor_rpm":800,"sample_ms":1000}'); true)");
    for (const char* junk :
         {R"(vnkRemote.take('vnk/x/y/pump/2', 'not json'); true)",
          R"(vnkRemote.take('vnk/x/y/pump/2', '[1,2]'); true)",
          R"(vnkRemote.take('vnk/x/y/pump/99', '{"online":true,"motor_rpm":5}'); true)",
          R"(vnkRemote.take('vnk/x/y/pump/2x', '{"online":true,"motor_rpm":5}'); true)",
          R"(vnkRemote.take('vnk/x/y/heartbeat', '{"time_ms":"soon"}'); true)",
          R"(vnkRemote.take('vnk/x/y/state', '{"state":"exploded"}'); true)"})
        EXPECT_TRUE(js(junk).toBool()) << junk << browser.log();
    ASSERT_TRUE(waitFor(
        [&] { return tile(readStation(browser, "x/y"), 2)["rpm"].toString() == "800"; }, 10.0));
    const QJsonObject xy = readStation(browser, "x/y");
    EXPECT_EQ(xy["status"].toString(), "live");
    EXPECT_FALSE(tile(xy, 2)["stale"].toBool());
    js(R"(vnkRemote.take('vnk/x/y/state', ''); true)");
    EXPECT_TRUE(waitFor([&] { return readStation(browser, "x/y").isEmpty(); }, 10.0));
}

}  // namespace

namespace {

// The broker's own rules on a plain listener: client ids are broker-wide, and a retained
// message stays until somebody clears it.
class StationAtBroker : public remotetest::RemoteStationTest {};

TEST_F(StationAtBroker, NoViewerCanTakeItsClientIdAndARenameLeavesNoGhostStation) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    configure(1, broker.port());
    startSim();
    ASSERT_TRUE(startStation());
    const auto stateOf = [](const std::vector<TestSubscriber::Message>& all,
                            const std::string& topic) {
        std::string state;
        for (const auto& m : all)
            if (m.topic == topic) state = remotetest::json(m.payload)["state"].toString().toStdString();
        return state;
    };
    TestSubscriber watch;
    ASSERT_TRUE(watch.start(broker.port(), "vnk/#"));
    ASSERT_TRUE(watch.waitFor(
        [&](const auto& all) { return stateOf(all, "vnk/pad/van/state") == "online"; }, 60.0))
        << broker.log();

    // A viewer connects with the id every viewer of "vnk/pad/van/" could derive, twice.
    for (int i = 0; i < 2; ++i) {
        TestSubscriber viewer("vnk-pad-van");
        ASSERT_TRUE(viewer.start(broker.port()));
    }
    std::string log;
    ASSERT_TRUE(waitFor([&] {  // the broker's log has come as far as both viewers' ends
        log = broker.log();
        int ended = 0;
        for (std::size_t at = 0; (at = log.find("Client vnk-pad-van disconnected", at)) != std::string::npos; ++at)
            ++ended;
        return ended >= 2;
    })) << log;
    EXPECT_EQ(log.find("closing old connection"), std::string::npos) << log;
    int stationConnections = 0;
    for (std::size_t at = 0; (at = log.find(" as vnk-pad-van-", at)) != std::string::npos; ++at)
        ++stationConnections;
    EXPECT_EQ(stationConnections, 1) << "the station's connection was never taken";

    // Renamed while it was stopped: its first connection clears the old names.
    ASSERT_EQ(station.stop(), 0);
    const fs::path registry = dir / "home" / "cfg" / "registry.reg";
    std::string text = readFile(registry);
    const std::string site = "\"Remote Site\"=\"pad\"";
    ASSERT_NE(text.find(site), std::string::npos) << text;
    text.replace(text.find(site), site.size(), "\"Remote Site\"=\"pad2\"");
    std::ofstream(registry, std::ios::binary) << text;
    ASSERT_TRUE(startStation("station2.log"));
    ASSERT_TRUE(watch.waitFor(
        [&](const auto& all) { return stateOf(all, "vnk/pad2/van/state") == "online"; }, 60.0));
    // A viewer arriving now finds nothing retained under the old names: the marker it sends
    // itself comes after every retained message the broker had for it.
    const auto ghostsFoundByANewViewer = [&] {
        TestSubscriber later;
        if (!later.start(broker.port(), "vnk/#")) return std::string("(no connection)");
        later.publish("vnk/marker", "end");
        later.waitFor(
            [](const auto& all) {
                return std::any_of(all.begin(), all.end(), [](const TestSubscriber::Message& m) {
                    return m.topic == "vnk/marker";
                });
            },
            60.0);
        std::string ghosts;
        for (const auto& m : later.messages())
            if (m.topic.rfind("vnk/pad/", 0) == 0) ghosts += m.topic + " ";
        return ghosts;
    };
    std::string ghosts;
    EXPECT_TRUE(waitFor([&] { return (ghosts = ghostsFoundByANewViewer()).empty(); }, 60.0, 0.5))
        << "ghosts of the old names: " << ghosts;
}

}  // namespace
