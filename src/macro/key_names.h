// The naming table of assignment codes: which language text labels a code. It covers the
// keyboard keys, the media and system functions, and the keyboard's own FN, GM and M1-M5 codes;
// the mouse functions are named by their editor lists instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// One piece of a button's label: a language text key, or text shown as it is (a macro's name,
// the "+" between a modifier and its key).
struct LabelPart {
    std::string text;
    bool literal = false;
    bool operator==(const LabelPart&) const = default;
};
// What a button assigned `code` does, for labels and tooltips: every class the editor offers,
// named as its lists name it, plus the naming table above. A macro code names its macro from
// `macro_names` (the text "Macro" alone when the index is past the list); a code nobody names
// gives "key_label_custom_text".
std::vector<LabelPart> assignment_label(const profile::KeyCode& code,
                                        std::span<const std::string> macro_names);

}  // namespace velqa::macro
