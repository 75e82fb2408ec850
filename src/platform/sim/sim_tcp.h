// The simulated TCP back end: servers a test declares by host and port, each accepted
// connection a scriptable peer. Events reach the station through the event loop, like real
// ones. A peer that stops reading holds at most `window` unread bytes; the rest stays queued
// at the station's end. The other way, the station holds at most `readBuffer` unread bytes;
// what a peer sends beyond them waits at the peer's end, and comes in on a later turn of the
// loop once the station has read (the way a real socket's flow control works), the peer's
// close after it.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp.h"

namespace platform {

struct SimTcpLink;

class SimTcpPeer {
  public:
    explicit SimTcpPeer(std::shared_ptr<SimTcpLink> link) : link_(std::move(link)) {}
    void send(std::string_view bytes);  // one segment: one data-ready event (while it fits)
    void close();                       // the server closes the connection, after its bytes
    void setReading(bool reading);
    const std::string& received() const;  // every byte that reached the peer
    bool open() const;                    // neither end has closed
    std::size_t unreadAtStation() const;  // in the station's read buffer
    std::size_t heldAtPeer() const;       // sent, and held back for want of room

  private:
    std::shared_ptr<SimTcpLink> link_;
};

class SimTcpNetwork : public TcpBackEnd {
  public:
    void listen(const std::string& host, int port) { servers_.insert({host, port}); }
    void stopListening(const std::string& host, int port) { servers_.erase({host, port}); }
    std::unique_ptr<TcpConnection> connect(const std::string& host, int port,
                                           double timeoutSeconds, TcpEvents events) override;
    // Connections accepted so far, oldest first.
    std::vector<SimTcpPeer>& peers() { return peers_; }
    std::size_t window = 4096;
    std::size_t readBuffer = kTcpReadBufferBytes;

  private:
    std::set<std::pair<std::string, int>> servers_;
    std::vector<SimTcpPeer> peers_;
};

}  // namespace platform
