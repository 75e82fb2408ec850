#include "operation/panels.h"

#include "link/serial_output.h"
#include "shell/control_ids.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

void ShowBanks(int pumpsShown) {
    int banks = pumpsShown <= 8 ? 1 : pumpsShown <= 16 ? 2 : 3;
    for (int b = 0; b < kBankCount; ++b) {
        if (BankPanel[b] == 0) continue;
        bool visible = ui::GetPanelAttributeInt(BankPanel[b], ui::ATTR_PANEL_VISIBLE) != 0;
        if (b < banks && !visible)
            ui::DisplayPanel(BankPanel[b]);
        else if (b >= banks && visible)
            ui::HidePanel(BankPanel[b]);
    }
}

int DisplayTimerTick(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    SerialOutputLine();
    return 0;
}

void BindPanelCallbacks() { windows::BindCtrlCallback("DisplayTimerTick", DisplayTimerTick); }
