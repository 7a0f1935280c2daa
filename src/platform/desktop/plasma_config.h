// KDE's configuration files (kcminputrc, kdeglobals): INI text with [Group] headers and
// key=value lines, edited line by line so that everything else in them stays as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::platform::desktop {

// The value of `key` in `[group]`; a key with a locale or flag suffix ("Key[$i]") is the same
// key. Empty when either is missing.
std::optional<std::string> ini_value(std::string_view text, std::string_view group,
                                     std::string_view key);
// `text` with `key` in `[group]` set to `value`: the key's line replaced in place, or added at
// the end of the group, or the group added at the end of the text.
std::string with_ini_value(std::string_view text, std::string_view group, std::string_view key,
                           std::string_view value);

// Sets the keys of `[group]` in `file` (missing: created) and writes it atomically. False, with
// why in `error`, when it cannot be read or written; the file then stays as it was.
struct IniEntry {
    std::string key;
    std::string value;
};
bool set_ini_values(const std::filesystem::path& file, std::string_view group,
                    const std::vector<IniEntry>& entries, std::string* error = nullptr);

// The name of a nested group as KDE writes it between the outer brackets of its header:
// {"Libinput", "1133", "49291", "G502"} is "Libinput][1133][49291][G502", each part escaped as
// KDE escapes it ("]" as \x5d, "[" as \x5b, "\\" doubled, control characters as \xNN).
std::string kde_group_name(const std::vector<std::string_view>& parts);

// Whether KDE's reader holds `key` of `group` immutable in `text`: a "[$i]" line before the
// first group, a "[group][$i]" header anywhere, or "key[$i]=" in the group. KDE then ignores
// any change, so the caller must refuse it. An empty key asks about the group.
bool ini_immutable(std::string_view text, std::string_view group, std::string_view key);

}  // namespace velqa::platform::desktop
