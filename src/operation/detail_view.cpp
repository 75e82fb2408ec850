#include "operation/detail_view.h"

#include <string>

#include "link/decoder.h"
#include "link/live_units.h"
#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/alarm_annunciation.h"
#include "operation/display_ids.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

using namespace windows;

// Start values that no pump index or Tripped value takes, so the first refresh of a pump
// always writes the pressure gauge's colours.
constexpr int kNoColouredPump = -10;
constexpr int kNoColouredTrip = 0xF6;

struct DetailViewState {
    std::uint8_t CurrentPump = kNoPump;
    int colouredPump = kNoColouredPump;  // the pump and Tripped value the gauge's colours show
    int colouredTrip = kNoColouredTrip;
    int refreshCount = 0;  // refreshes since the gauges were last redrawn whole
    bool operator==(const DetailViewState&) const = default;
};
DetailViewState g;
}  // namespace

std::uint8_t& CurrentPump = g.CurrentPump;

namespace {

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}

void setVisible(int control, bool visible) {
    ui::SetCtrlAttribute(DetailPanel, control, ui::ATTR_VISIBLE, visible ? 1 : 0);
}

// Hidden and at once shown again: the view redraws the control whole.
void redraw(int control) {
    setVisible(control, false);
    setVisible(control, true);
}

void setLed(int control, bool on) {
    ui::SetCtrlVal(DetailPanel, control, on ? 1 : 0);
}

void setText(int control, const std::string& text) {
    ui::SetCtrlAttribute(DetailPanel, control, ui::ATTR_LABEL_TEXT, text);
}

void setUnits(int control, const std::string& units) {
    ui::SetCtrlAttribute(DetailPanel, control, ui::ATTR_UNITS_LABEL, units);
}

void setPrecision(int control, int decimals) {
    ui::SetCtrlAttribute(DetailPanel, control, ui::ATTR_PRECISION, decimals);
}

void setRange(int control, double min, double max) {
    ui::SetCtrlAttribute(DetailPanel, control, ui::ATTR_MIN_VALUE, min);
    ui::SetCtrlAttribute(DetailPanel, control, ui::ATTR_MAX_VALUE, max);
}

void colourPressureGauge(bool tripped) {
    const int face = tripped ? ui::VAL_RED : ui::VAL_WHITE;
    const int text = tripped ? ui::VAL_WHITE : ui::VAL_BLACK;
    const int needle = tripped ? ui::VAL_WHITE : ui::VAL_RED;
    ui::SetCtrlAttribute(DetailPanel, DETAIL_PRESSURE_GAUGE, ui::ATTR_TEXT_BGCOLOR, face);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_PRESSURE_GAUGE, ui::ATTR_TEXT_COLOR, text);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_PRESSURE_GAUGE, ui::ATTR_ON_COLOR, needle);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_PRESSURE_UNITS, ui::ATTR_TEXT_COLOR, text);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_PRESSURE_MULT, ui::ATTR_TEXT_COLOR, text);
}

// The pump the view now shows gets its values at once, not on the next refresh: until
// then the view would show the previous pump's numbers under the new pump's title.
void showPump(int pump) {
    CurrentPump = static_cast<std::uint8_t>(pump);
    SetDetailViewPump(pump);
    SendPumpCommand(pump, Op::ReadPumpId);
    if (PumpTable[pump].Online != 0) {
        RefreshDetailView(pump);
        SetDetailViewIndicators(pump);
    }
}

// The next pump on line from CurrentPump in steps of +1 or -1, wrapping round and stopping
// before CurrentPump comes round again; -1 when there is none.
int nextOnline(int step) {
    if (!validPump(CurrentPump)) return -1;
    for (int k = 1; k < kPumpCount; ++k) {
        const int pump = (CurrentPump + step * k + kPumpCount) % kPumpCount;
        if (PumpTable[pump].Online != 0) return pump;
    }
    return -1;
}

