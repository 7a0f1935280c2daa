// velqactl's command table. Command files register their top-level words at static
// initialisation; main.cpp dispatches on the first argument.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <json/json.h>

#include "device/link/supported_devices.h"
#include "platform/hid/hid_backend.h"

namespace velqa::ctl {

// Exit codes shared by every command.
enum ExitCode : int { Success = 0, Failed = 1, UsageError = 2, NoDevice = 3 };

// What main decided once for every command: the HID backend (from VELQA_HID) and the update
// server's address (VELQA_UPDATE_URL; empty: the configured one).
struct Context {
    std::shared_ptr<platform::hid::HidBackend> hid;
    std::string update_url;
    std::filesystem::path download_folder;  // platform::download_folder()
    link::DeviceCatalog devices;            // the supported devices
};

// args: the words after the command word. Returns an ExitCode.
using CommandFn = std::function<int(const Context& context, const std::vector<std::string>& args)>;
// A command that needs nothing of the context.
using PlainCommandFn = std::function<int(const std::vector<std::string>& args)>;

// A value the shell may offer, with a description (empty: none).
struct Candidate {
    std::string value;
    std::string description;
};

// The values a placeholder of the command's usage stands for, where only the command knows
// them (a macro's number and name, a light mode's word): `before` are the words typed before
// it (subcommand first), `placeholder` its name in the usage ("N", "ASSIGNMENT"), `typed` the
// part of it typed so far. Empty: the completion's own reading of the placeholder.
using ValuesFn = std::function<std::vector<Candidate>(
    const std::vector<std::string>& before, std::string_view placeholder, std::string_view typed)>;

struct Command {
    std::string word;   // e.g. "hid"
    std::string usage;  // one or more lines for --help
    CommandFn run;
    ValuesFn values;  // may be empty
};

std::vector<Command>& commands();

// `document` as styled JSON on stdout, with the characters a terminal would act on (control and
// bidirectional-override characters of stored names) written as \uXXXX, which JSON reads back
// as the same text.
void print_json(const Json::Value& document);

// A stored name (or other text read from a file) as a line on the terminal shows it:
// platform::escape_for_terminal.
std::string shown(std::string_view text);

// The parts of a command-line word between `sep` ("down:key:A:20" -> down, key, A, 20); empty
// parts are kept.
std::vector<std::string> split(const std::string& text, char sep);

struct RegisterCommand {
    RegisterCommand(std::string word, std::string usage, CommandFn run, ValuesFn values = {});
    RegisterCommand(std::string word, std::string usage, PlainCommandFn run);
};

}  // namespace velqa::ctl
