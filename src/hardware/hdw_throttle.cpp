#include "hardware/hdw_throttle.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "common/wire.h"
#include "hardware/hardware_selection.h"
#include "hardware/hdw_support.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "operation/panels.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace hardware {

namespace {

using namespace windows;

using settings::kRpmStepMax;
using settings::kRpmStepMin;

// The dialog's fields in the pump's throttle block.
constexpr BlockField kSpeedFields[] = {
    {SPD_SCALE1, aiblock::kCoefficients, false},
    {SPD_SCALE2, aiblock::kCoefficients + 4, false},
    {SPD_MIN, aiblock::kLow, false},
    {SPD_MAX, aiblock::kHigh, false},
};

struct ThrottleState {
    int pump = -1;
    bool received = false;
    std::uint8_t block[kAiConfigSize] = {};  // the dialog's copy of the pump's throttle block
    double shown[std::size(kSpeedFields)] = {};
    bool operator==(const ThrottleState&) const = default;
};
ThrottleState g;

int truncated16(float v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<std::int16_t>(static_cast<long long>(std::trunc(v)) & 0xFFFF);
}

}  // namespace

int SelectSpeedCommand(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || HardwarePanel() == 0) return 0;
    if (OpenHardwareDialog(HwDialog::Speed, HW_SPEED) == 0) return 0;
    g = {};
    g.pump = HardwarePump;
    SetHardwareTexts("Motor Speed Control Setup", " ");
    SendPumpCommand(g.pump, Op::ReadThrottleConfig);
    return 0;
}

void ShowThrottleConfig(int pump) {
    const int panel = HardwareDialog(HwDialog::Speed);
    if (panel == 0 || pump != g.pump) return;
    std::memcpy(g.block, AiConfig, kAiConfigSize);
    g.received = true;
    // Every limit as the controller holds it (its minimum too: the station's idle follows
    // it), so that OK writes back only what the technician changed.
    const PumpRecord& r = PumpTable[pump];
    ui::SetCtrlVal(panel, SPD_STEP_SMALL, static_cast<int>(r.RpmStepSmall));
    ui::SetCtrlVal(panel, SPD_STEP_LARGE, static_cast<int>(r.RpmStepLarge));
    ui::SetCtrlVal(panel, SPD_SCALE1,
                   static_cast<double>(wire::getF32(g.block + aiblock::kCoefficients)));
    AutoPrecisionAI(panel, SPD_SCALE1);
    ui::SetCtrlVal(panel, SPD_SCALE2,
                   static_cast<double>(wire::getF32(g.block + aiblock::kCoefficients + 4)));
    AutoPrecisionAI(panel, SPD_SCALE2);
    ui::SetCtrlVal(panel, SPD_MIN, truncated16(wire::getF32(g.block + aiblock::kLow)));
    ui::SetCtrlVal(panel, SPD_MAX, truncated16(wire::getF32(g.block + aiblock::kHigh)));
    NoteShown(panel, kSpeedFields, g.shown);
}

int SetThrottle(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Speed)) return 0;
    HoldButton(panel, control, SPD_TIMER);
    const int small = ui::GetCtrlInt(panel, SPD_STEP_SMALL);
    const int large = ui::GetCtrlInt(panel, SPD_STEP_LARGE);
    const int minimum = ui::GetCtrlInt(panel, SPD_MIN);
    const int maximum = ui::GetCtrlInt(panel, SPD_MAX);
    const auto scale1 = static_cast<float>(ui::GetCtrlDouble(panel, SPD_SCALE1));
    const auto scale2 = static_cast<float>(ui::GetCtrlDouble(panel, SPD_SCALE2));
    // A step of 0 or less turns every pump's "+" into a slow-down, and it is saved.
    if (small < kRpmStepMin || small > kRpmStepMax || large < kRpmStepMin || large > kRpmStepMax) {
        ui::MessagePopup("Motor Speed Control",
                         "Speed steps must be 1 to 1000 RPM. Nothing was changed.");
        return 0;
    }
    if (maximum <= 0 || minimum > maximum || minimum < 0 || !std::isfinite(scale1) ||
        !std::isfinite(scale2)) {
        ui::MessagePopup("Motor Speed Control",
                         "The maximum speed must be above 0 and not below the minimum. Nothing "
                         "was changed.");
        return 0;
    }
    if (!PumpOnLineOrSay(g.pump)) return 0;
    if (!g.received) {
        SendPumpCommand(g.pump, Op::ReadThrottleConfig);
        NotReadYet("Motor Speed Control", g.pump);
        return 0;
    }
    // The steps are the fleet's: every pump's, saved with the settings.
    for (int pump = 0; pump < kPumpCount; ++pump) {
        PumpTable[pump].RpmStepSmall = static_cast<std::int16_t>(small);
        PumpTable[pump].RpmStepLarge = static_cast<std::int16_t>(large);
    }
    // The pump's block with the fields the technician changed; the write takes the rest of
    // the block from the shared buffer: this dialog's own copy.
    std::uint8_t block[kAiConfigSize];
    BuildWrite(panel, kSpeedFields, g.shown, g.block, block, kAiConfigSize);
    std::memcpy(AiConfig, block, kAiConfigSize);
    const auto field = [&](int offset) { return wire::getF32(block + offset); };
    SendPumpCommand(g.pump, ThrottleConfigWrite{field(aiblock::kLow), field(aiblock::kHigh),
                                                field(aiblock::kCoefficients),
                                                field(aiblock::kCoefficients + 4)});
    JournalPumpWrite(g.pump, "Speed limits written: %g to %g rpm",
                     static_cast<double>(field(aiblock::kLow)),
                     static_cast<double>(field(aiblock::kHigh)));
    std::memcpy(g.block, AiConfig, kAiConfigSize);
    NoteShown(panel, kSpeedFields, g.shown);
    if (control == SPD_OK) CancelCfg(panel, control, ui::EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int Throt_Timer(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ReleaseButtons(panel, control, {SPD_SET, SPD_OK});
    return 0;
}

void InstallThrottleLinkHooks(LinkHooks& hooks) {
    hooks.showThrottleConfig = ShowThrottleConfig;
}

void ResetThrottleDialog() {
    g = {};
}
VNK_MODULE_STATE_RESET(hardware, hdw_throttle, g, ResetThrottleDialog)

void BindThrottleCallbacks() {
    windows::BindCtrlCallback("SelectSpeedCommand", SelectSpeedCommand);
    windows::BindCtrlCallback("SetThrottle", SetThrottle);
    windows::BindCtrlCallback("Throt_Timer", Throt_Timer);
}

}  // namespace hardware
