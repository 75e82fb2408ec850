// The bank window ("vnk.uir" window 3): eight pump rows, the fleet values, the status
// fields, the statistics read-outs and the station's periodic timers. One definition, three
// instances ("Pumps 1-8", "Pumps 9-16", "Pumps 17-24"); only the first instance's timers
// are ever enabled.
#pragma once

#include <string>

namespace windows {

constexpr int kBankRows = 8;

// The 25 positions of a pump row. Tables of row controls (BankRow[pump][position]) are
// indexed by these.
enum RowPos {
    kPosStepUpLarge,  // its dimmed state is the row's
    kPosStepUpSmall,
    kPosStepDownSmall,
    kPosStepDownLarge,
    kPosMotorRpm,
    kPosSetpointBar,
    kPosPowerOff,  // shown while the drive is on
    kPosPowerOn,   // shown while the drive is off
    kPosDischarge,
    kPosTrip,
    kPosRate,
    kPosPercent,
    kPosFault,
    kPosAlarm,
    kPosDetail,
    kPosConfigure,
    kPosSetTrip,
    kPosPumpId,
    kPosGroup,
    kPosRpmCaption,
    kPosPercentCaption,
    kPosRowFrame,
    kPosPowerText,
    kPosStop,
    kPosAuto,
};
constexpr int kRowPositions = kPosAuto + 1;

// The id of a row control is its position's base plus the row number, except the
// configure buttons, which count down: row 0 has the highest id.
constexpr int RowPositionBase(int position) {
    return 100 + 10 * position;
}
enum BankRowBase {
    BANK_STEP_UP_LARGE = RowPositionBase(kPosStepUpLarge),
    BANK_STEP_UP_SMALL = RowPositionBase(kPosStepUpSmall),
    BANK_STEP_DOWN_SMALL = RowPositionBase(kPosStepDownSmall),
    BANK_STEP_DOWN_LARGE = RowPositionBase(kPosStepDownLarge),
    BANK_MOTOR_RPM = RowPositionBase(kPosMotorRpm),
    BANK_SETPOINT_BAR = RowPositionBase(kPosSetpointBar),
    BANK_POWER_OFF = RowPositionBase(kPosPowerOff),
    BANK_POWER_ON = RowPositionBase(kPosPowerOn),
    BANK_DISCHARGE = RowPositionBase(kPosDischarge),
    BANK_TRIP = RowPositionBase(kPosTrip),
    BANK_RATE = RowPositionBase(kPosRate),
    BANK_PERCENT = RowPositionBase(kPosPercent),
    BANK_FAULT_LED = RowPositionBase(kPosFault),
    BANK_ALARM_LED = RowPositionBase(kPosAlarm),
    BANK_DETAIL = RowPositionBase(kPosDetail),
    BANK_CONFIGURE = RowPositionBase(kPosConfigure),  // 257 for row 0 down to 250 for row 7
    BANK_SET_TRIP = RowPositionBase(kPosSetTrip),
    BANK_PUMP_ID = RowPositionBase(kPosPumpId),
    BANK_GROUP = RowPositionBase(kPosGroup),
    BANK_RPM_CAPTION = RowPositionBase(kPosRpmCaption),
    BANK_PERCENT_CAPTION = RowPositionBase(kPosPercentCaption),
    BANK_ROW_FRAME = RowPositionBase(kPosRowFrame),
    BANK_POWER_TEXT = RowPositionBase(kPosPowerText),
    BANK_STOP = RowPositionBase(kPosStop),
    BANK_AUTO = RowPositionBase(kPosAuto),
    BANK_POSITION_LABEL = RowPositionBase(kRowPositions),  // "1A".. on the row, not one of the 25
};

// The control id of a row position.
constexpr int BankRowCtrl(int row, int position) {
    return RowPositionBase(position) + (position == kPosConfigure ? kBankRows - 1 - row : row);
}

// The unit label of pump 0-23: pump n + 1 is unit (n + 2) / 2, side A or B: "1A", "1B",
// "2A" .. "12B"; empty for any other index.
std::string UnitLabel(int pump);
// How every window names pump 0-23: by its unit label, as its bank row and the detail view
// do ("Pump 3A"); in a list to choose from, with its number too ("Pump 3A (5)"), which the
// bank titles, the recording files and the journal's export go by.
std::string PumpName(int pump);
std::string PumpChoiceName(int pump);

// Bank-wide controls.
enum BankCtrl {
    BANK_TITLE = 2,   // where focus goes after a power switch
    BANK_EXIT = 3,    // Quit_App
    BANK_ALARMS = 4,  // the count of unacknowledged alarms; ShowJournal
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
    BANK_REMOTE_STATUS = 28,  // amber, shown while remote monitoring cannot reach its broker
    BANK_STAGE_STATUS = 29,   // "Stage 12 - 00:42:10 - 1834 bbl", shown while a stage runs
    BANK_REFUSAL = 36,        // why a speed press raised nothing, shown for a few seconds
    BANK_FLEET_SCOPE = 37,    // under the rows: which pumps the fleet values count
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
    BANK_TMR_TRENDS = 92,        // TrendTimer
    BANK_TMR_JOURNAL = 93,       // JournalTimer
    BANK_TMR_PORT_RETRY = 94,    // PortRetryTimer
    BANK_TMR_REMOTE = 95,        // RemoteTimer
    BANK_TMR_STAGE = 96,         // StageTimer
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
    {BANK_TMR_ESTOP, 0.01, "EStopTimerTick"},
    {BANK_TMR_INSTANT_IDLE, 0.5, "InstantIdleTimerTick"},
    {BANK_TMR_RECORD, 1.0, "RecordTimer"},
    {BANK_TMR_TRENDS, 1.0, "TrendTimer"},
    {BANK_TMR_JOURNAL, 1.0, "JournalTimer"},
    {BANK_TMR_PORT_RETRY, 2.0, "PortRetryTimer"},
    {BANK_TMR_REMOTE, 1.0, "RemoteTimer"},
    {BANK_TMR_STAGE, 1.0, "StageTimer"},
};

// The inside of a bank window. With its menu bar (44 pixels, finger-sized) and a window
// manager's frame (a title bar of up to 24 pixels, or borders of up to 4 on each side) it fits
// the 1024 x 768 touch screen whole.
constexpr int kBankWidth = 1016;
constexpr int kBankHeight = 700;
constexpr int kGroupNone = 255;  // value of the group selector for "no group"

// Range of the trip-point fields in psi, bounds included; start-up sets it in the display
// units.
constexpr double kTripMin = 1.0;
constexpr double kTripMax = 25000.0;

void BuildBankWindow(int panel);

}  // namespace windows
