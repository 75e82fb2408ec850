#include "link/pump_table.h"

#include <cstring>

PumpRecord PumpTable[kTableSize];
SpeedCommandRecord SpeedCommand[kTableSize];
PortStateRecord PortState[kTableSize];
PortConfigRecord PortConfig[kTableSize];
std::uint8_t ReconnectRequest[kTableSize];
char NetworkInfo[kTableSize][kNetworkInfoSize];
std::uint8_t PendingAiWrite[kTableSize];
std::int8_t PumpGroup[kTableSize];
std::uint8_t AutoSelected[kTableSize];
std::uint8_t PowerOffCommanded[kTableSize];

void ResetPumpTable() {
    for (int i = 0; i < kTableSize; ++i) {
        PumpTable[i] = PumpRecord{};
        SpeedCommand[i] = SpeedCommandRecord{};
        PortState[i] = PortStateRecord{};
        PortConfig[i] = PortConfigRecord{};
        ReconnectRequest[i] = 0;
        std::memset(NetworkInfo[i], 0, kNetworkInfoSize);
        PendingAiWrite[i] = 0;
        PumpGroup[i] = kNoGroup;
        AutoSelected[i] = 0;
        PowerOffCommanded[i] = 0;
    }
}

namespace {
// The tables hold their start-of-run values before main() runs (no pump in a group).
struct StartOfRun {
    StartOfRun() { ResetPumpTable(); }
} g_startOfRun;
}  // namespace
