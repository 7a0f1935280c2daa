// Starting the program with the desktop session: an XDG autostart entry.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velqa::platform {

// The entry's file name inside the autostart folder.
inline constexpr char AutostartFileName[] = "velqa.desktop";
// What the session runs: the program, hidden in the notification area.
inline constexpr char AutostartCommand[] = "velqa --hidden";

// ${XDG_CONFIG_HOME:-$HOME/.config}/autostart (an XDG_CONFIG_HOME that is not absolute is
// ignored, as the XDG base directory rules say; without HOME, the user database's home folder).
// Empty when there is no home folder.
std::filesystem::path autostart_folder();

// The text of the desktop entry that runs `command`.
std::string autostart_entry(std::string_view command = AutostartCommand);

// True when `folder` holds our entry and the session would run it (an entry the user switched
// off with Hidden=true or X-GNOME-Autostart-enabled=false does not count).
bool autostart_enabled(const std::filesystem::path& folder);

// Writes the entry atomically into `folder` (created when missing), or removes it. Removing an
// entry that is not there succeeds. False, with the reason in `error`, when the folder or the
// file cannot be written or removed; an existing entry then stays as it was.
bool set_autostart(const std::filesystem::path& folder, bool enabled, std::string* error = nullptr);

}  // namespace velqa::platform
