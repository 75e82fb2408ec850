// The hardware set-up against 24 simulated pumps: calibration, alarm set-points,
// characteristics, speed control and identifications, as a technician uses them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

#include "hardware/hardware_selection.h"
#include "hardware/hdw_pump.h"
#include "link/operations.h"
#include "platform/journal.h"
#include "pumpsim_wire.h"
#include "shell/cfg.h"
#include "shell/password.h"
#include "support/station_fleet.h"
#include "ui/windows/hardware_windows.h"

using namespace pumplink;
using namespace shell;
using namespace hardware;

namespace {

using namespace windows;

class Hardware : public JournaledStationFleet {
  protected:
    // The configure button of a pump's row, the password, the hardware window.
    int openHardware(int pump) {
        ui::Press(BankPanel[pump / 8], BankRow[pump][kPosConfigure]);
        const int prompt = PasswordPromptPanel();
        EXPECT_NE(prompt, 0) << "the configure button asks for the password";
        if (prompt == 0) return 0;
        ui::Press(prompt, PWD_STARS);
        keypadEnter("5927");
        ui::Press(prompt, PWD_OK);
        return HardwarePanel();
    }
    int open(int hw, int selectButton, HwDialog kind) {
        ui::Press(hw, selectButton);
        loop.advance(0.5);
        return HardwareDialog(kind);
    }
    // The dialog as the select button leaves it, before any reply.
    int openAtOnce(int hw, int selectButton, HwDialog kind) {
        ui::Press(hw, selectButton);
        return HardwareDialog(kind);
    }
    std::vector<Command> writes(int pump, int code) const {
        std::vector<Command> out;
        for (const Command& c : heard)
            if (c.pump == pump && c.code == code && !c.data.empty()) out.push_back(c);
        return out;
    }
    std::string lastPopup() const { return popups.shown().empty() ? "" : popups.shown().back().text; }
    static float f32(const std::vector<std::uint8_t>& d, size_t at) { return pumpsim::getF32(d, at); }
    template <size_t N>
    static std::vector<std::uint8_t> bytes(const std::array<std::uint8_t, N>& b, size_t from,
                                           size_t to) {
        return {b.begin() + static_cast<std::ptrdiff_t>(from),
                b.begin() + static_cast<std::ptrdiff_t>(to)};
    }
    template <size_t N>
    static float f32(const std::array<std::uint8_t, N>& b, size_t at) {
        return pumpsim::getF32(b, at);
    }
    bool refusedAsNotRead() const {
        return lastPopup().find("has not been read from the pump yet") != std::string::npos;
    }
    int journalled(int pump, const std::string& text) const {
        return store.countOf(journal::Kind::Settings, pump, text);
    }
};

// Pump 3's input blocks as a technician left them: besides the option byte (1, input
// enabled) and, for the analog inputs, the transmitter's range in Value B, a Value A and
// bytes the station has no field for, none of them zero, so a blank written over any shows.
void setUpInputBlocks(pumpsim::Controller& unit) {
    for (int channel : {4, 5}) {
        auto ai = unit.aiConfig(channel);
        for (size_t i = 4; i < 8; ++i) ai[i] = static_cast<std::uint8_t>(0xA0 + i);
        pumpsim::putF32(ai, 32, 250.0f);
        for (size_t i = 36; i < ai.size(); ++i) ai[i] = static_cast<std::uint8_t>(0xA0 + i);
        unit.setAiConfig(channel, ai);
    }
    auto fi = unit.fiConfig(0);
    for (size_t i : {2, 3, 4, 5}) fi[i] = static_cast<std::uint8_t>(0xC0 + i);
    for (size_t i = 8; i < 28; ++i) fi[i] = static_cast<std::uint8_t>(0xC0 + i);
    for (size_t i = 32; i < fi.size(); ++i) fi[i] = static_cast<std::uint8_t>(0xC0 + i);
    unit.setFiConfig(0, fi);
}

TEST_F(Hardware, TwoPointCalibrationWritesOnlyItsOwnPumpAndChannel) {
    start();
    const int hw = openHardware(2);
    ASSERT_NE(hw, 0);
    EXPECT_EQ(ui::GetCtrlText(hw, HW_PUMP_LABEL), "Pump #2A");
    const int ai = open(hw, HW_SELECT_DISCHARGE, HwDialog::Ai);
    ASSERT_NE(ai, 0);
    EXPECT_EQ(ui::GetCtrlText(hw, HW_TITLE), "Discharge Pressure Setup");
    EXPECT_EQ(ui::GetPanelTitle(ai), "Discharge Pressure");
    EXPECT_EQ(ui::GetCtrlAttributeInt(ai, AI_COEF0, ui::ATTR_DIMMED), 1) << "two-point mode first";
    EXPECT_NE(ui::GetCtrlText(hw, HW_HELP).find("Option, Value A and Value B are"),
              std::string::npos);
    // The keypads of the two values say their range.
    ui::DispatchCtrlEvent(ai, AI_ENG_HIGH, ui::EVENT_LEFT_CLICK);
    ASSERT_NE(KeypadPanel, 0);
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_CAPTION),
              "Pump 2A Discharge Pressure High Value, 0 to 25000 PSI");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);

    // Two set pressures read as two different counts; beside the read buttons the input's
    // live value, and the counts of the last reading.
    fleet->unit(2).setDischargeOverride(1000.0);
    loop.advance(0.5);
    const std::string live = ui::GetCtrlText(ai, AI_LIVE);  // through the transducer's counts
    EXPECT_NEAR(std::atof(live.c_str()), 1000.0, 5.0) << live;
    EXPECT_EQ(live.substr(live.find(' ')), " PSI");
    ui::Press(ai, AI_READ_LOW);
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlText(ai, AI_LIVE_COUNTS), "1013 (low)");
    fleet->unit(2).setDischargeOverride(9000.0);
    loop.advance(0.5);
    ui::Press(ai, AI_READ_HIGH);
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_LOW), 1013);  // 0-15000 psi on counts 800-4000
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_HIGH), 2720);

    // Equal readings give no slope: refused, the coefficients stay.
    const double offset = ui::GetCtrlDouble(ai, AI_COEF0);
    ui::SetCtrlVal(ai, AI_RAW_HIGH, ui::GetCtrlInt(ai, AI_RAW_LOW));
    ui::Press(ai, AI_AUTOSCALE);
    EXPECT_EQ(lastPopup(), "Low and high readings must differ");
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_COEF0), offset);

    ui::SetCtrlVal(ai, AI_RAW_LOW, 800);
    ui::SetCtrlVal(ai, AI_RAW_HIGH, 4000);
    ui::SetCtrlVal(ai, AI_ENG_LOW, 0.0);
    ui::SetCtrlVal(ai, AI_ENG_HIGH, 15000.0);
    ui::Press(ai, AI_AUTOSCALE);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_COEF1), 4.6875);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_COEF0), -3750.0);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_COEF2), 0.0);

    // Replies for another channel (the alarm dialogs' read) or another pump change nothing.
    SendPumpCommand(2, AiConfigRead{5});
    SendPumpCommand(6, AiConfigRead{4});
    loop.advance(1.0);
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_HIGH), 4000);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_COEF1), 4.6875);

    // A coefficient that is not a number is never sent.
    ui::SetCtrlVal(ai, AI_COEF3, std::numeric_limits<double>::quiet_NaN());
    ui::Press(ai, AI_SEND);
    loop.advance(0.5);
    EXPECT_TRUE(writes(2, 0x01).empty());
    ui::SetCtrlVal(ai, AI_COEF3, 0.0);

    ui::Press(ai, AI_OK);
    loop.advance(0.5);
    const auto sent = writes(2, 0x01);
    ASSERT_EQ(sent.size(), 1u);
    const auto block = fleet->unit(2).aiConfig(4);
    EXPECT_EQ(pumpsim::getF32(block, 12), -3750.0f);
    EXPECT_EQ(pumpsim::getF32(block, 16), 4.6875f);
    EXPECT_EQ(HardwareDialog(HwDialog::Ai), 0) << "OK closes the dialog";
    EXPECT_EQ(ui::GetCtrlText(hw, HW_TITLE), "Select A Hardware Group To Calibrate");

    // One dialog at a time under the window's header: the next one opened takes the place of
    // the one before, and closing it leaves no table under the idle header.
    open(hw, HW_SELECT_MOTOR_ALARMS, HwDialog::MotorAlarms);
    const int pumpAlarms = open(hw, HW_SELECT_PUMP_ALARMS, HwDialog::PumpAlarms);
    EXPECT_EQ(HardwareDialog(HwDialog::MotorAlarms), 0);
    EXPECT_EQ(ui::GetCtrlText(hw, HW_TITLE), "Pump Alarms Setup");
    ui::Press(pumpAlarms, ALARM_CLOSE);
    EXPECT_EQ(ui::GetCtrlText(hw, HW_TITLE), "Select A Hardware Group To Calibrate");
    EXPECT_EQ(HardwareDialog(HwDialog::MotorAlarms) + HardwareDialog(HwDialog::PumpAlarms), 0);

    // Done with the keypad open on a dialog's field closes the keypad with the dialogs.
    ui::Press(open(hw, HW_SELECT_RPM, HwDialog::Fi), FI_SPEED);
    ASSERT_NE(KeypadPanel, 0);
    ui::Press(hw, HW_DONE);
    EXPECT_EQ(KeypadPanel, 0);
    EXPECT_EQ(HardwarePanel(), 0);
    EXPECT_EQ(HardwareDialog(HwDialog::Fi), 0);
}

