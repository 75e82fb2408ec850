// The detail view ("vnk.uir" window 4): one pump in full, with its gauges, read-outs,
// indicators and commands, and the station's menu bar.
#pragma once

#include <cstdint>

#include "ui/windows/bank_window.h"

namespace windows {

enum DetailCtrl {
    DETAIL_PUMP_LABEL = 2,  // "PUMP 1A"
    DETAIL_PRESSURE_GAUGE = 10,
    DETAIL_OIL_TEMP_GAUGE = 11,
    DETAIL_RATE_GAUGE = 12,
    DETAIL_HP_GAUGE = 13,
    DETAIL_PRESSURE_UNITS = 14,  // the pressure gauge's two unit labels
    DETAIL_PRESSURE_MULT = 15,   // "x1000", hidden in metric
    DETAIL_RATE_UNITS = 16,
    DETAIL_HP_UNITS = 17,
    DETAIL_VOLUME_LABEL = 18,  // "TOTAL BBLS"
    DETAIL_WINDING_A = 20,
    DETAIL_WINDING_B = 21,
    DETAIL_WINDING_C = 22,
    DETAIL_BEARING_DE = 23,
    DETAIL_BEARING_NDE = 24,
    DETAIL_PUMP_RPM = 25,
    DETAIL_RATE = 26,
    DETAIL_HP = 27,
    DETAIL_TOTAL_VOLUME = 28,
    DETAIL_OIL_TEMP = 29,
    DETAIL_DISCHARGE = 30,
    DETAIL_OIL_PRESSURE = 31,
    DETAIL_SUCTION = 32,
    DETAIL_CAPTION_FIRST = 200,  // captions of the gauges and read-outs, 200..229
    DETAIL_LED_PUMP_RPM = 60,    // alarm bit kDetailPumpRpmBit
    DETAIL_LED_AUX_1 = 61,       // alarm bit kDetailAux1Bit
    DETAIL_LED_FAULT = 62,       // fault word nonzero
    DETAIL_LED_AUX_2 = 63,       // alarm bit kDetailAux2Bit
    DETAIL_LED_ANY_ALARM = 64,   // any alarm bit
    DETAIL_POWER_ON = 70,        // shown while the drive is off
    DETAIL_POWER_OFF = 71,       // shown while the drive is on
    DETAIL_OVERRIDE_START = 72,
    DETAIL_OVERRIDE_STOP = 73,
    DETAIL_RESET_ALARMS = 74,
    DETAIL_ZERO_PRESSURE = 75,
    DETAIL_CLEAR_TOTALS = 76,
    DETAIL_PREVIOUS = 77,
    DETAIL_NEXT = 78,
    DETAIL_CLOSE = 79,
    DETAIL_ALL_TRIP = 80,          // hidden field the all-pumps trip keypad edits
    DETAIL_RESET_TIMER = 81,       // ResetTimerCallback, 120 s lock-out
    DETAIL_TRIP_TEXT = 82,         // "Tripped 03:19:02 at 10050 psi: overpressure", while tripped
    DETAIL_VFD_RESET_FIRST = 100,  // 24 drive-reset buttons, 100..123, in descending pump order
};

// The alarm-word bits the three bit indicators show. Their captions are the names the journal
// gives these bits (pumplink::AlarmBitName): a lit indicator and its journal line read alike.
constexpr std::uint16_t kDetailPumpRpmBit = 0x8000;
constexpr std::uint16_t kDetailAux1Bit = 0x0800;
constexpr std::uint16_t kDetailAux2Bit = 0x0400;

// The caption beside an indicator (DETAIL_LED_PUMP_RPM .. DETAIL_LED_ANY_ALARM).
constexpr int DetailLedCaption(int led) {
    return led + 100;
}

// The drive-reset button of pump index 0-23: the last of the 24 belongs to pump 0.
constexpr int DetailVfdResetCtrl(int pump) {
    return DETAIL_VFD_RESET_FIRST + 23 - pump;
}

// The size of a bank window: opened over one (centred on it), the detail view covers it
// wholly, menu bar and all, and fits the screen as it does.
constexpr int kDetailWidth = kBankWidth;
constexpr int kDetailHeight = kBankHeight;

void BuildDetailView(int panel);

}  // namespace windows
