// One macro step: a key, button or move, and the delay that follows it; its JSON form in the
// ".mac" files and its 4-byte form in the device's macro memory.
#pragma once

#include <json/json.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velqa::macro {

// "Type" values.
enum EventType : std::uint8_t {
    TypeMouseButton = 1,
    TypeMouseOther2 = 2,  // accepted from files, never created
    TypeMouseOther3 = 3,
    TypeMoveX = 4,  // "down" left, "up" right
    TypeMoveY = 5,  // "down" up, "up" down
    TypeModifier = 9,
    TypeKey = 10,
};

inline constexpr int MaxDelay = 65535;

struct MacroEvent {
    bool down = true;         // "Action": "down" / "up"
    std::uint8_t button = 0;  // "Button": button bit, key usage, modifier bit or move steps
    std::uint8_t type = 0;    // "Type", 0-127
    std::uint16_t delay = 0;  // "Delay", milliseconds after this event
    bool operator==(const MacroEvent&) const = default;
};

// The device form: delay (little-endian), type with bit 7 for "down", button.
using DeviceEventCode = std::array<std::uint8_t, 4>;
DeviceEventCode device_code(const MacroEvent& event);
MacroEvent from_device_code(const DeviceEventCode& code);

// A delay as the files hold it, a decimal string or an integer; anything else reads as 0,
// negatives as 0 and values above 65534 as 65535.
std::uint16_t read_delay(const Json::Value& value);

// Lenient reading, for the program's own files: a wrongly typed member reads as 0 ("Action"
// other than "down" as "up"), numbers are truncated to their field's width.
MacroEvent read_event(const Json::Value& object);

// Strict reading, for files from elsewhere: "Action" "down" or "up", "Button" an integer
// 0-255, "Type" one of the event types, "Delay" a decimal string or an integer from 0, and a
// code the tables know (a mouse button bit, one modifier bit, a key usage of the key table).
// Nothing and the reason in `error` otherwise.
std::optional<MacroEvent> parse_event(const Json::Value& object, std::string* error = nullptr);

// {"Action", "Button", "Delay" (decimal string), "Type"}.
Json::Value event_json(const MacroEvent& event);

}  // namespace velqa::macro
