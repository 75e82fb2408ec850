// Trips, drive faults, alarms and line failures switched on at a chosen second, and the
// resets that clear them, as vnk-sim's --event and --fail options drive them.
#include <gtest/gtest.h>

#include "line.h"

namespace pumpsim_test {
namespace {

using pumpsim::Event;
using pumpsim::Fleet;
using pumpsim::Script;

Script scriptOf(std::initializer_list<const char*> texts, int pumps) {
    Script s;
    for (const char* t : texts) {
        auto events = pumpsim::parseUnitEvent(t, pumps);
        if (!events) events = pumpsim::parseFailure(t, pumps);
        EXPECT_TRUE(events) << t;
        if (events)
            for (const Event& e : *events) s.add(e);
    }
    return s;
}

TEST(PumpsimScript, ParsesEventsAndRefusesMalformedOnes) {
    const auto events = pumpsim::parseUnitEvent("trip=1-2,4:0x10@12.5", 4);
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 3u);
    EXPECT_EQ((*events)[2].kind, Event::Kind::Trip);
    EXPECT_EQ((*events)[2].unit, 3);
    EXPECT_EQ((*events)[2].bits, 0x10);
    EXPECT_EQ((*events)[2].at, 12.5);
    const auto fail = pumpsim::parseFailure("2-3=silent@7", 4);
    ASSERT_TRUE(fail);
    ASSERT_EQ(fail->size(), 2u);
    EXPECT_EQ((*fail)[1].mode, "silent");
    EXPECT_EQ((*fail)[1].at, 7.0);

    EXPECT_FALSE(pumpsim::parseUnitEvent("trip=5", 4)) << "pump 5 of 4";
    EXPECT_FALSE(pumpsim::parseFailure("2=melt", 4));
}

TEST(PumpsimScript, TripAtItsSecondSurvivesFaultResetAndOverride) {
    Fleet fleet(2), twin(2);
    for (Fleet* f : {&fleet, &twin})
        for (int u = 0; u < 2; ++u) ask(f->unit(u), speedCmd(1500, true), 0.0);
    Script script = scriptOf({"trip=2:0x0008@10"}, 2);
    Script none;

    EXPECT_TRUE(script.advance(fleet, 9.95).empty());
    none.advance(twin, 10.0);
    EXPECT_FALSE(fleet.unit(1).tripped());
    const auto applied = script.advance(fleet, 10.05);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].describe(), "trip 0x0008");
    EXPECT_EQ(script.pending(), 0u);

    Controller& c = fleet.unit(1);
    EXPECT_NEAR(c.lastTripPsi(), twin.unit(1).dischargePsi(), 0.5) << "pressure at 10 s";
    EXPECT_GT(c.lastTripPsi(), 500) << "two pumps at 1500 rpm: about 575 psi";
    script.advance(fleet, 12.0);
    const Reply r = ask(c, shortCmd(0x18), 12.0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x40);
    EXPECT_EQ(u16At(r.data, 72), 0x0008);
    EXPECT_EQ(u16At(r.data, 76), c.lastTripPsi());
    EXPECT_EQ(u16At(r.data, 66), 0) << "set-point dropped";
    EXPECT_EQ(c.motorRpm(), 0.0) << "stopped within 1.5 s at the trip rate";
    EXPECT_EQ(fleet.unit(0).motorRpm(), 1500.0) << "the other pump runs on";

    EXPECT_EQ(ask(c, dataCmd(0x34, {}), 15.0).type, 0);
    ask(c, dataCmd(0x36, {1}), 15.0);
    EXPECT_TRUE(c.tripped()) << "neither a fault reset nor the override clears a trip";
}

TEST(PumpsimScript, AlarmsLatchUntilResetAndFailuresComeOnTime) {
    Fleet fleet(2);
    Script script = scriptOf({"2=silent@6", "alarm=1:0x2001@5", "alarm=1:0x0020@5"}, 2);
    script.advance(fleet, 4.0);
    EXPECT_EQ(fleet.unit(0).alarmWord(), 0);
    EXPECT_EQ(exchange(fleet.unit(1), shortCmd(0x1E), 4.0).size(), 1u);

    const auto applied = script.advance(fleet, 6.0);
    ASSERT_EQ(applied.size(), 3u);
    EXPECT_EQ(applied[0].describe(), "alarm 0x2001") << "in time order";
    EXPECT_EQ(applied[2].describe(), "silent");
    EXPECT_EQ(u16At(ask(fleet.unit(0), shortCmd(0x18), 6.0).data, 70), 0x2021);
    EXPECT_EQ(u16At(ask(fleet.unit(0), shortCmd(0x18), 30.0).data, 70), 0x2021) << "latched";
    EXPECT_FALSE(fleet.unit(0).tripped()) << "an alarm is not a trip";
    EXPECT_TRUE(exchange(fleet.unit(1), shortCmd(0x1E), 6.0).empty());

    ask(fleet.unit(0), dataCmd(0x35, {}), 30.0);
    fleet.advance(40.0);
    EXPECT_EQ(fleet.unit(0).alarmWord(), 0) << "no limit is passed, so none comes back";
}

}  // namespace
}  // namespace pumpsim_test
