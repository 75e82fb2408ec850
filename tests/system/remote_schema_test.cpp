// What remote monitoring publishes, against the JSON Schemas in docs/schema: the demo station
// (whose drivers acknowledge and reset as an operator would) against vnk-sim and a real
// broker, two pumps tripping, acknowledged and reset in both orders, a stage started and
// ended, every payload of the run checked by python3-jsonschema (payload_schemas.py, which
// also shows that each schema rejects an unknown field and a missing one).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/broker_process.h"
#include "support/files.h"
#include "support/remote_station.h"

namespace {

class RemoteSchemas : public remotetest::RemoteStationTest {};

TEST_F(RemoteSchemas, EveryPayloadOfARunWithTripsAcknowledgedAndClearedKeepsToItsSchema) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    TestSubscriber watch;
    ASSERT_TRUE(watch.start(broker.port(), "vnk/#"));
    configure(0, broker.port());
    // Pump 3: tripped, acknowledged, then reset (cleared, acknowledged). Pump 4: tripped,
    // reset (cleared, unacknowledged), then acknowledged.
    startSim({"--event", "trip=3@8", "--event", "trip=4@17"});
    setenv("VNK_DEMO_ACKNOWLEDGE", "14,27", 1);
    setenv("VNK_DEMO_RESET", "3@22,4@22", 1);
    setenv("VNK_DEMO_STAGE_START", "8", 1);
    setenv("VNK_DEMO_STAGE_END", "20", 1);
    ASSERT_TRUE(startStation());
    for (const char* v : {"VNK_DEMO_ACKNOWLEDGE", "VNK_DEMO_RESET", "VNK_DEMO_STAGE_START",
                          "VNK_DEMO_STAGE_END"})
        unsetenv(v);
    // The run's last step: pump 4's trip, reset, acknowledged at 27 s.
    ASSERT_TRUE(watch.waitFor(
        [](const auto& all) {
            return std::any_of(all.begin(), all.end(), [](const TestSubscriber::Message& m) {
                return m.payload.find("\"pump\":4,") != std::string::npos &&
                       m.payload.find(R"("state":"cleared","acknowledged":true)") !=
                           std::string::npos;
            });
        },
        120.0));
    ASSERT_EQ(station.stop(), 0);  // the clean exit's "offline"
    ASSERT_TRUE(watch.waitFor(
        [](const auto& all) {
            return !all.empty() && all.back().payload.find("\"offline\"") != std::string::npos;
        },
        60.0));

    const std::filesystem::path payloads = dir / "payloads.txt";
    {
        std::ofstream out(payloads, std::ios::binary);
        for (const auto& m : watch.messages()) out << m.topic << '\t' << m.payload << '\n';
    }
    const std::string source = VNK_SOURCE_DIR;
    const pid_t pid = SpawnProcess({"/usr/bin/python3", source + "/tests/system/payload_schemas.py",
                                    source + "/docs/schema", payloads.string()},
                                   (dir / "schemas.log").string(), true);
    int status = -1;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << readFile(dir / "schemas.log") << "(python3-jsonschema: scripts/deps.sh installs it)";
}

}  // namespace
