#include "ui/windows/hardware_windows.h"

#include <string>
#include <tuple>

#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

constexpr int kDialogWidth = 720;
constexpr int kDialogHeight = 560;
constexpr int kButtonHeight = 56;
constexpr int kFieldHeight = 44;
constexpr double kWide = 1e6;  // coefficients and set-points: finite, and wide

// A number edited on the keypad (AP_NP opens it on a tap).
ui::Control& keypadField(int panel, int resourceId, int id, const std::string& label, int top,
                         int left, double min, double max, int precision, DataType type,
                         int width = 170) {
    ui::Control& c = AddNumeric(panel, id, label, top, left, width, kFieldHeight, min, max,
                                precision);
    if (type != VAL_FLOAT && type != VAL_DOUBLE) c.kind = ui::ValueKind::Integer;
    Attach(panel, id, "AP_NP");
    DeclareDataType(kHardwareUir, resourceId, id, type);
    return c;
}

// A command button that stays pressed until the dialog's release timer ticks.
ui::Control& holdButton(int panel, int id, const std::string& label, int top, int left,
                        const char* callback, int width = 150) {
    ui::Control& c =
        ui::AddCtrl(panel, id, ui::CTRL_TOGGLE_BUTTON, label, top, left, width, kButtonHeight);
    c.kind = ui::ValueKind::Integer;
    Attach(panel, id, callback);
    return c;
}

void closeButton(int panel, int id) {
    AddButton(panel, id, "Close", kDialogHeight - 76, kDialogWidth - 180, 150, kButtonHeight,
              "CancelCfg");
}

void alarmDialog(int panel, int resourceId, const char* title,
                 const char* const (&names)[kAlarmRows], const char* callback,
                 const char* timer) {
    SizePanel(panel, kDialogWidth, kDialogHeight, kNormalBack, title);
    AddCaption(panel, 4, "Set-point 1", 20, 230, 170, 22);
    AddCaption(panel, 5, "Set-point 2", 20, 410, 170, 22);
    for (int row = 0; row < kAlarmRows; ++row) {
        const int top = 50 + row * 80;
        AddCaption(panel, AlarmRowCtrl(row, ALARM_CAPTION), names[row], top + 12, 20, 200, 24);
        keypadField(panel, resourceId, AlarmRowCtrl(row, ALARM_FIRST), "", top, 230, -kWide,
                    kWide, 1, VAL_FLOAT);
        keypadField(panel, resourceId, AlarmRowCtrl(row, ALARM_SECOND), "", top, 410, -kWide,
                    kWide, 1, VAL_FLOAT);
        AddCaption(panel, AlarmRowCtrl(row, ALARM_UNITS), "", top + 12, 586, 50, 24);
        holdButton(panel, AlarmRowCtrl(row, ALARM_SET), "SET", top - 4, 636, callback, 70);
    }
    closeButton(panel, ALARM_CLOSE);
    AddTimer(panel, ALARM_TIMER, 0.2, timer);
}

}  // namespace

