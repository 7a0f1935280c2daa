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

// "FA2E:22A0": the one way vendor and product IDs are written for people.
std::string usb_ids_text(std::uint16_t vendor_id, std::uint16_t product_id);
// "V0106": a hexadecimal version as the about pane and the update window show it.
std::string firmware_version_text(std::uint32_t version);

}  // namespace velqa::platform
