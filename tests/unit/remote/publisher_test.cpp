// Remote monitoring on the simulated broker in virtual time: what the station publishes
// against what the simulated pumps really do, the journal as the outbox across outages and
// restarts, a broker that refuses or never answers, and the settings window.
#include "remote/publisher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include <gmock/gmock.h>

#include "platform/mqtt.h"
#include "platform/report_printer.h"
#include "platform/sim/sim_mqtt.h"
#include "remote/remote_panel.h"
#include "safety/estop.h"
#include "settings/remote_settings.h"
#include "shell/password.h"
#include "stages/stages.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/remote_window.h"

namespace {

QJsonObject json(const std::string& payload) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(payload), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << payload;
    return doc.object();
}

settings::RemoteSettings brokerSettings() {
    settings::RemoteSettings r;
    r.enabled = true;
    r.host = "broker.test";
    r.port = 1883;
    r.site = "Well Pad 7";  // a space: cleaned from the topic
    r.station = "van/1";    // a slash: cleaned from the topic
    r.user = "station";
    r.password = "s3cret";
    return r;
}

constexpr const char* kRoot = "vnk/Well_Pad_7/van_1/";

class Remote : public JournaledStationFleet {
  protected:
    void SetUp() override {
        JournaledStationFleet::SetUp();
        platform::setMqttBackEnd(&broker);
    }
    void TearDown() override {
        JournaledStationFleet::TearDown();
        platform::setMqttBackEnd(nullptr);
    }
    void startWith(const settings::RemoteSettings& r = brokerSettings(),
                   const settings::ConfigRecord& config = FleetConfig()) {
        settings::WriteRemoteSettings(r);
        start(config);
    }
    std::string retained(const std::string& leaf) const {
        auto it = broker.retained.find(kRoot + leaf);
        return it == broker.retained.end() ? std::string() : it->second;
    }
    // The (epoch, id) of every journal message the broker took, in order.
    std::vector<std::pair<std::int64_t, std::int64_t>> journalMessages() const {
        std::vector<std::pair<std::int64_t, std::int64_t>> ids;
        for (const auto& m : broker.published)
            if (m.topic == std::string(kRoot) + "alarm" ||
                m.topic == std::string(kRoot) + "event") {
                const QJsonObject o = json(m.payload);
                ids.emplace_back(o["epoch"].toInteger(), o["id"].toInteger());
            }
        return ids;
    }
    bool bankRemoteLineShown() const {
        return ui::GetCtrlAttributeInt(BankPanel[0], windows::BANK_REMOTE_STATUS,
                                       ui::ATTR_VISIBLE) == 1;
    }

    platform::SimMqttBroker broker;
};

