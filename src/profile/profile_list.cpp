#include "profile/profile_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <system_error>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "platform/text_controls.h"
#include "profile/app_bindings.h"
#include "profile/json_access.h"
#include "profile/profile_completion.h"
#include "profile/settings_limits.h"

namespace velqa::profile {

namespace fs = std::filesystem;
using platform::debug_printf;

namespace {

ListResult result(ListStatus status, int index = -1, std::string detail = {}) {
    return ListResult{status, index, std::move(detail), {}};
}

ListResult busy(const platform::FolderLock& lock) {
    return result(ListStatus::WriteFailed, -1, lock.error());
}

// An entry the list can use: an object whose identifier can name a file in the folder.
bool usable_element(const Json::Value& element) {
    if (!element.isObject())
        return false;
    const Json::Value& uuid = member(element, "profileUUID");
    return uuid.isString() && is_safe_identifier(uuid.asString());
}

// The first problem found among the "Guid" members anywhere in the document.
std::string guid_refusal(const Json::Value& value) {
    if (value.isObject()) {
        for (const std::string& key : value.getMemberNames()) {
            const Json::Value& child = value[key];
            if (key == "Guid") {
                if (!child.isString())
                    return "a \"Guid\" is no string";
                const std::string id = child.asString();
                // Empty names no effect file of its own; anything else stays in the folder.
                if (!id.empty() && !is_safe_identifier(id))
                    return "the \"Guid\" \"" + id + "\" names a file outside the profile folder";
            }
            if (std::string why = guid_refusal(child); !why.empty())
                return why;
        }
    } else if (value.isArray()) {
        for (const Json::Value& child : value) {
            if (std::string why = guid_refusal(child); !why.empty())
                return why;
        }
    }
    return {};
}

// More than `limit` JSON values in `text` (counted by their separators and openings, outside
// strings); a cheap look before a parse.
bool more_values_than(std::string_view text, std::size_t limit) {
    std::size_t values = 1;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if ((c == ',' || c == '[' || c == '{') && ++values > limit) {
            return true;
        }
    }
    return false;
}

// What the text of a list file holds: its entries that the list can use, and whether anything
// in it was damaged (then it is kept aside before it is rewritten).
struct ReadList {
    Json::Value document;
    Json::Value usable{Json::arrayValue};
    bool damaged = false;
};

ReadList read_list(const std::string& text) {
    ReadList read;
    read.document = text.empty() ? Json::Value() : parse_json(text);
    read.damaged = !text.empty() && !read.document.isObject();
    if (read.document.isObject()) {
        const Json::Value& list = member(read.document, "profilelist");
        read.damaged = !list.isNull() && !list.isArray();
        for (const Json::Value& e : list) {
            if (usable_element(e))
                read.usable.append(e);
            else
                read.damaged = true;
        }
        const Json::Value& sel = member(read.document, "profileselect");
        read.damaged = read.damaged || (!sel.isNull() && !sel.isIntegral());
    }
    return read;
}

// A document to write a profile into: a damaged factory or source file counts as missing.
Json::Value as_document(Json::Value value) {
    return value.isObject() ? value : Json::Value(Json::objectValue);
}

}  // namespace

const char* status_text(ListStatus status) {
    switch (status) {
        case ListStatus::Done:
            return "done";
        case ListStatus::AtLimit:
            return "the list already holds 50 profiles";
        case ListStatus::NoSuchProfile:
            return "no such profile";
        case ListStatus::LastProfile:
            return "the last profile cannot be deleted";
        case ListStatus::DuplicateName:
            return "another profile has that name";
        case ListStatus::BlankName:
            return "the name is blank";
        case ListStatus::ControlName:
            return "the name holds control characters";
        case ListStatus::Refused:
            return "the file is no acceptable profile";
        case ListStatus::NoSource:
            return "the profile to read is missing or unreadable";
        case ListStatus::WriteFailed:
            return "a file could not be written";
    }
    return "unknown";
}

bool same_name(std::string_view a, std::string_view b) {
    return platform::equals_ignoring_case(a, b);
}

