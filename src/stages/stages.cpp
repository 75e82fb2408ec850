#include "stages/stages.h"

#include <cmath>
#include <cstdio>

#include "autocontrol/autocontrol.h"
#include "client/blender_client.h"
#include "link/live_units.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/numpadcode.h"
#include "platform/event_loop.h"
#include "platform/module_state.h"
#include "safety/optional_trips.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "stages/stage_report.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/stage_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace stages {

namespace {

struct StageState {
    bool running = false;
    StageSums sums;
    std::vector<journal::StagePoint> series;
    std::size_t savedPoints = 0;
    double lastSampleAt = -1.0;  // platform seconds; below 0: the next sample follows a gap
    double lastSaveAt = 0.0;
    int dialog = 0;
    // Proposed for the next stage.
    std::string job;
    std::string well;
    int lastNumber = 0;
    bool operator==(const StageState& o) const {
        return running == o.running && StageSumsText(sums) == StageSumsText(o.sums) && series == o.series &&
               savedPoints == o.savedPoints && lastSampleAt == o.lastSampleAt &&
               lastSaveAt == o.lastSaveAt && dialog == o.dialog && job == o.job &&
               well == o.well && lastNumber == o.lastNumber;
    }
};
StageState g;

FleetSample sampleFleet() {
    FleetSample s;
    for (int p = 0; p < kStagePumps; ++p) {
        const PumpRecord& r = PumpTable[p];
        PumpSample& x = s.pumps[p];
        x.online = r.Online != 0;
        if (!x.online) continue;
        x.tripped = r.Tripped != 0;
        x.rate = LiveUs(r, &PumpRecord::PumpRate);
        x.pressure = LiveUs(r, &PumpRecord::DischargePressure);
        x.hhp = LiveUs(r, &PumpRecord::HydraulicHp);
        x.total = LiveUs(r, &PumpRecord::TotalVolume);
    }
    if (client::ClientConnected()) s.inline_ = safety::InlineReadingPsi();
    const int mode = autocontrol::AutoSettings.AutoMode;
    s.automatic = mode == autocontrol::kAutoRate || mode == autocontrol::kAutoPressure;
    return s;
}

std::int64_t wallMs() {
    return platform::loop().wallTimeMs();
}

std::string clockText(double seconds) {
    const long s = seconds > 0 ? static_cast<long>(seconds) : 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

void save() {
    journal::Store* store = journal::CurrentStore();
    if (store == nullptr) return;
    journal::SavedStage saved;
    saved.id = g.sums.startMs;
    saved.sums = StageSumsText(g.sums);
    saved.running = g.running;
    saved.points.assign(g.series.begin() + static_cast<std::ptrdiff_t>(g.savedPoints), g.series.end());
    // Points not written stay for the next save: nothing of the series is lost to one failure.
    if (store->saveStage(saved)) g.savedPoints = g.series.size();
}

void showStatus() {
    const std::string text = StageStatusText();
    const auto menus = [](int panel) {
        if (panel == 0 || !ui::PanelExists(panel)) return;
        const ui::Panel* p = ui::FindPanel(panel);
        if (p == nullptr || p->menuBar == 0) return;
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_STAGE_START, ui::ATTR_ITEM_DIMMED,
                                g.running ? 1 : 0);
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_STAGE_END, ui::ATTR_ITEM_DIMMED,
                                g.running && !g.sums.ending ? 0 : 1);
    };
    for (int b = 0; b < operation::kBankCount; ++b) {
        const int panel = operation::BankPanel[b];
        menus(panel);
        if (panel == 0 || !ui::PanelExists(panel)) continue;
        ui::SetCtrlVal(panel, windows::BANK_STAGE_STATUS, text);
        ui::SetCtrlAttribute(panel, windows::BANK_STAGE_STATUS, ui::ATTR_VISIBLE, g.running ? 1 : 0);
    }
    menus(operation::DetailPanel);
}

std::string pressureText(double psi) {
    if (!std::isfinite(psi)) return "not reached";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f psi", psi);
    return buf;
}

void closeDialog() {
    if (g.dialog != 0) ui::DiscardPanel(g.dialog);
    g.dialog = 0;
}

}  // namespace