TEST_F(Hardware, MetricEntriesReachThePumpInUsUnits) {
    settings::ConfigRecord config = FleetConfig();
    config.DisplayUnits = settings::kUnitsMetric;
    start(config);
    const int hw = openHardware(0);
    int ai = open(hw, HW_SELECT_DISCHARGE, HwDialog::Ai);
    ASSERT_NE(ai, 0);
    EXPECT_EQ(ui::GetCtrlAttributeText(ai, AI_ENG_LOW, ui::ATTR_UNITS_LABEL), "MPa");
    ui::Operate(ai, AI_MANUAL, 1);
    ui::SetCtrlVal(ai, AI_COEF0, 100.0);
    ui::Press(ai, AI_OK);
    loop.advance(0.5);
    ai = open(hw, HW_SELECT_DISCHARGE, HwDialog::Ai);
    EXPECT_NEAR(ui::GetCtrlDouble(ai, AI_ENG_LOW), 0.68948, 1e-6);
    EXPECT_EQ(ui::GetCtrlAttributeInt(ai, AI_ENG_LOW, ui::ATTR_PRECISION), 2);
    ui::SetCtrlVal(ai, AI_RAW_LOW, 0);
    ui::SetCtrlVal(ai, AI_RAW_HIGH, 4095);
    // A scale from values nobody changed takes the pump's own: 100 psi, not 100.0002.
    ui::Press(ai, AI_AUTOSCALE);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_COEF0), 100.0);
    ui::SetCtrlVal(ai, AI_ENG_LOW, 10.0);
    ui::Press(ai, AI_AUTOSCALE);
    EXPECT_FLOAT_EQ(static_cast<float>(ui::GetCtrlDouble(ai, AI_COEF0)), 1450.3774f);
    // The block read again after the controller's span changed: the value typed stays, the
    // one left alone shows the new span and scales from the pump's own 20575 psi.
    auto block = fleet->unit(0).aiConfig(4);
    pumpsim::putF32(block, 16, 5.0f);
    fleet->unit(0).setAiConfig(4, block);
    SendPumpCommand(0, AiConfigRead{4});
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_ENG_LOW), 10.0);
    EXPECT_NEAR(ui::GetCtrlDouble(ai, AI_ENG_HIGH), 141.8605, 1e-3);
    ui::Press(ai, AI_AUTOSCALE);
    EXPECT_NEAR(ui::GetCtrlDouble(ai, AI_COEF1), 4.670238, 1e-5);  // (20575 - 1450.38) / 4095

    // 100 degC and 50 degC go out as 212 and 122 degF, in block order; code 14 has no unit.
    const int motor = open(hw, HW_SELECT_MOTOR_ALARMS, HwDialog::MotorAlarms);
    ui::SetCtrlVal(motor, AlarmRowCtrl(0, ALARM_FIRST), 100.0);
    ui::SetCtrlVal(motor, AlarmRowCtrl(0, ALARM_SECOND), 50.0);
    ui::Press(motor, AlarmRowCtrl(0, ALARM_SET));
    const int pumpAlarms = open(hw, HW_SELECT_PUMP_ALARMS, HwDialog::PumpAlarms);
    EXPECT_EQ(ui::GetCtrlText(pumpAlarms, AlarmRowCtrl(2, ALARM_UNITS)), "kPa");
    ui::SetCtrlVal(pumpAlarms, AlarmRowCtrl(3, ALARM_FIRST), 1500.0);
    ui::SetCtrlVal(pumpAlarms, AlarmRowCtrl(3, ALARM_SECOND), 1600.0);
    ui::Press(pumpAlarms, AlarmRowCtrl(3, ALARM_SET));
    // SET on rows left alone (one through the keypad's OK) sends the pump's own values: 9500
    // psi and 0 / 200 degF, not 9500.06 and 0.0003 / 199.998.
    const auto held = fleet->unit(0).alarmLimits();
    ui::Press(pumpAlarms, AlarmRowCtrl(1, ALARM_SECOND));
    keypadEnter("");
    for (int row : {0, 1}) ui::Press(pumpAlarms, AlarmRowCtrl(row, ALARM_SET));
    loop.advance(0.5);
    EXPECT_EQ(writes(0, pumpsim::kCmdAlarmLimits).size(), 4u);
    for (size_t at : {8 * 5, 8 * 5 + 4, 8 * 12, 8 * 12 + 4})
        EXPECT_EQ(bytes(fleet->unit(0).alarmLimits(), at, at + 4), bytes(held, at, at + 4)) << at;
    const auto& limits = fleet->unit(0).alarmLimits();
    EXPECT_FLOAT_EQ(pumpsim::getF32(limits, 8), 212.0f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(limits, 12), 122.0f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(limits, 8 * 14), 1500.0f);
    EXPECT_FLOAT_EQ(pumpsim::getF32(limits, 8 * 14 + 4), 1600.0f);
    // The round trip shows the pair as entered.
    open(hw, HW_SELECT_MOTOR_ALARMS, HwDialog::MotorAlarms);
    EXPECT_NEAR(ui::GetCtrlDouble(HardwareDialog(HwDialog::MotorAlarms), AlarmRowCtrl(0, ALARM_FIRST)),
                100.0, 0.01);
    ai = open(hw, HW_SELECT_OIL_PRESS, HwDialog::Ai);
    EXPECT_EQ(ui::GetCtrlAttributeText(ai, AI_ENG_LOW, ui::ATTR_UNITS_LABEL), "kPa");
}

