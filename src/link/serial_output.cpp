#include "link/serial_output.h"

#include <cstdio>
#include <cstring>

#include "link/comcfg.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/serial.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace pumplink {

namespace {

int displayUnits() {
    const LinkHooks& hooks = GetLinkHooks();
    return hooks.displayUnits ? hooks.displayUnits() : 0;
}

}  // namespace

void SerialWrite(const char* text) {
    int port = PumpTable[kOutputEntry].ComPort;
    if (port == 0 || text == nullptr) return;
    platform::ComWrt(port, reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

void SerialOutputLine() {
    PumpRecord& out = PumpTable[kOutputEntry];
    if (out.ComPort == 0 || PortConfig[kOutputEntry].Mode != 1) return;
    // Discharge pressure: whole psi, or MPa with two decimals.
    const int pressureDecimals = displayUnits() == 1 ? 2 : 0;
    SetTxLed(1);
    char* buf = out.TextBuffer;
    const size_t size = sizeof out.TextBuffer;
    std::snprintf(buf, size, "%s", platform::TimeStr());
    SerialWrite(buf);
    for (int pump = 0; pump < kPumpCount; ++pump) {
        const PumpRecord& r = PumpTable[pump];
        if (!r.Online) continue;
        std::snprintf(buf, size, ",%.0f,", static_cast<double>(r.MotorRpm));
        SerialWrite(buf);
        std::snprintf(
            buf, size, "%.*f%s%.0f%s%3.1f%s%.0f%s%3.1f%s%.0f%s%3.1f%s%.0f", pressureDecimals,
            static_cast<double>(r.DischargePressure), ",", static_cast<double>(r.HydraulicHp), ",",
            static_cast<double>(r.OilPressure), ",", static_cast<double>(r.OilTemperature), ",",
            static_cast<double>(r.SuctionPressure), ",", static_cast<double>(r.PumpRpm), ",",
            static_cast<double>(r.PumpRate), ",", static_cast<double>(r.TotalVolume));
        SerialWrite(buf);
    }
    SerialWrite("\r\n");
}

void SetTxLed(int on) {
    int monitor = SerialMonitorPanel();
    if (monitor == 0) return;
    int led = PortConfig[kOutputEntry].RxLed;  // the output entry's receive lamp shows transmit
    if (!on) {
        ui::SetCtrlVal(monitor, led, 0);
    } else if (ui::GetCtrlInt(monitor, PortConfig[kOutputEntry].OpenLed) != 0) {
        ui::SetCtrlVal(monitor, led, 1);
        const PortTimers& timers = GetPortTimers();
        if (timers.panel != 0)
            ui::SetCtrlAttribute(timers.panel, timers.txFlash, ui::ATTR_ENABLED, 1);
    }
    platform::ProcessDrawEvents();
}

int TxTimerTick(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    SetTxLed(0);
    return 0;
}

void BindSerialOutputCallbacks() {
    windows::BindCtrlCallback("TxTimerTick", TxTimerTick);
}

}  // namespace pumplink
