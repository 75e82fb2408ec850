#include "platform/system.h"

#include <unistd.h>

namespace platform {

namespace {
SystemBackEnd* g_system = nullptr;
}

void setSystemBackEnd(SystemBackEnd* backEnd) {
    g_system = backEnd;
}

std::string ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

SystemBackEnd& systemBackEnd() {
    static SimSystem fallback;  // nothing real happens until start-up installs a back end
    return g_system != nullptr ? *g_system : fallback;
}

}  // namespace platform
