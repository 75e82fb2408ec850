// TCP client connections as the blender link uses them: an asynchronous connect with a time
// limit, a data-ready event, reads of what has arrived, writes that queue, and events for the
// peer closing and for errors. Every event is dispatched on the event loop, never inside the
// call that caused it. A real back end (Qt Network) and a simulated one (scriptable in-memory
// peers) implement TcpBackEnd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// The most bytes a connection keeps that the station has not yet read. Beyond it the back end
// stops taking bytes from the network, and TCP's flow control holds the peer back: a peer
// that floods the link costs the station this much memory, never more.
constexpr std::size_t kTcpReadBufferBytes = 64 * 1024;

struct TcpEvents {
    std::function<void(bool ok)> connected;  // once: the connect succeeded or failed
    std::function<void()> readyRead;         // bytes have arrived
    std::function<void()> bytesWritten;      // queued bytes have gone out
    std::function<void()> closed;            // the peer closed the connection (once)
    std::function<void()> error;             // the connection broke
};

class TcpConnection {
  public:
    virtual ~TcpConnection() = default;
    // Copies at most max bytes that have arrived; never waits. 0 when nothing is there. What
    // arrived before the peer closed stays readable after the closed event, until close().
    // Reading makes room: held-back bytes come in later, each time with a data-ready event.
    virtual std::size_t read(std::uint8_t* buffer, std::size_t max) = 0;
    virtual std::size_t bytesAvailable() const = 0;
    // Queues all count bytes; false when the connection is not open.
    virtual bool write(const std::uint8_t* data, std::size_t count) = 0;
    // Bytes queued and not yet accepted by the network.
    virtual std::size_t bytesToWrite() const = 0;
    // Closes at once; no event of this connection is delivered afterwards.
    virtual void close() = 0;
    virtual std::string localAddress() const = 0;
    virtual std::string localName() const = 0;
    virtual std::string peerAddress() const = 0;
    virtual std::string peerName() const = 0;
    // Why the connect failed or the connection broke, as far as the back end knows ("" when
    // it does not): for the trace, never for the operator.
    virtual std::string errorText() const { return {}; }
};

class TcpBackEnd {
  public:
    virtual ~TcpBackEnd() = default;
    // Starts connecting; events.connected reports the outcome within timeoutSeconds.
    virtual std::unique_ptr<TcpConnection> connect(const std::string& host, int port,
                                                   double timeoutSeconds, TcpEvents events) = 0;
};

void setTcpBackEnd(TcpBackEnd* backEnd);
// The installed back end, or nullptr.
TcpBackEnd* tcpBackEnd();

}  // namespace platform
