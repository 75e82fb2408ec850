#include "remote/remote_payloads.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "link/decoder.h"
#include "link/live_units.h"
#include "link/pump_table.h"
#include "remote/json_text.h"
#include "stages/stage_sums.h"

namespace remote {

using pumplink::LiveUs;
using pumplink::PumpRecord;

namespace {

// An alarm's state for a reader that should not parse English: "active" or "cleared", and
// whether the operator has acknowledged it (a Normal alarm is cleared and acknowledged).
JsonObject& alarmState(JsonObject& o, journal::AlarmState state) {
    using journal::AlarmState;
    const bool active =
        state == AlarmState::ActiveUnacknowledged || state == AlarmState::ActiveAcknowledged;
    return o.text("state", active ? "active" : "cleared")
        .boolean("acknowledged",
                 state == AlarmState::ActiveAcknowledged || state == AlarmState::Normal);
}

JsonObject& pumpNumber(JsonObject& o, int pump) {
    return pump == journal::kNoPump ? o.null("pump") : o.integer("pump", pump + 1);
}

}  // namespace

std::string CleanTopicLevel(const std::string& name, const std::string& fallback) {
    std::string out;
    out.reserve(name.size());
    // A byte that is not UTF-8 would make the topic one the broker refuses, and it would
    // drop the connection again and again.
    for (char c : ValidUtf8(name)) {
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
        .integer("v", kPayloadVersion)
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
        .integer("v", kPayloadVersion)
        .integer("seq", static_cast<std::int64_t>(sequence))
        .integer("time_ms", nowMs)
        .str();
}

std::string FleetPayload(const FleetFacts& f) {
    std::vector<std::string> alarms;
    for (const journal::Alarm& a : f.alarms) {
        JsonObject o;
        pumpNumber(o, a.pump).text("kind", journal::KindName(a.kind)).text("name", a.name);
        alarms.push_back(alarmState(o, a.state).integer("time_ms", a.timeMs).str());
    }
    JsonObject autoControl;
    autoControl.text("mode", f.autoMode == 1 ? "rate" : f.autoMode == 2 ? "pressure" : "off");
    if (f.autoMode == 1)
        autoControl.number("target_bpm", f.autoTarget, 2);
    else if (f.autoMode == 2)
        autoControl.number("target_psi", f.autoTarget, 0);
    return JsonObject()
        .integer("v", kPayloadVersion)
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

std::string PumpIdText(const PumpRecord& r) {
    // A controller whose id was never programmed pads it with erased memory (0xFF) or zeros.
    std::string_view id(r.PumpId, strnlen(r.PumpId, sizeof r.PumpId));
    const auto padding = [](char c) { return c == '\xFF' || c == '\0'; };
    while (!id.empty() && padding(id.back())) id.remove_suffix(1);
    while (!id.empty() && padding(id.front())) id.remove_prefix(1);
    return std::string(id);
}

std::string PumpBody(int pump, const PumpRecord& r, bool configured) {
    JsonObject o;
    o.integer("v", kPayloadVersion)
        .integer("pump", pump + 1)
        .text("id", PumpIdText(r))
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
    o.integer("v", kPayloadVersion)
        .integer("id", e.id)
        .integer("epoch", e.epoch)
        .integer("time_ms", e.timeMs)
        .text("time", journal::FormatUtcTime(e.timeMs));
    pumpNumber(o, e.pump).text("kind", journal::KindName(e.kind)).text("text", e.text);
    // The alarm the event changed (a lost port's or the blender link's alarm goes out as an
    // event); on the alarm topic null for a line that changed none.
    if (!e.alarm && IsAlarmTopicEvent(e.kind))
        return o.null("name").null("state").null("acknowledged").null("alarm_kind").str();
    if (!e.alarm) return o.str();
    o.text("name", e.alarm->name);
    return alarmState(o, e.alarm->state).text("alarm_kind", journal::KindName(e.alarm->kind)).str();
}

std::string StagePayload(const stages::StageSums& s, bool running) {
    std::vector<std::string> pumps;
    for (int p = 0; p < stages::kStagePumps; ++p) {
        const stages::PumpStageSums& u = s.pumps[p];
        if (!stages::TookPart(u)) continue;
        pumps.push_back(JsonObject()
                            .integer("pump", p + 1)
                            .number("volume_bbl", u.volume, 2)
                            .number("pumping_seconds", u.pumpingSeconds, 0)
                            .number("rate_bpm_avg", u.averageRate(), 2)
                            .number("rate_bpm_max", u.maxRate, 2)
                            .number("discharge_psi_avg", u.averagePressure(), 1)
                            .number("discharge_psi_max", u.maxPressure, 1)
                            .number("hhp_hours", u.hhpHours, 1)
                            .integer("trips", u.trips)
                            .integer("gaps", u.gaps)
                            .str());
    }
    JsonObject o;
    o.integer("v", kPayloadVersion)
        .text("state", running ? "running" : "ended")
        .integer("number", s.number)
        .text("job", s.job)
        .text("well", s.well)
        .integer("start_ms", s.startMs);
    if (running)
        o.null("end_ms");
    else
        o.integer("end_ms", s.endMs);
    return o.number("volume_bbl", s.volume(), 2)
        .number("rate_bpm_avg", s.averageRate(), 2)
        .number("rate_bpm_max", s.maxRate, 2)
        .number("discharge_psi_avg", s.averagePressure(), 1)
        .number("discharge_psi_avg_max", s.maxPressure, 1)
        .number("inline_psi_max", s.maxInline, 1)  // null: no reading from the blender computer
        .integer("estops", s.estops)
        .integer("idle_alls", s.idleAlls)
        .integer("inline_trips", s.inlineTrips)
        .number("auto_seconds", s.autoSeconds, 0)
        .integer("restarts", s.restarts)
        .number("shut_in_5s_psi", s.shutIn5, 1)  // null: not reached
        .number("shut_in_10s_psi", s.shutIn10, 1)
        .raw("pumps", JsonArray(pumps))
        .str();
}

std::string MetaPayload(const StationFacts& facts,
                        const std::vector<std::optional<std::string>>& pumpIds) {
    std::vector<std::string> pumps;
    for (std::size_t p = 0; p < pumpIds.size(); ++p)
        if (pumpIds[p])
            pumps.push_back(JsonObject()
                                .integer("pump", static_cast<std::int64_t>(p) + 1)
                                .text("id", *pumpIds[p])
                                .str());
    // Each topic's fields (a nested one by its path, "auto.target_psi", "alarms[].state")
    // with its unit; "" where the value has none.
    struct Field {
        const char* name;
        const char* unit;
    };
    const auto topic = [](bool retained, int qos, std::initializer_list<Field> fields) {
        JsonObject units;
        for (const Field& f : fields) units.text(f.name, f.unit);
        return JsonObject()
            .boolean("retained", retained)
            .integer("qos", qos)
            .raw("fields", units.str())
            .str();
    };
    // Alarm and event carry the same fields; an event has the alarm's only when it changed one.
    const std::initializer_list<Field> journalFields = {
        {"v", ""},    {"id", ""},    {"epoch", ""},        {"time_ms", "ms since 1970 UTC"},
        {"time", "ISO 8601 UTC"}, {"pump", ""},  {"kind", ""}, {"text", ""},
        {"name", ""}, {"state", ""}, {"acknowledged", ""}, {"alarm_kind", ""}};
    JsonObject topics;
    topics
        .raw("state", topic(true, 1,
                            {{"v", ""},
                             {"state", ""},
                             {"site", ""},
                             {"station", ""},
                             {"version", ""},
                             {"started_ms", "ms since 1970 UTC"},
                             {"pumps_configured", ""}}))
        .raw("meta", topic(true, 1,
                           {{"v", ""},
                            {"site", ""},
                            {"station", ""},
                            {"version", ""},
                            {"started_ms", "ms since 1970 UTC"},
                            {"pumps[].pump", ""},
                            {"pumps[].id", ""},
                            {"topics", ""}}))
        .raw("heartbeat",
             topic(false, 0, {{"v", ""}, {"seq", ""}, {"time_ms", "ms since 1970 UTC"}}))
        .raw("fleet", topic(false, 0,
                            {{"v", ""},
                             {"time_ms", "ms since 1970 UTC"},
                             {"pumps_online", ""},
                             {"rate_bpm", "bbl/min"},
                             {"discharge_psi_avg", "psi"},
                             {"hhp", "hp"},
                             {"volume_bbl", "bbl"},
                             {"auto.mode", ""},
                             {"auto.target_bpm", "bbl/min"},
                             {"auto.target_psi", "psi"},
                             {"estop.active", ""},
                             {"estop.input", ""},
                             {"alarms[].pump", ""},
                             {"alarms[].kind", ""},
                             {"alarms[].name", ""},
                             {"alarms[].state", ""},
                             {"alarms[].acknowledged", ""},
                             {"alarms[].time_ms", "ms since 1970 UTC"}}))
        .raw("pump/<n>", topic(true, 0,
                               {{"v", ""},
                                {"pump", ""},
                                {"id", ""},
                                {"configured", ""},
                                {"online", ""},
                                {"port_lost", ""},
                                {"motor_rpm", "rpm"},
                                {"setpoint_rpm", "rpm"},
                                {"discharge_psi", "psi"},
                                {"rate_bpm", "bbl/min"},
                                {"hhp", "hp"},
                                {"volume_bbl", "bbl"},
                                {"trip_psi", "psi"},
                                {"drive_on", ""},
                                {"tripped", ""},
                                {"alarm_word", ""},
                                {"trip_word", ""},
                                {"fault_word", ""},
                                {"alarms", ""},
                                {"trips", ""},
                                {"faults", ""},
                                {"auto", ""},
                                {"group", ""},
                                {"sample_ms", "ms since 1970 UTC"}}))
        .raw("stage", topic(true, 1,
                            {{"v", ""},
                             {"state", ""},
                             {"number", ""},
                             {"job", ""},
                             {"well", ""},
                             {"start_ms", "ms since 1970 UTC"},
                             {"end_ms", "ms since 1970 UTC"},
                             {"volume_bbl", "bbl"},
                             {"rate_bpm_avg", "bbl/min"},
                             {"rate_bpm_max", "bbl/min"},
                             {"discharge_psi_avg", "psi"},
                             {"discharge_psi_avg_max", "psi"},
                             {"inline_psi_max", "psi"},
                             {"estops", ""},
                             {"idle_alls", ""},
                             {"inline_trips", ""},
                             {"auto_seconds", "s"},
                             {"restarts", ""},
                             {"shut_in_5s_psi", "psi"},
                             {"shut_in_10s_psi", "psi"},
                             {"pumps[].pump", ""},
                             {"pumps[].volume_bbl", "bbl"},
                             {"pumps[].pumping_seconds", "s"},
                             {"pumps[].rate_bpm_avg", "bbl/min"},
                             {"pumps[].rate_bpm_max", "bbl/min"},
                             {"pumps[].discharge_psi_avg", "psi"},
                             {"pumps[].discharge_psi_max", "psi"},
                             {"pumps[].hhp_hours", "hp h"},
                             {"pumps[].trips", ""},
                             {"pumps[].gaps", ""}}))
        .raw("alarm", topic(false, 1, journalFields))
        .raw("event", topic(false, 1, journalFields));
    return JsonObject()
        .integer("v", kPayloadVersion)
        .text("site", facts.site)
        .text("station", facts.station)
        .text("version", facts.version)
        .integer("started_ms", facts.startedMs)
        .raw("pumps", JsonArray(pumps))
        .raw("topics", topics.str())
        .str();
}

}  // namespace remote
