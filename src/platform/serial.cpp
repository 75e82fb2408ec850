#include "platform/serial.h"

#include <string>

#include "platform/journal.h"

namespace platform {

namespace {
// Before a back end is installed every port is invalid.
class NoPorts : public SerialBackEnd {
  public:
    int open(int, long, int, int, int, int, int) override { return kComInvalidPort; }
    int close(int) override { return kComNotOpen; }
    int read(int, unsigned char*, std::size_t) override { return kComNotOpen; }
    int write(int, const unsigned char*, std::size_t) override { return kComNotOpen; }
    int inQueueLength(int) override { return kComNotOpen; }
    int flushIn(int) override { return kComNotOpen; }
    int flushOut(int) override { return kComNotOpen; }
    int installCallback(int, int, ComCallback, void*) override { return kComNotOpen; }
    int setTimeout(int, double) override { return kComNotOpen; }
    int setSoftwareHandshake(int, bool) override { return kComNotOpen; }
    int setHardwareHandshake(int, bool) override { return kComNotOpen; }
    int lineStatus(int) override { return kComNotOpen; }
    std::vector<int> existingPorts() override { return {}; }
};

SerialBackEnd* g_serial = nullptr;
PortLostFn g_portLost = nullptr;  // wiring, installed by the link at start-up
}  // namespace

void SetPortLostHandler(PortLostFn handler) {
    g_portLost = handler;
}

void ReportPortLost(int port, const char* reason) {
    if (g_portLost != nullptr && g_portLost(port, reason)) return;
    journal::Record(journal::kNoPump, journal::Kind::Port,
                    "COM" + std::to_string(port) + " lost: " + reason);
}

void setSerialBackEnd(SerialBackEnd* backEnd) {
    g_serial = backEnd;
}

SerialBackEnd& serialBackEnd() {
    static NoPorts none;
    return g_serial != nullptr ? *g_serial : none;
}

int OpenComConfig(int port, const char*, long baud, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize) {
    const int rc = serialBackEnd().open(port, baud, parity, dataBits, stopBits, inputQueueSize,
                                        outputQueueSize);
    if (rc >= 0)
        journal::Record(journal::kNoPump, journal::Kind::Port,
                        "COM" + std::to_string(port) + " opened");
    return rc;
}
int CloseCom(int port) {
    const int rc = serialBackEnd().close(port);
    if (rc >= 0)
        journal::Record(journal::kNoPump, journal::Kind::Port,
                        "COM" + std::to_string(port) + " closed");
    return rc;
}
int ComRd(int port, unsigned char* buffer, std::size_t count) {
    return serialBackEnd().read(port, buffer, count);
}
int ComWrt(int port, const unsigned char* data, std::size_t count) {
    return serialBackEnd().write(port, data, count);
}
int GetInQLen(int port) {
    return serialBackEnd().inQueueLength(port);
}
int FlushInQ(int port) {
    return serialBackEnd().flushIn(port);
}
int FlushOutQ(int port) {
    return serialBackEnd().flushOut(port);
}
int InstallComCallback(int port, int eventMask, int, int, ComCallback cb, void* data) {
    return serialBackEnd().installCallback(port, eventMask, cb, data);
}
int SetXMode(int port, int mode) {
    return serialBackEnd().setSoftwareHandshake(port, mode != 0);
}
int SetCTSMode(int port, int mode) {
    return serialBackEnd().setHardwareHandshake(port, mode != 0);
}
int SetComTime(int port, double seconds) {
    return serialBackEnd().setTimeout(port, seconds);
}
int GetComLineStatus(int port) {
    return serialBackEnd().lineStatus(port);
}
std::vector<int> ExistingComPorts() {
    return serialBackEnd().existingPorts();
}

}  // namespace platform
