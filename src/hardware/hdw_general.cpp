#include "hardware/hdw_general.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>

#include "common/wire.h"
#include "hardware/hardware_selection.h"
#include "hardware/hdw_support.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "operation/panels.h"
#include "platform/module_state.h"
#include "settings/config_record.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace hardware {

namespace {

using namespace windows;

constexpr double kFullScaleCounts = 4095.0;
constexpr std::uint16_t kTemperatureKinds = kSensorOilTemp | 0x01 | 0x02 | 0x100 | 0x200 | 0x400;
constexpr std::uint16_t kKpaKinds = kSensorOilPressure | kSensorSuction;
constexpr int kNoKind = -1;  // a set-point without unit
constexpr int kAlarmReadChannel = 5;

constexpr BlockField kAiFields[] = {
    {AI_COEF0, aiblock::kCoefficients, false},     {AI_COEF1, aiblock::kCoefficients + 4, false},
    {AI_COEF2, aiblock::kCoefficients + 8, false}, {AI_COEF3, aiblock::kCoefficients + 12, false},
    {AI_VALUE28, aiblock::kHigh, false},           {AI_VALUE32, aiblock::kLow, false},
    {AI_OPTION, aiblock::kOption, true},
};
constexpr BlockField kFiFields[] = {
    {FI_OPTION, fiblock::kOption, true},
    {FI_PULSES, fiblock::kPulsesPerRev, false},
};

// Each input dialog keeps the block as its pump and channel last sent it and what it put in
// each of the block's fields. A write starts from the pump's bytes and takes from the dialog
// only the fields whose value is no longer the one shown: what the technician typed or the
// dialog worked out for him.
struct AiDialogState {
    int pump = -1;
    int channel = 0;
    std::uint16_t kind = 0;
    BlockRead read;         // mode 0 the whole dialog, 1 the low raw reading, 2 the high one
    bool received = false;  // a block of this pump and channel has filled the dialog
    std::uint8_t block[kAiConfigSize] = {};
    double shown[std::size(kAiFields)] = {};
    // The engineering values shown beside the readings, and the same in the pump's units
    // (psi or degF) as its coefficients give them: an auto-scale on a value left alone
    // takes the pump's own, not the shown one converted back.
    double engShown[2] = {};
    float engHeld[2] = {};
    bool operator==(const AiDialogState&) const = default;
};
struct FiDialogState {
    int pump = -1;
    BlockRead read;  // mode 0 the whole dialog, 3 the measured frequency
    bool received = false;
    std::uint8_t block[kFiConfigSize] = {};
    double shown[std::size(kFiFields)] = {};
    bool operator==(const FiDialogState&) const = default;
};
struct GeneralState {
    AiDialogState ai;
    FiDialogState fi;
    int alarmPump = -1;  // the pump both alarm dialogs were opened for
    // Whether the set-points of alarmPump have filled each alarm dialog since it opened: a
    // dialog opens blank, and SET sends what the row shows.
    bool motorAlarmsRead = false;
    bool pumpAlarmsRead = false;
    // Each alarm row's pair as shown (display units) and as the pump holds it: SET sends a
    // value left alone as the pump's own, the one typed converted once.
    struct AlarmPair {
        double shown[2] = {};
        float held[2] = {};
        bool operator==(const AlarmPair&) const = default;
    };
    AlarmPair motorRows[kAlarmRows] = {};
    AlarmPair pumpRows[kAlarmRows] = {};
    bool operator==(const GeneralState&) const = default;
};
GeneralState g;

bool& alarmsRead(HwDialog kind) {
    return kind == HwDialog::MotorAlarms ? g.motorAlarmsRead : g.pumpAlarmsRead;
}

GeneralState::AlarmPair* alarmRows(const int (&codes)[kAlarmRows]) {
    return &codes == &kMotorAlarmCodes ? g.motorRows : g.pumpRows;
}

// What a field sends: the pump's own value while the field still shows it, else the typed
// value converted once.
template <typename Convert>
float keptOrEntered(double field, double shown, float held, Convert entered) {
    return SameNumber(field, shown) ? held : entered(static_cast<float>(field));
}

bool temperature(std::uint16_t kind) {
    return (kind & kTemperatureKinds) != 0;
}

// Engineering values of the calibration dialogs, with their own factors.
double engineeringShown(double psiOrF, std::uint16_t kind) {
    if (!settings::MetricUnits()) return psiOrF;
    if ((kind & kKpaKinds) != 0) return psiOrF * 6.8948;
    if (temperature(kind)) return (psiOrF - 32.0) * 0.55555;
    if ((kind & kSensorDischarge) != 0) return psiOrF * 0.0068948;
    return psiOrF;
}
float engineeringEntered(float shown, std::uint16_t kind) {
    if (!settings::MetricUnits()) return shown;
    if ((kind & kKpaKinds) != 0) return shown * 0.14503774f;
    if (temperature(kind)) return 32.0f + 1.8f * shown;
    if ((kind & kSensorDischarge) != 0) return shown * 145.03774f;
    return shown;
}
std::string engineeringUnits(std::uint16_t kind) {
    if (!settings::MetricUnits()) return temperature(kind) ? "degF" : "PSI";
    if ((kind & kKpaKinds) != 0) return "kPa";
    if (temperature(kind)) return "degC";
    return "MPa";
}

// Display kind of an alarm set-point code, and its conversion of entered values.
int alarmKind(int code) {
    switch (code) {
        case 5:
            return 1;
        case 13:
        case 15:
            return 0;
        case 14:
            return kNoKind;
        default:
            return 2;
    }
}
float alarmEntered(float shown, int code) {
    if (!settings::MetricUnits()) return shown;
    switch (alarmKind(code)) {
        case 0:
            return shown * 0.14503774f;
        case 1:
            return shown * 145.03774f;
        case 2:
            return 32.0f + 1.8f * shown;
        default:
            return shown;
    }
}
std::string alarmUnits(int code) {
    const bool metric = settings::MetricUnits();
    switch (alarmKind(code)) {
        case 0:
            return metric ? "kPa" : "PSI";
        case 1:
            return metric ? "MPa" : "PSI";
        case 2:
            return metric ? "°C" : "°F";
        default:
            return "";
    }
}

void setShown(int panel, int control, double value) {
    ui::SetCtrlVal(panel, control, value);
    AutoPrecisionAI(panel, control);
}

// The block in the analog dialog; with keepEdits only in the fields nobody has changed. The
// two engineering values keep, beside what they show, the pump's own value for Auto Scale.
void showAiBlock(int panel, bool keepEdits) {
    AiDialogState& d = g.ai;
    ShowBlockFields(panel, kAiFields, d.shown, d.block, keepEdits);
    const float coef0 = wire::getF32(d.block + aiblock::kCoefficients);
    const float coef1 = wire::getF32(d.block + aiblock::kCoefficients + 4);
    const float held[2] = {coef0, static_cast<float>(coef0 + coef1 * kFullScaleCounts)};
    const int controls[2] = {AI_ENG_LOW, AI_ENG_HIGH};
    for (int i = 0; i < 2; ++i) {
        if (keepEdits && !SameNumber(ui::GetCtrlDouble(panel, controls[i]), d.engShown[i]))
            continue;
        d.engHeld[i] = held[i];
        setShown(panel, controls[i], engineeringShown(held[i], d.kind));
        d.engShown[i] = ui::GetCtrlDouble(panel, controls[i]);
    }
    if (settings::MetricUnits() && d.kind == kSensorDischarge) {
        for (int c : controls) {
            ui::SetCtrlAttribute(panel, c, ui::ATTR_PRECISION, 2);
            ui::SetCtrlAttribute(panel, c, ui::ATTR_FORMAT, ui::FMT_DECIMAL);
        }
    }
}

// The read buttons take a press only while no read is in flight (and, for the two-point
// calibration, out of manual mode).
void showAiReadButtons(int panel) {
    const bool off = ui::GetCtrlInt(panel, AI_MANUAL) != 0 || g.ai.read.waiting;
    for (int c : {AI_READ_LOW, AI_READ_HIGH}) ui::SetCtrlAttribute(panel, c, ui::ATTR_DIMMED, off);
}

const char* rawReadName(int mode) {
    return mode == 1 ? " (low)" : " (high)";
}

void startAiRead(int panel, int mode) {
    if (!StartBlockRead(g.ai.read, mode, panel, AI_TIMER)) return;
    showAiReadButtons(panel);
    if (mode != 0)
        ui::SetCtrlVal(panel, AI_LIVE_COUNTS, std::string("reading") + rawReadName(mode));
    SendPumpCommand(g.ai.pump, AiConfigRead{static_cast<std::uint8_t>(g.ai.channel)});
}

void startFiRead(int panel, int mode) {
    if (!StartBlockRead(g.fi.read, mode, panel, FI_TIMER)) return;
    ui::SetCtrlAttribute(panel, FI_READ, ui::ATTR_DIMMED, 1);
    SendPumpCommand(g.fi.pump, FiConfigRead{0});
}

constexpr double kDischargeCalibrationMaxPsi = 25000.0;

// The values a calibration point may take: what the input's kind of transducer can read.
void setCalibrationRange(int panel, std::uint16_t kind) {
    double psiOrF[2] = {-15.0, 1000.0};  // oil and suction pressure, down to a vacuum
    if (temperature(kind)) {
        psiOrF[0] = -40.0;
        psiOrF[1] = 400.0;
    } else if ((kind & kSensorDischarge) != 0) {
        psiOrF[0] = 0.0;
        psiOrF[1] = kDischargeCalibrationMaxPsi;
    }
    for (int c : {AI_ENG_LOW, AI_ENG_HIGH}) {
        ui::SetCtrlAttribute(panel, c, ui::ATTR_MIN_VALUE, engineeringShown(psiOrF[0], kind));
        ui::SetCtrlAttribute(panel, c, ui::ATTR_MAX_VALUE, engineeringShown(psiOrF[1], kind));
    }
}

// The input's engineering value as the pump reports it now, in the dialog's units.
void showLiveReading(int panel) {
    if (g.ai.pump < 0 || g.ai.pump >= kPumpCount || PumpTable[g.ai.pump].Online == 0) {
        ui::SetCtrlVal(panel, AI_LIVE, std::string("off line"));
        return;
    }
    const PumpRecord& r = PumpTable[g.ai.pump];
    const std::uint16_t kind = g.ai.kind;
    const float value = (kind & kSensorDischarge) != 0   ? r.DischargePressure
                        : (kind & kSensorOilPressure) != 0 ? r.OilPressure
                        : (kind & kSensorSuction) != 0     ? r.SuctionPressure
                                                           : r.OilTemperature;
    const int decimals =
        temperature(kind) ? 1 : (settings::MetricUnits() && (kind & kSensorDischarge) != 0) ? 2 : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, static_cast<double>(value),
                  engineeringUnits(kind).c_str());
    ui::SetCtrlVal(panel, AI_LIVE, std::string(text));
}

