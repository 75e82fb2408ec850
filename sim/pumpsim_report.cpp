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

}  // namespace pumpsim
