#include "shell/main_sequence.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "autocontrol/auto_panel.h"
#include "autocontrol/autocontrol.h"
#include "autocontrol/autocontrol_states.h"
#include "client/blender_client.h"
#include "hardware/hardware_selection.h"
#include "hardware/hardware_setup.h"
#include "hardware/hardware_states.h"
#include "hardware/hdw_pump.h"
#include "link/comcfg.h"
#include "link/link_states.h"
#include "link/operations.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/serial_output.h"
#include "link/tx_queue.h"
#include "operation/alarm_annunciation.h"
#include "operation/commands.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/fleet_banner.h"
#include "operation/journal_view.h"
#include "operation/numpadcode.h"
#include "operation/operation_states.h"
#include "operation/panels.h"
#include "operation/port_monitor.h"
#include "operation/power_switches.h"
#include "operation/pumpgroup.h"
#include "operation/trend_display.h"
#include "operation/vfd_reset.h"
#include "platform/event_loop.h"
#include "platform/exit_status.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/system.h"
#include "platform/version.h"
#include "recorder/recorder.h"
#include "remote/publisher.h"
#include "remote/remote_panel.h"
#include "safety/estop.h"
#include "safety/optional_trips.h"
#include "safety/safety_states.h"
#include "safety/trips.h"
#include "settings/config_record.h"
#include "settings/registry_settings.h"
#include "shell/cfg.h"
#include "shell/control_mode.h"
#include "shell/links.h"
#include "shell/msg.h"
#include "shell/password.h"
#include "shell/resume.h"
#include "shell/shell_states.h"
#include "shell/splash.h"
#include "stages/stages.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace safety;
using namespace recorder;
using namespace client;
using namespace autocontrol;
using namespace hardware;

