// The MQTT client on libmosquitto against a real mosquitto broker, the events pumped from a
// SimLoop in real time: what reaches the broker and what the station hears back, each way an
// attempt or a connection ends and the reason it gives, and the station's own endings (abort,
// close, destruction), after which nothing of the attempt is heard. A scripted broker plays
// what a real one does not on purpose (MQTT 3.1.1 only, no acknowledgement, lies about
// packet sizes), and a delaying relay a satellite link.
#include "platform/real/mosquitto_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/sim_loop.h"
#include "support/broker_process.h"
#include "support/delay_proxy.h"
#include "support/fake_broker.h"

namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;
using Clock = std::chrono::steady_clock;
using Messages = std::vector<TestSubscriber::Message>;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// How long a thing that should happen may take on a loaded machine under the sanitizers.
constexpr double kPatience = 5.0;
// A call that should return at once and has not after this is hung; nothing is judged by
// how long it took below that.
constexpr double kHang = 10.0;
// The loop turned for a while, where no event can prove that nothing more is coming.
constexpr double kLocalRoundTrip = 0.3;

void expectNoHang(Clock::time_point start) {
    EXPECT_LT(secondsSince(start), kHang) << "a hang, not a slow machine";
}

// The loop, counting what the client's thread hands it: each is an answer from the broker
// (or the end of an attempt) waiting for the loop's turn.
class CountingLoop : public SimLoop {
  public:
    void postFromAnyThread(Callback fn) override {
        ++posted;
        SimLoop::postFromAnyThread(std::move(fn));
    }
    bool postedBeyond(int before) const {
        for (int i = 0; i < kPatience * 1000 && posted <= before; ++i) ::usleep(1000);
        return posted > before;
    }
    std::atomic<int> posted{0};
};

auto hasPayload(const std::string& payload) {
    return [payload](const Messages& ms) {
        for (const auto& m : ms)
            if (m.payload == payload) return true;
        return false;
    };
}

class MosquittoClientTest : public ::testing::Test {
  protected:
    void SetUp() override { setLoop(&loop); }
    void TearDown() override {
        client.reset();
        loop.processEvents();
        setLoop(nullptr);
        EXPECT_FALSE(offLoopThread) << "an event was delivered off the loop's thread";
    }

    MqttOptions options(int port) const {
        MqttOptions o;
        o.host = "127.0.0.1";
        o.port = port;
        o.clientId = "vnk-station-test";
        o.willTopic = "vnk/station/state";
        o.willPayload = "offline";
        o.keepAliveSeconds = 10;
        return o;
    }
    void create(const MqttOptions& o) {
        client = backEnd.create(o, {[this](const MqttConnection& c) {
                                        connection = c;
                                        note("connected");
                                    },
                                    [this](const std::string& reason) { note("ended: " + reason); },
                                    [this](int id) {
                                        checkThread();
                                        acks.push_back(id);
                                    },
                                    [this](int id, int code, const std::string& reason) {
                                        note("refused " + std::to_string(id) + " " +
                                             std::to_string(code) + ": " + reason);
                                    }});
    }
    void note(std::string event) {
        checkThread();
        events.push_back(std::move(event));
    }
    void checkThread() {
        if (std::this_thread::get_id() != loopThread) offLoopThread = true;
    }

