// The station's window set: which definition builds which window of which resource.
#include "ui/ui_model.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/client_window.h"
#include "ui/windows/remote_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/serial_monitor.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/stage_window.h"
#include "ui/windows/trend_window.h"
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
    ui::RegisterPanel(kVnkUir, VNK_TRENDS, BuildTrendWindow);
    ui::RegisterPanel(kPasswordUir, PASSWORD_PROMPT, BuildPasswordPrompt);
    ui::RegisterPanel(kPasswordUir, PASSWORD_CHANGE, BuildPasswordChange);
    ui::RegisterPanel(kNumpadUir, NUMPAD_WINDOW, BuildKeypad);
    ui::RegisterPanel(kMessageUir, MESSAGE_CONFIRM, BuildConfirmDialog);
    ui::RegisterPanel(kClientUir, CLIENT_WINDOW, BuildClientWindow);
    ui::RegisterPanel(kRemoteUir, REMOTE_WINDOW, BuildRemoteWindow);
    ui::RegisterPanel(kStageUir, STAGE_WINDOW, BuildStageWindow);
    ui::RegisterPanel(kStageUir, STAGE_SUMMARY, BuildStageSummaryWindow);
    ui::RegisterPanel(kVnkUir, VNK_PUMP_IDS, BuildPumpIdsWindow);
    ui::RegisterPanel(kHardwareUir, HW_WINDOW, BuildHardwareWindow);
    ui::RegisterPanel(kHardwareUir, HW_AI, BuildAiDialog);
    ui::RegisterPanel(kHardwareUir, HW_FI, BuildFiDialog);
    ui::RegisterPanel(kHardwareUir, HW_MOTOR_ALARMS, BuildMotorAlarmsDialog);
    ui::RegisterPanel(kHardwareUir, HW_PUMP_ALARMS, BuildPumpAlarmsDialog);
    ui::RegisterPanel(kHardwareUir, HW_NETWORK, BuildNetworkDialog);
    ui::RegisterPanel(kHardwareUir, HW_CHARACTERISTICS, BuildCharacteristicsDialog);
    ui::RegisterPanel(kHardwareUir, HW_SPEED, BuildSpeedDialog);
    ui::RegisterPanel(kJournalUir, JOURNAL_WINDOW, BuildJournalWindow);
    ui::RegisterPanel(kJournalUir, ALARM_STRIP, BuildAlarmStrip);
    ui::RegisterPanel(kAutoControlUir, AUTO_MODE_PAGE, BuildAutoModePage);
    ui::RegisterPanel(kAutoControlUir, AUTO_PANEL, BuildAutoControlWindow);
    ui::RegisterPanel(kAutoControlUir, AUTO_SETTINGS_PAGE, BuildAutoSettingsPage);
}

}  // namespace windows
