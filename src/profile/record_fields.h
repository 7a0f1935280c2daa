// The field tables of the profile's fixed records: one row per field names its member in the
// profile JSON, its member in velqactl's JSON, its place in the packed form and the range a
// device accepts. Decoding, encoding, range holds and velqactl's output all walk these rows, so
// a field is named once.
#pragma once

#include <json/json.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/json_read.h"
#include "profile/profile_records.h"
#include "profile/settings_limits.h"

namespace velqa::profile {

// How a field is read from the profile and written back.
enum class FieldStore : std::uint8_t {
    Number,    // width-truncated number, written as held
    Flag,      // true or any non-zero number reads as 1; written as 0 or 1
    ReadFlag,  // read as Flag, written as held: a byte the device reported stays as it was
    ReadOnly,  // read as Number, never written
};

// The range a field is held in before it reaches a device.
enum class FieldLimit : std::uint8_t {
    None,
    Fixed,     // `range`
    StageDpi,  // the DPI range of the stage set
};

template <typename Record>
struct RecordField {
    using Member =
        std::variant<std::uint8_t Record::*, std::uint16_t Record::*, std::int32_t Record::*>;

    const char* name;  // member in the profile JSON
    Member at;
    const char* shown = nullptr;  // member in velqactl's JSON; nullptr: not shown
    const char* group = nullptr;  // object of the section holding it; nullptr: the object given
    FieldStore store = FieldStore::Number;
    FieldLimit limit = FieldLimit::None;
    ValueRange range{};
    int offset = -1;  // byte offset in the packed form, little-endian; -1: not packed
};

// ---- The tables ----

inline constexpr RecordField<DpiStage> DpiStageFields[] = {
    {.name = "StageActive",
     .at = &DpiStage::stage_flag,
     .shown = "enabled",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange,
     .offset = 0},
    {.name = "StageXY",
     .at = &DpiStage::xy_flag,
     .shown = "xy",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange,
     .offset = 1},
    {.name = "StageDPIX",
     .at = &DpiStage::dpi_x,
     .shown = "dpiX",
     .limit = FieldLimit::StageDpi,
     .offset = 2},
    {.name = "StageDPIY",
     .at = &DpiStage::dpi_y,
     .shown = "dpiY",
     .limit = FieldLimit::StageDpi,
     .offset = 4},
    // velqactl shows the colour as one "#RRGGBB" text.
    {.name = "StageColorR",
     .at = &DpiStage::red,
     .limit = FieldLimit::Fixed,
     .range = ByteRange,
     .offset = 6},
    {.name = "StageColorG",
     .at = &DpiStage::green,
     .limit = FieldLimit::Fixed,
     .range = ByteRange,
     .offset = 7},
    {.name = "StageColorB",
     .at = &DpiStage::blue,
     .limit = FieldLimit::Fixed,
     .range = ByteRange,
     .offset = 8},
};

// Rows with a range come first, in the order a list of corrections names them.
inline constexpr RecordField<MouseSystemSettings> MouseSettingsFields[] = {
    {.name = "StageActive",
     .at = &MouseSystemSettings::report_rate_stage,
     .shown = "reportRateStage",
     .group = "ReportStages",
     .limit = FieldLimit::Fixed,
     .range = PollingIndexRange},
    {.name = "ReportSelectItemUSB",
     .at = &MouseSystemSettings::report_item_usb,
     .shown = "reportItemUSB",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = PollingIndexRange},
    {.name = "ReportSelectItem24K",
     .at = &MouseSystemSettings::report_item_24g,
     .shown = "reportItem24G",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = PollingIndexRange},
    {.name = "SilentAltitudeItem",
     .at = &MouseSystemSettings::silent_altitude,
     .shown = "liftOff",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "SensorLif",
     .at = &MouseSystemSettings::sensor_lift,
     .shown = "sensorLift",
     .group = "SystemStages",
     .store = FieldStore::Flag,
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "MotionSync",
     .at = &MouseSystemSettings::motion_sync,
     .shown = "motionSync",
     .group = "SystemStages",
     .store = FieldStore::Flag,
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "LinearCalibration",
     .at = &MouseSystemSettings::linear_calibration,
     .shown = "linearCalibration",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "DeepSleepOff",
     .at = &MouseSystemSettings::deep_sleep_off,
     .shown = "deepSleepOff",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "DormancyTime",
     .at = &MouseSystemSettings::dormancy_time,
     .shown = "dormancyTime",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = SleepTimeIndexRange},
    {.name = "KeyDelay",
     .at = &MouseSystemSettings::key_delay,
     .shown = "keyDelay",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = KeyDelayIndexRange},
    {.name = "DoubleClickTime",
     .at = &MouseSystemSettings::double_click_time,
     .shown = "doubleClickTime",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = DoubleClickRange},
    {.name = "MouseSpeed",
     .at = &MouseSystemSettings::pointer_speed,
     .shown = "pointerSpeed",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = PointerSpeedRange},
    {.name = "PointerPrecision",
     .at = &MouseSystemSettings::pointer_precision,
     .shown = "pointerPrecision",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "ScorllPage",
     .at = &MouseSystemSettings::scroll_page,
     .shown = "scrollPage",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "WheelScorlllinse",
     .at = &MouseSystemSettings::wheel_scroll_lines,
     .shown = "wheelScrollLines",
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = WheelLinesRange},
    {.name = "AntiShake",
     .at = &MouseSystemSettings::anti_shake,
     .shown = "antiShake",
     .group = "SystemStages"},
    {.name = "sleeptime",
     .at = &MouseSystemSettings::sleep_time,
     .shown = "sleepTime",
     .group = "SystemStages",
     .store = FieldStore::ReadOnly},
    {.name = "sleeptimeH",
     .at = &MouseSystemSettings::sleep_time_high,
     .shown = "sleepTimeHigh",
     .group = "SystemStages",
     .store = FieldStore::ReadOnly},
};

inline constexpr RecordField<KeyboardSystemSettings> KeyboardSettingsFields[] = {
    {.name = "Repeat",
     .at = &KeyboardSystemSettings::repeat,
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = KeyRepeatRange},
    {.name = "RepeatDelay",
     .at = &KeyboardSystemSettings::repeat_delay,
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = KeyRepeatDelayRange},
    {.name = "Key6Flag",
     .at = &KeyboardSystemSettings::six_key_flag,
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "PollingRate",
     .at = &KeyboardSystemSettings::polling_rate,
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = PollingIndexRange},
    {.name = "WFlag",
     .at = &KeyboardSystemSettings::w_flag,
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "WinFlag",
     .at = &KeyboardSystemSettings::win_flag,
     .group = "SystemStages",
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
};

inline constexpr RecordField<HeadsetSettings> HeadsetSettingsFields[] = {
    {.name = "MagicEnable", .at = &HeadsetSettings::magic_enable, .group = "SystemSetStages"},
    {.name = "MagicType", .at = &HeadsetSettings::magic_type, .group = "SystemSetStages"},
    {.name = "EqType", .at = &HeadsetSettings::eq_type, .group = "SystemSetStages"},
    {.name = "CustomEqSeletIndex",
     .at = &HeadsetSettings::custom_eq_index,
     .group = "SystemSetStages"},
    {.name = "MicInSelect", .at = &HeadsetSettings::mic_in_select, .group = "SystemSetStages"},
    {.name = "MicInValue", .at = &HeadsetSettings::mic_in_value, .group = "SystemSetStages"},
    {.name = "MicMoniterSelect",
     .at = &HeadsetSettings::mic_monitor_select,
     .group = "SystemSetStages"},
    {.name = "MicMoniterValue",
     .at = &HeadsetSettings::mic_monitor_value,
     .group = "SystemSetStages"},
};

inline constexpr RecordField<LightInfo> LightFields[] = {
    {.name = "SelectItem",
     .at = &LightInfo::mode,
     .shown = "mode",
     .limit = FieldLimit::Fixed,
     .range = ByteRange},
    {.name = "Light",
     .at = &LightInfo::brightness,
     .shown = "brightness",
     .limit = FieldLimit::Fixed,
     .range = LightLevelRange},
    {.name = "Speed",
     .at = &LightInfo::speed,
     .shown = "speed",
     .limit = FieldLimit::Fixed,
     .range = LightLevelRange},
    {.name = "Fx",
     .at = &LightInfo::direction,
     .shown = "direction",
     .limit = FieldLimit::Fixed,
     .range = ByteRange},
    {.name = "MultiColor",
     .at = &LightInfo::multi_colour,
     .shown = "multiColour",
     .store = FieldStore::ReadFlag,
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "Red",
     .at = &LightInfo::red,
     .shown = "red",
     .limit = FieldLimit::Fixed,
     .range = ByteRange},
    {.name = "Green",
     .at = &LightInfo::green,
     .shown = "green",
     .limit = FieldLimit::Fixed,
     .range = ByteRange},
    {.name = "Blue",
     .at = &LightInfo::blue,
     .shown = "blue",
     .limit = FieldLimit::Fixed,
     .range = ByteRange},
    {.name = "ZZCCLedMode", .at = &LightInfo::second_mode, .shown = "secondMode"},
    {.name = "CustomGroup", .at = &LightInfo::custom_group, .shown = "customGroup"},
    {.name = "OldLedmode", .at = &LightInfo::previous_mode, .shown = "previousMode"},
};

inline constexpr RecordField<AudioLightInfo> AudioLightFields[] = {
    {.name = "AudioMode",
     .at = &AudioLightInfo::audio_mode,
     .limit = FieldLimit::Fixed,
     .range = AudioModeRange},
    {.name = "BkColorR", .at = &AudioLightInfo::bk_red},
    {.name = "BkColorG", .at = &AudioLightInfo::bk_green},
    {.name = "BkColorB", .at = &AudioLightInfo::bk_blue},
    {.name = "FgColorR", .at = &AudioLightInfo::fg_red},
    {.name = "FgColorG", .at = &AudioLightInfo::fg_green},
    {.name = "FgColorB", .at = &AudioLightInfo::fg_blue},
    {.name = "7ColorFlags",
     .at = &AudioLightInfo::seven_colour,
     .store = FieldStore::ReadFlag,
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
    {.name = "ColorTypeFlags",
     .at = &AudioLightInfo::colour_type,
     .store = FieldStore::ReadFlag,
     .limit = FieldLimit::Fixed,
     .range = TwoWayRange},
};

inline constexpr RecordField<KeyColour> KeyColourFields[] = {
    {.name = "Red", .at = &KeyColour::red},
    {.name = "Green", .at = &KeyColour::green},
    {.name = "Blue", .at = &KeyColour::blue},
    {.name = "Alpha", .at = &KeyColour::alpha},
};

// ---- Walking a table ----

template <typename Record>
std::int64_t field_value(const Record& record, const RecordField<Record>& field) {
    return std::visit([&](auto at) { return static_cast<std::int64_t>(record.*at); }, field.at);
}

// Stores `value` truncated to the field's width.
template <typename Record>
void set_field(Record& record, const RecordField<Record>& field, std::int64_t value) {
    std::visit(
        [&](auto at) {
            using T = std::remove_reference_t<decltype(record.*at)>;
            record.*at = static_cast<T>(value);
        },
        field.at);
}

// The range of a field, `stage_dpi` for a stage's DPI; nothing for a field without one.
template <typename Record>
std::optional<ValueRange> field_range(const RecordField<Record>& field, ValueRange stage_dpi = {}) {
    switch (field.limit) {
        case FieldLimit::Fixed:
            return field.range;
        case FieldLimit::StageDpi:
            return stage_dpi;
        case FieldLimit::None:
            break;
    }
    return std::nullopt;
}

// Reads every row from `object` (its group member, for a row with a group); a missing or
// wrongly typed member reads as 0.
template <typename Record, std::size_t N>
Record decode_fields(const RecordField<Record> (&fields)[N], const Json::Value& object) {
    Record record{};
    for (const RecordField<Record>& f : fields) {
        const Json::Value& holder = f.group ? platform::member(object, f.group) : object;
        const Json::Value& value = platform::member(holder, f.name);
        const bool flag = f.store == FieldStore::Flag || f.store == FieldStore::ReadFlag;
        set_field(record, f, flag ? (platform::to_bool(value) ? 1 : 0) : platform::to_int(value));
    }
    return record;
}

// Writes every stored row into `object`, keeping its other members; objects it lacks are made.
template <typename Record, std::size_t N>
void write_fields(const RecordField<Record> (&fields)[N], const Record& record,
                  Json::Value& object) {
    for (const RecordField<Record>& f : fields) {
        if (f.store == FieldStore::ReadOnly)
            continue;
        Json::Value& holder = f.group ? platform::writable_member(object, f.group) : object;
        const std::int64_t value = field_value(record, f);
        platform::writable_member(holder, f.name) =
            static_cast<Json::Int>(f.store == FieldStore::Flag ? (value != 0 ? 1 : 0) : value);
    }
}

// A new object of the stored rows.
template <typename Record, std::size_t N>
Json::Value encode_fields(const RecordField<Record> (&fields)[N], const Record& record) {
    Json::Value object(Json::objectValue);
    write_fields(fields, record, object);
    return object;
}

// velqactl's object: the shown rows under their shown names, as held.
template <typename Record, std::size_t N>
Json::Value shown_fields(const RecordField<Record> (&fields)[N], const Record& record) {
    Json::Value object(Json::objectValue);
    for (const RecordField<Record>& f : fields) {
        if (f.shown)
            object[f.shown] = static_cast<Json::Int>(field_value(record, f));
    }
    return object;
}

// Every ranged row held within its range.
template <typename Record, std::size_t N>
void hold_fields(const RecordField<Record> (&fields)[N], Record& record,
                 ValueRange stage_dpi = {}) {
    for (const RecordField<Record>& f : fields) {
        if (const auto range = field_range(f, stage_dpi))
            set_field(record, f, range->hold(field_value(record, f)));
    }
}

// The packed form holds each row with an offset, little-endian, as wide as its member; this is
// the size its offsets span.
template <typename Record, std::size_t N>
constexpr std::size_t packed_size(const RecordField<Record> (&fields)[N]) {
    std::size_t size = 0;
    for (const RecordField<Record>& f : fields) {
        const std::size_t width = std::visit(
            [](auto at) {
                return sizeof(std::remove_reference_t<decltype(std::declval<Record&>().*at)>);
            },
            f.at);
        if (f.offset >= 0)
            size = std::max(size, static_cast<std::size_t>(f.offset) + width);
    }
    return size;
}

// Writes packed_size(fields) bytes.
template <typename Record, std::size_t N>
void pack_fields(const RecordField<Record> (&fields)[N], const Record& record,
                 std::uint8_t* bytes) {
    for (const RecordField<Record>& f : fields) {
        if (f.offset < 0)
            continue;
        std::visit(
            [&](auto at) {
                auto value = record.*at;
                for (std::size_t i = 0; i < sizeof value; ++i)
                    bytes[static_cast<std::size_t>(f.offset) + i] =
                        static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
            },
            f.at);
    }
}

// Reads packed_size(fields) bytes.
template <typename Record, std::size_t N>
Record unpack_fields(const RecordField<Record> (&fields)[N], const std::uint8_t* bytes) {
    Record record{};
    for (const RecordField<Record>& f : fields) {
        if (f.offset < 0)
            continue;
        std::visit(
            [&](auto at) {
                using T = std::remove_reference_t<decltype(record.*at)>;
                std::uint32_t value = 0;
                for (std::size_t i = 0; i < sizeof(T); ++i)
                    value |= std::uint32_t{bytes[static_cast<std::size_t>(f.offset) + i]}
                             << (8 * i);
                record.*at = static_cast<T>(value);
            },
            f.at);
    }
    return record;
}

}  // namespace velqa::profile
