// The one parser for numbers typed on a command line (velqactl, velqa-sim and its ctl).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velqa::platform {

// A whole argument as a decimal number or, after "0x"/"0X", a hexadecimal one, within
// [min, max]. Leading zeros keep a number decimal ("010" is ten). Refused: empty text,
// spaces anywhere, a "+", a "-" unless min is negative, anything after the digits, and values
// outside the range. nullopt when refused.
std::optional<int64_t> parse_number(std::string_view text, int64_t min, int64_t max);

// "NAME must be a number MIN-MAX (decimal or 0x-hex), not "TEXT"": the message for a refused
// argument, so every tool words it the same way.
std::string number_error(std::string_view name, std::string_view text, int64_t min, int64_t max);

}  // namespace velqa::platform
