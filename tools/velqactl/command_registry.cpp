#include "command_registry.h"

#include <cstdio>

#include "platform/text_controls.h"
#include "profile/profile_files.h"

namespace velqa::ctl {

std::vector<Command>& commands() {
    static std::vector<Command> table;
    return table;
}

RegisterCommand::RegisterCommand(std::string word, std::string usage, CommandFn run,
                                 ValuesFn values) {
    commands().push_back({std::move(word), std::move(usage), std::move(run), std::move(values)});
}

RegisterCommand::RegisterCommand(std::string word, std::string usage, PlainCommandFn run)
    : RegisterCommand(
          std::move(word), std::move(usage),
          CommandFn([run = std::move(run)](const Context&, const std::vector<std::string>& args) {
              return run(args);
          })) {}

void print_json(const Json::Value& document) {
    const std::string text = platform::escape_for_terminal(profile::styled_json(document), true);
    std::fputs(text.c_str(), stdout);
}

std::string shown(std::string_view text) {
    return platform::escape_for_terminal(text);
}

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
