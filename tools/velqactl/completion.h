// Shell completion for velqactl, driven by the command table: the forms of each command are read
// from its usage lines, so what --help and the manual page show is what the shells complete.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "command_registry.h"

namespace velqa::ctl {

// A value the shell may offer, with a description (empty: none).
struct Candidate {
    std::string value;
    std::string description;
};

// The line that asks the shell to complete file names instead of, or as well as, the values.
inline constexpr char kFileCandidates[] = "@files";

// The mouse profiles as `profile list` shows them: index and name.
using ProfileSource = std::function<std::vector<Candidate>()>;

// The candidates for the last of `words` (the words after "velqactl"; the last is the one being
// completed and may be empty), already narrowed to those whose value or description starts with
// it (a profile's name gives its number). A value of
// kFileCandidates stands for file names. Unknown commands and words give no candidates.
std::vector<Candidate> complete(const std::vector<Command>& table,
                                const std::vector<std::string>& words,
                                const ProfileSource& profiles);

}  // namespace velqa::ctl