void showManualMode(int panel, bool manual) {
    for (int c = AI_COEF0; c <= AI_COEF3; ++c)
        ui::SetCtrlAttribute(panel, c, ui::ATTR_DIMMED, manual ? 0 : 1);
    for (int c : {AI_RAW_LOW, AI_RAW_HIGH, AI_ENG_LOW, AI_ENG_HIGH, AI_AUTOSCALE})
        ui::SetCtrlAttribute(panel, c, ui::ATTR_DIMMED, manual ? 1 : 0);
    showAiReadButtons(panel);
}

int selectAnalog(int event, int channel, std::uint16_t kind, const char* name) {
    if (event == ui::EVENT_COMMIT) OpenAiDialog(channel, kind, name);
    return 0;
}

void openAlarms(HwDialog kind, int resourceId, const int (&codes)[kAlarmRows]) {
    if (HardwarePanel() == 0) return;
    const int panel = OpenHardwareDialog(kind, resourceId);
    if (panel == 0) return;
    if (g.alarmPump != HardwarePump) g.motorAlarmsRead = g.pumpAlarmsRead = false;
    g.alarmPump = HardwarePump;
    alarmsRead(kind) = false;
    SendPumpCommand(HardwarePump, AiConfigRead{kAlarmReadChannel});
    SendPumpCommand(HardwarePump, Op::ReadAlarmLimits);
    for (int row = 0; row < kAlarmRows; ++row)
        ui::SetCtrlVal(panel, AlarmRowCtrl(row, ALARM_UNITS), alarmUnits(codes[row]));
    if (kind == HwDialog::MotorAlarms)
        Motor_Alarms_Show(panel, ui::EVENT_GOT_FOCUS, nullptr, 0, 0);
    else
        Pump_Alarms_Show(panel, ui::EVENT_GOT_FOCUS, nullptr, 0, 0);
}

