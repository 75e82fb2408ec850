#include "link/pump_table.h"

#include "platform/module_state.h"

namespace pumplink {

namespace {

struct PumpTableState {
    PumpRecord PumpTable[kTableSize];
    std::uint8_t AiConfig[kAiConfigSize] = {};
    std::uint8_t FiConfig[kFiConfigSize] = {};
    std::uint8_t AlarmLimits[kAlarmLimitsSize] = {};
    std::uint8_t AlarmOptions[kAlarmOptionsSize] = {};
    std::int32_t PortsBusy = 0;

    bool operator==(const PumpTableState&) const = default;
};
PumpTableState g;

}  // namespace

PumpRecord (&PumpTable)[kTableSize] = g.PumpTable;
std::uint8_t (&AiConfig)[kAiConfigSize] = g.AiConfig;
std::uint8_t (&FiConfig)[kFiConfigSize] = g.FiConfig;
std::uint8_t (&AlarmLimits)[kAlarmLimitsSize] = g.AlarmLimits;
std::uint8_t (&AlarmOptions)[kAlarmOptionsSize] = g.AlarmOptions;
std::int32_t& PortsBusy = g.PortsBusy;

void ResetPumpTable() {
    g = {};
}
VNK_MODULE_STATE_RESET(link, pump_table, g, ResetPumpTable)

}  // namespace pumplink
