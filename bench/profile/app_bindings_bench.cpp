// Reading the largest AppBindings.json the store accepts: just under 1 MB of short application
// ids spread over a few profiles, read by a fresh store each time as the profile switcher does
// when the file changes. Reports the median read as "median_ms" and the ids read as "app_ids".
#include <benchmark/benchmark.h>
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
    std::size_t read_ids = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        AppBindings store(folder);
        const BindingResult r = store.load();
        const auto end = std::chrono::steady_clock::now();
        if (!r.ok()) {
            state.SkipWithError("the file did not read back whole");
            break;
        }
        read_ids = 0;
        for (const AppBinding& b : store.bindings())
            read_ids += b.app_ids.size();
        reads.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(reads.begin(), reads.end());
    if (!reads.empty())
        state.counters["median_ms"] = reads[reads.size() / 2];
    state.counters["app_ids"] = static_cast<double>(read_ids);
    state.counters["file_bytes"] = static_cast<double>(text.size());
    fs::remove_all(dir);
}
BENCHMARK(BM_AppBindingsReadLargestFile)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
