// velqactl: the command-line client over the same core as the desktop program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_grammar.h"
#include "command_registry.h"
#include "completion.h"
#include "device/link/supported_devices.h"
#include "platform/folders.h"
#include "platform/hid/hid_backend.h"
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
                 "       velqactl --help | --version\n"
                 "       velqactl help COMMAND | velqactl COMMAND --help\n\ncommands:\n");
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
        "Usage: velqactl COMMAND [ARGS...]\n  or:  velqactl --help | --version\n"
        "  or:  velqactl help COMMAND | velqactl COMMAND --help\n\n"
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

// The hidden `__complete WORD...` the shell completions call: one candidate a line, "value" or
// "value<TAB>description".
int print_completions(const std::vector<std::string>& words) {
    for (const auto& c : velqa::ctl::complete(velqa::ctl::commands(), words)) {
        if (c.description.empty())
            std::printf("%s\n", c.value.c_str());
        else
            std::printf("%s\t%s\n", c.value.c_str(), c.description.c_str());
    }
    return velqa::ctl::Success;
}

// One command's lines of the table, for `velqactl COMMAND --help` and `velqactl help COMMAND`.
int print_command_help(const velqa::ctl::Command& command) {
    std::printf("usage:\n%s\n", command.usage.c_str());
    return velqa::ctl::Success;
}

// A word that names no command: one line, with the word it was most likely meant to be.
int unknown_command(const std::string& where, const std::string& word,
                    const std::vector<std::string>& known) {
    const std::string guess = velqa::ctl::closest_word(word, known);
    std::fprintf(stderr, "%s: unknown command '%s'; %s\n", where.c_str(),
                 velqa::ctl::shown(word).c_str(),
                 guess.empty() ? ("see '" + where + " --help'").c_str()
                               : ("did you mean '" + guess + "'?").c_str());
    return velqa::ctl::UsageError;
}

std::vector<std::string> command_words() {
    std::vector<std::string> words;
    for (const auto& c : sorted_commands())
        words.push_back(c.word);
    return words;
}

bool asks_for_help(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        print_usage(stderr);
        return velqa::ctl::UsageError;
    }
    const bool help_word = args[0] == "help" || args[0] == "--help" || args[0] == "-h";
    if (help_word && args.size() > 1) {
        const velqa::ctl::Command* command =
            velqa::ctl::find_command(velqa::ctl::commands(), args[1]);
        return command != nullptr ? print_command_help(*command)
                                  : unknown_command("velqactl", args[1], command_words());
    }
    if (help_word) {
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
    const velqa::ctl::Command* command = velqa::ctl::find_command(velqa::ctl::commands(), args[0]);
    if (command == nullptr)
        return unknown_command("velqactl", args[0], command_words());
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (asks_for_help(rest))
        return print_command_help(*command);
    // The table's reading of the words, for every command alike: "--opt=value" as "--opt
    // value", and the subcommand word checked before any of its arguments.
    const velqa::ctl::Grammar grammar = velqa::ctl::grammar_of(*command);
    rest = velqa::ctl::split_option_values(grammar, rest);
    const std::vector<std::string> subcommands = grammar.subcommands();
    if (const std::string word = velqa::ctl::first_positional(grammar, rest);
        !word.empty() && !subcommands.empty() &&
        std::find(subcommands.begin(), subcommands.end(), word) == subcommands.end()) {
        return unknown_command("velqactl " + command->word, word, subcommands);
    }
    // Without a home folder the profiles would live in the shared temporary folder: only in
    // a private folder of ours, and not at all when another user holds its name.
    if (const std::string why = velqa::platform::user_data_refusal(); !why.empty()) {
        std::fprintf(stderr, "velqactl: no private folder for the profiles: %s\n", why.c_str());
        return velqa::ctl::Failed;
    }
    return command->run(make_context(), rest);
}
