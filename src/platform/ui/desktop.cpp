#include "platform/ui/desktop.h"

#include <unistd.h>

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <cstdlib>

#include "platform/ascii_text.h"
#include "platform/debug_output.h"
#include "platform/folders.h"
#include "platform/json_read.h"

namespace velqa::platform {
namespace {

constexpr SettingsPanelCandidate kCandidates[] = {
    {"GNOME", {"gnome-control-center", "keyboard"}, {"gnome-control-center", "mouse"}},
    {"KDE", {"systemsettings", "kcm_keyboard"}, {"systemsettings", "kcm_mouse"}},
    {"XFCE", {"xfce4-keyboard-settings", nullptr}, {"xfce4-mouse-settings", nullptr}},
    {"MATE", {"mate-keyboard-properties", nullptr}, {"mate-mouse-properties", nullptr}},
    {"X-Cinnamon", {"cinnamon-settings", "keyboard"}, {"cinnamon-settings", "mouse"}},
    {"LXQt", {"lxqt-config-input", nullptr}, {"lxqt-config-input", nullptr}},
};

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

bool same_name(std::string_view a, std::string_view b) {
    return equals_ignoring_case(a, b);
}

// Relative PATH entries (and empty ones, meaning ".") would start whatever sits in the current
// folder under a trusted name, so only absolute folders count.
std::optional<std::filesystem::path> find_program(std::string_view name, std::string_view path) {
    for (std::string_view folder : split(path, ':')) {
        if (folder.empty() || folder.front() != '/')
            continue;
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<SettingsPanel> resolve(const SettingsPanelCandidate& candidate, DesktopSettings which,
                                     std::string_view path) {
    const SettingsCommand& command =
        which == DesktopSettings::Keyboard ? candidate.keyboard : candidate.mouse;
    auto program = find_program(command.program, path);
    if (!program)
        return std::nullopt;
    SettingsPanel panel{*program, {}};
    if (command.argument != nullptr)
        panel.arguments.emplace_back(command.argument);
    return panel;
}

std::string_view environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

bool is_web_address(const QUrl& url) {
    return url.isValid() && (url.scheme() == "http" || url.scheme() == "https") &&
           !url.host().isEmpty();
}

}  // namespace

std::span<const SettingsPanelCandidate> settings_panel_candidates() {
    return kCandidates;
}

std::optional<SettingsPanel> find_settings_panel(DesktopSettings which, std::string_view path,
                                                 std::string_view current_desktop) {
    // The running desktop's own panel first: another desktop's panel would change settings
    // this session does not use.
    for (std::string_view desktop : split(current_desktop, ':')) {
        for (const SettingsPanelCandidate& candidate : kCandidates) {
            if (!same_name(desktop, candidate.desktop))
                continue;
            if (auto panel = resolve(candidate, which, path))
                return panel;
        }
    }
    for (const SettingsPanelCandidate& candidate : kCandidates) {
        if (auto panel = resolve(candidate, which, path))
            return panel;
    }
    return std::nullopt;
}

bool open_desktop_settings(DesktopSettings which) {
    const char* what = which == DesktopSettings::Keyboard ? "keyboard" : "mouse";
    const auto panel =
        find_settings_panel(which, environment("PATH"), environment("XDG_CURRENT_DESKTOP"));
    if (!panel) {
        debug_printf("no %s settings panel of a known desktop is installed", what);
        return false;
    }
    QStringList arguments;
    for (const std::string& argument : panel->arguments)
        arguments << QString::fromStdString(argument);
    if (!QProcess::startDetached(QString::fromStdString(panel->program.string()), arguments)) {
        debug_printf("cannot start the %s settings panel %s", what, panel->program.c_str());
        return false;
    }
    return true;
}

bool open_url(const std::string& url) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (url.empty() || !address.isValid() || address.scheme().isEmpty()) {
        debug_printf("not an address to open: \"%s\"", url.c_str());
        return false;
    }
    if (!QDesktopServices::openUrl(address)) {
        debug_printf("the desktop cannot open %s", url.c_str());
        return false;
    }
    return true;
}

static std::string web_page_member(const std::filesystem::path& file, const char* name) {
    const std::string text = to_text(member(read_json_file(file), name));
    return is_web_address(QUrl(QString::fromStdString(text), QUrl::StrictMode)) ? text
                                                                                : std::string();
}

std::string read_maker_web_page(const std::filesystem::path& file) {
    return web_page_member(file, "MakerWebPage");
}

std::string read_project_web_page(const std::filesystem::path& file) {
    return web_page_member(file, "ProjectWebPage");
}

std::string project_web_page() {
    return read_project_web_page(resources_folder() / "DefaultData" / "DeviceConfig.json");
}

std::string maker_web_page() {
    std::string address =
        read_maker_web_page(resources_folder() / "DefaultData" / "DeviceConfig.json");
    if (address.empty())
        debug_output("DeviceConfig.json: no usable MakerWebPage");
    return address;
}

}  // namespace velqa::platform
