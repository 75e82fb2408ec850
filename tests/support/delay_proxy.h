// A TCP relay on 127.0.0.1 that delays everything by a fixed time each way, as a satellite or
// cellular link does: the bytes and the end of each side's stream reach the other side after
// the delay, in order. Each connection to port() is relayed to the target port. Everything
// ends with the DelayProxy (its sockets shut down, its threads joined).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class DelayProxy {
  public:
    DelayProxy(int targetPort, double delaySeconds)
        : target_(targetPort),
          delay_(std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(delaySeconds))) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;
    ~DelayProxy() {
        stopping_ = true;
        if (acceptor_.joinable()) acceptor_.join();
        for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
        for (auto& d : directions_) {
            std::lock_guard<std::mutex> hold(d->mutex);
            d->stopped = true;
            d->ready.notify_all();
        }
        for (auto& t : threads_) t.join();
        for (int fd : fds_) ::close(fd);
        ::close(listener_);
    }

    // The port, -1 when it could not listen.
    int port() const { return port_; }

  private:
    using Clock = std::chrono::steady_clock;
    // One way of one connection: what was read, each piece with the time it may go on; an
    // empty piece is the end of the stream.
    struct Direction {
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<std::pair<Clock::time_point, std::string>> pieces;
        bool stopped = false;
    };

    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return address;
    }

    void acceptLoop() {
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = loopback(target_);
            fds_.push_back(client);
            fds_.push_back(server);
            if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ::shutdown(client, SHUT_RDWR);
                continue;
            }
            relay(client, server);
            relay(server, client);
        }
    }

    void relay(int from, int to) {
        directions_.push_back(std::make_unique<Direction>());
        Direction* d = directions_.back().get();
        threads_.emplace_back([this, from, d] {
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
                std::lock_guard<std::mutex> lock(d->mutex);
                d->pieces.emplace_back(Clock::now() + delay_,
                                       std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0));
                d->ready.notify_all();
                if (n <= 0) return;
            }
        });
        threads_.emplace_back([to, d] {
            std::unique_lock<std::mutex> lock(d->mutex);
            for (;;) {
                d->ready.wait(lock, [d] { return d->stopped || !d->pieces.empty(); });
                if (d->stopped) return;
                const auto due = d->pieces.front().first;
                if (d->ready.wait_until(lock, due, [d] { return d->stopped; })) return;
                std::string piece = std::move(d->pieces.front().second);
                d->pieces.pop_front();
                if (piece.empty()) {
                    ::shutdown(to, SHUT_WR);
                    return;
                }
                lock.unlock();
                for (std::size_t at = 0; at < piece.size();) {
                    const ssize_t n =
                        ::send(to, piece.data() + at, piece.size() - at, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    at += static_cast<std::size_t>(n);
                }
                lock.lock();
            }
        });
    }

    int target_;
    Clock::duration delay_;
    int listener_ = -1;
    int port_ = -1;
    std::atomic<bool> stopping_{false};
    // The acceptor's until it has ended.
    std::vector<int> fds_;
    std::vector<std::unique_ptr<Direction>> directions_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};
