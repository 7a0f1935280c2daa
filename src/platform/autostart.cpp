#include "platform/autostart.h"

#include <cstdlib>
#include <sstream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/folders.h"

namespace velqa::platform {

namespace fs = std::filesystem;

fs::path autostart_folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return fs::path(config) / "autostart";
    // Only a real home: no session looks for an entry in the stand-in under the temporary folder.
    const fs::path home = home_folder();
    return home.empty() ? fs::path() : home / ".config" / "autostart";
}

std::string autostart_entry(std::string_view command) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=VELQA R260\n"
        "Comment=Configuration utility for the ZARN VELQA R260 mouse, in the tray\n"
        "Icon=velqa\n"
        // Once the program is removed, the session skips the entry instead of failing to start it.
        "TryExec=";
    text += command.substr(0, command.find(' '));
    text += "\nExec=";
    text += command;
    text +=
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return text;
}

bool autostart_enabled(const fs::path& folder) {
    std::string text;
    if (!read_whole_file(folder / AutostartFileName, text))
        return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

bool set_autostart(const fs::path& folder, bool enabled, std::string* error) {
    const fs::path file = folder / AutostartFileName;
    std::error_code ec;
    if (!enabled) {
        if (fs::remove(file, ec) || !ec)
            return true;
        if (error != nullptr)
            *error = file.string() + ": " + ec.message();
        return false;
    }
    fs::create_directories(folder, ec);
    if (ec) {
        if (error != nullptr)
            *error = folder.string() + ": " + ec.message();
        return false;
    }
    return write_file_atomically(file, autostart_entry(), error);
}

}  // namespace velqa::platform
