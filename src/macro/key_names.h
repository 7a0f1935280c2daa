// The naming table of assignment codes: which language text labels a code. It covers the
// keyboard keys, the media and system functions, and the keyboard's own FN, GM and M1-M5 codes;
// the mouse functions are named by their editor lists instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "profile/profile_records.h"

namespace velqa::macro {

struct FunctionName {
    std::uint16_t virtual_key;  // Windows virtual key, 0 for the codes without one
    profile::KeyCode code;
    std::string label;  // language text key
};

inline constexpr std::size_t FunctionNameCount = 142;
// Rows 0-112 the key table (modifiers as their bit in the first parameter, keys as their usage
// in the second), 113 "K42", 114-131 media, 132-134 system, 135-139 M1-M5, 140-141 FN and GM.
std::span<const FunctionName> function_names();

// The first row naming exactly `code`; nothing for codes the table does not name.
std::optional<std::size_t> function_name_row(const profile::KeyCode& code);
// Its label key, empty when none.
std::string function_label(const profile::KeyCode& code);

}  // namespace velqa::macro
