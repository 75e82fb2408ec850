// Real serial ports: COMn is $VNK_PORTS_DIR/COMn when that is set (a device node or a
// symlink to one, e.g. a pseudo-terminal of the simulator), else /dev/ttyS<n-1>. Ports are
// opened raw and non-blocking and watched through one epoll set, whose socket notifier on
// the Qt loop moves arriving bytes into the port's input queue and calls the receive
// callback. A port whose device hangs up (adapter pulled, pseudo-terminal closed) is closed
// quietly: it leaves the set, so no spin and no error flood, and the pump goes off line
// through its watchdog.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "platform/serial.h"

class QSocketNotifier;

namespace platform {

class TermiosSerial : public SerialBackEnd {
  public:
    TermiosSerial();
    ~TermiosSerial() override;

    int open(int port, long baud, int parity, int dataBits, int stopBits, int inQueue,
             int outQueue) override;
    int close(int port) override;
    int read(int port, unsigned char* buffer, std::size_t count) override;
    int write(int port, const unsigned char* data, std::size_t count) override;
    int inQueueLength(int port) override;
    int flushIn(int port) override;
    int flushOut(int port) override;
    int installCallback(int port, int eventMask, ComCallback cb, void* data) override;
    int setTimeout(int port, double seconds) override;
    int setSoftwareHandshake(int port, bool on) override;
    int setHardwareHandshake(int port, bool on) override;
    int lineStatus(int port) override;
    std::vector<int> existingPorts() override;

    // The device path of COMn.
    static std::string devicePath(int port);
    // True while the port is open (false again after a hang-up).
    bool isOpen(int port) const;

  private:
    struct Port;
    Port* find(int port) const;
    void onReady();
    void onReadable(int port);
    void onWritable(int port);
    void drainOutput(Port& p);
    void watchOutput(Port& p, bool on);
    // error: errno of the read that found it, 0 when the device flagged the hang-up.
    void hangUp(int port, int error);

    std::map<int, std::unique_ptr<Port>> ports_;
    int epoll_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