bool is_blank_name(std::string_view name) {
    return name.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

std::string import_refusal(const Json::Value& document) {
    if (!document.isObject())
        return "it is no JSON object";
    for (const char* key : {"profilename", "profileUUID"}) {
        const Json::Value& v = member(document, key);
        if (v.isNull())
            return std::string("it has no \"") + key + "\"";
        if (!v.isString())
            return std::string("its \"") + key + "\" is no string";
    }
    const Json::Value& devices = member(document, "Device");
    if (!devices.isArray())
        return "its \"Device\" is no array";
    for (const Json::Value& section : devices) {
        if (!section.isNull() && !section.isObject())
            return "an element of its \"Device\" is no object";
    }
    return guid_refusal(document);
}

ProfileList::ProfileList(fs::path folder, fs::path default_file, int device_type, UuidClock clock)
    : folder_(std::move(folder)),
      default_file_(std::move(default_file)),
      device_type_(device_type),
      clock_(std::move(clock)) {}

fs::path ProfileList::file_of(int index) const {
    if (index < 0 || index >= size())
        return {};
    return identifier_file(folder_, entries_[static_cast<std::size_t>(index)].uuid, ".Json");
}

void ProfileList::sync_entries() {
    entries_.clear();
    for (const Json::Value& e : member(document_, "profilelist"))
        entries_.push_back({to_text(member(e, "profilename")), to_text(member(e, "profileUUID"))});
    const auto sel =
        to_unsigned(member(document_, "profileselect"), entries_.empty() ? 0 : entries_.size() - 1);
    selected_ = sel ? static_cast<int>(*sel) : 0;
}

ListStamp file_stamp(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return {};
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
            static_cast<long long>(st.st_size),
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<long long>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

bool ProfileList::changed_on_disk() const {
    return file_stamp(list_path()) != stamp_;
}

int ProfileList::follow(int index, const std::string& seen) const {
    if (seen.empty())
        return index;
    for (int i = 0; i < size(); ++i) {
        if (entries_[static_cast<std::size_t>(i)].uuid == seen)
            return i;
    }
    return -1;
}

std::string ProfileList::uuid_at(int index) const {
    return index >= 0 && index < size() ? entries_[static_cast<std::size_t>(index)].uuid
                                        : std::string();
}

ListResult ProfileList::open_list(const platform::FolderLock& lock) {
    if (!lock.ok())
        return busy(lock);
    return load();
}

ListResult ProfileList::open_entry(const platform::FolderLock& lock, int& index) {
    const std::string seen = uuid_at(index);
    if (ListResult r = open_list(lock); !r.ok())
        return r;
    index = follow(index, seen);
    if (index < 0 || index >= size())
        return result(ListStatus::NoSuchProfile, index);
    return result(ListStatus::Done, index);
}

ListResult ProfileList::load() {
    const platform::FolderLock lock(folder_);
    if (!lock.ok())
        return busy(lock);
    const fs::path path = list_path();
    ReadList read = read_list(read_text_file(path));
    if (read.damaged) {
        if (!keep_unreadable_copy(path))
            return result(ListStatus::WriteFailed, -1, "the damaged list could not be kept");
        debug_printf("%s is damaged: kept as %s.unreadable\n", path.c_str(), ProfileListName);
    }
    if (read.usable.empty())
        return rebuild();

    document_ = std::move(read.document);
    document_["profilelist"] = std::move(read.usable);
    sync_entries();
    stamp_ = file_stamp(list_path());
    if (read.damaged) {
        document_["profileselect"] = selected_;
        return write_list();
    }
    return result(ListStatus::Done, selected_);
}

ListResult ProfileList::peek() {
    // Every write is a rename, so the file read is whole; the lock only says that the list is
    // in the middle of a change, and a reader that must not wait reads nothing then.
    if (platform::folder_lock_busy(folder_))
        return result(ListStatus::WriteFailed, -1, "another program is changing the list");
    ReadList read = read_list(read_text_file(list_path()));
    document_ =
        read.document.isObject() ? std::move(read.document) : Json::Value(Json::objectValue);
    document_["profilelist"] = std::move(read.usable);
    sync_entries();
    stamp_ = file_stamp(list_path());
    return result(ListStatus::Done, selected_);
}

ListResult ProfileList::rebuild() {
    document_ = Json::Value(Json::objectValue);
    entries_.clear();
    selected_ = 0;
    const std::string uuid = new_identifier();
    Json::Value profile = as_document(read_json(default_file_));
    profile["profilename"] = "Profile1";
    profile["profileUUID"] = uuid;
    const fs::path file = identifier_file(folder_, uuid, ".Json");
    if (!write_json_checked(profile, file))
        return result(ListStatus::WriteFailed, -1, "could not write " + file.string());
    document_["profilelist"] = Json::Value(Json::arrayValue);
    document_["profilelist"].append(new_element("Profile1", uuid));
    document_["profileselect"] = 0;
    sync_entries();
    return write_list();
}

ListResult ProfileList::write_list() {
    if (!write_json_checked(document_, list_path()))
        return result(ListStatus::WriteFailed, -1, "could not write " + list_path().string());
    stamp_ = file_stamp(list_path());
    return result(ListStatus::Done, selected_);
}

bool ProfileList::name_taken(std::string_view name, int except) const {
    for (int i = 0; i < size(); ++i) {
        if (i != except && same_name(entries_[static_cast<std::size_t>(i)].name, name))
            return true;
    }
    return false;
}

std::string ProfileList::new_identifier() const {
    std::set<std::string> listed;
    for (const ProfileEntry& e : entries_)
        listed.insert(e.uuid);
    return unique_uuid(folder_, clock_, listed);
}

Json::Value ProfileList::new_element(const std::string& name, const std::string& uuid) const {
    Json::Value e(Json::objectValue);
    e["profilename"] = name;
    e["profileUUID"] = uuid;
    e["profileislink"] = 0;
    e["profilelinkmame"] = "";
    return e;
}

ListResult ProfileList::add_profile(const std::string& name, Json::Value profile) {
    const std::string uuid = new_identifier();
    profile["profilename"] = name;
    profile["profileUUID"] = uuid;
    const fs::path file = identifier_file(folder_, uuid, ".Json");
    // The file first: the list never names a profile that is not on disk.
    if (!write_json_checked(profile, file))
        return result(ListStatus::WriteFailed, -1, "could not write " + file.string());
    const Json::Value before = document_;
    writable_member(document_, "profilelist").append(new_element(name, uuid));
    if (ListResult r = write_list(); !r.ok()) {
        document_ = before;
        std::error_code ec;
        fs::remove(file, ec);
        return r;
    }
    sync_entries();
    return result(ListStatus::Done, size() - 1);
}

ListResult ProfileList::create(const std::string& name) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_list(lock); !r.ok())
        return r;
    if (size() >= MaxProfileCount)
        return result(ListStatus::AtLimit);
    std::string chosen = name;
    if (chosen.empty()) {
        int n = 1;
        do {
            chosen = "Profile" + std::to_string(n++);
        } while (name_taken(chosen));
    } else if (is_blank_name(chosen)) {
        return result(ListStatus::BlankName);
    } else if (platform::has_control_characters(chosen)) {
        return result(ListStatus::ControlName);
    } else if (name_taken(chosen)) {
        return result(ListStatus::DuplicateName);
    }
    return add_profile(chosen, as_document(read_json(default_file_)));
}

