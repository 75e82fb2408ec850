// Real serial ports. COMn is $VNK_PORTS_DIR/COMn when that is set (a device node or a
// symlink to one, e.g. a pseudo-terminal of the simulator); else /dev/vnk/COMn when the
// folder /dev/vnk exists, or has existed since the back end was made (the links a udev rule
// gives each USB-serial adapter by the hub port it sits in, so that a replugged adapter keeps
// its name); else /dev/ttyS<n-1>. The existing ports are the COMn entries of that same folder
// that lead to a character device.
//
// Ports are opened raw and non-blocking and watched through one epoll set, whose socket
// notifier on the Qt loop moves arriving bytes into the port's input queue and calls the
// receive callback. A port whose device goes away (a hang-up, a read error such as EIO, a
// write error other than "try again": the adapter pulled, the far end of a pseudo-terminal
// closed) is closed at once, so it leaves the set and nothing spins on it, and is reported
// lost (ReportPortLost) once, from the loop after the call that found it has returned. The
// back end never reopens a port by itself: the station decides when to try again.
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
    static constexpr const char* kStableFolder = "/dev/vnk";
    // stableFolder: where the udev rule's links are (another folder for tests).
    explicit TermiosSerial(std::string stableFolder = kStableFolder);
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

    // Where the COMn nodes are: the folder, the nodes' name prefix, and what to subtract
    // from n for the number in the name (COM3 is ttyS2 but /dev/vnk/COM3).
    struct PortNaming {
        std::string folder;
        std::string prefix;
        int offset = 0;
    };
    // The one choice that both opening a port and listing the ports make: VNK_PORTS_DIR when
    // set, else the stable folder when it exists or has existed, else /dev/ttyS.
    PortNaming portNaming();
    // The device path of COMn.
    std::string devicePath(int port);
    // True while the port is open (false again after a hang-up).
    bool isOpen(int port) const;

  private:
    struct Port;
    Port* find(int port) const;
    void onReady();
    void onReadable(int port);
    void onWritable(int port);
    // False when the port was lost on the way (p is gone then).
    bool drainOutput(Port& p);
    void watchOutput(Port& p, bool on);
    // The port's device has gone: closes the port now and reports it from the loop.
    void lose(int port, const std::string& reason);

    std::map<int, std::unique_ptr<Port>> ports_;
    std::string stableFolder_;
    bool stableFolderSeen_ = false;
    int epoll_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
