// Load, modify and save a mouse profile: what every change on the mouse page costs.
// Reports the median of the per-cycle times as "median_us" (1000 cycles per run).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "profile/profile_data.h"
#include "profile/profile_files.h"

namespace {

namespace fs = std::filesystem;
using namespace velqa::profile;

fs::path factory_mouse_profile() {
    // The benchmark runs from the build tree's bin folder, where DefaultData sits beside it.
    return default_profile_path(KindMouse);
}

void BM_MouseProfileLoadModifySave(benchmark::State& state) {
    const fs::path dir =
        fs::temp_directory_path() / ("velqa-profile-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path profile = dir / "2024_01_01_00_00_00_000.Json";
    fs::copy_file(factory_mouse_profile(), profile, fs::copy_options::overwrite_existing);

    std::vector<double> cycles;
    cycles.reserve(static_cast<size_t>(state.max_iterations));
    std::uint16_t dpi = 400;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CMouseProfiledata data;
        data.set_device_index(0);
        data.set_default_path(factory_mouse_profile());
        data.set_profile_path(profile);
        data.load_section(profile);
        std::vector<DpiStage> stages = data.read_dpi_stages(StageSet3395);
        MouseSystemSettings settings = data.read_system_settings();
        data.read_key_list();
        data.read_light_info();
        dpi = static_cast<std::uint16_t>(dpi == 400 ? 450 : 400);
        if (!stages.empty())
            stages[1].dpi_x = dpi;
        settings.key_delay = static_cast<std::uint16_t>((settings.key_delay + 1) % 6);
        data.write_dpi_stages(stages, StageSet3395);
        data.write_system_settings(settings);
        data.save();
        const auto end = std::chrono::steady_clock::now();
        cycles.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(cycles.begin(), cycles.end());
    if (!cycles.empty())
        state.counters["median_us"] = cycles[cycles.size() / 2];
    fs::remove_all(dir);
}
BENCHMARK(BM_MouseProfileLoadModifySave)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
