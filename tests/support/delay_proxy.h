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

#include "support/loopback_listener.h"

class DelayProxy {
  public:
    DelayProxy(int targetPort, double delaySeconds)
        : target_(targetPort),
          delay_(std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(delaySeconds))) {}
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;
    ~DelayProxy() {
        listener_.stop();
        for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
        for (auto& d : directions_) {
            std::lock_guard<std::mutex> hold(d->mutex);
            d->stopped = true;
            d->ready.notify_all();
        }
        for (auto& t : threads_) t.join();
        for (int fd : fds_) ::close(fd);
    }

    // The port, -1 when it could not listen.
    int port() const { return listener_.port(); }

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

    void accepted(int client) {
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(target_);
        fds_.push_back(client);
        fds_.push_back(server);
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::shutdown(client, SHUT_RDWR);
            return;
        }
        relay(client, server);
        relay(server, client);
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
    // The listener's until it has stopped.
    std::vector<int> fds_;
    std::vector<std::unique_ptr<Direction>> directions_;
    std::vector<std::thread> threads_;
    LoopbackListener listener_{[this](int client) { accepted(client); }};  // the last: it calls in
};
