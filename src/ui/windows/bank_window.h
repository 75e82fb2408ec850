// The bank window ("vnk.uir" window 3): eight pump rows, the fleet values, the status
// fields, the statistics read-outs and the station's periodic timers. One definition, three
// instances ("Pumps 1-8", "Pumps 9-16", "Pumps 17-24"); only the first instance's timers
// are ever enabled.
#pragma once

namespace windows {

constexpr int kBankRows = 8;
constexpr int kRowPositions = 25;

// A pump row holds 25 controls. The id of a row control is the position's base plus the
// row number, except the configure buttons, which count down: row 0 has the highest id.
enum BankRowBase {
    BANK_STEP_UP_LARGE = 100,  // position 0; its dimmed state is the row's
    BANK_STEP_UP_SMALL = 110,
    BANK_STEP_DOWN_SMALL = 120,
    BANK_STEP_DOWN_LARGE = 130,
    BANK_MOTOR_RPM = 140,
    BANK_SETPOINT_BAR = 150,
    BANK_POWER_OFF = 160,  // shown while the drive is on
    BANK_POWER_ON = 170,   // shown while the drive is off
    BANK_DISCHARGE = 180,
    BANK_TRIP = 190,
    BANK_RATE = 200,
    BANK_PERCENT = 210,
    BANK_FAULT_LED = 220,
    BANK_ALARM_LED = 230,
    BANK_DETAIL = 240,
    BANK_CONFIGURE = 250,  // 257 for row 0 down to 250 for row 7
    BANK_SET_TRIP = 260,
    BANK_PUMP_ID = 270,
    BANK_GROUP = 280,
    BANK_RPM_CAPTION = 290,
    BANK_PERCENT_CAPTION = 300,
    BANK_ROW_FRAME = 310,
    BANK_POWER_TEXT = 320,
    BANK_STOP = 330,
    BANK_AUTO = 340,
    BANK_POSITION_LABEL = 350,  // "1A".. on the row, not one of the 25
};

// The base of each row position, in position order.
inline constexpr int kRowPositionBase[kRowPositions] = {
    BANK_STEP_UP_LARGE,
    BANK_STEP_UP_SMALL,
    BANK_STEP_DOWN_SMALL,
    BANK_STEP_DOWN_LARGE,
    BANK_MOTOR_RPM,
    BANK_SETPOINT_BAR,
    BANK_POWER_OFF,
    BANK_POWER_ON,
    BANK_DISCHARGE,
    BANK_TRIP,
    BANK_RATE,
    BANK_PERCENT,
    BANK_FAULT_LED,
    BANK_ALARM_LED,
    BANK_DETAIL,
    BANK_CONFIGURE,
    BANK_SET_TRIP,
    BANK_PUMP_ID,
    BANK_GROUP,
    BANK_RPM_CAPTION,
    BANK_PERCENT_CAPTION,
    BANK_ROW_FRAME,
    BANK_POWER_TEXT,
    BANK_STOP,
    BANK_AUTO,
};

// The control id of a row position.
constexpr int BankRowCtrl(int row, int position) {
    return kRowPositionBase[position] +
           (kRowPositionBase[position] == BANK_CONFIGURE ? kBankRows - 1 - row : row);
}

// Bank-wide controls.
enum BankCtrl {
    BANK_TITLE = 2,  // where focus goes after a power switch
    BANK_EXIT = 3,   // Quit_App
    BANK_AVG_PRESSURE = 10,
    BANK_TOTAL_RATE = 11,
    BANK_TOTAL_VOLUME = 12,
    BANK_TOTAL_HHP = 13,
    BANK_TARGET_CAPTION = 14,  // "Target BPM :" / "Target PSI :", hidden while off
    BANK_TARGET_VALUE = 15,
    BANK_BLENDER_STATUS = 16,  // last message of the blender computer, or "Not Connected"
    BANK_RECORD_STATUS = 17,   // "Recording", "Paused", "Recorder Off"
    BANK_ALL_TRIP = 18,        // hidden field the all-pumps trip keypad edits
    BANK_ESTOP_STATUS = 19,    // red, shown while the E-stop input cannot be read
    BANK_STATS_FIRST = 20,     // seven statistics read-outs, 20..26, hidden
    BANK_STATS_COUNT = 7,
    BANK_CAPTION_FIRST = 40,  // column and fleet captions, 40..59
};

// The periodic timers, all created disabled.
enum BankTimer {
    BANK_TMR_DISPLAY = 80,       // DisplayTimerTick, RefreshInterval
    BANK_TMR_POLL = 81,          // GetControlData
    BANK_TMR_QUEUE = 82,         // QueueTimer
    BANK_TMR_NETWORK_INFO = 83,  // GetIdTimer
    BANK_TMR_COM_WATCHDOG = 84,  // ComTimerTick
    BANK_TMR_OP_TRIP = 85,       // TmrOpTrip
    BANK_TMR_WAIT_PORTS = 86,    // WaitForPorts
    BANK_TMR_DELAY_COM = 87,     // DelayCom
    BANK_TMR_TX_FLASH = 88,      // TxTimerTick
    BANK_TMR_ESTOP = 89,         // EStopTimerTick
    BANK_TMR_INSTANT_IDLE = 90,  // InstantIdleTimerTick
    BANK_TMR_RECORD = 91,        // RecordTimer
};

struct TimerDef {
    int id;
    double interval;
    const char* callback;
};
inline constexpr TimerDef kBankTimers[] = {
    {BANK_TMR_DISPLAY, 1.0, "DisplayTimerTick"},
    {BANK_TMR_POLL, 0.1, "GetControlData"},
    {BANK_TMR_QUEUE, 0.05, "QueueTimer"},
    {BANK_TMR_NETWORK_INFO, 10.0, "GetIdTimer"},
    {BANK_TMR_COM_WATCHDOG, 0.495, "ComTimerTick"},
    {BANK_TMR_OP_TRIP, 0.5, "TmrOpTrip"},
    {BANK_TMR_WAIT_PORTS, 1.0, "WaitForPorts"},
    {BANK_TMR_DELAY_COM, 1.0, "DelayCom"},
    {BANK_TMR_TX_FLASH, 0.2, "TxTimerTick"},
    {BANK_TMR_ESTOP, 0.1, "EStopTimerTick"},
    {BANK_TMR_INSTANT_IDLE, 0.5, "InstantIdleTimerTick"},
    {BANK_TMR_RECORD, 1.0, "RecordTimer"},
};

constexpr int kBankWidth = 1024;
constexpr int kBankHeight = 740;
constexpr int kGroupNone = 255;  // value of the group selector for "no group"

// Range of the trip-point fields (display units); the keypad takes numbers strictly inside.
constexpr double kTripMin = -1.0;
constexpr double kTripMax = 25001.0;

void BuildBankWindow(int panel);

}  // namespace windows
