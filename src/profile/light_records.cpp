#include "profile/json_access.h"
#include "profile/profile_records.h"

namespace velqa::profile {

LightInfo decode_light_info(const Json::Value& object) {
    LightInfo r;
    r.mode = to_u8(member(object, "SelectItem"));
    r.brightness = to_u8(member(object, "Light"));
    r.speed = to_u8(member(object, "Speed"));
    r.direction = to_u8(member(object, "Fx"));
    r.multi_colour = to_bool(member(object, "MultiColor")) ? 1 : 0;
    r.red = to_u8(member(object, "Red"));
    r.green = to_u8(member(object, "Green"));
    r.blue = to_u8(member(object, "Blue"));
    r.second_mode = to_u8(member(object, "ZZCCLedMode"));
    r.custom_group = to_u8(member(object, "CustomGroup"));
    r.previous_mode = to_u8(member(object, "OldLedmode"));
    return r;
}

Json::Value encode_light_info(const LightInfo& r) {
    Json::Value o(Json::objectValue);
    o["SelectItem"] = r.mode;
    o["Light"] = r.brightness;
    o["Speed"] = r.speed;
    o["Fx"] = r.direction;
    o["MultiColor"] = r.multi_colour;
    o["Red"] = r.red;
    o["Green"] = r.green;
    o["Blue"] = r.blue;
    o["ZZCCLedMode"] = r.second_mode;
    o["CustomGroup"] = r.custom_group;
    o["OldLedmode"] = r.previous_mode;
    return o;
}

AudioLightInfo decode_audio_light_info(const Json::Value& object) {
    AudioLightInfo r;
    r.audio_mode = to_u8(member(object, "AudioMode"));
    r.bk_red = to_u8(member(object, "BkColorR"));
    r.bk_green = to_u8(member(object, "BkColorG"));
    r.bk_blue = to_u8(member(object, "BkColorB"));
    r.fg_red = to_u8(member(object, "FgColorR"));
    r.fg_green = to_u8(member(object, "FgColorG"));
    r.fg_blue = to_u8(member(object, "FgColorB"));
    r.seven_colour = to_bool(member(object, "7ColorFlags")) ? 1 : 0;
    r.colour_type = to_bool(member(object, "ColorTypeFlags")) ? 1 : 0;
    return r;
}

Json::Value encode_audio_light_info(const AudioLightInfo& r) {
    Json::Value o(Json::objectValue);
    o["AudioMode"] = r.audio_mode;
    o["BkColorR"] = r.bk_red;
    o["BkColorG"] = r.bk_green;
    o["BkColorB"] = r.bk_blue;
    o["FgColorR"] = r.fg_red;
    o["FgColorG"] = r.fg_green;
    o["FgColorB"] = r.fg_blue;
    o["7ColorFlags"] = r.seven_colour;
    o["ColorTypeFlags"] = r.colour_type;
    return o;
}

LedEffectStep decode_effect_step(const Json::Value& element, bool with_timing) {
    LedEffectStep step;
    if (element.isNull())
        return step;
    step.present = 1;
    step.mode = to_u8(member(element, "LEDREGMode"));
    step.brightness = to_u8(member(element, "LEDBrightness"));
    step.speed = to_u8(member(element, "LEDSpeed"));
    step.direction = to_u8(member(element, "LEDDirection"));
    step.multi_colour = to_u8(member(element, "LEDMultiColor"));
    step.red = to_u8(member(element, "red"));
    step.green = to_u8(member(element, "green"));
    step.blue = to_u8(member(element, "blue"));
    if (with_timing) {
        step.time = to_i32(member(element, "Time"));
        step.cycle = to_i32(member(element, "Cyle"));
    }
    return step;
}

std::vector<LedEffectStep> decode_effect_steps(const Json::Value& array, bool with_timing) {
    std::vector<LedEffectStep> steps;
    if (!array.isArray())
        return steps;
    steps.reserve(array.size());
    for (const Json::Value& item : array)
        steps.push_back(decode_effect_step(item, with_timing));
    return steps;
}

KeyColour decode_key_colour(const Json::Value& object) {
    KeyColour c;
    c.red = to_u8(member(object, "Red"));
    c.green = to_u8(member(object, "Green"));
    c.blue = to_u8(member(object, "Blue"));
    c.alpha = to_u8(member(object, "Alpha"));
    return c;
}

Json::Value encode_key_colour(const KeyColour& c) {
    Json::Value o(Json::objectValue);
    o["Red"] = c.red;
    o["Green"] = c.green;
    o["Blue"] = c.blue;
    o["Alpha"] = c.alpha;
    return o;
}

}  // namespace velqa::profile
