#include "platform/text_controls.h"

#include <cstdio>

namespace velqa::platform {

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // overlong
        if (lead == 0xED)
            high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;  // overlong
        if (lead == 0xF4)
            high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (k == 1 ? byte < low || byte > high : byte < 0x80 || byte > 0xBF)
            return 0;
    }
    return length;
}

bool is_control_code_point(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

namespace {

// The code point at `text[at]` and its length in bytes; a byte that begins no well-formed
// sequence is one code point of its own value.
char32_t decode_at(std::string_view text, std::size_t at, std::size_t& length) {
    length = utf8_sequence_length(text, at);
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length <= 1) {
        length = 1;
        return lead;
    }
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k)
        c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return c;
}

}  // namespace

bool has_control_characters(std::string_view text) {
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        if (is_control_code_point(decode_at(text, at, length)))
            return true;
    }
    return false;
}

std::string escape_for_terminal(std::string_view text, bool keep_line_breaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t c = decode_at(text, at, length);
        const bool malformed = length == 1 && c >= 0x80;
        if ((is_control_code_point(c) && !(keep_line_breaks && c == '\n')) || malformed) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out.append(text.substr(at, length));
        }
    }
    return out;
}

}  // namespace velqa::platform
