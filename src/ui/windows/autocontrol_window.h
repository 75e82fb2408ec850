// The automatic-control window ("autocontrol.uir"): window 2 with the fleet's rate and
// pressure on gauges and numbers, the controller's message line, the not-applied marker,
// the controller's timer, Apply and Close, and a tab control holding window 1 ("Mode") and
// window 3 ("Controller Settings") as its pages.
#pragma once

#include <string>

namespace windows {

inline const std::string kAutoControlUir = "autocontrol.uir";

enum AutoWindow { AUTO_MODE_PAGE = 1, AUTO_PANEL = 2, AUTO_SETTINGS_PAGE = 3 };

enum AutoPanelCtrl {
    AUTO_RATE_GAUGE = 2,
    AUTO_PRESSURE_GAUGE = 3,
    AUTO_RATE = 4,      // SelectedPumpsRate as it is
    AUTO_PRESSURE = 5,  // AverageDischargePressure as it is
    AUTO_MESSAGE = 6,   // red text: a message; green and empty: none
    AUTO_PENDING = 7,   // shown while a changed value waits for Apply
    AUTO_TIMER = 8,     // AutoTimer, 1.0 s
    AUTO_APPLY = 9,     // SetAutoMode
    AUTO_CLOSE = 10,    // CloseAutoPanel
    AUTO_TABS = 11,     // the two pages
    AUTO_RATE_CAPTION = 12,
    AUTO_PRESSURE_CAPTION = 13,
    AUTO_ACTIVE = 14,  // "Active: Hold Rate 90 bbl/min": what runs, whatever is chosen
};

enum AutoModePageCtrl {
    MODE_OFF = 2,  // three radio buttons: RadioSelectionChange
    MODE_RATE = 3,
    MODE_PRESSURE = 4,
    MODE_TARGET_RATE = 5,  // value fields: AutoValueChanged
    MODE_LIMIT_PRESSURE = 6,
    MODE_TARGET_PRESSURE = 7,
    MODE_LIMIT_RATE = 8,
    MODE_TARGET_RATE_UNITS = 9,  // unit labels, in the order of the four fields
    MODE_LIMIT_PRESSURE_UNITS = 10,
    MODE_TARGET_PRESSURE_UNITS = 11,
    MODE_LIMIT_RATE_UNITS = 12,
};

enum AutoSettingsPageCtrl {
    SETTINGS_RPM_STEP = 2,  // value fields: AutoValueChanged
    SETTINGS_SAMPLING_TIME = 3,
    SETTINGS_RATE_TOLERANCE = 4,
    SETTINGS_PRESSURE_TOLERANCE = 5,
    SETTINGS_RATE_TOLERANCE_UNITS = 6,
    SETTINGS_PRESSURE_TOLERANCE_UNITS = 7,
};

// Where the pages sit on window 2 (the canvas the tab control is made from).
constexpr int kAutoPageTop = 250;
constexpr int kAutoPageLeft = 20;
constexpr int kAutoPageWidth = 600;
constexpr int kAutoPageHeight = 300;

void BuildAutoControlWindow(int panel);
void BuildAutoModePage(int panel);
void BuildAutoSettingsPage(int panel);

}  // namespace windows
