// From a focus change to the simulated mouse holding the bound profile's record: the main window
// offscreen over the in-process mouse (on the cable, answering after 1 ms), two profiles that
// differ in stage 2's DPI bound to two applications, and the focus moved between them 20 times
// through a fake watcher (which hands each change over from a thread of its own, as the desktop
// watchers do).
//
// Counters: floor_ms is the sum of the waits the protocol prescribes for applying the profile
// (its settings record and key table, as profile_apply_bench computes it); mean_ms the time from
// the focus change until the mouse holds the profile's record, which includes the switcher's settle
// time (settle_ms, 300); above_floor_ms = mean_ms - floor_ms, and above_floor_without_settle_ms the
// same without the settle time. Goal: above_floor_ms at most 300.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/main_wnd.h"
#include "app/profile_switcher.h"
#include "app/startup.h"
#include "apply_floor.h"
#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/json_read.h"
#include "platform/ui/settings_store.h"
#include "profile/app_bindings.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "support/fake_focus_watcher.h"
#include "window_bench.h"

namespace {

using velqa::app::CMainWnd;
using velqa::app::ProfileSwitcher;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace fs = std::filesystem;

constexpr int Switches = 20;

using velqa::bench::run_until;

int mouse_stage2(InProcessSim& sim) {
    const auto memory = sim.firmware().settings_memory();
    velqa::link::MouseSettingsRecord record;
    const std::size_t at = memory[0] * velqa::link::MouseSlotStride;
    std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(at), record.bytes.size(),
                record.bytes.begin());
    return velqa::link::decode_mouse_settings(record, {}).stages[2].dpi_x;
}

void BM_FocusToRecord(benchmark::State& state) {
    velqa::bench::window_bench_app();
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    {
        InProcessSim sim(dir / "sim", velqa::sim::FirmwareOptions{}, 1);
        sim.nodes().unplug(Link::Receiver);
        sim.firmware().set_plugged(Link::Receiver, false);
        const fs::path data = fs::path(VELQA_SOURCE_DIR) / "DefaultData";
        CMainWnd wnd(data, dir / "user",
                     velqa::platform::SettingsStore(
                         QString::fromStdString((dir / "config/velqa.conf").string())),
                     nullptr, sim.backend());
        auto watcher = std::make_unique<velqa::test::FakeFocusWatcher>();
        velqa::test::FakeFocusWatcher* focus = watcher.get();
        wnd.set_focus_watcher(std::move(watcher));
        bool settled = false;
        QObject::connect(&wnd, &CMainWnd::settled, [&] { settled = true; });
        wnd.create(QStringLiteral("ZARN_VELQA_R260"), QSize(800, 572));
        if (!run_until([&] { return settled && focus->started(); }))
            std::abort();

        // After the first load, which mirrors the mouse into the selected profile.
        const fs::path folder = dir / "user" / "mouse";
        {
            velqa::profile::ProfileList list(folder, data / "mouse.Json");
            list.load();
            list.copy(0);
            for (int i = 0; i < 2; ++i) {
                Json::Value doc = velqa::platform::read_json_file(list.file_of(i));
                for (Json::Value& set : doc["Device"][0]["DPIStages"])
                    set["StageDPIs"][2]["StageDPIX"] = 1000 * (i + 1);
                if (!velqa::profile::write_json_checked(doc, list.file_of(i)))
                    std::abort();
            }
            velqa::profile::AppBindings bindings(folder);
            bindings.load();
            if (!bindings.bind(list.entries()[0].uuid, "app-a").ok() ||
                !bindings.bind(list.entries()[1].uuid, "app-b").ok())
                std::abort();
        }
        // The apply writes the settings record and the key table (no key runs a macro).
        const double floor_ms =
            velqa::bench::apply_floor(wnd.devices().mouse_pages().front()->channel().chunk_size(),
                                      sim.firmware().dump()["keys"].asUInt(), 0)
                .ms;
        double total = 0;
        int n = 0;
        for (auto _ : state) {
            for (int i = 0; i < Switches; ++i) {
                const bool b = i % 2 == 0;
                const auto start = std::chrono::steady_clock::now();
                focus->focus(b ? "app-b" : "app-a");
                if (!run_until([&] { return mouse_stage2(sim) == (b ? 2000 : 1000); })) {
                    state.SkipWithError("the mouse does not hold the bound profile");
                    break;
                }
                total += std::chrono::duration<double, std::milli>(
                             std::chrono::steady_clock::now() - start)
                             .count();
                ++n;
            }
        }
        const double mean = n > 0 ? total / n : 0;
        state.counters["floor_ms"] = floor_ms;
        state.counters["settle_ms"] = ProfileSwitcher::kQuietMs;
        state.counters["mean_ms"] = mean;
        state.counters["above_floor_ms"] = mean - floor_ms;
        state.counters["above_floor_without_settle_ms"] =
            mean - floor_ms - ProfileSwitcher::kQuietMs;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_FocusToRecord)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
