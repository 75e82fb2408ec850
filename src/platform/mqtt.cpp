#include "platform/mqtt.h"

#include <string>

namespace platform {

namespace {
MqttBackEnd* installed = nullptr;
}

void setMqttBackEnd(MqttBackEnd* backEnd) {
    installed = backEnd;
}

MqttBackEnd* mqttBackEnd() {
    return installed;
}

std::string MqttReasonText(int reasonCode) {
    switch (reasonCode) {
        case 0x80:
            return "unspecified error";
        case 0x81:
            return "malformed packet";
        case 0x82:
            return "protocol error";
        case 0x83:
            return "implementation specific error";
        case 0x87:
            return "not authorised";
        case 0x8C:
            return "bad authentication method";
        case 0x90:
            return "topic name invalid";
        case 0x91:
            return "packet identifier in use";
        case 0x93:
            return "receive maximum exceeded";
        case 0x95:
            return "packet too large";
        case 0x97:
            return "quota exceeded";
        case 0x99:
            return "payload format invalid";
        case 0x9A:
            return "retain not supported";
        case 0x9B:
            return "QoS not supported";
        default:
            return "reason code " + std::to_string(reasonCode);
    }
}

bool MqttRefusesOnlyThisMessage(int reasonCode) {
    return reasonCode == 0x95 || reasonCode == 0x99;
}

}  // namespace platform
