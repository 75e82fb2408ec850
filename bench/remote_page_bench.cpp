// How far behind the station the remote page is: vnk-station (this build) publishes a vnk-sim
// fleet of 24 pumps to the project's broker, and the page in headless Chromium notes, each
// time a pump tile takes a new sample, how long ago the station took that sample (both
// clocks are this machine's). The discharge of pumps 1-8 changes every 3 s all the run, so
// that values change as well as stand still, and the page also notes when each change shows:
// from the moment vnk-sim's transducer reads the new pressure to the tile's text, it is the
// whole way (the station's poll, its once-a-second publishing, the broker, the page).
// Prints the count and the percentiles of both lags.
//
//   remote_page_bench [SECONDS]     (default 60)
#include <signal.h>

#include <QJsonArray>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/broker_process.h"
#include "support/headless_browser.h"
#include "support/private_network.h"
#include "support/remote_station.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kObserve = R"(
  window.lags = [];
  window.psi = [];
  const van = document.querySelector('.station[data-station="pad/van"]');
  new MutationObserver(() => {
    const now = Date.now();
    for (let n = 1; n <= 8; ++n) {
      const text = van.querySelector('.tile[data-pump="' + n + '"] .psi').textContent;
      const last = window.psi.filter((c) => c.pump === n).pop();
      if (!last || last.text !== text) window.psi.push({ pump: n, text: text, at: now });
    }
  }).observe(van.querySelector('.grid'), { subtree: true, characterData: true, childList: true });
  new MutationObserver((changes) => {
    const now = Date.now();
    for (const c of changes) {
      const sample = Number(c.target.dataset.sampleMs);
      if (sample > 0 && c.target.closest('.station').dataset.station === 'pad/van')
        window.lags.push(now - sample);
    }
  }).observe(document.getElementById('stations'),
             { subtree: true, attributes: true, attributeFilter: ['data-sample-ms'] });
  true)";

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    // The page's listener binds every interface: the broker, the station and the browser run
    // in a network of their own, loopback only, where they can.
    if (const std::string why = EnterPrivateNetwork(); !why.empty())
        std::fprintf(stderr, "no private network (%s): the page's port is open to every "
                             "interface while this runs\n", why.c_str());
    const fs::path dir =
        fs::temp_directory_path() / ("vnk_page_bench_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    UseStationFolder(dir);
    BrokerProcess broker;
    if (!broker.startProjectBroker(VNK_SOURCE_DIR)) {
        std::fprintf(stderr, "the broker did not start:\n%s\n", broker.log().c_str());
        return 1;
    }
    remotetest::WriteRemoteStationFiles(dir, 0, broker.port());
    SimProcess sim, station;
    // Pumps 1-8: their discharge transducers read 7000 and 7200 psi by turns, 3 s each.
    std::vector<std::string> simArgs{"--ports-dir",
                                     (dir / "ports").string(),
                                     "--quiet",
                                     "--speed",
                                     "all=700",
                                     "--state",
                                     (dir / "fleet.state").string(),
                                     "--log",
                                     (dir / "sim.packets").string()};
    for (int t = 3; t < seconds + 30; t += 3)
        simArgs.insert(simArgs.end(),
                       {"--event", "pressure=1-8:" + std::to_string(t % 6 == 0 ? 7000 : 7200) +
                                       "@" + std::to_string(t)});
    if (!sim.start(VNK_SIM_PATH, simArgs, (dir / "sim.log").string())) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!station.start(VNK_STATION_PATH, {}, (dir / "station.log").string())) return 1;
    HeadlessBrowser browser;
    if (!browser.start() ||
        !browser.open("http://127.0.0.1:" + std::to_string(broker.webPort()) + "/") ||
        !remotetest::waitFor(
            [&] {
                return browser
                    .evaluate("document.querySelector('.station[data-status=\"live\"]') !== null")
                    .toBool();
            },
            60.0)) {
        std::fprintf(stderr, "the page did not show the station live:\n%s\n",
                     browser.log().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));  // past the first burst of retained pumps
    browser.evaluate(kObserve);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::vector<double> lags;
    for (const auto v : browser.evaluate("window.lags").toArray()) lags.push_back(v.toDouble());
    const int changed = browser.evaluate("window.lags.length").toInt();
    // The change lag: each pressure event's wall time (vnk-sim's t=0 plus its second) to the
    // first new text of the pump's tile after it.
    double startWall = 0;
    {
        std::ifstream log(dir / "sim.packets");
        std::string line;
        std::getline(log, line);
        std::sscanf(line.c_str(), "# start wall=%lf", &startWall);
    }
    std::vector<double> changeLags;
    const QJsonArray seen = browser.evaluate("window.psi").toArray();
    for (int t = 3; startWall > 0 && t < seconds + 30; t += 3) {
        const double at = (startWall + t) * 1000.0;
        for (int pump = 1; pump <= 8; ++pump)
            for (const auto c : seen) {
                const QJsonObject o = c.toObject();
                if (o["pump"].toInt() == pump && o["at"].toDouble() >= at) {
                    // Only when it came before the next event: else this change was missed.
                    if (o["at"].toDouble() < at + 3000.0)
                        changeLags.push_back(o["at"].toDouble() - at);
                    break;
                }
            }
    }
    browser.stop();
    station.stop();
    sim.stop();
    LeaveStationFolder();
    fs::remove_all(dir);
    if (lags.empty()) {
        std::fprintf(stderr, "no tile took a new sample in %d s\n", seconds);
        return 1;
    }
    std::printf("remote page, 24 pumps, %d s: %d tile updates (%.1f a second)\n", seconds, changed,
                static_cast<double>(changed) / seconds);
    std::printf(
        "station's sample to the page's tile: p50 %.0f ms, p95 %.0f ms, p99 %.0f ms, max %.0f ms\n",
        percentile(lags, 0.50), percentile(lags, 0.95), percentile(lags, 0.99),
        *std::max_element(lags.begin(), lags.end()));
    if (!changeLags.empty())
        std::printf(
            "a new pressure at the pump to the page's tile (%zu changes): p50 %.0f ms, p95 %.0f "
            "ms, max %.0f ms\n",
            changeLags.size(), percentile(changeLags, 0.50), percentile(changeLags, 0.95),
            *std::max_element(changeLags.begin(), changeLags.end()));
    return 0;
}
