// The payloads as a viewer parses them: names that cannot split or widen a topic, text that
// stays valid JSON whatever the journal holds, values in US units from a record in metric,
// and a sensor that failed written as null rather than a number no parser takes.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "link/live_units.h"
#include "link/pump_table.h"
#include "remote/json_text.h"
#include "remote/remote_payloads.h"

namespace {

QJsonObject parse(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

TEST(RemotePayloads, NamesCannotSplitATopicOrActAsWildcards) {
    EXPECT_EQ(remote::TopicRoot("Pad #3 / North", "van+1"), "vnk/Pad__3___North/van_1/");
    EXPECT_EQ(remote::TopicRoot("", ""), "vnk/site/station/");
    EXPECT_EQ(remote::CleanTopicLevel(std::string("a\0b\tc", 5), "x"), "a_b_c");
    EXPECT_EQ(remote::CleanTopicLevel("Bohrplatz Süd", "x"), "Bohrplatz_Süd");  // UTF-8 kept
    EXPECT_EQ(remote::CleanTopicLevel("P\xE4" "d 7", "x"), "P\uFFFDd_7");  // Latin-1 is not
}

TEST(RemotePayloads, TextIsEscapedAndNumbersAreWrittenTheSameInEveryLocale) {
    journal::Event e{12, 1700000000123, 4, journal::Kind::Command, "STOP \"now\"\\\n\x01 ok"};
    e.epoch = 99;
    const QJsonObject o = parse(remote::EventPayload(e));
    EXPECT_EQ(o["text"].toString().toStdString(), e.text);
    EXPECT_EQ(o["id"].toInteger(), 12);
    EXPECT_EQ(o["epoch"].toInteger(), 99);
    EXPECT_EQ(o["pump"].toInt(), 5);
    EXPECT_EQ(o["kind"].toString(), "Command");
    // UTC, in a zone six hours from it too.
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone != nullptr ? zone : "";
    setenv("TZ", "CST6CDT", 1);
    tzset();
    EXPECT_EQ(parse(remote::EventPayload(e))["time"].toString(), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(journal::FormatUtcTime(-1), "1969-12-31T23:59:59.999Z");
    if (zone != nullptr)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    journal::Event station{1, 0, journal::kNoPump, journal::Kind::Station, "Start-up"};
    EXPECT_TRUE(parse(remote::EventPayload(station))["pump"].isNull());

    // Numbers under a desktop whose decimal mark is a comma.
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before != nullptr ? before : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "de_DE.UTF-8 missing (scripts/deps.sh makes it): numbers not tried "
                        "under a decimal comma";
    const std::string n =
        remote::JsonObject().number("v", 1234.5678, 2).number("z", -0.001, 1).str();
    const std::string half = remote::JsonObject().number("v", 0.5, 1).str();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(n, "{\"v\":1234.57,\"z\":0.0}");
    EXPECT_EQ(half, "{\"v\":0.5}");
}

TEST(RemotePayloads, APumpDecodedInMetricIsPublishedInUsUnitsAndAFailedSensorIsNull) {
    pumplink::PumpRecord r;
    r.Online = 1;
    r.MotorRpm = 1450.0f;
    r.DischargePressure = 6000.0f;
    r.PumpRate = 10.0f;
    r.TripPressure = 9000.0f;
    r.HydraulicHp = 1470.0f;
    r.TotalVolume = 100.0f;
    r.SuctionPressure = std::nanf("");
    r.AlarmWord = 0x0020 | 0x0800;  // a named bit and an unnamed one
    r.FaultWord = 0x0004;
    r.PumpGroup = 2;
    std::strcpy(r.PumpId, "FP-0107");
    pumplink::SetLiveUnits(r, true);  // as the decoder leaves it with the screen in metric
    ASSERT_LT(r.DischargePressure, 100.0f);

    const QJsonObject o =
        parse(remote::WithSampleTime(remote::PumpBody(6, r, true), 1700000000000));
    EXPECT_EQ(o["pump"].toInt(), 7);
    EXPECT_EQ(o["id"].toString(), "FP-0107");
    EXPECT_NEAR(o["discharge_psi"].toDouble(), 6000.0, 0.5);
    EXPECT_NEAR(o["rate_bpm"].toDouble(), 10.0, 0.01);
    EXPECT_NEAR(o["trip_psi"].toDouble(), 9000.0, 1.0);
    EXPECT_NEAR(o["hhp"].toDouble(), 1470.0, 0.5);
    EXPECT_NEAR(o["volume_bbl"].toDouble(), 100.0, 0.01);
    EXPECT_EQ(o["motor_rpm"].toDouble(), 1450.0);
    EXPECT_EQ(o["group"].toInt(), 3);
    EXPECT_EQ(o["sample_ms"].toInteger(), 1700000000000);
    const QJsonArray alarms = o["alarms"].toArray();
    ASSERT_EQ(alarms.size(), 2);
    EXPECT_EQ(alarms[0].toString(), "Discharge Pressure");
    EXPECT_EQ(alarms[1].toString(), "Alarm bit 0x0800");
    EXPECT_EQ(o["faults"].toArray()[0].toString(), "Fault bit 0x0004");

    r.DischargePressure = std::nanf("");
    EXPECT_TRUE(parse(remote::PumpBody(6, r, true))["discharge_psi"].isNull());
    r.PumpGroup = pumplink::kNoGroup;
    EXPECT_TRUE(parse(remote::PumpBody(6, r, true))["group"].isNull());
}

TEST(RemotePayloads, AlarmsSayActiveOrClearedAndAcknowledgedInFieldsNotInWords) {
    using journal::AlarmState;
    const struct {
        AlarmState state;
        const char* word;
        bool acknowledged;
    } table[] = {{AlarmState::ActiveUnacknowledged, "active", false},
                 {AlarmState::ActiveAcknowledged, "active", true},
                 {AlarmState::ClearedUnacknowledged, "cleared", false},
                 {AlarmState::Normal, "cleared", true}};
    for (const auto& t : table) {
        SCOPED_TRACE(t.word + std::string(t.acknowledged ? " acknowledged" : ""));
        journal::Event e{7, 0, 2, journal::Kind::Acknowledge, "Acknowledged: Link Port lost"};
        e.alarm = journal::AlarmChange{journal::Kind::Link, "Port lost", t.state};
        const QJsonObject o = parse(remote::EventPayload(e));
        EXPECT_EQ(o["name"].toString(), "Port lost");
        EXPECT_EQ(o["alarm_kind"].toString(), "Link");
        EXPECT_EQ(o["state"].toString(), t.word);
        EXPECT_EQ(o["acknowledged"].toBool(!t.acknowledged), t.acknowledged);
        remote::FleetFacts f;
        f.alarms = {journal::Alarm{2, journal::Kind::Trip, "Tripped", t.state, 5, 4}};
        const QJsonObject a = parse(remote::FleetPayload(f))["alarms"].toArray()[0].toObject();
        EXPECT_EQ(a["state"].toString(), t.word);
        EXPECT_EQ(a["acknowledged"].toBool(!t.acknowledged), t.acknowledged);
    }
    // A line on the alarm topic that changed no alarm has the fields, null; an event off it
    // that changed none has none.
    const QJsonObject line =
        parse(remote::EventPayload({8, 0, 2, journal::Kind::Trip, "Trip found at first contact"}));
    EXPECT_TRUE(line.contains("state") && line["state"].isNull() && line["name"].isNull());
    EXPECT_FALSE(parse(remote::EventPayload({9, 0, 2, journal::Kind::Command, "Stop"}))
                     .contains("state"));
}

}  // namespace
