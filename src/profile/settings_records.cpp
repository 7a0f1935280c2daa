#include "profile/json_access.h"
#include "profile/profile_records.h"

namespace velqa::profile {

std::array<std::uint8_t, DpiStage::PackedSize> DpiStage::to_bytes() const {
    return {stage_flag,
            xy_flag,
            static_cast<std::uint8_t>(dpi_x),
            static_cast<std::uint8_t>(dpi_x >> 8),
            static_cast<std::uint8_t>(dpi_y),
            static_cast<std::uint8_t>(dpi_y >> 8),
            red,
            green,
            blue};
}

DpiStage DpiStage::from_bytes(const std::uint8_t* b) {
    DpiStage s;
    s.stage_flag = b[0];
    s.xy_flag = b[1];
    s.dpi_x = static_cast<std::uint16_t>(b[2] | b[3] << 8);
    s.dpi_y = static_cast<std::uint16_t>(b[4] | b[5] << 8);
    s.red = b[6];
    s.green = b[7];
    s.blue = b[8];
    return s;
}

DpiStage decode_dpi_stage(const Json::Value& object) {
    DpiStage stage;
    stage.stage_flag = to_u8(member(object, "StageActive"));
    stage.xy_flag = to_u8(member(object, "StageXY"));
    stage.dpi_x = to_u16(member(object, "StageDPIX"));
    stage.dpi_y = to_u16(member(object, "StageDPIY"));
    stage.red = to_u8(member(object, "StageColorR"));
    stage.green = to_u8(member(object, "StageColorG"));
    stage.blue = to_u8(member(object, "StageColorB"));
    return stage;
}

Json::Value encode_dpi_stage(const DpiStage& stage) {
    Json::Value object(Json::objectValue);
    object["StageActive"] = stage.stage_flag;
    object["StageXY"] = stage.xy_flag;
    object["StageDPIX"] = stage.dpi_x;
    object["StageDPIY"] = stage.dpi_y;
    object["StageColorR"] = stage.red;
    object["StageColorG"] = stage.green;
    object["StageColorB"] = stage.blue;
    return object;
}

MouseSystemSettings decode_mouse_settings(const Json::Value& section) {
    MouseSystemSettings s;
    const Json::Value& sys = member(section, "SystemStages");
    if (sys.isNull())
        return s;
    s.double_click_time = to_u16(member(sys, "DoubleClickTime"));
    s.pointer_speed = to_u16(member(sys, "MouseSpeed"));
    s.pointer_precision = to_u16(member(sys, "PointerPrecision"));
    s.scroll_page = to_u16(member(sys, "ScorllPage"));
    s.wheel_scroll_lines = to_u16(member(sys, "WheelScorlllinse"));
    s.report_rate_stage = to_u16(member(member(section, "ReportStages"), "StageActive"));
    s.dormancy_time = to_u16(member(sys, "DormancyTime"));
    s.anti_shake = to_u16(member(sys, "AntiShake"));
    s.silent_altitude = to_u16(member(sys, "SilentAltitudeItem"));
    s.sensor_lift = to_bool(member(sys, "SensorLif")) ? 1 : 0;
    s.motion_sync = to_bool(member(sys, "MotionSync")) ? 1 : 0;
    s.linear_calibration = to_u16(member(sys, "LinearCalibration"));
    s.key_delay = to_u16(member(sys, "KeyDelay"));
    s.deep_sleep_off = to_u16(member(sys, "DeepSleepOff"));
    s.sleep_time = to_u16(member(sys, "sleeptime"));
    s.sleep_time_high = to_u16(member(sys, "sleeptimeH"));
    s.report_item_usb = to_u16(member(sys, "ReportSelectItemUSB"));
    s.report_item_24g = to_u16(member(sys, "ReportSelectItem24K"));
    return s;
}

KeyboardSystemSettings decode_keyboard_settings(const Json::Value& section) {
    KeyboardSystemSettings s;
    const Json::Value& sys = member(section, "SystemStages");
    if (sys.isNull())
        return s;
    s.repeat = to_u16(member(sys, "Repeat"));
    s.repeat_delay = to_u16(member(sys, "RepeatDelay"));
    s.six_key_flag = to_u16(member(sys, "Key6Flag"));
    s.polling_rate = to_u16(member(sys, "PollingRate"));
    s.w_flag = to_u16(member(sys, "WFlag"));
    s.win_flag = to_u16(member(sys, "WinFlag"));
    return s;
}

HeadsetSettings decode_headset_settings(const Json::Value& section) {
    HeadsetSettings s;
    const Json::Value& sys = member(section, "SystemSetStages");
    if (sys.isNull())
        return s;
    s.magic_enable = to_i32(member(sys, "MagicEnable"));
    s.magic_type = to_i32(member(sys, "MagicType"));
    s.eq_type = to_i32(member(sys, "EqType"));
    s.custom_eq_index = to_i32(member(sys, "CustomEqSeletIndex"));
    s.mic_in_select = to_i32(member(sys, "MicInSelect"));
    s.mic_in_value = to_i32(member(sys, "MicInValue"));
    s.mic_monitor_select = to_i32(member(sys, "MicMoniterSelect"));
    s.mic_monitor_value = to_i32(member(sys, "MicMoniterValue"));
    return s;
}

EqualiserBands decode_equaliser_bands(const Json::Value& array) {
    EqualiserBands bands{};
    for (Json::ArrayIndex i = 0; i < bands.size(); ++i) {
        bands[i] = to_i32(member(element(array, i), "value"));
    }
    return bands;
}

Json::Value encode_equaliser_bands(const EqualiserBands& bands) {
    Json::Value array(Json::arrayValue);
    for (const std::int32_t band : bands) {
        Json::Value object(Json::objectValue);
        object["value"] = band;
        array.append(std::move(object));
    }
    return array;
}

}  // namespace velqa::profile
