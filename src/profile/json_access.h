// Conversions and member access on JSON values that never throw.
//
// JsonCpp throws (or asserts) when a value of the wrong type is converted or indexed; profiles are
// hand-edited and may be damaged, so everything that decodes a profile goes through these.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>

namespace velqa::profile {

// Integer value of a number or boolean, truncated toward zero; 0 for null, strings, arrays,
// objects and reals outside the 64-bit range.
std::int64_t to_int(const Json::Value& value);

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

}  // namespace velqa::profile
