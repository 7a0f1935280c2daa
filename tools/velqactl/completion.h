// Shell completion for velqactl, driven by the command table: the forms of each command are read
// from its usage lines (command_grammar.h), so what --help and the manual page show is what the
// shells complete; the values only a command knows come from its ValuesFn.
#pragma once

#include <string>
#include <vector>

#include "command_registry.h"

namespace velqa::ctl {

// The line that asks the shell to complete file names instead of, or as well as, the values.
inline constexpr char kFileCandidates[] = "@files";

// The candidates for the last of `words` (the words after "velqactl"; the last is the one being
// completed and may be empty), already narrowed to those whose value or description starts with
// it (a profile's name gives its number). A value of kFileCandidates stands for file names; a
// value ending in ':' is a word to go on typing (mouse:), not a whole one. "--name=" before the
// typed text completes the option's value. Unknown commands and words give no candidates.
std::vector<Candidate> complete(const std::vector<Command>& table,
                                const std::vector<std::string>& words);

}  // namespace velqa::ctl
