// The station's window set: which definition builds which window of which resource.
#include "ui/ui_model.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/client_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/serial_monitor.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

namespace windows {

void RegisterWindowDefinitions() {
    ui::RegisterPanel(kVnkUir, VNK_OPTIONAL_TRIPS, BuildOptionalTripsWindow);
    ui::RegisterPanel(kVnkUir, VNK_BANK, BuildBankWindow);
    ui::RegisterPanel(kVnkUir, VNK_DETAIL, BuildDetailView);
    ui::RegisterPanel(kVnkUir, VNK_ESTOP, BuildEStopWindow);
    ui::RegisterPanel(kVnkUir, VNK_SPLASH, BuildSplashWindow);
    ui::RegisterPanel(kVnkUir, VNK_PREFERENCES, BuildPreferencesWindow);
    ui::RegisterPanel(kVnkUir, VNK_SERIAL_MONITOR, BuildSerialMonitor);
    ui::RegisterPanel(kVnkUir, VNK_CONTROL_MODE, BuildControlModeWindow);
    ui::RegisterPanel(kPasswordUir, PASSWORD_PROMPT, BuildPasswordPrompt);
    ui::RegisterPanel(kPasswordUir, PASSWORD_CHANGE, BuildPasswordChange);
    ui::RegisterPanel(kNumpadUir, NUMPAD_WINDOW, BuildKeypad);
    ui::RegisterPanel(kMessageUir, MESSAGE_CONFIRM, BuildConfirmDialog);
    ui::RegisterPanel(kClientUir, CLIENT_WINDOW, BuildClientWindow);
    ui::RegisterPanel(kAutoControlUir, AUTO_MODE_PAGE, BuildAutoModePage);
    ui::RegisterPanel(kAutoControlUir, AUTO_PANEL, BuildAutoControlWindow);
    ui::RegisterPanel(kAutoControlUir, AUTO_SETTINGS_PAGE, BuildAutoSettingsPage);
}

}  // namespace windows
