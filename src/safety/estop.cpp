#include "safety/estop.h"

#include <cerrno>
#include <optional>
#include <string>

#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/fleet_banner.h"
#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace safety {

// Until start-up reads the settings, the values a store without them gives.

namespace {

constexpr int kLoopBit = 0x10;  // set while the loop is closed, in both inputs
constexpr int kEStopSerialBaud = 9600;
// The input is sampled every 10 ms. A break acts on the first sample that sees it: it is
// never debounced. The idle round is repeated every 0.3 s while the loop stays broken, so
// that a pump that missed one hears the next without the lines being flooded. The release
// is debounced: the loop counts as closed again only after 50 ms of closed samples, so a
// bouncing contact neither re-arms the stop nor writes its events twice. Times are compared
// with half a sample's slack: a timer tick that comes a little early still counts.
constexpr double kRepeatSeconds = 0.3;
constexpr double kReleaseSeconds = 0.05;
constexpr double kSlack = 0.005;
// A serial input whose adapter was pulled is tried again this often.
constexpr double kReopenSeconds = 2.0;
const char* const kActiveText = "EMERGENCY STOP\nAll pumps sent to idle (minimum speed)";
const char* const kEndedText = "Loop closed — E-stop ended";
const char* const kFailedText = "Emergency-stop input not available";
const char* const kFailedBanner = "E-STOP INPUT FAILED — emergency stop not watched";

// What the E-stop window says, and so which alarm its OK acknowledges.
enum class WindowSays { Nothing, Active, Ended, Failed };

// One read of the input, with what a trace needs to say why it failed.
struct Sample {
    EStopInput input = EStopInput::Failed;
    int status = 0;  // the status word read; negative: the back end's failure
    int error = 0;   // errno of a failed read (0: the input is not open)
};

struct State {
    std::uint32_t EStopParallelPort = settings::kEStopParallelPort.missing;
    std::uint32_t EStopSerialPortNum = settings::kEStopSerialPortNum.missing;
    std::uint32_t EStopMonitored = settings::kEStop.missing;
    std::int32_t EStopCount = 0;
    std::int32_t InstantIdleCount = 0;
    bool inputOpen = false;  // the input the settings name was opened
    int openSerialPort = 0;  // the serial input's port while it is open
    bool failureShown = false;
    double lastRoundAt = 0.0;   // the last idle round of the active E-stop
    double closedSince = -1.0;  // the first of the closed samples in a row while active
    // The serial input's port vanished under it (an adapter pulled): tried again every
    // kReopenSeconds from lostAt on, quietly.
    bool serialLost = false;
    double retriedAt = 0.0;
    void (*latchHook)() = nullptr;  // installed at start-up
    // The input as the trace last reported it: a line per change, not per sample.
    bool traced = false;
    EStopInput tracedInput = EStopInput::Closed;
    std::optional<EStopInput> lastInput;  // of the newest sample; none while not watched
    std::string brokenSince;              // "HH:MM:SS" of the break that latched the E-stop
    WindowSays windowSays = WindowSays::Nothing;
    bool operator==(const State&) const = default;
};
State g;
}  // namespace

std::uint32_t& EStopParallelPort = g.EStopParallelPort;
std::uint32_t& EStopSerialPortNum = g.EStopSerialPortNum;
std::uint32_t& EStopMonitored = g.EStopMonitored;
std::int32_t& EStopCount = g.EStopCount;
std::int32_t& InstantIdleCount = g.InstantIdleCount;

