// The profile list of one device kind: "ProfileList.ini" in the kind's profile folder (JSON text
// in spite of its name) and the profile files it names. Every operation re-reads the list file
// first and writes it last, all under the folder's lock (platform::FolderLock), so two pages of
// one kind and any number of command-line runs stay consistent through the file. An operation
// that cannot get the lock in time fails with WriteFailed and changes nothing. No operation shows
// anything: each returns what happened, and a refused or failed operation leaves every file as it
// was.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "profile/profile_files.h"
#include "profile/sensor_table.h"

namespace velqa::platform {
class FolderLock;
}

namespace velqa::profile {

inline constexpr char ProfileListName[] = "ProfileList.ini";
inline constexpr int MaxProfileCount = 50;
// Far beyond any profile (a few tens of kB); an imported file above it is refused unread.
inline constexpr std::uintmax_t MaxImportBytes = 4u * 1024 * 1024;
// Far beyond any profile too (a few hundred values); an imported file of more is refused
// before it is parsed, which for four megabytes of numbers would take most of a second.
inline constexpr std::size_t MaxImportValues = 100000;
// The headset keeps its equaliser presets through a reset.
inline constexpr int HeadsetDeviceType = 7;

// What identifies one version of the list file on disk.
struct ListStamp {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = -1;
    long long modified_ns = 0;
    long long changed_ns = 0;
    bool operator==(const ListStamp&) const = default;
};

// The stamp of `file` now; a default stamp (size -1) when it is missing.
ListStamp file_stamp(const std::filesystem::path& file);

struct ProfileEntry {
    std::string name;  // UTF-8, shown as the list file has it
    std::string uuid;  // names the file: profile folder / (uuid + ".Json")
};

enum class ListStatus {
    Done,
    AtLimit,        // MaxProfileCount profiles already
    NoSuchProfile,  // the index names no entry
    LastProfile,    // the last profile is never deleted
    DuplicateName,  // another profile has that name (letter case ignored)
    BlankName,      // the name is empty or white space only
    ControlName,    // the name holds control or bidirectional-override characters
    Refused,        // import: the file is no acceptable profile
    NoSource,       // export: the profile file is missing or unreadable; reset: no factory profile
    WriteFailed,    // a file could not be written (or a damaged list could not be kept)
};

struct ListResult {
    ListStatus status = ListStatus::Done;
    // create, copy, import: the new entry; delete: the selection afterwards; others: the entry.
    int index = -1;
    std::string detail;  // why, for Refused, NoSource and WriteFailed
    // import: what was changed in the stored copy, one "member: old -> new" line each.
    std::vector<std::string> corrections;
    bool ok() const { return status == ListStatus::Done; }
};

// A short English phrase for a status ("no such profile"), for the command line.
const char* status_text(ListStatus status);

// Names compare ignoring the letter case of ASCII letters; other bytes compare exactly.
bool same_name(std::string_view a, std::string_view b);
// True when the name holds nothing but white space.
bool is_blank_name(std::string_view name);

class ProfileList {
  public:
    // `folder`: the kind's profile folder (created when absent); `default_file`: its factory
    // profile; `device_type`: the page's device type (7 keeps equaliser presets on reset);
    // `clock`: where new identifiers take their time (the system clock when empty).
    ProfileList(std::filesystem::path folder, std::filesystem::path default_file,
                int device_type = 0, UuidClock clock = {});

    // Reads the list file. A missing list, or one without entries, is rebuilt with one profile
    // "Profile1" made from the factory profile. A damaged list (not JSON, wrong member types,
    // entries without a usable identifier) is kept beside it as "ProfileList.ini.unreadable"
    // first; its usable entries stay, and without any it is rebuilt the same way. Profile files
    // that are no longer listed stay on disk. A selection out of range reads as 0.
    ListResult load();

    // Reads the list as load() does, for a reader that must change nothing (shell completion):
    // a missing list reads as no profiles and is not rebuilt, a damaged one as its usable
    // entries, kept where it is; nothing is created. WriteFailed, at once and reading nothing,
    // while another program holds the folder's lock.
    ListResult peek();