namespace shell {

namespace {

constexpr double kWatchdogInterval = 0.495;
constexpr int kStatsReadouts = 5;

struct ShellState {
    int ShowStats = 0;
    int AdminMode = 0;
    bool stopBySignal = false;
    // Set once the settings file has been read: a stop before that must not write the
    // empty record over the operator's settings.
    bool configLoaded = false;
    // Start-up found the station unsafe to run (a safety seam or a timer not wired).
    bool startUpFailed = false;
    bool operator==(const ShellState&) const = default;
};
ShellState g;
// The wiring of the process around the station, not station state: a reset keeps it.
RunListener g_runListener;
}  // namespace

int& ShowStats = g.ShowStats;
int& AdminMode = g.AdminMode;

namespace {

int mainPanel() {
    return BankPanel[0];
}

void enableTimer(int id, bool on = true) {
    if (mainPanel() != 0) ui::SetCtrlAttribute(mainPanel(), id, ui::ATTR_ENABLED, on ? 1 : 0);
}

bool stopping() {
    return platform::loop().quitRequested();
}

// The detail view's "Reset VFD" buttons stay locked for a while after a reset: its own
// timer ends the lock.
void wireVfdResetLock() {
    if (DetailPanel == 0) return;
    VfdResetControls controls;
    controls.timer = windows::DETAIL_RESET_TIMER;
    for (int pump = 0; pump < kPumpCount; ++pump)
        controls.buttons[pump] = windows::DetailVfdResetCtrl(pump);
    SetVfdResetControls(controls);
}

// An enabled timer without a callback ticks into nothing: in the Debug build that stops
// start-up with the timers named, so a missing binding never ships.
bool timersAllHaveCallbacks() {
#ifndef NDEBUG
    const std::vector<std::string> silent = windows::EnabledTimersWithoutCallback();
    for (const std::string& t : silent)
        std::fprintf(stderr, "start-up error: %s is enabled without a callback\n", t.c_str());
    return silent.empty();
#else
    return true;
#endif
}

// Every hook between modules is installed here, lower modules' first: the link's (answered
// by the display and the serial monitor), then what each upper module adds to the lists of
// the display and the password prompt. No module installs its hooks anywhere else, and
// none replaces another's.
void installHooks() {
    LinkHooks hooks;
    InstallDisplayLinkHooks(hooks);
    InstallHardwareLinkHooks(hooks);
    InstallPortMonitor(hooks);
    SetLinkHooks(hooks);
    // A switch of the display units converts the Pump Table; the rows and fleet values show
    // it at once, before any other module follows the switch.
    AddUnitsChangedHook(RefreshBanks);
    // The groups take a grouped pump's speed step; their lists fill as the record loads.
    InstallPumpGroups();
    InstallTrips();
    // A configure button asks for the password; a good one opens that pump's hardware window.
    SetHardwarePasswordGate([](int bankPanel, int button) {
        PasswordTarget = button;
        ShowPasswordPrompt(bankPanel);
    });
    SetHardwareWindowOpener(ShowHardwareWindow);
    SetRemoteMonitoringOpener(remote::ShowRemotePanel);
    AddPumpIdShownHook(ShowPumpIdInWindow);
    // The journal's count and window follow its changes; its messages become popups.
    InstallJournalView();
    // The trend window follows a switch of the display units at once.
    AddUnitsChangedHook(RefreshTrendWindow);
    // The speed buttons ask the E-stop, the inline trip and the trip interlock before raising
    // a pump, and say why they refuse; the link asks the E-stop and the inline trip before
    // any raise reaches a pump (a group member, automatic control).
    SetSpeedInterlock({[] { return EStopActive() != 0; }, ShowEStopWindow, ManualSpeedAllowed,
                       [](RaiseHold hold) {
                           if (hold == RaiseHold::InlineOverpressure) return InlineHoldText();
                           return hold == RaiseHold::EStop ? std::string("E-stop active")
                                                           : std::string(RaiseHoldText(hold));
                       }});
    SetRaiseGate([](int) {
        if (EStopActive() != 0) return RaiseHold::EStop;
        return InlineTripHolds() ? RaiseHold::InlineOverpressure : RaiseHold::None;
    });
    InstallCommands();
    // A zero over the guard, said yes to, asks for the password; a good one zeroes the pump.
    SetZeroPasswordGate([](int panel) {
        PasswordTarget = kPasswordTargetZeroAnyway;
        ShowPasswordPrompt(panel);
    });
    // A pump whose port comes back while the fleet is held at idle is idled at first contact.
    SetIdleHold([] { return EStopActive() != 0 || InstantIdleCount > 0 || InlineTripHolds(); });
    InstallInlineTrip();
    // The automatic controller follows the display units; the inline trip and the E-stop end
    // it the moment they fire.
    InstallAutoControl();
    SetInlineTripHook([] {
        ChangeAutoMode(kAutoOff, AutoModeCause::InlineTrip);
        stages::NoteStageEvent(stages::StageEvent::InlineTrip);
    });
    SetEStopLatchHook([] {
        ChangeAutoMode(kAutoOff, AutoModeCause::EStop);
        stages::NoteStageEvent(stages::StageEvent::EStop);
    });
}

// A station whose safety seams are not all wired must not run: each is named on stderr.
bool safetyHooksInstalled() {
    const std::vector<std::string> missing = MissingSafetyHooks();
    for (const std::string& m : missing)
        std::fprintf(stderr, "start-up error: the %s is not installed\n", m.c_str());
    return missing.empty();
}

void loadBankWindows() {
    for (int b = kBankCount - 1; b >= 0; --b) {
        BankPanel[b] = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
        if (BankPanel[b] < 0) BankPanel[b] = 0;
    }
    if (ShowStats && mainPanel() != 0) {
        for (int i = 0; i < windows::BANK_STATS_COUNT; ++i)
            ui::SetCtrlAttribute(mainPanel(), windows::BANK_STATS_FIRST + i, ui::ATTR_VISIBLE, 1);
        int readouts[kStatsReadouts];
        for (int i = 0; i < kStatsReadouts; ++i) readouts[i] = windows::BANK_STATS_FIRST + i;
        SetStatsReadouts(mainPanel(), readouts);
    }
    // Each bank's name, on its window and in its title, with the count of its alarms.
    AnnounceAlarms();
}

// Places a window on a monitor: maximised on one of 1024 pixels or less, else centred on
// a 1024-pixel-wide band.
void placeOn(int panel, const platform::Monitor& m) {
    if (panel == 0) return;
    if (m.width <= 1024) {
        ui::SetPanelAttribute(panel, ui::ATTR_PANEL_LEFT, m.left);
        ui::SetPanelAttribute(panel, ui::ATTR_PANEL_TOP, m.top);
        ui::SetPanelAttribute(panel, ui::ATTR_WINDOW_ZOOM, ui::VAL_MAXIMIZE);
    } else {
        ui::SetPanelAttribute(panel, ui::ATTR_WINDOW_ZOOM, ui::VAL_NO_ZOOM);
        ui::SetPanelAttribute(panel, ui::ATTR_PANEL_LEFT, m.left + (m.width - 1024) / 2);
        ui::SetPanelAttribute(panel, ui::ATTR_PANEL_TOP, m.top);
    }
}

}  // namespace

void ParseCommandLine(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const char* a = args[i].c_str();
        if (strcasecmp(a, "/admin") == 0) {
            AdminMode = 1;
        } else if (strcasecmp(a, "/ShowStats") == 0) {
            ShowStats = 1;
        } else if (strcasecmp(a, "/timeout") == 0 && i + 1 < args.size()) {
            char* end = nullptr;
            double v = std::strtod(args[i + 1].c_str(), &end);
            // A number in range is taken and consumed; anything else is looked at as a
            // switch in its turn.
            if (end != args[i + 1].c_str() && v >= 0.2 && v <= 5.0) {
                ReplyTimeout = static_cast<float>(v);
                ++i;
            }
        }
        // "/edit" and anything else: no effect.
    }
}

