// What the station publishes, as topics and JSON payloads: its state, heartbeat, fleet
// values, each pump, and the journal's alarms and events. Values go out in US units with the
// unit in the field's name, whatever the screen shows; times are the station's wall clock in
// ms since 1970. Built from the station's tables; nothing here sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace pumplink {
struct PumpRecord;
}
namespace stages {
struct StageSums;
}

namespace remote {

// The version of the payloads' layout, "v" in every payload: raised only when a field
// changes its meaning or goes; new fields are added without it.
inline constexpr int kPayloadVersion = 1;

// A name as one level of a topic: '/', '+', '#', NUL and white space each become '_'
// (they would split a level or act as wildcards); an empty name becomes fallback.
std::string CleanTopicLevel(const std::string& name, const std::string& fallback);
// "vnk/<site>/<station>/" with both names cleaned.
std::string TopicRoot(const std::string& site, const std::string& station);

// The station's client id at the broker, "vnk-<site>-<station>-<suffix>": the names of
// letters and digits only, shortened so that the id keeps within the 23 characters a broker
// may insist on; the random suffix (RemoteClientSuffix) is never shortened.
std::string ClientId(const std::string& site, const std::string& station,
                     const std::string& suffix);

struct StationFacts {
    std::string site;
    std::string station;
    std::string version;
    std::int64_t startedMs = 0;
    int pumpsConfigured = 0;
};
// "online" or "offline" with the facts of the run.
std::string StatePayload(bool online, const StationFacts& facts);
std::string HeartbeatPayload(std::uint64_t sequence, std::int64_t nowMs);

struct FleetFacts {
    std::int64_t timeMs = 0;
    int pumpsOnline = 0;
    double rateBpm = 0.0;
    double dischargePsi = 0.0;  // average over the pumps on line
    double hhp = 0.0;
    double volumeBbl = 0.0;
    int autoMode = 0;         // 0 off, 1 rate, 2 pressure
    double autoTarget = 0.0;  // bbl/min or psi by the mode
    bool estopActive = false;
    std::string estopInput;  // "closed", "broken", "failed" or "not watched"
    std::vector<journal::Alarm> alarms;
};
std::string FleetPayload(const FleetFacts& fleet);

// The pump's values (entry 0-23) without the sample time: what is compared to decide
// whether the pump changed. WithSampleTime adds it for sending.
// The pump's id as the controller reports it, its padding (0xFF, NUL) trimmed.
std::string PumpIdText(const pumplink::PumpRecord& r);
std::string PumpBody(int pump, const pumplink::PumpRecord& r, bool configured);
std::string WithSampleTime(const std::string& body, std::int64_t sampleMs);
// The names of the set bits of a pump's alarm, trip and fault words.
std::vector<std::string> AlarmNames(std::uint16_t word, bool tripWord);
std::vector<std::string> FaultNames(std::uint16_t word);

// Alarm changes and acknowledgements go to "alarm", every other event to "event".
bool IsAlarmTopicEvent(journal::Kind kind);
std::string EventPayload(const journal::Event& event);

// The stage of the job, retained: "running" with its figures so far, or "ended" with its
// sums; the pumps listed are those the stage's report lists (pumped, tripped or had a gap).
std::string StagePayload(const stages::StageSums& sums, bool running);

// The retained birth certificate under "meta": the station's version, the pumps configured
// with their ids, and every topic's fields with their units. pumpIds holds the id of each
// configured pump (entry 0-23; std::nullopt: not configured).
std::string MetaPayload(const StationFacts& facts,
                        const std::vector<std::optional<std::string>>& pumpIds);

}  // namespace remote
