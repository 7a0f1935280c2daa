// Reading the largest AppBindings.json the store accepts: just under 1 MB of short application
// ids spread over a few profiles, read by a fresh store each time as the profile switcher does
// when the file changes. Reports the median read as "median_ms" (wall clock) and "cpu_ms" (the
// reading thread's CPU time, which a machine shared with other jobs does not inflate), and the
// ids read as "app_ids".
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "profile/app_bindings.h"

namespace {

namespace fs = std::filesystem;
using namespace velqa::profile;

std::string base36(std::size_t n) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        n /= 36;
    } while (n > 0);
    return s;
}

// Compact JSON, as a script (not our writer) would leave it: the most ids a megabyte holds.
std::string largest_bindings_file(std::size_t& ids) {
    constexpr int Profiles = 8;
    const std::string tail = "]}]}";
    std::string text = R"({"Version":1,"Default":"p0","Bindings":[)";
    ids = 0;
    for (int p = 0; p < Profiles; ++p) {
        text += std::string(p == 0 ? "" : "]},") + R"({"Uuid":"p)" + std::to_string(p) +
                R"(","Apps":[)";
        bool first = true;
        const std::size_t room = MaxBindingsBytes * static_cast<std::size_t>(p + 1) / Profiles;
        for (;;) {
            const std::string item = (first ? "\"" : ",\"") + base36(ids) + "\"";
            if (text.size() + item.size() + tail.size() + 16 > room)
                break;
            text += item;
            first = false;
            ++ids;
        }
    }
    return text + tail;
}

double thread_cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void BM_AppBindingsReadLargestFile(benchmark::State& state) {
    const fs::path dir =
        fs::temp_directory_path() / ("velqa-bindings-bench-" + std::to_string(::getpid()));
    const fs::path folder = dir / "mouse";
    fs::create_directories(folder);
    std::size_t ids = 0;
    const std::string text = largest_bindings_file(ids);
    if (!velqa::platform::write_file_atomically(folder / AppBindingsName, text)) {
        state.SkipWithError("cannot write the bindings file");
        return;
    }

    std::vector<double> reads;
    std::vector<double> cpu;
    std::size_t read_ids = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = thread_cpu_ms();
        AppBindings store(folder);
        const BindingResult r = store.load();
        const double cpu_end = thread_cpu_ms();
        const auto end = std::chrono::steady_clock::now();
        if (!r.ok()) {
            state.SkipWithError("the file did not read back whole");
            break;
        }
        read_ids = 0;
        for (const AppBinding& b : store.bindings())
            read_ids += b.app_ids.size();
        reads.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        cpu.push_back(cpu_end - cpu_start);
    }
    state.counters["median_ms"] = median(reads);
    state.counters["cpu_ms"] = median(cpu);
    state.counters["app_ids"] = static_cast<double>(read_ids);
    state.counters["file_bytes"] = static_cast<double>(text.size());
    fs::remove_all(dir);
}
BENCHMARK(BM_AppBindingsReadLargestFile)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
