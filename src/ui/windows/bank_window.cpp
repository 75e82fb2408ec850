#include "ui/windows/bank_window.h"

#include <string>

#include "ui/ui_model.h"
#include "ui/windows/banner.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

// The fleet banner across the top; right under it the header's captions (at kHeaderTop + 20)
// and fields (kHeaderTop + 38), then the column captions and the rows.
constexpr int kHeaderTop = kBankBannerArea.top + kBankBannerArea.height + 1 - 20;
constexpr int kColumnCaptionTop = kHeaderTop + 63;
constexpr int kFirstRowTop = kColumnCaptionTop + 18;
constexpr int kRowHeight = 66;
constexpr int kStopLeft = 636;
constexpr int kStopWidth = 60;
constexpr int kFooterTop = kFirstRowTop + kBankRows * kRowHeight + 4;
constexpr int kPumpButtonsLeft = 942;  // Detail and Config
constexpr int kPumpButtonsWidth = 70;

ui::Control& rowButton(int panel, int row, int position, const std::string& label, int top,
                       int left, int width, int height, const char* callback) {
    return AddButton(panel, BankRowCtrl(row, position), label, top, left, width, height, callback);
}

void buildRow(int panel, int row) {
    const int y = kFirstRowTop + row * kRowHeight;
    const int top = y + 3;      // upper half of the row
    const int bottom = y + 34;  // lower half
    const int half = 29;        // the height of a half's fields

    // Behind everything else of the row.
    ui::Control& frame = ui::AddCtrl(panel, BankRowCtrl(row, kPosRowFrame), ui::CTRL_DECORATION, "",
                                     y + 1, 2, kBankWidth - 4, kRowHeight - 2);
    frame.bgColor = kNormalBack;
    frame.textColor = ui::VAL_LT_GRAY;

    ui::Control& label =
        AddCaption(panel, BANK_POSITION_LABEL + row, UnitLabel(row), y + 22, 6, 40, 24);
    label.textColor = ui::VAL_YELLOW;

    ui::Control& id =
        ui::AddCtrl(panel, BankRowCtrl(row, kPosPumpId), ui::CTRL_STRING, "", top, 48, 100, half);
    id.mode = ui::MODE_INDICATOR;
    id.bgColor = kNormalBack;
    id.textColor = kCaptionText;
    Attach(panel, id.id, "SetPumpIds");  // a tap opens the identification window

    ui::AddCtrl(panel, BankRowCtrl(row, kPosGroup), ui::CTRL_RING, "", bottom, 48, 100, half);
    ui::InsertListItem(panel, BankRowCtrl(row, kPosGroup), -1, "No Group", kGroupNone);
    for (int g = 0; g < 16; ++g)
        ui::InsertListItem(panel, BankRowCtrl(row, kPosGroup), -1, "Group " + std::to_string(g), g);
    Attach(panel, BankRowCtrl(row, kPosGroup), "SelPumpGroup");

    ui::AddCtrl(panel, BankRowCtrl(row, kPosAuto), ui::CTRL_CHECKBOX, "Auto", y + 11, 152, 60, 44);
    Attach(panel, BankRowCtrl(row, kPosAuto), "SelectAuto");

    // The power switch pair: only the one for the reported drive state is shown.
    ui::Control& on = ui::AddCtrl(panel, BankRowCtrl(row, kPosPowerOn), ui::CTRL_TOGGLE_BUTTON,
                                  "Power On", top, 216, 64, 45);
    on.offColor = ui::VAL_DK_GRAY;
    Attach(panel, on.id, "PowerSwitchOn");
    ui::Control& off = ui::AddCtrl(panel, BankRowCtrl(row, kPosPowerOff), ui::CTRL_TOGGLE_BUTTON,
                                   "Power Off", top, 216, 64, 45);
    off.number = 1;
    off.visible = false;
    Attach(panel, off.id, "PowerSwitchOff");
    ui::Control& power =
        AddCaption(panel, BankRowCtrl(row, kPosPowerText), "OFF", y + 48, 216, 64, 16);
    power.textColor = ui::VAL_YELLOW;

    AddReadout(panel, BankRowCtrl(row, kPosMotorRpm), "", top, 284, 84, half, -1.0, 10000.0, 0);
    ui::Control& bar = ui::AddCtrl(panel, BankRowCtrl(row, kPosSetpointBar), ui::CTRL_SLIDE, "",
                                   bottom + 4, 284, 84, 20);
    bar.minValue = 0.0;
    bar.maxValue = 100.0;
    bar.precision = 0;
    bar.mode = ui::MODE_INDICATOR;
    AddCaption(panel, BankRowCtrl(row, kPosRpmCaption), "RPM", top + 6, 372, 36, 20);

    // The speed buttons and STOP span the row: 58 pixels high for a finger.
    const int buttonTop = y + 4;
    const int buttonHeight = kRowHeight - 8;
    rowButton(panel, row, kPosStepUpLarge, "++", buttonTop, 412, 52, buttonHeight, "Change_RPMs");
    rowButton(panel, row, kPosStepUpSmall, "+", buttonTop, 468, 52, buttonHeight, "Change_RPMs");
    rowButton(panel, row, kPosStepDownSmall, "-", buttonTop, 524, 52, buttonHeight, "Change_RPMs");
    rowButton(panel, row, kPosStepDownLarge, "--", buttonTop, 580, 52, buttonHeight, "Change_RPMs");
    ui::Control& stop = rowButton(panel, row, kPosStop, "STOP", buttonTop, kStopLeft, kStopWidth,
                                  buttonHeight, "Change_RPMs");
    stop.bgColor = ui::VAL_RED;
    stop.textColor = ui::VAL_WHITE;

    ui::Control& pressure = AddReadout(panel, BankRowCtrl(row, kPosDischarge), "", top, 700, 90,
                                       half, -1000.0, 60000.0, 0);
    pressure.unitsLabel = "PSI";
    pressure.bgColor = ui::VAL_WHITE;
    pressure.textColor = ui::VAL_BLACK;
    // The discharge pressure as a share of the trip point, said on the field itself.
    ui::Control& percent = AddReadout(panel, BankRowCtrl(row, kPosPercent), "", bottom, 700, 90,
                                      half, -10000.0, 10000.0, 0);
    percent.unitsLabel = "% of trip";
    ui::Control& percentCaption =
        AddCaption(panel, BankRowCtrl(row, kPosPercentCaption), "", bottom + 5, 762, 26, 20);
    percentCaption.visible = false;

    // The set-trip keypad edits this field; the pump's trip point arrives in it later.
    ui::Control& trip = AddReadout(panel, BankRowCtrl(row, kPosTrip), "Trip", top, 794, 76, half,
                                   kTripMin, kTripMax, 0);
    trip.number = kTripMin;  // until the pump reports its own
    trip.unitsLabel = "PSI";
    rowButton(panel, row, kPosSetTrip, "Set Trip", bottom, 794, 76, 30,
              "Set_Overpressure_Trip_Point");

    ui::Control& rate =
        AddReadout(panel, BankRowCtrl(row, kPosRate), "", top, 874, 64, half, -1.0, 1000.0, 1);
    rate.unitsLabel = "bbl/min";
    ui::Control& fault =
        ui::AddCtrl(panel, BankRowCtrl(row, kPosFault), ui::CTRL_LED, "F", bottom + 1, 876, 28, 28);
    fault.onColor = ui::VAL_RED;
    fault.mode = ui::MODE_INDICATOR;
    ui::Control& alarm =
        ui::AddCtrl(panel, BankRowCtrl(row, kPosAlarm), ui::CTRL_LED, "A", bottom + 1, 908, 28, 28);
    alarm.onColor = ui::VAL_YELLOW;
    alarm.mode = ui::MODE_INDICATOR;

    rowButton(panel, row, kPosDetail, "Detail", top, kPumpButtonsLeft, kPumpButtonsWidth, 30,
              "Display_Pump_Panel");
    rowButton(panel, row, kPosConfigure, "Config", bottom, kPumpButtonsLeft, kPumpButtonsWidth, 30,
              "Display_Hardware_Panel");

    // Every pump is off line until its controller answers.
    for (int position = 0; position < kRowPositions; ++position)
        ui::SetCtrlAttribute(panel, BankRowCtrl(row, position), ui::ATTR_DIMMED, 1);
}

