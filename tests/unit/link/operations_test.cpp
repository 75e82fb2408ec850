// The operations other modules command pumps with: what each puts on the wire, the speed
// step and its limits, who is skipped, idle-all and the drive-fault reset lock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/link_fixture.h"

using linktest::Record;
using linktest::reply;
using linktest::Sent;

namespace {

struct Expected {
    int type;
    int code;
    int arg1;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> f32Bytes(float v) {
    std::vector<std::uint8_t> b(4);
    pumpsim::putF32(b, 0, v);
    return b;
}

class Operations : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        attach(0);
        bringOnline(0);
    }
    // Runs the operation on pump 0 and returns everything it put on the wire.
    std::vector<Sent> run(int op, const void* data = nullptr, int length = 0) {
        SendPumpCommand(0, op, data, length);
        return drainQueue(0);
    }
    static void expectPackets(const std::vector<Sent>& got, const std::vector<Expected>& want,
                              const std::string& what) {
        ASSERT_EQ(got.size(), want.size()) << what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].type, want[i].type) << what << " #" << i;
            EXPECT_EQ(got[i].code, want[i].code) << what << " #" << i;
            EXPECT_EQ(got[i].arg1, want[i].arg1) << what << " #" << i;
            EXPECT_EQ(got[i].arg2, 0) << what << " #" << i;
            EXPECT_EQ(got[i].data, want[i].data) << what << " #" << i;
        }
    }
};

TEST_F(Operations, CommandsWithoutBlocks) {
    expectPackets(run(OpClearTotals), {{3, 0x04, 99, {}}}, "clear totals");
    expectPackets(run(OpResetVfdFault), {{3, 0x34, 0, {}}}, "reset VFD fault");
    expectPackets(run(OpResetAlarms), {{3, 0x35, 0, {}}}, "reset alarms");
    const std::uint8_t on = 1;
    expectPackets(run(OpShutdownOverride, &on, 1), {{3, 0x36, 0, {1}}}, "override");
    AlarmOptions[0] = 0x05;
    AlarmOptions[1] = 0x01;
    expectPackets(run(OpSendAlarmOptions), {{3, 0x33, 0, {5, 1}}}, "alarm options");
    const std::int32_t channel = 3;
    expectPackets(run(OpReadAiConfig, &channel, 4), {{1, 0x01, 3, {}}}, "read AI");
    expectPackets(run(OpReadFiConfig, &channel, 4), {{1, 0x03, 3, {}}}, "read FI");
    expectPackets(run(OpReadPumpConfig), {{1, 0x1B, 0, {}}}, "read config");
    expectPackets(run(OpReadPumpConfig2), {{1, 0x1B, 0, {}}}, "read config 0x47");
    expectPackets(run(OpReadAlarmLimits), {{1, 0x32, 0, {}}}, "read alarm limits");
    expectPackets(run(OpReadThrottleConfig), {{1, 0x02, 0, {}}}, "read throttle");
    expectPackets(run(OpReadAlarmOptions), {{1, 0x33, 0, {}}}, "read alarm options");
    expectPackets(run(OpReadPumpId), {{1, 0x1E, 0, {}}}, "read id");
}

TEST_F(Operations, TimeoutsComeFromTheSettingsStoreOrDefaults) {
    expectPackets(run(OpSendTimeouts), {{3, 0x3C, 0, {30, 0, 0, 0, 60, 0, 0, 0}}}, "defaults");
    platform::RegWriteULong(platform::REGKEY_HKLM, "Software\\Qorv\\VNKPC", "Timeout1", 300, 1);
    platform::RegWriteULong(platform::REGKEY_HKLM, "Software\\Qorv\\VNKPC", "Timeout2", 61, 1);
    expectPackets(run(OpSendTimeouts), {{3, 0x3C, 0, {0x2C, 1, 0, 0, 61, 0, 0, 0}}}, "stored");
}