void EnableSetupMenu() {
    auto undim = [](int panel) {
        if (panel == 0) return;
        const ui::Panel* p = ui::FindPanel(panel);
        if (p == nullptr || p->menuBar == 0) return;
        // Only a bound command may be offered: an unbound one stays dimmed.
        if (windows::MenuCallbackNamed("Load_Setup_Panel") != nullptr)
            ui::SetMenuBarAttribute(p->menuBar, windows::MENU_CONTROL_MODE, ui::ATTR_ITEM_DIMMED,
                                    0);
    };
    for (int b = 0; b < kBankCount; ++b) undim(BankPanel[b]);
    undim(DetailPanel);
}

namespace {
// The journal's first event of a run, with the version that ran: "Start-up, version 0.1.0".
std::string StartUpEventText() {
    return std::string(kStartUpPrefix) + ", version " + platform::ProgramVersion();
}

// The link up: every port that is there opened (a missing one is left to the lost-port
// timer), polling with its reply time-outs and the watchdog, then the E-stop input opened
// and its watch started. No periodic timer of the link runs before the ports are open.
void bringLinkUp() {
    SetPortTimers({mainPanel(), windows::BANK_TMR_WAIT_PORTS, windows::BANK_TMR_DELAY_COM,
                   windows::BANK_TMR_TX_FLASH});
    SetOpTripTimer(mainPanel(), windows::BANK_TMR_OP_TRIP);
    OpenAllPorts(PortReports::Held);
    if (stopping()) return;
    enableTimer(windows::BANK_TMR_POLL);
    enableTimer(windows::BANK_TMR_QUEUE);
    if (mainPanel() != 0)
        ui::SetCtrlAttribute(mainPanel(), windows::BANK_TMR_COM_WATCHDOG, ui::ATTR_INTERVAL,
                             kWatchdogInterval);
    enableTimer(windows::BANK_TMR_COM_WATCHDOG);
    // Ports whose adapter is missing or pulled from now on are tried again until they return.
    enableTimer(windows::BANK_TMR_PORT_RETRY);
    // The emergency-stop input is opened before its watch starts, and before anything that
    // may wait on a file or a dialog (the automatic recording).
    OpenEStopInput();
    enableTimer(windows::BANK_TMR_ESTOP);
    // The service manager hears that the station is up at the loop's next turn.
    if (g_runListener.linkUp) g_runListener.linkUp();
}
}  // namespace

