// The macro list "macro.config", the ".mac" file of each macro, and the list operations of the
// macro editor (new, rename, delete, select, save, import, export, row moves). Name rules and
// row moves are pure functions; MacroLibrary does the file work for the editor and velqactl.
#pragma once

#include <json/json.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "macro/macro_event.h"
#include "platform/folder_lock.h"
#include "profile/profile_records.h"

namespace velqa::macro {

inline constexpr std::size_t MaxMacros = 50;
inline constexpr std::size_t MaxEvents = 250;
inline constexpr int MacroFileVersion = 64;
// Far beyond any real macro file (250 events take some 25 kB); refused on import above.
inline constexpr std::size_t MaxImportFileSize = 1024 * 1024;
inline constexpr std::string_view MacroListName = "macro.config";
inline constexpr std::string_view MacroExtension = ".mac";

struct MacroEntry {
    std::string guid;  // "Guid": the identifier, also the ".mac" file's name
    std::string name;  // "MacroName", UTF-8
    bool operator==(const MacroEntry&) const = default;
};

// "MacroInfo" of a "macro.config" document; empty for anything else. A wrongly typed member
// reads as empty text, so that indices stay those of the file.
std::vector<MacroEntry> decode_macro_list(const Json::Value& document);
Json::Value encode_macro_list(const std::vector<MacroEntry>& entries);

// A ".mac" document: "Events", "Guid", "MacroName", "Version" 64.
Json::Value encode_macro_file(const std::vector<MacroEvent>& events, std::string_view guid,
                              std::string_view name);
// The events of a ".mac" document, read leniently; empty when it has no "Events" array.
std::vector<MacroEvent> decode_macro_events(const Json::Value& document);
// Strict reading of a file from elsewhere (see parse_event): a JSON object with an "Events"
// array of at most 250 valid events. Nothing, and the reason in `error`, otherwise.
std::optional<std::vector<MacroEvent>> parse_macro_file(std::string_view text,
                                                        std::string* error = nullptr);

// ---- Names ----
// Equal without regard to (ASCII) case.
bool same_name(std::string_view a, std::string_view b);
// "macro_N" with the smallest N from 1 that no name has.
std::string new_macro_name(const std::vector<std::string>& names);
// `base`, and while it is taken, the candidate + "_N" with N counting from 1 (abc, abc_1,
// abc_1_2, ...).
std::string import_macro_name(const std::vector<std::string>& names, std::string_view base);
enum class RenameCheck { Blank, Control, Taken, Ok };
// Blank for empty or white-space-only text; Control when it holds control characters
// (platform::has_control_characters); Taken when any name (the macro's own included) has it.
RenameCheck check_rename(const std::vector<std::string>& names, std::string_view typed);

// ---- Identifiers ----
using Clock = std::function<std::chrono::system_clock::time_point()>;
// "%d_%02d_%02d_%02d_%02d_%02d_%03d" of the local time (year ... millisecond).
std::string format_identifier(std::chrono::system_clock::time_point time);
// The identifier of clock(), advanced a millisecond at a time until no entry of the list and no
// file in `folder` (a dangling link included) has it.
std::string unique_identifier(const std::filesystem::path& folder,
                              const std::vector<MacroEntry>& entries, const Clock& clock);

// ---- Event rows ----
enum class RowMove { Up, Down, Top, Bottom };
// Moves row `selected`; returns its new index (the moved row stays selected). A selection
// outside the rows changes nothing and is returned as is.
int move_row(std::vector<MacroEvent>& rows, int selected, RowMove move);
// Removes row `selected`; returns the row to select next: the one now at that place, the last
// row when it was the last, -1 when none is left or nothing was removed.
int delete_row(std::vector<MacroEvent>& rows, int selected);

// ---- Macro references in key lists ----
bool is_macro_code(const profile::KeyCode& code);  // classes 0x70 and 0x71
// True when some key's current code is macro `index`.
bool uses_macro(const std::vector<profile::KeyAssignment>& keys, int index);
// After macro `deleted` is removed: keys on it get their default code, keys on a later macro
// follow it down by one. True when anything changed.
bool fix_macro_references(std::vector<profile::KeyAssignment>& keys, int deleted);

// ---- The folder ----
enum class MacroStatus {
    Ok,
    Unchanged,      // a blank rename: nothing happens
    ListFull,       // 50 macros
    NameTaken,      // rename to a name some macro has
    TooManyEvents,  // more than 250 events
    NoSuchMacro,    // index outside the list, or an identifier that names no file here
    Refused,        // an import file that is not a valid macro file, or a name (given, or an
                    // import file's) that holds control characters ("name_control_text")
    ReadFailed,
    WriteFailed,
};

struct MacroResult {
    MacroStatus status = MacroStatus::Ok;
    int index = -1;       // the macro created or changed
    std::string name;     // its name
    std::string message;  // language text id of what the user is told, when there is one
    std::string detail;   // why, in words (import refusals, file errors)
    bool ok() const { return status == MacroStatus::Ok; }
};

struct MacroSelection {
    std::string name;
    std::vector<MacroEvent> events;
};

// One folder's macros. Every change is written at once; a failed write changes nothing, in
// memory or on disk. Each change re-reads the list under the folder's lock first, so changes of
// other programs are kept; an index means the macro this object listed there, and NoSuchMacro
// is the result when another program removed it. Not thread-safe.
class MacroLibrary {
  public:
    // `clock` makes identifiers (the system clock when empty).
    explicit MacroLibrary(std::filesystem::path folder, Clock clock = {});

