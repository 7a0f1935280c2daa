#include "macro/macro_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "platform/json_read.h"
#include "platform/text_controls.h"
#include "profile/profile_files.h"

namespace velqa::macro {

namespace fs = std::filesystem;
using platform::element;
using platform::member;
using platform::to_text;

namespace MessageId {
constexpr const char* Full = "message_text_32";
constexpr const char* NameTaken = "message_text_5";
constexpr const char* TooManyEvents = "message_text_17";
constexpr const char* ControlName = "name_control_text";
}  // namespace MessageId

std::vector<MacroEntry> decode_macro_list(const Json::Value& document) {
    std::vector<MacroEntry> entries;
    const Json::Value& info = member(document, "MacroInfo");
    if (!info.isArray())
        return entries;
    for (Json::ArrayIndex i = 0; i < info.size(); ++i) {
        const Json::Value& e = element(info, i);
        entries.push_back({to_text(member(e, "Guid")), to_text(member(e, "MacroName"))});
    }
    return entries;
}

Json::Value encode_macro_list(const std::vector<MacroEntry>& entries) {
    Json::Value document(Json::objectValue);
    Json::Value& info = document["MacroInfo"] = Json::Value(Json::arrayValue);
    for (const auto& e : entries) {
        Json::Value item(Json::objectValue);
        item["Guid"] = e.guid;
        item["MacroName"] = e.name;
        info.append(item);
    }
    return document;
}

Json::Value encode_macro_file(const std::vector<MacroEvent>& events, std::string_view guid,
                              std::string_view name) {
    Json::Value document(Json::objectValue);
    Json::Value& list = document["Events"] = Json::Value(Json::arrayValue);
    for (const auto& e : events)
        list.append(event_json(e));
    document["Guid"] = std::string(guid);
    document["MacroName"] = std::string(name);
    document["Version"] = MacroFileVersion;
    return document;
}

std::vector<MacroEvent> decode_macro_events(const Json::Value& document) {
    std::vector<MacroEvent> events;
    const Json::Value& list = member(document, "Events");
    if (!list.isArray())
        return events;
    for (Json::ArrayIndex i = 0; i < list.size(); ++i)
        events.push_back(read_event(element(list, i)));
    return events;
}

std::optional<std::vector<MacroEvent>> parse_macro_file(std::string_view text, std::string* error) {
    auto refuse = [&](std::string why) -> std::optional<std::vector<MacroEvent>> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    if (text.size() > MaxImportFileSize)
        return refuse("the file is larger than a macro file can be");
    std::string parse_error;
    const Json::Value document = platform::parse_json(text, &parse_error);
    if (!document.isObject())
        return refuse("the file is not a macro file (no JSON object)");
    const Json::Value& list = member(document, "Events");
    if (!list.isArray())
        return refuse("the file has no \"Events\" list");
    if (list.size() > MaxEvents) {
        return refuse("the macro has " + std::to_string(list.size()) + " events; at most 250 fit");
    }
    std::vector<MacroEvent> events;
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        std::string why;
        const auto event = parse_event(element(list, i), &why);
        if (!event)
            return refuse("event " + std::to_string(i + 1) + ": " + why);
        events.push_back(*event);
    }
    return events;
}

// ---- Names ----

bool same_name(std::string_view a, std::string_view b) {
    return platform::equals_ignoring_case(a, b);
}

namespace {

bool taken(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return same_name(n, name); });
}

bool blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::string new_macro_name(const std::vector<std::string>& names) {
    for (std::size_t n = 1;; ++n) {
        std::string name = "macro_" + std::to_string(n);
        if (!taken(names, name))
            return name;
    }
}

std::string import_macro_name(const std::vector<std::string>& names, std::string_view base) {
    std::string candidate(base);
    for (int n = 1; taken(names, candidate); ++n)
        candidate += "_" + std::to_string(n);
    return candidate;
}

RenameCheck check_rename(const std::vector<std::string>& names, std::string_view typed) {
    if (blank(typed))
        return RenameCheck::Blank;
    if (platform::has_control_characters(typed))
        return RenameCheck::Control;
    return taken(names, typed) ? RenameCheck::Taken : RenameCheck::Ok;
}

