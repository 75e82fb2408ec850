// The control law on the Pump Table: the figures of the worked example and of its clamps,
// what a pump needs to be chosen, and the resistance estimate step by step. Each speed
// command is read back off the pump's line.
#include <gtest/gtest.h>

#include <cmath>

#include "autocontrol/autocontrol.h"
#include "autocontrol/wellresistance.h"
#include "support/link_fixture.h"

using namespace autocontrol;

namespace {

class ControlLaw : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        ResetAutoController();
        SetRaiseGate([](int) { return RaiseHold::None; });  // nothing holds the fleet
        for (int p : {0, 1}) {
            attach(p);
            auto_(p, 1000.0f);
        }
    }
    void TearDown() override {
        ResetAutoController();
        LinkFixture::TearDown();
    }
    // The worked example's pump: 4.5 in x 8 in, 3 plungers, efficiency 1, gear 6.
    static void auto_(int p, float motor, float maxRpm = 1800.0f, float minRpm = 600.0f) {
        PumpRecord& r = PumpTable[p];
        r.Online = r.AutoAllowed = r.VfdOn = 1;
        r.Tripped = 0;
        r.TripWord = r.FaultWord = 0;
        PumpTable[p].AutoSelected = 1;
        r.PumpConfig.setPlungerDiameter(4.5f);
        r.PumpConfig.setStroke(8.0f);
        r.PumpConfig.setPlungers(3);
        r.PumpConfig.setEfficiency(1.0f);
        r.PumpConfig.setGearRatio(6.0f);
        r.MotorRpm = motor;
        r.MaxRpm = maxRpm;
        r.MinRpm = minRpm;
        setpoint(p, static_cast<int>(motor));
        SetPumpRowDimmed(p, false);  // on line
    }
    static void setpoint(int p, int rpm) {
        PumpTable[p].SpeedCommand.Rpm = PumpTable[p].RpmSetpoint = static_cast<std::int16_t>(rpm);
    }
    static void resistance(float r) {
        WellResistance = r;
        ResistanceValid = 1;
    }
    // The speed commands on the pump's line, rpm as sent.
    std::vector<int> speeds(int pump) {
        std::vector<int> out;
        for (const linktest::Sent& s : drainQueue(pump))
            if (s.code == WireCode::Speed)
                out.push_back(static_cast<std::int16_t>(s.data.at(0) | (s.data.at(1) << 8)));
        return out;
    }
};

TEST_F(ControlLaw, WorkedExampleSendsOneCommandToThatPumpOnly) {
    PumpTable[1].AutoSelected = 0;
    PumpTable[0].SpeedCommand.Run = 1;
    EXPECT_NEAR(PumpDisplacement(0), 1.6524, 1e-4);
    IncreaseRate(1.0f, 500.0f);
    const auto out = sent(0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, WireCode::Speed);
    EXPECT_EQ(out[0].data, (std::vector<std::uint8_t>{0x52, 0x04, 0x01, 0, 0, 0}));
    EXPECT_EQ(PumpTable[0].RpmSetpoint, 1106);
    EXPECT_TRUE(sent(1).empty());
}

TEST_F(ControlLaw, FiguresAndLimitsOfEveryAction) {
    struct Case {
        const char* what;
        void (*action)(float, float);
        float first, second, motor, maxRpm, minRpm, r;
        int expected;
        int setpoint = 0;  // 0: the motor's speed
    };
    const Case cases[] = {
        {"headroom share", IncreaseRate, 1.0f, 500.0f, 1703, 1800, 600, 100, 1785},
        {"motor above max", IncreaseRate, 1.0f, 500.0f, 1850, 1800, 600, 100, 1800, 1700},
        {"decrease rate", DecreaseRate, -2.0f, 1000.0f, 1000, 1800, 600, 100, 786},
        {"not below MinRpm", DecreaseRate, -2.0f, 1000.0f, 1000, 1800, 800.5f, 100, 800},
        {"decrease pressure", DecreasePressure, -300.0f, 1.0f, 1500, 1800, 600, 100, 1133},
        {"increase pressure", IncreasePressure, 400.0f, 3.0f, 1200, 1800, 600, 100, 1520},
        // A decrease never lifts a pump above its maximum.
        {"decrease above max", DecreaseRate, -0.5f, 1000.0f, 1850, 1500, 600, 100, 1500},
        // Resistance 0 or negative is replaced by 100: a decrease stays a decrease.
        {"resistance negative", DecreasePressure, -300.0f, 1.0f, 1500, 1800, 600, -50, 1133},
        {"resistance zero", DecreasePressure, -300.0f, 1.0f, 1500, 1800, 600, 0, 1133},
        {"resistance NaN", DecreasePressure, -300.0f, 1.0f, 1500, 1800, 600, NAN, 1133},
        // A tiny one makes a huge step: held at MinRpm, not wrapped into a speed-up.
        {"resistance tiny", DecreasePressure, -300.0f, 1.0f, 1500, 1800, 600, 0.2f, 600},
        // No margin, no step: the speed the pump holds, which is not sent again.
        {"zero margin, zero resistance", IncreaseRate, 1.0f, 0.0f, 1000, 1800, 600, 0, 0},
    };
    for (const Case& c : cases) {
        PumpTable[1].AutoSelected = 0;
        auto_(0, c.motor, c.maxRpm, c.minRpm);
        if (c.setpoint != 0) setpoint(0, c.setpoint);
        resistance(c.r);
        c.action(c.first, c.second);
        EXPECT_EQ(speeds(0), c.expected != 0 ? std::vector<int>{c.expected} : std::vector<int>{})
            << c.what;
    }
    // A NaN limit reaches the action as a NaN quantity: nothing is sent.
    DecreaseRate(NAN, NAN);
    EXPECT_TRUE(speeds(0).empty());
}