void NoteStageEvent(StageEvent event) {
    if (!g.running) return;
    switch (event) {
        case StageEvent::EStop: ++g.sums.estops; break;
        case StageEvent::IdleAll: ++g.sums.idleAlls; break;
        case StageEvent::InlineTrip: ++g.sums.inlineTrips; break;
    }
    // Saved at once, but after what the event does to the pumps: no disk write of the
    // stage's stands before an E-stop's or a trip's idle.
    platform::loop().post(0.0, [] {
        if (g.running) save();  // rare, and not to be lost to a crash before the next save
    });
}

bool StageRunning() {
    return g.running;
}

const StageSums& CurrentStage() {
    return g.sums;
}

const std::vector<journal::StagePoint>& StageSeries() {
    return g.series;
}

std::string StageStatusText() {
    if (!g.running) return "";
    const std::string stage = "Stage " + std::to_string(g.sums.number);
    if (g.sums.ending) {
        const double after = g.sums.seconds - g.sums.shutInAt;
        return stage + " - shut-in " + std::to_string(static_cast<int>(after)) + " s / " +
               std::to_string(static_cast<int>(kShutInSecond)) + " s";
    }
    const double volume = settings::ToDisplayUnits(static_cast<float>(g.sums.volume()),
                                                   settings::kUnitVolume);
    char buf[48];
    std::snprintf(buf, sizeof buf, " - %.0f %s", volume, settings::MetricUnits() ? "m3" : "bbl");
    return stage + " - " + clockText(static_cast<double>(wallMs() - g.sums.startMs) / 1000.0) + buf;
}

void BeginStage(int number, const std::string& job, const std::string& well) {
    if (g.running) return;
    g.sums = StageSums{};
    g.sums.number = number;
    g.sums.job = job;
    g.sums.well = well;
    g.sums.startMs = wallMs();
    // The sums count from the values of this moment: what the totals hold now is not the
    // stage's, and a pump tripped now has not tripped during it.
    const FleetSample now = sampleFleet();
    for (int p = 0; p < kStagePumps; ++p) {
        g.sums.pumps[p].online = now.pumps[p].online;
        g.sums.pumps[p].tripped = now.pumps[p].tripped;
        g.sums.pumps[p].lastTotal = now.pumps[p].total;
    }
    g.sums.fleetPumping = FleetRate(now) > kPumpingRate;
    g.series.clear();
    g.savedPoints = 0;
    g.running = true;
    g.sums.ending = false;
    g.lastSampleAt = platform::Timer();
    g.lastSaveAt = g.lastSampleAt;
    g.job = job;
    g.well = well;
    g.lastNumber = number;
    journal::Record(journal::kNoPump, journal::Kind::Command,
                    "Stage " + std::to_string(number) + " started: job " + job + ", well " + well);
    save();
    showStatus();
}

void FinishStage() {
    if (!g.running) return;
    if (g.sums.shutInCounting()) {
        g.sums.ending = true;
        save();  // a restart meanwhile still ends the stage
        showStatus();
        return;
    }
    StageSums& s = g.sums;
    s.endMs = wallMs();
    g.running = false;
    g.sums.ending = false;
    char figures[256];
    std::snprintf(figures, sizeof figures,
                  ": %.1f bbl in %s, average %.1f bbl/min at %.0f psi, maximum %.1f bbl/min, "
                  "pressure 5 s / 10 s after shut-in ",
                  s.volume(), clockText(static_cast<double>(s.endMs - s.startMs) / 1000.0).c_str(),
                  s.averageRate(), s.averagePressure(), s.maxRate);
    journal::Record(journal::kNoPump, journal::Kind::Command,
                    "Stage " + std::to_string(s.number) + " ended" + figures +
                        pressureText(s.shutIn5) + " / " + pressureText(s.shutIn10));
    save();
    showStatus();
    WriteStageReport(s, g.series);
    ShowStageSummary(s);
}

void StageTick(double now) {
    if (!g.running) return;
    // After a gap the time since the last sample is not known as pumping or not.
    const double dt = g.lastSampleAt < 0.0 ? 0.0 : std::max(0.0, now - g.lastSampleAt);
    const double second = g.lastSampleAt < 0.0
                              ? static_cast<double>(wallMs() - g.sums.startMs) / 1000.0
                              : g.sums.seconds + dt;
    g.lastSampleAt = now;
    const FleetSample sample = sampleFleet();
    AddStageSample(g.sums, second, dt, sample);
    const double pressure = FleetPressure(sample);
    if (std::isfinite(pressure))
        g.series.push_back({std::lround(second), static_cast<float>(FleetRate(sample)),
                            static_cast<float>(pressure)});
    if (g.sums.ending && !g.sums.shutInCounting()) {
        FinishStage();
        return;
    }
    // Half a tick early still counts: a tick that comes a hair before the 10 s would
    // otherwise put the save off by a whole second.
    if (now - g.lastSaveAt >= kStageSaveInterval - 0.5) {
        g.lastSaveAt = now;
        save();
    }
    showStatus();
}