TEST_F(Operations, BlockWritesPlaceTheGivenBytes) {
    // Trip point: truncated into the pump's configuration block, written, read back.
    for (int i = 0; i < 44; ++i) PumpTable[0].PumpConfig.bytes[i] = static_cast<std::uint8_t>(i);
    const float psi = 9500.9f;
    auto config = std::vector<std::uint8_t>(PumpTable[0].PumpConfig.bytes.begin(),
                                            PumpTable[0].PumpConfig.bytes.end());
    config[8] = 9500 & 0xFF;
    config[9] = 9500 >> 8;
    expectPackets(run(OpSetTripPressure, &psi, 4), {{3, 0x1B, 0, config}, {1, 0x1B, 0, {}}},
                  "trip");
    EXPECT_EQ(PumpTable[0].PumpConfig.TripPsi(), 9500);

    // Plungers, stroke, diameter; then efficiency and gear ratio.
    std::vector<std::uint8_t> a = f32Bytes(4.5f);
    auto stroke = f32Bytes(8.0f);
    a.insert(a.end(), stroke.begin(), stroke.end());
    a.push_back(5);
    a.push_back(0);
    auto got = run(OpWritePumpConfigA, a.data(), 10);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 0x1B);
    EXPECT_EQ(got[0].type, 3);
    EXPECT_EQ(got[0].data[0], 5);
    EXPECT_FLOAT_EQ(pumpsim::getF32(got[0].data, 16), 8.0f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(got[0].data, 20), 4.5f);
    EXPECT_EQ(got[0].data[9], 9500 >> 8);  // the rest of the block as held
    std::vector<std::uint8_t> b = f32Bytes(0.92f);
    auto gear = f32Bytes(6.35f);
    b.insert(b.end(), gear.begin(), gear.end());
    got = run(OpWritePumpConfigB, b.data(), 8);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FLOAT_EQ(pumpsim::getF32(got[0].data, 24), 0.92f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(got[0].data, 12), 6.35f);
    EXPECT_FLOAT_EQ(PumpTable[0].PumpConfig.ConfigValue12(), 6.35f);

    // Analog input: channel in byte 0, calibration bytes 4-27 to block 12-35, byte 28 to 1.
    std::vector<std::uint8_t> ai(29, 0);
    ai[0] = 6;
    for (int i = 4; i < 28; ++i) ai[i] = static_cast<std::uint8_t>(100 + i);
    ai[28] = 0x77;
    got = run(OpWriteAiConfig, ai.data(), 29);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 0x01);
    EXPECT_EQ(got[0].arg1, 6);
    ASSERT_EQ(got[0].data.size(), 44u);
    EXPECT_EQ(got[0].data[1], 0x77);
    EXPECT_EQ(got[0].data[12], 104);
    EXPECT_EQ(got[0].data[35], 127);
    EXPECT_EQ(std::memcmp(AiConfig, got[0].data.data(), 44), 0);

    // Frequency input: channel byte 0, enable byte 2 to block 1, bytes 3-6 to block 28-31.
    const std::uint8_t fi[7] = {2, 0xEE, 1, 0xA1, 0xA2, 0xA3, 0xA4};
    got = run(OpWriteFiConfig, fi, 7);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 0x03);
    EXPECT_EQ(got[0].arg1, 2);
    ASSERT_EQ(got[0].data.size(), 40u);
    EXPECT_EQ(got[0].data[1], 1);
    EXPECT_EQ(got[0].data[28], 0xA1);
    EXPECT_EQ(got[0].data[31], 0xA4);

    // One alarm set-point pair: the two values go out swapped.
    const std::uint8_t alarm[9] = {7, 1, 2, 3, 4, 5, 6, 7, 8};
    expectPackets(run(OpWriteAlarmLimit, alarm, 9), {{3, 0x32, 7, {5, 6, 7, 8, 1, 2, 3, 4}}},
                  "alarm limit");

    // Throttle: i16 minimum and maximum become floats, then the configuration is re-read.
    std::vector<std::uint8_t> t(16, 0);
    pumpsim::putI16(t, 4, 650);
    pumpsim::putI16(t, 6, 1850);
    for (int i = 8; i < 16; ++i) t[i] = static_cast<std::uint8_t>(i);
    got = run(OpWriteThrottleConfig, t.data(), 16);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].code, 0x02);
    EXPECT_EQ(got[0].type, 3);
    EXPECT_FLOAT_EQ(pumpsim::getF32(got[0].data, 32), 650.0f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(got[0].data, 28), 1850.0f);
    EXPECT_EQ(got[0].data[12], 8);
    EXPECT_EQ(got[0].data[19], 15);
    EXPECT_EQ(got[1].code, 0x1B);
    EXPECT_EQ(got[1].type, 1);

    const char id[9] = {'F', 'P', '-', '0', '1', '0', '1', 0, 0};
    got = run(OpWritePumpId, id, 9);
    expectPackets(got, {{3, 0x1F, 0, std::vector<std::uint8_t>(id, id + 9)}}, "pump id");
    EXPECT_STREQ(PumpTable[0].PumpId, "FP-0101");
}

