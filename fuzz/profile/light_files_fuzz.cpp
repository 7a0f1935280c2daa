// The light files: any bytes as "tavix_light.config" and as the effect files it may name read as
// a list of effects or none, never a crash or a throw, and never a file outside its folder.
#include "profile/profile_data.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velqa::profile;
    const auto& folder = velqa::fuzz::scratch_folder("light");
    velqa::fuzz::put_bytes(folder / "tavix_light.config", data, size);
    // The same bytes as the bare and a named effect file, so both sides of the lookup run.
    velqa::fuzz::put_bytes(folder / ".light", data, size);
    velqa::fuzz::put_bytes(folder / "e.light", data, size);
    for (int index = 0; index < 3; ++index) {
        CBasicProfiledata profile;
        profile.set_device_index(index);
        profile.load_document(folder / "tavix_light.config");
        for (int mode : {0, 1, 2, 255}) {
            LightInfo light;
            light.mode = static_cast<std::uint8_t>(mode);
            profile.write_light_info(light);
            profile.read_custom_effect();
        }
    }
    return 0;
}