bool StartUp() {
    // Read before this run writes its own start-up: a last run without its shut-down is
    // resumed at once, the link first, without the splash and its waits.
    const PreviousRun previous = FindPreviousRun();
    const bool resume = previous.unclean;
    const auto splashWait = [resume](double seconds) {
        if (!resume) platform::Delay(seconds);
    };
    journal::Record(journal::kNoPump, journal::Kind::Station, StartUpEventText());
    if (resume)
        journal::Record(journal::kNoPump, journal::Kind::Station,
                        RestartedText(previous.lastEventMs));
    journal::SetRetention(settings::ReadJournalRetention());
    // Transmit queues exist before anything can send.
    CreateTxQueues();
    SetShowStats(ShowStats != 0);
    // Emergency-stop wiring and the port hold-off come from the settings store.
    EStopParallelPort = settings::ReadSetting(settings::kEStopParallelPort);
    EStopSerialPortNum = settings::ReadSetting(settings::kEStopSerialPortNum);
    ComStartDelay = settings::ReadSetting(settings::kComStartDelay);
    EStopMonitored = settings::ReadSetting(settings::kEStop);
    // Every entry starts with the connect poll.
    for (int e = 0; e < kTableSize; ++e) PumpTable[e].ReconnectRequest = 1;
    // The alarm-options word is sent to every pump that comes on line.
    std::uint32_t alarmops = settings::ReadSetting(settings::kAlarmops);
    AlarmOptions[0] = static_cast<std::uint8_t>(alarmops);
    AlarmOptions[1] = static_cast<std::uint8_t>(alarmops >> 8);
    // The inline overpressure trip: its switch and trip value.
    LoadInlineTripSettings();

    // A resume shows no splash: its animation and each of its messages take their time.
    if (!resume) ShowSplash();
    splashWait(2.0);
    SetSplashMessage("Setting system policies...");
    splashWait(1.5);
    if (stopping()) return false;

    SetSplashMessage("Initializing control IDs...");
    loadBankWindows();
    EStopPanel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_ESTOP);
    if (EStopPanel < 0) EStopPanel = 0;
    InitControlIds();
    for (int pump = 0; pump < kPumpCount; ++pump) SetRowDimmed(pump, true);  // nothing on line yet
    installHooks();
    if (!safetyHooksInstalled()) {
        g.startUpFailed = true;
        return false;
    }

    SetSplashMessage("Loading saved settings...");
    LoadConfiguration();
    g.configLoaded = true;
    ShowTripFieldRanges();
    DetailPanel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_DETAIL);
    if (DetailPanel < 0) DetailPanel = 0;
    DrawFleetBanner();  // every window that has it says the same
    wireVfdResetLock();
    SetupAutoControl(AdminMode != 0);
    splashWait(1.0);
    platform::ProcessSystemEvents();
    if (stopping()) return false;
    if (resume) {
        SetSplashMessage("Initializing COM ports...please wait");
        bringLinkUp();
        if (stopping()) return false;
        remote::ShowBankNotice(RestartedText(previous.lastEventMs), kRestartNoticeSeconds);
    }

    SetSplashMessage("Connecting to Trellmix PC...");
    LoadClient();
    // The outcome is awaited with the loop running, for at most the connect's own limit.
    for (double start = platform::Timer();
         ClientConnecting() && platform::Timer() - start < 5.5 && !stopping();)
        platform::Delay(0.05);

    if (!resume) {
        SetSplashMessage("Initializing COM ports...please wait");
        bringLinkUp();
    }
    if (stopping()) return false;
    platform::ProcessSystemEvents();
    EnableSetupMenu();
    AnnounceAlarms();
    // The journal's housekeeping: a damaged file found by its check, chattering alarms.
    enableTimer(windows::BANK_TMR_JOURNAL);
    // Remote monitoring: its client connects on a thread of its own; nothing here waits.
    remote::SetRemoteStatusListener(remote::ShowRemoteStatus);
    remote::StartRemote(platform::ProgramVersion());
    enableTimer(windows::BANK_TMR_REMOTE);

    ArrangeBankWindows();
    CloseSplash();
    platform::ProcessSystemEvents();
    // Then the display refresh and the network information.
    ApplyRefreshInterval();
    enableTimer(windows::BANK_TMR_DISPLAY);
    enableTimer(windows::BANK_TMR_NETWORK_INFO);
    // The automatic controller's tick: with the mode off it only follows the well.
    if (AutoPanel != 0) ui::SetCtrlAttribute(AutoPanel, windows::AUTO_TIMER, ui::ATTR_ENABLED, 1);
    // The recorder, with an automatic recording when "AutoRecord" asks for one.
    enableTimer(windows::BANK_TMR_RECORD);
    StartAutoRecording();
    // The trends sample from now on, whether their window is open or not.
    enableTimer(windows::BANK_TMR_TRENDS);
    // A stage the journal holds as running goes on; the stage's sums are taken on its timer.
    stages::ResumeStage();
    enableTimer(windows::BANK_TMR_STAGE);
    if (!timersAllHaveCallbacks()) {
        g.startUpFailed = true;
        return false;
    }
    // A port that did not open is told now, with every pump polled and the E-stop input
    // watched while the message waits for the operator.
    ShowHeldPortReports();
    return !stopping();
}

