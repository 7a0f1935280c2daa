#include "command_registry.h"

namespace velqa::ctl {

std::vector<Command>& commands() {
    static std::vector<Command> table;
    return table;
}

RegisterCommand::RegisterCommand(std::string word, std::string usage, CommandFn run) {
    commands().push_back({std::move(word), std::move(usage), std::move(run)});
}

RegisterCommand::RegisterCommand(std::string word, std::string usage, PlainCommandFn run)
    : RegisterCommand(
          std::move(word), std::move(usage),
          CommandFn([run = std::move(run)](const Context&, const std::vector<std::string>& args) {
              return run(args);
          })) {}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == sep)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

}  // namespace velqa::ctl
