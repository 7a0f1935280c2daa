// Reading JSON text and files, and conversions and member access on the values read, none of
// which ever throw.
//
// JsonCpp throws (or asserts) on nesting beyond its limit, on a conversion of a value of the wrong
// type or range, and on indexing a value of the wrong type. Every file the programs read may be
// hand-edited or damaged, so everything that reads JSON goes through these.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velqa::platform {

// Deepest nesting of arrays and objects accepted. Far beyond any file the programs read, and low
// enough that copying, writing and destroying a value recurse harmlessly.
inline constexpr int MaxJsonDepth = 128;

// Parses text with comments allowed (and kept with their values, so a hand-written note survives
// a rewrite). A null value on any failure, with the reason in `error` when given.
Json::Value parse_json(std::string_view text, std::string* error = nullptr);

// read_whole_file and parse_json: a null value when the file cannot be read or parsed.
Json::Value read_json_file(const std::filesystem::path& file, std::string* error = nullptr);

// Integer value of a number or boolean, truncated toward zero; 0 for null, strings, arrays,
// objects and reals outside the 64-bit range (1e19, infinities).
std::int64_t to_int(const Json::Value& value);

// An integral number (an integer, or a real without fraction) from 0 to `max`; nothing for
// negatives, larger numbers, fractions, booleans and every other type. For identifiers and
// counts, where a wrapped value would be a different, valid-looking one.
std::optional<std::uint64_t> to_unsigned(const Json::Value& value, std::uint64_t max);

// Width-truncating readers (70000 in a 16-bit field reads as 4464).
inline std::uint8_t to_u8(const Json::Value& v) {
    return static_cast<std::uint8_t>(to_int(v));
}
inline std::uint16_t to_u16(const Json::Value& v) {
    return static_cast<std::uint16_t>(to_int(v));
}
inline std::int32_t to_i32(const Json::Value& v) {
    return static_cast<std::int32_t>(to_int(v));
}

// Boolean value: true, or any non-zero number, reads as true; everything else as false.
bool to_bool(const Json::Value& value);

// Text of a string value; empty for every other type.
std::string to_text(const Json::Value& value);

// `text` with each byte that does not begin a well-formed UTF-8 sequence replaced by U+FFFD.
// The JSON writer escapes non-ASCII text by decoding it, and decodes malformed bytes its own
// lossy way; text made valid first is written and read back unchanged.
std::string valid_utf8(std::string_view text);

// Member `key` of an object; a null value for anything that is not an object or lacks the key.
const Json::Value& member(const Json::Value& value, const char* key);

// Element `index` of an array; a null value for anything that is not an array or is too short.
const Json::Value& element(const Json::Value& value, Json::ArrayIndex index);

// Member `key` of `value` for writing. A value that is not an object is replaced by an empty
// object first (a null tree grows the objects it needs).
Json::Value& writable_member(Json::Value& value, const char* key);

// Element `index` of `value` for writing. A value that is not an array is replaced by an empty
// array; a short array is extended with nulls.
Json::Value& writable_element(Json::Value& value, Json::ArrayIndex index);

}  // namespace velqa::platform
