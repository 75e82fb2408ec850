#include "pumpsim_report.h"

#include <cstdio>

namespace pumpsim {

const char* handlingName(Handling h) {
    switch (h) {
        case Handling::Data:
            return "data";
        case Handling::Ack:
            return "ack";
        case Handling::Echo:
            return "echo";
        case Handling::Ignored:
            break;
    }
    return "none";
}

std::string commandLogLine(const ReceivedCommand& c) {
    const Packet& p = c.packet;
    char buf[96];
    std::snprintf(buf, sizeof buf, "t=%.3f pump=%d type=%d code=0x%02x arg=%d data=", c.at,
                  c.unit + 1, p.type, p.code, p.arg1);
    std::string line = buf;
    if (p.data.empty()) line += '-';
    for (uint8_t b : p.data) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        line += buf;
    }
    if (p.type == kTypeCommand && p.code == kCmdSpeed && p.data.size() >= 3) {
        std::snprintf(buf, sizeof buf, " rpm=%d run=%d setpoint=%d", getI16(p.data, 0), p.data[2],
                      c.setpoint);
        line += buf;
    }
    line += " reply=";
    line += handlingName(c.handling);
    line += '\n';
    return line;
}

namespace {

// A station can decode this unit's data replies: they are sent, whole, with a good CRC.
bool lineOk(const Failure& f) {
    return !(f.silent || f.corruptCrc || f.shortDataRecord || f.hangUp || f.unplugged);
}

double f32(std::span<const uint8_t> b, size_t at) {
    return static_cast<double>(getF32(b, at));
}

// The blocks the pump holds, as key=value fields.
std::string blockFields(const Controller& c) {
    char buf[320];
    std::string out;
    for (int ch = 2; ch <= 5; ++ch) {
        const auto b = c.aiConfig(ch);
        std::snprintf(buf, sizeof buf, " ai%d=%g,%g,%g,%g", ch, f32(b, 12), f32(b, 16),
                      f32(b, 20), f32(b, 24));
        out += buf;
    }
    std::snprintf(buf, sizeof buf, " ppr=%g alarms=", f32(c.fiConfig(0), 28));
    out += buf;
    const auto& limits = c.alarmLimits();
    for (int code = 0; code < kAlarmCodes; ++code) {
        std::snprintf(buf, sizeof buf, "%s%d:%g/%g", code == 0 ? "" : ",", code,
                      f32(limits, 8 * static_cast<size_t>(code)),
                      f32(limits, 8 * static_cast<size_t>(code) + 4));
        out += buf;
    }
    const auto& t = c.throttleConfig();
    std::snprintf(buf, sizeof buf,
                  " plungers=%d stroke_in=%g diameter_in=%g efficiency=%g gear_ratio=%g "
                  "scale1=%g scale2=%g\n",
                  c.plungers(), static_cast<double>(c.strokeIn()),
                  static_cast<double>(c.diameterIn()), static_cast<double>(c.efficiency()),
                  static_cast<double>(c.gearRatio()), f32(t, 12), f32(t, 16));
    return out + buf;
}

}  // namespace

std::string fleetStateText(const Fleet& fleet, double now) {
    std::string out;
    char buf[512];
    for (int i = 0; i < fleet.size(); ++i) {
        const Controller& c = fleet.unit(i);
        std::snprintf(buf, sizeof buf, "%d %.1f %.1f %.2f %u %d %d %s\n", i + 1, c.motorRpm(),
                      c.dischargePsi(), c.rateGpm(), static_cast<unsigned>(c.tripPsi()),
                      c.driveOn() ? 1 : 0, c.tripped() ? 1 : 0, c.pumpId().c_str());
        out += buf;
    }
    for (int i = 0; i < fleet.size(); ++i) {
        const Controller& c = fleet.unit(i);
        std::snprintf(buf, sizeof buf,
                      "pump=%d setpoint=%d status=0x%04x trip=0x%04x fault=0x%04x alarm=0x%04x "
                      "override=%d trip_psi=%u last_trip_psi=%u reports_setpoint=%d "
                      "total_gal=%.1f min_rpm=%g max_rpm=%g auto=%d alarm_options=0x%04x "
                      "timeout1=%u timeout2=%u suction_psi=%.1f line_ok=%d\n",
                      i + 1, c.setpoint(), c.statusWord(), c.tripWord(), c.faultWord(),
                      c.alarmWord(), c.overrideOn() ? 1 : 0, static_cast<unsigned>(c.tripPsi()),
                      static_cast<unsigned>(c.lastTripPsi()), c.reportsSetpoint() ? 1 : 0,
                      c.totalGallons(), static_cast<double>(c.minRpm()),
                      static_cast<double>(c.maxRpm()), c.autoAllowed() ? 1 : 0, c.alarmOptions(),
                      static_cast<unsigned>(c.timeout1()), static_cast<unsigned>(c.timeout2()),
                      c.suctionPsi(), lineOk(c.failure()) ? 1 : 0);
        out += buf;
        out.pop_back();  // the blocks the pump holds continue the line
        out += blockFields(c);
    }
    std::snprintf(buf, sizeof buf, "time=%.3f\n", now);
    out += buf;
    return out;
}

}  // namespace pumpsim
