#include "profile/profile_data.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "profile/json_access.h"
#include "profile/profile_completion.h"
#include "profile/profile_files.h"
#include "profile/record_fields.h"

namespace velqa::profile {

namespace fs = std::filesystem;

// ---- CBasicProfiledata: paths and documents ------------------------------------------------

void CBasicProfiledata::set_profile_path(const fs::path& path) {
    if (!path.empty())
        profile_path_ = path;
}

void CBasicProfiledata::set_default_path(const fs::path& path) {
    if (!path.empty())
        default_path_ = path;
}

void CBasicProfiledata::set_config_path(const fs::path& path) {
    config_path_ = path;
}

void CBasicProfiledata::set_key_slot_table(const std::uint8_t* bytes, std::size_t length) {
    key_slot_table_.fill(0);
    if (bytes != nullptr) {
        std::memcpy(key_slot_table_.data(), bytes, std::min(length, key_slot_table_.size()));
    }
}

const Json::Value& CBasicProfiledata::section_of(const Json::Value& document) const {
    static const Json::Value null;
    if (device_index_ < 0)
        return null;
    return element(member(document, "Device"), static_cast<Json::ArrayIndex>(device_index_));
}

namespace {

// An object whose "Device", if present, is an array: anything else is rebuilt when written.
bool is_profile_document(const Json::Value& document) {
    if (!document.isObject())
        return false;
    const Json::Value& devices = member(document, "Device");
    return devices.isNull() || devices.isArray();
}

// A device element that is there but is no section (a number, a string, an array): a setter
// would turn it into an empty object that can never be saved, so it counts as damage.
bool is_damaged_section(const Json::Value& section) {
    return !section.isNull() && !section.isObject();
}

bool not_saved(const fs::path& path, const char* reason) {
    platform::debug_printf("profile not saved: %s: %s\n", path.c_str(), reason);
    return false;
}

// A profile file in a kind's folder is read, changed and written under the folder's lock, so a
// list operation of another program never falls in between. Files elsewhere (a scratch copy)
// have no list to agree with and take no lock.
struct ProfileFileGuard {
    explicit ProfileFileGuard(const fs::path& path) {
        std::error_code ec;
        if (path.empty() || !fs::exists(path.parent_path() / "ProfileList.ini", ec))
            return;
        lock.emplace(path.parent_path());
        if (!lock->ok()) {
            error = lock->error();
            return;
        }
        // A file that another program deleted with its entry stays deleted: writing it again
        // would leave a profile file that no entry names.
        if (!fs::exists(path, ec)) {
            const Json::Value list = read_json(path.parent_path() / "ProfileList.ini");
            const std::string uuid = path.stem().string();
            bool listed = false;
            for (const Json::Value& e : member(list, "profilelist"))
                listed = listed || to_text(member(e, "profileUUID")) == uuid;
            if (!listed)
                error = "the profile is no longer listed";
        }
    }
    bool ok() const { return error.empty(); }