void showAlarmRows(int panel, const int (&codes)[kAlarmRows]) {
    if (panel == 0) return;
    for (int row = 0; row < kAlarmRows; ++row) {
        const int code = codes[row];
        const int kind = alarmKind(code);
        GeneralState::AlarmPair& pair = alarmRows(codes)[row];
        for (int i = 0; i < 2; ++i) {
            const float held = wire::getF32(AlarmLimits + kAlarmPairSize * code + 4 * i);
            const int control = AlarmRowCtrl(row, i == 0 ? ALARM_FIRST : ALARM_SECOND);
            ui::SetCtrlVal(panel, control,
                           static_cast<double>(kind == kNoKind ? held : ToDisplayUnits(held, kind)));
            pair.held[i] = held;
            pair.shown[i] = ui::GetCtrlDouble(panel, control);
        }
    }
}

}  // namespace

float ToDisplayUnits(float value, int kind) {
    if (!settings::MetricUnits()) return value;
    switch (kind) {
        case 0:
            return value * 6.8948f;
        case 1:
            return value * 0.0068948f;
        case 2:
            return (value - 32.0f) * 0.55555f;
        case 3:
        case 4:
            return value * 0.15899f;
        case 5:
            return value * 0.746f;
        default:
            return value;
    }
}

float FromDisplayUnits(float value, int kind) {
    if (!settings::MetricUnits()) return value;
    switch (kind) {
        case 0:
            return value * 0.14504f;
        case 1:
            return value * 145.03f;
        case 2:
            return 32.0f + value * 1.8f;
        case 3:
        case 4:
            return value * 6.2897f;
        case 5:
            return value * 1.34f;
        default:
            return value;
    }
}