void buildHeader(int panel) {
    int c = BANK_CAPTION_FIRST;
    AddCaption(panel, BANK_TITLE, "VNK PC", kBankBannerArea.top + 7, 8, 200, 20);
    AddFleetBanner(panel, kBankBannerArea);
    AddCaption(panel, c++, "Trellmix PC", kHeaderTop + 20, 8, 200, 18);
    ui::Control& blender =
        ui::AddCtrl(panel, BANK_BLENDER_STATUS, ui::CTRL_STRING, "", kHeaderTop + 38, 8, 200, 24);
    blender.text = "Not Connected";
    blender.mode = ui::MODE_INDICATOR;

    ui::Control& caption =
        AddCaption(panel, BANK_TARGET_CAPTION, "Target BPM :", kHeaderTop + 38, 216, 100, 24);
    caption.visible = false;
    ui::Control& target =
        AddReadout(panel, BANK_TARGET_VALUE, "", kHeaderTop + 38, 318, 90, 24, -1.0, 20000.0, 2);
    target.visible = false;

    AddCaption(panel, c++, "Recorder", kHeaderTop + 20, 420, 160, 18);
    ui::Control& record =
        ui::AddCtrl(panel, BANK_RECORD_STATUS, ui::CTRL_STRING, "", kHeaderTop + 38, 420, 160, 24);
    record.text = "Recorder Off";
    record.mode = ui::MODE_INDICATOR;
    // The running stage, beside the recorder on the captions' line, which is free there.
    ui::Control& stage = AddCaption(panel, BANK_STAGE_STATUS, "", kHeaderTop + 18, 216, 200, 20);
    stage.textColor = ui::VAL_YELLOW;
    stage.visible = false;

    AddStatusLine(panel, BANK_ESTOP_STATUS, kHeaderTop + 38, 216, 196, 24, ui::VAL_WHITE,
                  ui::VAL_RED)
        .text = "E-STOP INPUT FAILED";

    struct Fleet {
        int id;
        const char* caption;
        const char* units;
        double max;
        int precision;
    };
    const Fleet fleet[] = {
        {BANK_AVG_PRESSURE, "Avg Discharge", "PSI", 60000.0, 0},
        {BANK_TOTAL_RATE, "Total Rate", "bbl/min", 5000.0, 1},
        {BANK_TOTAL_VOLUME, "Total Volume", "BBL", 1e9, 0},
        {BANK_TOTAL_HHP, "Total HHP", "hhp", 1e6, 0},
    };
    for (int i = 0; i < 4; ++i) {
        int left = 596 + i * 104;
        AddCaption(panel, c++, fleet[i].caption, kHeaderTop + 20, left, 100, 18);
        ui::Control& v = AddReadout(panel, fleet[i].id, "", kHeaderTop + 38, left, 100, 24, -1000.0,
                                    fleet[i].max, fleet[i].precision);
        v.unitsLabel = fleet[i].units;
    }

    struct Column {
        const char* text;
        int left;
        int width;
    };
    const Column columns[] = {
        {"Pump", 4, 44},
        {"ID / Group", 48, 100},
        {"Auto", 152, 60},
        {"Power", 216, 64},
        {"Motor", 284, 84},
        {"Speed", 412, 220},
        {"Stop", kStopLeft, kStopWidth},
        {"Discharge", 700, 90},
        {"Trip", 794, 76},
        {"Rate", 874, 64},
        {"Pump", kPumpButtonsLeft, kPumpButtonsWidth},
    };
    for (const Column& col : columns)
        AddCaption(panel, c++, col.text, kColumnCaptionTop, col.left, col.width, 16);
}