TEST_F(Remote, PublishesTheBirthFleetAndEveryPumpInUsUnitsWhileTheScreenShowsMetric) {
    settings::ConfigRecord config = FleetConfig();
    config.DisplayUnits = settings::kUnitsMetric;
    // Ids never programmed (erased memory, zeros after text) and Latin-1 bytes: every payload
    // stays valid UTF-8 for a strict reader.
    startWith(brokerSettings(), config);
    const auto readId = [&](int pump, const std::string& bytes) {  // as the decoder copies it
        fleet->unit(pump).setPumpId(bytes);  // and as the station reads it again
        char* id = PumpTable[pump].PumpId;
        std::memset(id, 0, sizeof PumpTable[pump].PumpId);
        std::memcpy(id, bytes.data(), std::min(bytes.size(), sizeof PumpTable[pump].PumpId));
    };
    readId(0, std::string(sizeof PumpTable[0].PumpId, '\xFF'));
    readId(1, "FP-2\xFF\xFF\xFF\xFF");
    readId(3, "P\xB0 4");
    journal::Record(3, journal::Kind::Command, "Ger\xE4t \xC3");
    fleet->unit(2).setSpeedSetpoint(1200);
    loop.advance(12.0);
    for (const auto& m : broker.published) {
        QStringDecoder strict(QStringDecoder::Utf8);
        (void)QString(strict(QByteArray::fromStdString(m.payload)));
        EXPECT_FALSE(strict.hasError()) << m.topic << ": " << m.payload;
        EXPECT_EQ(json(m.payload)["v"].toInt(), 1) << m.topic << ": " << m.payload;
    }
    EXPECT_EQ(json(retained("pump/1"))["id"].toString(), "");
    EXPECT_EQ(json(retained("pump/2"))["id"].toString(), "FP-2");
    EXPECT_EQ(json(retained("pump/4"))["id"].toString(), QString("P\uFFFD 4"));
    const QJsonArray metaPumps = json(retained("meta"))["pumps"].toArray();
    ASSERT_EQ(metaPumps.size(), 24);
    EXPECT_EQ(metaPumps[1].toObject()["id"].toString(), "FP-2");

    // The will and the birth: the station's names as given, the topic cleaned of / and space.
    ASSERT_FALSE(broker.optionsSeen.empty());
    EXPECT_EQ(broker.optionsSeen.back().willTopic, std::string(kRoot) + "state");
    EXPECT_EQ(json(broker.optionsSeen.back().willPayload)["state"].toString(), "offline");
    EXPECT_EQ(broker.optionsSeen.back().user, "station");
    const QJsonObject state = json(retained("state"));
    EXPECT_EQ(state["state"].toString(), "online");
    EXPECT_EQ(state["station"].toString(), "van/1");
    EXPECT_EQ(state["pumps_configured"].toInt(), 24);
    EXPECT_FALSE(state["version"].toString().isEmpty());

    // Each pump against the simulated unit's own values, which know nothing of the screen.
    double rateSum = 0.0;
    for (int p = 0; p < kPumps; ++p) {
        const QJsonObject pump = json(retained("pump/" + std::to_string(p + 1)));
        const pumpsim::Controller& unit = fleet->unit(p);
        SCOPED_TRACE("pump " + std::to_string(p + 1));
        EXPECT_EQ(pump["pump"].toInt(), p + 1);
        EXPECT_TRUE(pump["online"].toBool());
        EXPECT_NEAR(pump["motor_rpm"].toDouble(), unit.motorRpm(), 25.0);
        EXPECT_NEAR(pump["discharge_psi"].toDouble(), unit.dischargePsi(),
                    0.02 * unit.dischargePsi() + 5.0);
        EXPECT_NEAR(pump["rate_bpm"].toDouble(), unit.rateGpm() / 42.0, 0.05);
        EXPECT_NEAR(pump["trip_psi"].toDouble(), unit.tripPsi(), 1.0);
        EXPECT_EQ(pump["drive_on"].toBool(), unit.driveOn());
        EXPECT_GT(pump["sample_ms"].toInteger(), 0);
        rateSum += unit.rateGpm() / 42.0;
    }
    EXPECT_GT(json(retained("pump/3"))["motor_rpm"].toDouble(), 1000.0);

    const auto fleetMessages = broker.on(std::string(kRoot) + "fleet");
    ASSERT_GE(fleetMessages.size(), 5u);
    const QJsonObject fleetValues = json(fleetMessages.back().payload);
    EXPECT_EQ(fleetValues["pumps_online"].toInt(), 24);
    EXPECT_NEAR(fleetValues["rate_bpm"].toDouble(), rateSum, 0.1 * 24);
    EXPECT_EQ(fleetValues["auto"].toObject()["mode"].toString(), "off");
    EXPECT_FALSE(fleetValues["estop"].toObject()["active"].toBool());
    EXPECT_EQ(fleetValues["estop"].toObject()["input"].toString(), "closed");

    // A heartbeat a second, numbered without a gap, on the station's clock.
    const auto beats = broker.on(std::string(kRoot) + "heartbeat");
    ASSERT_GE(beats.size(), 6u);
    for (std::size_t i = 2; i < beats.size(); ++i) {  // the first after the connect comes sooner
        EXPECT_EQ(json(beats[i].payload)["seq"].toInteger(),
                  json(beats[i - 1].payload)["seq"].toInteger() + 1);
        EXPECT_NEAR(beats[i].at - beats[i - 1].at, 1.0, 0.26);
    }
    EXPECT_EQ(
        json(beats.back().payload)["time_ms"].toInteger(),
        loop.wallTimeMs() - static_cast<std::int64_t>((loop.now() - beats.back().at) * 1000.0));
}