void ResumeStage() {
    journal::Store* store = journal::CurrentStore();
    if (store == nullptr) return;
    std::optional<journal::SavedStage> saved = store->newestStage();
    StageSums sums;
    if (!saved || !ParseStageSums(saved->sums, sums)) return;
    g.job = sums.job;
    g.well = sums.well;
    g.lastNumber = sums.number;
    if (!saved->running) return;
    g.sums = sums;
    ++g.sums.restarts;
    for (PumpStageSums& p : g.sums.pumps) p.online = false;  // each pump's values resume after a gap
    g.series = std::move(saved->points);
    g.savedPoints = g.series.size();
    g.running = true;  // an End Stage asked for before the restart still ends it
    g.lastSampleAt = -1.0;
    g.lastSaveAt = platform::Timer();
    journal::Record(journal::kNoPump, journal::Kind::Command,
                    "Stage " + std::to_string(sums.number) + " goes on after a restart");
    showStatus();
}

void ShowStartStage(int, int, void*, int panel) {
    if (g.running) return;
    if (g.dialog == 0) {
        g.dialog = ui::LoadPanel(0, windows::kStageUir, windows::STAGE_WINDOW);
        if (g.dialog <= 0) {
            g.dialog = 0;
            return;
        }
    }
    ui::SetCtrlVal(g.dialog, windows::STAGE_JOB, g.job);
    ui::SetCtrlVal(g.dialog, windows::STAGE_WELL, g.well);
    ui::SetCtrlVal(g.dialog, windows::STAGE_NUMBER,
                   g.lastNumber < windows::kStageNumberMax ? g.lastNumber + 1 : windows::kStageNumberMax);
    (void)panel;
    ui::DisplayPanel(g.dialog);
}

void EndStage(int, int, void*, int) {
    if (!g.running || g.sums.ending) return;
    if (ui::ConfirmPopup("End Stage", "End stage " + std::to_string(g.sums.number) + "?") != 1)
        return;
    FinishStage();
}

int StageEdited(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_LEFT_CLICK || panel != g.dialog) return 0;
    if (control == windows::STAGE_NUMBER) {
        operation::KeypadField field;
        field.name = "Stage number";
        field.min = windows::kStageNumberMin;
        field.max = windows::kStageNumberMax;
        operation::OpenKeypadFor(panel, control, 0, field, nullptr);
        return 0;
    }
    if (control != windows::STAGE_JOB && control != windows::STAGE_WELL) return 0;
    const char* name = control == windows::STAGE_JOB ? "Job" : "Well";
    char buffer[64] = {};
    if (ui::PromptPopup(name, std::string(name) + "?", buffer, sizeof buffer - 1,
                        ui::GetCtrlText(panel, control)) == 0)
        ui::SetCtrlVal(panel, control, std::string(buffer));
    return 0;
}

int StartStage(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != g.dialog) return 0;
    const int number = ui::GetCtrlInt(panel, windows::STAGE_NUMBER);
    const std::string job = ui::GetCtrlText(panel, windows::STAGE_JOB);
    const std::string well = ui::GetCtrlText(panel, windows::STAGE_WELL);
    closeDialog();
    BeginStage(number, job, well);
    return 0;
}

int CancelStage(int panel, int, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT || panel != g.dialog) return 0;
    closeDialog();
    return 0;
}

int StageTimer(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK) StageTick(platform::Timer());
    return 0;
}

int StageDialog() {
    return g.dialog;
}

VNK_MODULE_STATE(stages, stages, g)

void BindStageCallbacks() {
    windows::BindMenuCallback("ShowStartStage", ShowStartStage);
    windows::BindMenuCallback("EndStage", EndStage);
    windows::BindCtrlCallback("StageEdited", StageEdited);
    windows::BindCtrlCallback("StartStage", StartStage);
    windows::BindCtrlCallback("CancelStage", CancelStage);
    windows::BindCtrlCallback("StageTimer", StageTimer);
}

void registerState_stage_report();

void RegisterStageStates() {
    registerState_stages();
    registerState_stage_report();
}

}  // namespace stages
