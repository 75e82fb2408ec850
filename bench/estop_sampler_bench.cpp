// The CPU cost of sampling the E-stop input every 10 ms on its own: Qt's event loop with one
// 10 ms timer that reads the parallel-port status register as the real back end does
// (VNK_PARPORT pointing at a status file, read afresh each time), against the same loop with
// no timer. Both run in turns for the same time; the figure is the difference of the
// process's user+system CPU time (getrusage), as % of one core. Goal: under 0.05 %.
// A third turn takes the same samples without Qt (clock_nanosleep to each 10 ms mark, then
// the read): what a wake-up every 10 ms costs on this machine at the least, whatever loop
// does it.
// Usage: estop_sampler_bench [seconds per turn (default 10)] [turns each way (default 3)]
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/real/qt_loop.h"
#include "platform/system.h"
#include "ui/qt/qt_system.h"

namespace {

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto sec = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Turn {
    double cpu = 0.0;
    double wall = 0.0;
    long samples = 0;
};

long g_samples = 0;
long g_failed = 0;

// One turn of the loop for `seconds`, with the sampling timer on or not.
Turn runTurn(platform::QtLoop& loop, int timer, bool sampling, double seconds) {
    g_samples = 0;
    loop.setTimer(timer, 0.01, sampling);
    const double cpu0 = cpuSeconds();
    const double wall0 = wallSeconds();
    // The application's own loop, not QtLoop::run: that one ends for good at its quit.
    loop.post(seconds, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    Turn t{cpuSeconds() - cpu0, wallSeconds() - wall0, g_samples};
    loop.setTimer(timer, 0.01, false);
    return t;
}

// The same samples by a bare sleep to each 10 ms mark, no event loop.
Turn runBare(double seconds) {
    const double cpu0 = cpuSeconds();
    const double wall0 = wallSeconds();
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    long samples = 0;
    while (wallSeconds() - wall0 < seconds) {
        next.tv_nsec += 10'000'000;
        if (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            ++next.tv_sec;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        ++samples;
        if (platform::systemBackEnd().readParallelStatus() != 0x10) ++g_failed;
    }
    return Turn{cpuSeconds() - cpu0, wallSeconds() - wall0, samples};
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int turns = argc > 2 ? std::atoi(argv[2]) : 3;
    if (!(seconds > 0.0) || turns < 1) {
        std::fprintf(stderr, "usage: estop_sampler_bench [seconds per turn] [turns each way]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path status =
        fs::temp_directory_path() / ("vnk_estop_bench_" + std::to_string(::getpid()));
    std::ofstream(status, std::ios::binary) << '\x10';  // the E-stop loop closed
    setenv("VNK_PARPORT", status.c_str(), 1);

    int qtArgc = 1;
    char name[] = "estop_sampler_bench";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    platform::QtLoop loop;
    platform::setLoop(&loop);
    ui::qt::QtSystem system;
    platform::setSystemBackEnd(&system);
    if (!platform::systemBackEnd().openParallel()) {
        std::fprintf(stderr, "cannot open the status file %s\n", status.c_str());
        return 1;
    }
    const int timer = loop.addTimer([] {
        ++g_samples;
        if (platform::systemBackEnd().readParallelStatus() != 0x10) ++g_failed;
    });

    // In turns, so that a change in the machine's load meanwhile falls on both alike.
    std::vector<Turn> idle, sampled, bare;
    for (int i = 0; i < turns; ++i) {
        idle.push_back(runTurn(loop, timer, false, seconds));
        sampled.push_back(runTurn(loop, timer, true, seconds));
        bare.push_back(runBare(seconds));
    }
    platform::systemBackEnd().closeParallel();
    platform::setSystemBackEnd(nullptr);
    loop.removeTimer(timer);
    platform::setLoop(nullptr);
    fs::remove(status);

    const auto sum = [](const std::vector<Turn>& ts) {
        Turn all;
        for (const Turn& t : ts) {
            all.cpu += t.cpu;
            all.wall += t.wall;
            all.samples += t.samples;
        }
        return all;
    };
    const Turn a = sum(idle);
    const Turn b = sum(sampled);
    const Turn c = sum(bare);
    const double idlePercent = 100.0 * a.cpu / a.wall;
    const double sampledPercent = 100.0 * b.cpu / b.wall;
    std::printf("E-stop sampling every 10 ms: %d turns of %.0f s each way\n", turns, seconds);
    std::printf("  loop without the timer: %.4f %% of one core\n", idlePercent);
    std::printf("  loop sampling:          %.4f %% of one core (%ld samples, %.1f a second)\n",
                sampledPercent, b.samples, static_cast<double>(b.samples) / b.wall);
    for (size_t i = 0; i < sampled.size(); ++i)
        std::printf("    turn %zu: %.4f %% without, %.4f %% sampling, %.4f %% bare\n", i + 1,
                    100.0 * idle[i].cpu / idle[i].wall, 100.0 * sampled[i].cpu / sampled[i].wall,
                    100.0 * bare[i].cpu / bare[i].wall);
    std::printf("  bare sleep and read:    %.4f %% of one core (%ld samples, %.2f us a sample)\n",
                100.0 * c.cpu / c.wall, c.samples,
                c.samples > 0 ? 1e6 * c.cpu / static_cast<double>(c.samples) : 0.0);
    const double cost = sampledPercent - idlePercent;
    std::printf(
        "sampling costs %.4f %% of one core, %.2f us of CPU a sample (goal < 0.05 %%)\n", cost,
        b.samples > 0 ? 1e6 * (b.cpu - a.cpu * b.wall / a.wall) / static_cast<double>(b.samples)
                      : 0.0);
    if (g_failed > 0) {
        std::printf("%ld samples did not read the status byte\n", g_failed);
        return 1;
    }
    return 0;
}