void BuildHardwareWindow(int panel) {
    // Narrower than the screen: with its frame it still fits on a 1024-pixel screen.
    SizePanel(panel, 1000, 700, kNormalBack, "Hardware Setup");
    ui::Control& pump = AddCaption(panel, HW_PUMP_LABEL, "Pump #", 16, 20, 250, 36);
    pump.textColor = ui::VAL_YELLOW;
    AddCaption(panel, HW_TITLE, "Select A Hardware Group To Calibrate", 16, kHwDialogLeft, 700,
               36);
    AddCaption(panel, HW_HELP, "", 60, kHwDialogLeft, 700, 44);
    struct Select {
        int id;
        const char* label;
        const char* callback;
    };
    const Select selects[] = {
        {HW_SELECT_DISCHARGE, "Discharge Pressure", "SelectDischarge"},
        {HW_SELECT_OIL_TEMP, "Lube Oil Temperature", "SelectLubeOilTemp"},
        {HW_SELECT_OIL_PRESS, "Lube Oil Pressure", "SelectLubeOilPress"},
        {HW_SELECT_SUCTION, "Suction Pressure", "SelectCharge"},
        {HW_SELECT_RPM, "Pump RPM", "SelectRpm"},
        {HW_SELECT_MOTOR_ALARMS, "Motor Alarms", "SelectMotorAlarms"},
        {HW_SELECT_PUMP_ALARMS, "Pump Alarms", "SelectPumpAlarms"},
        {HW_SELECT_CHARACTERISTICS, "Pump Characteristics", "SelectCharacteristics"},
        {HW_SELECT_SPEED, "Motor Speed Control", "SelectSpeedCommand"},
    };
    int top = 70;
    for (const Select& s : selects) {
        AddButton(panel, s.id, s.label, top, 20, 250, 56, s.callback);
        top += 62;
    }
    AddButton(panel, HW_VIEW_NETWORK, "View Network", 250, 520, 240, 80, "NetwCfg");
    AddButton(panel, HW_DONE, "Done", 630, 836, 150, 56, "Done_With_Hardware");
}

void BuildAiDialog(int panel) {
    SizePanel(panel, kDialogWidth, kDialogHeight, kNormalBack, "Analog Input");
    const int r = HW_AI;
    AddCaption(panel, 40, "Two-point calibration", 14, 20, 300, 24);
    keypadField(panel, r, AI_RAW_LOW, "Low Reading (counts)", 64, 20, 0.0, 4095.0, 0,
                VAL_SHORT_INTEGER);
    keypadField(panel, r, AI_ENG_LOW, "Low Value", 64, 210, -kWide, kWide, 2, VAL_FLOAT);
    holdButton(panel, AI_READ_LOW, "Read Low", 58, 410, "ReadLowDAC");
    keypadField(panel, r, AI_RAW_HIGH, "High Reading (counts)", 140, 20, 0.0, 4095.0, 0,
                VAL_SHORT_INTEGER);
    keypadField(panel, r, AI_ENG_HIGH, "High Value", 140, 210, -kWide, kWide, 2, VAL_FLOAT);
    holdButton(panel, AI_READ_HIGH, "Read High", 134, 410, "ReadHighDAC");
    // Beside the read buttons, what the input reads now: the technician watches the value
    // settle before he takes a reading.
    for (auto [id, label, top] : {std::tuple{AI_LIVE, "Live Reading", 64},
                                  std::tuple{AI_LIVE_COUNTS, "Last Read (counts)", 140}}) {
        ui::Control& live = ui::AddCtrl(panel, id, ui::CTRL_STRING, label, top, 570, 130,
                                        kFieldHeight);
        live.mode = ui::MODE_INDICATOR;
        live.bgColor = 0x07103A;
        live.textColor = kReadoutText;
    }
    AddTimer(panel, AI_LIVE_TIMER, 0.5, "AI_Live");
    holdButton(panel, AI_AUTOSCALE, "Auto Scale", 196, 410, "AutoScaleAI");

    ui::Control& manual = ui::AddCtrl(panel, AI_MANUAL, ui::CTRL_CHECKBOX, "Manual Coefficients",
                                      204, 20, 300, 48);
    manual.kind = ui::ValueKind::Integer;
    manual.textColor = kCaptionText;
    manual.bgColor = kNormalBack;
    Attach(panel, AI_MANUAL, "ManualConfig");
    const char* coef[] = {"Offset", "Per Count", "Coefficient 2", "Coefficient 3"};
    for (int i = 0; i < 4; ++i)
        keypadField(panel, r, AI_COEF0 + i, coef[i], 270, 20 + i * 172, -kWide, kWide, 4,
                    VAL_FLOAT, 160);
    keypadField(panel, r, AI_OPTION, "Option", 360, 20, 0.0, 255.0, 0, VAL_INTEGER, 120);
    keypadField(panel, r, AI_VALUE32, "Value A", 360, 192, -kWide, kWide, 2, VAL_FLOAT, 160);
    keypadField(panel, r, AI_VALUE28, "Value B", 360, 364, -kWide, kWide, 2, VAL_FLOAT, 160);

    holdButton(panel, AI_SEND, "Send", kDialogHeight - 76, 200, "ConfirmAI");
    holdButton(panel, AI_OK, "OK", kDialogHeight - 76, 370, "ConfirmAI");
    closeButton(panel, AI_CLOSE);
    AddTimer(panel, AI_TIMER, 0.2, "AI_Timer");
}