    // Turns the loop in real time until pred holds or seconds have passed.
    bool pumpUntil(const std::function<bool()>& pred, double seconds = kPatience) {
        const auto start = Clock::now();
        for (;;) {
            loop.processEvents();
            if (pred()) return true;
            if (secondsSince(start) > seconds) return false;
            ::usleep(2000);
        }
    }
    void pumpFor(double seconds) {
        pumpUntil([] { return false; }, seconds);
    }
    bool eventCount(std::size_t n, double seconds = kPatience) {
        return pumpUntil([&] { return events.size() >= n; }, seconds);
    }
    // Connects the client and waits for the broker's answer.
    bool connectNow() {
        const std::size_t before = events.size();
        client->connect();
        return eventCount(before + 1) && events.back() == "connected";
    }
    // Another client's message on topic, and the wait until watcher has it: whatever the
    // broker sent watcher before (a will, the retained messages) has arrived by then.
    void passMarker(TestSubscriber& watcher, const std::string& topic) {
        MqttOptions o = options(broker.port());
        o.clientId = "vnk-marker";
        o.willTopic.clear();
        bool up = false;
        auto marker = backEnd.create(o, {[&](const MqttConnection&) { up = true; },
                                         [](const std::string&) {}, nullptr, nullptr});
        marker->connect();
        ASSERT_TRUE(pumpUntil([&] { return up; }));
        const std::string payload = "marker " + std::to_string(++markers);
        ASSERT_GT(marker->publish(topic, payload, 1, false), 0);
        ASSERT_TRUE(watcher.waitFor(hasPayload(payload), kPatience));
    }
    // Waits until the broker has seen the station's connection end n times in all: a will
    // it publishes for it is on its way to the subscribers by then.
    bool brokerSawEnds(std::size_t n) {
        return pumpUntil([&] {
            const std::string log = broker.log();
            std::size_t ends = 0;
            for (const char* said : {"Client vnk-station-test disconnected",
                                     "Client vnk-station-test closed its connection",
                                     "on client vnk-station-test, disconnecting"})
                for (auto at = log.find(said); at != std::string::npos; at = log.find(said, at + 1))
                    ++ends;
            return ends >= n;
        });
    }
    // What a subscriber that arrives now is given: the retained messages.
    Messages retainedOn(const std::string& filter) {
        TestSubscriber late;
        EXPECT_TRUE(late.start(broker.port(), filter));
        passMarker(late, filter.ends_with("#") ? "vnk/station/marker" : filter);
        Messages kept = late.messages();
        std::erase_if(kept, [](const auto& m) { return m.payload.starts_with("marker"); });
        return kept;
    }

    int markers = 0;
    CountingLoop loop;
    MosquittoBackEnd backEnd;
    BrokerProcess broker;
    std::unique_ptr<MqttClient> client;
    std::vector<std::string> events;
    MqttConnection connection{false, 0};
    std::vector<int> acks;
    std::thread::id loopThread = std::this_thread::get_id();
    std::atomic<bool> offLoopThread{false};
};

TEST_F(MosquittoClientTest, PublishesAreAcknowledgedOnTheLoopAndOnlyRetainedOnesAreKept) {
    ASSERT_TRUE(broker.start({.acl = "topic readwrite vnk/station/#"})) << broker.log();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "vnk/#"));
    create(options(broker.port()));

    client->connect();
    client->connect();  // under way: no second attempt
    EXPECT_EQ(client->publish("vnk/station/pump/1", "1200", 1, true), -1) << "before the CONNACK";
    ASSERT_TRUE(loop.postedBeyond(0));
    EXPECT_TRUE(events.empty()) << "the broker's answer arrived outside the loop's turn";
    ASSERT_TRUE(eventCount(1));
    pumpFor(0.05);
    EXPECT_THAT(events, ElementsAre("connected"));
    EXPECT_TRUE(connection.refusalsReported);

    const int retained = client->publish("vnk/station/pump/1", "1200", 1, true);
    const int fast = client->publish("vnk/station/rate", "14.4", 0, false);
    const int denied = client->publish("vnk/other/event", "x", 1, false);  // the access list
    const int alarm = client->publish("vnk/station/alarm", "overpressure", 1, false);
    EXPECT_GT(retained, 0);
    EXPECT_EQ(fast, 0);
    EXPECT_GT(alarm, 0);
    EXPECT_NE(retained, alarm);
    EXPECT_EQ(client->publish("vnk/station/#", "x", 1, false), -1) << "no wildcard in a topic";
    ASSERT_TRUE(pumpUntil([&] { return acks.size() >= 2 && events.size() >= 2; }));
    pumpFor(0.05);  // a QoS 0 message is never acknowledged
    EXPECT_THAT(acks, UnorderedElementsAre(retained, alarm));
    EXPECT_THAT(events, ElementsAre("connected", "refused " + std::to_string(denied) +
                                                     " 135: not authorised"));
    events.pop_back();

    ASSERT_TRUE(watcher.waitFor([](const Messages& ms) { return ms.size() >= 3; }, kPatience));
    std::vector<std::string> seen;
    for (const auto& m : watcher.messages()) seen.push_back(m.topic + "=" + m.payload);
    EXPECT_THAT(seen, UnorderedElementsAre("vnk/station/pump/1=1200", "vnk/station/rate=14.4",
                                           "vnk/station/alarm=overpressure"));
    const Messages kept = retainedOn("vnk/#");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].topic, "vnk/station/pump/1");
    EXPECT_EQ(kept[0].payload, "1200");
    EXPECT_TRUE(kept[0].retain);
    EXPECT_THAT(events, ElementsAre("connected"));
}

