// "AudioFile.json", as the user's copy and as the factory copy: any bytes give the styles or
// null, never a crash or a throw.
#include <json/json.h>

#include <filesystem>

#include "app/startup.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    const auto& folder = velqa::fuzz::scratch_folder("audio");
    fs::create_directories(folder / "user");
    fs::create_directories(folder / "factory");
    velqa::fuzz::put_bytes(folder / "user" / "AudioFile.json", data, size);
    velqa::fuzz::put_bytes(folder / "factory" / "AudioFile.json", data, size);
    velqa::app::load_audio_styles(folder / "user", folder / "factory");
    // A user file without styles, over the fuzzed factory copy.
    fs::remove(folder / "user" / "AudioFile.json");
    velqa::app::load_audio_styles(folder / "user", folder / "factory");
    return 0;
}