void OpenAiDialog(int channel, std::uint16_t sensorKind, const char* name) {
    if (HardwarePanel() == 0) return;
    const int panel = OpenHardwareDialog(HwDialog::Ai, HW_AI);
    if (panel == 0) return;
    g.ai = {};
    g.ai.pump = HardwarePump;
    g.ai.channel = channel;
    g.ai.kind = sensorKind;
    ui::SetPanelAttribute(panel, ui::ATTR_TITLE, std::string(name));
    for (int c : {AI_ENG_LOW, AI_ENG_HIGH})
        ui::SetCtrlAttribute(panel, c, ui::ATTR_UNITS_LABEL, engineeringUnits(sensorKind));
    setCalibrationRange(panel, sensorKind);
    showManualMode(panel, false);
    SetHardwareTexts(std::string(name) + " Setup",
                     "Read Low and Read High take the input's counts now; Auto Scale works out the "
                     "coefficients. Option, Value A and Value B are the controller's own settings "
                     "of this input, written back as shown. Send writes; OK writes and closes.");
    ui::SetCtrlVal(panel, AI_LIVE_COUNTS, std::string("none yet"));
    showLiveReading(panel);
    ui::SetCtrlAttribute(panel, AI_LIVE_TIMER, ui::ATTR_ENABLED, 1);
    // The reply fills the dialog when it comes; the read buttons wait for it.
    startAiRead(panel, 0);
}

