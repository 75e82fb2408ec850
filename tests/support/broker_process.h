// A real mosquitto broker as a child process, for the MQTT client's tests: on 127.0.0.1 at a
// port of its own, anonymous or with one user, nothing kept on disk, its log in its folder.
// It can be stopped, killed, paused (SIGSTOP: the kernel still takes connections into the
// listen backlog, and nothing ever answers them) and restarted on the same port; it is never
// left running after the test. TestSubscriber watches what reaches the broker.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_process.h"

namespace broker_detail {

inline bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace broker_detail

// A port nobody listens on at this moment: the kernel's pick for port 0.
inline int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// How the broker takes clients: anonymous or one user; plain TCP or TLS with this
// certificate and key; an access list (mosquitto's acl_file text, "topic write vnk/a/#"),
// or none.
struct BrokerSetup {
    std::string user = {};
    std::string password = {};
    std::string certFile = {};
    std::string keyFile = {};
    std::string acl = {};
};

class BrokerProcess {
  public:
    BrokerProcess() {
        static std::atomic<int> made{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("vnk_broker_" + std::to_string(::getpid()) + "_" + std::to_string(made++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    BrokerProcess(const BrokerProcess&) = delete;
    BrokerProcess& operator=(const BrokerProcess&) = delete;
    ~BrokerProcess() {
        kill9();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Writes the configuration and starts the broker; with a user, only that user with that
    // password may connect. False when it did not take connections within a minute (a bound
    // for a broker that hangs, not a slow one; log() says why).
    bool start(const BrokerSetup& setup = {}) {
        std::string access;
        if (setup.user.empty()) {
            access = "allow_anonymous true\n";
        } else {
            const std::string file = (dir_ / "passwords").string();
            const pid_t pid = SpawnProcess(
                {"/usr/bin/mosquitto_passwd", "-b", "-c", file, setup.user, setup.password},
                (dir_ / "passwd.out").string(), true);
            int status = 0;
            if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
                WEXITSTATUS(status) != 0)
                return false;
            access = "allow_anonymous false\npassword_file " + file + "\n";
        }
        if (!setup.acl.empty()) std::ofstream(dir_ / "acl") << setup.acl << "\n";
        return launchOnFreePorts(false, [&] {
            std::ofstream conf(dir_ / "mosquitto.conf");
            conf << "listener " << port_ << " 127.0.0.1\n";
            if (!setup.certFile.empty())
                conf << "certfile " << setup.certFile << "\nkeyfile " << setup.keyFile << "\n";
            conf << "persistence false\n";
            if (!setup.acl.empty()) conf << "acl_file " << (dir_ / "acl").string() << "\n";
            conf << "log_dest file " << (dir_ / "broker.log").string() << "\n"
                 << "log_type all\n" << access << asRoot();
        });
    }

    // The project's own configuration (broker/mosquitto.conf under sourceDir, the one
    // scripts/remote.sh starts) on loopback at free ports: MQTT for the stations, and
    // WebSockets for browsers, serving sourceDir/web; extra lines last (they override).
    bool startProjectBroker(const std::filesystem::path& sourceDir, const std::string& extra = {}) {
        std::ifstream in(sourceDir / "broker" / "mosquitto.conf");
        const std::string project(std::istreambuf_iterator<char>(in), {});
        if (project.empty()) return false;
        std::filesystem::copy_file(sourceDir / "broker" / "web-viewer.acl", dir_ / "web-viewer.acl",
                                   std::filesystem::copy_options::overwrite_existing);
        return launchOnFreePorts(true, [&] {
            std::string text = project;
            const auto fill = [&text](const std::string& token, const std::string& value) {
                for (std::size_t at; (at = text.find(token)) != std::string::npos;)
                    text.replace(at, token.size(), value);
            };
            fill("@MQTT_PORT@", std::to_string(port_));
            fill("@WEB_PORT@", std::to_string(webPort_));
            fill("@MQTT_BIND@", "127.0.0.1");
            fill("@WEB_BIND@", "127.0.0.1");
            fill("@DIR@", dir_.string());
            fill("@ACL_DIR@", dir_.string());
            fill("@WEB_DIR@", (sourceDir / "web").string());
            std::ofstream(dir_ / "mosquitto.conf") << text << extra << asRoot();
        });
    }

    // The broker again, on the same port with the same configuration, after stop() or kill9().
    bool restart() {
        kill9();
        return launch();
    }

    // SIGTERM: the broker closes its clients' connections and ends.
    void stop() {
        if (pid_ <= 0) return;
        resume();
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            ::usleep(10000);
        }
        kill9();
    }

    // SIGKILL: the kernel closes the broker's sockets; no will is published.
    void kill9() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        paused_ = false;
    }

    // Returns once the broker has stopped.
    void pause() {
        if (pid_ <= 0 || paused_) return;
        ::kill(pid_, SIGSTOP);
        int status = 0;
        ::waitpid(pid_, &status, WUNTRACED);
        paused_ = true;
    }
    void resume() {
        if (pid_ <= 0 || !paused_) return;
        ::kill(pid_, SIGCONT);
        paused_ = false;
    }

    int port() const { return port_; }
    // The WebSockets listener of startProjectBroker(), which also serves the page.
    int webPort() const { return webPort_; }
    // The broker's own folder, removed with it: a place for a test's certificates.
    const std::filesystem::path& dir() const { return dir_; }
    std::string log() const {
        std::ifstream in(dir_ / "broker.log");
        std::stringstream text;
        text << in.rdbuf();
        std::ifstream out(dir_ / "broker.out");
        text << out.rdbuf();
        return text.str();
    }

  private:
    // As root the broker would turn into the "mosquitto" user, who cannot write here.
    static std::string asRoot() { return ::geteuid() == 0 ? "user root\n" : ""; }

    // Free ports picked, the configuration written for them, the broker started. A port
    // another program takes between the pick and the broker's bind makes the broker end with
    // "Address already in use": it is tried again on fresh ports.
    bool launchOnFreePorts(bool web, const std::function<void()>& writeConfiguration) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = FreeLocalPort();
            if (web)
                do webPort_ = FreeLocalPort();
                while (webPort_ == port_);
            writeConfiguration();
            if (launch()) return true;
            if (log().find("Address already in use") == std::string::npos) return false;
        }
        return false;
    }