// ---- Identifiers ----

std::string format_identifier(std::chrono::system_clock::time_point time) {
    return profile::format_uuid(time);
}

std::string unique_identifier(const fs::path& folder, const std::vector<MacroEntry>& entries,
                              const Clock& clock) {
    // Listed identifiers count as taken even when their file is gone.
    std::set<std::string> taken;
    for (const MacroEntry& e : entries)
        taken.insert(e.guid);
    return profile::unique_uuid(folder, clock, taken);
}

// ---- Event rows ----

int move_row(std::vector<MacroEvent>& rows, int selected, RowMove move) {
    const int count = static_cast<int>(rows.size());
    if (selected < 0 || selected >= count)
        return selected;
    int target = selected;
    switch (move) {
        case RowMove::Up:
            target = std::max(0, selected - 1);
            break;
        case RowMove::Down:
            target = std::min(count - 1, selected + 1);
            break;
        case RowMove::Top:
            target = 0;
            break;
        case RowMove::Bottom:
            target = count - 1;
            break;
    }
    const MacroEvent moved = rows[static_cast<std::size_t>(selected)];
    rows.erase(rows.begin() + selected);
    rows.insert(rows.begin() + target, moved);
    return target;
}

int delete_row(std::vector<MacroEvent>& rows, int selected) {
    const int count = static_cast<int>(rows.size());
    if (selected < 0 || selected >= count)
        return -1;
    rows.erase(rows.begin() + selected);
    if (rows.empty())
        return -1;
    return std::min(selected, count - 2);
}

// ---- Macro references ----

bool is_macro_code(const profile::KeyCode& code) {
    return code.function_class == 0x70 || code.function_class == 0x71;
}

bool uses_macro(const std::vector<profile::KeyAssignment>& keys, int index) {
    return std::any_of(keys.begin(), keys.end(), [&](const profile::KeyAssignment& k) {
        return is_macro_code(k.current) && k.current.first == index;
    });
}

bool fix_macro_references(std::vector<profile::KeyAssignment>& keys, int deleted) {
    bool changed = false;
    for (auto& k : keys) {
        if (!is_macro_code(k.current))
            continue;
        if (k.current.first == deleted) {
            k.current = k.default_code;
            changed = true;
        } else if (k.current.first > deleted) {
            --k.current.first;
            changed = true;
        }
    }
    return changed;
}

// ---- The folder ----

MacroLibrary::MacroLibrary(fs::path folder, Clock clock)
    : folder_(std::move(folder)), clock_(std::move(clock)) {}

void MacroLibrary::load() {
    entries_.clear();
    damaged_list_ = false;
    std::string text;
    if (!platform::read_whole_file(list_path(), text))
        return;  // none yet
    const Json::Value document = platform::parse_json(text);
    entries_ = decode_macro_list(document);
    damaged_list_ = !member(document, "MacroInfo").isArray() && !text.empty();
}

fs::path MacroLibrary::macro_path(int index) const {
    if (!valid(index))
        return {};
    return profile::identifier_file(folder_, entries_[static_cast<std::size_t>(index)].guid,
                                    MacroExtension);
}

std::vector<std::string> MacroLibrary::names() const {
    std::vector<std::string> names;
    for (const auto& e : entries_)
        names.push_back(e.name);
    return names;
}

bool MacroLibrary::write_list(const std::vector<MacroEntry>& entries, std::string* error) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (damaged_list_) {
        // The user may want the old list back; keep its bytes before it is replaced.
        std::string old;
        if (platform::read_whole_file(list_path(), old) &&
            !platform::keep_copy(list_path(), folder_ / "macro.config.unreadable", error)) {
            return false;
        }
    }
    if (!platform::write_file_atomically(list_path(),
                                         profile::styled_json(encode_macro_list(entries)), error)) {
        return false;
    }
    damaged_list_ = false;
    return true;
}

