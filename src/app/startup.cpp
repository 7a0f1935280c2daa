#include "app/startup.h"

#include <json/json.h>
#include <QApplication>
#include <QFontDatabase>

#include <cstdint>

#include "app/messages.h"
#include "device/model/ui/usb_device.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "macro/ui/shoot_control.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/json_read.h"
#include "platform/ui/language.h"
#include "platform/ui/resources.h"
#include "platform/ui/settings_store.h"
#include "profile/ui/device_profile_ui.h"
#include "profile/ui/light_control.h"
#include "ui/custom_controls.h"

namespace velqa::app {
namespace fs = std::filesystem;

const std::vector<const char*> kPrivateFonts = {
    "Font/Simplified_Chinese.ttf",    "Font/Riravize-Regular.otf", "Font/NotoSansThai-Regular.ttf",
    "Font/NotoSansCJKtc-Regular.otf", "Font/MiSans-Normal.ttf",    "Font/MiSans-Demibold.ttf",
    "Font/MiSans-Semibold.ttf",       "Font/MiSans-Light.ttf"};

namespace {

std::vector<int>& loaded_fonts() {
    static std::vector<int> ids;
    return ids;
}

}  // namespace

const RegisteredMessages& registered_messages() {
    using platform::ui::register_window_message;
    static const RegisteredMessages messages{
        register_window_message(kIdentityName),     register_window_message(kRelayAName),
        register_window_message(kRelayBName),       register_window_message(kAnnounceName),
        register_window_message(kLightControlName), register_window_message(kToolQueryName),
        register_window_message(kCompanionName),    register_window_message(kGameStartName),
        register_window_message(kGameEndName),      register_window_message(kGameKillName),
        register_window_message(kGameDeathName)};
    return messages;
}

int load_private_fonts(const fs::path& folder) {
    int count = 0;
    for (const char* relative : kPrivateFonts) {
        std::error_code ec;
        const fs::path file = folder / relative;
        if (!fs::is_regular_file(file, ec))
            continue;
        const int id = QFontDatabase::addApplicationFont(QString::fromStdString(file.string()));
        if (id < 0)
            continue;
        loaded_fonts().push_back(id);
        ++count;
    }
    return count;
}

void remove_private_fonts() {
    for (int id : loaded_fonts())
        QFontDatabase::removeApplicationFont(id);
    loaded_fonts().clear();
}

bool load_resources(const fs::path& resources) {
    auto& res = platform::ui::Resources::instance();
    res.set_resource_path(resources / "skin");
    const bool ok = res.load_resource(QStringLiteral("res.xml"));
    ui::register_custom_controls();
    model::register_device_pages();  // the real device pages replace their placeholders
    profile::register_profile_controls();
    profile::register_light_controls();
    macro::register_macro_controls();
    macro::register_keyset_controls();
    macro::register_shoot_controls();
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        app->setStyleSheet(res.style_sheet());
    }
    return ok;
}

fs::path default_data_folder() {
    return platform::resources_folder() / "DefaultData";
}

fs::path user_data_folder() {
    return platform::user_data_folder();
}

std::vector<LanguageEntry> read_language_config(const fs::path& default_data) {
    std::vector<LanguageEntry> entries;
    const Json::Value root = platform::read_json_file(default_data / "Language.config");
    const Json::Value& languages = platform::member(root, "Language");
    if (!languages.isArray())
        return entries;
    for (const Json::Value& item : languages) {
        LanguageEntry e;
        e.name = QString::fromStdString(platform::to_text(platform::member(item, "Language_name")));
        e.file = QString::fromStdString(platform::to_text(platform::member(item, "Language_file")));
        e.text = QString::fromStdString(platform::to_text(platform::member(item, "Language_text")));
        // A value of the wrong type, a negative or one beyond 32 bits reads as 0.
        e.id = static_cast<std::uint32_t>(
            platform::to_unsigned(platform::member(item, "Language_ID"), UINT32_MAX).value_or(0));
        entries.push_back(std::move(e));
    }
    return entries;
}

std::uint32_t language_id_for_locale(std::string_view locale) {
    constexpr std::uint32_t kSimplifiedChinese = 2052;
    // "zh", "zh_CN.UTF-8", "zh_TW", "zh@..." all are Chinese; "zu" or "zha" are not.
    if (locale.substr(0, 2) == "zh" &&
        (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@'))
        return kSimplifiedChinese;
    return kDefaultLanguageId;
}

int read_language_index(const platform::SettingsStore& store, const fs::path& default_data) {
    const std::uint32_t unstored =
        store.locale_language() != 0 ? store.locale_language() : kDefaultLanguageId;
    const std::uint32_t id = store.read_language().value_or(unstored);
    const auto entries = read_language_config(default_data);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].id == id)
            return static_cast<int>(i);
    }
    return 0;
}

bool load_stored_language_texts(const platform::SettingsStore& store,
                                const fs::path& default_data) {
    const auto entries = read_language_config(default_data);
    const int index = read_language_index(store, default_data);
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size())
        return false;
    const LanguageEntry& entry = entries[static_cast<std::size_t>(index)];
    auto& texts = platform::ui::LanguageTexts::instance();
    texts.set_language(entry.name);
    return texts.load_language(entry.file);
}

bool write_language_id(platform::SettingsStore& store, std::uint32_t id) {
    if (!store.write_language(id))
        return false;
    platform::debug_output("写成功！");
    return true;
}

Json::Value load_audio_styles(const fs::path& user_data, const fs::path& default_data) {
    std::error_code ec;
    fs::create_directories(user_data, ec);
    const fs::path user_file = user_data / "AudioFile.json";
    std::string user_text;
    const bool user_read = platform::read_whole_file(user_file, user_text);
    const Json::Value user = platform::parse_json(user_text);
    if (const Json::Value& styles = platform::member(user, "Device"); !styles.isNull())
        return styles;
    // The factory file is read once: the bytes copied are the bytes parsed.
    std::string text;
    if (!platform::read_whole_file(default_data / "AudioFile.json", text))
        return Json::Value();
    const Json::Value factory = platform::parse_json(text);
    // An unreadable factory copy must not replace the user's file with nothing.
    if (platform::member(factory, "Device").isNull())
        return Json::Value();
    std::string error;
    // A user file that is not JSON at all may be a hand edit gone wrong: keep its bytes beside it,
    // and keep it as it is when they cannot be kept.
    if (user_read && !user_text.empty() && user.isNull()) {
        fs::path copy = user_file;
        copy += ".unreadable";
        if (!platform::keep_copy(user_file, copy, &error)) {
            platform::debug_printf("AudioFile.json kept as is: %s", error.c_str());
            return platform::member(factory, "Device");
        }
    }
    if (!platform::write_file_atomically(user_file, text, &error)) {
        platform::debug_printf("AudioFile.json cannot be written: %s", error.c_str());
    }
    return platform::member(factory, "Device");
}

}  // namespace velqa::app
