// Start-up and resources: fonts, resource root, language choice, data folders.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Json {
class Value;
}

namespace velqa::platform {
class SettingsStore;
}

namespace velqa::app {

// The private font files, in loading order, relative to the resources folder.
extern const std::vector<const char*> kPrivateFonts;

// Loads the private fonts under `folder`; a missing or unusable file is skipped silently.
// Returns the number loaded. remove_private_fonts unloads them again.
int load_private_fonts(const std::filesystem::path& folder);
void remove_private_fonts();

// Points the window framework at `resources`/skin, reads "res.xml", registers the custom
// control classes and installs the skin's style sheet. False when the index cannot be read
// (start-up goes on).
bool load_resources(const std::filesystem::path& resources);

// resources/DefaultData.
std::filesystem::path default_data_folder();
// The user data folder, created when missing.
std::filesystem::path user_data_folder();

struct LanguageEntry {
    QString name;
    QString file;
    std::uint32_t id = 0;
    QString text;
};
// The languages of "Language.config" in `default_data`; empty when it cannot be read.
std::vector<LanguageEntry> read_language_config(const std::filesystem::path& default_data);

// The language id used when nothing is stored.
constexpr std::uint32_t kDefaultLanguageId = 520;

// The language id a locale name asks for ("zh_CN.UTF-8"): 2052 (Simplified Chinese) for any zh
// locale, else kDefaultLanguageId.
std::uint32_t language_id_for_locale(std::string_view locale);

// The index in Language.config of the stored language: the stored id (when none is stored, the
// store's locale language, else 520) looked up in the list; 0 when it is not there or the list
// cannot be read.
int read_language_index(const platform::SettingsStore& store,
                        const std::filesystem::path& default_data);

// Loads the texts of the stored language (read_language_index), so that the first windows
// built find their texts; false when it cannot be read. Nothing is stored.
bool load_stored_language_texts(const platform::SettingsStore& store,
                                const std::filesystem::path& default_data);

// Stores the language id; writes "写成功！" to the debug output on success.
bool write_language_id(platform::SettingsStore& store, std::uint32_t id);

// The audio-light styles: member "Device" of the user's AudioFile.json; when it lacks one, the
// factory copy is copied over it first. Null when neither has one.
Json::Value load_audio_styles(const std::filesystem::path& user_data,
                              const std::filesystem::path& default_data);

}  // namespace velqa::app
