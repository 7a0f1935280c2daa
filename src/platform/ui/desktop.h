// The desktop's own services: its keyboard and mouse settings panels, the default browser, and
// the maker's web page address (configuration in DefaultData/DeviceConfig.json).
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::platform {

enum class DesktopSettings { Keyboard, Mouse };

// One command that opens a settings panel; `argument` may be null (the program takes none).
struct SettingsCommand {
    const char* program;
    const char* argument;
};

// A desktop's settings program. `desktop` is its name in XDG_CURRENT_DESKTOP.
struct SettingsPanelCandidate {
    const char* desktop;
    SettingsCommand keyboard;
    SettingsCommand mouse;
};

// The known settings programs, in the order they are tried.
std::span<const SettingsPanelCandidate> settings_panel_candidates();

// A resolved command: the program's full path and its arguments.
struct SettingsPanel {
    std::filesystem::path program;
    std::vector<std::string> arguments;
};

// The panel to start for `which`: the candidate of a desktop named in `current_desktop` (the
// colon-separated XDG_CURRENT_DESKTOP) when it is installed, else the first installed candidate.
// Programs are looked up in the absolute folders of `path` (colon-separated, as PATH). Nothing
// when none is installed.
std::optional<SettingsPanel> find_settings_panel(DesktopSettings which, std::string_view path,
                                                 std::string_view current_desktop);

// Starts the desktop's keyboard or mouse settings (found from PATH and XDG_CURRENT_DESKTOP),
// detached from this program. False, with a line in the debug output, when the desktop has no
// panel we know or it cannot be started.
bool open_desktop_settings(DesktopSettings which);

// Opens an address in the default browser. False for an empty or malformed address, or when the
// desktop cannot open it.
bool open_url(const std::string& url);

// The "MakerWebPage" member of a DeviceConfig.json: an http or https address. Empty when the file
// or member is missing, not text, or not such an address.
std::string read_maker_web_page(const std::filesystem::path& file);

// read_maker_web_page of the shipped DefaultData/DeviceConfig.json.
std::string maker_web_page();

// The "ProjectWebPage" member of a DeviceConfig.json (this program's own page), checked as
// read_maker_web_page checks its address; and that of the shipped file.
std::string read_project_web_page(const std::filesystem::path& file);
std::string project_web_page();

}  // namespace velqa::platform