TEST_F(Remote, APumpGoesOutOnChangeAtMostOnceASecondAndStillEveryTwoSecondsWhenSteady) {
    startWith();
    loop.advance(3.0);
    const std::string topic = std::string(kRoot) + "pump/5";
    const std::size_t before = broker.on(topic).size();
    const double from = loop.now();
    fleet->unit(4).setSpeedSetpoint(1500);  // ramps for seconds: changes at every reply
    loop.advance(6.0);
    const auto ramp = broker.on(topic);
    ASSERT_GT(ramp.size(), before + 4);
    for (std::size_t i = before + 1; i < ramp.size(); ++i)
        EXPECT_GE(ramp[i].at - ramp[i - 1].at, 0.99);
    EXPECT_LT(ramp[before].at - from, 1.3);

    // A pump standing still (drive off) changes nothing: it goes out every 2 s, its sample
    // time showing it alive.
    fleet->unit(7).setDriveOn(false);
    loop.advance(10.0);
    const std::string still = std::string(kRoot) + "pump/8";
    const std::size_t stillFrom = broker.on(still).size();
    loop.advance(10.0);
    const auto steady = broker.on(still);
    const std::size_t n = steady.size() - stillFrom;
    EXPECT_GE(n, 4u);
    EXPECT_LE(n, 6u);
    EXPECT_GT(json(steady.back().payload)["sample_ms"].toInteger(),
              json(steady[stillFrom].payload)["sample_ms"].toInteger());

    // The wall clock set back an hour: the refresh goes on every 2 s, samples on the new clock.
    loop.stepWallClock(-3600.0);
    loop.advance(10.0);
    const auto after = broker.on(still);
    EXPECT_GE(after.size() - steady.size(), 4u);
    EXPECT_LE(after.size() - steady.size(), 6u);
    const std::int64_t sample = json(after.back().payload)["sample_ms"].toInteger();
    EXPECT_LE(std::abs(loop.wallTimeMs() - sample), 2500);
}

TEST_F(Remote, EveryJournalEventReachesTheBrokerInOrderAcrossAnOutageAndARestart) {
    startWith();
    loop.advance(2.0);
    const std::int64_t firstAfterStart = store.events.back().id;

    // Acknowledgements lost with the connection, then the broker gone for 30 s while a
    // pump trips, and the operator acknowledges it.
    broker.holdAcks = true;
    journal::Record(journal::kNoPump, journal::Kind::Command, "before the outage");
    loop.advance(0.5);
    broker.drop();
    broker.answer = platform::SimMqttBroker::Answer::Unreachable;
    journal::SetAlarm(3, journal::Kind::Trip, "Tripped");
    loop.advance(10.0);
    journal::Acknowledge(3, journal::Kind::Trip, "Tripped");
    journal::Record(journal::kNoPump, journal::Kind::Command, "during the outage");
    loop.advance(5.0);

    // The station restarts meanwhile: the publisher starts again from the journal file.
    remote::StopRemote();
    remote::ResetRemote();
    remote::StartRemote("test");
    journal::Record(journal::kNoPump, journal::Kind::Command, "after the restart");
    loop.advance(15.0);
    broker.holdAcks = false;
    broker.answer = platform::SimMqttBroker::Answer::Accept;
    loop.advance(40.0);  // within the longest pause between attempts
    ASSERT_TRUE(broker.connected());
    loop.advance(2.0);

    // Every event after the start is there, first seen in journal order; duplicates allowed.
    const auto got = journalMessages();
    std::set<std::int64_t> seen;
    std::vector<std::int64_t> firstSeen;
    for (const auto& [epoch, id] : got) {
        EXPECT_EQ(epoch, store.fileEpoch);
        if (seen.insert(id).second) firstSeen.push_back(id);
    }
    EXPECT_TRUE(std::is_sorted(firstSeen.begin(), firstSeen.end()));
    for (const journal::Event& e : store.events) {
        if (e.id > firstAfterStart) {
            EXPECT_TRUE(seen.count(e.id)) << "missing: " << e.text;
        }
    }
    EXPECT_EQ(remote::CurrentRemoteStatus().eventsWaiting, 0);
    EXPECT_EQ(store.mark(remote::kAckedMark), store.events.back().id);

    // The trip and its acknowledgement went to "alarm", the commands to "event".
    int alarms = 0, commandEvents = 0;
    for (const auto& m : broker.published) {
        if (m.topic == std::string(kRoot) + "alarm") {
            const QJsonObject o = json(m.payload);
            EXPECT_TRUE(o["kind"].toString() == "Trip" || o["kind"].toString() == "Acknowledge" ||
                        o["kind"].toString() == "Alarm" || o["kind"].toString() == "E-Stop")
                << m.payload;
            ++alarms;
            EXPECT_EQ(m.qos, 1);
        }
        if (m.topic == std::string(kRoot) + "event" &&
            json(m.payload)["kind"].toString() == "Command")
            ++commandEvents;
    }
    EXPECT_GE(alarms, 2);
    EXPECT_GE(commandEvents, 3);
}

