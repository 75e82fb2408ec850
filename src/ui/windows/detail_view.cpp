#include "ui/windows/detail_view.h"

#include <string>

#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/banner.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

namespace windows {

namespace {

constexpr int kGaugeTop = 56;
constexpr int kGaugeSize = 230;
constexpr int kGridTop = 340;
constexpr int kGridStep = 38;

void gauge(int panel, int id, const char* caption, int captionId, int left, double max,
           int precision) {
    AddCaption(panel, captionId, caption, kGaugeTop - 20, left, kGaugeSize, 18);
    ui::Control& g =
        ui::AddCtrl(panel, id, ui::CTRL_GAUGE, "", kGaugeTop, left, kGaugeSize, kGaugeSize);
    g.minValue = 0.0;
    g.maxValue = max;
    g.precision = precision;
    g.mode = ui::MODE_INDICATOR;
    g.bgColor = ui::VAL_WHITE;  // the face
    g.textColor = ui::VAL_BLACK;
    g.onColor = ui::VAL_RED;  // the needle
}

struct Readout {
    int id;
    const char* caption;
    const char* units;
    double min, max;
    int precision;
};

void readoutColumn(int panel, int& captionId, const Readout* items, int count, int left) {
    for (int i = 0; i < count; ++i) {
        int top = kGridTop + i * kGridStep;
        AddCaption(panel, captionId++, items[i].caption, top + 6, left, 150, 20);
        ui::Control& c = AddReadout(panel, items[i].id, "", top, left + 152, 96, 32, items[i].min,
                                    items[i].max, items[i].precision);
        c.unitsLabel = items[i].units;
    }
}

// This window's buttons are 150 x 48 unless it says otherwise.
ui::Control& button(int panel, int id, const char* label, int top, int left, const char* callback,
                    int width = 150, int height = 48) {
    return AddButton(panel, id, label, top, left, width, height, callback);
}

}  // namespace

void BuildDetailView(int panel) {
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_WIDTH, kDetailWidth);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_HEIGHT, kDetailHeight);
    ui::SetPanelAttribute(panel, ui::ATTR_BACKCOLOR, kNormalBack);
    ui::SetPanelAttribute(panel, ui::ATTR_TITLE, std::string("Pump 1A"));
    ui::SetPanelAttribute(panel, ui::ATTR_MAIN_WINDOW, 1);
    BuildStationMenuBar(panel);

    int caption = DETAIL_CAPTION_FIRST;
    ui::Control& label =
        AddCaption(panel, DETAIL_PUMP_LABEL, "PUMP 1A", 4, 16, kDetailBannerArea.left - 24, 28);
    label.textColor = ui::VAL_YELLOW;
    AddFleetBanner(panel, kDetailBannerArea);

    gauge(panel, DETAIL_PRESSURE_GAUGE, "Discharge Pressure", caption++, 16, 16.0, 1);
    gauge(panel, DETAIL_OIL_TEMP_GAUGE, "Oil Temperature", caption++, 270, 250.0, 0);
    gauge(panel, DETAIL_RATE_GAUGE, "Rate", caption++, 524, 18.0, 1);
    gauge(panel, DETAIL_HP_GAUGE, "Hydraulic Power", caption++, 778, 1900.0, 0);
    const int unitsTop = kGaugeTop + kGaugeSize + 4;
    // The pressure gauge's unit labels sit on its face, whose colour follows the pump's trip.
    const int faceTop = kGaugeTop + kGaugeSize * 78 / 100;
    AddCaption(panel, DETAIL_PRESSURE_UNITS, "PSI", faceTop, 16 + kGaugeSize / 2 - 46, 42, 18);
    AddCaption(panel, DETAIL_PRESSURE_MULT, "x1000", faceTop, 16 + kGaugeSize / 2 + 2, 52, 18);
    AddCaption(panel, DETAIL_RATE_UNITS, "bbl/min", unitsTop, 524, 110, 20);
    AddCaption(panel, DETAIL_HP_UNITS, "hhp", unitsTop, 778, 110, 20);
    // Below the pressure and temperature gauges, while the pump is tripped.
    AddStatusLine(panel, DETAIL_TRIP_TEXT, unitsTop + 2, 16, 492, 40, ui::VAL_WHITE, ui::VAL_RED);

    const Readout temperatures[] = {
        {DETAIL_WINDING_A, "Winding A", "degF", -100.0, 1000.0, 1},
        {DETAIL_WINDING_B, "Winding B", "degF", -100.0, 1000.0, 1},
        {DETAIL_WINDING_C, "Winding C", "degF", -100.0, 1000.0, 1},
        {DETAIL_BEARING_DE, "DE Bearing", "degF", -100.0, 1000.0, 1},
        {DETAIL_BEARING_NDE, "NDE Bearing", "degF", -100.0, 1000.0, 1},
        {DETAIL_OIL_TEMP, "Oil Temperature", "degF", -100.0, 1000.0, 0},
    };
    readoutColumn(panel, caption, temperatures, 6, 16);
    const Readout process[] = {
        {DETAIL_DISCHARGE, "Discharge", "PSI", -1000.0, 60000.0, 0},
        {DETAIL_SUCTION, "Suction", "PSI", -1000.0, 10000.0, 1},
        {DETAIL_OIL_PRESSURE, "Oil Pressure", "PSI", -1000.0, 10000.0, 1},
        {DETAIL_PUMP_RPM, "Pump Speed", "RPM", -1.0, 10000.0, 0},
        {DETAIL_RATE, "Rate", "bbl/min", -1.0, 1000.0, 1},
        {DETAIL_HP, "Hydraulic Power", "hhp", -1.0, 100000.0, 0},
    };
    readoutColumn(panel, caption, process, 6, 290);
    // The total volume's caption is its own control: its text follows the units.
    const int volumeTop = kGridTop + 6 * kGridStep;
    AddCaption(panel, DETAIL_VOLUME_LABEL, "TOTAL BBLS", volumeTop + 6, 290, 150, 20);
    AddReadout(panel, DETAIL_TOTAL_VOLUME, "", volumeTop, 442, 96, 32, -1.0, 1e9, 0);

    struct Led {
        int id;
        const char* caption;
        int on;
    };
    // Bits 0x0800 and 0x0400 mean nothing the station knows of: they are named by their value.
    const Led leds[] = {
        {DETAIL_LED_PUMP_RPM, "Pump RPM", ui::VAL_RED},
        {DETAIL_LED_AUX_1, "Alarm bit 0x0800", ui::VAL_RED},
        {DETAIL_LED_FAULT, "Shutdown Fault", ui::VAL_RED},
        {DETAIL_LED_AUX_2, "Alarm bit 0x0400", ui::VAL_RED},
        {DETAIL_LED_ANY_ALARM, "Any Alarm", ui::VAL_YELLOW},
    };
    for (int i = 0; i < 5; ++i) {
        int top = kGridTop + i * kGridStep;
        ui::Control& led = ui::AddCtrl(panel, leds[i].id, ui::CTRL_LED, "", top, 570, 30, 30);
        led.onColor = leds[i].on;
        led.mode = ui::MODE_INDICATOR;
        AddCaption(panel, DetailLedCaption(leds[i].id), leds[i].caption, top + 6, 606, 140, 20);
    }

    // Commands, right-hand column; each pair shares one place and shows one of the two.
    const int cmdLeft = 752;
    ui::Control& on =
        button(panel, DETAIL_POWER_ON, "Power On", kGridTop, cmdLeft, "ZoomedPowerSwitchOn");
    on.bgColor = ui::VAL_GREEN;
    ui::Control& off =
        button(panel, DETAIL_POWER_OFF, "Power Off", kGridTop, cmdLeft, "ZoomedPowerSwitchOff");
    off.bgColor = ui::VAL_RED;
    off.visible = false;
    button(panel, DETAIL_OVERRIDE_START, "Override Shutdown", kGridTop, cmdLeft + 158,
           "OverrideShutdown", 100);
    ui::Control& stopOverride = button(panel, DETAIL_OVERRIDE_STOP, "Stop Override", kGridTop,
                                       cmdLeft + 158, "StopOverride", 100);
    stopOverride.visible = false;
    button(panel, DETAIL_RESET_ALARMS, "Reset Alarms", kGridTop + 56, cmdLeft, "ResetAlarms");
    button(panel, DETAIL_ZERO_PRESSURE, "Zero Pressure", kGridTop + 112, cmdLeft,
           "Zero_Discharge_Pressure");
    button(panel, DETAIL_CLEAR_TOTALS, "Clear Total", kGridTop + 168, cmdLeft, "Clear_Totals");
    for (int pump = 0; pump < 24; ++pump) {
        ui::Control& reset = button(panel, DetailVfdResetCtrl(pump), "Reset VFD", kGridTop + 56,
                                    cmdLeft + 158, "ResetVfdFault", 100, 104);
        reset.visible = false;  // only the shown pump's button appears
    }

    const int navTop = kDetailHeight - 64;
    button(panel, DETAIL_PREVIOUS, "< Previous", navTop, 16, "GoToPreviousPump");
    button(panel, DETAIL_NEXT, "Next >", navTop, 176, "GoToNextPump");
    button(panel, DETAIL_CLOSE, "Close", navTop, kDetailWidth - 166, "Close_Current_Pump");

    ui::Control& allTrip = AddNumeric(panel, DETAIL_ALL_TRIP, "All Trip Points", navTop, 400, 100,
                                      24, kTripMin, kTripMax, 0);
    allTrip.number = kTripMin;
    allTrip.visible = false;
    DeclareDataType(kVnkUir, VNK_DETAIL, DETAIL_ALL_TRIP, VAL_FLOAT);
    AddTimer(panel, DETAIL_RESET_TIMER, 120.0, "ResetTimerCallback");
}

}  // namespace windows
