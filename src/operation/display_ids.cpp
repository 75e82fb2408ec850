#include "operation/display_ids.h"

#include "platform/module_state.h"
#include "ui/ui_model.h"

using namespace pumplink;

namespace operation {

namespace {
struct ControlIdsState {
    int BankRow[kPumpCount][kRowPositionCount] = {};
    int BankPanel[kBankCount] = {};
    int DetailPanel = 0;
    int EStopPanel = 0;
    bool operator==(const ControlIdsState&) const = default;
};
ControlIdsState g;
}  // namespace

int (&BankRow)[kPumpCount][kRowPositionCount] = g.BankRow;
int (&BankPanel)[kBankCount] = g.BankPanel;
int& DetailPanel = g.DetailPanel;
int& EStopPanel = g.EStopPanel;

void InitControlIds() {
    for (int pump = 0; pump < kPumpCount; ++pump)
        for (int position = 0; position < kRowPositionCount; ++position)
            BankRow[pump][position] = windows::BankRowCtrl(pump % kPumpsPerBank, position);
}

void ResetControlIds() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, display_ids, g, ResetControlIds)

void SetPositionLabels(int bank) {
    if (bank < 0 || bank >= kBankCount) return;
    for (int row = 0; row < kPumpsPerBank; ++row)
        ui::SetCtrlAttribute(BankPanel[bank], windows::BANK_POSITION_LABEL + row,
                             ui::ATTR_LABEL_TEXT, windows::UnitLabel(bank * kPumpsPerBank + row));
}

int BankOfPanel(int panel) {
    if (panel <= 0) return -1;
    for (int b = 0; b < kBankCount; ++b)
        if (BankPanel[b] == panel) return b;
    return -1;
}

int PumpOfRowCtrl(int panel, int control, int position) {
    int bank = BankOfPanel(panel);
    if (bank < 0 || position < 0 || position >= kRowPositionCount) return -1;
    for (int row = 0; row < kPumpsPerBank; ++row) {
        int pump = bank * kPumpsPerBank + row;
        if (BankRow[pump][position] == control) return pump;
    }
    return -1;
}

int PumpOfRowCtrl(int panel, int control) {
    for (int position = 0; position < kRowPositionCount; ++position) {
        int pump = PumpOfRowCtrl(panel, control, position);
        if (pump >= 0) return pump;
    }
    return -1;
}

}  // namespace operation