namespace {

int mainPanel() {
    return BankPanel[0];
}

bool portUsedByTheLink(int port) {
    for (int e = 0; e < kTableSize; ++e) {
        if (PumpTable[e].ComPort == port || PumpTable[e].ConfiguredComPort == port) return true;
    }
    return false;
}

void closeInput() {
    if (g.openSerialPort != 0) platform::CloseCom(g.openSerialPort);
    g.openSerialPort = 0;
    UnloadParallel32();
    g.inputOpen = false;
    g.serialLost = false;
    g.traced = false;
}

// Idle for every pump whose port is open, on line or not: a pump that hears but cannot
// answer is stopped as well.
void idleEveryOpenPort() {
    for (int pump = 0; pump < kPumpCount; ++pump)
        if (PumpTable[pump].PortConfig.Mode == 1) IdleOpenPump(pump);
}

void setWindowText(WindowSays says, const char* text) {
    g.windowSays = says;
    if (EStopPanel == 0) return;
    ui::SetCtrlAttribute(EStopPanel, windows::ESTOP_TEXT, ui::ATTR_LABEL_TEXT, std::string(text));
    ui::SetCtrlAttribute(EStopPanel, windows::ESTOP_TEXT, ui::ATTR_TEXT_COLOR,
                         says == WindowSays::Ended ? ui::VAL_WHITE : ui::VAL_RED);
}

void showWindow(WindowSays says, const char* text) {
    setWindowText(says, text);
    if (EStopPanel != 0) ui::DisplayPanel(EStopPanel);
}

// The E-stop on the fleet banner while it is latched, or its input while that cannot be
// read; nothing once the loop is closed and read.
void showOnBanner() {
    using operation::FleetCondition;
    if (EStopMonitored == 1 && EStopCount > 0)
        operation::SetFleetCondition(FleetCondition::EStop, operation::BannerTone::Held,
                                     "E-STOP ACTIVE — loop broken since " + g.brokenSince);
    else if (EStopMonitored == 1 && g.failureShown)
        operation::SetFleetCondition(FleetCondition::EStop, operation::BannerTone::Warning,
                                     kFailedBanner);
    else
        operation::ClearFleetCondition(FleetCondition::EStop);
}

// The red status line on every bank window while the input cannot be read.
void showInputFailure(bool failed) {
    for (int panel : BankPanel)
        if (panel != 0)
            ui::SetCtrlAttribute(panel, windows::BANK_ESTOP_STATUS, ui::ATTR_VISIBLE,
                                 failed ? 1 : 0);
}

}  // namespace

bool EStopPortTaken(int port) {
    return portUsedByTheLink(port);
}

void StartInstantIdle(int repeats) {
    bool anyOpen = false;
    for (int pump = 0; pump < kPumpCount; ++pump)
        anyOpen = anyOpen || PumpTable[pump].PortConfig.Mode == 1;
    if (!anyOpen || mainPanel() == 0) return;
    InstantIdleCount = repeats;
    ui::SetCtrlAttribute(mainPanel(), windows::BANK_TMR_INSTANT_IDLE, ui::ATTR_ENABLED, 1);
}

bool LoadParallel32() {
    return platform::systemBackEnd().openParallel();
}

int Inp32() {
    return platform::systemBackEnd().readParallelStatus();
}

void UnloadParallel32() {
    platform::systemBackEnd().closeParallel();
}

namespace {

Sample sampleInput() {
    if (!g.inputOpen) return {};
    errno = 0;
    const int status =
        EStopParallelPort == 0 ? platform::GetComLineStatus(g.openSerialPort) : Inp32();
    const int error = errno;
    if (EStopParallelPort == 0 && status == platform::kComNotOpen) {
        // The port was closed under the input: its device went away. It is tried again
        // until it comes back; until then the input is failed, never a closed loop.
        TRACE(estop, "CTS of COM%d: the port is gone", g.openSerialPort);
        g.openSerialPort = 0;
        g.inputOpen = false;
        g.serialLost = true;
        g.retriedAt = platform::Timer();
        return {EStopInput::Failed, status, 0};
    }
    // Every failed read comes back negative, which has the loop bit set: test it first.
    if (status < 0) return {EStopInput::Failed, status, error};
    return {(status & kLoopBit) != 0 ? EStopInput::Closed : EStopInput::Broken, status, 0};
}

std::string inputName() {
    if (EStopParallelPort != 0) return "parallel port";
    return "CTS of COM" + std::to_string(EStopSerialPortNum);
}

// A line when the input changes (and for the first sample, which says where it starts); a
// loop that stays broken, or an input that stays unreadable, is not repeated a hundred
// times a second.
void traceChange(const Sample& s) {
    if (g.traced && s.input == g.tracedInput) return;
    g.traced = true;
    g.tracedInput = s.input;
    if (!trace::enabled(trace::Module::estop)) return;
    const std::string name = inputName();
    if (s.input == EStopInput::Closed)
        TRACE(estop, "%s: loop closed (status 0x%02x)", name.c_str(), s.status);
    else if (s.input == EStopInput::Broken)
        TRACE(estop, "%s: loop broken (status 0x%02x)", name.c_str(), s.status);
    else if (!g.inputOpen)
        TRACE(estop, "%s: input failed: not open", name.c_str());
    else
        TRACE(estop, "%s: input failed: read returned %d (%s)", name.c_str(), s.status,
              trace::errnoText(s.error));
}

}  // namespace

