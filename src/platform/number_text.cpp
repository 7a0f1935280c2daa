#include "platform/number_text.h"

#include <charconv>
#include <cstdio>

namespace velqa::platform {

std::optional<int64_t> parse_number(std::string_view text, int64_t min, int64_t max) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        if (min >= 0)
            return std::nullopt;
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars on an unsigned type takes neither a sign nor white space, so the digits must
    // begin right here and run to the end.
    if (text.empty())
        return std::nullopt;
    uint64_t magnitude = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, magnitude, base);
    if (ec != std::errc{} || stop != end)
        return std::nullopt;
    int64_t value = 0;
    if (negative) {
        // The magnitude of INT64_MIN is one more than INT64_MAX.
        if (magnitude > uint64_t{INT64_MAX} + 1)
            return std::nullopt;
        value = magnitude == uint64_t{INT64_MAX} + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > uint64_t{INT64_MAX})
            return std::nullopt;
        value = static_cast<int64_t>(magnitude);
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::string number_error(std::string_view name, std::string_view text, int64_t min, int64_t max) {
    std::string message(name);
    message += " must be a number ";
    message += std::to_string(min);
    message += min < 0 ? " to " : "-";
    message += std::to_string(max);
    message += " (decimal or 0x-hex), not \"";
    message += text;
    message += '"';
    return message;
}

std::string usb_ids_text(std::uint16_t vendor_id, std::uint16_t product_id) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", vendor_id, product_id);
    return text;
}

std::string firmware_version_text(std::uint32_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "V%04x", version);
    return text;
}

}  // namespace velqa::platform