TEST_F(Hardware, CharacteristicsShowTheirOwnPumpAndRefuseImpossibleValues) {
    start();
    const int dialog = open(openHardware(2), HW_SELECT_CHARACTERISTICS, HwDialog::Characteristics);
    ASSERT_NE(dialog, 0);
    EXPECT_EQ(ui::GetCtrlInt(dialog, CHAR_PLUNGERS), 3);
    // Pump 9 answers with another geometry: the dialog keeps pump 3's.
    SendPumpCommand(8, PumpGeometryWrite{5.0f, 10.0f, 5});
    SendPumpCommand(8, Op::ReadPumpConfig);
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlInt(dialog, CHAR_PLUNGERS), 3);
    EXPECT_FLOAT_EQ(static_cast<float>(ui::GetCtrlDouble(dialog, CHAR_STROKE)), 8.0f);

    for (auto [field, bad] : {std::pair{CHAR_PLUNGERS, 0.0}, {CHAR_EFFICIENCY, 1.5},
                              {CHAR_GEAR_RATIO, 0.0}}) {
        const double good = ui::GetCtrlDouble(dialog, field);
        ui::SetCtrlVal(dialog, field, bad);
        ui::Press(dialog, CHAR_SEND);
        ui::SetCtrlVal(dialog, field, good);
    }
    loop.advance(0.5);
    EXPECT_TRUE(writes(2, 0x1B).empty()) << "nothing sent for an impossible value";
    // A block not read from the pump yet (back on line a moment ago) is asked for: Send
    // writes nothing, and journals no write.
    PumpTable[2].PumpConfigRead = false;
    ui::Press(dialog, CHAR_SEND);
    loop.advance(0.5);
    EXPECT_TRUE(writes(2, 0x1B).empty()) << "sent before the pump's block was read";
    EXPECT_EQ(journalled(2, "Characteristics written"), 0);

    ui::Press(dialog, CHAR_PRESET_5);
    ui::Press(dialog, CHAR_PRESET_3);
    ui::Press(dialog, CHAR_EFFICIENCY);  // on the keypad, which names the pump and the range
    ASSERT_NE(KeypadPanel, 0);
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_CAPTION), "Pump 2A Pump Efficiency, 0 to 1.2");
    keypadEnter("1.25");
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_DISPLAY), "0 to 1.2");
    keypadEnter("0.85");
    EXPECT_EQ(KeypadPanel, 0);
    ui::Press(dialog, CHAR_SEND);
    loop.advance(0.5);
    const auto sent = writes(2, 0x1B);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].data[0], 3) << "geometry first, with the preset";
    EXPECT_FLOAT_EQ(f32(sent[1].data, 24), 0.85f) << "then efficiency and gear ratio";
    EXPECT_EQ(fleet->unit(2).plungers(), 3);
    EXPECT_FLOAT_EQ(fleet->unit(2).efficiency(), 0.85f);
}

