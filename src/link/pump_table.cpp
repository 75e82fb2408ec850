#include "link/pump_table.h"

#include <cstring>

namespace pumplink {

namespace {
constexpr std::array<std::int8_t, kTableSize> noGroups() {
    std::array<std::int8_t, kTableSize> groups{};
    groups.fill(kNoGroup);
    return groups;
}
}  // namespace

PumpRecord PumpTable[kTableSize];
SpeedCommandRecord SpeedCommand[kTableSize];
PortConfigRecord PortConfig[kTableSize];
std::uint8_t ReconnectRequest[kTableSize];
char NetworkInfo[kTableSize][kNetworkInfoSize];
std::uint8_t PendingAiWrite[kTableSize];
constinit std::array<std::int8_t, kTableSize> PumpGroup = noGroups();
std::uint8_t AutoSelected[kTableSize];
std::uint8_t AiConfig[kAiConfigSize];
std::uint8_t FiConfig[kFiConfigSize];
std::uint8_t AlarmLimits[kAlarmLimitsSize];
std::uint8_t AlarmOptions[kAlarmOptionsSize];
std::int32_t PortsBusy = 0;
std::uint8_t PowerOffCommanded[kTableSize];
bool PumpConfigRead[kTableSize];

void ResetPumpTable() {
    for (int i = 0; i < kTableSize; ++i) {
        PumpTable[i] = PumpRecord{};
        SpeedCommand[i] = SpeedCommandRecord{};
        PortConfig[i] = PortConfigRecord{};
    }
    std::memset(ReconnectRequest, 0, sizeof ReconnectRequest);
    std::memset(NetworkInfo, 0, sizeof NetworkInfo);
    std::memset(PendingAiWrite, 0, sizeof PendingAiWrite);
    PumpGroup = noGroups();
    std::memset(AutoSelected, 0, sizeof AutoSelected);
    std::memset(PowerOffCommanded, 0, sizeof PowerOffCommanded);
    std::memset(PumpConfigRead, 0, sizeof PumpConfigRead);
    std::memset(AiConfig, 0, sizeof AiConfig);
    std::memset(FiConfig, 0, sizeof FiConfig);
    std::memset(AlarmLimits, 0, sizeof AlarmLimits);
    std::memset(AlarmOptions, 0, sizeof AlarmOptions);
    PortsBusy = 0;
}

}  // namespace pumplink
