#include "platform/system.h"

namespace platform {

namespace {
SystemBackEnd* g_system = nullptr;
}

void setSystemBackEnd(SystemBackEnd* backEnd) {
    g_system = backEnd;
}

SystemBackEnd& systemBackEnd() {
    static SimSystem fallback;  // nothing real happens until start-up installs a back end
    return g_system != nullptr ? *g_system : fallback;
}

}  // namespace platform
