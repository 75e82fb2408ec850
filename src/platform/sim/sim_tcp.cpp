#include "platform/sim/sim_tcp.h"

#include <algorithm>

#include "platform/event_loop.h"

namespace platform {

struct SimTcpLink {
    bool open = false;
    bool reading = true;
    std::size_t window = 4096;
    std::size_t readBuffer = kTcpReadBufferBytes;
    std::string toStation;  // sent by the peer, not yet read by the station
    std::string heldBack;   // sent by the peer, waiting for room in toStation
    bool refillPosted = false;
    bool peerClosing = false;  // the peer has closed; the event waits behind heldBack
    bool closePosted = false;
    std::string outQueue;  // written by the station, not yet taken by the peer
    std::string atPeer;    // taken by the peer
    std::size_t readMark = 0;
    std::string host;
    TcpEvents events;

    template <class F>
    void postEvent(std::weak_ptr<SimTcpLink> self, F pick) {
        loop().post(0.0, [self, pick] {
            auto link = self.lock();
            if (!link || !link->open) return;
            auto& fn = pick(link->events);
            if (fn) fn();
        });
    }
    // The peer's close: delivered once every byte it sent is in the station's buffer.
    void postClose(std::weak_ptr<SimTcpLink> self) {
        postEvent(self, [](TcpEvents& e) -> auto& { return e.closed; });
        loop().post(0.0, [self] {
            if (auto l = self.lock()) l->open = false;
        });
    }
    // Moves held-back bytes into the station's buffer as far as it has room; a data-ready
    // event tells of them.
    void admit(std::weak_ptr<SimTcpLink> self) {
        const std::size_t room = readBuffer > toStation.size() ? readBuffer - toStation.size() : 0;
        const std::size_t n = std::min(room, heldBack.size());
        if (n > 0) {
            toStation.append(heldBack, 0, n);
            heldBack.erase(0, n);
            postEvent(self, [](TcpEvents& e) -> auto& { return e.readyRead; });
        }
        if (heldBack.empty() && peerClosing && !closePosted) {
            closePosted = true;
            postClose(self);
        }
    }
    // After the station has read: the rest comes in on a later turn, as a socket notices room.
    void refillLater(std::weak_ptr<SimTcpLink> self) {
        if (refillPosted || heldBack.empty()) return;
        refillPosted = true;
        loop().post(0.0, [self] {
            auto l = self.lock();
            if (!l) return;
            l->refillPosted = false;
            if (l->open) l->admit(self);
        });
    }
    // Moves queued bytes to the peer as far as its window allows.
    bool deliver() {
        std::size_t before = outQueue.size();
        if (reading) {
            atPeer += outQueue;
            outQueue.clear();
            readMark = atPeer.size();
        } else {
            std::size_t unread = atPeer.size() - readMark;
            std::size_t room = window > unread ? window - unread : 0;
            std::size_t n = std::min(room, outQueue.size());
            atPeer.append(outQueue, 0, n);
            outQueue.erase(0, n);
        }
        return outQueue.size() != before;
    }
};

namespace {

class SimConnection : public TcpConnection {
  public:
    explicit SimConnection(std::shared_ptr<SimTcpLink> link) : link_(std::move(link)) {}
    ~SimConnection() override { close(); }
    std::size_t read(std::uint8_t* buffer, std::size_t max) override {
        std::size_t n = std::min(max, link_->toStation.size());
        std::copy_n(link_->toStation.begin(), n, buffer);
        link_->toStation.erase(0, n);
        if (n > 0) link_->refillLater(link_);
        return n;
    }
    std::size_t bytesAvailable() const override { return link_->toStation.size(); }
    bool write(const std::uint8_t* data, std::size_t count) override {
        if (!link_->open) return false;
        link_->outQueue.append(reinterpret_cast<const char*>(data), count);
        if (link_->deliver())
            link_->postEvent(link_, [](TcpEvents& e) -> auto& { return e.bytesWritten; });
        return true;
    }
    std::size_t bytesToWrite() const override { return link_->outQueue.size(); }
    void close() override {
        link_->open = false;
        link_->events = {};
    }
    std::string localAddress() const override { return "127.0.0.1"; }
    std::string localName() const override { return "localhost"; }
    std::string peerAddress() const override { return link_->host; }
    std::string peerName() const override { return link_->host; }

  private:
    std::shared_ptr<SimTcpLink> link_;
};

}  // namespace

void SimTcpPeer::send(std::string_view bytes) {
    if (!link_->open || link_->peerClosing) return;
    link_->heldBack.append(bytes);
    link_->admit(link_);
}

void SimTcpPeer::close() {
    if (!link_->open || link_->peerClosing) return;
    link_->peerClosing = true;
    link_->admit(link_);
}

void SimTcpPeer::setReading(bool reading) {
    link_->reading = reading;
    if (reading && link_->deliver())
        link_->postEvent(link_, [](TcpEvents& e) -> auto& { return e.bytesWritten; });
}

const std::string& SimTcpPeer::received() const {
    return link_->atPeer;
}

bool SimTcpPeer::open() const {
    return link_->open;
}

std::size_t SimTcpPeer::unreadAtStation() const {
    return link_->toStation.size();
}

std::size_t SimTcpPeer::heldAtPeer() const {
    return link_->heldBack.size();
}

std::unique_ptr<TcpConnection> SimTcpNetwork::connect(const std::string& host, int port,
                                                      double timeoutSeconds, TcpEvents events) {
    auto link = std::make_shared<SimTcpLink>();
    link->host = host;
    link->window = window;
    link->readBuffer = readBuffer;
    link->events = std::move(events);
    std::weak_ptr<SimTcpLink> weak = link;
    bool accepted = servers_.count({host, port}) != 0;
    if (accepted) peers_.emplace_back(link);
    // An accepted connect completes at once; one nobody answers fails at the time limit.
    loop().post(accepted ? 0.0 : timeoutSeconds, [weak, accepted] {
        auto l = weak.lock();
        if (!l || !l->events.connected) return;
        l->open = accepted;
        auto done = l->events.connected;
        done(accepted);
    });
    return std::make_unique<SimConnection>(link);
}

}  // namespace platform