namespace {

MacroResult failure(MacroStatus status, std::string detail, std::string message = {}) {
    MacroResult r;
    r.status = status;
    r.detail = std::move(detail);
    r.message = std::move(message);
    if (!r.detail.empty())
        platform::debug_printf("macro: %s", r.detail.c_str());
    return r;
}

}  // namespace

MacroResult MacroLibrary::append(std::string name, const std::string* file_bytes) {
    if (entries_.size() >= MaxMacros)
        return failure(MacroStatus::ListFull, {}, MessageId::Full);
    MacroEntry entry{unique_identifier(folder_, entries_, clock_), std::move(name)};
    const fs::path file = profile::identifier_file(folder_, entry.guid, MacroExtension);
    std::string error;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (file_bytes && !platform::write_file_atomically(file, *file_bytes, &error))
        return failure(MacroStatus::WriteFailed, file.string() + ": " + error);
    std::vector<MacroEntry> next = entries_;
    next.push_back(entry);
    if (!write_list(next, &error)) {
        if (file_bytes)
            fs::remove(file, ec);
        return failure(MacroStatus::WriteFailed, list_path().string() + ": " + error);
    }
    entries_ = std::move(next);
    MacroResult r;
    r.index = size() - 1;
    r.name = entries_.back().name;
    return r;
}

int MacroLibrary::reload(int index) {
    const std::string seen = valid(index) ? entries_[static_cast<std::size_t>(index)].guid : "";
    load();
    if (seen.empty())
        return index;
    for (int i = 0; i < size(); ++i) {
        if (entries_[static_cast<std::size_t>(i)].guid == seen)
            return i;
    }
    return -1;
}

std::optional<MacroResult> MacroLibrary::lock_failure(const platform::FolderLock& lock) const {
    if (folder_.empty())
        return failure(MacroStatus::WriteFailed, "no macro folder");
    if (!lock.ok())
        return failure(MacroStatus::WriteFailed, lock.error());
    return std::nullopt;
}

MacroResult MacroLibrary::create() {
    const platform::FolderLock lock(folder_);
    if (auto r = lock_failure(lock))
        return *r;
    load();
    return append(new_macro_name(names()), nullptr);
}

MacroResult MacroLibrary::create_named(std::string_view name) {
    const platform::FolderLock lock(folder_);
    if (auto r = lock_failure(lock))
        return *r;
    load();
    switch (check_rename(names(), name)) {
        case RenameCheck::Blank:
            return failure(MacroStatus::Unchanged, "a macro needs a name");
        case RenameCheck::Control:
            return failure(MacroStatus::Refused, "the name holds control characters",
                           MessageId::ControlName);
        case RenameCheck::Taken:
            return failure(MacroStatus::NameTaken, {}, MessageId::NameTaken);
        case RenameCheck::Ok:
            break;
    }
    return append(std::string(name), nullptr);
}

MacroResult MacroLibrary::rename(int index, std::string_view typed) {
    const platform::FolderLock lock(folder_);
    if (auto r = lock_failure(lock))
        return *r;
    index = reload(index);
    if (!valid(index))
        return failure(MacroStatus::NoSuchMacro, {});
    switch (check_rename(names(), typed)) {
        case RenameCheck::Blank:
            return failure(MacroStatus::Unchanged, {});
        case RenameCheck::Control:
            return failure(MacroStatus::Refused, "the name holds control characters",
                           MessageId::ControlName);
        case RenameCheck::Taken:
            return failure(MacroStatus::NameTaken, {}, MessageId::NameTaken);
        case RenameCheck::Ok:
            break;
    }
    std::vector<MacroEntry> next = entries_;
    next[static_cast<std::size_t>(index)].name = std::string(typed);
    std::string error;
    if (!write_list(next, &error))
        return failure(MacroStatus::WriteFailed, list_path().string() + ": " + error);
    entries_ = std::move(next);
    MacroResult r;
    r.index = index;
    r.name = std::string(typed);
    return r;
}