TEST_F(Remote, AnEventWhoseAcknowledgementWasLostIsSentAgainThoughLaterOnesWereAcknowledged) {
    startWith();
    loop.advance(2.0);
    broker.loseAck = [](const platform::SimMqttBroker::Message& m) {
        return m.payload.find("its answer lost") != std::string::npos;
    };
    journal::Record(journal::kNoPump, journal::Kind::Command, "its answer lost");
    const std::int64_t lost = store.events.back().id;
    journal::Record(journal::kNoPump, journal::Kind::Command, "answered");
    loop.advance(1.0);
    EXPECT_LT(*store.mark(remote::kAckedMark), lost) << "marked past a message never acknowledged";
    EXPECT_GE(remote::CurrentRemoteStatus().eventsWaiting, 2);

    broker.loseAck = nullptr;
    broker.drop();
    loop.advance(3.0);
    ASSERT_TRUE(broker.connected());
    int sent = 0;
    for (const auto& [epoch, id] : journalMessages()) sent += id == lost ? 1 : 0;
    EXPECT_EQ(sent, 2) << "sent again after the reconnect";
    EXPECT_EQ(store.mark(remote::kAckedMark), store.events.back().id);
}

TEST_F(Remote, AJournalFileStartedAfreshIsSentWholeAndAStationNewToRemoteStartsWithThisRun) {
    // Events an earlier run left in the file, before remote monitoring was set up.
    for (int i = 0; i < 5; ++i) {
        journal::Event e{0, 1000, journal::kNoPump, journal::Kind::Command, "old history"};
        ASSERT_TRUE(store.append(e));
    }
    startWith();
    loop.advance(2.0);
    bool startUpSent = false;
    for (const auto& m : broker.published) {
        EXPECT_EQ(m.payload.find("old history"), std::string::npos)
            << "history before remote monitoring was sent";
        startUpSent = startUpSent || m.payload.find("\"Start-up, version ") != std::string::npos;
    }
    EXPECT_TRUE(startUpSent) << "this run's events from its start are sent";

    // A message acknowledged just before the file is set aside is the old file's: its mark,
    // saved at the stop that follows, never lands in the fresh file (whose ids start again).
    broker.holdAcks = true;
    journal::Record(journal::kNoPump, journal::Kind::Command, "in flight as the file goes");
    loop.advance(0.5);
    broker.holdAcks = false;
    broker.releaseAcks();
    loop.advance(0.01);
    store.damagedFile = true;  // the journal sets the file aside and starts afresh
    journal::Record(journal::kNoPump, journal::Kind::Command, "first of the fresh file");
    ASSERT_EQ(store.fileEpoch, 2);
    remote::StopRemote();
    EXPECT_FALSE(store.mark(remote::kAckedMark).has_value()) << "the old file's mark saved";
    remote::ResetRemote();
    remote::StartRemote("test");
    loop.advance(2.0);
    std::set<std::int64_t> ids;
    for (const auto& [epoch, id] : journalMessages())
        if (epoch == 2) ids.insert(id);
    for (const journal::Event& e : store.events) EXPECT_TRUE(ids.count(e.id)) << e.text;

    // A file whose ids went back below the mark (an older station's, emptied by retention)
    // is sent whole again rather than never.
    remote::StopRemote();
    remote::ResetRemote();
    store.setMark(remote::kAckedMark, store.events.back().id + 1000);
    remote::StartRemote("test");
    journal::Record(journal::kNoPump, journal::Kind::Command, "after the ids went back");
    loop.advance(3.0);
    EXPECT_EQ(store.mark(remote::kAckedMark), store.events.back().id);
}

