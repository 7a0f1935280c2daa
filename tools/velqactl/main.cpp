// velqactl: the command-line client over the same core as the desktop program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_registry.h"
#include "completion.h"
#include "device/link/supported_devices.h"
#include "platform/folders.h"
#include "platform/hid/hid_backend.h"
#include "profile/profile_list.h"
#include "velqa_version.h"

namespace {

std::vector<velqa::ctl::Command> sorted_commands() {
    auto table = velqa::ctl::commands();
    std::sort(table.begin(), table.end(),
              [](const auto& a, const auto& b) { return a.word < b.word; });
    return table;
}

void print_usage(FILE* out) {
    std::fprintf(out,
                 "usage: velqactl COMMAND [ARGS...]\n"
                 "       velqactl --help | --version\n\ncommands:\n");
    for (const auto& c : sorted_commands())
        std::fprintf(out, "%s\n", c.usage.c_str());
    std::fprintf(out,
                 "\nexit codes: 0 success, 1 the operation failed, 2 usage error, 3 no matching "
                 "device\nenvironment: VELQA_HID=sim:DIR uses the simulator's nodes in DIR;\n"
                 "  VELQA_UPDATE_URL=URL asks the update server at URL instead of the configured "
                 "one\n");
}

// The same table for help2man, which builds the manual page from it: each entry is one paragraph
// (its wrapped lines joined), with two spaces between its synopsis and its description, so that
// help2man tells the two apart. The exit codes and the environment are in the page's prose.
void print_manual_usage() {
    std::printf(
        "Usage: velqactl COMMAND [ARGS...]\n  or:  velqactl --help | --version\n\n"
        "Commands:\n");
    std::string paragraph;
    const auto flush = [&paragraph] {
        if (!paragraph.empty())
            std::printf("%s\n\n", paragraph.c_str());
        paragraph.clear();
    };
    for (const auto& c : sorted_commands()) {
        for (const std::string& line : velqa::ctl::split(c.usage, '\n')) {
            const auto indent = line.find_first_not_of(' ');
            if (indent == std::string::npos)
                continue;
            // Entries and notes start left of the description column; the rest continues them,
            // as do a note's own further lines.
            const auto start = paragraph.find_first_not_of(' ');
            if (indent == 2 || (indent < 8 && indent != start)) {
                flush();
                paragraph = line;
                continue;
            }
            const bool entry = start == 2;
            const bool has_description = paragraph.find("  ", start) != std::string::npos;
            paragraph += (entry && !has_description ? "  " : " ") + line.substr(indent);
        }
    }
    flush();
}

// The environment is read here, once; commands get the backend and address it names.
velqa::ctl::Context make_context() {
    const char* update_url = std::getenv("VELQA_UPDATE_URL");
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    const char* keyboard_config = std::getenv("VELQA_KEYBOARD_CONFIG");
    auto devices =
        velqa::link::load_device_data(velqa::platform::resources_folder() / "DefaultData",
                                      keyboard_config != nullptr ? keyboard_config : "");
    for (const auto& problem : devices.problems)
        std::fprintf(stderr, "velqactl: device file not used: %s\n", problem.c_str());
    auto hid = velqa::platform::hid::backend_from_environment();
    std::string why;
    const auto lock_folder =
        velqa::platform::runtime_folder(runtime_dir != nullptr ? runtime_dir : "", &why);
    // Another user's folder at our name switches the device locks off: never silently.
    if (lock_folder.empty()) {
        std::fprintf(stderr,
                     "velqactl: the device is not locked against our other programs: no private "
                     "runtime folder (%s)\n",
                     why.c_str());
    }
    hid->set_lock_folder(lock_folder);
    return velqa::ctl::Context{std::move(hid), update_url != nullptr ? update_url : "",
                               velqa::platform::download_folder(), std::move(devices.catalog)};
}

// The profiles as `velqactl profile list` prints them, for completing a profile number. Read
// without changing anything: pressing Tab creates no folder or profile, moves no damaged list
// aside, and waits on no lock (while another program holds it, nothing is offered).
std::vector<velqa::ctl::Candidate> listed_profiles() {
    const std::filesystem::path data = velqa::platform::user_data_location();
    if (data.empty())
        return {};
    velqa::profile::ProfileList list(data / velqa::profile::KindMouse, {});
    if (!list.peek().ok())
        return {};
    std::vector<velqa::ctl::Candidate> out;
    for (int i = 0; i < list.size(); ++i) {
        // One candidate per line, and nothing a terminal would act on: a name is shown as text.
        out.push_back({std::to_string(i),
                       velqa::ctl::shown(list.entries()[static_cast<std::size_t>(i)].name)});
    }
    return out;
}

// The hidden `__complete WORD...` the shell completions call: one candidate a line, "value" or
// "value<TAB>description".
int print_completions(const std::vector<std::string>& words) {
    for (const auto& c : velqa::ctl::complete(velqa::ctl::commands(), words, listed_profiles)) {
        if (c.description.empty())
            std::printf("%s\n", c.value.c_str());
        else
            std::printf("%s\t%s\n", c.value.c_str(), c.description.c_str());
    }
    return velqa::ctl::Success;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        print_usage(stderr);
        return velqa::ctl::UsageError;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        print_usage(stdout);
        return velqa::ctl::Success;
    }
    if (args[0] == "--version") {
        std::printf("velqactl %s\n", VELQA_VERSION_TEXT);
        return velqa::ctl::Success;
    }
    if (args[0] == "--help-man") {
        print_manual_usage();
        return velqa::ctl::Success;
    }
    if (args[0] == "__complete")
        return print_completions(std::vector<std::string>(args.begin() + 1, args.end()));
    for (const auto& c : velqa::ctl::commands()) {
        if (c.word != args[0])
            continue;
        // Without a home folder the profiles would live in the shared temporary folder: only in
        // a private folder of ours, and not at all when another user holds its name.
        if (const std::string why = velqa::platform::user_data_refusal(); !why.empty()) {
            std::fprintf(stderr, "velqactl: no private folder for the profiles: %s\n", why.c_str());
            return velqa::ctl::Failed;
        }
        return c.run(make_context(), std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::fprintf(stderr, "velqactl: unknown command '%s'\n", args[0].c_str());
    print_usage(stderr);
    return velqa::ctl::UsageError;
}