    // Reads "macro.config"; an unreadable or damaged one reads as an empty list, and its bytes
    // are kept as "macro.config.unreadable" before the list is next written.
    void load();

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path list_path() const { return folder_ / MacroListName; }
    // folder / (identifier + ".mac"); empty for an index outside the list or an identifier
    // that would name a file outside the folder.
    std::filesystem::path macro_path(int index) const;
    const std::vector<MacroEntry>& entries() const { return entries_; }
    std::vector<std::string> names() const;
    int size() const { return static_cast<int>(entries_.size()); }

    // Appends "macro_N" with a fresh identifier ("message_text_32" when full).
    MacroResult create();
    // Appends a macro named `name` as given (velqactl); a taken name is "message_text_5".
    MacroResult create_named(std::string_view name);
    // Blank text: Unchanged. A taken name: "message_text_5". Else the entry takes it as typed.
    MacroResult rename(int index, std::string_view typed);
    // Removes the entry and its ".mac" file. Key lists are the caller's (fix_macro_references).
    MacroResult remove(int index);
    // The entry's name and events (no events when the file is missing or unreadable).
    std::optional<MacroSelection> select(int index) const;
    std::vector<MacroEvent> load_events(int index) const;
    // Writes the ".mac" file; more than 250 events are refused ("message_text_17").
    MacroResult save_events(int index, const std::vector<MacroEvent>& events);
    // A macro named after the file (import_macro_name) holding a byte-for-byte copy of it.
    // The file must be a regular file of at most MaxImportFileSize bytes that parse_macro_file
    // accepts; otherwise Refused with the reason, and nothing changes.
    MacroResult import_file(const std::filesystem::path& file);
    // Copies the macro's ".mac" file to `target` (written atomically); a macro never saved is
    // exported as a file without events.
    MacroResult export_file(int index, const std::filesystem::path& target) const;

  private:
    bool valid(int index) const { return index >= 0 && index < size(); }
    int reload(int index);
    std::optional<MacroResult> lock_failure(const platform::FolderLock& lock) const;
    MacroResult append(std::string name, const std::string* file_bytes);
    bool write_list(const std::vector<MacroEntry>& entries, std::string* error);

    std::filesystem::path folder_;
    Clock clock_;
    std::vector<MacroEntry> entries_;
    bool damaged_list_ = false;
};

}  // namespace velqa::macro
