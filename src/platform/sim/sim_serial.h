// Simulated serial ports for tests and the demo: in-memory lines in virtual time. Each COM
// number is a line with two directions at 19200 baud (10 bits a byte, 1920 bytes a second):
// what the station writes crosses to the far end, and what the far end sends crosses to
// the station's input queue, in chunks of a size the test chooses, each chunk raising the
// receive callback on the event loop once its last byte has arrived. The far end is a test
// or a simulated pump, working through the far-end calls below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/serial.h"

namespace platform {

class SimSerial : public SerialBackEnd {
  public:
    static constexpr double kBytesPerSecond = 1920.0;
    static constexpr double kByteTime = 1.0 / kBytesPerSecond;
    static constexpr std::size_t kDefaultChunk = 8;
    static constexpr std::size_t kDefaultInQueue = 4096;

    // ---- the machine's ports ----
    void addPort(int port);
    void removePort(int port);
    // The next opens of the port fail with this result (kComInvalidPort, kComCannotOpen, ...);
    // kComOk opens normally again.
    void setOpenResult(int port, int result);
    bool isOpen(int port) const;

    // ---- the far end ----
    // Sends bytes to the station: they start crossing when the line is free and arrive in
    // chunks of the port's chunk size.
    void farEndSend(int port, const std::uint8_t* data, std::size_t count);
    void farEndSend(int port, const std::vector<std::uint8_t>& bytes) {
        farEndSend(port, bytes.data(), bytes.size());
    }
    // Sends bytes whose last byte finishes crossing at lastByteAt (earlier bytes one byte time
    // apart), as a simulated controller that keeps its own line timing reports them.
    void farEndSendTimed(int port, const std::uint8_t* data, std::size_t count, double lastByteAt);
    // Puts bytes straight into the input queue and raises the callback now.
    void arriveNow(int port, const std::uint8_t* data, std::size_t count);
    void arriveNow(int port, const std::vector<std::uint8_t>& bytes) {
        arriveNow(port, bytes.data(), bytes.size());
    }
    // Bytes per arrival (at least 1).
    void setChunkSize(int port, std::size_t bytes);
    // Everything the station has written to the port so far (whether or not it has crossed
    // the line yet), taken out.
    std::vector<std::uint8_t> takeWritten(int port);
    // Called on the loop with each write of the station once its last byte has crossed.
    using WriteListener = std::function<void(int port, const std::vector<std::uint8_t>& bytes)>;
    void setWriteListener(int port, WriteListener listener);
    // The far end drops the line: bytes on the way are lost in both directions, nothing more
    // arrives, CTS drops. hangUp(port, false) puts the line back.
    void hangUp(int port, bool down = true);
    void setCts(int port, bool asserted);
    // The adapter is pulled: the port's node is gone (opens fail, it is not listed), an open
    // port is closed and reported lost on the loop, and the far end's bytes go nowhere.
    // replug() brings the node back as a new device, closed; the far end (its listener, its
    // chunk size) stays wired as it was.
    void unplug(int port);
    void replug(int port);
    // Bytes dropped because the station's input queue was full.
    std::size_t overflowed(int port) const;

    // ---- SerialBackEnd ----
    int open(int port, long baud, int parity, int dataBits, int stopBits, int inQueue,
             int outQueue) override;
    int close(int port) override;
    int read(int port, unsigned char* buffer, std::size_t count) override;
    int write(int port, const unsigned char* data, std::size_t count) override;
    int inQueueLength(int port) override;
    int flushIn(int port) override;
    int flushOut(int port) override;
    int installCallback(int port, int eventMask, ComCallback cb, void* data) override;
    int setTimeout(int, double) override;
    int setSoftwareHandshake(int port, bool on) override;
    int setHardwareHandshake(int port, bool on) override;
    int lineStatus(int port) override;
    std::vector<int> existingPorts() override;

  private:
    struct Line {
        int openResult = kComOk;
        bool open = false;
        bool hungUp = false;
        bool unplugged = false;
        bool cts = true;
        std::size_t chunk = kDefaultChunk;
        std::size_t inCapacity = kDefaultInQueue;
        std::deque<std::uint8_t> in;  // arrived, not yet read by the station
        std::size_t overflow = 0;
        double toStationFreeAt = 0.0;  // when the far end's transmitter is free
        double toFarEndFreeAt = 0.0;   // when the station's transmitter is free
        std::vector<std::uint8_t> written;
        WriteListener listener;
        ComCallback callback = nullptr;
        int eventMask = 0;
        void* callbackData = nullptr;
        // Bumped to cancel what is on its way: flushes, close and hang-up.
        std::uint64_t inGeneration = 0;
        std::uint64_t outGeneration = 0;
    };
    Line* line(int port);
    const Line* line(int port) const;
    void scheduleArrival(int port, std::vector<std::uint8_t> bytes, double at);
    void deliver(int port, const std::vector<std::uint8_t>& bytes);

    std::map<int, Line> lines_;
};

}  // namespace platform
