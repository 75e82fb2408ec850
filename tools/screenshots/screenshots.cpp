// The screenshots of docs/screenshots that the README shows: the station against 24
// simulated pumps in virtual time, drawn by the Qt view on the 1024 x 768 touch screen, with
// its real dialogs. Each group of shots is one function below, on a station of its own;
// `bash scripts/screenshots.sh` builds this program and writes them again. It checks
// nothing that the tests do not: a step that cannot be taken fails the run, so that no shot
// is written of something other than it names.
//
//   vnk_screenshots [FOLDER]      FOLDER defaults to the source tree's docs/screenshots
//
// To add a shot, add a function (or a line to one): set the station up as an operator would,
// then shoot("name.png") for the whole screen or shootWindow(widget, "name.png").
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "autocontrol/auto_panel.h"
#include "hardware/hardware_selection.h"
#include "hardware/hdw_pump.h"
#include "link/port_identity.h"
#include "operation/alarm_annunciation.h"
#include "operation/display_ids.h"
#include "operation/fleet_banner.h"
#include "operation/journal_view.h"
#include "operation/display_prefs.h"
#include "platform/sim/memory_journal.h"
#include "platform/sim/sim_mqtt.h"
#include "remote/publisher.h"
#include "remote/remote_panel.h"
#include "safety/optional_trips.h"
#include "settings/remote_settings.h"
#include "shell/control_mode.h"
#include "shell/msg.h"
#include "shell/resume.h"
#include "platform/real/qt_report_printer.h"
#include "stages/stage_report.h"
#include "stages/stages.h"
#include "support/viewed_station.h"
#include "ui/qt/file_chooser.h"
#include "ui/windows/autocontrol_window.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/detail_view.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/journal_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/settings_windows.h"
#include "ui/windows/shell_windows.h"
#include "ui/windows/stage_window.h"

namespace {

namespace fs = std::filesystem;
using namespace windows;
using ui::qt::TouchFileChooser;
using ui::qt::TouchKeyboard;

fs::path& OutFolder() {
    static fs::path folder;
    return folder;
}

constexpr int kPump = 2;  // pump 3, on bank 1's third row

class Shots : public ViewedStation {
  protected:
    void SetUp() override {
        ViewedStation::SetUp();
        journal::SetStore(&journalStore);
        start();
        settle(1.0);
    }
    void TearDown() override {
        EXPECT_TRUE(watcher.script.empty()) << watcher.script.size() << " steps left";
        ViewedStation::TearDown();
        journal::SetStore(nullptr);
    }

    // The screen as the station's windows make it up now.
    void shoot(const char* name) const { save(drawScreen(), name); }
    static void shootWindow(QWidget* w, const char* name) {
        ASSERT_NE(w, nullptr) << name;
        save(w->grab().toImage(), name);
    }
    static void save(const QImage& image, const char* name) {
        const fs::path file = OutFolder() / name;
        EXPECT_TRUE(image.save(QString::fromStdString(file.string()))) << file;
    }

    // Remote monitoring from the settings window's Apply, against the broker given; the banks'
    // amber line and the window with its status are shot under the names given.
    void shootRemote(platform::SimMqttBroker& broker, const std::string& password,
                     const char* bankShot, const char* windowShot) {
        platform::setMqttBackEnd(&broker);
        settings::RemoteSettings remote;
        remote.enabled = true;
        remote.host = "broker.pad7.local";
        remote.site = "Pad 7";
        remote.station = "van1";
        remote.user = "van1";
        remote.password = password;
        remote::ApplyRemoteSettings(remote);
        settle(3.0);
        settle();
        shoot(bankShot);
        remote::ShowRemotePanel();
        settle();
        shoot(windowShot);
        remote::ResetRemote();
        platform::setMqttBackEnd(nullptr);
    }

    // Pump 3 running at 1200 rpm, the others as the fleet starts them.
    void runPump3() {
        fleet->unit(kPump).setSpeedSetpoint(1200);
        settle(6.0);
    }
    QWidget* rowWidget(int position) const {
        return view.widget(BankPanel[0], BankRow[kPump][position]);
    }
    void select(int item) { ui::SelectMenu(menuBar(), item, BankPanel[0]); }
    static void tapKeys(TouchKeyboard* keyboard, const QString& text) {
        for (const QString& k : keysFor(text, keyboard->capitals())) tap(keyboard->key(k));
    }

    platform::MemoryJournal journalStore;

