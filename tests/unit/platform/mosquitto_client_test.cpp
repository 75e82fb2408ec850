// The MQTT client on libmosquitto against a real mosquitto broker, the events pumped from a
// SimLoop in real time: what reaches the broker and what the station hears back, each way an
// attempt or a connection ends and the reason it gives, and the station's own endings (abort,
// close, destruction), after which nothing of the attempt is heard.
#include "platform/real/mosquitto_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/sim_loop.h"
#include "support/broker_process.h"

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
// Long enough for a local broker to have answered, when the test checks that what it
// answered is not delivered.
constexpr double kLocalRoundTrip = 0.3;

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
        client = backEnd.create(o, {[this](const MqttConnection&) { note("connected"); },
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
    // What a subscriber that arrives now is given: the retained messages.
    Messages retainedOn(const std::string& filter, std::size_t expected) {
        TestSubscriber late;
        EXPECT_TRUE(late.start(broker.port(), filter));
        late.waitFor([&](const Messages& ms) { return ms.size() >= expected; }, kPatience);
        ::usleep(50000);  // for any message beyond those expected
        return late.messages();
    }

    SimLoop loop;
    MosquittoBackEnd backEnd;
    BrokerProcess broker;
    std::unique_ptr<MqttClient> client;
    std::vector<std::string> events;
    std::vector<int> acks;
    std::thread::id loopThread = std::this_thread::get_id();
    std::atomic<bool> offLoopThread{false};
};

TEST_F(MosquittoClientTest, PublishesAreAcknowledgedOnTheLoopAndOnlyRetainedOnesAreKept) {
    ASSERT_TRUE(broker.start()) << broker.log();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "vnk/#"));
    create(options(broker.port()));

    client->connect();
    client->connect();  // under way: no second attempt
    EXPECT_EQ(client->publish("vnk/station/pump/1", "1200", 1, true), -1) << "before the CONNACK";
    ::usleep(static_cast<useconds_t>(kLocalRoundTrip * 1e6));
    EXPECT_TRUE(events.empty()) << "the broker's answer arrived outside the loop's turn";
    ASSERT_TRUE(eventCount(1));
    pumpFor(0.05);
    EXPECT_THAT(events, ElementsAre("connected"));

    const int retained = client->publish("vnk/station/pump/1", "1200", 1, true);
    const int fast = client->publish("vnk/station/rate", "14.4", 0, false);
    const int alarm = client->publish("vnk/station/alarm", "overpressure", 1, false);
    EXPECT_GT(retained, 0);
    EXPECT_EQ(fast, 0);
    EXPECT_GT(alarm, 0);
    EXPECT_NE(retained, alarm);
    EXPECT_EQ(client->publish("vnk/station/#", "x", 1, false), -1) << "no wildcard in a topic";
    ASSERT_TRUE(pumpUntil([&] { return acks.size() >= 2; }));
    pumpFor(0.05);  // a QoS 0 message is never acknowledged
    EXPECT_THAT(acks, UnorderedElementsAre(retained, alarm));

    ASSERT_TRUE(watcher.waitFor([](const Messages& ms) { return ms.size() >= 3; }, kPatience));
    std::vector<std::string> seen;
    for (const auto& m : watcher.messages()) seen.push_back(m.topic + "=" + m.payload);
    EXPECT_THAT(seen, UnorderedElementsAre("vnk/station/pump/1=1200", "vnk/station/rate=14.4",
                                           "vnk/station/alarm=overpressure"));
    const Messages kept = retainedOn("vnk/#", 1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].topic, "vnk/station/pump/1");
    EXPECT_EQ(kept[0].payload, "1200");
    EXPECT_TRUE(kept[0].retain);
    EXPECT_THAT(events, ElementsAre("connected"));
}

