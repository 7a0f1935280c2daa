#include "profile/profile_files.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folders.h"

namespace velqa::profile {

namespace fs = std::filesystem;
using platform::debug_output;
using platform::debug_printf;

fs::path profile_folder(std::string_view kind_name) {
    return platform::user_data_folder(kind_name);
}

fs::path default_data_folder() {
    return platform::resources_folder() / "DefaultData";
}

fs::path default_profile_path(std::string_view kind_name) {
    return default_data_folder() / (std::string(kind_name) + ".Json");
}

std::string new_uuid() {
    return format_uuid(std::chrono::system_clock::now());
}

std::string format_uuid(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    if (millis < 0)
        millis += 1000;  // before 1970: to_time_t rounds toward zero as well
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "%d_%02d_%02d_%02d_%02d_%02d_%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return buffer;
}

std::string unique_uuid(const fs::path& folder, const UuidClock& clock,
                        const std::set<std::string>& taken) {
    // Names up to their first dot: "x.Json", "x.Json.unreadable" and "x.mac" all carry x.
    std::set<std::string> carried = taken;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        carried.insert(name.substr(0, name.find('.')));
    }
    auto time = clock ? clock() : std::chrono::system_clock::now();
    std::string id = format_uuid(time);
    // Steps the candidate time forward, it never waits: the first free millisecond names it.
    while (carried.count(id) != 0) {
        time += std::chrono::milliseconds(1);
        id = format_uuid(time);
    }
    return id;
}

bool is_safe_identifier(std::string_view identifier) {
    if (identifier.empty())
        return false;
    if (identifier.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
        return false;
    }
    if (identifier.find("..") != std::string_view::npos)
        return false;
    // A drive-letter form is absolute for the files' original home; refuse it as well.
    if (identifier.size() >= 2 && identifier[1] == ':')
        return false;
    return !fs::path(std::string(identifier)).is_absolute();
}

fs::path identifier_file(const fs::path& folder, std::string_view identifier,
                         std::string_view extension) {
    if (!is_safe_identifier(identifier))
        return {};
    std::string name(identifier);
    name += extension;
    return folder / name;
}

fs::path profile_file_path(std::string_view kind_name, std::string_view uuid) {
    if (!is_safe_identifier(uuid))
        return {};
    return identifier_file(profile_folder(kind_name), uuid, ".Json");
}

fs::path light_config_path(std::string_view kind_name) {
    return profile_folder(kind_name) / "tavix_light.config";
}

std::string read_text_file(const fs::path& path) {
    std::string text;
    errno = 0;
    const bool ok = platform::read_whole_file(path, text);
    debug_printf("readjsonFile 错误吗：：%d\n", ok ? 0 : errno);
    return ok ? text : std::string();
}

Json::Value read_json(const fs::path& path) {
    const std::string text = read_text_file(path);
    if (text.empty()) {
        debug_output(path.string());
        return Json::Value();
    }
    return platform::parse_json(text);
}

std::string styled_json(const Json::Value& document) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    builder["commentStyle"] = "All";
    builder["emitUTF8"] = true;
    std::string text = Json::writeString(builder, document);
    text += '\n';
    return text;
}

bool write_json_checked(const Json::Value& document, const fs::path& path, std::string* error) {
    std::string why;
    if (!platform::write_file_atomically(path, styled_json(document), &why)) {
        debug_printf("writejsonFile failed: %s: %s", path.c_str(), why.c_str());
        if (error != nullptr)
            *error = std::move(why);
        return false;
    }
    return true;
}

bool keep_unreadable_copy(const fs::path& path) {
    fs::path copy = path;
    copy += ".unreadable";
    std::string error;
    if (platform::keep_copy(path, copy, &error))
        return true;
    if (errno == ENOENT)
        return true;  // missing: nothing to lose
    debug_printf("unreadable file %s kept as is: %s\n", path.c_str(), error.c_str());
    return false;
}

int write_json(const Json::Value& document, const fs::path& path) {
    write_json_checked(document, path);
    return 0;
}

}  // namespace velqa::profile
