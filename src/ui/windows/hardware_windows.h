// The hardware set-up windows ("hardwarecfg.uir"): the per-pump hardware window with its
// select buttons and the "View Network" button, and the dialogs it opens (analog input,
// frequency input, motor and pump alarms, network information, pump characteristics, motor
// speed control); and the pump identification window ("vnk.uir" window 9).
#pragma once

namespace windows {

inline constexpr const char* kHardwareUir = "hardwarecfg.uir";

enum HardwareWindow {
    HW_WINDOW = 1,
    HW_AI = 2,
    HW_FI = 3,
    HW_MOTOR_ALARMS = 4,
    HW_PUMP_ALARMS = 5,
    HW_NETWORK = 6,
    HW_CHARACTERISTICS = 7,
    HW_SPEED = 8,
};

// Where a dialog sits inside the hardware window (its left and top, from the window's).
constexpr int kHwDialogLeft = 290;
constexpr int kHwDialogTop = 120;

enum HardwareWindowCtrl {
    HW_PUMP_LABEL = 2,  // "Pump #1A"
    HW_TITLE = 3,       // follows the open dialog
    HW_HELP = 4,
    HW_SELECT_DISCHARGE = 10,
    HW_SELECT_OIL_TEMP,
    HW_SELECT_OIL_PRESS,
    HW_SELECT_SUCTION,
    HW_SELECT_RPM,
    HW_SELECT_MOTOR_ALARMS,
    HW_SELECT_PUMP_ALARMS,
    HW_SELECT_CHARACTERISTICS,
    HW_SELECT_SPEED,
    HW_VIEW_NETWORK = 30,  // NetwCfg (left click)
    HW_DONE = 31,          // Done_With_Hardware
};

enum AiDialogCtrl {
    AI_RAW_LOW = 2,  // counts, 0-4095
    AI_RAW_HIGH,
    AI_ENG_LOW,  // engineering values in display units
    AI_ENG_HIGH,
    AI_READ_LOW,  // ReadLowDAC
    AI_READ_HIGH,
    AI_AUTOSCALE,
    AI_MANUAL,  // ManualConfig: manual coefficients (1) or two-point calibration (0)
    AI_COEF0 = 12,
    AI_COEF1,
    AI_COEF2,
    AI_COEF3,
    AI_OPTION = 16,
    AI_VALUE32,  // block bytes 32-35
    AI_VALUE28,  // block bytes 28-31
    AI_SEND = 20,
    AI_OK,
    AI_CLOSE,
    AI_TIMER,
    AI_LIVE,         // the input's live engineering value
    AI_LIVE_COUNTS,  // the counts of the last reading taken
    AI_LIVE_TIMER,   // AI_Live
};

enum FiDialogCtrl {
    FI_OPTION = 2,
    FI_PULSES,  // pulses per revolution
    FI_FREQUENCY,
    FI_SPEED,  // the known speed, rpm
    FI_READ,
    FI_AUTOSCALE,
    FI_SEND = 10,
    FI_OK,
    FI_CLOSE,
    FI_TIMER,
};

// Alarm dialogs: five rows, each a pair of fields, a units caption and a SET button.
constexpr int kAlarmRows = 5;
constexpr int AlarmRowCtrl(int row, int item) {
    return 10 + 10 * row + item;
}
enum AlarmRowItem { ALARM_FIRST = 0, ALARM_SECOND, ALARM_UNITS, ALARM_SET, ALARM_CAPTION };
enum AlarmDialogCtrl { ALARM_CLOSE = 2, ALARM_TIMER = 3 };
// The set-point code of each row.
inline constexpr int kMotorAlarmCodes[kAlarmRows] = {1, 2, 6, 7, 8};
inline constexpr int kPumpAlarmCodes[kAlarmRows] = {5, 12, 13, 14, 15};

enum NetworkDialogCtrl { NET_CLOSE = 2, NET_LINE_FIRST = 10 };  // one line per pump

enum CharacteristicsCtrl {
    CHAR_PLUNGERS = 2,
    CHAR_STROKE,
    CHAR_DIAMETER,
    CHAR_EFFICIENCY,
    CHAR_GEAR_RATIO,
    CHAR_PRESET_3,  // PlungerDown
    CHAR_PRESET_5,  // PlungerUp
    CHAR_SEND = 10,
    CHAR_OK,
    CHAR_CLOSE,
    CHAR_TIMER,
};

enum SpeedCtrl {
    SPD_STEP_SMALL = 2,
    SPD_STEP_LARGE,
    SPD_SCALE1,
    SPD_SCALE2,
    SPD_MIN,
    SPD_MAX,
    SPD_SET = 10,
    SPD_OK,
    SPD_CLOSE,
    SPD_TIMER,
};

enum PumpIdsCtrl { IDS_SEND = 2, IDS_CLOSE = 3, IDS_FIELD_FIRST = 10 };  // one field per pump
constexpr int kPumpIdChars = 8;

void BuildHardwareWindow(int panel);
void BuildAiDialog(int panel);
void BuildFiDialog(int panel);
void BuildMotorAlarmsDialog(int panel);
void BuildPumpAlarmsDialog(int panel);
void BuildNetworkDialog(int panel);
void BuildCharacteristicsDialog(int panel);
void BuildSpeedDialog(int panel);
void BuildPumpIdsWindow(int panel);

}  // namespace windows
