// The demo drivers (see demo_drivers.h). Each presses the same buttons and menu items the
// operator would, through the UI model, so the station behaves as under a real hand.
#include "app/demo_drivers.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "autocontrol/auto_panel.h"
#include "client/blender_client.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/journal_view.h"
#include "platform/event_loop.h"
#include "recorder/recorder.h"
#include "remote/publisher.h"
#include "settings/remote_settings.h"
#include "stages/stages.h"
#include "ui/ui_model.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/stage_window.h"

namespace app {

using namespace pumplink;
using namespace operation;
using namespace client;
using namespace autocontrol;

namespace {

// Runs act the number of seconds the variable gives after the start (nothing when it is
// unset or not a positive number).
void afterSecondsOf(const char* variable, void (*act)()) {
    const char* when = std::getenv(variable);
    const int seconds = when != nullptr ? std::atoi(when) : 0;
    if (seconds > 0) QTimer::singleShot(seconds * 1000, act);
}

// VNK_DEMO_DETAIL=n (1-24): a demo run taps pump n's detail button once the fleet has been
// running a while, as an operator would, so that the screenshots show the detail view.
void scheduleDemoDetail() {
    const char* which = std::getenv("VNK_DEMO_DETAIL");
    if (which == nullptr) return;
    int pump = std::atoi(which) - 1;
    if (pump < 0 || pump >= kPumpCount) return;
    QTimer::singleShot(15000, [pump] {
        int panel = BankPanel[BankOf(pump)];
        if (panel != 0) ui::Press(panel, BankRow[pump][windows::kPosDetail]);
    });
}

// VNK_DEMO_CLIENT=1: 20 s after start the blender client window is brought up over the
// first bank window, as the operator's menu item does (for demo screenshots).
void scheduleDemoClient() {
    const char* on = std::getenv("VNK_DEMO_CLIENT");
    if (on == nullptr || std::string(on) != "1") return;
    QTimer::singleShot(20000, [] {
        if (BankPanel[0] != 0) ShowClient(0, 0, nullptr, BankPanel[0]);
    });
}

// VNK_DEMO_JOURNAL=s: a demo run taps the bank window's alarm button s seconds after the
// start, so that the screenshots show the journal window.
void scheduleDemoJournal() {
    afterSecondsOf("VNK_DEMO_JOURNAL", [] {
        if (BankPanel[0] != 0) ui::Press(BankPanel[0], windows::BANK_ALARMS);
    });
}

// VNK_DEMO_AUTO=<bbl/min>: 20 s after start a demo run does what an operator would to hold
// the fleet's rate: opens "Auto Control...", chooses Hold Rate, enters the target and a
// pressure limit, and applies them. VNK_DEMO_AUTO_PAGE=2 then shows the Controller Settings
// page (with "/admin") so that a screenshot has it.
void scheduleDemoAuto() {
    const char* target = std::getenv("VNK_DEMO_AUTO");
    if (target == nullptr) return;
    const double rate = std::atof(target);
    if (!(rate > 0.0 && rate <= 200.0)) return;
    QTimer::singleShot(20000, [rate] {
        const ui::Panel* bank = ui::FindPanel(BankPanel[0]);
        if (bank == nullptr || AutoPanel == 0) return;
        ui::SelectMenu(bank->menuBar, windows::MENU_AUTO_CONTROL, BankPanel[0]);
        ui::Press(AutoModePage, windows::MODE_RATE);
        ui::Operate(AutoModePage, windows::MODE_TARGET_RATE, rate);
        ui::Operate(AutoModePage, windows::MODE_LIMIT_PRESSURE, 9000.0);
        ui::Press(AutoPanel, windows::AUTO_APPLY);
        const char* page = std::getenv("VNK_DEMO_AUTO_PAGE");
        if (page != nullptr && std::atoi(page) == 2)
            QTimer::singleShot(8000, [] { ui::OperateIndex(AutoPanel, windows::AUTO_TABS, 1); });
    });
}

// VNK_DEMO_TRENDS=s: s seconds after start the trend window is opened from bank 1's menu, as
// an operator would (for demo screenshots and the whole-station measurement).
void scheduleDemoTrends() {
    afterSecondsOf("VNK_DEMO_TRENDS", [] {
        const ui::Panel* bank = ui::FindPanel(BankPanel[0]);
        if (bank != nullptr) ui::SelectMenu(bank->menuBar, windows::MENU_TRENDS, BankPanel[0]);
    });
}

// VNK_DEMO_RECORD_STOP=s: s seconds after start the recording is stopped from bank 1's Record
// menu, as an operator would, which moves the recordings when VNK_ARCHIVE_DIR is set (for the
// measurement of the loop while they move). The moment goes to stderr on the loop's clock.
void scheduleDemoRecordStop() {
    afterSecondsOf("VNK_DEMO_RECORD_STOP", [] {
        const ui::Panel* bank = ui::FindPanel(BankPanel[0]);
        if (bank == nullptr || recorder::RecordState != 1) return;
        std::fprintf(stderr, "demo: recording stopped at %.3f ms\n", platform::Timer() * 1000.0);
        ui::SelectMenu(bank->menuBar, windows::MENU_RECORD_START, BankPanel[0]);
    });
}

// VNK_DEMO_REMOTE_APPLY=s: every s seconds from s seconds after the start, the stored remote
// monitoring settings are applied again, as Apply in the Remote Monitoring window does: the
// client is replaced (for the measurement of the loop while a broker's name lookup hangs).
// Each moment goes to stderr on the loop's clock.
void scheduleDemoRemoteApply() {
    const char* every = std::getenv("VNK_DEMO_REMOTE_APPLY");
    const int seconds = every != nullptr ? std::atoi(every) : 0;
    if (seconds <= 0) return;
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(seconds * 1000);
    QObject::connect(timer, &QTimer::timeout, [] {
        std::fprintf(stderr, "demo: remote settings applied at %.3f ms\n",
                     platform::Timer() * 1000.0);
        remote::ApplyRemoteSettings(settings::ReadRemoteSettings());
    });
    timer->start();
}

// VNK_DEMO_STAGE_START=s, VNK_DEMO_STAGE_END=s: at s seconds stage 1 of job "DEMO", well
// "W1" is started from bank 1's Stage menu and its dialog, and ended as End Stage does once
// the operator confirms (for the test of what remote monitoring publishes of a stage).
void scheduleDemoStage() {
    afterSecondsOf("VNK_DEMO_STAGE_START", [] {
        const ui::Panel* bank = ui::FindPanel(BankPanel[0]);
        if (bank == nullptr) return;
        ui::SelectMenu(bank->menuBar, windows::MENU_STAGE_START, BankPanel[0]);
        const int dialog = stages::StageDialog();
        std::fprintf(stderr, "demo: %s\n", dialog != 0 ? "Start Stage" : "no Start Stage dialog");
        if (dialog == 0) return;
        ui::SetCtrlVal(dialog, windows::STAGE_JOB, std::string("DEMO"));
        ui::SetCtrlVal(dialog, windows::STAGE_WELL, std::string("W1"));
        ui::Press(dialog, windows::STAGE_START);
    });
    afterSecondsOf("VNK_DEMO_STAGE_END", [] {
        std::fprintf(stderr, "demo: End Stage (%s)\n", stages::StageRunning() ? "running" : "none");
        stages::FinishStage();
    });
}

// The moments (whole seconds after the start) of a comma-separated list, each "[P@]S": act
// runs with P (0 when it has none) at each valid one.
void atMomentsOf(const char* variable, void (*act)(int)) {
    const char* list = std::getenv(variable);
    if (list == nullptr) return;
    std::string text = list;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, end - at);
        at = end + 1;
        const std::size_t sign = item.find('@');
        const int which = sign == std::string::npos ? 0 : std::atoi(item.c_str());
        const int seconds = std::atoi(item.c_str() + (sign == std::string::npos ? 0 : sign + 1));
        if (seconds > 0) QTimer::singleShot(seconds * 1000, [act, which] { act(which); });
    }
}

