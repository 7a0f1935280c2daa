// The macro download of 50 macros that fill the simulated mouse's largest macro memory (255
// units of 128 bytes), on both paths, against the protocol's floor.
//
// Counters: floor_ms is the wait the protocol prescribes: 20 ms after every request the mouse
// received (counted by the simulator) and 10 ms before the end of configuration; the mouse's
// 1 ms reply falls inside the 20 ms wait. overhead_pct is the measured time above that floor.
// Goal: at most 5.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "device/link/command_channel.h"
#include "in_process_sim.h"
#include "macro/macro_files.h"
#include "macro/macro_image.h"

namespace {

using velqa::link::CommandChannel;
using velqa::sim::InProcessSim;
using velqa::sim::Link;

constexpr int LatencyMs = 1;
constexpr int MacroCount = 50;
constexpr std::uint8_t MacroUnits = 255;

// 50 macros whose image is exactly the memory: 16 + 6 x 50 + 4 x events = 255 x 128.
void fill_library(const std::filesystem::path& folder) {
    velqa::macro::MacroLibrary library(folder);
    library.load();
    constexpr std::size_t memory = std::size_t{MacroUnits} * 128;
    constexpr std::size_t events = (memory - 16 - 6 * MacroCount) / 4;
    for (int m = 0; m < MacroCount; ++m) {
        if (!library.create_named("bench_" + std::to_string(m)).ok())
            std::abort();
        const std::size_t n =
            events / MacroCount + (static_cast<std::size_t>(m) < events % MacroCount ? 1 : 0);
        std::vector<velqa::macro::MacroEvent> list(n);
        for (std::size_t e = 0; e < n; ++e)
            list[e] = {e % 2 == 0, 0x04, 10, static_cast<std::uint16_t>(e % 200)};
        if (!library.save_events(m, list).ok())
            std::abort();
    }
}

void BM_MacroDownload(benchmark::State& state) {
    const Link l = state.range(0) ? Link::Receiver : Link::Cable;
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(tmpl);
    const std::filesystem::path macros = dir / "macros";
    std::filesystem::create_directories(macros);
    fill_library(macros);
    velqa::sim::FirmwareOptions options;
    options.macro_units = MacroUnits;
    double total = 0;
    double floor_ms = 0;
    {
        InProcessSim sim(dir / "sim", options, LatencyMs);
        CommandChannel channel(sim.backend());
        if (!sim.started() || !sim.open(channel, l))
            std::abort();
        std::vector<int> used(MacroCount);
        std::iota(used.begin(), used.end(), 0);
        for (auto _ : state) {
            sim.firmware().clear_requests();
            const auto t0 = std::chrono::steady_clock::now();
            if (velqa::macro::download_macros(channel, macros, used) != velqa::macro::MacrosDone) {
                state.SkipWithError("download failed");
                break;
            }
            total +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            floor_ms = static_cast<double>(sim.firmware().requests().size()) *
                           CommandChannel::AfterWriteSleepMs +
                       CommandChannel::BeforeEndConfigSleepMs;
        }
    }
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floor_ms;
    state.counters["mean_ms"] = mean;
    state.counters["overhead_pct"] = (mean - floor_ms) / floor_ms * 100.0;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace

BENCHMARK(BM_MacroDownload)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("receiver")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
