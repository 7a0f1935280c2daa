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

}  // namespace velqa::platform::desktop