void ShowAiConfig(int pump, int channel) {
    const int panel = HardwareDialog(HwDialog::Ai);
    if (panel == 0 || pump != g.ai.pump || channel != g.ai.channel) return;
    std::memcpy(g.ai.block, AiConfig, kAiConfigSize);
    const int mode = AnswerBlockRead(g.ai.read);
    showAiReadButtons(panel);
    // Every reply carries the whole block. The first one fills every field whichever reading
    // was asked for (Read Low after a lost opening read), so that no field is left blank for
    // a write to send; a later one leaves what the technician has changed.
    if (mode == 0 || !g.ai.received) showAiBlock(panel, g.ai.received);
    g.ai.received = true;
    if (mode == 0) return;
    const int raw = wire::getU16(g.ai.block + 2);
    ui::SetCtrlVal(panel, mode == 1 ? AI_RAW_LOW : AI_RAW_HIGH, raw);
    ui::SetCtrlVal(panel, AI_LIVE_COUNTS, std::to_string(raw) + rawReadName(mode));
}

int AI_Live(int panel, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK && panel == HardwareDialog(HwDialog::Ai))
        showLiveReading(panel);
    return 0;
}


int SelectDischarge(int, int, int event, void*, int, int) {
    return selectAnalog(event, 4, kSensorDischarge, "Discharge Pressure");
}
int SelectLubeOilTemp(int, int, int event, void*, int, int) {
    return selectAnalog(event, 3, kSensorOilTemp, "Pump Lube Oil Temperature");
}
int SelectLubeOilPress(int, int, int event, void*, int, int) {
    return selectAnalog(event, 2, kSensorOilPressure, "Pump Lube Oil Pressure");
}
int SelectCharge(int, int, int event, void*, int, int) {
    return selectAnalog(event, 5, kSensorSuction, "Suction Pressure");
}

int ManualConfig(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT && event != ui::EVENT_VAL_CHANGED) return 0;
    showManualMode(panel, ui::GetCtrlInt(panel, control) != 0);
    return 0;
}

int ReadLowDAC(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Ai)) return 0;
    HoldButton(panel, control, AI_TIMER);
    startAiRead(panel, 1);
    return 0;
}

int ReadHighDAC(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Ai)) return 0;
    HoldButton(panel, control, AI_TIMER);
    startAiRead(panel, 2);
    return 0;
}

int AutoScaleAI(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Ai)) return 0;
    HoldButton(panel, control, AI_TIMER);
    const auto rawLow = static_cast<std::int16_t>(ui::GetCtrlInt(panel, AI_RAW_LOW));
    const auto rawHigh = static_cast<std::int16_t>(ui::GetCtrlInt(panel, AI_RAW_HIGH));
    if (rawLow == rawHigh) {
        ui::MessagePopup("Auto Scale", "Low and high readings must differ");
        return 0;
    }
    const auto entered = [](float shown) { return engineeringEntered(shown, g.ai.kind); };
    const float low = keptOrEntered(ui::GetCtrlDouble(panel, AI_ENG_LOW), g.ai.engShown[0],
                                    g.ai.engHeld[0], entered);
    const float high = keptOrEntered(ui::GetCtrlDouble(panel, AI_ENG_HIGH), g.ai.engShown[1],
                                     g.ai.engHeld[1], entered);
    const float coef1 = (high - low) / static_cast<float>(rawHigh - rawLow);
    const float coef0 = low - static_cast<float>(rawLow) * coef1;
    if (!std::isfinite(coef0) || !std::isfinite(coef1)) {
        ui::MessagePopup("Auto Scale", "The calibration points give no usable scale.");
        return 0;
    }
    const float coef[4] = {coef0, coef1, 0.0f, 0.0f};
    for (int i = 0; i < 4; ++i) setShown(panel, AI_COEF0 + i, coef[i]);
    return 0;
}