  public:
    void bannerStates(const std::string& prefix) {
        using namespace windows;
        // Each shot only of the state it names.
        const auto shot = [&](const char* state, const char* says) {
            settle(1.0);
            ASSERT_NE(operation::FleetBannerText().find(says), std::string::npos)
                << state << ": " << operation::FleetBannerText();
            shoot(("banner_" + prefix + state + ".png").c_str());
        };
        if (!prefix.empty()) {
            select(MENU_PUMPS_SHOWN);
            settle();
            tap(view.widget(operation::PreferencePanel, PREF_NIGHT));
            tap(view.widget(operation::PreferencePanel, PREF_OK));
        }
        for (int p = 0; p < 8; ++p) fleet->unit(p).setSpeedSetpoint(1200);
        settle(6.0);
        shot("all_normal", "All normal");
        for (int p = 0; p < 4; ++p) tap(view.widget(BankPanel[0], BankRow[p][kPosAuto]));
        select(MENU_AUTO_CONTROL);
        settle();
        ui::Press(autocontrol::AutoModePage, MODE_RATE);
        ui::Operate(autocontrol::AutoModePage, MODE_TARGET_RATE, 3.0);
        ui::Operate(autocontrol::AutoModePage, MODE_LIMIT_PRESSURE, 8000.0);
        ui::Press(autocontrol::AutoPanel, AUTO_APPLY);
        ui::HidePanel(autocontrol::AutoPanel);
        shot("auto_holding", "AUTO: holding");
        settle(180.0);  // a pump to its minimum at each step
        shot("auto_unreachable", "AUTO: cannot reach");
        breakLoop();
        settle(0.3);
        shot("estop", "E-STOP ACTIVE");
        closeLoop();
        settle(0.3);
        tap(view.widget(operation::EStopPanel, ESTOP_OK));
        safety::InlineTripValue = 9000.0f;
        safety::InlineTripEnabled = 1;
        shot("link_lost", "BLENDER LINK LOST");
        safety::CheckInlinePressure("9600.0\r\n");
        tap(view.widget(BankPanel[0], BankRow[0][kPosStepUpSmall]));  // refused, and says why
        shot("inline", "INLINE OVERPRESSURE");
        breakLoop();
        shot("three_conditions", "E-STOP ACTIVE");
    }
};

// ---- dialogs over the bank windows ----

TEST_F(Shots, KeypadOverOptionalTrips) {
    runPump3();
    select(MENU_OPTIONAL_TRIPS);
    settle();
    tap(view.widget(safety::OptionalTripsPanel(), TRIPS_INLINE_VALUE));
    settle();
    shoot("keypad_over_optional_trips.png");
}

// The Start Stage dialog over a bank, then the bank with the running stage in its header.
TEST_F(Shots, AStageStartedAndRunning) {
    runPump3();
    select(MENU_STAGE_START);
    ASSERT_NE(stages::StageDialog(), 0);
    ui::SetCtrlVal(stages::StageDialog(), windows::STAGE_JOB, std::string("PAD 4 FRAC"));
    ui::SetCtrlVal(stages::StageDialog(), windows::STAGE_WELL, std::string("HARLAN 7H"));
    ui::SetCtrlVal(stages::StageDialog(), windows::STAGE_NUMBER, 12);
    settle();
    shoot("stage_start_dialog.png");
    tap(view.widget(stages::StageDialog(), windows::STAGE_START));
    settle(65.0);
    shoot("stage_running_bank.png");
}

// An ended stage: its summary over the bank, and the first page of its PDF.
TEST_F(Shots, AStageEndedItsSummaryAndReport) {
    platform::QtReportPrinter printer;
    platform::setReportPrinter(&printer);
    for (int p = 0; p < 6; ++p) fleet->unit(p).setSpeedSetpoint(1150 + 20 * p);
    settle(6.0);
    stages::BeginStage(12, "PAD 4 FRAC", "HARLAN 7H");
    settle(40.0);
    for (int p = 6; p < 10; ++p) fleet->unit(p).setSpeedSetpoint(1250);
    settle(60.0);
    stages::FinishStage();
    settle(1.0);
    ASSERT_NE(stages::StageSummaryPanel(), 0);
    shoot("stage_summary.png");
    const fs::path pdf = home / "reports" / "Stage 12 PAD 4 FRAC HARLAN 7H.pdf";
    const std::string command = "pdftoppm -png -r 60 -f 1 -l 1 -singlefile '" + pdf.string() +
                                "' '" + (OutFolder() / "stage_report_page1").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    platform::setReportPrinter(nullptr);
}

TEST_F(Shots, ConfirmationOverABank) {
    runPump3();
    select(MENU_IDLE_ALL);
    ASSERT_NE(shell::ConfirmDialogPanel(), 0);
    settle();
    shoot("confirm_idle_all_over_bank.png");
}

TEST_F(Shots, EStopWindowOverABank) {
    runPump3();
    breakLoop();
    settle(0.3);
    tap(rowWidget(kPosStepUpSmall));  // the E-stop window stays where it opened
    settle();
    shoot("estop_window_over_bank.png");
}

// A pulled adapter: its row says so, and so does the serial monitor.
TEST_F(Shots, APulledAdapter) {
    runPump3();
    serial.unplug(PumpFleetHarness::portOf(kPump));
    settle(0.3);
    settle();
    shoot("bank_port_lost.png");
    select(MENU_COM_PORTS);
    settle();
    shoot("serial_monitor_port_lost.png");
}

// The adapters of pumps 3 and 4 swapped by a replug: the message over the bank, and the bank
// with both rows marked behind it.
TEST_F(Shots, AnotherUnitBehindAPort) {
    runPump3();
    const int other = kPump + 1;
    const std::string id = fleet->unit(kPump).pumpId();
    for (int p : {kPump, other}) serial.unplug(PumpFleetHarness::portOf(p));
    fleet->unit(kPump).setPumpId(fleet->unit(other).pumpId());
    fleet->unit(other).setPumpId(id);
    settle(1.0);
    watcher.script.push_back([this](QDialog*) {
        watcher.stop();  // the rows refresh meanwhile; the OK is the watcher's after
        settle(1.2);
        ASSERT_TRUE(pumplink::UnitUnconfirmed(kPump));
        shoot("other_unit_over_bank.png");
        shootWindow(view.window(BankPanel[0]), "bank_other_unit.png");
        watcher.start();
    });
    for (int p : {kPump, other}) serial.replug(PumpFleetHarness::portOf(p));
    settle(3.0);
    EXPECT_FALSE(pumplink::UnitUnconfirmed(kPump)) << "confirmed by the OK";
}

// A station resumed after an unexpected end: the foot line says so for a minute.
TEST_F(Shots, RestartedAfterAnUnexpectedEnd) {
    runPump3();
    remote::ShowBankNotice(RestartedText(platform::loop().wallTimeMs() - 4000),
                           kRestartNoticeSeconds);
    settle();
    shoot("bank_restarted.png");
}

// A broker that refuses the station's connection.
TEST_F(Shots, RemoteMonitoringRefused) {
    runPump3();
    platform::SimMqttBroker broker;
    broker.answer = platform::SimMqttBroker::Answer::RefuseAuth;
    shootRemote(broker, "wrong", "bank_remote_failing.png", "remote_monitoring.png");
}

// A broker whose access list does not grant the station's topics: connected, but what the
// station publishes is refused, and the outbox holds.
TEST_F(Shots, RemoteMonitoringPublishRefused) {
    runPump3();
    platform::SimMqttBroker broker;
    broker.refuse = [](const platform::SimMqttBroker::Message&) { return 0x87; };
    shootRemote(broker, "secret", "bank_remote_refused.png", "remote_monitoring_refused.png");
}

// A broker that takes 20 messages at a time (mosquitto's default Receive Maximum).
TEST_F(Shots, RemoteMonitoringSmallWindow) {
    runPump3();
    platform::SimMqttBroker broker;
    broker.receiveMaximum = 20;
    shootRemote(broker, "secret", "bank_remote_connected.png", "remote_monitoring_window.png");
}

// ---- alarms in sight ----

// Pump 1A trips behind the hardware window: the alarm strip above it. A tap on the strip
// brings the bank; a fault on 5B and the port of a running pump lost: the bank with alarms
// awaiting acknowledgement, the journal listing them by bank, the bank once all are
// acknowledged, and the detail view of the tripped pump.
TEST_F(Shots, AlarmsInSight) {
    for (int p : {0, 1, 2, 3}) fleet->unit(p).setSpeedSetpoint(1200);
    settle(6.0);
    hardware::OpenHardwareWindow(0);
    settle();
    fleet->unit(0).trip();
    settle(1.5);
    shoot("alarm_strip_over_hardware_window.png");
    ASSERT_NE(operation::AlarmStripPanel(), 0);
    ui::DispatchPanelEvent(operation::AlarmStripPanel(), ui::EVENT_LEFT_CLICK);
    fleet->unit(9).setFault(0x0100);
    serial.unplug(PumpFleetHarness::portOf(kPump));
    journal::Record(
        journal::kNoPump, journal::Kind::Settings,
        "Rate tolerance set to 2.50 bbl/min, pressure tolerance to 150 psi, sampling 9 s");
    settle(1.5);
    shoot("alarm_button_unacknowledged.png");
    tap(view.widget(BankPanel[0], BANK_ALARMS));
    settle();
    shootWindow(view.window(operation::JournalPanel()), "journal_alarms_by_bank.png");
    tap(view.widget(operation::JournalPanel(), JOURNAL_ACKNOWLEDGE_ALL));
    tap(view.widget(operation::JournalPanel(), JOURNAL_CLOSE));
    settle(1.0);
    shoot("alarm_button_acknowledged.png");
    tap(view.widget(BankPanel[0], BankRow[0][kPosDetail]));
    settle(1.0);
    shoot("detail_view_tripped.png");
}

// ---- the touch dialogs ----

// The file chooser over a bank with a recording listed, the keyboard naming a pump and a
// question over a bank.
TEST_F(Shots, TouchDialogs) {
    const auto chooser = [](std::function<void(TouchFileChooser*)> act) {
        return [act](QDialog* d) {
            auto* c = dynamic_cast<TouchFileChooser*>(d);
            ASSERT_NE(c, nullptr) << d->windowTitle().toStdString() << " is no file chooser";
            act(c);
        };
    };
    watcher.script.push_back(chooser([](TouchFileChooser* c) { tap(c->okButton()); }));
    select(MENU_RECORD_START);
    settle(2.0);
    select(MENU_RECORD_START);  // Stop
    settle();

    watcher.script.push_back(chooser([&](TouchFileChooser* c) {
        shoot("file_chooser.png");
        tap(c->cancelButton());
    }));
    select(MENU_RECORD_START);
    settle();

    tap(rowWidget(kPosPumpId));
    settle();
    watcher.script.push_back([&](QDialog* d) {
        auto* k = dynamic_cast<TouchKeyboard*>(d);
        ASSERT_NE(k, nullptr);
        tap(k->key("backspace"));  // it holds the identification shown: one letter mended
        tapKeys(k, "9");
        shoot("on_screen_keyboard.png");
        tap(k->key("cancel"));
    });
    tap(view.widget(hardware::PumpIdsPanel(), IDS_FIELD_FIRST + 2));
    settle();
    tap(view.widget(hardware::PumpIdsPanel(), IDS_CLOSE));
    settle();

    watcher.script.push_back([&](QDialog* d) {
        shoot("message_box.png");
        d->reject();
    });
    tap(view.widget(BankPanel[0], BANK_EXIT));
    settle();
    EXPECT_FALSE(loop.quitRequested());
}

// ---- day and night colours ----

// A bank window with pump 3 running, pump 5 tripped and a drive fault on pump 6; Display
// Preferences over it; the detail view of pump 3: by day, then at night, chosen by taps.
TEST_F(Shots, DayAndNightPalettes) {
    runPump3();
    fleet->unit(4).trip();
    fleet->unit(5).setFault(0x0100);
    settle(2.0);
    for (const std::string palette : {"day", "night"}) {
        if (palette == "night") {
            select(MENU_PUMPS_SHOWN);
            settle();
            tap(view.widget(operation::PreferencePanel, PREF_NIGHT));
            tap(view.widget(operation::PreferencePanel, PREF_OK));
            settle(1.0);
        }
        shoot(("palette_" + palette + "_bank.png").c_str());
        select(MENU_PUMPS_SHOWN);
        settle();
        ASSERT_NE(operation::PreferencePanel, 0);
        shoot(("palette_" + palette + "_dialog.png").c_str());
        tap(view.widget(operation::PreferencePanel, PREF_CLOSE));
        settle();
        tap(rowWidget(kPosDetail));
        settle(1.5);
        shoot(("palette_" + palette + "_detail.png").c_str());
        tap(view.widget(DetailPanel, DETAIL_CLOSE));
        settle();
    }
}

// ---- the fleet banner ----

// The banner in each state, by day and at night: all normal with pumps 1-8 running; automatic
// control holding a rate on four pumps, then unable to reach it; the E-stop; the inline trip
// switched on with no blender computer (its link lost); the blender's reading over the trip,
// with a speed-up refused; the E-stop on top of both. Each palette on a station of its own.
TEST_F(Shots, TheFleetBannerByDay) {
    bannerStates("");
}

TEST_F(Shots, TheFleetBannerAtNight) {
    bannerStates("night_");
}

// ---- the questions before what reaches the whole fleet, and before leaving ----

// Set All Trip Points and All VFDs On over a bank with 8 pumps running, Exit's question with
// them running, and the shut-down question that follows a confirmed Exit on the screen the
// closed windows leave, clear of Exit's buttons, its OK held.
TEST_F(Shots, FleetWideAndExitQuestions) {
    for (int p = 0; p < 8; ++p) fleet->unit(p).setSpeedSetpoint(1500);
    settle(6.0);
    const auto shootThen = [this](const char* name) {
        return [this, name](QDialog* d) {
            shoot(name);
            d->reject();
        };
    };
    select(MENU_ALL_TRIP_POINTS);
    settle();
    watcher.script.push_back(shootThen("confirm_all_trip_points.png"));
    for (char c : std::string("1000")) tap(view.widget(KeypadPanel, NUMPAD_DIGIT_0 + (c - '0')));
    tap(view.widget(KeypadPanel, NUMPAD_OK));
    settle();
    watcher.script.push_back(shootThen("confirm_all_vfds_on.png"));
    select(MENU_ALL_VFDS_ON);
    settle();
    watcher.script.push_back(shootThen("exit_with_pumps_running.png"));
    tap(view.widget(BankPanel[0], BANK_EXIT));
    settle();
    for (int panel : BankPanel) ui::HidePanel(panel);
    settle();
    watcher.script.push_back(shootThen("shut_down_question.png"));
    ui::ConfirmPopup("Shut Down Computer", "Shut down computer?",
                     {.okCancel = true, .guarded = true});
}

// ---- windows on their own ----

TEST_F(Shots, SettingsWindows) {
    select(MENU_OPTIONAL_TRIPS);
    settle();
    shootWindow(view.window(safety::OptionalTripsPanel()), "optional_trips.png");
    shell::OpenControlModePanel();
    settle();
    shootWindow(view.window(shell::ControlModePanel()), "control_mode.png");
}

// The calibration dialog as it opens, and waiting for a Read Low the pump does not answer:
// both read buttons dimmed, the counts saying what is being read.
TEST_F(Shots, HardwareWindowAndCalibration) {
    ArrangeBankWindows();
    hardware::OpenHardwareWindow(3);
    tap(view.widget(hardware::HardwarePanel(), HW_SELECT_DISCHARGE));
    settle(0.5);
    shootWindow(view.window(hardware::HardwarePanel()), "hardware_window.png");
    const int dialog = hardware::HardwareDialog(hardware::HwDialog::Ai);
    shootWindow(view.window(dialog), "calibration_discharge_pressure.png");
    fleet->unit(hardware::HardwarePump).setFailure({.silent = true});
    tap(view.widget(dialog, AI_READ_LOW));
    settle(0.5);
    ASSERT_EQ(ui::GetCtrlAttributeInt(dialog, AI_READ_HIGH, ui::ATTR_DIMMED), 1);
    shootWindow(view.window(dialog), "calibration_reading.png");
}

// A transducer that has drifted: Zero on the detail view of a pump that reads 150 psi asks
// before it zeroes (No the default; a yes asks for the system password).
TEST_F(Shots, ZeroItAnyway) {
    constexpr int pump = 4;  // 3A
    fleet->unit(pump).setDischargeOverride(150.0);
    settle(2.0);
    tap(view.widget(BankPanel[0], BankRow[pump][kPosDetail]));
    settle(1.0);
    watcher.script.push_back([this](QDialog* d) {
        shoot("zero_it_anyway.png");
        d->reject();
    });
    tap(view.widget(DetailPanel, DETAIL_ZERO_PRESSURE));
    settle();
    ASSERT_EQ(watcher.seen.size(), 1u);
}

}  // namespace

int main(int argc, char** argv) {
    // The station's touch screen, as its tests have it.
    ::setenv("QT_QPA_PLATFORM", "offscreen:configfile=" VNK_SOURCE_DIR "/tests/touch_screen.json",
             1);
    ::testing::InitGoogleTest(&argc, argv);
    OutFolder() = argc > 1 ? fs::path(argv[1]) : fs::path(VNK_SOURCE_DIR) / "docs" / "screenshots";
    std::error_code error;
    fs::create_directories(OutFolder(), error);
    return RUN_ALL_TESTS();
}