TEST_F(Operations, UnknownOperationsAndMissingDataSendNothing) {
    for (int op : {0x00, 0x35, 0x37, 0x38, 0x3B, 0x4C, 0x50, 0x57, 0x59, 0x82, 0xFF})
        EXPECT_TRUE(run(op).empty()) << std::hex << op;
    std::vector<std::uint8_t> shortBlock(28, 0);
    EXPECT_TRUE(run(OpWriteAiConfig, shortBlock.data(), 28).empty());
    EXPECT_TRUE(run(OpSpeedStep, shortBlock.data(), 2).empty());
    EXPECT_TRUE(run(OpSetTripPressure, nullptr, 4).empty());
}

// Idle brings a pump down to its idle speed and never up: a stop path must not start a
// stopped pump or speed up a slow one.
TEST_F(Operations, IdleBringsAPumpDownNeverUp) {
    struct Case {
        int command;
        float motor, minRpm, maxRpm;
        int idle;
    };
    const Case cases[] = {
        {1500, 1500.0f, 600.9f, 2000.0f, 600},     // truncated minimum
        {0, 0.0f, 600.0f, 2000.0f, 0},             // stopped stays stopped
        {300, 280.0f, 600.0f, 2000.0f, 300},       // slower than idle keeps its speed
        {0, 1500.0f, 600.0f, 2000.0f, 600},        // still turning: its motor speed counts
        {2000, 2000.0f, 40000.0f, 1200.0f, 1200},  // a bad idle never exceeds the maximum
        {1500, 1500.0f, -50.0f, 2000.0f, 0},       // nor goes negative
    };
    for (const Case& c : cases) {
        PumpWentOffline(0);  // nothing commanded since it came on line
        PumpTable[0].Online = 1;
        SetPumpRowDimmed(0, false);
        SpeedCommand[0].Rpm = static_cast<std::int16_t>(c.command);
        SpeedCommand[0].Run = 1;
        PumpTable[0].MotorRpm = c.motor;
        PumpTable[0].MinRpm = c.minRpm;
        PumpTable[0].MaxRpm = c.maxRpm;
        auto sent = run(OpIdle);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(pumpsim::getI16(sent[0].data, 0), c.idle) << "from " << c.command;
        EXPECT_EQ(sent[0].data[2], 1) << "the run byte is kept";
        EXPECT_EQ(PumpTable[0].RpmSetpoint, c.idle);
    }
    // Once the station has commanded a STOP, a pump still slowing down is not idled up.
    PumpTable[0].MinRpm = 600.0f;
    std::int32_t stop = kStepStop;
    ASSERT_FALSE(run(OpSpeedStep, &stop, sizeof stop).empty());
    PumpTable[0].MotorRpm = 1400.0f;
    auto sent = run(OpIdle);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(pumpsim::getI16(sent[0].data, 0), 0);
}