int ConfirmAI(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Ai)) return 0;
    HoldButton(panel, control, AI_TIMER);
    const AiDialogState& d = g.ai;
    if (!PumpOnLineOrSay(d.pump)) return 0;
    if (!d.received) {
        startAiRead(panel, 0);
        NotReadYet("Analog Input", d.pump);
        return 0;
    }
    std::uint8_t block[kAiConfigSize];
    if (!BuildWrite(panel, kAiFields, d.shown, d.block, block, kAiConfigSize)) {
        ui::MessagePopup("Analog Input", "Every coefficient must be a finite number.");
        return 0;
    }
    // The dialog's copy stays as the pump sent it: a field edited back to what was shown
    // goes out as the pump's own bytes again.
    AiConfigWrite w;
    w.channel = static_cast<std::uint8_t>(d.channel);
    for (std::size_t i = 0; i < w.coefficients.size(); ++i)
        w.coefficients[i] = wire::getF32(block + aiblock::kCoefficients + 4 * i);
    w.high = wire::getF32(block + aiblock::kHigh);
    w.low = wire::getF32(block + aiblock::kLow);
    w.option = block[aiblock::kOption];
    // The write takes the rest of the block from the shared buffer.
    std::memcpy(AiConfig, block, kAiConfigSize);
    SendPumpCommand(d.pump, w);
    JournalPumpWrite(d.pump, "Analog input %d calibration written", d.channel);
    if (control == AI_OK) CancelCfg(panel, control, ui::EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int SelectRpm(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || HardwarePanel() == 0) return 0;
    SendPumpCommand(HardwarePump, Op::ReadPumpConfig);
    const int panel = OpenHardwareDialog(HwDialog::Fi, HW_FI);
    if (panel == 0) return 0;
    g.fi = {};
    g.fi.pump = HardwarePump;
    SetHardwareTexts("Pump RPM Setup", " ");
    startFiRead(panel, 0);
    return 0;
}

void ShowFiConfig(int pump, int channel) {
    const int panel = HardwareDialog(HwDialog::Fi);
    if (panel == 0 || pump != g.fi.pump || channel != 0) return;
    std::memcpy(g.fi.block, FiConfig, kFiConfigSize);
    const int mode = AnswerBlockRead(g.fi.read);
    ui::SetCtrlAttribute(panel, FI_READ, ui::ATTR_DIMMED, 0);
    // As in the analog dialog: the first reply fills every field, whatever was asked; a
    // later one leaves what the technician has changed.
    if (mode != 3 || !g.fi.received)
        ShowBlockFields(panel, kFiFields, g.fi.shown, g.fi.block, g.fi.received);
    g.fi.received = true;
    if (mode == 3)
        ui::SetCtrlVal(panel, FI_FREQUENCY, static_cast<double>(wire::getU16(g.fi.block + 6)));
}

int ReadFrequency(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Fi)) return 0;
    HoldButton(panel, control, FI_TIMER);
    startFiRead(panel, 3);
    return 0;
}

int AutoScaleFI(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Fi)) return 0;
    const double speed = ui::GetCtrlDouble(panel, FI_SPEED);
    const double frequency = ui::GetCtrlDouble(panel, FI_FREQUENCY);
    setShown(panel, FI_PULSES, speed == 0.0 ? 0.0 : frequency * 60.0 / speed);
    HoldButton(panel, control, FI_TIMER);
    return 0;
}