    bool launch() {
        pid_ = SpawnProcess(
            {"/usr/sbin/mosquitto", "-c", (dir_ / "mosquitto.conf").string()},
            (dir_ / "broker.out").string(), true);
        if (pid_ <= 0) return false;
        for (int i = 0; i < 6000; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            if (broker_detail::accepts(port_) && (webPort_ < 0 || broker_detail::accepts(webPort_)))
                return true;
            ::usleep(10000);
        }
        kill9();
        return false;
    }

    std::filesystem::path dir_;
    int port_ = -1;
    int webPort_ = -1;
    pid_t pid_ = -1;
    bool paused_ = false;

  public:
    // The test's own configuration text (an example of broker/ filled in), followed by what
    // every broker here has: its log in its folder, and an anonymous listener on 127.0.0.1 at
    // a free port. restart() after stop() starts it again from the same text.
    bool startWithConfig(const std::string& text) {
        return launchOnFreePorts(false, [&] {
            std::ofstream(dir_ / "mosquitto.conf")
                << text << "\nlog_dest file " << (dir_ / "broker.log").string()
                << "\nlog_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
                << asRoot() << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n";
        });
    }
};

// A client on its own libmosquitto connection and thread, under a client id of its own or
// one the broker gives: what the broker passes on for a topic filter, with the retain flag as
// it arrived, and what it publishes with the broker's acknowledgements counted.
class TestSubscriber {
  public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retain = false;
        std::int64_t arrivedMs = 0;  // wall clock
    };

    // A clean session forgets the subscription at the end of the connection; another keeps
    // it, and what comes for it meanwhile, for the next connection under the same id.
    explicit TestSubscriber(const std::string& clientId = {}, bool cleanSession = true) {
        mosquitto_lib_init();
        m_ = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), cleanSession, this);
    }
    TestSubscriber(const TestSubscriber&) = delete;
    TestSubscriber& operator=(const TestSubscriber&) = delete;
    ~TestSubscriber() {
        stop();
        mosquitto_destroy(m_);
        mosquitto_lib_cleanup();
    }

    // Connects and subscribes to filter (QoS 1), unless it is empty; true once the broker has
    // confirmed, so that nothing published after it is missed.
    bool start(int port, const std::string& filter = {}) {
        filter_ = filter;
        if (m_ == nullptr) return false;
        mosquitto_connect_callback_set(m_, [](mosquitto* m, void* self, int rc) {
            auto* s = static_cast<TestSubscriber*>(self);
            if (rc == 0 && !s->filter_.empty())
                mosquitto_subscribe(m, nullptr, s->filter_.c_str(), 1);
            else if (rc == 0)
                s->update([s] { s->subscribed_ = true; });
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* self, int, int, const int*) {
            auto* s = static_cast<TestSubscriber*>(self);
            s->update([s] { s->subscribed_ = true; });
        });
        mosquitto_publish_callback_set(m_, [](mosquitto*, void* self, int) {
            auto* s = static_cast<TestSubscriber*>(self);
            s->update([s] { ++s->acknowledged_; });
        });
        mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* s = static_cast<TestSubscriber*>(self);
            s->update([&] {
                s->messages_.push_back({m->topic,
                                        std::string(static_cast<const char*>(m->payload),
                                                    static_cast<std::size_t>(m->payloadlen)),
                                        m->retain,
                                        std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count()});
            });
        });
        if (mosquitto_connect(m_, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) return false;
        if (mosquitto_loop_start(m_) != MOSQ_ERR_SUCCESS) return false;
        running_ = true;
        // The bound catches a broker that never answers, not a slow one.
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60), [this] { return subscribed_; });
    }

    void stop() {
        if (!running_) return;
        running_ = false;
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
    }

    // At QoS 1; acknowledged() counts the broker's acknowledgements.
    void publish(const std::string& topic, const std::string& payload, bool retain = false) {
        mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, retain);
    }
    int acknowledged() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return acknowledged_;
    }

    std::vector<Message> messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    // Waits in real time until pred holds for the messages so far, at most seconds.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& pred, double seconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                 [&] { return pred(messages_); });
    }
    // The same for the acknowledgements of what it published.
    bool waitForAcknowledged(int n, double seconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                 [&] { return acknowledged_ >= n; });
    }

  private:
    void update(const std::function<void()>& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        change();
        changed_.notify_all();
    }

    mosquitto* m_ = nullptr;
    bool running_ = false;
    std::string filter_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool subscribed_ = false;
    int acknowledged_ = 0;
    std::vector<Message> messages_;
};
