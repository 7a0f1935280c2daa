// Writing the mouse's buttons as the Buttons tab's "write to mouse" does: the macros the keys
// use, then the key table, each through the core's download.
#pragma once

#include <filesystem>
#include <vector>

#include "macro/macro_image.h"
#include "mouse_session.h"
#include "profile/profile_records.h"

namespace velqa::ctl {

// The mouse's macro folder: the same one the window's Macros tab uses.
std::filesystem::path mouse_macro_folder();

// The mouse's macros as `macro list` numbers them, with their names, for the shell completion.
// Read only: pressing Tab creates no folder and no file.
std::vector<Candidate> listed_macros();

// Key-list entry i sits at device key position i; the mouse's data files give no other map.
macro::KeyPositions mouse_key_positions(std::size_t key_count);

// Macros, then (only when they fit and were written) the key table built from `keys` over the
// table `session` read. Returns an exit code; a refusal or failure is explained on stderr.
int write_keys_and_macros(MouseSession& session, const std::vector<profile::KeyAssignment>& keys);

}  // namespace velqa::ctl
