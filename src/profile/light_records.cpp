#include "profile/json_access.h"
#include "profile/profile_records.h"
#include "profile/record_fields.h"

namespace velqa::profile {

LightInfo decode_light_info(const Json::Value& object) {
    return decode_fields(LightFields, object);
}

Json::Value encode_light_info(const LightInfo& record) {
    return encode_fields(LightFields, record);
}

AudioLightInfo decode_audio_light_info(const Json::Value& object) {
    return decode_fields(AudioLightFields, object);
}

Json::Value encode_audio_light_info(const AudioLightInfo& record) {
    return encode_fields(AudioLightFields, record);
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
    return decode_fields(KeyColourFields, object);
}

Json::Value encode_key_colour(const KeyColour& colour) {
    return encode_fields(KeyColourFields, colour);
}

}  // namespace velqa::profile