int ConfirmFI(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != HardwareDialog(HwDialog::Fi)) return 0;
    HoldButton(panel, control, FI_TIMER);
    if (!PumpOnLineOrSay(g.fi.pump)) return 0;
    if (!g.fi.received) {
        startFiRead(panel, 0);
        NotReadYet("Frequency Input", g.fi.pump);
        return 0;
    }
    std::uint8_t block[kFiConfigSize];
    const bool fits = BuildWrite(panel, kFiFields, g.fi.shown, g.fi.block, block, kFiConfigSize);
    // The controller divides by it to find the pump's speed.
    const float pulses = wire::getF32(block + fiblock::kPulsesPerRev);
    if (!fits || !std::isfinite(pulses) || pulses <= 0.0f) {
        ui::MessagePopup("Frequency Input", "Pulses per revolution must be above 0.");
        return 0;
    }
    std::memcpy(FiConfig, block, kFiConfigSize);
    SendPumpCommand(g.fi.pump, FiConfigWrite{0, block[fiblock::kOption], pulses});
    JournalPumpWrite(g.fi.pump, "Frequency input: %.3f pulses per revolution written",
                     static_cast<double>(pulses));
    if (control == FI_OK) CancelCfg(panel, control, ui::EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int SelectMotorAlarms(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT)
        openAlarms(HwDialog::MotorAlarms, HW_MOTOR_ALARMS, kMotorAlarmCodes);
    return 0;
}

int SelectPumpAlarms(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_COMMIT)
        openAlarms(HwDialog::PumpAlarms, HW_PUMP_ALARMS, kPumpAlarmCodes);
    return 0;
}

void ShowAlarmLimits(int pump) {
    if (pump != g.alarmPump) return;
    for (auto [kind, codes] : {std::pair{HwDialog::MotorAlarms, &kMotorAlarmCodes},
                               std::pair{HwDialog::PumpAlarms, &kPumpAlarmCodes}}) {
        const int panel = HardwareDialog(kind);
        if (panel == 0) continue;
        showAlarmRows(panel, *codes);
        alarmsRead(kind) = true;
    }
}

int SetAlarm(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel == 0) return 0;
    const bool motor = panel == HardwareDialog(HwDialog::MotorAlarms);
    if (!motor && panel != HardwareDialog(HwDialog::PumpAlarms)) return 0;
    const int row = (control - AlarmRowCtrl(0, 0)) / 10;
    if (row < 0 || row >= kAlarmRows) return 0;
    HoldButton(panel, control, ALARM_TIMER);
    if (!PumpOnLineOrSay(g.alarmPump)) return 0;
    if (!alarmsRead(motor ? HwDialog::MotorAlarms : HwDialog::PumpAlarms)) {
        SendPumpCommand(g.alarmPump, Op::ReadAlarmLimits);
        NotReadYet("Alarm Set-points", g.alarmPump);
        return 0;
    }
    const int code = motor ? kMotorAlarmCodes[row] : kPumpAlarmCodes[row];
    const GeneralState::AlarmPair& pair = (motor ? g.motorRows : g.pumpRows)[row];
    const auto entered = [code](float shown) { return alarmEntered(shown, code); };
    AlarmLimitWrite w;
    w.code = static_cast<std::uint8_t>(code);
    w.first = keptOrEntered(ui::GetCtrlDouble(panel, AlarmRowCtrl(row, ALARM_FIRST)),
                            pair.shown[0], pair.held[0], entered);
    w.second = keptOrEntered(ui::GetCtrlDouble(panel, AlarmRowCtrl(row, ALARM_SECOND)),
                             pair.shown[1], pair.held[1], entered);
    if (!std::isfinite(w.first) || !std::isfinite(w.second)) {
        ui::MessagePopup("Alarm Set-points", "Both set-points must be finite numbers.");
        return 0;
    }
    SendPumpCommand(g.alarmPump, w);
    JournalPumpWrite(g.alarmPump, "Alarm set-points %d written: %g, %g", code,
                     static_cast<double>(w.first), static_cast<double>(w.second));
    return 0;
}