TEST_F(ControlLaw, OnlyAPumpThatCanFollowIsChosen) {
    using Spoil = void (*)(PumpRecord&);
    const Spoil spoils[] = {
        [](PumpRecord& r) { r.PumpConfig.setPlungers(0); },
        [](PumpRecord& r) { r.PumpConfig.setGearRatio(0.0f); },
        [](PumpRecord& r) { r.PumpConfig.setEfficiency(NAN); },
        [](PumpRecord& r) { r.PumpConfig.setPlungerDiameter(-4.5f); },
        [](PumpRecord& r) { r.MaxRpm = 0.0f; },
        [](PumpRecord& r) { r.MotorRpm = NAN; },
        [](PumpRecord& r) { r.VfdOn = 0; },
        [](PumpRecord& r) { r.Tripped = 1; },
        [](PumpRecord& r) { r.AutoAllowed = 0; },
        // What the operator could not raise by hand either.
        [](PumpRecord& r) { r.TripWord = 0x0004; },
        [](PumpRecord& r) { r.FaultWord = 0x0001; },
    };
    for (std::size_t i = 0; i < std::size(spoils); ++i) {
        const Spoil spoil = spoils[i];
        SCOPED_TRACE(i);
        auto_(0, 800.0f);  // the lower ratio: chosen while it qualifies
        auto_(1, 1000.0f);
        spoil(PumpTable[0]);
        IncreaseRate(1.0f, 500.0f);
        EXPECT_TRUE(speeds(0).empty());
        EXPECT_EQ(speeds(1).size(), 1u);
    }
    // Equal ratios: the lower index; 96 % of MaxRpm or more is never sped up.
    auto_(0, 1000.0f);
    auto_(1, 1000.0f);
    EXPECT_EQ(PickPumpToSpeed(), 0);
    EXPECT_EQ(PickPumpToSlow(), 0);
    auto_(0, 1728.0f);
    auto_(1, 1728.0f);
    IncreasePressure(400.0f, 3.0f);
    EXPECT_TRUE(speeds(0).empty() && speeds(1).empty());
    EXPECT_EQ(AutoControllerMessage(), "Need auto pump to increase pressure!");
    setpoint(0, 0);  // a set-point of 0 is never slowed
    setpoint(1, 0);
    EXPECT_EQ(PickPumpToSlow(), -1);
}

TEST_F(ControlLaw, ResistanceEstimateBlendsLapsesAndStartsAfresh) {
    const float q[] = {10, 10, 10, 10, 10, 10, 10, 12};
    const float p[] = {1000, 1000, 1000, 1000, 1000, 1000, 1000, 1250};
    const float used[] = {33.3333f, 55.5556f, 55.5556f, 55.5556f, 55.5556f, 55.5556f, 100, 125};
    for (int step = 0; step < 8; ++step) {
        AgeWellResistance();
        UpdateWellResistance(q[step], p[step]);
        float r = 0.0f;
        GetWellResistance(&r);
        EXPECT_NEAR(r, used[step], 1e-3) << "step " << step + 1;
    }
}

TEST_F(ControlLaw, BandEdgesAreStrict) {
    AutoSettings.TargetRate = 60.0f;
    AutoSettings.LimitPressure = 8000.0f;
    RateModeStep(40.0f, 7950.0f);  // just under the limit: hold, however far the rate is
    EXPECT_TRUE(speeds(0).empty() && speeds(1).empty());
    RateModeStep(40.0f, 7900.0f);  // on the band's lower edge: the rate rules
    EXPECT_EQ(speeds(0).size() + speeds(1).size(), 1u);
    RateModeStep(59.0f, 7000.0f);  // inside the rate band
    EXPECT_TRUE(speeds(0).empty() && speeds(1).empty());
    AutoSettings.TargetPressure = 6000.0f;
    AutoSettings.LimitRate = 80.0f;
    PressureModeStep(79.5f, 7000.0f);  // just under the rate limit: hold
    EXPECT_TRUE(speeds(0).empty() && speeds(1).empty());
    PressureModeStep(80.0f, 7000.0f);  // on the limit itself: the pressure comes down
    EXPECT_EQ(speeds(0).size() + speeds(1).size(), 1u);
}

}  // namespace