MacroResult MacroLibrary::remove(int index) {
    const platform::FolderLock lock(folder_);
    if (auto r = lock_failure(lock))
        return *r;
    index = reload(index);
    if (!valid(index))
        return failure(MacroStatus::NoSuchMacro, {});
    const fs::path file = macro_path(index);
    std::vector<MacroEntry> next = entries_;
    next.erase(next.begin() + index);
    // The list first: when it cannot be written, the macro and its file stay.
    std::string error;
    if (!write_list(next, &error))
        return failure(MacroStatus::WriteFailed, list_path().string() + ": " + error);
    MacroResult r;
    r.index = index;
    r.name = entries_[static_cast<std::size_t>(index)].name;
    entries_ = std::move(next);
    std::error_code ec;
    if (!file.empty())
        fs::remove(file, ec);
    return r;
}

std::vector<MacroEvent> MacroLibrary::load_events(int index) const {
    const fs::path file = macro_path(index);
    if (file.empty())
        return {};
    std::string text;
    if (!platform::read_whole_file(file, text))
        return {};
    return decode_macro_events(platform::parse_json(text));
}

std::optional<MacroSelection> MacroLibrary::select(int index) const {
    if (!valid(index))
        return std::nullopt;
    return MacroSelection{entries_[static_cast<std::size_t>(index)].name, load_events(index)};
}

MacroResult MacroLibrary::save_events(int index, const std::vector<MacroEvent>& events) {
    const platform::FolderLock lock(folder_);
    if (auto r = lock_failure(lock))
        return *r;
    index = reload(index);
    const fs::path file = macro_path(index);
    if (file.empty())
        return failure(MacroStatus::NoSuchMacro, {});
    if (events.size() > MaxEvents)
        return failure(MacroStatus::TooManyEvents, {}, MessageId::TooManyEvents);
    const MacroEntry& entry = entries_[static_cast<std::size_t>(index)];
    std::string error;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (!platform::write_file_atomically(
            file, profile::styled_json(encode_macro_file(events, entry.guid, entry.name)),
            &error)) {
        return failure(MacroStatus::WriteFailed, file.string() + ": " + error);
    }
    MacroResult r;
    r.index = index;
    r.name = entry.name;
    return r;
}

MacroResult MacroLibrary::import_file(const fs::path& file) {
    if (entries_.size() >= MaxMacros)
        return failure(MacroStatus::ListFull, {}, MessageId::Full);
    std::error_code ec;
    const auto file_size = fs::file_size(file, ec);
    if (!ec && file_size > MaxImportFileSize)
        return failure(MacroStatus::Refused, file.string() + ": the file is too large");
    std::string bytes;
    std::string error;
    if (!platform::read_whole_file(file, bytes, &error))
        return failure(MacroStatus::Refused, file.string() + ": " + error);
    if (!parse_macro_file(bytes, &error))
        return failure(MacroStatus::Refused, file.string() + ": " + error);
    const platform::FolderLock lock(folder_);
    if (auto r = lock_failure(lock))
        return *r;
    load();
    std::string base = file.stem().string();
    if (platform::has_control_characters(base))
        return failure(MacroStatus::Refused,
                       file.string() + ": the file name holds control characters",
                       MessageId::ControlName);
    if (blank(base))
        base = new_macro_name(names());
    return append(import_macro_name(names(), base), &bytes);
}

MacroResult MacroLibrary::export_file(int index, const fs::path& target) const {
    const fs::path file = macro_path(index);
    if (file.empty())
        return failure(MacroStatus::NoSuchMacro, {});
    std::string bytes;
    if (!platform::read_whole_file(file, bytes)) {
        const MacroEntry& entry = entries_[static_cast<std::size_t>(index)];
        bytes = profile::styled_json(encode_macro_file({}, entry.guid, entry.name));
    }
    std::string error;
    if (!platform::write_file_atomically(target, bytes, &error))
        return failure(MacroStatus::WriteFailed, target.string() + ": " + error);
    MacroResult r;
    r.index = index;
    r.name = entries_[static_cast<std::size_t>(index)].name;
    return r;
}

}  // namespace velqa::macro
