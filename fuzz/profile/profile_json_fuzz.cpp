// Feeds arbitrary bytes through the JSON reader, every record decoder and the data objects'
// reads and writes. Nothing may crash, throw or read out of bounds, whatever the types.
// Saves flush to disk: point TMPDIR at a tmpfs (e.g. /dev/shm) for fast fuzzing runs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "profile/profile_completion.h"
#include "profile/profile_data.h"
#include "profile/profile_files.h"
#include "profile/profile_records.h"
#include "profile/sensor_table.h"
#include "profile/settings_limits.h"

namespace {

using namespace velqa::profile;

void decode_everything(const Json::Value& value) {
    decode_dpi_stage(value);
    decode_mouse_settings(value);
    decode_keyboard_settings(value);
    decode_headset_settings(value);
    decode_light_info(value);
    decode_audio_light_info(value);
    decode_effect_steps(value, true);
    decode_effect_step(value, false);
    decode_key_list(value);
    decode_key_colour(value);
    decode_equaliser_bands(value);
}

const std::filesystem::path& scratch_file() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("velqa-profile-fuzz-" + std::to_string(::getpid()) + ".Json");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Json::Value document = parse_json(text);
    decode_everything(document);
    if (document.isObject()) {
        for (const std::string& name : document.getMemberNames())
            decode_everything(document[name]);
    }
    if (document.isArray()) {
        for (const Json::Value& item : document)
            decode_everything(item);
    }

    // The import's checks, with the input as its own factory profile.
    Json::Value imported = document;
    complete_from_factory(imported, document);
    unsavable_sections(imported, document);
    Json::Value unheld = imported;
    hold_profile_values(unheld, SensorTable{});
    hold_profile_values(imported, SensorTable({{0x3395, 0, 26000}, {0x3950, 1, 30000}}));

    // The same bytes as a profile file, read through the data objects at a device index taken
    // from the input; then every write and a save into the same file.
    {
        std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const int index = size > 0 ? data[0] % 5 : 0;
    CMouseProfiledata mouse;
    mouse.set_device_index(index);
    mouse.set_default_path(scratch_file());
    mouse.load_section(scratch_file());
    for (int set = -1; set <= 2; ++set)
        mouse.write_dpi_stages(mouse.read_dpi_stages(set), set);
    mouse.write_system_settings(mouse.read_system_settings());
    mouse.write_light_info(mouse.read_light_info());
    mouse.write_key_list(mouse.read_key_list_merged());
    mouse.read_light_list();

    CKeyboardProfiledata keyboard;
    keyboard.set_device_index(index);
    keyboard.load_other_section(scratch_file());
    keyboard.load_section(scratch_file());
    keyboard.write_keyboard_settings(keyboard.read_keyboard_settings());
    keyboard.write_audio_light_info(keyboard.read_audio_light_info());
    const int group = keyboard.read_colour_group() & 7;
    keyboard.write_key_colours(group, keyboard.read_key_colours(group, 16));
    keyboard.write_other_key_list(keyboard.read_other_key_list());

    CDa6533Profiledata headset;
    headset.set_device_index(index);
    headset.load_section(scratch_file());
    headset.write_headset_settings(headset.read_headset_settings());
    headset.write_custom_eq_names(headset.read_custom_eq_names());
    headset.write_custom_eq_values(headset.read_custom_eq_values());
    headset.read_eq_presets();

    mouse.save();
    std::filesystem::remove(scratch_file());
    return 0;
}