TEST_F(Remote, ABrokerThatRefusesOrNeverAnswersIsShownAndTriedAgainWithAGrowingPause) {
    broker.answer = platform::SimMqttBroker::Answer::RefuseAuth;
    startWith();
    loop.advance(1.0);
    EXPECT_TRUE(bankRemoteLineShown());
    EXPECT_NE(ui::GetCtrlText(BankPanel[0], windows::BANK_REMOTE_STATUS).find("not authorised"),
              std::string::npos);
    EXPECT_EQ(
        store.countOf(journal::Kind::Station, journal::kNoPump, "Remote monitoring not connected"),
        1);

    // Attempts come 1, 2, 4, 8, 16, 30, 30 s apart (start-up has seen the first few).
    std::vector<double> at;
    int seen = broker.attempts;
    const int before = seen;
    while (loop.now() < 170.0) {
        loop.advance(0.05);
        if (broker.attempts != seen) {
            seen = broker.attempts;
            at.push_back(loop.now());
        }
    }
    const double pauses[] = {1.0, 2.0, 4.0, 8.0, 16.0, 30.0, 30.0, 30.0, 30.0, 30.0, 30.0};
    ASSERT_GE(before, 1);
    ASSERT_GE(at.size(), 5u);
    for (std::size_t i = 1; i < at.size(); ++i)
        EXPECT_NEAR(at[i] - at[i - 1], pauses[static_cast<std::size_t>(before) + i - 1], 0.3) << i;
    EXPECT_EQ(
        store.countOf(journal::Kind::Station, journal::kNoPump, "Remote monitoring not connected"),
        1)
        << "one journal line per outage, not per attempt";

    // A broker that takes the connection and never answers: given up after 10 s, shown.
    broker.answer = platform::SimMqttBroker::Answer::Silent;
    loop.advance(45.0);
    EXPECT_NE(remote::RemoteStatusText().find("no answer from the broker within 10 s"),
              std::string::npos)
        << remote::RemoteStatusText();
    // The pumps were polled all along, and a break of the E-stop loop idles them at once.
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(PumpTable[p].Online, 1);
    heard.clear();
    breakLoop();
    loop.advance(0.2);
    for (int p = 0; p < kPumps; ++p) EXPECT_FALSE(speedsTo(p).empty()) << "pump " << p + 1;

    // Back: the line goes, and the journal says so once the connection has held a minute.
    broker.answer = platform::SimMqttBroker::Answer::Accept;
    loop.advance(35.0);
    EXPECT_TRUE(broker.connected());
    EXPECT_FALSE(bankRemoteLineShown());
    loop.advance(remote::kStableSeconds);
    EXPECT_EQ(
        store.countOf(journal::Kind::Station, journal::kNoPump, "Remote monitoring connected"), 1);
}

TEST_F(Remote, WhatTheBrokerRefusesIsNeverMarkedSentAndTheOperatorIsTold) {
    startWith();
    loop.advance(2.0);
    const std::string refusing =
        "Broker refuses to publish under vnk/Well_Pad_7/van_1/: not authorised";
    auto lines = [&](const std::string& text) {
        return store.countOf(journal::Kind::Station, journal::kNoPump, text);
    };
    // The access list denies the alarm topic: the outbox holds at the trip.
    bool deny = true;
    broker.refuse = [&](const platform::SimMqttBroker::Message& m) {
        return deny && m.topic == std::string(kRoot) + "alarm" ? 0x87 : 0;
    };
    const std::int64_t before = *store.mark(remote::kAckedMark);
    journal::SetAlarm(3, journal::Kind::Trip, "Tripped");
    const std::int64_t trip = store.events.back().id;
    journal::Record(journal::kNoPump, journal::Kind::Command, "after the trip");
    loop.advance(40.0);
    EXPECT_LT(*store.mark(remote::kAckedMark), trip);
    EXPECT_GE(*store.mark(remote::kAckedMark), before);
    EXPECT_GE(remote::CurrentRemoteStatus().eventsWaiting, 2);
    EXPECT_EQ(remote::RemoteStatusText(), refusing);
    EXPECT_TRUE(bankRemoteLineShown());
    EXPECT_EQ(ui::GetCtrlText(BankPanel[0], windows::BANK_REMOTE_STATUS),
              "Remote monitoring: " + refusing);
    EXPECT_EQ(lines("Remote monitoring: " + refusing), 1) << "once per episode";
    int offered = 0;
    for (const auto& m : broker.published) offered += m.topic == std::string(kRoot) + "alarm";
    EXPECT_EQ(offered, 0) << "a refused message never reaches the broker's subscribers";

    // Allowed again: offered after the pause, everything goes, the line goes.
    deny = false;
    loop.advance(31.0);
    EXPECT_EQ(store.mark(remote::kAckedMark), store.events.back().id);
    EXPECT_FALSE(bankRemoteLineShown());
    EXPECT_EQ(remote::RemoteStatusText(), "Connected to broker.test:1883");

    // A message refused for its own sake is journalled and skipped: the rest goes on.
    broker.refuse = [](const platform::SimMqttBroker::Message& m) {
        return m.payload.find("too big") != std::string::npos ? 0x95 : 0;
    };
    journal::Record(journal::kNoPump, journal::Kind::Command, "too big");
    const std::int64_t big = store.events.back().id;
    journal::Record(journal::kNoPump, journal::Kind::Command, "fits");
    loop.advance(2.0);
    EXPECT_EQ(lines("Remote monitoring: the broker refused journal event " +
                    std::to_string(big) + " (packet too large); it is skipped"),
              1);
    EXPECT_EQ(store.mark(remote::kAckedMark), store.events.back().id);
    EXPECT_EQ(remote::RemoteStatusText(), "Connected to broker.test:1883");

    // A refused birth (the will shares its topic), then a broker of MQTT 3.1.1 only.
    broker.refuse = [](const platform::SimMqttBroker::Message& m) {
        return m.topic == std::string(kRoot) + "state" ? 0x87 : 0;
    };
    broker.drop();
    loop.advance(3.0);
    EXPECT_EQ(remote::RemoteStatusText(),
              "Broker refuses to publish under vnk/Well_Pad_7/van_1/: birth and will refused "
              "(not authorised)");
    broker.refuse = nullptr;
    broker.mqtt311 = true;
    broker.drop();
    loop.advance(5.0);
    EXPECT_EQ(remote::RemoteStatusText(),
              "Connected to broker.test:1883 (the broker speaks only MQTT 3.1.1 and cannot say "
              "when it refuses a message)");
    EXPECT_EQ(lines("Remote monitoring: the broker at broker.test:1883 speaks only MQTT 3.1.1"), 1);
}

