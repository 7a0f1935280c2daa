// Exchange overhead against the protocol's own waits: the settings write sequence and the
// 2920-byte shooting write on both paths, with the simulated mouse answering after 1 ms.
//
// Counters: floor_ms is the sum of the waits the protocol prescribes (20 ms after each write,
// 10 ms before end configuration); the mouse's 1 ms reply falls inside the 20 ms wait, so it
// adds nothing to the floor. overhead_pct is the measured time above that floor.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "device/link/command_channel.h"
#include "device/link/sequences.h"
#include "in_process_sim.h"

namespace {

using velqa::link::CommandChannel;
using velqa::sim::InProcessSim;
using velqa::sim::Link;

constexpr int LatencyMs = 1;

struct Rig {
    std::filesystem::path dir;
    std::unique_ptr<InProcessSim> sim;
    std::unique_ptr<CommandChannel> link;  // opened through the simulator's backend

    explicit Rig(Link l) {
        char tmpl[] = "/tmp/velqa-bench-XXXXXX";
        dir = ::mkdtemp(tmpl);
        sim = std::make_unique<InProcessSim>(dir, velqa::sim::FirmwareOptions{}, LatencyMs);
        link = std::make_unique<CommandChannel>(sim->backend());
        if (!sim->started() || !sim->open(*link, l))
            std::abort();
    }
    CommandChannel& channel() { return *link; }
    ~Rig() {
        link.reset();
        sim.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

void report(benchmark::State& state, double floor_ms, double total_ms) {
    const double mean = total_ms / static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floor_ms;
    state.counters["mean_ms"] = mean;
    state.counters["overhead_pct"] = (mean - floor_ms) / floor_ms * 100.0;
}

double elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

void BM_SettingsWrite(benchmark::State& state) {
    const Link l = state.range(0) ? Link::Receiver : Link::Cable;
    Rig rig(l);
    velqa::link::MouseSettingsRecord rec;
    rec.bytes.fill(0x11);
    // Wired: begin, 2 reports, end. Receiver: 4 presence queries, begin, 4 reports, end.
    const int exchanges = l == Link::Receiver ? 10 : 4;
    const double floor_ms =
        exchanges * CommandChannel::AfterWriteSleepMs + CommandChannel::BeforeEndConfigSleepMs;
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (velqa::link::write_settings_sequence(rig.channel(), rec, 0) != 1) {
            state.SkipWithError("write failed");
            return;
        }
        total += elapsed_ms(t0);
    }
    report(state, floor_ms, total);
}

void BM_ShootingWrite(benchmark::State& state) {
    const Link l = state.range(0) ? Link::Receiver : Link::Cable;
    Rig rig(l);
    std::vector<uint8_t> image(2920, 0x22);
    if (rig.channel().begin_config() != 1)
        std::abort();
    const double floor_ms = 53.0 * CommandChannel::AfterWriteSleepMs;
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (rig.channel().write_shooting_data(image, 2920) != 1) {
            state.SkipWithError("write failed");
            return;
        }
        total += elapsed_ms(t0);
    }
    report(state, floor_ms, total);
}

}  // namespace

BENCHMARK(BM_SettingsWrite)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("receiver")
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShootingWrite)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("receiver")
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
