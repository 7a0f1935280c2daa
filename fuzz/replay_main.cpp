// Replays every file of the given folders (or files) through the fuzz entry point, for builds
// without libFuzzer. Exits non-zero when no input was found, so an empty corpus is noticed, and,
// like libFuzzer, when -rss_limit_mb=N is given and the peak memory passes N MB.
#include <sys/resource.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

// Peak resident memory of the process so far, in MB.
static long peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

int main(int argc, char** argv) {
    static constexpr std::string_view kRssOption = "-rss_limit_mb=";
    long rss_limit_mb = 0;
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg.starts_with(kRssOption)) {
            const std::string_view n = arg.substr(kRssOption.size());
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), rss_limit_mb);
            if (ec != std::errc{} || end != n.data() + n.size() || rss_limit_mb <= 0) {
                std::fprintf(stderr, "bad option %s\n", argv[i]);
                return 2;
            }
            continue;
        }
        std::filesystem::path path(arg);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
            }
        } else {
            inputs.push_back(path);
        }
    }
    size_t count = 0;
    for (const auto& input : inputs) {
        if (!replay(input))
            continue;
        ++count;
        // Peak memory only grows, so the first input over the limit is the one that took it.
        if (rss_limit_mb > 0 && peak_rss_mb() > rss_limit_mb) {
            std::fprintf(stderr, "%s: peak memory %ld MB is over the %ld MB limit\n", input.c_str(),
                         peak_rss_mb(), rss_limit_mb);
            return 1;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return count > 0 ? 0 : 1;
}
