// Profile folders, file names and the reading and writing of JSON files.
#pragma once

#include <json/json.h>

#include "platform/json_read.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace velqa::profile {

// Kind names: they name a kind's profile folder and its default profile file.
inline constexpr std::string_view KindMouse = "mouse";
inline constexpr std::string_view KindKeyboard = "keyboard";
inline constexpr std::string_view KindMousePad = "MousePad";
inline constexpr std::string_view KindHeadset = "HD";

// The user data folder's sub-folder for the kind, created when absent (every call).
std::filesystem::path profile_folder(std::string_view kind_name);

// The factory folder: DefaultData beside the program.
std::filesystem::path default_data_folder();

// default_data_folder() / (kind name + ".Json").
std::filesystem::path default_profile_path(std::string_view kind_name);

// Identifier from the local time, "%d_%02d_%02d_%02d_%02d_%02d_%03d" (year ... millisecond).
// Two calls within one millisecond give the same identifier.
std::string new_uuid();

// The identifier of `time` in the local time zone, formatted as new_uuid formats.
std::string format_uuid(std::chrono::system_clock::time_point time);

// Where identifiers get their time from; tests give a fixed clock.
using UuidClock = std::function<std::chrono::system_clock::time_point()>;

// An identifier from `clock` (the system clock when empty) that no file in `folder` carries as
// its name before the first dot, and that is not in `taken`: the time is advanced millisecond
// by millisecond until it is free, so two profiles (or macros) made within one millisecond never
// share a file.
std::string unique_uuid(const std::filesystem::path& folder, const UuidClock& clock = {},
                        const std::set<std::string>& taken = {});

// True when `identifier` can name a file inside its folder: not empty, no path separator,
// no "..", not absolute, no NUL. Identifiers read from files must pass before they name a file
// that is written or deleted.
bool is_safe_identifier(std::string_view identifier);

// folder / (identifier + extension), or an empty path when the identifier is not safe.
std::filesystem::path identifier_file(const std::filesystem::path& folder,
                                      std::string_view identifier, std::string_view extension);

// profile_folder(kind) / (uuid + ".Json"); empty when the identifier is not safe.
std::filesystem::path profile_file_path(std::string_view kind_name, std::string_view uuid);

// profile_folder(kind) / "tavix_light.config".
std::filesystem::path light_config_path(std::string_view kind_name);

// The whole file as bytes; empty when it cannot be opened or read completely, or is no regular
// file (a FIFO or device is refused without blocking). Writes "readjsonFile 错误吗：：<errno>" to
// the debug output on every call.
std::string read_text_file(const std::filesystem::path& path);

// The parsed document (comments allowed); a null value on any failure. An empty or unreadable
// file also writes its path to the debug output.
Json::Value read_json(const std::filesystem::path& path);

// Parses text as read_json does; a null value on any failure. Never throws.
using platform::parse_json;

// Styled text of the document followed by one line end; UTF-8, no byte-order mark.
std::string styled_json(const Json::Value& document);

// Writes styled_json(document) to path atomically. Returns 0 whatever happens; on failure the
// old file stays as it was and the reason goes to the debug output.
int write_json(const Json::Value& document, const std::filesystem::path& path);

// As write_json, but tells the caller whether the file was written, and why not in `error`.
bool write_json_checked(const Json::Value& document, const std::filesystem::path& path,
                        std::string* error = nullptr);

// Keeps the bytes of a file that is about to be rebuilt beside it as path + ".unreadable", so a
// damaged hand edit can still be recovered. True when they are kept, or when there is nothing to
// keep (missing or empty file); false when they could not be kept: then the file must not be
// replaced.
bool keep_unreadable_copy(const std::filesystem::path& path);

}  // namespace velqa::profile