class SpeedStepLimits : public Operations {
  protected:
    void SetUp() override {
        Operations::SetUp();
        PumpRecord& r = PumpTable[0];
        r.MaxRpm = 1800.6f;
        r.MinRpm = 600.9f;
        r.RpmStepSmall = 25;
        r.RpmStepLarge = 100;
        SpeedCommand[0].Run = 1;
    }
    // The rpm of the speed command the step sent (and checks it was the last packet).
    int step(int from, int s) {
        PumpTable[0].RpmSetpoint = static_cast<std::int16_t>(from);
        auto got = run(OpSpeedStep, &s, 4);
        if (got.empty() || got.back().code != 0x1A || got.back().data.size() != 6) {
            ADD_FAILURE() << "no speed command";
            return -99999;
        }
        const int rpm = pumpsim::getI16(got.back().data, 0);
        EXPECT_EQ(rpm, PumpTable[0].RpmSetpoint);
        EXPECT_EQ(rpm, SpeedCommand[0].Rpm);
        EXPECT_EQ(got.back().data[2], 1);
        return rpm;
    }
};

TEST_F(SpeedStepLimits, StepsAndClamps) {
    EXPECT_EQ(step(1000, kStepUpSmall), 1025);
    EXPECT_EQ(step(1000, kStepUpLarge), 1100);
    EXPECT_EQ(step(1000, kStepDownSmall), 975);
    EXPECT_EQ(step(1000, kStepDownLarge), 900);
    EXPECT_EQ(step(1750, kStepUpLarge), 1800);  // truncated MaxRpm
    EXPECT_EQ(step(50, kStepDownLarge), 0);     // never below 0
    EXPECT_EQ(step(1000, kStepStop), 0);
    EXPECT_EQ(step(1000, kStepIdle), 600);
    EXPECT_EQ(step(1000, 7), 1000);  // unknown step: unchanged, still sent
    PumpTable[0].MaxRpm = 0.0f;      // limits not known yet
    EXPECT_EQ(step(1000, kStepUpSmall), 0);
}

TEST_F(SpeedStepLimits, FromStandstillTheLimitsAreAskedForFirst) {
    PumpTable[0].RpmSetpoint = 0;
    const std::int32_t s = kStepUpSmall;
    auto got = run(OpSpeedStep, &s, 4);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, 1);
    EXPECT_EQ(got[0].code, 0x02);
    EXPECT_EQ(got[1].code, 0x1A);
    EXPECT_EQ(pumpsim::getI16(got[1].data, 0), 25);
}

TEST_F(SpeedStepLimits, GroupedPumpsGoToTheGroupHandler) {
    std::vector<std::pair<int, int>> handled;
    LinkHooks h;
    h.groupSpeedStep = [&](int pump, int s) { handled.emplace_back(pump, s); };
    SetLinkHooks(h);
    SetPumpRowDimmed(0, false);
    PumpGroup[0] = 2;
    Send_RPM_Request(0, kStepUpLarge);
    EXPECT_TRUE(drainQueue(0).empty());
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0], std::make_pair(0, static_cast<int>(kStepUpLarge)));
    PumpGroup[0] = kNoGroup;
    PumpTable[0].RpmSetpoint = 1000;
    Send_RPM_Request(0, kStepUpLarge);
    auto got = drainQueue(0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(pumpsim::getI16(got[0].data, 0), 1100);
}

class Fleet24 : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        for (int p = 0; p < kPumpCount; ++p) {
            attach(p);
            SetPumpRowDimmed(p, false);
            serial.setWriteListener(portOf(p), [this](int port, const std::vector<std::uint8_t>&) {
                order.push_back(port - 1);
            });
        }
    }
    std::vector<int> order;
};

TEST_F(Fleet24, EveryPumpMeansEveryEnabledRowInIndexOrder) {
    SetPumpRowDimmed(3, true);
    SetPumpRowDimmed(7, true);
    SendPumpCommand(-1, OpResetAlarms, nullptr, 0);
    loop.advance(0.1);
    std::vector<int> want;
    for (int p = 0; p < kPumpCount; ++p)
        if (p != 3 && p != 7) want.push_back(p);
    EXPECT_EQ(order, want);
    // A single dimmed pump gets nothing either.
    SendPumpCommand(3, OpResetAlarms, nullptr, 0);
    EXPECT_EQ(QueuedItems(3), 0);
    // The display's own notion of an enabled row replaces the link's flags.
    LinkHooks h;
    h.rowEnabled = [](int pump) { return pump == 3; };
    SetLinkHooks(h);
    SendPumpCommand(-1, OpResetAlarms, nullptr, 0);
    EXPECT_EQ(QueuedItems(3), 1);
    EXPECT_EQ(QueuedItems(0), 1);  // the earlier one, unanswered
}

