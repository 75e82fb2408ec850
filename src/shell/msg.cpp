#include "shell/msg.h"

#include <string>
#include <vector>

#include "autocontrol/auto_panel.h"
#include "autocontrol/autocontrol.h"
#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/commands.h"
#include "platform/module_state.h"
#include "safety/estop.h"
#include "stages/stages.h"
#include "ui/ui_model.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace autocontrol;

namespace shell {

namespace {

constexpr int kInstantIdleRepeats = 5;

struct ConfirmState {
    int dialog = 0;  // the open dialog, 0 when closed
    bool operator==(const ConfirmState&) const = default;
};
ConfirmState g;

}  // namespace

int ConfirmDialogPanel() {
    return g.dialog;
}

void ShowConfirmDialog(int parent, const char* title, const char* question, int action) {
    CloseConfirmDialog();
    g.dialog = ui::LoadPanel(parent, windows::kMessageUir, windows::MESSAGE_CONFIRM);
    if (g.dialog <= 0) {
        g.dialog = 0;
        return;
    }
    ui::SetCtrlVal(g.dialog, windows::CONFIRM_QUESTION, std::string(question));
    ui::SetPanelAttribute(g.dialog, ui::ATTR_TITLE, std::string(title));
    ui::SetCtrlVal(g.dialog, windows::CONFIRM_ACTION, action);
    ui::DisplayPanel(g.dialog);
}

int InfoSelect(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    if (control == windows::CONFIRM_YES) {
        int action = ui::GetCtrlInt(panel, windows::CONFIRM_ACTION);
        if (action == kConfirmIdleAll) {
            // The controller would raise the pumps again at its next step.
            ChangeAutoMode(kAutoOff, AutoModeCause::IdleAll);
            stages::NoteStageEvent(stages::StageEvent::IdleAll);
            StartInstantIdle(kInstantIdleRepeats);
        }
        std::vector<int> zeroed;
        for (int pump = 0; pump < kPumpCount; ++pump) {
            if (PumpTable[pump].PortConfig.Mode != 1) continue;
            switch (action) {
                case kConfirmIdleAll:
                    SendPumpCommand(pump, Op::Idle);
                    break;
                case kConfirmResetTotals:
                    SendPumpCommand(pump, Op::ClearTotals);
                    break;
                case kConfirmZeroPressures:
                    zeroed.push_back(pump);
                    break;
                default:
                    break;
            }
        }
        if (!zeroed.empty()) ZeroPressures(zeroed);
    }
    if (panel == g.dialog) g.dialog = 0;
    ui::DiscardPanel(panel);
    return 0;
}

void ShutdownAll(int, int, void*, int panel) {
    ShowConfirmDialog(panel, "Shutdown", "Go to Idle / Neutral on all pumps?", kConfirmIdleAll);
}

void ResetAllTotals(int, int, void*, int panel) {
    ShowConfirmDialog(panel, "Reset Totals", "Reset all discharge totals?", kConfirmResetTotals);
}

void ZeroAllPressures(int, int, void*, int panel) {
    ShowConfirmDialog(panel, "Zero Pressures", "Zero all discharge pressures?",
                      kConfirmZeroPressures);
}

void BindConfirmCallbacks() {
    windows::BindCtrlCallback("InfoSelect", InfoSelect);
    windows::BindMenuCallback("ShutdownAll", ShutdownAll);
    windows::BindMenuCallback("ResetAllTotals", ResetAllTotals);
    windows::BindMenuCallback("ZeroAllPressures", ZeroAllPressures);
}

void CloseConfirmDialog() {
    if (g.dialog != 0 && ui::PanelExists(g.dialog)) ui::DiscardPanel(g.dialog);
    g.dialog = 0;
}

void ResetConfirmDialog() {
    CloseConfirmDialog();
    g = {};
}
VNK_MODULE_STATE_RESET(shell, msg, g, ResetConfirmDialog)

}  // namespace shell
