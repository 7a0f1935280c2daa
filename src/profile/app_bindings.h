// Which profile of a kind follows which application: "AppBindings.json" beside the kind's
// "ProfileList.ini". Profiles are named by their uuid, so a rename keeps its bindings; a copy
// gets none; a deleted profile's bindings go with it. Like the profile list, every operation
// re-reads the file and writes it last under the folder's lock, so the window and any number
// of command-line runs agree through the file. The profile list's own format is unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::profile {

inline constexpr char AppBindingsName[] = "AppBindings.json";

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

struct AppBinding {
    std::string uuid;                  // the profile's
    std::vector<std::string> app_ids;  // in the order they were added
};

class AppBindings {
  public:
    explicit AppBindings(std::filesystem::path profile_folder);

    // Reads the file; a missing file is "no bindings, no default, switching on". A damaged
    // file is kept aside (never overwritten unread) and reads as empty.
    BindingResult load();
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

  private:
    std::filesystem::path folder_;
    std::vector<AppBinding> bindings_;
    std::string default_uuid_;
    bool auto_switch_ = true;
};

}  // namespace velqa::profile
