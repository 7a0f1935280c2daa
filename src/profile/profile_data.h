// The profile data objects: the settings of the profile applied to one device, held at once as
// the device section of the profile file (the master copy) and as the fixed records the device
// object turns into commands. Every setter writes the tree and the record; every getter decodes
// the tree; save() writes the tree back. Members no setter touches are carried through unchanged.
//
// All operations run on the owning device object's thread. Missing files and members read as
// zero records; only the saves report failure (with the reason in the debug output).
#pragma once

#include <json/json.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "profile/profile_records.h"

namespace velqa::profile {

// The profile's two stage sets; the device file says which sensor uses which.
inline constexpr int StageSet3395 = 0;
inline constexpr int StageSet3950 = 1;

// The base class; also the mouse pad's data object.
class CBasicProfiledata {
  public:
    CBasicProfiledata() = default;
    virtual ~CBasicProfiledata() = default;
    CBasicProfiledata(const CBasicProfiledata&) = default;
    CBasicProfiledata& operator=(const CBasicProfiledata&) = default;

    // Writes the held device section into the profile file (only when it has a "KeyList").
    // False, with the reason in the debug output, when nothing was written.
    virtual bool save();
    // Loads the document at path, puts section at "Device"[device index] and writes it back when
    // the section has a "KeyList". A file that is no profile document, or whose element is no
    // section, is kept beside it as path + ".unreadable" first (and not replaced when it cannot
    // be kept). False, with the reason in the debug output, when nothing was written.
    virtual bool store_section(const Json::Value& section, const std::filesystem::path& path);
    // Why the last save or store_section wrote nothing; empty after one that wrote.
    const std::string& save_error() const { return save_error_; }
    // store_section of the other section.
    virtual bool save_other(const std::filesystem::path& path);
    // Writes a whole document, without any check of its content; false when it was not written.
    virtual bool write_document(const Json::Value& document, const std::filesystem::path& path);

    void set_profile_path(const std::filesystem::path& path);  // ignores an empty path
    void set_default_path(const std::filesystem::path& path);  // ignores an empty path
    void set_config_path(const std::filesystem::path& path);   // always assigns
    const std::filesystem::path& profile_path() const { return profile_path_; }
    const std::filesystem::path& default_path() const { return default_path_; }
    const std::filesystem::path& config_path() const { return config_path_; }

    void set_device_index(std::int32_t index) { device_index_ = index; }
    std::int32_t device_index() const { return device_index_; }

    using KeySlotTable = std::array<std::uint8_t, 512>;
    void set_key_slot_table(const KeySlotTable& bytes) { key_slot_table_ = bytes; }
    // Copies the first 512 bytes (fewer when shorter; the rest stays 0).
    void set_key_slot_table(const std::uint8_t* bytes, std::size_t length);
    void set_key_map(std::map<int, int> map) { key_map_ = std::move(map); }

    // Element [device index] of "Device" of the file at path; when it is missing there (or is no
    // object), it is copied from the default file into the profile file, which is then written.
    // A damaged file's bytes are kept beside it as path + ".unreadable" first.
    void load_section(const std::filesystem::path& path);
    void load_other_section(const std::filesystem::path& path);
    // Loads a whole document into the light document and returns a copy.
    Json::Value load_document(const std::filesystem::path& path);

    // Holds `section` as the device section without touching any file (tools, tests).
    void set_section(Json::Value section) { section_ = std::move(section); }

    const Json::Value& section() const { return section_; }
    const Json::Value& other_section() const { return other_section_; }
    const Json::Value& light_document() const { return light_document_; }

    LightInfo read_light_info();
    void write_light_info(const LightInfo& record);
    const LightInfo& light_info() const { return light_info_; }
    AudioLightInfo read_audio_light_info();
    void write_audio_light_info(const AudioLightInfo& record);

    std::vector<LedEffectStep> read_light_list() const;
    // Steps of the effect file named by entry [mode] of this device's element of the light
    // document ("tavix_light.config"): its "Guid" + ".light" in the light document's folder.
    // Empty when the entry or the file is missing, when the file is no regular file, and when the
    // identifier would leave that folder.
    std::vector<LedEffectStep> read_custom_effect();
    // The same for entry `entry` of this device's element, whatever the light record's mode.
    std::vector<LedEffectStep> read_custom_effect(int entry);
    // The "LightName" of every entry of this device's element of the light document, in order
    // (an entry without a name gives an empty one).
    std::vector<std::string> custom_effect_names() const;
    const std::vector<LedEffectStep>& effect_list() const { return effect_list_; }