// VNK_DEMO_ACKNOWLEDGE=s[,s...]: at each moment the journal is opened from the bank window's
// alarm button and Acknowledge All pressed, as an operator would (for the test of what remote
// monitoring publishes of an alarm's life).
void scheduleDemoAcknowledge() {
    atMomentsOf("VNK_DEMO_ACKNOWLEDGE", [](int) {
        if (BankPanel[0] == 0) return;
        ui::Press(BankPanel[0], windows::BANK_ALARMS);
        if (JournalPanel() != 0) ui::Press(JournalPanel(), windows::JOURNAL_ACKNOWLEDGE_ALL);
    });
}

// VNK_DEMO_RESET=P@s[,P@s...]: at each moment pump P's detail view is opened and its Reset
// Alarms pressed, which clears a trip the pump latched.
void scheduleDemoReset() {
    atMomentsOf("VNK_DEMO_RESET", [](int pump) {
        if (pump < 1 || pump > kPumpCount) return;
        const int panel = BankPanel[BankOf(pump - 1)];
        if (panel == 0) return;
        ui::Press(panel, BankRow[pump - 1][windows::kPosDetail]);
        if (DetailPanel != 0) ui::Press(DetailPanel, windows::DETAIL_RESET_ALARMS);
    });
}

// VNK_DEMO_HOLD=D@s[,D@s...]: at each moment the event loop is held D seconds, as a call that
// hangs would hold it (for the test of the service manager's watchdog). Each hold goes to
// stderr on the loop's clock.
void scheduleDemoHold() {
    atMomentsOf("VNK_DEMO_HOLD", [](int seconds) {
        std::fprintf(stderr, "demo: loop held %d s from %.3f ms\n", seconds,
                     platform::Timer() * 1000.0);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    });
}

}  // namespace

void ScheduleDemoDrivers() {
    scheduleDemoHold();
    scheduleDemoAcknowledge();
    scheduleDemoReset();
    scheduleDemoRecordStop();
    scheduleDemoDetail();
    scheduleDemoClient();
    scheduleDemoJournal();
    scheduleDemoAuto();
    scheduleDemoTrends();
    scheduleDemoRemoteApply();
    scheduleDemoStage();
}

}  // namespace app
