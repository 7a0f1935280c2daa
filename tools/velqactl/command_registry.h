// velqactl's command table. Command files register their top-level words at static
// initialisation; main.cpp dispatches on the first argument.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velqa::ctl {

// Exit codes shared by every command.
enum ExitCode : int { Success = 0, Failed = 1, UsageError = 2, NoDevice = 3 };

// args: the words after the command word. Returns an ExitCode.
using CommandFn = std::function<int(const std::vector<std::string>& args)>;

struct Command {
    std::string word;   // e.g. "hid"
    std::string usage;  // one or more lines for --help
    CommandFn run;
};

std::vector<Command>& commands();

struct RegisterCommand {
    RegisterCommand(std::string word, std::string usage, CommandFn run);
};

}  // namespace velqa::ctl
