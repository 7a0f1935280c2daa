#include "platform/diagnostics.h"

#include "platform/number_text.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>

#ifndef VELQA_VERSION
#define VELQA_VERSION "unknown"
#endif

namespace velqa::platform {
namespace fs = std::filesystem;

namespace {

bool is_word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Replaces every whole-word `name` in `text` by `replacement`.
void replace_word(std::string& text, const std::string& name, std::string_view replacement) {
    std::size_t at = 0;
    while ((at = text.find(name, at)) != std::string::npos) {
        const std::size_t end = at + name.size();
        const bool starts = at == 0 || !is_word_char(text[at - 1]);
        const bool ends = end == text.size() || !is_word_char(text[end]);
        if (starts && ends) {
            text.replace(at, name.size(), replacement);
            at += replacement.size();
        } else {
            at = end;
        }
    }
}

// Replaces the folder `home` (and what lies under it) by "~", but not a sibling such as
// "/home/alice2".
void replace_home(std::string& text, std::string home) {
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    if (home.size() <= 1)
        return;
    std::size_t at = 0;
    while ((at = text.find(home, at)) != std::string::npos) {
        const std::size_t end = at + home.size();
        if (end == text.size() || text[end] == '/' || !is_word_char(text[end])) {
            text.replace(at, home.size(), "~");
            at += 1;
        } else {
            at = end;
        }
    }
}

std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

std::string mode_text(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777u);
    return text;
}

}  // namespace

const char* program_version() {
    return VELQA_VERSION;
}

std::vector<fs::path> default_udev_rule_folders() {
    return {"/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
}

HidNodeFacts describe_node_access(const std::string& node) {
    HidNodeFacts facts;
    facts.node = node;
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0) {
        facts.error = errno == ENOENT ? "no such node" : "cannot be looked at";
        return facts;
    }
    facts.found = true;
    facts.mode = st.st_mode & 07777u;
    if (st.st_uid == 0) {
        facts.owner = "root";
    } else if (st.st_uid == ::getuid()) {
        facts.owner = "you";
    } else {
        facts.owner = "uid " + std::to_string(st.st_uid);
    }
    if (const group* g = ::getgrgid(st.st_gid); g != nullptr && g->gr_name != nullptr) {
        facts.group = g->gr_name;
    } else {
        facts.group = "gid " + std::to_string(st.st_gid);
    }
    facts.readable = ::access(node.c_str(), R_OK) == 0;
    facts.writable = ::access(node.c_str(), W_OK) == 0;
    return facts;
}

std::string distribution_name(const fs::path& os_release) {
    std::ifstream in(os_release);
    std::string line, pretty, name, version;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        std::string value = unquote(line.substr(eq + 1));
        if (key == "PRETTY_NAME")
            pretty = std::move(value);
        else if (key == "NAME")
            name = std::move(value);
        else if (key == "VERSION_ID")
            version = std::move(value);
    }
    if (!pretty.empty())
        return pretty;
    if (!name.empty())
        return version.empty() ? name : name + " " + version;
    return "unknown";
}

std::string distribution_name() {
    std::error_code ec;
    if (fs::exists("/etc/os-release", ec))
        return distribution_name("/etc/os-release");
    return distribution_name("/usr/lib/os-release");
}

std::vector<fs::path> installed_udev_rules(const std::vector<fs::path>& folders) {
    std::vector<fs::path> found;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        if (fs::is_regular_file(folder / kUdevRuleName, ec))
            found.push_back(folder / kUdevRuleName);
    }
    return found;
}

namespace {

// A member of this user's entry in the user database.
std::string passwd_member(char* passwd::*member) {
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->*member != nullptr) {
        return result->*member;
    }
    return {};
}

}  // namespace

std::string current_user_name() {
    return passwd_member(&passwd::pw_name);
}

std::string current_home_folder() {
    return passwd_member(&passwd::pw_dir);
}

std::string current_host_name() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return name.data();
}

std::string build_diagnostic_report(const DiagnosticFacts& facts) {
    std::string r;
    auto line = [&r](const std::string& text) {
        r += text;
        r += '\n';
    };
    line("ZARN VELQA R260 diagnostic report");
    line("Program: velqa " + facts.program_version);
    line("Qt: " + facts.qt_version);
    line("Distribution: " + facts.distribution);
    const SessionFacts& s = facts.session;
    line("Desktop: " + (s.current_desktop.empty() ? std::string("unknown") : s.current_desktop) +
         "; session type: " + (s.session_type.empty() ? std::string("unknown") : s.session_type) +
         "; WAYLAND_DISPLAY " + (s.wayland_display ? "set" : "not set") + "; DISPLAY " +
         (s.x11_display ? "set" : "not set"));
    line("HID backend: " + facts.hid_backend);

    line("");
    line("Linked devices:");
    if (facts.devices.empty())
        line("  none");
    for (const LinkedDeviceFacts& d : facts.devices) {
        std::string text =
            "  " + d.name + ": " + d.link + ", " + usb_ids_text(d.vendor_id, d.product_id);
        for (const std::string& firmware : d.firmware)
            text += ", firmware " + firmware;
        line(text);
    }

    line("");
    line("HID nodes of supported devices:");
    if (facts.nodes.empty())
        line("  none found");
    for (const HidNodeFacts& n : facts.nodes) {
        std::string text = "  " + n.node + " " + usb_ids_text(n.vendor_id, n.product_id) +
                           " interface " + std::to_string(n.interface_number);
        if (!n.product.empty())
            text += " \"" + n.product + "\"";
        if (!n.found) {
            text += ": " + n.error;
        } else {
            text += ": mode " + mode_text(n.mode) + " " + n.owner + ":" + n.group + ", you may " +
                    (n.readable && n.writable ? "read and write"
                     : n.readable             ? "read only"
                     : n.writable             ? "write only"
                                              : "not open it");
        }
        line(text);
    }

    line("");
    std::string folders;
    for (const fs::path& folder : facts.udev_rule_folders)
        folders += (folders.empty() ? "" : ", ") + folder.string();
    if (facts.udev_rules_found.empty()) {
        line(std::string("udev rule ") + kUdevRuleName + ": not installed (looked in " + folders +
             ")");
    } else {
        std::string where;
        for (const fs::path& file : facts.udev_rules_found)
            where += (where.empty() ? "" : ", ") + file.string();
        line(std::string("udev rule ") + kUdevRuleName + ": installed (" + where + ")");
    }
    line("Data folder: " + facts.data_folder.string());

    line("");
    line("Last " + std::to_string(facts.debug_lines.size()) + " debug lines:");
    for (std::string debug : facts.debug_lines) {
        // A line that holds several keeps the report's indentation.
        for (std::size_t at = 0; (at = debug.find('\n', at)) != std::string::npos; at += 3)
            debug.replace(at, 1, "\n  ");
        line("  " + debug);
    }

    // Nothing personal beyond the data folder: the home folder, then the longer name first, so
    // that a host named after its user goes as a whole.
    replace_home(r, facts.session.home);
    std::vector<std::pair<std::string, std::string_view>> names = {{facts.user_name, "<user>"},
                                                                   {facts.host_name, "<host>"}};
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [name, replacement] : names) {
        if (name.size() >= 2)
            replace_word(r, name, replacement);
    }
    return r;
}

}  // namespace velqa::platform
