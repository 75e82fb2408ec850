#include "ui/windows/menu_bar.h"

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

int BuildStationMenuBar(int panel) {
    int bar = ui::NewMenuBar(panel);

    ui::NewMenu(bar, MENU_RECORD, "Record");
    AddMenuCommand(bar, MENU_RECORD, MENU_RECORD_START, "Start", "StartStopRecording");
    AddMenuCommand(bar, MENU_RECORD, MENU_RECORD_PAUSE, "Pause", "PauseRecording", true);

    ui::NewMenu(bar, MENU_STAGE, "Stage");
    AddMenuCommand(bar, MENU_STAGE, MENU_STAGE_START, "Start Stage...", "ShowStartStage");
    AddMenuCommand(bar, MENU_STAGE, MENU_STAGE_END, "End Stage", "EndStage", true);

    ui::NewMenu(bar, MENU_DISPLAY, "Display");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_UNITS_US, "US Units", "Set_Display_Units");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_UNITS_METRIC, "Metric Units", "Set_Display_Units");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_REFRESH_1S, "Refresh Every 1 s", "Set_Refresh_Rate");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_REFRESH_2S, "Refresh Every 2 s", "Set_Refresh_Rate");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_REFRESH_4S, "Refresh Every 4 s", "Set_Refresh_Rate");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_PUMPS_SHOWN, "Display Preferences...",
                   "ShowDisplayPrefPanel");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_ARRANGE, "Arrange Windows", "ArrangeWindows2");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_SHOW_BANK_1, "Show Pumps 1-8", "ShowBank");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_SHOW_BANK_2, "Show Pumps 9-16", "ShowBank");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_SHOW_BANK_3, "Show Pumps 17-24", "ShowBank");
    AddMenuCommand(bar, MENU_DISPLAY, MENU_TRENDS, "Trends...", "ShowTrends");

    ui::NewMenu(bar, MENU_PUMPS, "Pumps");
    AddMenuCommand(bar, MENU_PUMPS, MENU_IDLE_ALL, "Idle All Pumps...", "ShutdownAll");
    AddMenuCommand(bar, MENU_PUMPS, MENU_RESET_TOTALS, "Reset All Totals...", "ResetAllTotals");
    AddMenuCommand(bar, MENU_PUMPS, MENU_ZERO_PRESSURES, "Zero All Pressures...",
                   "ZeroAllPressures");
    AddMenuCommand(bar, MENU_PUMPS, MENU_ALL_VFDS_ON, "All VFDs On", "AllVfdsOn");
    AddMenuCommand(bar, MENU_PUMPS, MENU_ALL_VFDS_OFF, "All VFDs Off", "AllVfdsOff");
    AddMenuCommand(bar, MENU_PUMPS, MENU_ALL_TRIP_POINTS, "Set All Trip Points...",
                   "SetAllPressTripPoints");
    AddMenuCommand(bar, MENU_PUMPS, MENU_RESET_ALL_ALARMS, "Reset All Alarms...", "ResetAllAlarms",
                   true);
    AddMenuCommand(bar, MENU_PUMPS, MENU_AUTO_CONTROL, "Auto Control...", "ShowAutoControlPanel");

    ui::NewMenu(bar, MENU_SETUP, "Setup");
    AddMenuCommand(bar, MENU_SETUP, MENU_COM_PORTS, "COM Ports...", "Show_Serial_Window");
    AddMenuCommand(bar, MENU_SETUP, MENU_OPTIONAL_TRIPS, "Optional Trips...", "ShowAlarmPanel");
    AddMenuCommand(bar, MENU_SETUP, MENU_CONTROL_MODE, "Control Mode...", "Load_Setup_Panel", true);
    AddMenuCommand(bar, MENU_SETUP, MENU_REMOTE, "Remote Monitoring...", "Load_Remote_Panel");

    ui::NewMenu(bar, MENU_BLENDER, "Trellmix PC");
    AddMenuCommand(bar, MENU_BLENDER, MENU_BLENDER_CONNECT, "Connect", "ConnectMenu");
    AddMenuCommand(bar, MENU_BLENDER, MENU_BLENDER_SHOW, "Show Connection...", "ShowClient");

    ui::NewMenu(bar, MENU_HELP, "Help");
    AddMenuCommand(bar, MENU_HELP, MENU_ABOUT, "About VNK PC...", "Display_Help_About");
    AddMenuCommand(bar, MENU_HELP, MENU_WEB, "Support Downloads", "Check_Web");
    AddMenuCommand(bar, MENU_HELP, MENU_EMAIL, "E-mail Support", "Send_Email");
    AddMenuCommand(bar, MENU_HELP, MENU_EXPLORER, "File Explorer", "LaunchExplorer");
    return bar;
}

}  // namespace windows
