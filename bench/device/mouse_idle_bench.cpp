// Idle CPU of one mouse page's worker threads: the simulated mouse in-process, its command link
// open, the light thread previewing a lighting mode and both notification workers reading,
// nothing happening on the mouse, for 10 s.
//
// Counters: cpu_pct is the user and system time of the whole process (workers and the
// simulator's node server) over the wall time, in percent of one core; frames is the number of
// preview frames computed. Goal in the static mode: cpu_pct at most 0.3.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "device/link/command_channel.h"
#include "device/model/light_thread.h"
#include "device/model/notification_worker.h"
#include "in_process_sim.h"

namespace {

using velqa::link::CommandChannel;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace model = velqa::model;

constexpr auto IdleTime = std::chrono::seconds(10);

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void idle_page(benchmark::State& state, int mode, int speed) {
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(tmpl);
    {
        InProcessSim sim(dir);
        CommandChannel commands(sim.backend());
        CommandChannel holder(sim.backend());
        const auto wired = sim.interface_path(Link::Cable, 3);
        const auto receiver = sim.interface_path(Link::Receiver, 3);
        if (!sim.started() || !sim.open(commands, Link::Cable) || !wired || !receiver)
            std::abort();
        std::atomic<std::uint64_t> shown{0};
        model::MouseLightThread light(commands, [&] { ++shown; });
        model::MouseNotifications notifications(holder, commands, [](const auto&) {});
        if (!notifications.open_notification(*wired, model::WiredMouseType) ||
            !notifications.open_notification(*receiver, model::ReceiverMouseType))
            std::abort();
        model::LightingState lighting;
        lighting.mode = static_cast<std::uint8_t>(mode);
        lighting.speed = static_cast<std::uint8_t>(speed);
        lighting.brightness = 4;
        lighting.red = 255;
        light.set_led_count(8);
        light.set_lighting(lighting);
        light.start();

        for (auto _ : state) {
            const double cpu_before = cpu_seconds();
            const auto wall_before = std::chrono::steady_clock::now();
            const std::uint64_t frames_before = light.frames();
            std::this_thread::sleep_for(IdleTime);  // the page is idle; the workers run
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before)
                    .count();
            state.counters["cpu_pct"] = (cpu_seconds() - cpu_before) / wall * 100.0;
            state.counters["frames"] = static_cast<double>(light.frames() - frames_before);
        }
        light.stop();
        notifications.close_notification(model::WiredMouseType);
        notifications.close_notification(model::ReceiverMouseType);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void BM_IdlePageStatic(benchmark::State& state) {
    idle_page(state, 3, 4);
}
// For comparison: an animated mode at its fastest frame pace.
void BM_IdlePageBreathingFastest(benchmark::State& state) {
    idle_page(state, 2, 4);
}

BENCHMARK(BM_IdlePageStatic)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_IdlePageBreathingFastest)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
