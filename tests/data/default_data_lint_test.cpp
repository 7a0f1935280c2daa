// Walks every file under DefaultData/ and loads it with the reader the programs use for it, so
// that a data file the program would refuse (or ignore) never ships. A file no reader claims
// fails too: a new kind of data file needs its reader named here.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "device/link/supported_devices.h"
#include "device/model/mouse_settings.h"
#include "macro/shoot_data.h"
#include "platform/json_read.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "support/temp_dir.h"
#include "update/update_config.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;

// Why the program would not accept `file`; empty when it would.
using Reader = std::function<std::string(const fs::path& file)>;

std::string json_with(const fs::path& file, const char* member, bool array) {
    std::string error;
    const Json::Value root = platform::read_json_file(file, &error);
    if (root.isNull())
        return error.empty() ? "not JSON" : error;
    const Json::Value& value = platform::member(root, member);
    if (array ? !value.isArray() || value.empty() : value.isNull())
        return std::string("no ") + member;
    return {};
}

// The reader of a file, by its path under DefaultData/; nullptr for a file no reader claims.
Reader reader_for(const fs::path& relative) {
    const std::string name = relative.filename().string();
    if (relative.parent_path() == "devices" && relative.extension() == ".json") {
        return [](const fs::path& file) {
            std::string error;
            return link::read_device_model(file, {}, &error) ? std::string() : error;
        };
    }
    if (!relative.parent_path().empty())
        return nullptr;
    if (name == "DeviceConfig.json") {
        return [](const fs::path& file) {
            return link::read_maker_vendor_id(file) ? std::string() : "no usable MakerVendorId";
        };
    }
    if (name == "KeyboardDevice.json") {
        return [](const fs::path& file) {
            std::string error;
            return link::read_keyboard_ids(file, &error) ? std::string() : error;
        };
    }
    if (name == "UpdateConfig.json") {
        return [](const fs::path& file) {
            update::UpdateConfig config;
            std::string error;
            return update::load_update_config(file, config, &error) ? std::string() : error;
        };
    }
    if (name.starts_with("ShootData_") && relative.extension() == macro::ShootExtension) {
        return [](const fs::path& file) {
            std::string error;
            return macro::parse_shoot_file(profile::read_text_file(file), &error) ? std::string()
                                                                                  : error;
        };
    }
    if (relative.extension() == ".Json") {  // the factory profiles
        return
            [](const fs::path& file) { return profile::import_refusal(profile::read_json(file)); };
    }
    if (name == "default_light.json") {
        return [](const fs::path& file) {
            return model::effect_codes(profile::read_json(file), 0).empty() ? "no mouse light modes"
                                                                            : "";
        };
    }
    // Read by the window's code; the member its reader needs must be there.
    if (name == "Language.config")
        return [](const fs::path& file) { return json_with(file, "Language", true); };
    if (name == "AudioFile.json")
        return [](const fs::path& file) { return json_with(file, "Device", false); };
    if (name == "color_option_info.config") {
        return [](const fs::path& file) {
            std::string error;
            return platform::read_json_file(file, &error).isNull() ? "not JSON: " + error : "";
        };
    }
    return nullptr;
}

TEST(DefaultData, EveryShippedFileIsAcceptedByItsReader) {
    const fs::path root = source_dir() / "DefaultData";
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().filename() == ".gitkeep")
            continue;
        const fs::path relative = fs::relative(entry.path(), root);
        const Reader reader = reader_for(relative);
        if (!reader) {
            ADD_FAILURE() << relative << ": no reader of the program claims this file";
            continue;
        }
        const std::string why = reader(entry.path());
        EXPECT_EQ(why, "") << relative;
        ++checked;
    }
    EXPECT_GT(checked, 10);

    // Together, too: no two device files claim one interface.
    const auto devices = link::load_device_data(root);
    EXPECT_TRUE(devices.problems.empty()) << devices.problems.front();
}

}  // namespace
}  // namespace velqa::test
