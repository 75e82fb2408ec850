// The trends of a 24-pump station: 8 hours of one-second samples filled in virtual time, then
// the trend window's refresh on the 8 h span with every series it can draw (the fleet's
// three and three chosen pumps' pressure and rate, with the trip lines), model and Qt view
// (offscreen, painting included), and the resident memory of the process: the whole station
// with its three bank windows and the trend window shown. Goals: refresh under 5 ms,
// resident memory under 150 MB.
//
// With --screenshot <folder> it instead runs the station against 24 simulated pumps for 50
// virtual minutes (speed changes, a trip, a pump falling silent and coming back) and saves
// the trend window on the 1 h span there as trends.png.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_station.h"
#include "link/operations.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/panels.h"
#include "operation/trend_display.h"
#include "operation/trends.h"
#include "settings/config_record.h"
#include "shell/main_sequence.h"
#include "support/config_file.h"
#include "support/pump_fleet.h"
#include "ui/qt/qt_view.h"
#include "ui/ui_model.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/trend_window.h"

using namespace pumplink;
using namespace operation;
using namespace shell;

namespace {

using Clock = std::chrono::steady_clock;

// A field of /proc/self/status in MB.
double statusMb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
    return 0.0;
}

struct Station : BenchStation {
    Station() : BenchStation("vnk_trend_bench") {
        for (int port = 1; port <= 25; ++port) serial.addPort(port);
    }
    void menu(int item) {
        ui::SelectMenu(ui::FindPanel(BankPanel[0])->menuBar, item, BankPanel[0]);
    }
    void choosePumps(int a, int b, int c) {
        const int pumps[] = {a, b, c};
        for (int i = 0; i < windows::TREND_PUMP_COUNT; ++i)
            ui::OperateIndex(TrendPanel, windows::TREND_PUMP_FIRST + i, pumps[i]);
    }
};

// Thread CPU time: on shared cores the wall clock counts the other processes' turns too.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

int measure() {
    Station station;
    StartUp();
    const double rssStarted = statusMb("VmRSS:");
    ResetTrends();  // the clock starts with the first sample below
    // 8 hours of samples, values moving every second so that every bucket has two ends.
    const auto fillStart = Clock::now();
    for (int t = 0; t < kTrendSpans[kTrendSpan8Hours].seconds; ++t) {
        for (int p = 0; p < kPumpCount; ++p) {
            PumpRecord& r = PumpTable[p];
            const double wave = std::sin((t + 97 * p) / 600.0);
            r.Online = 1;
            r.TripPressure = 9500.0f;
            r.DischargePressure = static_cast<float>(7000.0 + 800.0 * wave + (t * 7 + p) % 50);
            r.PumpRate = static_cast<float>(4.0 + wave + ((t + p) % 10) / 100.0);
            r.HydraulicHp = r.DischargePressure * r.PumpRate * 42.0f * 0.00058334f;
        }
        TrendSample(static_cast<double>(t));
    }
    const double fillUs =
        std::chrono::duration<double, std::micro>(Clock::now() - fillStart).count() /
        kTrendSpans[kTrendSpan8Hours].seconds;

    static int argc = 1;
    static char name[] = "trend_bench";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    {
        ui::qt::QtView view;
        ui::setObserver(&view);
        for (int b = 0; b < kBankCount; ++b) {
            view.panelCreated(BankPanel[b]);
            ui::DisplayPanel(BankPanel[b]);
        }
        station.menu(windows::MENU_TRENDS);
        station.choosePumps(3, 12, 20);
        ui::Press(TrendPanel, windows::TREND_SPAN_8HOURS);
        QApplication::processEvents();
        std::vector<double> ms, cpu, model;
        constexpr int kRefreshes = 200;
        for (int i = 0; i < kRefreshes; ++i) {
            const auto start = Clock::now();
            const double cpuStart = cpuMs();
            RefreshTrendWindow();
            model.push_back(cpuMs() - cpuStart);
            QApplication::processEvents();  // layout and paint of both charts
            cpu.push_back(cpuMs() - cpuStart);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        size_t points = 0;
        for (int chart : {windows::TREND_PRESSURE_CHART, windows::TREND_RATE_CHART})
            for (const ui::ChartSeries& s : ui::GetChartData(TrendPanel, chart)->series)
                points += s.points.size();
        std::printf(
            "trend refresh, 8 h span, %zu points, %d refreshes: thread CPU median %.2f ms, "
            "p99 %.2f ms (model alone %.2f ms); wall clock median %.2f ms, p99 %.2f ms\n",
            points, kRefreshes, percentile(cpu, 0.5), percentile(cpu, 0.99), percentile(model, 0.5),
            percentile(ms, 0.5), percentile(ms, 0.99));
        std::printf(
            "resident memory: %.1f MB started, %.1f MB with 8 h of trends and the trend "
            "window drawn (peak %.1f MB)\n",
            rssStarted, statusMb("VmRSS:"), statusMb("VmHWM:"));
        std::printf("sample tick (24 pumps, three spans): %.2f us\n", fillUs);
        ui::setObserver(nullptr);
    }
    return 0;
}

// The station against 24 simulated pumps; the window saved to folder/trends.png.
int screenshot(const std::string& folder) {
    Station station;
    WriteConfig((station.home / "cfg" / "vnk.cfg").string(), FleetConfig());
    PumpFleetHarness fleet(station.serial, kPumpCount);
    for (int p = 0; p < kPumpCount; ++p) {
        fleet.listen(p);
        fleet.unit(p).setDriveOn(true);
    }
    if (!StartUp()) return 1;
    // The operator's speed commands, as the speed buttons send them.
    auto speeds = [](int rpm, int spread, int skip) {
        for (int p = 0; p < kPumpCount; ++p) {
            if (p == skip) continue;
            PumpTable[p].SpeedCommand.Rpm = static_cast<std::int16_t>(rpm + spread * (p % 5));
            PumpTable[p].SpeedCommand.Run = 1;
            SendSpeedCommandNow(p);
        }
    };
    auto run = [&](double minutes) { station.loop.advance(minutes * 60.0); };
    run(0.1);
    speeds(560, 8, -1);
    run(6);
    speeds(630, 8, -1);
    run(12);
    fleet.unit(4).trip();  // pump 5
    run(8);
    pumpsim::Failure silent;
    silent.silent = true;
    fleet.unit(10).setFailure(silent);  // pump 11 falls silent
    run(6);
    fleet.unit(10).setFailure({});
    run(1);
    speeds(670, 8, 4);
    run(17);

    static int argc = 1;
    static char name[] = "trend_bench";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ui::qt::QtView view;
    ui::setObserver(&view);
    station.menu(windows::MENU_TRENDS);
    station.choosePumps(5, 3, 11);
    ui::Press(TrendPanel, windows::TREND_SPAN_1HOUR);
    QApplication::processEvents();
    const bool saved =
        view.window(TrendPanel)->grab().save(QString::fromStdString(folder) + "/trends.png");
    ui::setObserver(nullptr);
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--screenshot") == 0) return screenshot(argv[2]);
    return measure();
}
