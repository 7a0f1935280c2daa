// Hot-plug latency: from the simulated mouse's cable nodes appearing until the main window shows
// the mouse's tile, 20 times (the cable pulled and the tile gone between two plugs). The window
// runs offscreen over the in-process simulator with its real scan thread.
//
// Counters: median_ms, max_ms of the 20 plugs. Goal: median at most 150.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/main_wnd.h"
#include "app/startup.h"
#include "in_process_sim.h"
#include "platform/ui/settings_store.h"
#include "ui/device_option.h"
#include "window_bench.h"

namespace {

using velqa::app::CMainWnd;
using velqa::sim::InProcessSim;
using velqa::sim::Link;

constexpr int Plugs = 20;

using velqa::bench::run_until;

void BM_HotplugToTile(benchmark::State& state) {
    velqa::bench::window_bench_app();
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(tmpl);
    {
        InProcessSim sim(dir / "sim");
        sim.unplug(Link::Receiver);
        CMainWnd wnd(std::filesystem::path(VELQA_SOURCE_DIR) / "DefaultData", dir / "user",
                     velqa::platform::SettingsStore(
                         QString::fromStdString((dir / "config/velqa.conf").string())),
                     nullptr, sim.backend());
        bool settled = false;
        QObject::connect(&wnd, &CMainWnd::settled, [&] { settled = true; });
        wnd.create(QStringLiteral("ZARN_VELQA_R260"), QSize(800, 572));
        if (!run_until([&] { return settled; }))
            std::abort();
        auto shown = [&] {
            return wnd.devices().tile(0) != nullptr && wnd.devices().tile(0)->linked();
        };
        std::vector<double> ms;
        for (auto _ : state) {
            for (int i = 0; i < Plugs; ++i) {
                sim.unplug(Link::Cable);
                if (!run_until([&] { return !shown(); }))
                    std::abort();
                const auto start = std::chrono::steady_clock::now();
                sim.firmware().set_plugged(Link::Cable, true);
                sim.nodes().plug(Link::Cable);
                if (!run_until(shown))
                    std::abort();
                ms.push_back(std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
            }
        }
        std::sort(ms.begin(), ms.end());
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["max_ms"] = ms.back();
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_HotplugToTile)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
