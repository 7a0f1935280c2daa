// Applying a profile to the simulated mouse: the profile control's choice (select, then the
// apply the window runs once the choice has settled) until the mouse holds the record built from
// that profile, against the protocol's floor. Two profiles that differ in stage 2's DPI are
// applied in turn on the cable; the mouse answers after 1 ms.
//
// Counters: floor_ms is the sum of the waits the protocol prescribes for the settings write;
// mean_ms the measured time from the choice until the mouse holds the profile's record;
// overhead_pct the time above the floor. Goal: at most 5. select_ms is the list's new selection
// (written and synced to disk) on its own, part of that overhead.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "device/link/command_channel.h"
#include "device/link/supported_devices.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/json_read.h"
#include "platform/ui/resources.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "profile/ui/device_profile_ui.h"
#include "profile/ui/light_control.h"
#include "ui/custom_controls.h"

namespace {

using velqa::link::CommandChannel;
using velqa::sim::InProcessSim;
using velqa::sim::Link;
namespace model = velqa::model;
namespace fs = std::filesystem;

void qt_once() {
    static int argc = 1;
    static char name[] = "velqa-bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        auto& res = velqa::platform::ui::Resources::instance();
        res.set_resource_path(fs::path(VELQA_SOURCE_DIR) / "skin");
        if (!res.load_resource(QStringLiteral("res.xml")))
            std::abort();
        model::register_device_pages();
        velqa::ui::register_custom_controls();
        velqa::profile::register_profile_controls();
        velqa::profile::register_light_controls();
        return a;
    }();
    (void)app;
}

// Stage 2 of every stage set of a profile file set to `dpi`.
void set_stage2(const fs::path& file, int dpi) {
    Json::Value doc = velqa::platform::read_json_file(file);
    for (Json::Value& set : doc["Device"][0]["DPIStages"])
        set["StageDPIs"][2]["StageDPIX"] = dpi;
    if (!velqa::profile::write_json_checked(doc, file))
        std::abort();
}

void BM_ProfileChoiceToRecord(benchmark::State& state) {
    qt_once();
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
            set_stage2(list.file_of(0), 1000);
            set_stage2(list.file_of(1), 2000);
        }
        // Wired: begin, 2 reports, end.
        const double floor_ms =
            4 * CommandChannel::AfterWriteSleepMs + CommandChannel::BeforeEndConfigSleepMs;
        double total = 0;
        int index = 0;
        for (auto _ : state) {
            index = 1 - index;
            const auto t0 = std::chrono::steady_clock::now();
            profiles->select_profile(index, false);
            profiles->apply_selected();
            total +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            const auto mem = sim.firmware().settings_memory();
            const size_t at = 14 + 2 * 9 + 2;
            if ((mem[at] | mem[at + 1] << 8) != (index == 0 ? 1000 : 2000)) {
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
        const double mean = total / static_cast<double>(state.iterations());
        state.counters["select_ms"] = select_ms;
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
