#include "remote/remote_payloads.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "link/decoder.h"
#include "link/live_units.h"
#include "link/pump_table.h"
#include "remote/json_text.h"

namespace remote {

using pumplink::LiveUs;
using pumplink::PumpRecord;

std::string CleanTopicLevel(const std::string& name, const std::string& fallback) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const bool splits = c == '/' || c == '+' || c == '#' || c == '\0';
        const bool space =
            c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
        out += splits || space ? '_' : c;
    }
    return out.empty() ? fallback : out;
}

std::string TopicRoot(const std::string& site, const std::string& station) {
    return "vnk/" + CleanTopicLevel(site, "site") + "/" + CleanTopicLevel(station, "station") + "/";
}

std::string ClientId(const std::string& site, const std::string& station,
                     const std::string& suffix) {
    constexpr std::size_t kLongest = 23;
    auto letters = [](const std::string& name, const char* fallback) {
        std::string out;
        for (char c : name)
            if (std::isalnum(static_cast<unsigned char>(c)) != 0) out += c;
        return out.empty() ? std::string(fallback) : out;
    };
    std::string s = letters(site, "site");
    std::string t = letters(station, "station");
    const std::size_t room = kLongest - std::min(kLongest, 6 + suffix.size());  // "vnk-" "-" "-"
    // The station's name tells stations of one site apart: it keeps more of its length.
    const std::size_t forStation =
        std::min(t.size(), std::max(room / 2 + 1, room - std::min(room, s.size())));
    t.resize(std::min(t.size(), forStation));
    s.resize(std::min(s.size(), room - t.size()));
    return "vnk-" + s + "-" + t + "-" + suffix;
}

std::string StatePayload(bool online, const StationFacts& facts) {
    return JsonObject()
        .text("state", online ? "online" : "offline")
        .text("site", facts.site)
        .text("station", facts.station)
        .text("version", facts.version)
        .integer("started_ms", facts.startedMs)
        .integer("pumps_configured", facts.pumpsConfigured)
        .str();
}

std::string HeartbeatPayload(std::uint64_t sequence, std::int64_t nowMs) {
    return JsonObject()
        .integer("seq", static_cast<std::int64_t>(sequence))
        .integer("time_ms", nowMs)
        .str();
}

std::string FleetPayload(const FleetFacts& f) {
    std::vector<std::string> alarms;
    for (const journal::Alarm& a : f.alarms) {
        JsonObject o;
        if (a.pump == journal::kNoPump)
            o.null("pump");
        else
            o.integer("pump", a.pump + 1);
        alarms.push_back(o.text("kind", journal::KindName(a.kind))
                             .text("name", a.name)
                             .text("state", journal::AlarmStateText(a.state))
                             .integer("time_ms", a.timeMs)
                             .str());
    }
    JsonObject autoControl;
    autoControl.text("mode", f.autoMode == 1 ? "rate" : f.autoMode == 2 ? "pressure" : "off");
    if (f.autoMode == 1)
        autoControl.number("target_bpm", f.autoTarget, 2);
    else if (f.autoMode == 2)
        autoControl.number("target_psi", f.autoTarget, 0);
    return JsonObject()
        .integer("time_ms", f.timeMs)
        .integer("pumps_online", f.pumpsOnline)
        .number("rate_bpm", f.rateBpm, 2)
        .number("discharge_psi_avg", f.dischargePsi, 1)
        .number("hhp", f.hhp, 1)
        .number("volume_bbl", f.volumeBbl, 2)
        .raw("auto", autoControl.str())
        .raw("estop",
             JsonObject().boolean("active", f.estopActive).text("input", f.estopInput).str())
        .raw("alarms", JsonArray(alarms))
        .str();
}

std::vector<std::string> AlarmNames(std::uint16_t word, bool tripWord) {
    std::vector<std::string> names;
    for (int bit = 0; bit < 16; ++bit) {
        const auto mask = static_cast<std::uint16_t>(1u << bit);
        if ((word & mask) != 0) names.push_back(pumplink::AlarmBitName(tripWord, mask));
    }
    return names;
}

std::vector<std::string> FaultNames(std::uint16_t word) {
    // The drive's fault bits have no meaning the station knows: each is named by its value.
    std::vector<std::string> names;
    for (int bit = 0; bit < 16; ++bit) {
        const auto mask = 1u << bit;
        if ((word & mask) == 0) continue;
        char name[32];
        std::snprintf(name, sizeof name, "Fault bit 0x%04X", mask);
        names.push_back(name);
    }
    return names;
}

std::string PumpBody(int pump, const PumpRecord& r, bool configured) {
    JsonObject o;
    o.integer("pump", pump + 1)
        .text("id", std::string(r.PumpId, strnlen(r.PumpId, sizeof r.PumpId)))
        .boolean("configured", configured)
        .boolean("online", r.Online != 0)
        .boolean("port_lost", r.PortConfig.Lost)
        .number("motor_rpm", LiveUs(r, &PumpRecord::MotorRpm), 0)
        .integer("setpoint_rpm", r.RpmSetpoint)
        .number("discharge_psi", LiveUs(r, &PumpRecord::DischargePressure), 1)
        .number("rate_bpm", LiveUs(r, &PumpRecord::PumpRate), 2)
        .number("hhp", LiveUs(r, &PumpRecord::HydraulicHp), 1)
        .number("volume_bbl", LiveUs(r, &PumpRecord::TotalVolume), 2)
        .number("trip_psi", LiveUs(r, &PumpRecord::TripPressure), 0)
        .boolean("drive_on", r.VfdOn != 0)
        .boolean("tripped", r.Tripped != 0)
        .integer("alarm_word", r.AlarmWord)
        .integer("trip_word", r.TripWord)
        .integer("fault_word", r.FaultWord)
        .texts("alarms", AlarmNames(r.AlarmWord, false))
        .texts("trips", AlarmNames(r.TripWord, true))
        .texts("faults", FaultNames(r.FaultWord))
        .boolean("auto", r.AutoSelected != 0);
    if (r.PumpGroup == pumplink::kNoGroup)
        o.null("group");
    else
        o.integer("group", r.PumpGroup + 1);
    return o.str();
}

std::string WithSampleTime(const std::string& body, std::int64_t sampleMs) {
    // body ends with its closing brace.
    return body.substr(0, body.size() - 1) + ",\"sample_ms\":" + std::to_string(sampleMs) + "}";
}

bool IsAlarmTopicEvent(journal::Kind kind) {
    switch (kind) {
        case journal::Kind::Trip:
        case journal::Kind::Alarm:
        case journal::Kind::Fault:
        case journal::Kind::EStop:
        case journal::Kind::Inline:
        case journal::Kind::Acknowledge:
            return true;
        default:
            return false;
    }
}

std::string EventPayload(const journal::Event& e) {
    JsonObject o;
    o.integer("id", e.id)
        .integer("epoch", e.epoch)
        .integer("time_ms", e.timeMs)
        .text("time", journal::FormatTime(e.timeMs));
    if (e.pump == journal::kNoPump)
        o.null("pump");
    else
        o.integer("pump", e.pump + 1);
    return o.text("kind", journal::KindName(e.kind)).text("text", e.text).str();
}

}  // namespace remote
