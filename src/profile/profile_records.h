// The fixed records that the profile data object decodes from a device section and encodes into
// it, and their JSON codecs. Decoders never throw: a missing or wrongly typed member reads as 0.
// The codecs walk the field tables of record_fields.h, which name every member once.
#pragma once

#include <json/json.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velqa::profile {

// One DPI stage, in the order of the device's settings record. Held with natural alignment so
// that its fields can be passed by reference; to_bytes/from_bytes give the 9-byte packed form
// (16-bit values little-endian).
struct DpiStage {
    std::uint8_t stage_flag = 0;  // "StageActive"
    std::uint8_t xy_flag = 0;     // "StageXY"
    std::uint16_t dpi_x = 0;      // "StageDPIX"
    std::uint16_t dpi_y = 0;      // "StageDPIY"
    std::uint8_t red = 0;         // "StageColorR"
    std::uint8_t green = 0;       // "StageColorG"
    std::uint8_t blue = 0;        // "StageColorB"
    bool operator==(const DpiStage&) const = default;

    static constexpr std::size_t PackedSize = 9;
    std::array<std::uint8_t, PackedSize> to_bytes() const;
    static DpiStage from_bytes(const std::uint8_t* bytes);  // reads PackedSize bytes
};

// The remaining records are made of equal-width fields, so their layout is packed as it is.

// The mouse's system and sensor settings, 19 words in the order the device object passes them.
struct MouseSystemSettings {
    std::uint16_t double_click_time = 0;   // "DoubleClickTime"
    std::uint16_t pointer_speed = 0;       // "MouseSpeed"
    std::uint16_t pointer_precision = 0;   // "PointerPrecision"
    std::uint16_t scroll_page = 0;         // "ScorllPage"
    std::uint16_t wheel_scroll_lines = 0;  // "WheelScorlllinse"
    std::uint16_t report_rate_stage = 0;   // "ReportStages"."StageActive"
    std::uint16_t dormancy_time = 0;       // "DormancyTime"
    std::uint16_t reserved = 0;            // always 0
    std::uint16_t anti_shake = 0;          // "AntiShake"
    std::uint16_t silent_altitude = 0;     // "SilentAltitudeItem"
    std::uint16_t sensor_lift = 0;         // "SensorLif", 0 or 1
    std::uint16_t motion_sync = 0;         // "MotionSync", 0 or 1
    std::uint16_t linear_calibration = 0;  // "LinearCalibration"
    std::uint16_t key_delay = 0;           // "KeyDelay"
    std::uint16_t deep_sleep_off = 0;      // "DeepSleepOff"
    std::uint16_t sleep_time = 0;          // "sleeptime", never written
    std::uint16_t sleep_time_high = 0;     // "sleeptimeH", never written
    std::uint16_t report_item_usb = 0;     // "ReportSelectItemUSB"
    std::uint16_t report_item_24g = 0;     // "ReportSelectItem24K"
    bool operator==(const MouseSystemSettings&) const = default;
};
static_assert(sizeof(MouseSystemSettings) == 19 * 2);

// The keyboard's system settings ("SystemStages").
struct KeyboardSystemSettings {
    std::uint16_t repeat = 0;        // "Repeat"
    std::uint16_t repeat_delay = 0;  // "RepeatDelay"
    std::uint16_t six_key_flag = 0;  // "Key6Flag"
    std::uint16_t polling_rate = 0;  // "PollingRate"
    std::uint16_t w_flag = 0;        // "WFlag"
    std::uint16_t win_flag = 0;      // "WinFlag"
    bool operator==(const KeyboardSystemSettings&) const = default;
};
static_assert(sizeof(KeyboardSystemSettings) == 6 * 2);

// The headset's settings ("SystemSetStages").
struct HeadsetSettings {
    std::int32_t magic_enable = 0;        // "MagicEnable"
    std::int32_t magic_type = 0;          // "MagicType"
    std::int32_t eq_type = 0;             // "EqType"
    std::int32_t custom_eq_index = 0;     // "CustomEqSeletIndex"
    std::int32_t mic_in_select = 0;       // "MicInSelect"
    std::int32_t mic_in_value = 0;        // "MicInValue"
    std::int32_t mic_monitor_select = 0;  // "MicMoniterSelect"
    std::int32_t mic_monitor_value = 0;   // "MicMoniterValue"
    bool operator==(const HeadsetSettings&) const = default;
};
static_assert(sizeof(HeadsetSettings) == 8 * 4);

