// Applying a profile to the simulated mouse: the profile control's choice (select, then the
// apply the window runs once the choice has settled) until the mouse holds everything the profile
// sets, against the protocol's floor. Two profiles are applied in turn on the cable: they differ
// in stage 2's DPI, and the second runs a macro on button 5. The mouse answers after 1 ms.
//
// Counters: floor_ms is the sum of the waits the protocol prescribes for every sequence an apply
// sends (the settings record; the macro image when a key runs a macro; the key table, each with
// begin, its reports and end, and the information read before the macros and before the key
// table), 20 ms after each write and 10 ms before each end; floor_exchanges their exchanges per
// apply and exchanges those the mouse received (both means over the two profiles); mean_ms the
// measured time from the choice until the mouse holds the profile; overhead_pct the time above
// the floor. Goal: at most 5. select_ms is the list's new selection (written and synced to disk)
// on its own, part of that overhead.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "apply_floor.h"
#include "device/link/command_channel.h"
#include "device/link/supported_devices.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/macro_files.h"
#include "macro/macro_image.h"
#include "platform/json_read.h"
#include "platform/ui/resources.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "profile/ui/device_profile_ui.h"
#include "profile/ui/light_control.h"
#include "ui/custom_controls.h"
#include "window_bench.h"

namespace {

using velqa::link::CommandChannel;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace model = velqa::model;
namespace fs = std::filesystem;

// Class 0x70 (a macro), macro 0, once: class x 65536 + first x 256 + second.
constexpr int MacroKeyCode = 0x70 * 65536 + 0 * 256 + 1;
const std::vector<velqa::macro::MacroEvent> MacroEvents = {
    {true, 0x04, velqa::macro::TypeKey, 10}, {false, 0x04, velqa::macro::TypeKey, 10}};

// Stage 2 of every stage set of a profile file set to `dpi`; button 5 runs macro 0 when `macro`.
void prepare_profile(const fs::path& file, int dpi, bool macro) {
    Json::Value doc = velqa::platform::read_json_file(file);
    for (Json::Value& set : doc["Device"][0]["DPIStages"])
        set["StageDPIs"][2]["StageDPIX"] = dpi;
    if (macro)
        doc["Device"][0]["KeyList"][4]["Assignment"] = MacroKeyCode;
    if (!velqa::profile::write_json_checked(doc, file))
        std::abort();
}

void BM_ProfileChoiceToRecord(benchmark::State& state) {
    velqa::bench::window_bench_app();
    char tmpl[] = "/tmp/velqa-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    {
        InProcessSim sim(dir / "sim", velqa::sim::FirmwareOptions{}, 1);
        const fs::path factory = fs::path(VELQA_SOURCE_DIR) / "DefaultData" / "mouse.Json";
        const fs::path folder = dir / "user" / "mouse";
        fs::create_directories(folder);
        {
            velqa::profile::ProfileList list(folder, factory);
            list.load();
            list.copy(0);
            velqa::macro::MacroLibrary macros(folder);
            macros.load();
            if (!macros.create().ok() || !macros.save_events(0, MacroEvents).ok())
                std::abort();
        }
        model::CZentovaMouseDevice page(sim.backend());
        page.set_device_name("mouse");
        page.set_device_type(2, 0);
        page.set_data_folders(fs::path(VELQA_SOURCE_DIR) / "DefaultData", dir / "user");
        const velqa::profile::SensorTable sensors =
            model::sensor_table(velqa::link::load_device_catalog(
                                    fs::path(VELQA_SOURCE_DIR) / "DefaultData" / "devices", {})
                                    .catalog);
        page.set_sensors(sensors);
        page.bind_page_controls();
        auto* profiles = page.findChild<velqa::profile::CDeviceProfileUI*>();
        if (profiles == nullptr || !sim.started() || !sim.open(page.channel(), Link::Cable))
            std::abort();
        profiles->set_kind(folder, factory, 2, sensors);
        QObject::connect(profiles, &velqa::profile::CDeviceProfileUI::profile_applied, &page,
                         [&page](const QString& f) { page.apply_profile_file(f.toStdString()); });
        profiles->load();
        page.set_profile_file(velqa::profile::selected_profile_path(folder, factory));
        page.on_tile_timer(model::TimerReload);
        // After the first reload, which mirrors the mouse into the selected profile.
        {
            velqa::profile::ProfileList list(folder, factory);
            list.load();
            prepare_profile(list.file_of(0), 1000, false);
            prepare_profile(list.file_of(1), 2000, true);
        }
        const std::size_t chunk = page.channel().chunk_size();
        const std::size_t keys = sim.firmware().dump()["keys"].asUInt();
        const std::size_t macro_bytes = velqa::macro::MacroImage::size_for({MacroEvents.size()});
        auto floor_of = [&](bool with_macro) {
            const auto f = velqa::bench::apply_floor(chunk, keys, with_macro ? macro_bytes : 0);
            return std::pair{f.exchanges, f.ms};
        };
        double total = 0;
        double floor_total = 0;
        double floor_exchanges = 0;
        double exchanges = 0;
        int index = 0;
        for (auto _ : state) {
            index = 1 - index;
            sim.firmware().clear_requests();
            const auto t0 = std::chrono::steady_clock::now();
            profiles->select_profile(index, false);
            profiles->apply_selected();
            total +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            const auto [n, ms] = floor_of(index == 1);
            floor_total += ms;
            floor_exchanges += n;
            exchanges += static_cast<double>(sim.firmware().requests().size());
            const auto mem = sim.firmware().settings_memory();
            const size_t at = 14 + 2 * 9 + 2;
            const auto table = sim.firmware().key_table();
            const bool macro_key = table[3 * 4] == 0x70;
            if ((mem[at] | mem[at + 1] << 8) != (index == 0 ? 1000 : 2000) ||
                macro_key != (index == 1)) {
                state.SkipWithError("the mouse does not hold the chosen profile");
                break;
            }
        }
        // The durable write of the list's new selection, part of the overhead, on its own.
        const auto s0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i)
            profiles->select_profile(i % 2, false);
        const double select_ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s0)
                .count() /
            10;
        const auto runs = static_cast<double>(state.iterations());
        const double mean = total / runs;
        const double floor_ms = floor_total / runs;
        state.counters["select_ms"] = select_ms;
        state.counters["floor_exchanges"] = floor_exchanges / runs;
        state.counters["exchanges"] = exchanges / runs;
        state.counters["floor_ms"] = floor_ms;
        state.counters["mean_ms"] = mean;
        state.counters["overhead_pct"] = (mean - floor_ms) / floor_ms * 100.0;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_ProfileChoiceToRecord)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
