#include "command_registry.h"

namespace velqa::ctl {

std::vector<Command>& commands() {
    static std::vector<Command> table;
    return table;
}

RegisterCommand::RegisterCommand(std::string word, std::string usage, CommandFn run) {
    commands().push_back({std::move(word), std::move(usage), std::move(run)});
}

}  // namespace velqa::ctl
