// What the program knows about itself and its surroundings, and the plain-text report a user
// pastes into a bug report. The facts are gathered by the caller (the window adds what only it
// knows); the report is built from them alone, so that what it shows and hides is tested
// without a display.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velqa::platform {

// The program's version, from the build ("0.1.0").
const char* program_version();

// The name of the udev rule the package installs, and the folders udev reads rules from.
inline constexpr const char* kUdevRuleName = "70-zarn-velqa-r260.rules";
std::vector<std::filesystem::path> default_udev_rule_folders();

// The session as main read it from the environment, once.
struct SessionFacts {
    std::string current_desktop;  // XDG_CURRENT_DESKTOP
    std::string session_type;     // XDG_SESSION_TYPE
    bool wayland_display = false;
    bool x11_display = false;
    std::string home;  // HOME: only so that the report can hide it
    // The locale of messages: LC_ALL, else LC_MESSAGES, else LANG (the first one set).
    std::string messages_locale = {};
};

// A HID node of a supported device and who may open it.
struct HidNodeFacts {
    std::string node;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t interface_number = 0;
    std::string product;
    bool found = false;  // false: the node could not be looked at (`error` says why)
    std::string error;
    unsigned mode = 0;  // permission bits
    std::string owner;  // "root", "you" or "uid N"
    std::string group;  // the group's name, else "gid N"
    bool readable = false;
    bool writable = false;
};

// Mode, owner, group and this user's access of `node`.
HidNodeFacts describe_node_access(const std::string& node);

// A device the window has linked now.
struct LinkedDeviceFacts {
    std::string name;
    std::string link;                   // "cable" or "2.4G"
    std::vector<std::string> firmware;  // "mouse V0106", "receiver V0102"
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
};

struct DiagnosticFacts {
    std::string program_version;
    std::string qt_version;
    std::string distribution;
    SessionFacts session;
    std::string hid_backend;
    std::vector<LinkedDeviceFacts> devices;
    std::vector<HidNodeFacts> nodes;
    std::vector<std::filesystem::path> udev_rule_folders;  // where the rule was looked for
    std::vector<std::filesystem::path> udev_rules_found;
    std::filesystem::path data_folder;
    std::vector<std::string> debug_lines;
    // Only so that the report can leave them out.
    std::string user_name;
    std::string host_name;
};

// PRETTY_NAME of an os-release file (else NAME VERSION_ID); "unknown" when there is none.
std::string distribution_name(const std::filesystem::path& os_release);
// /etc/os-release, else /usr/lib/os-release.
std::string distribution_name();

// The rule files named kUdevRuleName in `folders` that exist.
std::vector<std::filesystem::path> installed_udev_rules(
    const std::vector<std::filesystem::path>& folders);

// This user's login name, home folder (from the user database) and the host's name; empty when
// unknown.
std::string current_user_name();
std::string current_home_folder();
std::string current_host_name();

// The report, plain text. The home folder shows as "~"; the user's and the host's names never
// appear (they become "<user>" and "<host>").
std::string build_diagnostic_report(const DiagnosticFacts& facts);

}  // namespace velqa::platform
