#include "macro/macro_event.h"

#include <algorithm>

#include "macro/key_tables.h"
#include "platform/json_read.h"
#include "platform/number_text.h"

namespace velqa::macro {

using platform::member;
using platform::to_int;
using platform::to_text;
using platform::to_unsigned;

DeviceEventCode device_code(const MacroEvent& event) {
    return {static_cast<std::uint8_t>(event.delay & 0xFF),
            static_cast<std::uint8_t>(event.delay >> 8),
            static_cast<std::uint8_t>((event.type & 0x7F) | (event.down ? 0x80 : 0)), event.button};
}

MacroEvent from_device_code(const DeviceEventCode& code) {
    MacroEvent event;
    event.delay = static_cast<std::uint16_t>(code[0] | code[1] << 8);
    event.type = code[2] & 0x7F;
    event.down = (code[2] & 0x80) != 0;
    event.button = code[3];
    return event;
}

namespace {

std::optional<std::int64_t> delay_number(const Json::Value& value) {
    if (value.isString())
        return platform::parse_number(to_text(value), INT64_MIN, INT64_MAX);
    if (value.isIntegral() || (value.isDouble() && to_unsigned(value, UINT64_MAX)))
        return to_int(value);
    return std::nullopt;
}

}  // namespace

std::uint16_t read_delay(const Json::Value& value) {
    const std::int64_t n = delay_number(value).value_or(0);
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(n, 0, MaxDelay));
}

MacroEvent read_event(const Json::Value& object) {
    MacroEvent event;
    event.down = to_text(member(object, "Action")) == "down";
    event.button = static_cast<std::uint8_t>(to_int(member(object, "Button")));
    event.type = static_cast<std::uint8_t>(to_int(member(object, "Type")) & 0x7F);
    event.delay = read_delay(member(object, "Delay"));
    return event;
}

std::optional<MacroEvent> parse_event(const Json::Value& object, std::string* error) {
    auto refuse = [&](const char* why) -> std::optional<MacroEvent> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!object.isObject())
        return refuse("an event is not an object");
    const std::string action = to_text(member(object, "Action"));
    if (action != "down" && action != "up")
        return refuse("\"Action\" is neither \"down\" nor \"up\"");
    const Json::Value& button_value = member(object, "Button");
    const Json::Value& type_value = member(object, "Type");
    if (button_value.isBool() || type_value.isBool())
        return refuse("\"Button\" and \"Type\" must be integers");
    const auto button = to_unsigned(button_value, 255);
    if (!button)
        return refuse("\"Button\" is not an integer 0-255");
    const auto type = to_unsigned(type_value, 127);
    if (!type)
        return refuse("\"Type\" is not an integer 0-127");
    const auto delay = delay_number(member(object, "Delay"));
    if (!delay || *delay < 0)
        return refuse("\"Delay\" is not a number of milliseconds");

    MacroEvent event;
    event.down = action == "down";
    event.button = static_cast<std::uint8_t>(*button);
    event.type = static_cast<std::uint8_t>(*type);
    event.delay = read_delay(member(object, "Delay"));
    switch (event.type) {
        case TypeMouseButton:
            if (event.button != 0x01 && event.button != 0x02 && event.button != 0x04 &&
                event.button != 0x08 && event.button != 0x10) {
                return refuse("a mouse event names no mouse button");
            }
            break;
        case TypeMouseOther2:
        case TypeMouseOther3:
        case TypeMoveX:
        case TypeMoveY:
            break;
        case TypeModifier:
            if (!row_for_modifier(event.button))
                return refuse("a modifier event names no modifier key");
            break;
        case TypeKey:
            if (!row_for_usage(event.button))
                return refuse("a key event names no key of the key table");
            break;
        default:
            return refuse("an event has an unknown \"Type\"");
    }
    return event;
}

Json::Value event_json(const MacroEvent& event) {
    Json::Value object(Json::objectValue);
    object["Action"] = event.down ? "down" : "up";
    object["Button"] = event.button;
    object["Delay"] = std::to_string(event.delay);
    object["Type"] = event.type;
    return object;
}

}  // namespace velqa::macro
