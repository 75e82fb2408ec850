// The station's menu bar: the same bar on each bank window and on the detail view. Item ids
// are fixed here; several are known to the logic by number (19 and 20 are the unit items,
// 34 the control-mode settings).
#pragma once

namespace windows {

enum MenuId {
    // "Record"
    MENU_RECORD = 1,
    MENU_RECORD_START = 2,  // "Start" / "Stop": StartStopRecording
    MENU_RECORD_PAUSE = 3,  // PauseRecording; dimmed while not recording
    // "Stage"
    MENU_STAGE = 70,
    MENU_STAGE_START = 71,  // "Start Stage...": ShowStartStage; dimmed while a stage runs
    MENU_STAGE_END = 72,    // "End Stage": EndStage; dimmed while none runs
    // "Display"
    MENU_DISPLAY = 10,
    MENU_REFRESH_1S = 11,  // Set_Refresh_Rate, in this order: 1.0, 2.0, 4.0 s
    MENU_REFRESH_2S = 12,
    MENU_REFRESH_4S = 13,
    MENU_PUMPS_SHOWN = 14,  // ShowDisplayPrefPanel
    MENU_ARRANGE = 15,      // ArrangeWindows2
    MENU_TRENDS = 16,       // ShowTrends
    MENU_UNITS_US = 19,     // Set_Display_Units
    MENU_UNITS_METRIC = 20,
    MENU_SHOW_BANK_1 = 60,  // ShowBank: "Show Pumps 1-8", then 9-16 (61) and 17-24 (62)
    MENU_SHOW_BANK_2 = 61,
    MENU_SHOW_BANK_3 = 62,
    // "Pumps"
    MENU_PUMPS = 21,
    MENU_IDLE_ALL = 22,         // ShutdownAll
    MENU_RESET_TOTALS = 23,     // ResetAllTotals
    MENU_ZERO_PRESSURES = 24,   // ZeroAllPressures
    MENU_ALL_VFDS_ON = 25,      // AllVfdsOn
    MENU_ALL_VFDS_OFF = 26,     // AllVfdsOff
    MENU_ALL_TRIP_POINTS = 27,  // SetAllPressTripPoints
    MENU_AUTO_CONTROL = 28,     // ShowAutoControlPanel
    // ResetAllAlarms; dimmed while no pump has anything to reset
    MENU_RESET_ALL_ALARMS = 63,
    // "Setup"
    MENU_SETUP = 30,
    MENU_COM_PORTS = 31,       // Show_Serial_Window
    MENU_OPTIONAL_TRIPS = 32,  // ShowAlarmPanel
    MENU_CONTROL_MODE = 34,    // Load_Setup_Panel; dimmed until the ports are open
    MENU_REMOTE = 35,          // Load_Remote_Panel
    // "Trellmix PC"
    MENU_BLENDER = 40,
    MENU_BLENDER_CONNECT = 41,  // ConnectMenu
    MENU_BLENDER_SHOW = 42,     // ShowClient
    // "Help"
    MENU_HELP = 50,
    MENU_ABOUT = 51,     // Display_Help_About
    MENU_WEB = 52,       // Check_Web
    MENU_EMAIL = 53,     // Send_Email
    MENU_EXPLORER = 54,  // LaunchExplorer
};

// Builds the menu bar on panel; returns its handle.
int BuildStationMenuBar(int panel);

}  // namespace windows