TEST_F(Fleet24, IdleAllGoesOutThreeTimesHalfASecondApart) {
    int control = 0;
    const int panel = timerPanel(TmrOpTrip, 0.5, &control);
    ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
    SetOpTripTimer(panel, control);
    for (int p = 0; p < kPumpCount; ++p) {
        PumpTable[p].MinRpm = 650.0f;
        SpeedCommand[p].Rpm = 1500;
    }

    for (int round = 0; round < 2; ++round) {  // a second trip works the same way
        for (int p = 0; p < kPumpCount; ++p) drainQueue(p);
        IdleAllPumps();
        EXPECT_EQ(QueuedItems(5), 1);
        loop.advance(0.5);
        EXPECT_EQ(QueuedItems(5), 2);
        loop.advance(0.5);
        // The third takes the place of the second, still waiting: one idle behind the head.
        EXPECT_EQ(QueuedItems(5), 2);
        EXPECT_EQ(ui::GetCtrlAttributeInt(panel, control, ui::ATTR_ENABLED), 0);
        loop.advance(3.0);
        EXPECT_EQ(QueuedItems(5), 2);
        auto got = drainQueue(5);
        ASSERT_EQ(got.size(), 2u);
        for (const auto& s : got) EXPECT_EQ(pumpsim::getI16(s.data, 0), 650);
    }
}

TEST_F(Fleet24, DriveFaultResetLocksTheButtonsFor120Seconds) {
    const int panel = ui::NewPanel(0, "detail", 0, 0, 100, 100);
    VfdResetControls controls;
    controls.timer = 11;
    for (int p = 0; p < kPumpCount; ++p) {
        controls.buttons[p] = 43 - p;  // the last of the 24 belongs to pump 1
        ui::AddCtrl(panel, controls.buttons[p], ui::CTRL_COMMAND_BUTTON, "Reset", 0, 0);
        ui::InstallCtrlCallback(panel, controls.buttons[p], ResetVfdFault);
    }
    ui::AddCtrl(panel, 11, ui::CTRL_TIMER, "", 0, 0);
    ui::InstallCtrlCallback(panel, 11, ResetTimerCallback);
    SetVfdResetControls(controls);
    LinkHooks h;
    h.currentPump = []() { return 6; };
    SetLinkHooks(h);

    popups.answerConfirm(false);
    ui::Press(panel, controls.buttons[6]);
    EXPECT_EQ(popups.count("Reset VFD"), 1);
    EXPECT_EQ(popups.shown().back().text, "Do you want to reset the VFD fault?");
    EXPECT_EQ(QueuedItems(6), 0);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, controls.buttons[6], ui::ATTR_DIMMED), 0);

    popups.answerConfirm(true);
    ui::SetCtrlAttribute(panel, controls.buttons[0], ui::ATTR_DIMMED, 1);
    ui::Press(panel, controls.buttons[6]);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, controls.buttons[6], ui::ATTR_DIMMED), 1);
    auto got = drainQueue(6);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 0x34);
    EXPECT_EQ(QueuedItems(5), 0);
    ui::Press(panel, controls.buttons[6]);  // locked: no second request
    EXPECT_EQ(popups.count("Reset VFD"), 2);

    loop.advance(119.9);
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, controls.buttons[6], ui::ATTR_DIMMED), 1);
    loop.advance(0.2);
    for (int p = 0; p < kPumpCount; ++p)
        EXPECT_EQ(ui::GetCtrlAttributeInt(panel, controls.buttons[p], ui::ATTR_DIMMED), 0) << p;
    EXPECT_EQ(ui::GetCtrlAttributeInt(panel, 11, ui::ATTR_ENABLED), 0);
}

}  // namespace