TEST_F(Hardware, SpeedControlKeepsOtherPumpsLimitsAndStepsSurviveARestart) {
    start();
    const int dialog = open(openHardware(2), HW_SELECT_SPEED, HwDialog::Speed);
    ASSERT_NE(dialog, 0);
    EXPECT_EQ(ui::GetCtrlInt(dialog, SPD_MIN), kIdleRpm) << "the minimum the controller holds";
    EXPECT_EQ(ui::GetCtrlInt(dialog, SPD_MAX), 1900);
    // Pump 9's limits change and are read back: the dialog keeps pump 3's, and pump 9's
    // idle speed is its own.
    SendPumpCommand(8, ThrottleConfigWrite{kIdleRpm, 1700, 0.0f, 1.0f});
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlInt(dialog, SPD_MAX), 1900);
    EXPECT_EQ(PumpTable[8].MinRpm, static_cast<float>(kIdleRpm));

    for (int refused : {1001, -25}) {
        ui::SetCtrlVal(dialog, SPD_STEP_SMALL, refused);
        ui::Press(dialog, SPD_SET);
        EXPECT_EQ(PumpTable[5].RpmStepSmall, 25) << refused;
    }
    // The keypad holds a step to what SET takes.
    ui::Press(dialog, SPD_STEP_SMALL);
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_CAPTION),
              "Small Step for every pump, 1 to 1000 RPM");
    keypadEnter("0");
    EXPECT_EQ(ui::GetCtrlText(KeypadPanel, NUMPAD_DISPLAY), "1 to 1000 RPM");
    EXPECT_EQ(ui::GetCtrlInt(dialog, SPD_STEP_SMALL), -25);
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
    ui::SetCtrlVal(dialog, SPD_STEP_SMALL, 50);
    for (auto [low, high] : {std::pair{1600, 1500}, {0, 0}}) {
        ui::SetCtrlVal(dialog, SPD_MIN, low);
        ui::SetCtrlVal(dialog, SPD_MAX, high);
        ui::Press(dialog, SPD_SET);
        EXPECT_EQ(PumpTable[5].RpmStepSmall, 25) << "minimum above maximum, or no maximum";
    }
    ui::SetCtrlVal(dialog, SPD_MAX, 1500);
    // The minimum back to what was shown: only the maximum is the technician's.
    ui::SetCtrlVal(dialog, SPD_MIN, kIdleRpm);
    ui::Press(dialog, SPD_SET);
    loop.advance(0.5);
    EXPECT_EQ(PumpTable[2].MaxRpm, 1500.0f) << "the lowered maximum read back";
    ASSERT_FALSE(writes(2, pumpsim::kCmdThrottle).empty());
    EXPECT_EQ(f32(writes(2, pumpsim::kCmdThrottle).back().data, 32), kIdleRpm);
    EXPECT_EQ(fleet->unit(2).minRpm(), kIdleRpm);

    SaveConfiguration();
    for (int p = 0; p < kPumps; ++p) PumpTable[p].RpmStepSmall = 0;
    LoadConfiguration();
    for (int p = 0; p < kPumps; ++p) EXPECT_EQ(PumpTable[p].RpmStepSmall, 50) << "pump " << p + 1;
}