TEST_F(MosquittoClientTest, CredentialsTheBrokerRefusesEndTheAttemptWithTheReason) {
    ASSERT_TRUE(broker.start({"station", "secret"})) << broker.log();
    struct Case {
        std::string user;
        std::string password;
        std::string outcome;
    };
    const Case cases[] = {
        {"station", "wrong", "ended: connection refused: not authorised"},
        {"", "", "ended: connection refused: not authorised"},
        {"intruder", "secret", "ended: connection refused: not authorised"},
        {"station", "secret", "connected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user + "/" + c.password);
        events.clear();
        MqttOptions o = options(broker.port());
        o.user = c.user;
        o.password = c.password;
        create(o);
        client->connect();
        ASSERT_TRUE(eventCount(1));
        pumpFor(0.05);
        EXPECT_THAT(events, ElementsAre(c.outcome));
    }
}

TEST_F(MosquittoClientTest, NoBrokerOnThePortEndsEachAttemptAtOnceWithTheSystemsReason) {
    MqttOptions o = options(FreeLocalPort());
    // The station tries again from the handler; the second ending drops the client there.
    client = backEnd.create(o, {[this](const MqttConnection&) { note("connected"); },
                                [this](const std::string& reason) {
                                    note("ended: " + reason);
                                    if (events.size() == 1)
                                        client->connect();
                                    else
                                        client.reset();
                                },
                                nullptr, nullptr});
    client->connect();
    ASSERT_TRUE(eventCount(2, 2.0));
    EXPECT_THAT(events, ElementsAre("ended: cannot connect: connection refused",
                                    "ended: cannot connect: connection refused"));
    EXPECT_EQ(client, nullptr);
}

TEST_F(MosquittoClientTest, HostNameIsLookedUpOffTheLoop) {
    MqttOptions o = options(1883);
    o.host = "nosuch.invalid";
    create(o);
    // Bounded for a resolver that is slow to say no; this machine's says it in milliseconds.
    const auto start = Clock::now();
    client->connect();
    EXPECT_LT(secondsSince(start), 1.0);  // a lookup on the loop would wait for the resolver
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(eventCount(1));
    EXPECT_THAT(events, ElementsAre(StartsWith("ended: cannot resolve host nosuch.invalid: ")));
}

// An attempt the station gives up on, by abort or by destroying the client, ends at once and
// is heard of no more: when its answer already waits on the loop's queue (it is not the next
// attempt's answer), and against a broker that never answers, which holds the attempt until
// the station ends it.
TEST_F(MosquittoClientTest, AnAttemptTheStationEndsIsHeardOfNoMore) {
    ASSERT_TRUE(broker.start()) << broker.log();
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "aborted");
        const auto end = [&] {
            const auto start = Clock::now();
            if (destroy)
                client.reset();
            else
                client->abort();
            EXPECT_LT(secondsSince(start), 3.0);  // a hang, not a slow machine
        };
        create(options(broker.port()));
        client->connect();
        ::usleep(static_cast<useconds_t>(kLocalRoundTrip * 1e6));
        end();
        broker.pause();
        if (destroy) create(options(broker.port()));
        client->connect();
        pumpFor(2.0);
        EXPECT_TRUE(events.empty()) << "the client timed the attempt out by itself";
        end();
        pumpFor(kLocalRoundTrip);
        EXPECT_TRUE(events.empty());

        broker.resume();
        if (destroy) create(options(broker.port()));
        EXPECT_TRUE(connectNow()) << "the same client once the broker answers again";
        events.clear();
    }
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
        EXPECT_GT(client->publish("vnk/station/pump/1", "900", 1, false), 0);
        // The acknowledgement reaches the loop's queue, but the loop has not turned yet.
        ::usleep(static_cast<useconds_t>(kLocalRoundTrip * 1e6));
        const auto start = Clock::now();
        client->abort();
        EXPECT_LT(secondsSince(start), 2.0);  // a hang, not a slow machine
        // The broker learns of it now, not at the client thread's next turn.
        ASSERT_TRUE(watcher.waitFor(
            [round](const Messages& ms) { return static_cast<int>(ms.size()) >= round; }, 3.0));
        pumpFor(kLocalRoundTrip);
        EXPECT_THAT(events, ElementsAre("connected"));
        EXPECT_TRUE(acks.empty());
    }
    for (const auto& m : watcher.messages()) EXPECT_EQ(m.payload, "offline");
    const Messages kept = retainedOn("vnk/station/state", 1);
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
    const Messages kept = retainedOn("vnk/station/state", 1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].payload, "closed");
    EXPECT_TRUE(kept[0].retain);
    pumpFor(kLocalRoundTrip);
    EXPECT_FALSE(hasPayload("offline")(watcher.messages())) << "a clean end published the will";
    EXPECT_THAT(events, ElementsAre("connected"));

    // Not connected: nothing to send, no waiting.
    create(options(broker.port()));
    auto start = Clock::now();
    EXPECT_FALSE(client->close("vnk/station/state", "closed again", 2.0));
    EXPECT_LT(secondsSince(start), 2.0);  // a hang, not a slow machine

    // A broker that has stopped answering: the wait ends at the time given.
    ASSERT_TRUE(connectNow());
    broker.pause();
    start = Clock::now();
    EXPECT_FALSE(client->close("vnk/station/state", "closed late", 0.5));
    EXPECT_GE(secondsSince(start), 0.5);
    EXPECT_LT(secondsSince(start), 5.0);  // a hang, not a slow machine
    broker.resume();
    pumpFor(kLocalRoundTrip);
    EXPECT_THAT(events, ElementsAre("connected", "connected"));
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

}  // namespace