EStopInput ReadEStopInput() {
    return sampleInput().input;
}

std::optional<EStopInput> LastEStopSample() {
    return g.lastInput;
}

int EStopActive() {
    if (EStopMonitored != 1) return 0;
    // Latched: once seen broken it holds until a good read on the timer shows the loop
    // closed, whatever the input says in between (a failed read included).
    return EStopCount > 0 || ReadEStopInput() == EStopInput::Broken ? 1 : 0;
}

namespace {

// Opens the serial input on the port the settings name. A port that does not exist (its
// adapter not plugged in) is tried again every kReopenSeconds; one a pump holds, or one that
// refuses the handshake, is not.
bool openSerialInput() {
    const int port = static_cast<int>(EStopSerialPortNum);
    if (portUsedByTheLink(port)) {
        TRACE(estop, "CTS of COM%d: not opened, the port is a pump's", port);
        return false;
    }
    if (const int rc = platform::OpenComConfig(port, "", kEStopSerialBaud, 0, 8, 1, 512, 512);
        rc < 0) {
        TRACE(estop, "CTS of COM%d: the port did not open (%d)", port, rc);
        g.serialLost = true;
        g.retriedAt = platform::Timer();
        return false;
    }
    if (const int rc = platform::SetCTSMode(port, 1); rc < 0) {
        TRACE(estop, "CTS of COM%d: hardware handshake refused (%d)", port, rc);
        platform::CloseCom(port);
        return false;
    }
    TRACE(estop, "CTS of COM%d: input open", port);
    g.openSerialPort = port;
    g.inputOpen = true;
    g.serialLost = false;
    return true;
}

// The serial input whose port is gone, tried again: it counts again from its next sample.
void retrySerialInput(double now) {
    if (!g.serialLost || EStopParallelPort != 0 || now - g.retriedAt < kReopenSeconds - kSlack)
        return;
    g.retriedAt = now;
    if (openSerialInput())
        journal::Record(journal::kNoPump, journal::Kind::EStop,
                        "E-stop input back on COM" + std::to_string(g.openSerialPort));
}

}  // namespace

void OpenEStopInput() {
    closeInput();
    if (EStopParallelPort == 0) {
        if (!openSerialInput())
            ui::MessagePopup("Port Open", "Unable to open the EStop serial port.");
    } else if (LoadParallel32()) {
        TRACE(estop, "parallel port: input open");
        g.inputOpen = true;
    } else {
        TRACE(estop, "parallel port: input did not open");
        ui::MessagePopup("Parallel Port", "Unable to initialize parallel port!!!");
    }
}

void ApplyEStopSettings(std::uint32_t monitored, std::uint32_t parallelPort,
                        std::uint32_t serialPort) {
    const bool rewired = parallelPort != EStopParallelPort ||
                         (parallelPort == 0 && serialPort != EStopSerialPortNum);
    EStopMonitored = monitored;
    EStopParallelPort = parallelPort;
    EStopSerialPortNum = serialPort;
    if (rewired) OpenEStopInput();
    if (monitored != 1) {
        EStopCount = 0;
        g.failureShown = false;
        showInputFailure(false);
        showOnBanner();
    }
}

void SetEStopLatchHook(void (*hook)()) {
    g.latchHook = hook;
}

bool EStopLatchHookInstalled() {
    return g.latchHook != nullptr;
}

void ShowEStopWindow() {
    if (EStopPanel != 0) ui::DisplayPanel(EStopPanel);
}

namespace {
constexpr const char* kBrokenName = "E-stop loop broken: all pumps idled";
constexpr const char* kInputFailedName = "E-stop input failed";
}  // namespace

namespace {

void idleRound(double now) {
    idleEveryOpenPort();
    g.lastRoundAt = now;
    EStopCount = 1;
}

// While the E-stop holds: the next idle round when its time has come.
void repeatWhileActive(double now) {
    if (EStopCount == 0) return;
    if (now - g.lastRoundAt >= kRepeatSeconds - kSlack)
        idleRound(now);
    else
        ++EStopCount;
}

}  // namespace