    // True when the list file is no longer the one last read or written here: another program
    // (or another ProfileList) changed it.
    bool changed_on_disk() const;

    const std::vector<ProfileEntry>& entries() const { return entries_; }
    int size() const { return static_cast<int>(entries_.size()); }
    int selected() const { return selected_; }
    const Json::Value& document() const { return document_; }
    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path list_path() const { return folder_ / ProfileListName; }
    // The profile file of entry `index`; empty for a bad index.
    std::filesystem::path file_of(int index) const;
    std::filesystem::path selected_file() const { return file_of(selected_); }

    // The operations that take an index mean the entry this object showed at that index before
    // the list was re-read: when another program has added or removed entries since, the index
    // follows that entry, and NoSuchProfile is the result when it is gone.

    // A new profile from the factory profile, appended; `name` empty gives the lowest free
    // "Profile%d". The selection does not change. Here and in rename, a name holding control
    // characters (platform::has_control_characters) is refused: ControlName.
    ListResult create(const std::string& name = {});
    // A copy of entry `index` named "<name> copy" (" copy" appended again while taken).
    ListResult copy(int index);
    // Renames the entry and the "profilename" of its file.
    ListResult rename(int index, const std::string& name);
    // Removes the entry and its file (unless another entry still names that file). The
    // selection moves to the previous entry when the selected one goes, and follows its entry
    // otherwise. The last profile is never removed.
    ListResult remove(int index);
    // Replaces the entry's file by the factory profile, keeping its name and identifier.
    ListResult reset(int index);
    ListResult select(int index);
    // Adds a copy of the profile file `file` under a new identifier, named after the file's
    // title ("(%d)" appended while taken; Refused when the title holds control characters). The
    // file is untrusted: it is refused unread above MaxImportBytes, and refused when it is no JSON
    // object with string "profilename" and "profileUUID", a "Device" array of objects, and "Guid"
    // members that name files inside the profile folder only. What the file lacks is completed from
    // the factory profile (refused when it cannot be, so every listed profile can be saved), and
    // every value the device records carry is held within its range; the result lists both kinds of
    // change. Stage DPIs are held to the ranges of the sensors set with set_sensors (without them,
    // only to the field's width).
    ListResult import_file(const std::filesystem::path& file);
    void set_sensors(SensorTable sensors) { sensors_ = std::move(sensors); }
    // Writes the profile file of entry `index` unchanged to `target`.
    ListResult export_file(int index, const std::filesystem::path& target);

  private:
    ListResult rebuild();
    ListResult write_list();
    void sync_entries();
    bool name_taken(std::string_view name, int except = -1) const;
    std::string new_identifier() const;
    Json::Value new_element(const std::string& name, const std::string& uuid) const;
    ListResult add_profile(const std::string& name, Json::Value profile);
    std::string uuid_at(int index) const;
    int follow(int index, const std::string& seen) const;
    // The opening steps of a change, under the folder's lock the caller holds: the list read
    // again (open_list), and for an entry, `index` moved to where the entry seen there is now.
    ListResult open_list(const platform::FolderLock& lock);
    ListResult open_entry(const platform::FolderLock& lock, int& index);

    std::filesystem::path folder_;
    std::filesystem::path default_file_;
    int device_type_ = 0;
    SensorTable sensors_;
    UuidClock clock_;
    Json::Value document_;
    std::vector<ProfileEntry> entries_;
    int selected_ = 0;
    ListStamp stamp_;
};

// Why an imported document is refused, or empty when it is acceptable (see import_file).
std::string import_refusal(const Json::Value& document);

// The profile file that the page and the command line follow: the selected entry's file after
// load() (which rebuilds a missing or damaged list). Empty when the list cannot be read or
// rebuilt.
std::filesystem::path selected_profile_path(const std::filesystem::path& profile_folder,
                                            const std::filesystem::path& default_file);

}  // namespace velqa::profile