// The lighting record, 14 bytes.
struct LightInfo {
    std::uint8_t mode = 0;          // "SelectItem"; also the custom effect entry
    std::uint8_t brightness = 0;    // "Light"
    std::uint8_t speed = 0;         // "Speed"
    std::uint8_t direction = 0;     // "Fx"
    std::uint8_t multi_colour = 0;  // "MultiColor", 0 or 1
    std::uint8_t red = 0;           // "Red"
    std::uint8_t green = 0;         // "Green"
    std::uint8_t blue = 0;          // "Blue"
    std::array<std::uint8_t, 3> reserved{};
    std::uint8_t second_mode = 0;    // "ZZCCLedMode"
    std::uint8_t custom_group = 0;   // "CustomGroup"
    std::uint8_t previous_mode = 0;  // "OldLedmode"
    bool operator==(const LightInfo&) const = default;
};
static_assert(sizeof(LightInfo) == 14);

// The music-reactive lighting record, 9 bytes.
struct AudioLightInfo {
    std::uint8_t audio_mode = 0;    // "AudioMode"
    std::uint8_t bk_red = 0;        // "BkColorR"
    std::uint8_t bk_green = 0;      // "BkColorG"
    std::uint8_t bk_blue = 0;       // "BkColorB"
    std::uint8_t fg_red = 0;        // "FgColorR"
    std::uint8_t fg_green = 0;      // "FgColorG"
    std::uint8_t fg_blue = 0;       // "FgColorB"
    std::uint8_t seven_colour = 0;  // "7ColorFlags", 0 or 1
    std::uint8_t colour_type = 0;   // "ColorTypeFlags", 0 or 1
    bool operator==(const AudioLightInfo&) const = default;
};
static_assert(sizeof(AudioLightInfo) == 9);

// One step of a custom lighting effect.
struct LedEffectStep {
    std::uint8_t mode = 0;          // "LEDREGMode"
    std::uint8_t brightness = 0;    // "LEDBrightness"
    std::uint8_t speed = 0;         // "LEDSpeed"
    std::uint8_t direction = 0;     // "LEDDirection"
    std::uint8_t multi_colour = 0;  // "LEDMultiColor"
    std::uint8_t red = 0;           // "red"
    std::uint8_t green = 0;         // "green"
    std::uint8_t blue = 0;          // "blue"
    std::uint8_t present = 0;       // 1 when the JSON element was not null
    std::int32_t time = 0;          // "Time" (effect files only)
    std::int32_t cycle = 0;         // "Cyle" (effect files only)
    bool operator==(const LedEffectStep&) const = default;
};

// A key's function: class, first parameter, second parameter. Stored in JSON as
// class * 65536 + first * 256 + second.
struct KeyCode {
    std::uint8_t function_class = 0;
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    bool operator==(const KeyCode&) const = default;

    static KeyCode from_int(std::int64_t value);
    std::int32_t to_int() const;
};

// One element of the key list.
struct KeyAssignment {
    std::uint16_t key_index = 0;  // position in "KeyList"
    KeyCode current;              // "Assignment"
    std::uint16_t default_key_index = 0;
    KeyCode default_code;  // "DefaultAssignment"
    bool operator==(const KeyAssignment&) const = default;
};

// One key's colour of the keyboard's per-key colour table.
struct KeyColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;
    bool operator==(const KeyColour&) const = default;
};

// An equaliser preset: one value per band.
using EqualiserBands = std::array<std::int32_t, 10>;

// Codecs. Decoders take the JSON value holding the record (object or array) and read a record
// of zeros from null or from a value of the wrong type.
DpiStage decode_dpi_stage(const Json::Value& object);
Json::Value encode_dpi_stage(const DpiStage& stage);

// Reads "SystemStages" and "ReportStages" of a mouse section; zeros when "SystemStages" is null.
MouseSystemSettings decode_mouse_settings(const Json::Value& section);
KeyboardSystemSettings decode_keyboard_settings(const Json::Value& section);
HeadsetSettings decode_headset_settings(const Json::Value& section);

LightInfo decode_light_info(const Json::Value& object);
Json::Value encode_light_info(const LightInfo& record);
AudioLightInfo decode_audio_light_info(const Json::Value& object);
Json::Value encode_audio_light_info(const AudioLightInfo& record);

// A step from an element of "LightList" (eight members) or "LEDEffectList" (all ten).
LedEffectStep decode_effect_step(const Json::Value& element, bool with_timing);
std::vector<LedEffectStep> decode_effect_steps(const Json::Value& array, bool with_timing);

// The key list of a "KeyList" array; empty for null or a value that is not an array.
std::vector<KeyAssignment> decode_key_list(const Json::Value& key_list);

KeyColour decode_key_colour(const Json::Value& object);
Json::Value encode_key_colour(const KeyColour& colour);

// An equaliser preset from an array of objects with "value"; missing bands read as 0.
EqualiserBands decode_equaliser_bands(const Json::Value& array);
Json::Value encode_equaliser_bands(const EqualiserBands& bands);

}  // namespace velqa::profile