int EStopTimerTick(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (EStopMonitored != 1) {
        EStopCount = 0;
        g.closedSince = -1.0;
        g.traced = false;  // watched again, the first sample says where the input stands
        g.lastInput.reset();
        return 0;
    }
    const double now = platform::Timer();
    retrySerialInput(now);
    const Sample sample = sampleInput();
    const EStopInput input = sample.input;
    g.lastInput = input;
    TRACE(estopSamples, "sample at %.3f ms: %s", now * 1000.0,
          input == EStopInput::Failed   ? "failed"
          : input == EStopInput::Broken ? "broken"
                                        : "closed");
    traceChange(sample);
    if (input == EStopInput::Failed) {
        // Not a closed loop and not a reason to idle a site that may have no loop wired:
        // shown once per failure, and on the bank windows while it lasts. An E-stop already
        // active stays active, its idle rounds going on, until good reads show the loop
        // closed.
        journal::SetAlarm(journal::kNoPump, journal::Kind::EStop, kInputFailedName);
        if (!g.failureShown) {
            g.failureShown = true;
            showInputFailure(true);
            showWindow(WindowSays::Failed, kFailedText);
            showOnBanner();
        }
        g.closedSince = -1.0;    // a failed read is not a closed sample
        repeatWhileActive(now);  // an active E-stop's rounds go on
        return 0;
    }
    journal::ClearAlarm(journal::kNoPump, journal::Kind::EStop, kInputFailedName,
                        "E-stop input readable again");
    if (g.failureShown) {
        g.failureShown = false;
        showInputFailure(false);
        showOnBanner();
        // Read again while the E-stop holds: the window says so again.
        if (g.windowSays == WindowSays::Failed && EStopCount > 0)
            setWindowText(WindowSays::Active, kActiveText);
    }
    if (input == EStopInput::Broken) {
        g.closedSince = -1.0;
        if (EStopCount > 0) {
            repeatWhileActive(now);
            return 0;
        }
        // Latched where it is seen: what acts on the pumps by itself (automatic control)
        // stops now, so that closing the loop again restarts nothing.
        if (g.latchHook != nullptr) g.latchHook();
        journal::SetAlarm(journal::kNoPump, journal::Kind::EStop, kBrokenName);
        idleRound(now);
        g.brokenSince = platform::TimeStr();
        showWindow(WindowSays::Active, kActiveText);
        showOnBanner();
        return 0;
    }
    if (EStopCount > 0) {
        // Closed, but counted closed only after kReleaseSeconds of closed samples: until
        // then the E-stop holds and its rounds go on.
        if (g.closedSince < 0.0) g.closedSince = now;
        if (now - g.closedSince < kReleaseSeconds - kSlack) {
            repeatWhileActive(now);
            return 0;
        }
    }
    const bool released = EStopCount > 0;
    EStopCount = 0;
    g.closedSince = -1.0;
    journal::ClearAlarm(journal::kNoPump, journal::Kind::EStop, kBrokenName,
                        "E-stop loop restored");
    if (released) {
        // The window follows the loop, shown or not; its OK still acknowledges the E-stop.
        if (g.windowSays == WindowSays::Active) setWindowText(WindowSays::Ended, kEndedText);
        showOnBanner();
    }
    return 0;
}

int InstantIdleTimerTick(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    if (InstantIdleCount <= 0) {
        ui::SetCtrlAttribute(panel, control, ui::ATTR_ENABLED, 0);
        return 0;
    }
    for (int pump = 0; pump < kPumpCount; ++pump)
        if (PumpTable[pump].PortConfig.Mode == 1) SendPumpCommand(pump, Op::Idle);
    --InstantIdleCount;
    return 0;
}

int Info_OK(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    // The window's OK is the acknowledgement of the alarm it shows: no second one in the
    // journal. The window keeps its text for when a speed press shows it again.
    if (g.windowSays == WindowSays::Active || g.windowSays == WindowSays::Ended)
        journal::Acknowledge(journal::kNoPump, journal::Kind::EStop, kBrokenName);
    else if (g.windowSays == WindowSays::Failed)
        journal::Acknowledge(journal::kNoPump, journal::Kind::EStop, kInputFailedName);
    ui::HidePanel(panel);
    return 0;
}

void BindEStopCallbacks() {
    windows::BindCtrlCallback("EStopTimerTick", EStopTimerTick);
    windows::BindCtrlCallback("InstantIdleTimerTick", InstantIdleTimerTick);
    windows::BindCtrlCallback("Info_OK", Info_OK);
}

void ResetEStop() {
    g = {};
}
VNK_MODULE_STATE_RESET(safety, estop, g, ResetEStop)

}  // namespace safety
