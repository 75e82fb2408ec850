// A site broker bridged to a central one, both configured from broker/bridge.conf.example as
// a site fills it in: events a station handed to the site broker while the central broker
// was away, and across a restart of the site broker, all reach a historian that reads the
// central broker with a persistent session; the bridge's own state stays out of the
// stations' topics.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "support/broker_process.h"

namespace {

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
        TestSubscriber historian("historian", false);
        ASSERT_TRUE(historian.start(central.port(), "vnk/#"));
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
        TestSubscriber station("van1-events");
        ASSERT_TRUE(station.start(siteBroker.port()));
        for (int id = 1; id <= events; ++id)
            station.publish("vnk/Pad_7/van1/event", "{\"id\":" + std::to_string(id) + "}");
        ASSERT_TRUE(station.waitForAcknowledged(events, 60))
            << station.acknowledged() << " of " << events << " acknowledged by the site broker";
    }
    siteBroker.stop();
    ASSERT_TRUE(siteBroker.restart()) << siteBroker.log();

    ASSERT_TRUE(central.restart()) << central.log();
    TestSubscriber historian("historian", false);  // its session holds the subscription
    ASSERT_TRUE(historian.start(central.port()));
    const auto arrived = [](const std::vector<TestSubscriber::Message>& all) {
        std::set<std::string> ids;
        for (const auto& m : all)
            if (m.topic == "vnk/Pad_7/van1/event") ids.insert(m.payload);
        return ids.size();
    };
    EXPECT_TRUE(historian.waitFor([&](const auto& all) { return arrived(all) == events; }, 60))
        << arrived(historian.messages()) << " of " << events << " events arrived; site log:\n"
        << siteBroker.log();
    // Under vnk/ only the stations' own messages: the bridge's "0"/"1" is not JSON.
    for (const auto& m : historian.messages())
        if (m.topic != "vnk/Pad_7/van1/event") ADD_FAILURE() << "under vnk/: " << m.topic << " " << m.payload;
}

}  // namespace