void BuildFiDialog(int panel) {
    SizePanel(panel, kDialogWidth, kDialogHeight, kNormalBack, "Frequency Input");
    const int r = HW_FI;
    keypadField(panel, r, FI_SPEED, "Known Speed (RPM)", 40, 20, 0.0, 10000.0, 0, VAL_FLOAT);
    keypadField(panel, r, FI_FREQUENCY, "Frequency (Hz)", 40, 210, 0.0, 65535.0, 0, VAL_FLOAT);
    holdButton(panel, FI_READ, "Read Frequency", 34, 410, "ReadFrequency", 180);
    holdButton(panel, FI_AUTOSCALE, "Auto Scale", 110, 410, "AutoScaleFI", 180);
    keypadField(panel, r, FI_PULSES, "Pulses / Revolution", 200, 20, -kWide, kWide, 2, VAL_FLOAT);
    keypadField(panel, r, FI_OPTION, "Option", 200, 210, 0.0, 255.0, 0, VAL_INTEGER, 120);
    holdButton(panel, FI_SEND, "Send", kDialogHeight - 76, 200, "ConfirmFI");
    holdButton(panel, FI_OK, "OK", kDialogHeight - 76, 370, "ConfirmFI");
    closeButton(panel, FI_CLOSE);
    AddTimer(panel, FI_TIMER, 0.2, "FI_Timer");
}

void BuildMotorAlarmsDialog(int panel) {
    const char* const names[kAlarmRows] = {"Winding A Temp", "Winding B Temp", "Winding C Temp",
                                           "Bearing DE Temp", "Bearing NDE Temp"};
    alarmDialog(panel, HW_MOTOR_ALARMS, "Motor Alarms", names, "SetAlarm",
                "APu2_Timer");
    AttachPanel(panel, "Motor_Alarms_Show");
}

void BuildPumpAlarmsDialog(int panel) {
    const char* const names[kAlarmRows] = {"Discharge Pressure", "Lube Oil Temp",
                                           "Lube Oil Pressure", "Pump RPM", "Suction Pressure"};
    alarmDialog(panel, HW_PUMP_ALARMS, "Pump Alarms", names, "SetAlarm",
                "APu_Timer");
    AttachPanel(panel, "Pump_Alarms_Show");
}

void BuildNetworkDialog(int panel) {
    SizePanel(panel, kDialogWidth, kDialogHeight, kNormalBack, "Network Information");
    for (int pump = 0; pump < 3 * kBankRows; ++pump) {
        const int column = pump / 12, line = pump % 12;
        const int top = 14 + line * 38, left = 14 + column * 350;
        AddCaption(panel, NET_LINE_FIRST + 100 + pump, UnitLabel(pump), top + 6, left, 44, 24);
        ui::Control& text = ui::AddCtrl(panel, NET_LINE_FIRST + pump, ui::CTRL_STRING, "", top,
                                        left + 46, 290, 34);
        text.mode = ui::MODE_INDICATOR;
    }
    closeButton(panel, NET_CLOSE);
}