TEST_F(Hardware, IdentificationsGoOnlyToPumpsShownOnLineAtOpening) {
    start();
    fleet->unit(4).setFailure({.silent = true});
    loop.advance(16.0);
    ASSERT_EQ(PumpTable[4].Online, 0);
    ui::DispatchCtrlEvent(BankPanel[0], BankRow[0][kPosPumpId], ui::EVENT_LEFT_CLICK);
    const int ids = PumpIdsPanel();
    ASSERT_NE(ids, 0);
    EXPECT_EQ(ui::GetCtrlAttributeInt(ids, IDS_FIELD_FIRST + 4, ui::ATTR_DIMMED), 1);
    fleet->unit(4).setFailure({});
    for (int i = 0; i < 60 && PumpTable[4].Online == 0; ++i) loop.advance(0.5);
    ASSERT_EQ(PumpTable[4].Online, 1);

    // The operator types pump 3's; pump 2's new identification still reaches its field.
    popups.answerPrompt("ABCDEFGHIJ");
    ui::DispatchCtrlEvent(ids, IDS_FIELD_FIRST + 2, ui::EVENT_LEFT_CLICK);
    fleet->unit(1).setPumpId("NEW-2");
    fleet->unit(2).setPumpId("NEW-3");
    SendPumpCommand(kAllPumps, Op::ReadPumpId);
    loop.advance(3.0);
    EXPECT_EQ(ui::GetCtrlText(ids, IDS_FIELD_FIRST + 1), "NEW-2");
    EXPECT_EQ(ui::GetCtrlText(ids, IDS_FIELD_FIRST + 2), "ABCDEFGH");

    heard.clear();
    ui::Press(ids, IDS_SEND);
    loop.advance(1.0);
    const auto sent = writes(2, 0x1F);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (std::vector<std::uint8_t>{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0}));
    EXPECT_TRUE(writes(4, 0x1F).empty()) << "a pump off line at opening keeps its identification";
    EXPECT_EQ(fleet->unit(2).pumpId(), "ABCDEFGH");
}