ListResult ProfileList::copy(int index) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_entry(lock, index); !r.ok())
        return r;
    if (size() >= MaxProfileCount)
        return result(ListStatus::AtLimit);
    std::string name = entries_[static_cast<std::size_t>(index)].name + " copy";
    while (name_taken(name))
        name += " copy";
    return add_profile(name, as_document(read_json(file_of(index))));
}

ListResult ProfileList::import_file(const fs::path& file) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_list(lock); !r.ok())
        return r;
    if (size() >= MaxProfileCount)
        return result(ListStatus::AtLimit);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return result(ListStatus::Refused, -1, "it is no readable file");
    if (const auto bytes = fs::file_size(file, ec); ec || bytes > MaxImportBytes)
        return result(ListStatus::Refused, -1, "it is larger than 4 MB");
    std::string text;
    std::string error;
    if (!platform::read_whole_file(file, text, &error) || text.size() > MaxImportBytes)
        return result(ListStatus::Refused, -1, "it cannot be read: " + error);
    if (more_values_than(text, MaxImportValues))
        return result(ListStatus::Refused, -1, "it holds far more values than any profile");
    Json::Value document = parse_json(text, &error);
    if (document.isNull())
        return result(ListStatus::Refused, -1, "it is no JSON text");
    if (std::string why = import_refusal(document); !why.empty())
        return result(ListStatus::Refused, -1, why);
    const Json::Value factory = read_json(default_file_);
    std::vector<std::string> corrections = complete_from_factory(document, factory);
    if (std::string why = unsavable_sections(document, factory); !why.empty())
        return result(ListStatus::Refused, -1, why);
    for (std::string& line : hold_profile_values(document, sensors_))
        corrections.push_back(std::move(line));

    // The file's title names the profile; its own "profilename" is not used.
    std::string name = file.stem().string();
    if (platform::has_control_characters(name))
        return result(ListStatus::Refused, -1, "its file name holds control characters");
    for (int k = 1; name_taken(name); ++k)
        name += "(" + std::to_string(k) + ")";
    ListResult r = add_profile(name, std::move(document));
    if (r.ok())
        r.corrections = std::move(corrections);
    return r;
}