    std::optional<platform::FolderLock> lock;
    std::string error;
};

}  // namespace

void CBasicProfiledata::load_into(Json::Value& target, const fs::path& path) {
    const ProfileFileGuard guard(path);
    Json::Value document = read_json(path);
    Json::Value section = section_of(document);
    if (!section.isObject() && device_index_ >= 0) {
        // The profile lacks this device (or holds something else in its place): take the
        // factory section and keep it in the file, so the file holds what the device shows from
        // now on.
        const bool damaged = !is_profile_document(document) || is_damaged_section(section);
        section = section_of(read_json(default_path_));
        if (!section.isObject())
            section = Json::Value();  // a damaged factory element reads as a missing one
        writable_element(writable_member(document, "Device"),
                         static_cast<Json::ArrayIndex>(device_index_)) = section;
        if (!path.empty() && guard.ok() && (!damaged || keep_unreadable_copy(path)))
            write_json(document, path);
    } else if (member(section, "KeyList").isNull() && device_index_ >= 0) {
        // A section that could never be saved (written by hand, or imported before imports were
        // completed) takes what it lacks from the factory profile, and keeps it in the file.
        if (!complete_from_factory(document, read_json(default_path_)).empty()) {
            section = section_of(document);
            if (!path.empty() && guard.ok())
                write_json(document, path);
        }
    }
    target = std::move(section);
}

void CBasicProfiledata::load_section(const fs::path& path) {
    load_into(section_, path);
}

void CBasicProfiledata::load_other_section(const fs::path& path) {
    load_into(other_section_, path);
}

Json::Value CBasicProfiledata::load_document(const fs::path& path) {
    light_document_ = read_json(path);
    light_folder_ = path.parent_path();
    return light_document_;
}

bool CBasicProfiledata::save() {
    return store_section(section_, profile_path_);
}

bool CBasicProfiledata::store_section(const Json::Value& section, const fs::path& path) {
    auto refuse = [&](const char* reason) {
        save_error_ = reason;
        return not_saved(path, reason);
    };
    if (path.empty())
        return refuse("no profile file");
    if (device_index_ < 0)
        return refuse("no device index");
    // A section without a key list is not a complete profile; never let it replace one.
    if (!section.isObject() || member(section, "KeyList").isNull())
        return refuse("the section has no \"KeyList\"");
    const ProfileFileGuard guard(path);
    if (!guard.ok())
        return refuse(guard.error.c_str());
    Json::Value document = read_json(path);
    const bool damaged = !is_profile_document(document) || is_damaged_section(section_of(document));
    if (damaged && !keep_unreadable_copy(path))
        return refuse("its damaged bytes could not be kept beside it");
    writable_element(writable_member(document, "Device"),
                     static_cast<Json::ArrayIndex>(device_index_)) = section;
    if (!write_json_checked(document, path))
        return refuse("the file could not be written");
    save_error_.clear();
    return true;
}

bool CBasicProfiledata::save_other(const fs::path& path) {
    return store_section(other_section_, path);
}

bool CBasicProfiledata::write_document(const Json::Value& document, const fs::path& path) {
    return write_json_checked(document, path);
}

// ---- lighting --------------------------------------------------------------------------------

LightInfo CBasicProfiledata::read_light_info() {
    light_info_ = decode_light_info(member(section_, "LightInfo"));
    return light_info_;
}

void CBasicProfiledata::write_light_info(const LightInfo& record) {
    light_info_ = record;
    writable_member(section_, "LightInfo") = encode_light_info(record);
}

AudioLightInfo CBasicProfiledata::read_audio_light_info() {
    audio_light_info_ = decode_audio_light_info(member(section_, "AudioLightInfo"));
    return audio_light_info_;
}

void CBasicProfiledata::write_audio_light_info(const AudioLightInfo& record) {
    audio_light_info_ = record;
    writable_member(section_, "AudioLightInfo") = encode_audio_light_info(record);
}

std::vector<LedEffectStep> CBasicProfiledata::read_light_list() const {
    return decode_effect_steps(member(section_, "LightList"), false);
}

std::vector<LedEffectStep> CBasicProfiledata::read_custom_effect() {
    return read_custom_effect(light_info_.mode);
}

std::vector<std::string> CBasicProfiledata::custom_effect_names() const {
    std::vector<std::string> names;
    if (light_document_.isNull() || device_index_ < 0)
        return names;
    const Json::Value& entries =
        element(member(light_document_, "LightInfo"), static_cast<Json::ArrayIndex>(device_index_));
    if (!entries.isArray())
        return names;
    for (Json::ArrayIndex i = 0; i < entries.size(); ++i)
        names.push_back(to_text(member(element(entries, i), "LightName")));
    return names;
}

std::vector<LedEffectStep> CBasicProfiledata::read_custom_effect(int entry) {
    std::vector<LedEffectStep> steps;
    if (!light_document_.isNull() && device_index_ >= 0 && entry >= 0) {
        const Json::Value& entries = element(member(light_document_, "LightInfo"),
                                             static_cast<Json::ArrayIndex>(device_index_));
        const std::string identifier =
            to_text(member(element(entries, static_cast<Json::ArrayIndex>(entry)), "Guid"));
        // The identifier comes from a hand-editable file: it names a file beside the effect list
        // and nothing elsewhere. An entry without one names the bare ".light" file.
        const fs::path file = identifier.empty()
                                  ? light_folder_ / ".light"
                                  : identifier_file(light_folder_, identifier, ".light");
        if (file.empty()) {
            platform::debug_printf("effect identifier refused: %s\n", identifier.c_str());
        } else if (const Json::Value effect = read_json(file); !effect.isNull()) {
            steps = decode_effect_steps(member(effect, "LEDEffectList"), true);
        }
    }
    effect_list_ = steps;
    return steps;
}

// ---- key list --------------------------------------------------------------------------------

std::vector<KeyAssignment> CBasicProfiledata::read_key_list() {
    key_list_ = decode_key_list(member(section_, "KeyList"));
    return key_list_;
}

std::vector<KeyAssignment> CBasicProfiledata::read_key_list_merged() {
    std::vector<KeyAssignment> list = decode_key_list(member(section_, "KeyList"));
    for (const auto& [key, slot] : key_map_) {
        // Unmapped markers (0xAA, 0xFF) and stray indices fall outside the table: skip them.
        if (key < 0 || static_cast<std::size_t>(key) >= list.size())
            continue;
        if (slot < 0 || static_cast<std::size_t>(slot) * 3 + 3 > key_slot_table_.size())
            continue;
        const std::size_t at = static_cast<std::size_t>(slot) * 3;
        KeyCode& code = list[static_cast<std::size_t>(key)].current;
        code.function_class = key_slot_table_[at];
        code.first = key_slot_table_[at + 1];
        code.second = key_slot_table_[at + 2];
    }
    key_list_ = list;
    return list;
}

std::vector<KeyAssignment> CBasicProfiledata::read_other_key_list() const {
    return decode_key_list(member(other_section_, "KeyList"));
}

namespace {

void write_assignments(Json::Value& section, const std::vector<KeyAssignment>& list) {
    Json::Value& keys = writable_member(section, "KeyList");
    for (std::size_t i = 0; i < list.size(); ++i) {
        Json::Value& item = writable_element(keys, static_cast<Json::ArrayIndex>(i));
        writable_member(item, "Assignment") = list[i].current.to_int();
    }
}

}  // namespace

void CBasicProfiledata::write_key_list(const std::vector<KeyAssignment>& list) {
    key_list_ = list;
    write_assignments(section_, list);
}

void CBasicProfiledata::write_other_key_list(const std::vector<KeyAssignment>& list) {
    write_assignments(other_section_, list);
}

// ---- CMouseProfiledata -----------------------------------------------------------------------

namespace {

bool valid_stage_set(int set) {
    return set == StageSet3395 || set == StageSet3950;
}

}  // namespace

std::vector<DpiStage> CMouseProfiledata::read_dpi_stages(int set) {
    if (!valid_stage_set(set))
        return dpi_stages_;
    const Json::Value& stage_set =
        element(member(section_, "DPIStages"), static_cast<Json::ArrayIndex>(set));
    if (!stage_set.isNull()) {
        active_stage_ = to_i32(member(stage_set, "StageActive"));
        const Json::Value& stages = member(stage_set, "StageDPIs");
        if (stages.isArray()) {
            for (Json::ArrayIndex i = 0; i < stages.size(); ++i) {
                const DpiStage stage = decode_dpi_stage(stages[i]);
                if (i < dpi_stages_.size()) {
                    dpi_stages_[i] = stage;
                } else {
                    dpi_stages_.push_back(stage);
                }
            }
        }
    }
    return dpi_stages_;
}

void CMouseProfiledata::write_dpi_stages(const std::vector<DpiStage>& list, int set) {
    if (!valid_stage_set(set))
        return;
    dpi_stages_ = list;
    Json::Value& stage_set = writable_element(writable_member(section_, "DPIStages"),
                                              static_cast<Json::ArrayIndex>(set));
    Json::Value& stages = writable_member(stage_set, "StageDPIs");
    for (std::size_t i = 0; i < list.size(); ++i) {
        write_fields(DpiStageFields, list[i],
                     writable_element(stages, static_cast<Json::ArrayIndex>(i)));
    }
}

void CMouseProfiledata::write_active_stage(std::int32_t stage, int set) {
    if (!valid_stage_set(set))
        return;
    active_stage_ = stage;
    Json::Value& stage_set = writable_element(writable_member(section_, "DPIStages"),
                                              static_cast<Json::ArrayIndex>(set));
    writable_member(stage_set, "StageActive") = stage;
}

MouseSystemSettings CMouseProfiledata::read_system_settings() {
    system_settings_ = decode_mouse_settings(section_);
    return system_settings_;
}

void CMouseProfiledata::write_system_settings(const MouseSystemSettings& r) {
    system_settings_ = r;
    write_fields(MouseSettingsFields, r, section_);
}

namespace {
constexpr char kPointerSet[] = "PointerFieldsSet";
}

std::uint8_t CMouseProfiledata::pointer_fields_set() const {
    const Json::Value& names = member(member(section_, "SystemStages"), kPointerSet);
    std::uint8_t bits = 0;
    if (!names.isArray())
        return bits;
    for (const Json::Value& name : names) {
        if (!name.isString())
            continue;
        for (int i = 0; i < PointerFieldCount; ++i) {
            if (name.asString() == PointerFieldNames[i])
                bits = static_cast<std::uint8_t>(bits | (1U << i));
        }
    }
    return bits;
}

void CMouseProfiledata::set_pointer_fields_set(std::uint8_t bits) {
    if (bits == 0) {
        if (member(section_, "SystemStages").isObject())
            section_["SystemStages"].removeMember(kPointerSet);
        return;
    }
    Json::Value& stages = writable_member(section_, "SystemStages");
    Json::Value names(Json::arrayValue);
    for (int i = 0; i < PointerFieldCount; ++i) {
        if ((bits & (1U << i)) != 0)
            names.append(PointerFieldNames[i]);
    }
    stages[kPointerSet] = std::move(names);
}

// ---- CKeyboardProfiledata --------------------------------------------------------------------

KeyboardSystemSettings CKeyboardProfiledata::read_keyboard_settings() {
    keyboard_settings_ = decode_keyboard_settings(section_);
    return keyboard_settings_;
}

void CKeyboardProfiledata::write_keyboard_settings(const KeyboardSystemSettings& r) {
    keyboard_settings_ = r;
    write_fields(KeyboardSettingsFields, r, section_);
}

namespace {

// Groups are numbered by a byte (the light record's custom group). The index comes from the
// hand-editable profile; a larger one would grow "LightColorInfo" to that many elements on the
// next save.
constexpr int MaxColourGroups = 256;

bool valid_colour_group(int group) {
    return group >= 0 && group < MaxColourGroups;
}

Json::Value& colour_group(Json::Value& section, int group) {
    Json::Value& groups =
        writable_member(writable_member(section, "CustomLightMode"), "LightColorInfo");
    Json::Value& items = writable_element(groups, static_cast<Json::ArrayIndex>(group));
    if (!items.isArray())
        items = Json::Value(Json::arrayValue);
    return items;
}

}  // namespace

std::vector<KeyColour> CKeyboardProfiledata::read_key_colours(int group, int key_count) {
    std::vector<KeyColour> colours;
    if (!valid_colour_group(group) || key_count <= 0)
        return colours;
    Json::Value& items = colour_group(section_, group);
    colours.reserve(static_cast<std::size_t>(key_count));
    for (int k = 0; k < key_count; ++k) {
        Json::Value& item = items[static_cast<Json::ArrayIndex>(k)];
        if (!item.isObject())
            item = encode_key_colour(KeyColour{});
        colours.push_back(decode_key_colour(item));
    }
    return colours;
}

void CKeyboardProfiledata::write_key_colours(int group, const std::vector<KeyColour>& colours) {
    if (!valid_colour_group(group))
        return;
    Json::Value& items = colour_group(section_, group);
    for (std::size_t k = 0; k < colours.size(); ++k)
        write_fields(KeyColourFields, colours[k],
                     writable_element(items, static_cast<Json::ArrayIndex>(k)));
}

std::int32_t CKeyboardProfiledata::read_colour_group() const {
    return to_i32(member(member(section_, "CustomLightMode"), "CustomLightModeGroupIndex"));
}

void CKeyboardProfiledata::write_colour_group(std::int32_t index) {
    writable_member(writable_member(section_, "CustomLightMode"), "CustomLightModeGroupIndex") =
        index;
}

// ---- CDa6533Profiledata ----------------------------------------------------------------------

HeadsetSettings CDa6533Profiledata::read_headset_settings() {
    headset_settings_ = decode_headset_settings(section_);
    return headset_settings_;
}

void CDa6533Profiledata::write_headset_settings(const HeadsetSettings& r) {
    headset_settings_ = r;
    write_fields(HeadsetSettingsFields, r, section_);
}

namespace {

std::vector<EqualiserBands> decode_presets(const Json::Value& array) {
    std::vector<EqualiserBands> presets;
    if (!array.isArray())
        return presets;
    for (const Json::Value& item : array)
        presets.push_back(decode_equaliser_bands(item));
    return presets;
}

}  // namespace

std::vector<EqualiserBands> CDa6533Profiledata::read_eq_presets() const {
    return decode_presets(member(section_, "EQHzValueInfo"));
}

std::vector<std::string> CDa6533Profiledata::read_custom_eq_names() const {
    std::vector<std::string> names;
    const Json::Value& array = member(section_, "CustomEQNameInfo");
    if (!array.isArray())
        return names;
    for (const Json::Value& item : array)
        names.push_back(to_text(member(item, "Name")));
    return names;
}

void CDa6533Profiledata::write_custom_eq_names(const std::vector<std::string>& names) {
    Json::Value array(Json::arrayValue);
    for (const std::string& name : names) {
        Json::Value item(Json::objectValue);
        item["Name"] = name;
        array.append(std::move(item));
    }
    writable_member(section_, "CustomEQNameInfo") = std::move(array);
}

std::vector<EqualiserBands> CDa6533Profiledata::read_custom_eq_values() const {
    return decode_presets(member(section_, "CustomEQHzValueInfo"));
}

void CDa6533Profiledata::write_custom_eq_values(const std::vector<EqualiserBands>& presets) {
    Json::Value array(Json::arrayValue);
    for (const EqualiserBands& bands : presets)
        array.append(encode_equaliser_bands(bands));
    writable_member(section_, "CustomEQHzValueInfo") = std::move(array);
}

}  // namespace velqa::profile
