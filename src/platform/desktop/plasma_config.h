// KDE's configuration files (kcminputrc, kdeglobals): INI text with [Group] headers and
// key=value lines, read as KDE's own reader (KConfig) reads them and edited line by line so that
// everything else in them stays as it was.
//
// What KConfig does, and so what these do: a group that appears more than once is one group,
// and of a key given more than once the later value wins; a value marked immutable ("Key[$i]=",
// every key of a "[Group][$i]" section, every key of a file with a "[$i]" line) is kept against
// any later one and may not be changed; "Key[$d]" deletes the key; "Key[de]" is another key (a
// translation); "[A][B]" is the group B inside A, not A.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::platform::desktop {

// The value of `key` in `[group]`, as KDE reads it. Empty when either is missing or the key is
// deleted.
std::optional<std::string> ini_value(std::string_view text, std::string_view group,
                                     std::string_view key);

// `text` with `key` in `[group]` set to `value`, so that KDE reads `value`: the line KDE takes
// the value from gets the new value (its flags, such as [$e], kept), or the key is added at the
// end of the group's last section, or the group is added at the end of the text. Every other
// line stays byte for byte. Empty, with why in `error`, when KDE holds the value immutable.
std::optional<std::string> with_ini_value(std::string_view text, std::string_view group,
                                          std::string_view key, std::string_view value,
                                          std::string* error = nullptr);

// Sets the keys of `[group]` in `file` (missing: created) and writes it atomically. A key KDE
// holds immutable is left as it is and the others are written; a file that is immutable as a
// whole, or read-only (no write permission in its mode, whoever we are), is not written at all.
// False, with why in `error`, when a key was refused or the file cannot be read or written.
struct IniEntry {
    std::string key;
    std::string value;
};
bool set_ini_values(const std::filesystem::path& file, std::string_view group,
                    const std::vector<IniEntry>& entries, std::string* error = nullptr);

// The name of a nested group as the functions above take it: its parts as KDE writes each
// between brackets ("]" as \x5d, "[" as \x5b, "\\" doubled, tab and line ends as \t \n \r,
// other control characters as \xNN),
// joined by '\x1d' as KConfig joins them. {"Libinput", "1133", "49291", "G502"} is the group
// KDE writes as "[Libinput][1133][49291][G502]".
std::string kde_group_name(const std::vector<std::string_view>& parts);

}  // namespace velqa::platform::desktop