void buildFooter(int panel) {
    for (int i = 0; i < BANK_STATS_COUNT; ++i) {
        ui::Control& s = ui::AddCtrl(panel, BANK_STATS_FIRST + i, ui::CTRL_STRING, "",
                                     kFooterTop + 20, 8 + i * 112, 108, 24);
        s.mode = ui::MODE_INDICATOR;
        s.visible = false;  // shown with the statistics start-up option
    }
    // Which pumps the fleet values count: under the rows, as the banner takes the top line.
    // A refusal line, shown for a few seconds, covers it.
    AddCaption(panel, BANK_FLEET_SCOPE, "", kFooterTop + 1, 8, 776, 18);
    AddStatusLine(panel, BANK_REMOTE_STATUS, kFooterTop + 44, 8, 776, 24, ui::VAL_BLACK, 0xFFB000);
    // Why a press raised nothing, for a few seconds; never a box to close.
    AddStatusLine(panel, BANK_REFUSAL, kFooterTop + 1, 8, 776, 36, ui::VAL_BLACK, ui::VAL_YELLOW);
    ui::Control& allTrip = AddNumeric(panel, BANK_ALL_TRIP, "All Trip Points", kFooterTop + 20, 792,
                                      100, 24, kTripMin, kTripMax, 0);
    allTrip.number = kTripMin;
    allTrip.visible = false;
    ui::Control& exit =
        ui::AddCtrl(panel, BANK_EXIT, ui::CTRL_COMMAND_BUTTON, "Exit", kFooterTop + 8, 908, 96, 60);
    exit.bgColor = ui::VAL_LT_GRAY;
    Attach(panel, BANK_EXIT, "Quit_App");
    ui::Control& alarms =
        AddButton(panel, BANK_ALARMS, "No Alarms", kFooterTop + 8, 792, 108, 60, "ShowJournal");
    alarms.bgColor = ui::VAL_LT_GRAY;
}

}  // namespace

