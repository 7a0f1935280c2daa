// From a focus change to the simulated mouse holding the bound profile's record: the main window
// offscreen over the in-process mouse (on the cable, answering after 1 ms), two profiles that
// differ in stage 2's DPI bound to two applications, and the focus moved between them through a
// fake watcher (which hands each change over from a thread of its own, as the desktop watchers
// do).
//
// Two cases. A single change after a quiet moment (the focus rested for more than the switcher's
// quiet time, 300 ms), 20 times: the switcher applies it at once. A burst of four changes 60 ms
// apart, 5 times: the last one is applied once the focus has rested for the quiet time.
//
// Counters: floor_ms is the sum of the waits the protocol prescribes for applying the profile
// (its settings record and key table, as profile_apply_bench computes it); single_ms the mean
// time from a single change until the mouse holds the profile's record, single_above_floor_ms
// that less the floor (goal: at most 40); burst_last_ms the mean time from a burst's last change
// until the mouse holds its profile, burst_last_above_floor_ms that less the floor (it includes
// the quiet time, quiet_ms).
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
#include "sim_readback.h"
#include "support/fake_focus_watcher.h"
#include "window_bench.h"

namespace {

using velqa::app::CMainWnd;
using velqa::app::ProfileSwitcher;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace fs = std::filesystem;

constexpr int Switches = 20;
constexpr int Bursts = 5;

using velqa::bench::run_until;

using velqa::bench::mouse_stage2;

void BM_FocusToRecord(benchmark::State& state) {
    velqa::bench::window_bench_app();
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    {
        InProcessSim sim(dir / "sim", velqa::sim::FirmwareOptions{}, 1);
        sim.unplug(Link::Receiver);
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
        using Clock = std::chrono::steady_clock;
        auto ms_since = [](Clock::time_point t) {
            return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
        };
        Clock::time_point last_change = Clock::now();
        // Lets the focus rest longer than the quiet time, with the event loop running.
        auto rest = [&] {
            const auto until =
                last_change + std::chrono::milliseconds(ProfileSwitcher::kQuietMs + 50);
            run_until([&] { return Clock::now() >= until; });
        };
        auto change = [&](bool b) {
            last_change = Clock::now();
            focus->focus(b ? "app-b" : "app-a");
        };
        auto holds = [&](bool b) {
            return run_until([&] { return mouse_stage2(sim) == (b ? 2000 : 1000); });
        };
        double single_total = 0, burst_total = 0;
        int singles = 0, bursts = 0;
        bool held_b = false;
        for (auto _ : state) {
            for (int i = 0; i < Switches; ++i) {
                rest();
                const bool b = !held_b;
                const auto start = Clock::now();
                change(b);
                if (!holds(b)) {
                    state.SkipWithError("the mouse does not hold the bound profile");
                    break;
                }
                single_total += ms_since(start);
                ++singles;
                held_b = b;
            }
            for (int i = 0; i < Bursts; ++i) {
                rest();
                // a b a b (or b a b a): ends on the application not held before.
                bool b = held_b;
                for (int k = 0; k < 3; ++k) {
                    b = !b;
                    change(b);
                    const auto next = Clock::now() + std::chrono::milliseconds(60);
                    run_until([&] { return Clock::now() >= next; });
                }
                b = !b;
                const auto start = Clock::now();
                change(b);
                if (!holds(b)) {
                    state.SkipWithError("the mouse does not hold the burst's last profile");
                    break;
                }
                burst_total += ms_since(start);
                ++bursts;
                held_b = b;
            }
        }
        const double single = singles > 0 ? single_total / singles : 0;
        const double burst = bursts > 0 ? burst_total / bursts : 0;
        state.counters["floor_ms"] = floor_ms;
        state.counters["quiet_ms"] = ProfileSwitcher::kQuietMs;
        state.counters["single_ms"] = single;
        state.counters["single_above_floor_ms"] = single - floor_ms;
        state.counters["burst_last_ms"] = burst;
        state.counters["burst_last_above_floor_ms"] = burst - floor_ms;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_FocusToRecord)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
