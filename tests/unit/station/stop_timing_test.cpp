// The operator's stop paths searched across timings: STOP, the step-downs and the drive's
// power-off pressed at random moments of the poll cycle while an E-stop, a confirmed "Idle
// All Pumps" or an inline overpressure trip sends its idle rounds, and, while an E-stop or
// the inline trip holds the fleet, the speed-up buttons too (pumps 5 and 6 are a group). The
// inline trip's phases vary: one reading over the trip value (the link then lost), a reading
// every second, or a reading below it ending the hold at a random moment. The station runs
// against six simulated pumps answering at 19200-baud line timing, in virtual time, from
// fixed seeds. After every case each unit holds what the operator last asked of it, or less:
// a STOP is never undone by a stale reply or an idle round, a step down never ends above
// where it was asked to, and a drive switched off stays off; and while the fleet is held no
// unit ever takes a speed above the one it had when the hold began.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "shell/msg.h"
#include "support/station_fleet.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/shell_windows.h"

using namespace pumplink;
using namespace safety;

namespace {

constexpr int kUnits = 6;      // pumps 1-6 on COM1-COM6, on bank 1
constexpr int kMaxRpm = 1900;  // the simulated units' throttle block
constexpr int kCasesPerSeed = 25;
constexpr unsigned kSeeds[] = {1, 7, 22, 1999, 65537, 424242, 8128, 31337};

// The seeds of a run: CI's fixed ones, or STOP_TIMING_SEEDS=N seeds from 100000 on, for a
// longer search by hand.
std::vector<unsigned> seedsOfThisRun() {
    const char* more = std::getenv("STOP_TIMING_SEEDS");
    if (more == nullptr) return {std::begin(kSeeds), std::end(kSeeds)};
    std::vector<unsigned> seeds(static_cast<std::size_t>(std::max(1, std::atoi(more))));
    for (std::size_t i = 0; i < seeds.size(); ++i) seeds[i] = 100000 + static_cast<unsigned>(i);
    return seeds;
}

enum class Action { Stop, DownSmall, DownLarge, PowerOff, UpSmall, UpLarge };
enum class Repeat { EStop, IdleAll, InlineTrip };
// How the blender computer goes on after the reading that tripped.
enum class Inline { LinkLost, EverySecond, EndsBelow };

const char* nameOf(Action a) {
    switch (a) {
        case Action::Stop:
            return "STOP";
        case Action::DownSmall:
            return "step down (small)";
        case Action::DownLarge:
            return "step down (large)";
        case Action::UpSmall:
            return "step up (small)";
        case Action::UpLarge:
            return "step up (large)";
        case Action::PowerOff:
            break;
    }
    return "power off";
}
const char* nameOf(Repeat r) {
    switch (r) {
        case Repeat::EStop:
            return "E-stop";
        case Repeat::IdleAll:
            return "idle all";
        case Repeat::InlineTrip:
            break;
    }
    return "inline trip";
}

// What a unit does with a speed: 0 stops it, anything else is held within its limits.
int asTheUnitHoldsIt(int rpm) {
    return rpm <= 0 ? 0 : std::clamp(rpm, kIdleRpm, kMaxRpm);
}

// What the operator last asked of one unit in a case, and what became of it.
struct Asked {
    bool any = false;
    Action last = Action::Stop;
    int ceiling = kMaxRpm;  // the unit's set-point may end no higher
    double pressedAt = 0.0;
    bool poweredOff = false;  // a power-off was pressed in this case
    bool stopHeld = false;    // since the last STOP the unit has been at 0
    std::vector<int> undone;  // speeds the unit took after its STOP had held
    std::vector<int> raised;  // speeds above heldAt the unit took while the fleet was held
};

class StopTiming : public StationFleet {
  protected:
    void SetUp() override {
        StationFleet::SetUp();
        settings::ConfigRecord config = FleetConfig();
        for (int p = 0; p < kPumps; ++p)
            config.PumpComPort[p] = p < kUnits ? static_cast<std::uint8_t>(p + 1) : 0;
        config.PumpGroup[4] = config.PumpGroup[5] = 1;
        start(config);
        InlineTripValue = 1500.0f;
        fleet->onRequest = [this](int pump, const std::vector<std::uint8_t>& b) {
            if (pump >= kUnits || b.size() < 10 || (b[4] >> 6) != 3 || (b[4] & 0x3F) != 0x1A)
                return;
            Asked& a = asked[pump];
            const int setpoint = fleet->unit(pump).setpoint();
            if (holding && setpoint > heldAt[pump]) a.raised.push_back(setpoint);
            if (!a.any || a.last != Action::Stop || loop.now() < a.pressedAt) return;
            if (setpoint == 0)
                a.stopHeld = true;
            else if (a.stopHeld)
                a.undone.push_back(setpoint);
        };
    }

