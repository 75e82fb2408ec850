// Serial ports as the station uses them: open by COM number with fixed settings, a receive
// callback dispatched on the event loop, non-blocking reads of what has arrived and writes
// that queue. A real back end (termios devices) and a simulated one (in-memory lines in
// virtual time) implement SerialBackEnd; the free functions forward to the one installed.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

// Results of OpenComConfig and the other calls (negative = error).
enum ComResult {
    kComOk = 0,
    kComInvalidPort = -2,  // no such port
    kComNotOpen = -3,      // the port is not open
    kComBadSettings = -4,  // a setting the port refuses
    kComCannotOpen = -7,   // the port exists but cannot be opened (in use, not a serial port)
    kComIoError = -10,
};

constexpr int kLineCts = 0x0010;          // GetComLineStatus: CTS is asserted
constexpr int kEventCharReceived = 0x01;  // receive-callback event mask: bytes arrived

using ComCallback = void (*)(int port, int eventMask, void* data);

// A port whose device has gone (a hang-up, a read or write error, the node removed: a USB
// adapter pulled) is closed by its back end at once and reported here, once, on the loop.
// The station then decides what the loss means and when to try the port again; the back end
// never reopens a port by itself. `reason` is a short text for the journal and traces. The
// handler returns true when it journalled the loss itself (naming what the port served);
// otherwise the loss is journalled here as "COMn lost: reason".
using PortLostFn = bool (*)(int port, const char* reason);
void SetPortLostHandler(PortLostFn handler);
// Called by a back end after it has closed a port whose device went away.
void ReportPortLost(int port, const char* reason);

class SerialBackEnd {
  public:
    virtual ~SerialBackEnd() = default;
    virtual int open(int port, long baud, int parity, int dataBits, int stopBits, int inQueue,
                     int outQueue) = 0;
    virtual int close(int port) = 0;
    virtual int read(int port, unsigned char* buffer, std::size_t count) = 0;
    virtual int write(int port, const unsigned char* data, std::size_t count) = 0;
    virtual int inQueueLength(int port) = 0;
    virtual int flushIn(int port) = 0;
    virtual int flushOut(int port) = 0;
    virtual int installCallback(int port, int eventMask, ComCallback cb, void* data) = 0;
    virtual int setTimeout(int port, double seconds) = 0;
    virtual int setSoftwareHandshake(int port, bool on) = 0;
    virtual int setHardwareHandshake(int port, bool on) = 0;
    virtual int lineStatus(int port) = 0;
    // The COM numbers that exist on this machine, in any order.
    virtual std::vector<int> existingPorts() = 0;
};

void setSerialBackEnd(SerialBackEnd* backEnd);
SerialBackEnd& serialBackEnd();

int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
int ComRd(int port, unsigned char* buffer, std::size_t count);
int ComWrt(int port, const unsigned char* data, std::size_t count);
int GetInQLen(int port);
int FlushInQ(int port);
int FlushOutQ(int port);
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter, ComCallback cb,
                       void* data);
int SetXMode(int port, int mode);
int SetCTSMode(int port, int mode);
int SetComTime(int port, double seconds);
int GetComLineStatus(int port);
std::vector<int> ExistingComPorts();

}  // namespace platform