// One read in flight per dialog, so that each reply fills the reading that was asked: the
// read buttons wait (dimmed) for the opening read, Read High for Read Low's reply or its
// time-out. A later reply of the whole block (another read of the channel) leaves what the
// technician changed, and what he left alone goes back as the pump last sent it.
TEST_F(Hardware, EachReadIsAnsweredAndALaterReplyKeepsTheTechniciansEntries) {
    start();
    setUpInputBlocks(fleet->unit(2));
    const int ai = openAtOnce(openHardware(2), HW_SELECT_DISCHARGE, HwDialog::Ai);
    ASSERT_NE(ai, 0);
    const auto readsWait = [ai] {
        return ui::GetCtrlAttributeInt(ai, AI_READ_LOW, ui::ATTR_DIMMED) +
               ui::GetCtrlAttributeInt(ai, AI_READ_HIGH, ui::ATTR_DIMMED);
    };
    EXPECT_EQ(readsWait(), 2) << "the opening read in flight";
    fleet->unit(2).setDischargeOverride(1000.0);
    loop.advance(0.5);
    EXPECT_EQ(readsWait(), 0);
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_OPTION), 1);
    ui::Press(ai, AI_READ_LOW);
    ui::Press(ai, AI_READ_HIGH);
    EXPECT_EQ(readsWait(), 2);
    EXPECT_EQ(ui::GetCtrlText(ai, AI_LIVE_COUNTS), "reading (low)");
    loop.advance(0.5);
    const int low = 1013;
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_LOW), low);
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_HIGH), 0) << "Low's reply is not taken for High";

    // A read the pump never answers holds the buttons until it times out in the queue.
    fleet->unit(2).setDischargeOverride(9000.0);
    fleet->unit(2).setFailure({.silent = true});
    ui::Press(ai, AI_READ_HIGH);
    loop.advance(0.5);
    EXPECT_EQ(readsWait(), 2);
    loop.advance(2.0 * ReplyTimeout);
    EXPECT_EQ(readsWait(), 0);
    EXPECT_EQ(ui::GetCtrlText(ai, AI_LIVE_COUNTS), "no reply (high)");
    fleet->unit(2).setFailure({});
    loop.advance(2.0 * ReplyTimeout);
    ui::Press(ai, AI_READ_HIGH);
    loop.advance(0.5);
    const int high = 2720;
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_LOW), low);
    EXPECT_EQ(ui::GetCtrlInt(ai, AI_RAW_HIGH), high);

    // Value A changes on the controller (from its own panel) while the technician types a
    // Value B and the two values; the block is read again meanwhile.
    auto before = fleet->unit(2).aiConfig(4);
    pumpsim::putF32(before, 32, 275.0f);
    fleet->unit(2).setAiConfig(4, before);
    ui::SetCtrlVal(ai, AI_VALUE28, 20000.0);
    ui::SetCtrlVal(ai, AI_ENG_LOW, 1000.0);
    ui::SetCtrlVal(ai, AI_ENG_HIGH, 9000.0);
    SendPumpCommand(2, AiConfigRead{4});
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_VALUE32), 275.0);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_VALUE28), 20000.0);
    EXPECT_EQ(ui::GetCtrlDouble(ai, AI_ENG_HIGH), 9000.0);
    ui::Press(ai, AI_AUTOSCALE);
    ui::Press(ai, AI_OK);
    loop.advance(0.5);

    ASSERT_EQ(writes(2, 0x01).size(), 1u);
    const auto after = fleet->unit(2).aiConfig(4);
    EXPECT_EQ(bytes(after, 0, 2), bytes(before, 0, 2)) << "channel and option byte";
    EXPECT_EQ(bytes(after, 4, 8), bytes(before, 4, 8));
    EXPECT_EQ(f32(after, 28), 20000.0f);
    EXPECT_EQ(f32(after, 32), 275.0f);
    EXPECT_EQ(bytes(after, 36, 44), bytes(before, 36, 44));
    EXPECT_NEAR(f32(after, 16), 4.686585, 1e-5);  // 8000 psi over 1707 counts
    EXPECT_NEAR(f32(after, 12), -3747.510, 1e-3);
    EXPECT_EQ(f32(after, 20), 0.0f);
    EXPECT_EQ(f32(after, 24), 0.0f);
    EXPECT_EQ(journalled(2, "Analog input 4 calibration written"), 1);
    EXPECT_TRUE(popups.shown().empty()) << lastPopup();
}