TEST_F(MosquittoClientTest, AbortLeavesTheWillRetainedAndNothingOfTheConnectionIsHeardAfter) {
    ASSERT_TRUE(broker.start()) << broker.log();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "vnk/station/state"));
    create(options(broker.port()));

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        events.clear();
        acks.clear();
        ASSERT_TRUE(connectNow());
        const int before = loop.posted;
        EXPECT_GT(client->publish("vnk/station/pump/1", "900", 1, false), 0);
        // The acknowledgement reaches the loop's queue, but the loop has not turned yet.
        ASSERT_TRUE(loop.postedBeyond(before));
        const auto start = Clock::now();
        client->abort();
        expectNoHang(start);
        // The broker learns of it now, not at the client thread's next turn (the keep-alive's
        // ten seconds).
        ASSERT_TRUE(watcher.waitFor(
            [round](const Messages& ms) { return static_cast<int>(ms.size()) >= round; }, kPatience));
        loop.processEvents();  // the acknowledgement already queued is dropped
        EXPECT_THAT(events, ElementsAre("connected"));
        EXPECT_TRUE(acks.empty());
    }
    for (const auto& m : watcher.messages()) EXPECT_EQ(m.payload, "offline");
    const Messages kept = retainedOn("vnk/station/state");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].payload, "offline");
    EXPECT_TRUE(kept[0].retain);
}

TEST_F(MosquittoClientTest, CloseLeavesTheLastMessageRetainedInsteadOfTheWill) {
    ASSERT_TRUE(broker.start()) << broker.log();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "vnk/station/state"));
    create(options(broker.port()));
    ASSERT_TRUE(connectNow());

    EXPECT_TRUE(client->close("vnk/station/state", "closed", 2.0));
    const Messages kept = retainedOn("vnk/station/state");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].payload, "closed");
    EXPECT_TRUE(kept[0].retain);
    ASSERT_TRUE(brokerSawEnds(1));
    passMarker(watcher, "vnk/station/state");
    EXPECT_FALSE(hasPayload("offline")(watcher.messages())) << "a clean end published the will";
    EXPECT_THAT(events, ElementsAre("connected"));

    // disconnect(): the same clean end without waiting, also when the client goes soon after.
    create(options(broker.port()));
    ASSERT_TRUE(connectNow());
    const auto at = Clock::now();
    client->disconnect();
    expectNoHang(at);
    pumpFor(kLocalRoundTrip);
    client.reset();
    ASSERT_TRUE(brokerSawEnds(2));
    passMarker(watcher, "vnk/station/state");
    EXPECT_FALSE(hasPayload("offline")(watcher.messages())) << "a clean end published the will";
    EXPECT_THAT(events, ElementsAre("connected", "connected"));
    events.clear();

    // Not connected: nothing to send, no waiting.
    create(options(broker.port()));
    auto start = Clock::now();
    EXPECT_FALSE(client->close("vnk/station/state", "closed again", 2.0));
    expectNoHang(start);

    // A broker that has stopped answering: the wait ends at the time given.
    ASSERT_TRUE(connectNow());
    broker.pause();
    start = Clock::now();
    EXPECT_FALSE(client->close("vnk/station/state", "closed late", 0.5));
    EXPECT_GE(secondsSince(start), 0.5) << "the time given";
    expectNoHang(start);
    broker.resume();
    pumpFor(kLocalRoundTrip);
    EXPECT_THAT(events, ElementsAre("connected"));
}

TEST_F(MosquittoClientTest, BrokerGoneEndsTheConnectionAndTheNextAttemptFindsItBack) {
    ASSERT_TRUE(broker.start()) << broker.log();
    create(options(broker.port()));
    ASSERT_TRUE(connectNow());

    broker.kill9();
    ASSERT_TRUE(eventCount(2));
    EXPECT_EQ(events[1], "ended: connection lost");
    EXPECT_EQ(client->publish("vnk/station/pump/1", "0", 1, false), -1);

    ASSERT_TRUE(broker.restart()) << broker.log();
    ASSERT_TRUE(connectNow());
    broker.stop();
    ASSERT_TRUE(eventCount(4));
    EXPECT_EQ(events[3], "ended: connection lost");
    pumpFor(0.05);
    EXPECT_EQ(events.size(), 4u);
}