ListResult ProfileList::export_file(int index, const fs::path& target) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_entry(lock, index); !r.ok())
        return r;
    const Json::Value document = read_json(file_of(index));
    if (!document.isObject())
        return result(ListStatus::NoSource, index, file_of(index).string());
    if (std::string why; !write_json_checked(document, target, &why))
        return result(ListStatus::WriteFailed, index, why);
    return result(ListStatus::Done, index);
}

ListResult ProfileList::rename(int index, const std::string& name) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_entry(lock, index); !r.ok())
        return r;
    if (is_blank_name(name))
        return result(ListStatus::BlankName, index);
    if (platform::has_control_characters(name))
        return result(ListStatus::ControlName, index);
    if (name_taken(name, index))
        return result(ListStatus::DuplicateName, index);
    // A missing or damaged profile file is left as it is: the list holds the name.
    if (Json::Value profile = read_json(file_of(index)); profile.isObject()) {
        profile["profilename"] = name;
        if (!write_json_checked(profile, file_of(index)))
            return result(ListStatus::WriteFailed, index,
                          "could not write " + file_of(index).string());
    }
    document_["profilelist"][static_cast<Json::ArrayIndex>(index)]["profilename"] = name;
    if (ListResult r = write_list(); !r.ok())
        return r;
    sync_entries();
    return result(ListStatus::Done, index);
}

ListResult ProfileList::remove(int index) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_entry(lock, index); !r.ok())
        return r;
    if (size() <= 1)
        return result(ListStatus::LastProfile, index);
    int selection = selected_;
    if (index == selected_)
        selection = index == 0 ? 0 : index - 1;
    else if (index < selected_)
        selection = selected_ - 1;  // the selected entry moves down by one
    const std::string uuid = entries_[static_cast<std::size_t>(index)].uuid;
    const fs::path file = file_of(index);

    Json::Value removed;
    document_["profilelist"].removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
    document_["profileselect"] = selection;
    if (ListResult r = write_list(); !r.ok())
        return r;
    sync_entries();
    // The file goes only once the list no longer names it, and never while another entry does.
    const bool shared = std::any_of(entries_.begin(), entries_.end(),
                                    [&](const ProfileEntry& e) { return e.uuid == uuid; });
    if (!shared) {
        std::error_code ec;
        if (!fs::remove(file, ec) && ec)
            debug_printf("profile file %s not deleted: %s\n", file.c_str(), ec.message().c_str());
        // Its bindings go with it, so an application never switches to a profile that is gone.
        // The profile is deleted either way: a binding left behind names no entry and is
        // passed over.
        if (const BindingResult b = AppBindings(folder_).forget(uuid); !b.ok())
            debug_printf("bindings of %s kept: %s\n", uuid.c_str(), b.detail.c_str());
    }
    return result(ListStatus::Done, selected_);
}

ListResult ProfileList::reset(int index) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_entry(lock, index); !r.ok())
        return r;
    // Without a factory profile a reset would leave nothing but the name: keep the profile.
    Json::Value document = read_json(default_file_);
    if (!document.isObject() || !member(document, "Device").isArray())
        return result(ListStatus::NoSource, index, default_file_.string());
    const ProfileEntry& entry = entries_[static_cast<std::size_t>(index)];
    document["profilename"] = entry.name;
    document["profileUUID"] = entry.uuid;
    const fs::path file = file_of(index);
    if (device_type_ == HeadsetDeviceType) {
        const Json::Value old = read_json(file);
        const Json::Value& old_section = element(member(old, "Device"), 0);
        for (const char* key : {"CustomEQNameInfo", "CustomEQHzValueInfo"}) {
            if (const Json::Value& presets = member(old_section, key); !presets.isNull())
                writable_member(writable_element(writable_member(document, "Device"), 0), key) =
                    presets;
        }
    }
    if (!write_json_checked(document, file))
        return result(ListStatus::WriteFailed, index, "could not write " + file.string());
    return result(ListStatus::Done, index);
}

ListResult ProfileList::select(int index) {
    const platform::FolderLock lock(folder_);
    if (ListResult r = open_entry(lock, index); !r.ok())
        return r;
    document_["profileselect"] = index;
    if (ListResult r = write_list(); !r.ok())
        return r;
    selected_ = index;
    return result(ListStatus::Done, index);
}

fs::path selected_profile_path(const fs::path& profile_folder, const fs::path& default_file) {
    ProfileList list(profile_folder, default_file);
    if (!list.load().ok())
        return {};
    return list.selected_file();
}

}  // namespace velqa::profile
