// The largest files a user may hand the program, each imported 5 times into a fresh folder:
// - BM_ProfileImportLargest/array: the largest mouse profile an import accepts: nearly as many
//   values as it may hold (MaxImportValues, in an array of numbers) and a string member up to the
//   largest size (MaxImportBytes, 4 MB); /junk: 4 MB that is no JSON at all. Goal: accepted or
//   refused in at most 200 ms.
// - BM_ShootingImport: the factory shooting pattern (180 events) over a gun's file; goal: at
//   most 50 ms.
// - BM_MacroImportLargest: a macro file of 250 events padded to the largest import
//   (MaxImportFileSize, 1 MB); goal: at most 50 ms.
// Counters: cpu_ms is the median CPU time of the importing thread (which a machine shared with
// other jobs does not inflate), median_ms the wall time (it includes the file's sync to disk);
// accepted is 1 when the import was accepted.
#include <benchmark/benchmark.h>
#include <time.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "macro/macro_files.h"
#include "macro/shoot_data.h"
#include "profile/profile_list.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 5;

// A private folder, removed with its contents.
class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/velqa-bench-XXXXXX";
        if (::mkdtemp(tmpl) != nullptr)
            path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

fs::path default_data() {
    return fs::path(VELQA_SOURCE_DIR) / "DefaultData";
}

double thread_cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// `import(folder, file)` run kRuns times, each into a fresh folder; true when accepted.
void time_imports(benchmark::State& state, const fs::path& file,
                  const std::function<bool(const fs::path& folder)>& import) {
    std::vector<double> cpu, wall;
    bool accepted = false;
    for (auto _ : state) {
        for (int i = 0; i < kRuns; ++i) {
            const TempDir dir;
            const fs::path& folder = dir.path();
            const auto start = std::chrono::steady_clock::now();
            const double cpu_start = thread_cpu_ms();
            accepted = import(folder);
            cpu.push_back(thread_cpu_ms() - cpu_start);
            wall.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
    }
    state.counters["cpu_ms"] = median(cpu);
    state.counters["median_ms"] = median(wall);
    state.counters["accepted"] = accepted ? 1 : 0;
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
}

void BM_ProfileImportLargest(benchmark::State& state, bool json) {
    const TempDir source;
    const fs::path file = source.path() / "big.Json";
    const std::size_t room = velqa::profile::MaxImportBytes - 64;
    if (json) {
        // The factory profile with two more members: nearly as many numbers as an import may
        // hold values, then a string up to the largest size.
        std::string text = read_file(default_data() / "mouse.Json");
        const auto close = text.rfind('}');
        std::string member = ",\"Padding\":[0";
        for (std::size_t i = 0; i + 1000 < velqa::profile::MaxImportValues; ++i)
            member += ",65535";
        member += "],\"Notes\":\"";
        text = text.substr(0, close) + member;
        text += std::string(room - text.size(), 'x') + "\"}";
        write_file(file, text);
    } else {
        write_file(file, std::string(room, '['));
    }
    time_imports(state, file, [&](const fs::path& folder) {
        velqa::profile::ProfileList list(folder, default_data() / "mouse.Json");
        list.load();
        return list.import_file(file).ok();
    });
}
BENCHMARK_CAPTURE(BM_ProfileImportLargest, array, true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProfileImportLargest, junk, false)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_ShootingImport(benchmark::State& state) {
    const fs::path file = default_data() / "ShootData_0.Shoot";
    time_imports(state, file, [&](const fs::path& folder) {
        velqa::macro::ShootPatterns patterns(folder, default_data());
        patterns.restore_unreadable();
        return patterns.import_file(1, file).ok();
    });
}
BENCHMARK(BM_ShootingImport)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MacroImportLargest(benchmark::State& state) {
    const TempDir source;
    const fs::path file = source.path() / "big.mac";
    std::string text = "{\"Events\":[";
    for (std::size_t i = 0; i < velqa::macro::MaxEvents; ++i) {
        text += std::string(i == 0 ? "" : ",") + "{\"Action\":\"" + (i % 2 == 0 ? "down" : "up") +
                "\",\"Button\":4,\"Type\":10,\"Delay\":10}";
    }
    text += "]";
    // Spaces up to the largest file the import takes.
    text += std::string(velqa::macro::MaxImportFileSize - text.size() - 1, ' ') + "}";
    write_file(file, text);
    time_imports(state, file, [&](const fs::path& folder) {
        velqa::macro::MacroLibrary library(folder);
        library.load();
        return library.import_file(file).ok();
    });
}
BENCHMARK(BM_MacroImportLargest)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
