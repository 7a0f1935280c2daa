#include "device/link/codecs.h"

namespace velqa::link {

namespace {

uint8_t u8(int v) {
    return static_cast<uint8_t>(v & 0xFF);
}

void put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

DeviceInfo decode_device_info(const DeviceInfoBlock& block) {
    DeviceInfo info;
    info.key_count = block.bytes[5];
    info.macro_units = block.bytes[6];
    info.link_flag = block.bytes[7];
    info.sensor_id = get16(&block.bytes[9]);
    info.raw = block;
    return info;
}

DeviceInfoBlock encode_device_info(const DeviceInfo& info, DeviceInfoBlock base) {
    base.bytes[5] = info.key_count;
    base.bytes[6] = info.macro_units;
    base.bytes[7] = info.link_flag;
    put16(&base.bytes[9], info.sensor_id);
    return base;
}

PowerStatus decode_power_status(const PowerStatusBlock& block) {
    const auto& b = block.bytes;
    return PowerStatus{b[0], b[1], b[2], b[3], b[4], b[5]};
}

PowerStatusBlock encode_power_status(const PowerStatus& s) {
    return PowerStatusBlock{
        {s.battery_percent, s.charging, s.spare, s.wireless, s.status_param, s.phone_type}};
}

void mark_power_path(PowerStatusBlock& block, bool receiver_path) {
    block.bytes[3] = receiver_path ? 1 : 0;
}

MouseSettingsRecord encode_mouse_settings(const MouseSettingsValues& v,
                                          const MouseSettingsRecord& last_read,
                                          std::span<const uint8_t> effect_codes) {
    MouseSettingsRecord rec = last_read;
    auto& b = rec.bytes;
    b[0] = u8(v.slot_byte);

    const int selection =
        (v.light_selection > MaxLightingSelection || v.light_selection < 0) ? 0 : v.light_selection;
    if (static_cast<size_t>(selection) < effect_codes.size())
        b[1] = effect_codes[selection];
    b[2] = u8(v.light);
    if (v.speed >= 0 && v.speed <= 4)
        b[3] = u8(4 - v.speed);
    b[4] = u8(v.fx);
    b[5] = u8(v.multi_color);
    b[6] = u8(v.red);
    b[7] = u8(v.green);
    b[8] = u8(v.blue);
    b[9] = 0;
    b[10] = u8(v.report_select_24k + 2);
    b[11] = u8(v.report_select_usb + 2);
    if (v.active_stage >= 0 && v.active_stage < static_cast<int>(DpiStageCount)) {
        b[12] = u8(v.active_stage);
    }
    b[13] = u8(v.silent_altitude);
    for (size_t i = 0; i < DpiStageCount; ++i) {
        uint8_t* s = &b[14 + i * DpiStageSize];
        const auto& st = v.stages[i];
        s[0] = u8(st.active);
        s[1] = u8(st.xy);
        put16(s + 2, st.dpi_x);
        put16(s + 4, st.dpi_y);
        s[6] = u8(st.red);
        s[7] = u8(st.green);
        s[8] = u8(st.blue);
    }
    if (v.deep_sleep_off == 0) {
        put16(&b[68], 0);
    } else if (v.dormancy_time >= 1 && v.dormancy_time <= 6) {
        put16(&b[68], SleepSeconds[v.dormancy_time - 1]);
    }
    if (v.key_delay >= 0 && v.key_delay <= 5)
        b[70] = KeyDelayCodes[v.key_delay];
    b[71] = u8(v.motion_sync);
    b[72] = u8(v.linear_calibration);
    // b[73] stays as last read.
    return rec;
}

MouseSettingsDecoded decode_mouse_settings(const MouseSettingsRecord& record,
                                           std::span<const uint8_t> effect_codes,
                                           int previous_dormancy) {
    const auto& b = record.bytes;
    MouseSettingsDecoded d;
    d.active_slot = b[0];
    d.light_code = b[1];
    d.light_selection = b[1];
    for (size_t i = 0; i < effect_codes.size(); ++i) {
        if (effect_codes[i] == b[1]) {
            d.light_selection = static_cast<int>(i);
            break;
        }
    }
    d.light = b[2];
    d.speed = 4 - b[3];
    d.fx = b[4];
    d.multi_color = b[5];
    d.red = b[6];
    d.green = b[7];
    d.blue = b[8];
    d.report_select_24k = b[10] - 2;
    d.report_select_usb = b[11] - 2;
    d.active_stage = b[12];
    d.silent_altitude = b[13];
    for (size_t i = 0; i < DpiStageCount; ++i) {
        const uint8_t* s = &b[14 + i * DpiStageSize];
        d.stages[i] = DpiStageValues{s[0], s[1], get16(s + 2), get16(s + 4), s[6], s[7], s[8]};
    }
    d.sleep_seconds = get16(&b[68]);
    d.deep_sleep_on = b[68] != 0 ? 1 : 0;
    // Only the low byte identifies the time: 180, 240, 44, 88, 132, 176.
    d.dormancy_time = previous_dormancy;
    for (size_t i = 0; i < SleepSeconds.size(); ++i) {
        if (b[68] == (SleepSeconds[i] & 0xFF)) {
            d.dormancy_time = static_cast<int>(i) + 1;
            break;
        }
    }
    d.key_delay = 0;
    for (size_t i = 0; i < KeyDelayCodes.size(); ++i) {
        if (b[70] == KeyDelayCodes[i]) {
            d.key_delay = static_cast<int>(i);
            break;
        }
    }
    d.motion_sync = b[71];
    d.linear_calibration = b[72];
    d.kept = b[73];
    return d;
}

MouseSettingsValues values_from_decoded(const MouseSettingsDecoded& d) {
    MouseSettingsValues v;
    // Byte 0 of a record read back is the slot the mouse was in, not what a write sends: the
    // caller's slot byte (0 from the page and from velqactl) stays as it defaults.
    v.light_selection = d.light_selection;
    v.light = d.light;
    v.speed = d.speed;
    v.fx = d.fx;
    v.multi_color = d.multi_color;
    v.red = d.red;
    v.green = d.green;
    v.blue = d.blue;
    v.report_select_24k = d.report_select_24k;
    v.report_select_usb = d.report_select_usb;
    v.active_stage = d.active_stage;
    v.silent_altitude = d.silent_altitude;
    v.stages = d.stages;
    v.deep_sleep_off = d.deep_sleep_on;
    v.dormancy_time = d.dormancy_time;
    v.key_delay = d.key_delay;
    v.motion_sync = d.motion_sync;
    v.linear_calibration = d.linear_calibration;
    return v;
}

}  // namespace velqa::link