void BuildCharacteristicsDialog(int panel) {
    SizePanel(panel, kDialogWidth, kDialogHeight, kNormalBack, "Pump Characteristics");
    const int r = HW_CHARACTERISTICS;
    // The keypad takes a number inside a field's range, bounds included; what it lets through
    // ConfirmPlunger checks again (a diameter, stroke, efficiency or gear ratio must be above 0).
    keypadField(panel, r, CHAR_PLUNGERS, "Number of Plungers", 40, 20, 1.0, 10.0, 0, VAL_INTEGER);
    AddButton(panel, CHAR_PRESET_3, "3", 34, 210, 80, kButtonHeight, "PlungerDown");
    AddButton(panel, CHAR_PRESET_5, "5", 34, 300, 80, kButtonHeight, "PlungerUp");
    keypadField(panel, r, CHAR_DIAMETER, "Plunger Diameter (in)", 130, 20, 0.0, 100.0, 3,
                VAL_FLOAT);
    keypadField(panel, r, CHAR_STROKE, "Stroke Length (in)", 130, 210, 0.0, 100.0, 3, VAL_FLOAT);
    keypadField(panel, r, CHAR_EFFICIENCY, "Pump Efficiency", 220, 20, 0.0, 1.2, 3, VAL_FLOAT);
    keypadField(panel, r, CHAR_GEAR_RATIO, "Gear Ratio", 220, 210, 0.0, 1000.0, 3, VAL_FLOAT);
    holdButton(panel, CHAR_SEND, "Send", kDialogHeight - 76, 200, "ConfirmPlunger");
    holdButton(panel, CHAR_OK, "OK", kDialogHeight - 76, 370, "ConfirmPlunger");
    closeButton(panel, CHAR_CLOSE);
    AddTimer(panel, CHAR_TIMER, 0.2, "Plung_Timer");
}

void BuildSpeedDialog(int panel) {
    SizePanel(panel, kDialogWidth, kDialogHeight, kNormalBack, "Motor Speed Control");
    const int r = HW_SPEED;
    keypadField(panel, r, SPD_STEP_SMALL, "Small Step (RPM)", 40, 20, -10000.0, 10000.0, 0,
                VAL_SHORT_INTEGER);
    keypadField(panel, r, SPD_STEP_LARGE, "Large Step (RPM)", 40, 210, -10000.0, 10000.0, 0,
                VAL_SHORT_INTEGER);
    AddCaption(panel, 20, "Steps apply to every pump", 52, 400, 300, 24);
    keypadField(panel, r, SPD_MIN, "Minimum Speed (RPM)", 130, 20, -10000.0, 10000.0, 0,
                VAL_SHORT_INTEGER);
    keypadField(panel, r, SPD_MAX, "Maximum Speed (RPM)", 130, 210, -10000.0, 10000.0, 0,
                VAL_SHORT_INTEGER);
    keypadField(panel, r, SPD_SCALE1, "Scaling 1", 220, 20, -kWide, kWide, 3, VAL_FLOAT);
    keypadField(panel, r, SPD_SCALE2, "Scaling 2", 220, 210, -kWide, kWide, 3, VAL_FLOAT);
    holdButton(panel, SPD_SET, "SET", kDialogHeight - 76, 200, "SetThrottle");
    holdButton(panel, SPD_OK, "OK", kDialogHeight - 76, 370, "SetThrottle");
    closeButton(panel, SPD_CLOSE);
    AddTimer(panel, SPD_TIMER, 0.2, "Throt_Timer");
}

void BuildPumpIdsWindow(int panel) {
    SizePanel(panel, 760, 600, kNormalBack, "Pump Identification");
    for (int pump = 0; pump < 3 * kBankRows; ++pump) {
        const int column = pump / 8, line = pump % 8;
        const int top = 20 + line * 56, left = 20 + column * 245;
        AddCaption(panel, IDS_FIELD_FIRST + 100 + pump, UnitLabel(pump), top + 10, left, 44, 24);
        ui::Control& field =
            ui::AddCtrl(panel, IDS_FIELD_FIRST + pump, ui::CTRL_STRING, "", top, left + 48, 170, 44);
        field.bgColor = ui::VAL_WHITE;
        Attach(panel, field.id, "EditPumpId");  // a tap asks for the new text
    }
    AddButton(panel, IDS_SEND, "Send", 510, 380, 160, kButtonHeight, "SetPumpsID");
    AddButton(panel, IDS_CLOSE, "Close", 510, 570, 160, kButtonHeight, "CloseIDs");
}

}  // namespace windows
