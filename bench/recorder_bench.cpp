// One simulated hour of a 24-pump recording on the real file system, in virtual time: the
// longest recorder tick (goal: under 2 ms), the mean and 99th percentile, the bytes written
// per second of recording, and how long the stop (last flush and the move to an archive
// folder) takes. Every pump on line with every alarm text, so lines are at their longest
// usual size. Usage: recorder_bench [folder] (default: a folder under /tmp).
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/panels.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "platform/sim_loop.h"
#include "recorder/recorder.h"
#include "shell/main_sequence.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace recorder;
using namespace shell;

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    fs::path home =
        argc > 1 ? fs::path(argv[1])
                 : fs::temp_directory_path() / ("vnk_recorder_bench_" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "archive");
    setenv("VNK_HOME", home.c_str(), 1);
    setenv("VNK_ARCHIVE_DIR", (home / "archive").c_str(), 1);

    platform::SimLoop loop;
    platform::RegistryStore store;
    ui::ScriptedPopups popups;
    platform::setLoop(&loop);
    platform::setRegistry(&store);
    ui::setPopupBackEnd(&popups);
    ResetStation();
    for (int b = 0; b < kBankCount; ++b)
        BankPanel[b] = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
    for (int p = 0; p < kPumpCount; ++p) {
        PumpTable[p].Online = 1;
        PumpTable[p].AlarmWord = 0xFFFF;
        PumpTable[p].TripWord = 0xFFFF;
        PumpTable[p].DischargePressure = 8123.0f;
        PumpTable[p].OilTemperature = 151.3f;
    }
    popups.answerFile((home / "data" / "bench.csv").string());
    const int bar = ui::FindPanel(BankPanel[0])->menuBar;
    ui::SelectMenu(bar, windows::MENU_RECORD_START, BankPanel[0]);
    if (RecordState != 1) {
        std::fprintf(stderr, "recording did not start\n");
        return 1;
    }

    constexpr int kTicks = 3600;
    std::vector<double> ticks;
    ticks.reserve(kTicks);
    // Thread CPU time as well: on shared cores the wall-clock maximum is often a preemption.
    auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    double longestCpu = 0;
    for (int t = 1; t <= kTicks; ++t) {
        for (int p = 0; p < kPumpCount; ++p) {
            PumpTable[p].MotorRpm = 1200.0f + static_cast<float>((t + p) % 600);
            PumpTable[p].TotalVolume = static_cast<float>(t) * 0.12f;
        }
        loop.advance(1.0);
        auto t0 = Clock::now();
        double c0 = cpuMs();
        RecordTimer(BankPanel[0], windows::BANK_TMR_RECORD, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
        longestCpu = std::max(longestCpu, cpuMs() - c0);
        ticks.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    auto s0 = Clock::now();
    ui::SelectMenu(bar, windows::MENU_RECORD_START, BankPanel[0]);
    double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - s0).count();

    std::uintmax_t bytes = 0;
    for (const auto& e : fs::directory_iterator(home / "archive")) bytes += e.file_size();
    std::vector<double> sorted = ticks;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double v : ticks) sum += v;
    auto longest = std::max_element(ticks.begin(), ticks.end()) - ticks.begin();
    std::printf("longest at tick %ld (flush phase %ld)\n", static_cast<long>(longest + 1),
                static_cast<long>(longest % 7));
    for (const auto& shown : popups.shown())
        std::printf("popup: %s: %s\n", shown.title.c_str(), shown.text.c_str());
    std::printf("ticks: %d, longest %.3f ms, p99 %.3f ms, mean %.4f ms\n", kTicks, sorted.back(),
                sorted[sorted.size() * 99 / 100], sum / kTicks);
    std::printf("longest tick in thread CPU time: %.3f ms\n", longestCpu);
    std::printf("written: %ju bytes, %.0f bytes per second of recording (%d pumps)\n", bytes,
                static_cast<double>(bytes) / kTicks, kPumpCount);
    std::printf("stop (last flush and the move of %d files): %.2f ms\n", kPumpCount + 1, stopMs);
    std::printf("left in the data folder: %zu files, popups: %zu\n",
                static_cast<std::size_t>(
                    std::distance(fs::directory_iterator(home / "data"), fs::directory_iterator{})),
                popups.shown().size());
    ResetStation();
    if (argc <= 1) fs::remove_all(home);
    return 0;
}