int Motor_Alarms_Show(int, int event, void*, int, int) {
    if (event == ui::EVENT_GOT_FOCUS)
        SetHardwareTexts("Motor Alarms Setup", "Press SET for each alarm point to configure");
    return 0;
}

int Pump_Alarms_Show(int, int event, void*, int, int) {
    if (event == ui::EVENT_GOT_FOCUS)
        SetHardwareTexts("Pump Alarms Setup", "Press SET for each alarm point to configure");
    return 0;
}

int AI_Timer(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    ReleaseButtons(panel, control, {AI_READ_LOW, AI_READ_HIGH, AI_AUTOSCALE, AI_SEND, AI_OK});
    if (panel != HardwareDialog(HwDialog::Ai) ||
        !BlockReadLost(g.ai.read, g.ai.pump, WireCode::AiConfig, panel, control))
        return 0;
    showAiReadButtons(panel);
    if (g.ai.read.mode != 0)
        ui::SetCtrlVal(panel, AI_LIVE_COUNTS,
                       std::string("no reply") + rawReadName(g.ai.read.mode));
    return 0;
}

int FI_Timer(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    ReleaseButtons(panel, control, {FI_READ, FI_AUTOSCALE, FI_SEND, FI_OK});
    if (panel == HardwareDialog(HwDialog::Fi) &&
        BlockReadLost(g.fi.read, g.fi.pump, WireCode::FiConfig, panel, control))
        ui::SetCtrlAttribute(panel, FI_READ, ui::ATTR_DIMMED, 0);
    return 0;
}

int APu_Timer(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ReleaseAlarmButtons(panel, control);
    return 0;
}

int APu2_Timer(int panel, int control, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) ReleaseAlarmButtons(panel, control);
    return 0;
}

void InstallGeneralLinkHooks(LinkHooks& hooks) {
    hooks.showAiConfig = ShowAiConfig;
    hooks.showFiConfig = ShowFiConfig;
    hooks.showAlarmLimits = ShowAlarmLimits;
}

void ResetGeneralDialogs() {
    g = {};
}
VNK_MODULE_STATE_RESET(hardware, hdw_general, g, ResetGeneralDialogs)

void BindGeneralCallbacks() {
    using windows::BindCtrlCallback;
    BindCtrlCallback("SelectDischarge", SelectDischarge);
    BindCtrlCallback("SelectLubeOilTemp", SelectLubeOilTemp);
    BindCtrlCallback("SelectLubeOilPress", SelectLubeOilPress);
    BindCtrlCallback("SelectCharge", SelectCharge);
    BindCtrlCallback("SelectRpm", SelectRpm);
    BindCtrlCallback("SelectMotorAlarms", SelectMotorAlarms);
    BindCtrlCallback("SelectPumpAlarms", SelectPumpAlarms);
    BindCtrlCallback("ManualConfig", ManualConfig);
    BindCtrlCallback("ReadLowDAC", ReadLowDAC);
    BindCtrlCallback("ReadHighDAC", ReadHighDAC);
    BindCtrlCallback("AutoScaleAI", AutoScaleAI);
    BindCtrlCallback("ConfirmAI", ConfirmAI);
    BindCtrlCallback("ReadFrequency", ReadFrequency);
    BindCtrlCallback("AutoScaleFI", AutoScaleFI);
    BindCtrlCallback("ConfirmFI", ConfirmFI);
    BindCtrlCallback("SetAlarm", SetAlarm);
    BindCtrlCallback("AI_Timer", AI_Timer);
    BindCtrlCallback("AI_Live", AI_Live);
    BindCtrlCallback("FI_Timer", FI_Timer);
    BindCtrlCallback("APu_Timer", APu_Timer);
    BindCtrlCallback("APu2_Timer", APu2_Timer);
    windows::BindPanelCallback("Motor_Alarms_Show", Motor_Alarms_Show);
    windows::BindPanelCallback("Pump_Alarms_Show", Pump_Alarms_Show);
}

}  // namespace hardware
