// A site broker bridged to a central one, both configured from broker/bridge.conf.example as
// a site fills it in: events a station handed to the site broker while the central broker
// was away, and across a restart of the site broker, all reach a historian that reads the
// central broker with a persistent session; the bridge's own state stays out of the
// stations' topics.
#include <gtest/gtest.h>
#include <mosquitto.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/broker_process.h"

namespace {

// One libmosquitto connection on its own thread, as a station's stand-in that counts the
// broker's acknowledgements, or as a historian with a persistent session.
class Client {
  public:
    Client(const std::string& clientId, bool cleanSession) {
        mosquitto_lib_init();
        m_ = mosquitto_new(clientId.c_str(), cleanSession, this);
        mosquitto_connect_callback_set(m_, [](mosquitto* m, void* self, int rc) {
            auto* c = static_cast<Client*>(self);
            if (rc == 0 && !c->filter_.empty()) {
                mosquitto_subscribe(m, nullptr, c->filter_.c_str(), 1);
                return;
            }
            c->update([&] { c->ready_ = rc == 0; });
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* self, int, int, const int*) {
            auto* c = static_cast<Client*>(self);
            c->update([&] { c->ready_ = true; });
        });
        mosquitto_publish_callback_set(m_, [](mosquitto*, void* self, int) {
            auto* c = static_cast<Client*>(self);
            c->update([&] { ++c->acknowledged_; });
        });
        mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* c = static_cast<Client*>(self);
            const std::string payload(static_cast<const char*>(m->payload),
                                      static_cast<std::size_t>(m->payloadlen));
            int id = 0;
            c->update([&] {
                if (std::string(m->topic) == "vnk/Pad_7/van1/event" &&
                    std::sscanf(payload.c_str(), "{\"id\":%d}", &id) == 1)
                    c->ids_.insert(id);
                else
                    c->others_.push_back(std::string(m->topic) + " " + payload);
            });
        });
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
        mosquitto_lib_cleanup();
    }

    // Connects (and subscribes to filter at QoS 1); true once the broker has answered.
    bool connect(int port, const std::string& filter = {}) {
        filter_ = filter;
        return mosquitto_connect(m_, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS &&
               mosquitto_loop_start(m_) == MOSQ_ERR_SUCCESS && waitFor([this] { return ready_; });
    }
    void publish(const std::string& topic, const std::string& payload) {
        mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, false);
    }
    bool waitFor(const std::function<bool()>& pred, int seconds = 60) {  // a hang bound
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), pred);
    }

    int acknowledged_ = 0;
    std::set<int> ids_;
    std::vector<std::string> others_;
    std::mutex mutex_;

  private:
    void update(const std::function<void()>& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        change();
        changed_.notify_all();
    }

    mosquitto* m_ = nullptr;
    std::string filter_;
    bool ready_ = false;
    std::condition_variable changed_;
};

std::string ReadExample() {
    std::ifstream in(std::filesystem::path(VNK_SOURCE_DIR) / "broker" / "bridge.conf.example");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Bridge, KeepsEveryEventWhileTheCentralBrokerIsAwayAndAcrossASiteRestart) {
    const std::string example = ReadExample();
    const std::size_t bridgeAt = example.find("\nconnection ");
    ASSERT_NE(bridgeAt, std::string::npos) << "no bridge in broker/bridge.conf.example";

    // The central broker takes the example's broker-wide settings (persistence, queue bound),
    // as the example says a broker where historians read needs them; persistence_location is
    // the line a broker without Debian's main configuration adds.
    BrokerProcess central;
    ASSERT_TRUE(central.startWithConfig(example.substr(0, bridgeAt) + "\npersistence_location " +
                                        central.dir().string() + "/\n"))
        << central.log();
    const int events = 1500;
    {
        Client historian("historian", false);
        ASSERT_TRUE(historian.connect(central.port(), "vnk/#"));
    }
    central.stop();

    // The site fills in the central broker's address; TLS is not what this test is about.
    std::string site = std::regex_replace(example, std::regex("\naddress [^\n]*"),
                                          "\naddress 127.0.0.1:" + std::to_string(central.port()));
    site = std::regex_replace(site, std::regex("\nbridge_cafile [^\n]*"), "");
    BrokerProcess siteBroker;
    ASSERT_TRUE(siteBroker.startWithConfig(site + "\npersistence_location " +
                                           siteBroker.dir().string() + "/\n"))
        << siteBroker.log();
    {
        Client station("van1-events", true);
        ASSERT_TRUE(station.connect(siteBroker.port()));
        for (int id = 1; id <= events; ++id)
            station.publish("vnk/Pad_7/van1/event", "{\"id\":" + std::to_string(id) + "}");
        ASSERT_TRUE(station.waitFor([&] { return station.acknowledged_ == events; }, 30))
            << station.acknowledged_ << " of " << events << " acknowledged by the site broker";
    }
    siteBroker.stop();
    ASSERT_TRUE(siteBroker.restart()) << siteBroker.log();

    ASSERT_TRUE(central.restart()) << central.log();
    Client historian("historian", false);
    ASSERT_TRUE(historian.connect(central.port()));
    const bool all = historian.waitFor([&] { return historian.ids_.size() == events; }, 60);
    std::lock_guard<std::mutex> lock(historian.mutex_);
    EXPECT_TRUE(all) << historian.ids_.size() << " of " << events << " events arrived; site log:\n"
                     << siteBroker.log();
    // Under vnk/ only the stations' own messages: the bridge's "0"/"1" is not JSON.
    for (const std::string& m : historian.others_) ADD_FAILURE() << "under vnk/: " << m;
}

}  // namespace
