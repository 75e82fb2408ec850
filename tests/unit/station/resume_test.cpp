// The resume after an unclean end, in virtual time against 24 simulated pumps that keep
// running while the station is gone: the station is "killed" (its modules back to the start
// of a run with no shut-down, the journal kept) and started again after a random pause, the
// E-stop loop broken at a random moment around the restart in some cases, from fixed seeds.
// Every pump is polled and the E-stop input sampled within 3 s; no pump is commanded unless
// the E-stop requires it, and then never above its speed; an unacknowledged trip stays so;
// the journal and the bank windows say "Restarted ..."; a clean end starts with the splash.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/journal.h"
#include "safety/estop.h"
#include "shell/resume.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"

using namespace safety;

namespace {

constexpr unsigned kSeeds[] = {3, 44, 512, 90210};
constexpr int kRestartsPerSeed = 4;
constexpr int kTripped = 4;  // pump 3A trips on overpressure before the first end

class Resume : public JournaledStationFleet {
  protected:
    // kill -9: nothing of the shut-down runs, the ports close with the process.
    void kill() {
        ResetStation();
        for (int port = 1; port <= 25; ++port) serial.close(port);
        heard.clear();
    }
    std::string footLine(int bank) const {
        if (ui::GetCtrlAttributeInt(BankPanel[bank], windows::BANK_REMOTE_STATUS,
                                    ui::ATTR_VISIBLE) == 0)
            return "";
        return ui::GetCtrlText(BankPanel[bank], windows::BANK_REMOTE_STATUS);
    }
    int restartedLines() const {
        return store.countOf(journal::Kind::Station, journal::kNoPump,
                             "Restarted after an unexpected end");
    }
};

TEST_F(Resume, AfterAnUncleanEndEveryPumpIsPolledAndNothingIsCommandedUnlessTheEStopAsks) {
    std::map<int, double> firstPoll;  // of the run in hand, as the fleet heard it
    double latchedAt = -1.0;
    bool first = true;
    for (unsigned seed : kSeeds) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> rpm(700, 1800);
        std::uniform_real_distribution<double> pause(0.0, 1.5), breakAt(-0.5, 2.5);
        // A clean end before each seed's fleet: the next start is a normal one, with its
        // splash and its waits, and no "Restarted".
        if (!first) {
            ShutDown(false);
            kill();
        }
        first = false;
        const int restartedBefore = restartedLines();
        const double startedAt = loop.now();
        start();
        EXPECT_GE(loop.now() - startedAt, 2.0 + 1.5 + 1.0 + 4.0) << "seed " << seed;
        EXPECT_EQ(restartedLines(), restartedBefore) << "seed " << seed;
        for (int p = 0; p < kPumps; ++p) fleet->unit(p).setSpeedSetpoint(rpm(random));
        fleet->unit(kTripped).setTripPsi(1000);
        fleet->unit(kTripped).setDischargeOverride(5000.0);
        loop.advance(3.0);
        ASSERT_TRUE(fleet->unit(kTripped).tripped());
        const std::vector<journal::Alarm> unacknowledged = journal::UnacknowledgedAlarms();
        ASSERT_FALSE(unacknowledged.empty()) << "the trip is an alarm";

        for (int restart = 0; restart < kRestartsPerSeed; ++restart) {
            const std::string at = "seed " + std::to_string(seed) + " restart " +
                                   std::to_string(restart);
            const std::int64_t lastEvent = store.events.back().timeMs;
            kill();
            loop.advance(pause(random));
            std::vector<int> before(kPumps);
            for (int p = 0; p < kPumps; ++p)
                before[p] = static_cast<int>(fleet->unit(p).motorRpm() + 0.5);
            const double brokeAfter = breakAt(random);
            const bool estop = restart % 2 == 1;  // the loop broken in every other case
            if (estop && brokeAfter < 0.0) breakLoop();
            firstPoll.clear();
            latchedAt = -1.0;
            fleet->onRequest = [&](int pump, const std::vector<std::uint8_t>& b) {
                if (b.size() >= 10 && (b[4] >> 6) == 3)
                    heard.push_back({loop.now(), pump, b[4] & 0x3F,
                                     std::vector<std::uint8_t>(b.begin() + 8, b.end() - 2)});
                if (!firstPoll.contains(pump)) firstPoll[pump] = loop.now();
                if (latchedAt < 0.0 && EStopActive() != 0) latchedAt = loop.now();
            };
            // Start-up runs the loop while it waits for the blender computer: the E-stop
            // broken meanwhile is posted to happen then.
            const double restartedAt = loop.now();
            if (estop && brokeAfter >= 0.0) loop.post(brokeAfter, [this] { breakLoop(); });
            ASSERT_TRUE(StartUp()) << at;
            loop.advance(std::max(0.0, 3.0 - (loop.now() - restartedAt)));
            for (int p = 0; p < kPumps; ++p) {
                ASSERT_TRUE(firstPoll.contains(p)) << at << " pump " << p + 1;
                EXPECT_LT(firstPoll[p] - restartedAt, 0.5) << at << " pump " << p + 1;
            }
            EXPECT_EQ(EStopActive(), estop ? 1 : 0) << at << ": the E-stop input sampled";
            if (estop) {
                // Seen at the first packet after the break (an idle round follows it).
                EXPECT_LT(latchedAt - restartedAt, std::max(brokeAfter, 0.0) + 0.2) << at;
            }
            for (int p = 0; p < kPumps; ++p) {
                for (int sent : speedsTo(p))
                    EXPECT_LE(sent, before[p]) << at << " pump " << p + 1 << ": raised";
                // Idled when the E-stop requires it, else nothing at all.
                EXPECT_EQ(speedsTo(p).empty(), !estop) << at << " pump " << p + 1;
            }
            for (const journal::Alarm& a : unacknowledged) {
                const journal::AlarmState now = journal::StateOf(a.pump, a.kind, a.name);
                EXPECT_TRUE(now == journal::AlarmState::ActiveUnacknowledged ||
                            now == journal::AlarmState::ClearedUnacknowledged)
                    << at << ": " << a.name;
            }
            const std::string restarted = RestartedText(lastEvent);
            EXPECT_EQ(restartedLines(), restartedBefore + restart + 1) << at;
            const journal::Event& said = *std::find_if(
                store.events.rbegin(), store.events.rend(), [](const journal::Event& e) {
                    return e.text.starts_with("Restarted after an unexpected end");
                });
            EXPECT_EQ(said.text, restarted) << at;
            for (int bank = 0; bank < 3; ++bank) EXPECT_EQ(footLine(bank), restarted) << at;
            if (estop) {
                closeLoop();
                loop.advance(0.5);
            }
        }
    }
    // The foot line goes back to remote monitoring's status after a minute.
    loop.advance(kRestartNoticeSeconds);
    for (int bank = 0; bank < 3; ++bank) EXPECT_EQ(footLine(bank), "");
}

}  // namespace