// What the pump's trip was: "Tripped 03:19:02 at 10050 psi: overpressure", when the
// station saw it trip; found tripped as it came on line, only the controller's last trip
// pressure is known. Empty while the pump is not tripped.
std::string tripText(int pump) {
    const PumpRecord& r = PumpTable[pump];
    if (r.Tripped == 0 && r.TripWord == 0) return {};
    std::int64_t since = 0;
    for (const journal::Alarm& a : journal::CurrentAlarms())
        if (a.pump == pump && a.kind == journal::Kind::Trip &&
            a.state != journal::AlarmState::ClearedUnacknowledged &&
            (since == 0 || a.raisedMs < since))
            since = a.raisedMs;
    const std::string at = since > 0 ? journal::FormatTime(since).substr(11, 8) + " " : "";
    const std::string psi = PressureText(LiveUs(r, &PumpRecord::LastTripPressure));
    const std::string cause = TripCause(r.TripWord);
    if (TripFoundAtFirstContact(pump))
        return "Found tripped " + at + "(last trip pressure " + psi + "): " + cause;
    return "Tripped " + at + "at " + psi + ": " + cause;
}

int goTo(int event, int step) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int pump = nextOnline(step);
    if (pump >= 0) showPump(pump);
    return 0;
}

}  // namespace

bool DetailViewVisible() {
    return DetailPanel != 0 && ui::GetPanelAttributeInt(DetailPanel, ui::ATTR_PANEL_VISIBLE) != 0;
}

void RefreshDetailView(int pump) {
    if (!validPump(pump) || DetailPanel == 0) return;
    const PumpRecord& r = PumpTable[pump];
    if (pump != g.colouredPump || r.Tripped != g.colouredTrip) {
        colourPressureGauge(r.Tripped != 0);
        g.colouredPump = pump;
        g.colouredTrip = r.Tripped;
    }

    const int p = DetailPanel;
    const double pressure = r.DischargePressure;
    ui::SetCtrlVal(p, DETAIL_OIL_TEMP_GAUGE, static_cast<double>(r.OilTemperature));
    // In US units the gauge reads thousands of psi.
    ui::SetCtrlVal(p, DETAIL_PRESSURE_GAUGE,
                   settings::MetricUnits() ? pressure : pressure / 1000.0);
    ui::SetCtrlVal(p, DETAIL_WINDING_A, static_cast<double>(r.WindingTempA));
    ui::SetCtrlVal(p, DETAIL_WINDING_B, static_cast<double>(r.WindingTempB));
    ui::SetCtrlVal(p, DETAIL_WINDING_C, static_cast<double>(r.WindingTempC));
    ui::SetCtrlVal(p, DETAIL_BEARING_DE, static_cast<double>(r.BearingTempDE));
    ui::SetCtrlVal(p, DETAIL_BEARING_NDE, static_cast<double>(r.BearingTempNDE));
    ui::SetCtrlVal(p, DETAIL_PUMP_RPM, static_cast<double>(r.PumpRpm));
    ui::SetCtrlVal(p, DETAIL_RATE_GAUGE, static_cast<double>(r.PumpRate));
    ui::SetCtrlVal(p, DETAIL_RATE, static_cast<double>(r.PumpRate));
    ui::SetCtrlVal(p, DETAIL_HP_GAUGE, static_cast<double>(r.HydraulicHp));
    ui::SetCtrlVal(p, DETAIL_HP, static_cast<double>(r.HydraulicHp));
    ui::SetCtrlVal(p, DETAIL_TOTAL_VOLUME, static_cast<double>(r.TotalVolume));
    ui::SetCtrlVal(p, DETAIL_OIL_TEMP, static_cast<double>(r.OilTemperature));
    ui::SetCtrlVal(p, DETAIL_DISCHARGE, pressure);
    ui::SetCtrlVal(p, DETAIL_OIL_PRESSURE, static_cast<double>(r.OilPressure));
    ui::SetCtrlVal(p, DETAIL_SUCTION, static_cast<double>(r.SuctionPressure));

    // The gauges are redrawn whole now and then, so a partly repainted face never lasts.
    ++g.refreshCount;
    if (g.refreshCount == 2) {
        redraw(DETAIL_PRESSURE_GAUGE);
    } else if (g.refreshCount == 4) {
        redraw(DETAIL_RATE_GAUGE);
        redraw(DETAIL_HP_GAUGE);
        redraw(DETAIL_PUMP_RPM);
    } else if (g.refreshCount >= 5) {
        g.refreshCount = 0;
    }
}