// Each dialog opened while its pump is silent writes nothing, and says so, until a block has
// come from that pump (another pump's block of the same kind does not count); then a write
// changes only the field edited, the bytes the station has no field for among those kept.
// One dialog after the other in the same window, so that nothing of one carries over.
TEST_F(Hardware, EachDialogWritesNothingUntilItsOwnBlockCameAndThenOnlyTheFieldEdited) {
    using Block = std::vector<std::uint8_t>;
    const auto vec = [](const auto& b) { return Block(b.begin(), b.end()); };
    const auto ai = [&](int channel) { return vec(fleet->unit(2).aiConfig(channel)); };
    struct Row {
        std::string name;
        int select;
        HwDialog kind;
        std::function<void()> otherPumpsBlock;
        std::function<Block()> block;
        int write, code;  // the button that writes, the write's command code
        std::function<void(int dialog)> edit;
        size_t at;
        float value;
        std::vector<std::pair<size_t, size_t>> kept;
        std::string journal;
    };
    const Row rows[] = {
        {"AI 4", HW_SELECT_DISCHARGE, HwDialog::Ai, [] { SendPumpCommand(6, AiConfigRead{4}); },
         [&] { return ai(4); }, AI_SEND, 0x01,
         [](int d) {
             ui::Operate(d, AI_MANUAL, 1);
             ui::SetCtrlVal(d, AI_COEF0, -60.0);
         },
         12, -60.0f, {{0, 2}, {4, 8}, {16, 44}}, "Analog input 4 calibration written"},
        {"AI 5", HW_SELECT_SUCTION, HwDialog::Ai, [] { SendPumpCommand(6, AiConfigRead{5}); },
         [&] { return ai(5); }, AI_OK, 0x01,
         [](int d) {
             ui::Operate(d, AI_MANUAL, 1);
             ui::SetCtrlVal(d, AI_COEF1, 2.5);
         },
         16, 2.5f, {{0, 2}, {4, 8}, {12, 16}, {20, 44}}, "Analog input 5 calibration written"},
        {"FI", HW_SELECT_RPM, HwDialog::Fi, [] { SendPumpCommand(6, FiConfigRead{0}); },
         [&] { return vec(fleet->unit(2).fiConfig(0)); }, FI_OK, 0x03,
         [](int d) { ui::SetCtrlVal(d, FI_PULSES, 18.0); }, 28, 18.0f,
         {{0, 6}, {8, 28}, {32, 40}}, "18.000 pulses per revolution written"},
        {"motor alarms", HW_SELECT_MOTOR_ALARMS, HwDialog::MotorAlarms,
         [] { SendPumpCommand(6, Op::ReadAlarmLimits); },
         [&] { return vec(fleet->unit(2).alarmLimits()); }, AlarmRowCtrl(0, ALARM_SET), 0x32,
         [](int d) { ui::SetCtrlVal(d, AlarmRowCtrl(0, ALARM_SECOND), 280.0); }, 8 + 4, 280.0f,
         {{0, 12}, {16, pumpsim::kAlarmLimitsSize}}, "Alarm set-points 1 written: 0, 280"},
        {"pump alarms", HW_SELECT_PUMP_ALARMS, HwDialog::PumpAlarms,
         [] { SendPumpCommand(6, Op::ReadAlarmLimits); },
         [&] { return vec(fleet->unit(2).alarmLimits()); }, AlarmRowCtrl(0, ALARM_SET), 0x32,
         [](int d) { ui::SetCtrlVal(d, AlarmRowCtrl(0, ALARM_FIRST), 9400.0); }, 8 * 5, 9400.0f,
         {{0, 8 * 5}, {8 * 5 + 4, pumpsim::kAlarmLimitsSize}}, "Alarm set-points 5 written"},
    };
    start();
    setUpInputBlocks(fleet->unit(2));
    const int hw = openHardware(2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Block before = row.block();
        fleet->unit(2).setFailure({.silent = true});
        popups.clear();
        const int dialog = openAtOnce(hw, row.select, row.kind);
        ASSERT_NE(dialog, 0);
        ui::Press(dialog, row.write);
        EXPECT_TRUE(refusedAsNotRead()) << lastPopup();
        EXPECT_EQ(HardwareDialog(row.kind), dialog) << "a refused write leaves the dialog open";
        row.otherPumpsBlock();
        loop.advance(1.0);
        popups.clear();
        ui::Press(dialog, row.write);
        EXPECT_TRUE(refusedAsNotRead()) << lastPopup();
        fleet->unit(2).setFailure({});
        loop.advance(2.0 * ReplyTimeout);
        EXPECT_TRUE(writes(2, row.code).empty());
        EXPECT_EQ(journalled(2, row.journal), 0);

        row.edit(dialog);
        popups.clear();
        ui::Press(dialog, row.write);
        loop.advance(0.5);
        EXPECT_EQ(writes(2, row.code).size(), 1u);
        const Block after = row.block();
        EXPECT_EQ(pumpsim::getF32(after, row.at), row.value);
        for (const auto& [from, to] : row.kept)
            EXPECT_TRUE(std::equal(after.begin() + from, after.begin() + to, before.begin() + from))
                << "bytes " << from << "-" << to << " changed";
        EXPECT_EQ(journalled(2, row.journal), 1);
        EXPECT_TRUE(popups.shown().empty()) << lastPopup();
        heard.clear();
    }
}