// An event goes out when the journal writes it, whatever the phase of the second's tick,
// and as many wait for their acknowledgement as the window holds: the station's, or the
// broker's Receive Maximum when that is lower (shown, and journalled once).
TEST_F(Remote, AJournalEventGoesOutAtOnceAndTheWindowIsTheBrokersWhenSmaller) {
    startWith();
    loop.advance(2.0);
    for (double phase : {0.13, 0.41, 0.77, 0.95}) {
        loop.advance(phase);
        const std::string text = "phase " + std::to_string(phase);
        journal::Record(journal::kNoPump, journal::Kind::Command, text);
        const double at = platform::Timer();
        loop.advance(0.01);
        const auto sent = std::find_if(broker.published.begin(), broker.published.end(),
                                       [&](const auto& m) { return m.payload.find(text) != std::string::npos; });
        ASSERT_NE(sent, broker.published.end()) << text << " waits for the tick";
        EXPECT_LT(sent->at - at, 0.01) << text;
        loop.advance(1.0 - phase);
    }

    auto inFlightAfter = [&](int events) {
        broker.holdAcks = true;
        const std::size_t before = journalMessages().size();
        for (int i = 0; i < events; ++i)
            journal::Record(journal::kNoPump, journal::Kind::Command, "burst");
        loop.advance(1.5);
        const std::size_t sent = journalMessages().size() - before;
        broker.holdAcks = false;
        broker.releaseAcks();
        loop.advance(3.0);
        return sent;
    };
    EXPECT_EQ(inFlightAfter(300), 256u);
    EXPECT_EQ(remote::RemoteStatusText(), "Connected to broker.test:1883");
    // A broker restarted with another configuration and nothing kept: the retained meta is
    // given again at the connection.
    broker.receiveMaximum = 20;
    for (int reconnect = 0; reconnect < 2; ++reconnect) {
        broker.drop();
        broker.retained.clear();
        loop.advance(5.0);
        ASSERT_TRUE(broker.connected());
    }
    EXPECT_FALSE(retained("meta").empty());
    EXPECT_EQ(inFlightAfter(100), 20u);
    EXPECT_EQ(remote::RemoteStatusText(),
              "Connected to broker.test:1883; the broker takes 20 messages at a time");
    EXPECT_EQ(store.countOf(journal::Kind::Station, journal::kNoPump,
                            "Remote monitoring: the broker at broker.test:1883 takes 20 messages "
                            "at a time"),
              1);
    EXPECT_EQ(store.mark(remote::kAckedMark), store.events.back().id);
}

TEST_F(Remote, AConnectionThatKeepsDroppingIsTriedEverMoreSlowlyAndJournalledOnce) {
    startWith();
    loop.advance(2.0);
    const auto journalled = [&] {
        int n = 0;
        for (const journal::Event& e : store.events)
            n += e.text.rfind("Remote monitoring", 0) == 0;
        return n;
    };
    const int before = journalled();
    // Another station under the same id, or a broker that limits connections: every
    // connection is closed at once, 60 s long.
    int drops = 0;
    for (double end = loop.now() + 60.0; loop.now() < end;) {
        loop.advance(0.05);
        if (broker.connected()) {
            broker.drop();
            ++drops;
        }
    }
    EXPECT_GE(drops, 5);
    EXPECT_LE(drops, 8) << "the pause starts again only after a connection that held";
    EXPECT_EQ(journalled() - before, 1);
    // It holds a minute: one line ends the episode with its count.
    loop.advance(40.0 + remote::kStableSeconds);
    ASSERT_TRUE(broker.connected());
    EXPECT_EQ(journalled() - before, 2);
    EXPECT_EQ(store.countOf(journal::Kind::Station, journal::kNoPump,
                            "Remote monitoring connected to broker.test:1883 (the connection "
                            "dropped " + std::to_string(drops) + " times)"),
              1);
}