void SetAlarmColour(int panel, int control, std::uint16_t alarmWord, std::uint16_t bit) {
    const bool alarm = (alarmWord & bit) != 0;
    const int colour = alarm ? ui::VAL_RED : ui::VAL_GREEN;
    if (ui::GetCtrlAttributeInt(panel, control, ui::ATTR_TEXT_COLOR) == colour) return;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_TEXT_COLOR, colour);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_TEXT_BGCOLOR, alarm ? kAlarmBack : kNormalBack);
}

void SetDetailViewIndicators(int pump) {
    if (!validPump(pump) || DetailPanel == 0) return;
    const PumpRecord& r = PumpTable[pump];
    const std::uint16_t alarms = r.AlarmWord;
    setLed(DETAIL_LED_PUMP_RPM, (alarms & kDetailPumpRpmBit) != 0);
    setLed(DETAIL_LED_AUX_1, (alarms & kDetailAux1Bit) != 0);
    setLed(DETAIL_LED_FAULT, r.FaultWord != 0);
    setLed(DETAIL_LED_AUX_2, (alarms & kDetailAux2Bit) != 0);
    setLed(DETAIL_LED_ANY_ALARM, alarms != 0);
    setVisible(DETAIL_POWER_ON, r.VfdOn == 0);
    setVisible(DETAIL_POWER_OFF, r.VfdOn != 0);
    setVisible(DETAIL_OVERRIDE_START, r.StatusFlag2 == 0);
    setVisible(DETAIL_OVERRIDE_STOP, r.StatusFlag2 != 0);

    struct Coloured {
        int control;
        std::uint16_t bit;
    };
    static constexpr Coloured kColoured[] = {
        {DETAIL_BEARING_DE, 0x0002}, {DETAIL_BEARING_NDE, 0x0004}, {DETAIL_SUCTION, 0x0010},
        {DETAIL_DISCHARGE, 0x0020},  {DETAIL_WINDING_A, 0x0040},   {DETAIL_WINDING_B, 0x0080},
        {DETAIL_WINDING_C, 0x0100},  {DETAIL_OIL_TEMP, 0x1000},    {DETAIL_OIL_PRESSURE, 0x2000},
        {DETAIL_PUMP_RPM, 0x4000},
    };
    for (const Coloured& c : kColoured) SetAlarmColour(DetailPanel, c.control, alarms, c.bit);

    const int fill = (alarms & 0x1000) != 0 ? ui::VAL_RED : ui::VAL_GREEN;
    if (ui::GetCtrlAttributeInt(DetailPanel, DETAIL_OIL_TEMP_GAUGE, ui::ATTR_TEXT_BGCOLOR) != fill)
        ui::SetCtrlAttribute(DetailPanel, DETAIL_OIL_TEMP_GAUGE, ui::ATTR_TEXT_BGCOLOR, fill);

    const std::string trip = tripText(pump);
    if (ui::GetCtrlText(DetailPanel, DETAIL_TRIP_TEXT) != trip)
        ui::SetCtrlVal(DetailPanel, DETAIL_TRIP_TEXT, trip);
    setVisible(DETAIL_TRIP_TEXT, !trip.empty());
    // A reset reaches the pump's whole group: the button says so.
    std::string reset = "Reset Alarms";
    if (r.PumpGroup != kNoGroup) {
        int n = 0;  // what a group's press reaches: its members on line
        for (int p = 0; p < kPumpCount; ++p)
            n += PumpTable[p].PumpGroup == r.PumpGroup && PumpTable[p].Online != 0 ? 1 : 0;
        reset += " (Group " + std::to_string(r.PumpGroup) + ": " + std::to_string(n) +
                 (n == 1 ? " pump)" : " pumps)");
    }
    if (ui::GetCtrlAttributeText(DetailPanel, DETAIL_RESET_ALARMS, ui::ATTR_LABEL_TEXT) != reset)
        setText(DETAIL_RESET_ALARMS, reset);
}

void SetDetailViewPump(int pump) {
    if (!validPump(pump) || DetailPanel == 0) return;
    const std::string unit = UnitLabel(pump);
    ui::SetPanelAttribute(DetailPanel, ui::ATTR_TITLE, "Pump " + unit);
    setText(DETAIL_PUMP_LABEL, "PUMP " + unit);
    for (int p = 0; p < kPumpCount; ++p) setVisible(DetailVfdResetCtrl(p), p == pump);
}

