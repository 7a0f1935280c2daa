// Which profile of a kind follows which application: "AppBindings.json" beside the kind's
// "ProfileList.ini". Profiles are named by their uuid, so a rename keeps its bindings; a copy
// gets none; a deleted profile's bindings go with it. Like the profile list, every operation
// re-reads the file and writes it last under the folder's lock, so the window and any number
// of command-line runs agree through the file. The profile list's own format is unchanged.
//
// The file: {"Version":1,"Default":"<uuid>","Bindings":[{"Uuid":"<uuid>","Apps":["cs2"]}]}.
// Members this version does not know are kept through a rewrite.
//
// Switching on or off is one setting for every kind, so it does not live in a kind's file: it
// is "AutoSwitch.json" ({"Version":1,"AutoSwitch":false}) in the parent of the profile folder,
// which is the user data folder that holds every kind's folder. Each kind's store reads the
// same file, and one set_auto_switch turns switching off for all of them. Give the store a
// profile folder inside a folder of our own (as profile_folder() does).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <json/json.h>

#include "profile/profile_list.h"

namespace velqa::profile {

inline constexpr char AppBindingsName[] = "AppBindings.json";
inline constexpr char AutoSwitchName[] = "AutoSwitch.json";
// A file above this is no file of ours: it is kept aside unread, and a write that would pass it
// is refused. Thousands of bindings fit.
inline constexpr std::uintmax_t MaxBindingsBytes = 1024 * 1024;
inline constexpr std::size_t MaxAppIdBytes = 255;

enum class BindingStatus {
    Done,
    BadAppId,     // empty, too long, or holds control characters
    NotBound,     // unbind: the application is not bound to that profile
    WriteFailed,  // the file could not be written, or the lock not taken in time
};

struct BindingResult {
    BindingStatus status = BindingStatus::Done;
    std::string detail;  // why, for WriteFailed
    bool ok() const { return status == BindingStatus::Done; }
};

// A short English phrase for a status ("the application id is not valid"), for the command line.
const char* status_text(BindingStatus status);

// An application id the store accepts: not blank, at most MaxAppIdBytes bytes of well-formed
// UTF-8, no control characters.
bool valid_app_id(std::string_view app_id);

struct AppBinding {
    std::string uuid;                  // the profile's
    std::vector<std::string> app_ids;  // in the order they were added
    bool operator==(const AppBinding&) const = default;
};

class AppBindings {
  public:
    explicit AppBindings(std::filesystem::path profile_folder);

    // Reads the file; a missing file is "no bindings, no default, switching on". A damaged
    // file is kept aside (never overwritten unread) and reads as empty. A file that is partly
    // usable (an entry or id of the wrong type or an invalid id) is kept aside as it was and
    // read without the unusable parts. Reads take no lock unless a damaged file must be kept
    // aside, so a hung lock holder never stalls a reader. The copy kept aside is the file's
    // name + ".unreadable", as for the profile list. Costs two stats when neither file changed
    // since the last load or write.
    BindingResult load();
    // Reads only AutoSwitch.json, as load() does: what auto_switch() says, without the cost of
    // the bindings file.
    BindingResult load_auto_switch();
    // True when the file changed since the last load or write.
    bool changed_on_disk() const;

    const std::vector<AppBinding>& bindings() const { return bindings_; }
    const std::string& default_uuid() const { return default_uuid_; }
    bool auto_switch() const { return auto_switch_; }

    // The uuid bound to `app_id` (exact match first, then ignoring ASCII letter case); empty
    // when it is bound to none.
    std::string bound_uuid(std::string_view app_id) const;
    std::vector<std::string> apps_of(std::string_view uuid) const;

    // An application is bound to at most one profile of a kind: binding it moves it.
    BindingResult bind(const std::string& uuid, const std::string& app_id);
    BindingResult unbind(const std::string& uuid, const std::string& app_id);
    // An empty uuid clears the default.
    BindingResult set_default(const std::string& uuid);
    BindingResult set_auto_switch(bool on);
    // Drops every binding of `uuid` (and the default when it is that profile).
    BindingResult forget(const std::string& uuid);

    std::filesystem::path file() const { return folder_ / AppBindingsName; }
    std::filesystem::path auto_switch_file() const {
        return folder_.parent_path() / AutoSwitchName;
    }

  private:
    BindingResult read_bindings(bool keep_damaged);
    BindingResult read_auto_switch(bool keep_damaged);
    BindingResult write_bindings(const std::vector<AppBinding>& bindings,
                                 const std::string& default_uuid);
    template <class Change>
    BindingResult change(Change&& apply);

    std::filesystem::path folder_;
    Json::Value document_;  // as last read, for the members we do not know
    std::vector<AppBinding> bindings_;
    std::string default_uuid_;
    bool auto_switch_ = true;
    bool loaded_ = false;
    // The two files as last read or written.
    ListStamp bindings_stamp_;
    ListStamp switch_stamp_;
};

}  // namespace velqa::profile