TEST_F(Remote, AStageGoesOutRetainedAtItsStartAndEndWithItsSumsAndAgainAfterAReconnect) {
    platform::SimReportPrinter printer;  // the report written at its end
    platform::setReportPrinter(&printer);
    startWith();
    for (int p : {0, 2}) fleet->unit(p).setSpeedSetpoint(1400);
    stages::BeginStage(12, "PAD 4", "B7");
    loop.advance(1.5);
    const auto sent = [this] { return broker.on(std::string(kRoot) + "stage"); };
    ASSERT_EQ(sent().size(), 1u);
    const QJsonObject running = json(retained("stage"));
    EXPECT_EQ(running["state"].toString(), "running");
    EXPECT_EQ(running["start_ms"].toInteger(), stages::CurrentStage().startMs);
    EXPECT_TRUE(running["end_ms"].isNull());
    loop.advance(20.0);
    stages::FinishStage();
    loop.advance(1.5);
    const stages::StageSums& s = stages::CurrentStage();
    ASSERT_EQ(sent().size(), 2u) << "once at the start, once at the end";
    const QJsonObject ended = json(retained("stage"));
    EXPECT_EQ(ended["state"].toString(), "ended");
    EXPECT_EQ(ended["end_ms"].toInteger(), s.endMs);
    EXPECT_GT(s.volume(), 1.0);
    EXPECT_NEAR(ended["volume_bbl"].toDouble(), s.volume(), 0.005);
    EXPECT_TRUE(ended["inline_psi_max"].isNull()) << "no blender computer";
    const QJsonArray pumps = ended["pumps"].toArray();
    ASSERT_EQ(pumps.size(), std::count_if(s.pumps.begin(), s.pumps.end(), stages::TookPart))
        << "the pumps the report lists";
    for (const QJsonValue& v : pumps)
        EXPECT_NEAR(v["volume_bbl"].toDouble(), s.pumps.at(v["pump"].toInt() - 1).volume, 0.005);
    broker.drop();
    loop.advance(3.0);
    ASSERT_EQ(sent().size(), 3u) << "again at the reconnect";
    EXPECT_EQ(sent()[2].payload, sent()[1].payload);
    platform::setReportPrinter(nullptr);
}

TEST_F(Remote, TheCleanExitPublishesOfflineAndALostConnectionLeavesItToTheWill) {
    startWith();
    loop.advance(2.0);
    broker.drop();
    EXPECT_EQ(json(retained("state"))["state"].toString(), "offline");  // the will
    loop.advance(3.0);
    ASSERT_TRUE(broker.connected());
    EXPECT_EQ(json(retained("state"))["state"].toString(), "online");
    ShutDown(false);
    EXPECT_EQ(json(retained("state"))["state"].toString(), "offline");
    EXPECT_EQ(broker.published.back().topic, std::string(kRoot) + "state");
}