std::string UnitLabel(int pump) {
    if (pump < 0 || pump >= 3 * kBankRows) return {};
    const int n = pump + 1;
    return std::to_string((n + 1) / 2) + (n % 2 == 1 ? "A" : "B");
}

std::string PumpName(int pump) {
    return "Pump " + UnitLabel(pump);
}

std::string PumpChoiceName(int pump) {
    return PumpName(pump) + " (" + std::to_string(pump + 1) + ")";
}

void BuildBankWindow(int panel) {
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_WIDTH, kBankWidth);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_HEIGHT, kBankHeight);
    ui::SetPanelAttribute(panel, ui::ATTR_BACKCOLOR, kNormalBack);
    ui::SetPanelAttribute(panel, ui::ATTR_TITLE, std::string("Pumps"));
    ui::SetPanelAttribute(panel, ui::ATTR_MAIN_WINDOW, 1);
    // No dialog opens over the STOP buttons.
    ui::AddPanelKeepClear(panel, {kStopLeft, kFirstRowTop, kStopWidth, kBankRows * kRowHeight});
    BuildStationMenuBar(panel);
    buildHeader(panel);
    for (int row = 0; row < kBankRows; ++row) buildRow(panel, row);
    buildFooter(panel);
    for (const TimerDef& t : kBankTimers) AddTimer(panel, t.id, t.interval, t.callback);
    for (int row = 0; row < kBankRows; ++row) {
        DeclareDataType(kVnkUir, VNK_BANK, BankRowCtrl(row, kPosTrip), VAL_FLOAT);
        DeclareDataType(kVnkUir, VNK_BANK, BankRowCtrl(row, kPosMotorRpm), VAL_FLOAT);
        DeclareDataType(kVnkUir, VNK_BANK, BankRowCtrl(row, kPosDischarge), VAL_FLOAT);
        DeclareDataType(kVnkUir, VNK_BANK, BankRowCtrl(row, kPosRate), VAL_FLOAT);
    }
    DeclareDataType(kVnkUir, VNK_BANK, BANK_ALL_TRIP, VAL_FLOAT);
}

}  // namespace windows