void ShowDetailUnits() {
    if (DetailPanel == 0) return;
    const bool m = settings::MetricUnits();
    const std::string pressure = m ? "MPa" : "PSI";
    const std::string rate = settings::RateUnitsText();
    const std::string power = settings::PowerUnitsText();
    setText(DETAIL_PRESSURE_UNITS, pressure);
    setText(DETAIL_RATE_UNITS, rate);
    setText(DETAIL_HP_UNITS, power);
    setText(DETAIL_VOLUME_LABEL, m ? "TOTAL m3" : "TOTAL BBLS");
    setVisible(DETAIL_PRESSURE_MULT, !m);
    setRange(DETAIL_OIL_TEMP_GAUGE, m ? -20.0 : 0.0, m ? 120.0 : 250.0);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_PRESSURE_GAUGE, ui::ATTR_MAX_VALUE, m ? 120.0 : 16.0);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_RATE_GAUGE, ui::ATTR_MAX_VALUE, m ? 10.0 : 18.0);
    ui::SetCtrlAttribute(DetailPanel, DETAIL_HP_GAUGE, ui::ATTR_MAX_VALUE, m ? 1400.0 : 1900.0);
    setPrecision(DETAIL_DISCHARGE, m ? 2 : 0);
    setPrecision(DETAIL_RATE, m ? 2 : 1);
    setPrecision(DETAIL_OIL_PRESSURE, m ? 0 : 1);
    setPrecision(DETAIL_SUCTION, m ? 0 : 1);

    // The read-outs carry their own unit texts: they follow too, or a metric value would
    // be shown as degrees Fahrenheit or psi.
    const std::string temperature = m ? "degC" : "degF";
    for (int c : {DETAIL_WINDING_A, DETAIL_WINDING_B, DETAIL_WINDING_C, DETAIL_BEARING_DE,
                  DETAIL_BEARING_NDE, DETAIL_OIL_TEMP})
        setUnits(c, temperature);
    setUnits(DETAIL_DISCHARGE, pressure);
    setUnits(DETAIL_OIL_PRESSURE, m ? "kPa" : "PSI");
    setUnits(DETAIL_SUCTION, m ? "kPa" : "PSI");
    setUnits(DETAIL_RATE, rate);
    setUnits(DETAIL_HP, power);
}

void DisplayCenteredPanel(int reference, int panel) {
    using ui::GetPanelAttributeInt;
    const int top = GetPanelAttributeInt(reference, ui::ATTR_PANEL_TOP) +
                    GetPanelAttributeInt(reference, ui::ATTR_PANEL_HEIGHT) / 2 -
                    GetPanelAttributeInt(panel, ui::ATTR_PANEL_HEIGHT) / 2;
    const int left = GetPanelAttributeInt(reference, ui::ATTR_PANEL_LEFT) +
                     GetPanelAttributeInt(reference, ui::ATTR_PANEL_WIDTH) / 2 -
                     GetPanelAttributeInt(panel, ui::ATTR_PANEL_WIDTH) / 2;
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_TOP, top);
    ui::SetPanelAttribute(panel, ui::ATTR_PANEL_LEFT, left);
    ui::DisplayPanel(panel);
}

void CloseDetailView() {
    if (DetailPanel != 0) ui::HidePanel(DetailPanel);
    CurrentPump = kNoPump;
}

int Display_Pump_Panel(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || DetailPanel == 0) return 0;
    const int pump = PumpOfRowCtrl(panel, control, kPosDetail);
    if (pump < 0) return 0;
    ShowDetailUnits();
    showPump(pump);
    platform::ProcessDrawEvents();
    // Over the bank window it was opened from, and filling the screen as that does (the
    // bank windows are maximised on a screen of 1024 pixels or less).
    ui::SetPanelAttribute(DetailPanel, ui::ATTR_WINDOW_ZOOM,
                          ui::GetPanelAttributeInt(panel, ui::ATTR_WINDOW_ZOOM));
    DisplayCenteredPanel(panel, DetailPanel);
    return 0;
}

int GoToNextPump(int, int, int event, void*, int, int) {
    return goTo(event, +1);
}

int GoToPreviousPump(int, int, int event, void*, int, int) {
    return goTo(event, -1);
}

int Close_Current_Pump(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    CloseDetailView();
    return 0;
}

void ResetDetailView() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, detail_view, g, ResetDetailView)

}  // namespace operation