    // Every unit running again with its drive on, at a speed of its own, the repeats over.
    // The station hears each new speed first; then one unit in five stops reporting its
    // set-point, leaving the arithmetic to the station.
    void runAgain(std::mt19937& random) {
        closeLoop();
        InlineTripEnabled = 0;
        loop.advance(1.0);  // every repeat has ended; power-offs have taken effect
        for (int p = 0; p < kUnits; ++p) {
            pumpsim::Controller& unit = fleet->unit(p);
            unit.setReportsSetpoint(true);
            unit.setDriveOn(true);
            unit.setSpeedSetpoint(std::uniform_int_distribution<int>(7, 18)(random) * 100);
        }
        loop.advance(1.5);
        for (int p = 0; p < kUnits; ++p)
            fleet->unit(p).setReportsSetpoint(std::uniform_int_distribution<int>(0, 4)(random) !=
                                              0);
        for (Asked& a : asked) a = {};
    }

    void startRepeat(Repeat r) {
        for (int p = 0; p < kUnits; ++p) heldAt[p] = fleet->unit(p).setpoint();
        holding = true;  // "Idle All Pumps" holds no raise back, but none is pressed then
        switch (r) {
            case Repeat::EStop:
                breakLoop();
                break;
            case Repeat::IdleAll:
                ui::SelectMenu(menuBar(), windows::MENU_IDLE_ALL, BankPanel[0]);
                ui::Press(shell::ConfirmDialogPanel(), windows::CONFIRM_YES);
                break;
            case Repeat::InlineTrip:
                InlineTripEnabled = 1;
                CheckInlinePressure("1600.0\r\n");
                break;
        }
    }

    // The operator's press; false when the control was not there to press (the drive's
    // power-off while the row shows "Power On").
    bool press(int pump, Action action) {
        static constexpr int kPositions[] = {windows::kPosStop,          windows::kPosStepDownSmall,
                                             windows::kPosStepDownLarge, windows::kPosPowerOff,
                                             windows::kPosStepUpSmall,   windows::kPosStepUpLarge};
        const int control = BankRow[pump][kPositions[static_cast<int>(action)]];
        if (!ui::FindCtrl(BankPanel[0], control)->visible) return false;
        const int before = fleet->unit(pump).setpoint();
        ui::Press(BankPanel[0], control);
        if (action == Action::UpSmall || action == Action::UpLarge) {
            ++raisesPressed;
            return true;  // refused: what the unit was asked before still holds
        }
        Asked& a = asked[pump];
        a.any = true;
        a.last = action;
        a.pressedAt = loop.now();
        a.stopHeld = false;
        switch (action) {
            case Action::Stop:
            case Action::PowerOff:
                a.ceiling = 0;
                break;
            case Action::DownSmall:
                a.ceiling = asTheUnitHoldsIt(std::min(a.ceiling, before) - 25);
                break;
            case Action::DownLarge:
                a.ceiling = asTheUnitHoldsIt(std::min(a.ceiling, before) - 100);
                break;
            default:
                break;
        }
        a.poweredOff = a.poweredOff || action == Action::PowerOff;
        return true;
    }

