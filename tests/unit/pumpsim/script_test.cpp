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
    struct Good {
        const char* text;
        Event::Kind kind;
        std::vector<int> units;
        uint16_t bits;
        double at;
    };
    const Good good[] = {
        {"trip=3@12.5", Event::Kind::Trip, {2}, 0, 12.5},
        {"trip=1-2,4:0x10", Event::Kind::Trip, {0, 1, 3}, 0x10, 0.0},
        {"fault=all@2", Event::Kind::Fault, {0, 1, 2, 3}, 0x0001, 2.0},
        {"fault=4:0X8000@0", Event::Kind::Fault, {3}, 0x8000, 0.0},
        {"alarm=2:010@1", Event::Kind::Alarm, {1}, 10, 1.0},  // decimal, never octal
    };
    for (const Good& g : good) {
        SCOPED_TRACE(g.text);
        const auto events = pumpsim::parseUnitEvent(g.text, 4);
        ASSERT_TRUE(events);
        ASSERT_EQ(events->size(), g.units.size());
        for (size_t i = 0; i < g.units.size(); ++i) {
            EXPECT_EQ((*events)[i].kind, g.kind);
            EXPECT_EQ((*events)[i].unit, g.units[i]);
            EXPECT_EQ((*events)[i].bits, g.bits);
            EXPECT_EQ((*events)[i].at, g.at);
        }
    }
    const auto fail = pumpsim::parseFailure("2-3=silent@7", 4);
    ASSERT_TRUE(fail);
    ASSERT_EQ(fail->size(), 2u);
    EXPECT_EQ((*fail)[1].mode, "silent");
    EXPECT_EQ((*fail)[1].at, 7.0);

    for (const char* bad : {"trip=5", "trip=0", "trip=3@-1", "trip=3@soon", "trip=3:0x10000",
                            "trip=3:-1", "fault=1:0", "alarm=1", "alarm=1:0", "alarms=1:4",
                            "trip=none", "trip=1,,2", "trip=", "trip3@4"})
        EXPECT_FALSE(pumpsim::parseUnitEvent(bad, 4)) << bad;
    for (const char* bad : {"2=melt", "5=silent", "2=silent@", "silent"})
        EXPECT_FALSE(pumpsim::parseFailure(bad, 4)) << bad;
}

TEST(PumpsimScript, TripAtItsSecondUntilAlarmReset) {
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
    Reply r = ask(c, shortCmd(0x18), 12.0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x40);
    EXPECT_EQ(u16At(r.data, 72), 0x0008);
    EXPECT_EQ(u16At(r.data, 76), c.lastTripPsi());
    EXPECT_EQ(u16At(r.data, 66), 0) << "set-point dropped";
    EXPECT_EQ(c.motorRpm(), 0.0) << "stopped within 1.5 s at the trip rate";
    EXPECT_EQ(fleet.unit(0).motorRpm(), 1500.0) << "the other pump runs on";

    ask(c, speedCmd(1500, true), 12.0);
    fleet.advance(15.0);
    EXPECT_EQ(c.motorRpm(), 0.0) << "speed refused while tripped";
    EXPECT_EQ(ask(c, dataCmd(0x34, {}), 15.0).type, 0);
    ask(c, dataCmd(0x36, {1}), 15.0);
    EXPECT_TRUE(c.tripped()) << "neither a fault reset nor the override clears a trip";
    ask(c, dataCmd(0x36, {0}), 15.0);

    ask(c, dataCmd(0x35, {}), 15.0);
    r = ask(c, shortCmd(0x18), 15.0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x10) << "ready";
    EXPECT_EQ(u16At(r.data, 72), 0);
    EXPECT_EQ(u16At(r.data, 76), c.lastTripPsi()) << "last trip pressure kept";
    ask(c, speedCmd(1000, true), 15.0);
    fleet.advance(25.0);
    EXPECT_EQ(c.motorRpm(), 1000.0);
}

TEST(PumpsimScript, FaultHoldsTheDriveUntilResetOrOverride) {
    Fleet fleet(1);
    Controller& c = fleet.unit(0);
    ask(c, speedCmd(1200, true), 0.0);
    Script script = scriptOf({"fault=1:0x0004@8", "fault=1:0x0100@9"}, 1);
    script.advance(fleet, 8.0);
    EXPECT_EQ(c.faultWord(), 0x0004);
    script.advance(fleet, 11.0);
    EXPECT_EQ(c.faultWord(), 0x0104) << "fault bits accumulate";
    Reply r = ask(c, shortCmd(0x18), 11.0);
    EXPECT_EQ(u16At(r.data, 68) & 0x70, 0x30);
    EXPECT_EQ(u16At(r.data, 74), 0x0104);
    EXPECT_EQ(u16At(r.data, 66), 1200) << "a fault keeps the set-point";
    EXPECT_EQ(c.motorRpm(), 0.0);

    ask(c, dataCmd(0x35, {}), 11.0);
    EXPECT_EQ(c.faultWord(), 0x0104) << "reset alarms leaves a drive fault";
    ask(c, dataCmd(0x36, {1}), 11.0);
    fleet.advance(20.0);
    EXPECT_EQ(c.motorRpm(), 1200.0) << "the override runs through the fault";
    EXPECT_EQ(u16At(ask(c, shortCmd(0x18), 20.0).data, 68) & 0x70, 0x20);

    ask(c, dataCmd(0x36, {0}), 20.0);
    fleet.advance(22.0);
    EXPECT_EQ(c.motorRpm(), 0.0) << "override off: held again";
    ask(c, dataCmd(0x34, {}), 22.0);
    fleet.advance(30.0);
    EXPECT_EQ(c.faultWord(), 0);
    EXPECT_EQ(c.motorRpm(), 1200.0);
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