// The frequency input's pulses per revolution from a known speed, never zero; the read
// button waits for the opening read, whose reply fills every field.
TEST_F(Hardware, PulsesPerRevolutionFromAKnownSpeedAndNeverZero) {
    start();
    const int fi = openAtOnce(openHardware(2), HW_SELECT_RPM, HwDialog::Fi);
    ASSERT_NE(fi, 0);
    EXPECT_EQ(ui::GetCtrlAttributeInt(fi, FI_READ, ui::ATTR_DIMMED), 1) << "the opening read";
    loop.advance(0.5);
    EXPECT_EQ(ui::GetCtrlInt(fi, FI_OPTION), 1) << "the first reply fills every field";
    EXPECT_EQ(ui::GetCtrlDouble(fi, FI_PULSES), 60.0);
    EXPECT_EQ(ui::GetCtrlAttributeInt(fi, FI_READ, ui::ATTR_DIMMED), 0);
    ui::SetCtrlVal(fi, FI_SPEED, 0.0);
    ui::SetCtrlVal(fi, FI_FREQUENCY, 540.0);
    ui::Press(fi, FI_AUTOSCALE);
    EXPECT_EQ(ui::GetCtrlDouble(fi, FI_PULSES), 0.0);
    ui::Press(fi, FI_OK);
    EXPECT_EQ(lastPopup(), "Pulses per revolution must be above 0.");
    ui::SetCtrlVal(fi, FI_SPEED, 1800.0);
    ui::Press(fi, FI_AUTOSCALE);
    EXPECT_EQ(ui::GetCtrlDouble(fi, FI_PULSES), 18.0);
    ui::Press(fi, FI_OK);
    loop.advance(0.5);
    EXPECT_FLOAT_EQ(pumpsim::getF32(fleet->unit(2).fiConfig(0), 28), 18.0f);
}

}  // namespace