std::vector<std::string> MissingSafetyHooks() {
    std::vector<std::string> missing;
    if (!SpeedInterlockInstalled()) missing.emplace_back("speed interlock");
    if (!RaiseGateInstalled()) missing.emplace_back("raise gate of the pump link");
    if (!IdleHoldInstalled()) missing.emplace_back("idle hold of the pump link");
    if (!EStopLatchHookInstalled()) missing.emplace_back("E-stop latch hook");
    if (!InlineTripHookInstalled()) missing.emplace_back("inline-trip hook");
    return missing;
}

void ShutDown(bool askPowerOff) {
    if (g_runListener.shuttingDown) g_runListener.shuttingDown();
    journal::Record(journal::kNoPump, journal::Kind::Station,
                    g.stopBySignal ? std::string(kShutDownPrefix) + " (stopped by a signal)"
                                   : std::string(kShutDownPrefix));
    // Every buffered line reaches its file, and the files move, before anything closes; a
    // stop by signal asks nothing.
    StopRecordingFlush(!g.stopBySignal);
    platform::loop().finishBackground();  // the recordings' move ends before the exit
    if (g.configLoaded) SaveConfiguration();
    CloseClient();
    remote::StopRemote();
    DiscardSerialWindow();
    CloseJournalWindow();
    CloseConfirmDialog();
    DiscardTrendWindow();
    for (int b = 0; b < kBankCount; ++b) {
        if (BankPanel[b] != 0 && ui::PanelExists(BankPanel[b])) ui::DiscardPanel(BankPanel[b]);
        BankPanel[b] = 0;
    }
    if (EStopPanel != 0 && ui::PanelExists(EStopPanel)) ui::DiscardPanel(EStopPanel);
    EStopPanel = 0;
    if (DetailPanel != 0 && ui::PanelExists(DetailPanel)) ui::DiscardPanel(DetailPanel);
    DetailPanel = 0;
    DiscardAutoControl();
    CloseSplash();
    UnloadParallel32();
    CloseAllPorts();
    // It comes right behind Exit's question: guarded, so that a double tap on Exit's OK
    // does not power the computer off.
    if (askPowerOff && ui::ConfirmPopup("Shut Down Computer", "Shut down computer?",
                                        {.okCancel = true, .guarded = true}))
        platform::systemBackEnd().shutdownComputer();
}

int RunStation(const std::vector<std::string>& args) {
    ParseCommandLine(args);
    if (StartUp() && !stopping()) platform::RunUserInterface();
    ShutDown(!g.stopBySignal && !g.startUpFailed);
    return g.startUpFailed ? platform::kExitStartUpUnsafe : platform::kExitOk;
}

void SetRunListener(RunListener listener) {
    g_runListener = std::move(listener);
}

void RequestStop() {
    g.stopBySignal = true;
    platform::QuitUserInterface();
}

bool StopRequested() {
    return g.stopBySignal;
}

std::string ExitQuestion() {
    int running = 0;
    std::optional<std::uint32_t> soonest;
    for (int pump = 0; pump < kPumpCount; ++pump) {
        const PumpRecord& r = PumpTable[pump];
        if (r.Online == 0 || !(r.MotorRpm > 0.0f || r.PumpRpm > 0.0f)) continue;
        ++running;
        const std::optional<std::uint32_t> timeout = CommTimeoutWritten(pump);
        if (timeout && *timeout > 0 && (!soonest || *timeout < *soonest)) soonest = timeout;
    }
    if (running == 0) return "Exit VNK PC?";
    std::string text = running == 1 ? "1 pump is running. "
                                    : std::to_string(running) + " pumps are running. ";
    if (soonest)
        text += std::string("Without the station ") +
                (running == 1 ? "it trips on its" : "they trip on their") +
                " communication time-out in " + std::to_string(*soonest) + " s.";
    else
        text += "They keep running without the station: no communication time-out was written "
                "to them.";
    return text + "\n\nExit VNK PC?";
}

int Quit_App(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    DiscardSerialWindow();
    if (ui::ConfirmPopup("Exit Program", ExitQuestion(), {.okCancel = true, .owner = panel}))
        platform::QuitUserInterface();
    return 0;
}

int Do_Nothing(int, int, int, void*, int, int) {
    return 0;
}

void ArrangeWindows2(int, int, void*, int) {
    ArrangeBankWindows();
}

