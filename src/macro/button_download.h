// Writing the mouse's buttons: the macros its keys use, then the key table. The Buttons tab's
// "write to mouse", a profile apply, a macro delete and velqactl all go through write_buttons,
// so that the device receives the same bytes whoever asks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "device/link/command_channel.h"
#include "macro/macro_image.h"
#include "profile/profile_records.h"

namespace velqa::macro {

// Key-list entry i sits at device key position i: the mouse's data files give no other map.
KeyPositions identity_key_positions(std::size_t key_count);

// When the macro write fails, the Buttons tab keeps the key table as it is; a profile apply
// still writes it so that the buttons at least match the profile.
enum class AfterMacroFailure { SkipKeys, WriteKeys };

struct ButtonWrite {
    int macros = MacrosDone;      // download_macros' result (positive: events too many)
    bool keys_attempted = false;  // the key table was sent (or tried)
    int keys = 0;                 // download_key_table's result when attempted
    std::vector<int> used;        // the macro slots, in slot order

    bool overflow() const { return macros > 0; }
    bool ok() const { return macros == MacrosDone && keys_attempted && keys == 1; }
};

// `last_read` is the key table as last read from the mouse (3 bytes per device key);
// `key_count` the device's key count. A macro image that does not fit writes nothing at all.
ButtonWrite write_buttons(link::CommandChannel& channel, const std::filesystem::path& macro_folder,
                          std::span<const std::uint8_t> last_read, int key_count,
                          const std::vector<profile::KeyAssignment>& keys,
                          AfterMacroFailure after_failure);

// ---- Macro references after a delete, across the profiles of the profile list ----

struct ProfileFixOutcome {
    std::vector<std::filesystem::path> changed;  // stored with the references moved
    std::vector<std::filesystem::path> failed;   // could not be stored (they keep the old list)
    std::string list_error;                      // the profile list itself could not be read
};

// Steps over every profile of the list in `profile_folder` except `skip` (the caller's current
// profile, whose data object it fixes in memory), moving the references to macro `deleted`
// (fix_macro_references) and storing each profile that changed.
ProfileFixOutcome fix_macro_references_in_profiles(const std::filesystem::path& profile_folder,
                                                   const std::filesystem::path& default_profile,
                                                   int deleted, const std::filesystem::path& skip);

}  // namespace velqa::macro