TEST_F(Remote, TheSettingsWindowIsBehindThePasswordAndKeepsThePasswordOutOfSightAndJournal) {
    startWith();
    stages::BeginStage(3, "PAD 8", "C1");  // its retained message goes with the old names
    loop.advance(1.0);
    ASSERT_FALSE(retained("stage").empty());
    ui::SelectMenu(menuBar(), windows::MENU_REMOTE, BankPanel[0]);
    ASSERT_EQ(remote::RemotePanel(), 0) << "opened without the password";
    const int prompt = PasswordPromptPanel();
    ASSERT_NE(prompt, 0);
    ui::Press(prompt, windows::PWD_STARS);
    keypadEnter("5927");
    ui::Press(prompt, windows::PWD_OK);
    const int panel = remote::RemotePanel();
    ASSERT_NE(panel, 0);
    EXPECT_EQ(ui::GetCtrlText(panel, windows::REMOTE_HOST), "broker.test");
    EXPECT_EQ(ui::GetCtrlText(panel, windows::REMOTE_PASSWORD), windows::kRemotePasswordKept);
    EXPECT_EQ(ui::GetCtrlText(panel, windows::REMOTE_TOPIC), std::string(kRoot) + "...");
    EXPECT_NE(ui::GetCtrlText(panel, windows::REMOTE_STATUS).find("Connected to broker.test:1883"),
              std::string::npos);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, windows::REMOTE_APPLY, ui::ATTR_DIMMED), 1)
        << "nothing to apply";
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, windows::REMOTE_CA_FILE, ui::ATTR_DIMMED), 1)
        << "TLS is off";

    // A new password is typed in stars and shown in stars.
    popups.answerPrompt("n3wpass");
    ui::DispatchCtrlEvent(panel, windows::REMOTE_PASSWORD, ui::EVENT_LEFT_CLICK);
    ASSERT_FALSE(popups.shown().empty());
    EXPECT_TRUE(popups.shown().back().secret);
    EXPECT_EQ(ui::GetCtrlText(panel, windows::REMOTE_PASSWORD), "*******");

    // A new site: Apply undims, and applying clears the old topics on the old connection,
    // ends it cleanly (no will left behind) and connects under the new topics with the new
    // password, which the journal never shows.
    ui::SetCtrlVal(panel, windows::REMOTE_SITE, std::string("Pad+8"));
    ui::DispatchCtrlEvent(panel, windows::REMOTE_SITE, ui::EVENT_COMMIT);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, windows::REMOTE_APPLY, ui::ATTR_DIMMED), 0);
    const std::string clientId = broker.optionsSeen.back().clientId;
    ui::Press(panel, windows::REMOTE_APPLY);
    loop.advance(2.0);
    EXPECT_EQ(broker.optionsSeen.back().password, "n3wpass");
    EXPECT_EQ(broker.optionsSeen.back().willTopic, "vnk/Pad_8/van_1/state");
    EXPECT_EQ(json(broker.retained["vnk/Pad_8/van_1/state"])["state"].toString(), "online");
    EXPECT_EQ(broker.cleanDisconnects, 1);
    for (const auto& [topic, payload] : broker.retained)
        EXPECT_NE(topic.rfind(kRoot, 0), 0u) << "a ghost of the old names: " << topic;
    EXPECT_EQ(settings::ReadRootsToClear(), std::vector<std::string>{});
    for (const journal::Event& e : store.events)
        EXPECT_EQ(e.text.find("n3wpass"), std::string::npos) << e.text;
    // The client id: no viewer can derive it from the topics, it fits a strict broker's 23
    // characters and it stays the station's own across renames.
    EXPECT_THAT(clientId, testing::MatchesRegex("vnk-WellP-van1-[0-9a-f]{8}"));
    const std::string renamedId = broker.optionsSeen.back().clientId;
    EXPECT_EQ(renamedId, "vnk-Pad8-van1-" + clientId.substr(clientId.size() - 8));

    // Renamed while the broker is away: the old names are cleared at the next connection,
    // also after a restart.
    broker.drop();
    broker.answer = platform::SimMqttBroker::Answer::Unreachable;
    loop.advance(1.0);
    ui::SetCtrlVal(panel, windows::REMOTE_STATION, std::string("van 2"));
    ui::DispatchCtrlEvent(panel, windows::REMOTE_STATION, ui::EVENT_COMMIT);
    ui::Press(panel, windows::REMOTE_APPLY);
    loop.advance(2.0);
    EXPECT_EQ(settings::ReadRootsToClear(), std::vector<std::string>{"vnk/Pad_8/van_1/"});
    remote::StopRemote();
    remote::ResetRemote();
    remote::StartRemote("test");
    broker.answer = platform::SimMqttBroker::Answer::Accept;
    loop.advance(3.0);
    EXPECT_EQ(json(broker.retained["vnk/Pad_8/van_2/state"])["state"].toString(), "online");
    EXPECT_EQ(broker.retained.count("vnk/Pad_8/van_1/state"), 0u);
    EXPECT_EQ(broker.retained.count("vnk/Pad_8/van_1/pump/24"), 0u);
    EXPECT_EQ(settings::ReadRootsToClear(), std::vector<std::string>{});

    // Enabled without a host is refused with a message; nothing is stored.
    ui::SetCtrlVal(panel, windows::REMOTE_HOST, std::string());
    ui::DispatchCtrlEvent(panel, windows::REMOTE_HOST, ui::EVENT_COMMIT);
    ui::Press(panel, windows::REMOTE_APPLY);
    EXPECT_EQ(settings::ReadRemoteSettings().host, "broker.test");
    EXPECT_FALSE(popups.shown().empty());
}

}  // namespace