    Asked asked[kUnits];
    bool holding = false;  // from the start of the repeat until the hold ends
    int heldAt[kUnits] = {};
    int raisesPressed = 0;
};

TEST_F(StopTiming, NoStopPathIsUndoneAtAnyPhaseOfThePollCycleOrTheRepeats) {
    int cases = 0, presses = 0, undone = 0;
    const std::vector<unsigned> seeds = seedsOfThisRun();
    for (unsigned seed : seeds) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> moment(0.0, 1.6);
        for (int c = 0; c < kCasesPerSeed; ++c, ++cases) {
            runAgain(random);
            const auto repeat =
                static_cast<Repeat>(std::uniform_int_distribution<int>(0, 2)(random));
            const auto after =
                static_cast<Inline>(std::uniform_int_distribution<int>(0, 2)(random));
            // A reading below the trip value ends the hold somewhere in the case; no speed-up
            // is pressed after it.
            const double holdEnds = repeat == Repeat::InlineTrip && after == Inline::EndsBelow
                                        ? std::uniform_real_distribution<double>(0.2, 1.8)(random)
                                        : 99.0;
            // The presses of this case, each unit one to three, at random moments of the
            // repeat (the poll runs every 0.1 s, the repeats every 0.3 or 0.5 s); the
            // speed-ups only while the fleet is held.
            struct Press {
                double at;
                int pump;
                Action action;
            };
            std::vector<Press> plan;
            const int kinds = repeat == Repeat::IdleAll ? 3 : 5;
            for (int p = 0; p < kUnits; ++p) {
                const int n = std::uniform_int_distribution<int>(1, 3)(random);
                for (int i = 0; i < n; ++i) {
                    const Press press{
                        moment(random), p,
                        static_cast<Action>(std::uniform_int_distribution<int>(0, kinds)(random))};
                    if (press.action < Action::UpSmall || press.at < holdEnds)
                        plan.push_back(press);
                }
            }
            // The blender's readings after the one that tripped.
            std::vector<std::pair<double, const char*>> readings;
            if (repeat == Repeat::InlineTrip && after == Inline::EverySecond)
                readings = {{1.0, "1620.5\r\n"}};
            if (holdEnds < 99.0) readings = {{holdEnds, "1400.0\r\n"}};
            std::sort(plan.begin(), plan.end(),
                      [](const Press& a, const Press& b) { return a.at < b.at; });
            // The repeat starts at a random phase of the poll cycle.
            loop.advance(std::uniform_real_distribution<double>(0.0, 0.1)(random));
            const double start = loop.now();
            startRepeat(repeat);
            std::size_t next = 0;
            for (const Press& p : plan) {
                for (; next < readings.size() && readings[next].first <= p.at; ++next) {
                    loop.advance(start + readings[next].first - loop.now());
                    CheckInlinePressure(readings[next].second);
                    holding = !(holdEnds <= readings[next].first);
                }
                loop.advance(start + p.at - loop.now());
                presses += press(p.pump, p.action) ? 1 : 0;
            }
            for (; next < readings.size(); ++next) {
                loop.advance(start + readings[next].first - loop.now());
                CheckInlinePressure(readings[next].second);
                holding = !(holdEnds <= readings[next].first);
            }
            loop.advance(start + 2.0 - loop.now());
            closeLoop();
            loop.advance(1.5);  // everything queued has reached its unit
            holding = false;

            for (int p = 0; p < kUnits; ++p) {
                const Asked& a = asked[p];
                if (!a.any && a.raised.empty()) continue;
                const pumpsim::Controller& unit = fleet->unit(p);
                const bool held = unit.setpoint() <= a.ceiling &&
                                  (!a.poweredOff || !unit.driveOn()) && a.undone.empty();
                if (held && a.raised.empty()) continue;
                ++undone;
                ADD_FAILURE() << "seed " << seed << ", case " << c << " (" << nameOf(repeat)
                              << "), pump " << p + 1 << ": last asked " << nameOf(a.last) << " at "
                              << a.pressedAt - start << " s, ceiling " << a.ceiling
                              << "; the unit holds " << unit.setpoint() << " rpm, drive "
                              << (unit.driveOn() ? "on" : "off") << ", " << a.undone.size()
                              << " speeds after its STOP had held, " << a.raised.size() << " above "
                              << heldAt[p] << " rpm while held";
            }
        }
    }
    std::printf("%d cases over %zu seeds, %d presses (%d speed-ups held back), %d undone\n", cases,
                seeds.size(), presses, raisesPressed, undone);
    EXPECT_EQ(undone, 0);
    EXPECT_GT(presses, cases * kUnits) << "the presses reached the rows";
    EXPECT_GT(raisesPressed, cases) << "speed-ups were pressed while the fleet was held";
}

}  // namespace
