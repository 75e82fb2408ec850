#include "platform/tcp.h"

namespace platform {

namespace {
TcpBackEnd* installed = nullptr;
}

void setTcpBackEnd(TcpBackEnd* backEnd) {
    installed = backEnd;
}

TcpBackEnd* tcpBackEnd() {
    return installed;
}

}  // namespace platform
