#include "platform/mqtt.h"

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

}  // namespace platform
