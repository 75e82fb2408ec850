#include "link/serial_output.h"

#include <cstdio>
#include <cstring>

#include "link/pump_session.h"
#include "link/pump_table.h"
#include "platform/event_loop.h"
#include "platform/serial.h"

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
    if (out.ComPort == 0 || PumpTable[kOutputEntry].PortConfig.Mode != 1) return;
    // Discharge pressure: whole psi, or MPa with two decimals.
    const int pressureDecimals = displayUnits() == 1 ? 2 : 0;
    if (GetLinkHooks().outputSent) GetLinkHooks().outputSent();
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

}  // namespace pumplink
