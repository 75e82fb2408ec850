// A scripted MQTT server on 127.0.0.1 at a port of its own, for what no real broker does on
// purpose: speak only MQTT 3.1.1, never acknowledge, announce packets of hundreds of MB. Each
// connection is handed to the test's script on a thread of its own; the script reads and
// writes raw packets. Everything ends with the FakeBroker (its sockets are shut down, its
// threads joined), so a script's read() returns a closed packet then.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_listener.h"

class FakeBroker {
  public:
    struct Packet {
        int type = 0;  // the fixed header's high nibble (3 PUBLISH, 12 PINGREQ); 0: closed
        int flags = 0;
        std::string body;
    };

    class Connection {
      public:
        explicit Connection(int fd) : fd_(fd) {}
        // The next whole packet, or type 0 once the connection or the broker has ended.
        Packet read() {
            Packet p;
            unsigned char first = 0;
            if (!readAll(&first, 1)) return {};
            std::uint32_t length = 0;
            for (int shift = 0; shift < 28; shift += 7) {
                unsigned char b = 0;
                if (!readAll(&b, 1)) return {};
                length |= static_cast<std::uint32_t>(b & 0x7f) << shift;
                if ((b & 0x80) == 0) break;
            }
            p.body.resize(length);
            if (length > 0 && !readAll(p.body.data(), length)) return {};
            p.type = first >> 4;
            p.flags = first & 0x0f;
            return p;
        }
        bool send(const std::string& bytes) {
            for (std::size_t at = 0; at < bytes.size();) {
                const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
                if (n <= 0) return false;
                at += static_cast<std::size_t>(n);
            }
            return true;
        }
        // Reads the CONNECT; its protocol level (4: MQTT 3.1.1, 5: MQTT 5), -1 when none came.
        int readConnect() {
            const Packet p = read();
            // Protocol name "MQTT" (2 + 4 bytes), then the level.
            if (p.type != 1 || p.body.size() < 7) return -1;
            return static_cast<unsigned char>(p.body[6]);
        }
        // Answers PINGREQs and takes everything else without a word, each packet shown to
        // onPacket, until the connection or the broker ends.
        void serve(const std::function<void(const Packet&)>& onPacket = {}) {
            for (Packet p = read(); p.type != 0; p = read()) {
                if (onPacket) onPacket(p);
                if (p.type == 12) send(std::string("\xd0\x00", 2));
            }
        }

      private:
        bool readAll(void* to, std::size_t size) {
            auto* at = static_cast<char*>(to);
            while (size > 0) {
                const ssize_t n = ::recv(fd_, at, size, 0);
                if (n <= 0) return false;
                at += n;
                size -= static_cast<std::size_t>(n);
            }
            return true;
        }
        int fd_;
    };

    using Script = std::function<void(Connection&)>;

    explicit FakeBroker(Script script) : script_(std::move(script)) {}
    FakeBroker(const FakeBroker&) = delete;
    FakeBroker& operator=(const FakeBroker&) = delete;
    ~FakeBroker() {
        listener_.stop();
        for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
        for (auto& t : scripts_) t.join();
        for (int fd : fds_) ::close(fd);
    }

    // The port, -1 when it could not listen.
    int port() const { return listener_.port(); }
    int connections() const { return accepted_; }

    // A CONNACK in the protocol level's form; MQTT 5's with a Receive Maximum when one is
    // given (0: none).
    static std::string connack(int level, int code, int receiveMaximum = 0) {
        std::string body{'\0', static_cast<char>(code)};
        if (level == 5) {
            if (receiveMaximum > 0)
                body += std::string{'\x03', '\x21', static_cast<char>(receiveMaximum >> 8),
                                    static_cast<char>(receiveMaximum & 0xff)};
            else
                body += '\0';
        }
        return std::string{'\x20', static_cast<char>(body.size())} + body;
    }
    // A fixed header that announces length bytes to follow.
    static std::string announce(int firstByte, std::uint32_t length) {
        std::string header(1, static_cast<char>(firstByte));
        do {
            unsigned char b = length & 0x7f;
            length >>= 7;
            if (length > 0) b |= 0x80;
            header += static_cast<char>(b);
        } while (length > 0);
        return header;
    }

  private:
    void accepted(int fd) {
        fds_.push_back(fd);
        ++accepted_;
        scripts_.emplace_back([this, fd] {
            Connection c(fd);
            script_(c);
            ::shutdown(fd, SHUT_RDWR);
        });
    }

    Script script_;
    std::atomic<int> accepted_{0};
    // The listener's until it has stopped.
    std::vector<int> fds_;
    std::vector<std::thread> scripts_;
    LoopbackListener listener_{[this](int fd) { accepted(fd); }};  // the last: it calls in
};