void ArrangeBankWindows() {
    SetPositionLabels(1);
    SetPositionLabels(2);
    std::vector<platform::Monitor> monitors = platform::systemBackEnd().monitors();
    if (monitors.empty()) monitors.push_back(platform::Monitor{});
    // The first monitor takes every bank; a second takes banks 2 and 3; a third bank 3.
    for (size_t m = 0; m < monitors.size() && m < kBankCount; ++m)
        for (int b = static_cast<int>(m); b < kBankCount; ++b) placeOn(BankPanel[b], monitors[m]);
    for (int b = 0; b < kBankCount; ++b)
        if (BankPanel[b] != 0) ui::DisplayPanel(BankPanel[b]);
    // "Pumps 1-8" ends up in front, "Pumps 9-16" behind it.
    for (int b : {1, 0})
        if (BankPanel[b] != 0) ui::DisplayPanel(BankPanel[b]);
    ShowBanks(settings::Config.PumpsShown);
}

int JournalTimer(int, int, int event, void*, int, int) {
    if (event != ui::EVENT_TIMER_TICK) return 0;
    journal::Maintain();
    // vnk.cfg follows every change within a second (a port, a display preference).
    if (g.configLoaded) KeepConfiguration();
    return 0;
}

void BindStationCallbacks() {
    BindPortMonitorCallbacks();
    BindKeypadCallbacks();
    BindPasswordCallbacks();
    BindSplashCallbacks();
    BindConfirmCallbacks();
    BindLinkCallbacks();
    BindPanelCallbacks();
    BindPumpGroupCallbacks();
    BindCommandCallbacks();
    BindPowerSwitchCallbacks();
    BindTripCallbacks();
    BindEStopCallbacks();
    BindOptionalTripCallbacks();
    BindControlModeCallbacks(EnableSetupMenu);
    BindRecorderCallbacks();
    BindTrendCallbacks();
    BindClientCallbacks();
    BindHardwareCallbacks();
    BindJournalCallbacks();
    BindAlarmAnnunciationCallbacks();
    BindAutoControlCallbacks();
    windows::BindCtrlCallback("Quit_App", Quit_App);
    windows::BindCtrlCallback("Do_Nothing", Do_Nothing);
    windows::BindMenuCallback("ArrangeWindows2", ArrangeWindows2);
    windows::BindCtrlCallback("JournalTimer", JournalTimer);
    windows::BindCtrlCallback("ComTimerTick", ComTimerTick);
    windows::BindCtrlCallback("DelayCom", DelayCom);
    windows::BindCtrlCallback("WaitForPorts", WaitForPorts);
    windows::BindCtrlCallback("PortRetryTimer", PortRetryTimer);
    windows::BindCtrlCallback("GetControlData", GetControlData);
    windows::BindCtrlCallback("QueueTimer", QueueTimer);
    windows::BindCtrlCallback("GetIdTimer", GetIdTimer);
    windows::BindCtrlCallback("TmrOpTrip", TmrOpTrip);
    remote::BindRemoteCallbacks();
    remote::BindRemotePanelCallbacks();
    stages::BindStageCallbacks();
    windows::BindCtrlCallback("ResetVfdFault", ResetVfdFault);
    windows::BindCtrlCallback("ResetTimerCallback", ResetTimerCallback);
}

void RegisterStationStates() {
    journal::RegisterPlatformStates();
    ui::RegisterUiStates();
    settings::RegisterSettingsStates();
    RegisterLinkStates();
    RegisterOperationStates();
    RegisterSafetyStates();
    RegisterRecorderStates();
    RegisterHardwareStates();
    RegisterAutoControlStates();
    RegisterClientStates();
    stages::RegisterStageStates();
    remote::RegisterRemoteStates();
    remote::RegisterRemotePanelStates();
    RegisterShellStates();
}

void ResetStation() {
    RegisterStationStates();
    modstate::ResetAll();
    // Start-up's wiring (the queues' transmit, the contact commands, the password's openers,
    // the keypad's value-only completions), which the modules' resets keep; the queues are
    // created again by start-up.
    ResetLink();
    ResetTxQueues();
    ResetPasswordWiring();
    operation::ResetKeypadWiring();
    windows::ClearCallbackBindings();
    BindStationCallbacks();
    windows::RegisterWindowDefinitions();
}
VNK_MODULE_STATE(shell, main_sequence, g)

}  // namespace shell
