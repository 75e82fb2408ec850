// A TCP listener on 127.0.0.1 at a port the kernel picks, for the tests' own servers (a
// relay, a scripted broker): each connection it takes is handed to the owner's function on
// the listener's thread until stop(). The connections are the owner's to close.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>

inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

class LoopbackListener {
  public:
    explicit LoopbackListener(std::function<void(int fd)> accepted)
        : accepted_(std::move(accepted)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(0);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 16) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            while (!stopping_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) accepted_(client);
            }
        });
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener() {
        stop();
        ::close(fd_);
    }

    // Takes no more connections; returns once the listener's thread has ended.
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // The port, -1 when it could not listen.
    int port() const { return port_; }

  private:
    std::function<void(int fd)> accepted_;
    int fd_ = -1;
    int port_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