// A self-signed certificate for 127.0.0.1, made with the openssl command.
bool makeCertificate(const std::filesystem::path& dir) {
    const pid_t pid = SpawnProcess(
        {"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
         "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", (dir / "key.pem").string(), "-out",
         (dir / "cert.pem").string()},
        (dir / "openssl.out").string());
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_F(MosquittoClientTest, TlsConnectsOnlyWithAnAuthorityThatVouchesForTheBroker) {
    ASSERT_TRUE(makeCertificate(broker.dir()));
    const std::string cert = (broker.dir() / "cert.pem").string();
    ASSERT_TRUE(broker.start({.certFile = cert, .keyFile = (broker.dir() / "key.pem").string()}))
        << broker.log();
    struct Case {
        std::string caFile;
        std::string outcome;
    };
    const Case cases[] = {
        {"/nonexistent/ca.pem", "ended: TLS: cannot read CA file /nonexistent/ca.pem"},
        {"", "ended: TLS: certificate verify failed"},  // the system's authorities
        {cert, "connected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caFile);
        events.clear();
        MqttOptions o = options(broker.port());
        o.tls = true;
        o.caFile = c.caFile;
        create(o);
        client->connect();
        ASSERT_TRUE(eventCount(1));
        EXPECT_THAT(events, ElementsAre(c.outcome));
    }
    const int id = client->publish("vnk/station/pump/1", "1500", 1, false);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(pumpUntil([&] { return !acks.empty(); }));
    EXPECT_THAT(acks, ElementsAre(id));
}

// What other brokers answer a CONNECT with: one that speaks only MQTT 3.1.1 (it refuses the
// protocol version or closes) is tried again at once with 3.1.1 and cannot report refusals;
// MQTT 5's refusals keep the texts of 3.1.1's.
TEST_F(MosquittoClientTest, OtherBrokersAnswersToTheConnect) {
    struct Case {
        int v5Answer;  // CONNACK reason code; -1: a 3.1.1 CONNACK "unacceptable protocol
                       // version", -2: the connection closed
        int receiveMaximum;
        std::string outcome;
        std::vector<int> levels;  // of the CONNECTs the broker read
    };
    const Case cases[] = {
        {-1, 0, "connected, refusals not reported, 65535 at once", {5, 4}},
        {-2, 0, "connected, refusals not reported, 65535 at once", {5, 4}},
        {0, 100, "connected, refusals reported, 100 at once", {5}},
        {0x86, 0, "ended: connection refused: not authorised (bad user name or password)", {5}},
        {0x87, 0, "ended: connection refused: not authorised", {5}},
        {0x85, 0, "ended: connection refused: client identifier rejected", {5}},
        {0x89, 0, "ended: connection refused: server unavailable", {5}},
        {0x97, 0, "ended: connection refused: quota exceeded", {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        std::mutex mutex;
        std::vector<int> levels;
        FakeBroker fake([&](FakeBroker::Connection& link) {
            const int level = link.readConnect();
            {
                std::lock_guard<std::mutex> lock(mutex);
                levels.push_back(level);
            }
            if (level == 4) {
                link.send(FakeBroker::connack(4, 0));
            } else if (c.v5Answer == -2) {
                return;
            } else if (c.v5Answer == -1) {
                link.send(FakeBroker::connack(4, 1));
                return;
            } else {
                link.send(FakeBroker::connack(5, c.v5Answer, c.receiveMaximum));
            }
            link.serve();
        });
        events.clear();
        create(options(fake.port()));
        client->connect();
        ASSERT_TRUE(eventCount(1));
        pumpFor(0.05);
        ASSERT_EQ(events.size(), 1u);
        if (events[0] == "connected")
            events[0] += std::string(", refusals ") +
                         (connection.refusalsReported ? "reported" : "not reported") + ", " +
                         std::to_string(connection.receiveMaximum) + " at once";
        EXPECT_EQ(events[0], c.outcome);
        client.reset();
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(levels, c.levels);
    }
}

// libmosquitto numbers QoS 0 and QoS 1 messages from one 16-bit counter: a QoS 1 message
// still unanswered after 30000 later publishes ends the connection before its number can
// come round to another message. As many QoS 1 messages go out before any answer as the
// options say (the broker names no lower Receive Maximum here); the rest wait in the client.
TEST_F(MosquittoClientTest, AMessageUnansweredFor30000LaterOnesEndsTheConnection) {
    std::atomic<int> qos1Seen{0};
    FakeBroker fake([&](FakeBroker::Connection& link) {
        link.readConnect();
        link.send(FakeBroker::connack(5, 0));
        link.serve([&](const FakeBroker::Packet& p) {
            if (p.type == 3 && (p.flags & 0x06) != 0) ++qos1Seen;
        });
    });
    create(options(fake.port()));
    ASSERT_TRUE(connectNow());
    const int first = client->publish("vnk/station/event", "1", 1, false);
    ASSERT_GT(first, 0);
    for (int i = 1; i < 300; ++i) ASSERT_GT(client->publish("vnk/station/event", "e", 1, false), 0);
    const int sendMaximum = options(fake.port()).sendMaximum;
    ASSERT_TRUE(pumpUntil([&] { return qos1Seen >= sendMaximum; }))
        << qos1Seen << " before an answer";
    pumpFor(kLocalRoundTrip);
    EXPECT_EQ(qos1Seen, sendMaximum);
    for (int i = 300; i < 30000; ++i) ASSERT_EQ(client->publish("vnk/station/rate", "r", 0, false), 0);
    pumpFor(kLocalRoundTrip);
    EXPECT_THAT(events, ElementsAre("connected")) << "29999 later publishes";
    EXPECT_EQ(client->publish("vnk/station/rate", "r", 0, false), 0);
    ASSERT_TRUE(eventCount(2));
    EXPECT_EQ(events[1], "ended: connection lost: message " + std::to_string(first) +
                             " unanswered after 30000 later messages");
    EXPECT_EQ(client->publish("vnk/station/rate", "r", 0, false), -1);
    EXPECT_TRUE(acks.empty());
    pumpFor(kLocalRoundTrip);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_TRUE(connectNow()) << "the next attempt";
}

// A site name server that does not answer holds the client's thread in the lookup: replacing
// the client (Apply, twice) returns at once all the same.
TEST_F(MosquittoClientTest, DestroyingAClientWhoseLookupHangsDoesNotWait) {
    // Shared with the client threads, which outlive the test: they leave the hook only after
    // the test has let them go and returned.
    struct Lookups {
        std::mutex mutex;
        std::condition_variable answer;
        bool answered = false;
        int entered = 0;
    };
    const auto lookups = std::make_shared<Lookups>();
    struct Release {
        std::shared_ptr<Lookups> lookups;
        ~Release() {
            std::lock_guard<std::mutex> lock(lookups->mutex);
            lookups->answered = true;
            lookups->answer.notify_all();
        }
    } const release{lookups};
    backEnd.setBeforeLookup([lookups](const std::string&) {
        std::unique_lock<std::mutex> lock(lookups->mutex);
        ++lookups->entered;
        lookups->answer.notify_all();
        lookups->answer.wait(lock, [&] { return lookups->answered; });
    });
    for (int round = 1; round <= 2; ++round) {
        create(options(FreeLocalPort()));
        client->connect();
        {
            std::unique_lock<std::mutex> lock(lookups->mutex);
            ASSERT_TRUE(lookups->answer.wait_for(lock, std::chrono::seconds(5),
                                                 [&] { return lookups->entered == round; }));
        }
        const auto start = Clock::now();
        client.reset();
        // A client that waited for its thread would wait a second, or for good.
        EXPECT_LT(secondsSince(start), 0.5) << "round " << round;
    }
    std::lock_guard<std::mutex> lock(lookups->mutex);
    EXPECT_EQ(lookups->entered, 2) << "both lookups still hang";
}

// An exit with a full window in flight on a slow link (the broker takes 20 at a time, its
// Receive Maximum unless configured): "offline" is not acknowledged within the station's
// budget, so the connection ends without a DISCONNECT and the broker publishes the will,
// which a later viewer finds retained.
TEST_F(MosquittoClientTest, AnExitBehindABacklogOnASlowLinkLeavesTheWill) {
    ASSERT_TRUE(broker.start()) << broker.log();
    DelayProxy satellite(broker.port(), 0.3);
    create(options(satellite.port()));
    ASSERT_TRUE(connectNow());
    const int birth = client->publish("vnk/station/state", "online", 1, true);
    ASSERT_TRUE(pumpUntil([&] { return acks.size() == 1; }));
    EXPECT_THAT(acks, ElementsAre(birth));
    for (int i = 0; i < 256; ++i) ASSERT_GT(client->publish("vnk/station/event", "e", 1, false), 0);
    const auto start = Clock::now();
    EXPECT_FALSE(client->close("vnk/station/state", "offline (clean)", 1.0));
    expectNoHang(start);  // one that waited for the backlog would have been acknowledged
    TestSubscriber viewer;
    ASSERT_TRUE(viewer.start(broker.port(), "vnk/station/state"));
    EXPECT_TRUE(viewer.waitFor(hasPayload("offline"), kPatience)) << broker.log();
}

}  // namespace