    std::vector<KeyAssignment> read_key_list();
    // As read_key_list, with each mapped key's current code taken from the key slot table.
    std::vector<KeyAssignment> read_key_list_merged();
    std::vector<KeyAssignment> read_other_key_list() const;
    void write_key_list(const std::vector<KeyAssignment>& list);
    void write_other_key_list(const std::vector<KeyAssignment>& list);
    const std::vector<KeyAssignment>& key_list() const { return key_list_; }

  protected:
    // Element [device index] of "Device" of document; a null value when there is none.
    const Json::Value& section_of(const Json::Value& document) const;
    void load_into(Json::Value& target, const std::filesystem::path& path);

    std::filesystem::path profile_path_;
    std::filesystem::path default_path_;
    std::filesystem::path config_path_;
    LightInfo light_info_;
    AudioLightInfo audio_light_info_;
    std::vector<KeyAssignment> key_list_;
    std::vector<LedEffectStep> effect_list_;
    Json::Value section_;
    Json::Value other_section_;
    Json::Value light_document_;
    std::filesystem::path light_folder_;
    KeySlotTable key_slot_table_{};
    std::map<int, int> key_map_;
    std::int32_t device_index_ = 0;
    std::string save_error_;
};

// The desktop pointer settings a mouse profile may set, by their members in "SystemStages"; bit
// i of a set stands for entry i.
inline constexpr const char* PointerFieldNames[] = {
    "MouseSpeed", "WheelScorlllinse", "DoubleClickTime", "PointerPrecision", "ScorllPage"};
inline constexpr int PointerFieldCount = 5;

class CMouseProfiledata : public CBasicProfiledata {
  public:
    // The held stage list after merging element [set] of "DPIStages": file stages overwrite
    // the held ones in order and further ones are appended; the list is never shortened.
    std::vector<DpiStage> read_dpi_stages(int set);
    // Replaces the held list and writes "DPIStages"[set]."StageDPIs"[0..n); elements beyond n
    // that the tree holds stay.
    void write_dpi_stages(const std::vector<DpiStage>& list, int set);
    void write_active_stage(std::int32_t stage, int set);
    std::int32_t active_stage() const { return active_stage_; }
    const std::vector<DpiStage>& dpi_stages() const { return dpi_stages_; }

    MouseSystemSettings read_system_settings();
    // Writes every word but "sleeptime" and "sleeptimeH", which keep what the tree holds.
    void write_system_settings(const MouseSystemSettings& record);
    const MouseSystemSettings& system_settings() const { return system_settings_; }

    // Which pointer settings the user set in this profile: "SystemStages"."PointerFieldsSet",
    // the names of their members. Factory profiles, new ones and files from before the member
    // set none, so applying them leaves the desktop's own pointer settings alone.
    std::uint8_t pointer_fields_set() const;
    // Writes the member (removed when none is set); the values themselves stay.
    void set_pointer_fields_set(std::uint8_t bits);

  private:
    std::vector<DpiStage> dpi_stages_;
    std::int32_t active_stage_ = 0;
    MouseSystemSettings system_settings_;
};

class CKeyboardProfiledata : public CBasicProfiledata {
  public:
    KeyboardSystemSettings read_keyboard_settings();
    void write_keyboard_settings(const KeyboardSystemSettings& record);

    // Colours of one group for key_count keys; missing keys (and the group) are created in the
    // tree with all members 0.
    std::vector<KeyColour> read_key_colours(int group, int key_count);
    void write_key_colours(int group, const std::vector<KeyColour>& colours);
    std::int32_t read_colour_group() const;
    void write_colour_group(std::int32_t index);

  private:
    KeyboardSystemSettings keyboard_settings_;
};

class CDa6533Profiledata : public CBasicProfiledata {
  public:
    HeadsetSettings read_headset_settings();
    void write_headset_settings(const HeadsetSettings& record);

    std::vector<EqualiserBands> read_eq_presets() const;                // "EQHzValueInfo"
    std::vector<std::string> read_custom_eq_names() const;              // "CustomEQNameInfo"
    void write_custom_eq_names(const std::vector<std::string>& names);  // replaced as a whole
    std::vector<EqualiserBands> read_custom_eq_values() const;          // "CustomEQHzValueInfo"
    void write_custom_eq_values(const std::vector<EqualiserBands>& presets);

  private:
    HeadsetSettings headset_settings_;
};

}  // namespace velqa::profile
