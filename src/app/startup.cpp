#include "app/startup.h"

#include <json/json.h>
#include <QApplication>
#include <QFontDatabase>

#include <fstream>
#include <sstream>

#include "app/messages.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/ui/resources.h"
#include "platform/ui/settings_store.h"
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

Json::Value read_json(const fs::path& file) {
    std::string text;
    if (!platform::read_whole_file(file, text))
        return Json::Value();
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    Json::Value root;
    std::string errors;
    std::istringstream in(text);
    if (!Json::parseFromStream(builder, in, &root, &errors))
        return Json::Value();
    return root;
}

}  // namespace

const RegisteredMessages& registered_messages() {
    using platform::ui::register_window_message;
    static const RegisteredMessages messages{
        register_window_message(kIdentityName),     register_window_message(kRelayAName),
        register_window_message(kRelayBName),       register_window_message(kAnnounceName),
        register_window_message(kLightControlName), register_window_message(kToolQueryName),
        register_window_message(kCompanionName)};
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
    const Json::Value root = read_json(default_data / "Language.config");
    if (!root.isObject() || !root["Language"].isArray())
        return entries;
    for (const Json::Value& item : root["Language"]) {
        LanguageEntry e;
        if (item.isObject()) {
            e.name = QString::fromStdString(item["Language_name"].isString()
                                                ? item["Language_name"].asString()
                                                : std::string());
            e.file = QString::fromStdString(
                item["Language_file"].isString() ? item["Language_file"].asString() : "");
            e.text = QString::fromStdString(
                item["Language_text"].isString() ? item["Language_text"].asString() : "");
            // A value of the wrong type reads as 0.
            e.id = item["Language_ID"].isIntegral() ? item["Language_ID"].asUInt() : 0;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

int read_language_index(const platform::SettingsStore& store, const fs::path& default_data) {
    const std::uint32_t id = store.read_language().value_or(kDefaultLanguageId);
    const auto entries = read_language_config(default_data);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].id == id)
            return static_cast<int>(i);
    }
    return 0;
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
    Json::Value user = read_json(user_file);
    if (user.isObject() && !user["Device"].isNull())
        return user["Device"];
    const Json::Value factory = read_json(default_data / "AudioFile.json");
    // An unreadable factory copy must not replace the user's file with nothing.
    if (!factory.isObject() || factory["Device"].isNull())
        return Json::Value();
    std::string text;
    platform::read_whole_file(default_data / "AudioFile.json", text);
    std::string error;
    if (!platform::write_file_atomically(user_file, text, &error)) {
        platform::debug_printf("AudioFile.json cannot be written: %s", error.c_str());
    }
    return factory["Device"];
}

}  // namespace velqa::app
