// Time from a DPI edit losing focus on the mouse page until the simulated mouse holds the new
// settings record, on both paths, against the protocol's floor. The page is bound to the
// in-process simulator (the mouse answering after 1 ms) and saves its profile on each change.
//
// Counters: floor_ms is the sum of the waits the protocol prescribes for the settings write
// (20 ms after each write, 10 ms before end configuration; the 1 ms replies fall inside them);
// mean_ms is the measured time from the killfocus until the write returned with the record in
// the mouse's slot 0; overhead_pct is the time above the floor. Goal: at most 5. save_ms is the
// profile save (written and synced to disk before the write) on its own, part of that overhead;
// write_ms the settings write alone.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "device/link/command_channel.h"
#include "device/link/supported_devices.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/ui/controls.h"
#include "platform/ui/resources.h"
#include "ui/custom_controls.h"
#include "window_bench.h"

namespace {

using velqa::link::CommandChannel;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace model = velqa::model;
namespace pui = velqa::platform::ui;

constexpr int LatencyMs = 1;

void BM_DpiEditToRecord(benchmark::State& state) {
    velqa::bench::window_bench_app();
    const Link l = state.range(0) ? Link::Receiver : Link::Cable;
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(tmpl);
    {
        InProcessSim sim(dir / "sim", velqa::sim::FirmwareOptions{}, LatencyMs);
        model::CZentovaMouseDevice page(sim.backend());
        page.set_device_name("mouse");
        page.set_device_type(l == Link::Cable ? 2 : 6, 0);
        page.set_data_folders(std::filesystem::path(VELQA_SOURCE_DIR) / "DefaultData",
                              dir / "user");
        page.bind_page_controls();
        page.set_sensors(model::sensor_table(
            velqa::link::load_device_catalog(
                std::filesystem::path(VELQA_SOURCE_DIR) / "DefaultData" / "devices", {})
                .catalog));
        page.set_profile_file(dir / "profile.Json");
        if (!sim.started() || !sim.open(page.channel(), l))
            std::abort();
        page.on_tile_timer(model::TimerReload);
        QWidget* edit = page.find(QStringLiteral("DPI_edit_2"));
        // Wired: begin, 2 reports, end. Receiver: 4 presence queries, begin, 4 reports, end.
        const int exchanges = l == Link::Receiver ? 10 : 4;
        const double floor_ms =
            exchanges * CommandChannel::AfterWriteSleepMs + CommandChannel::BeforeEndConfigSleepMs;
        double total = 0;
        int dpi = 1000;
        for (auto _ : state) {
            dpi = dpi == 1000 ? 1050 : 1000;
            pui::set_text(edit, QString::number(dpi));
            const auto t0 = std::chrono::steady_clock::now();
            pui::Notification msg{"killfocus", edit};
            page.notify(msg);
            total +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            const auto mem = sim.firmware().settings_memory();
            const size_t at = 14 + 2 * 9 + 2;
            if ((mem[at] | mem[at + 1] << 8) != dpi) {
                state.SkipWithError("the mouse does not hold the new DPI");
                break;
            }
        }
        // The durable profile save that precedes each write, timed on its own.
        const auto s0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i)
            page.profile().save();
        const double save_ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s0)
                .count() /
            10;
        // The settings write on its own, without the profile's update and save.
        const auto w0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 5; ++i)
            page.write_settings();
        const double write_ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0)
                .count() /
            5;
        const double mean = total / static_cast<double>(state.iterations());
        state.counters["save_ms"] = save_ms;
        state.counters["write_ms"] = write_ms;
        state.counters["floor_ms"] = floor_ms;
        state.counters["mean_ms"] = mean;
        state.counters["overhead_pct"] = (mean - floor_ms) / floor_ms * 100.0;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_DpiEditToRecord)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("receiver")
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
