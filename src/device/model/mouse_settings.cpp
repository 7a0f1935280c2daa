#include "device/model/mouse_settings.h"

#include <algorithm>
#include <climits>

#include "profile/json_access.h"

namespace velqa::model {

namespace {

std::uint8_t u8(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

std::uint16_t u16(int v) {
    return static_cast<std::uint16_t>(v & 0xFFFF);
}

profile::DpiStage to_profile_stage(const link::DpiStageValues& s) {
    return profile::DpiStage{u8(s.active), u8(s.xy),    u16(s.dpi_x), u16(s.dpi_y),
                             u8(s.red),    u8(s.green), u8(s.blue)};
}

link::DpiStageValues to_record_stage(const profile::DpiStage& s) {
    return link::DpiStageValues{s.stage_flag, s.xy_flag, s.dpi_x, s.dpi_y, s.red, s.green, s.blue};
}

}  // namespace

std::vector<std::uint8_t> effect_codes(const Json::Value& default_light, int model) {
    std::vector<std::uint8_t> codes;
    if (model < 0)
        return codes;
    const Json::Value& modes = profile::element(profile::member(default_light, "DefaultLightName"),
                                                static_cast<Json::ArrayIndex>(model));
    if (!modes.isArray())
        return codes;
    for (const Json::Value& mode : modes)
        codes.push_back(profile::to_u8(profile::member(mode, "value")));
    return codes;
}

std::vector<LightModeEntry> light_modes(const Json::Value& default_light, int model) {
    std::vector<LightModeEntry> out;
    if (model < 0)
        return out;
    const Json::Value& modes = profile::element(profile::member(default_light, "DefaultLightName"),
                                                static_cast<Json::ArrayIndex>(model));
    if (!modes.isArray())
        return out;
    for (const Json::Value& mode : modes) {
        out.push_back({profile::to_text(profile::member(mode, "LightName")),
                       profile::to_bool(profile::member(mode, "visible")),
                       profile::to_u8(profile::member(mode, "value"))});
    }
    return out;
}

MouseDeviceState decode_device_state(const link::MouseSettingsRecord& record,
                                     std::span<const std::uint8_t> effect_list,
                                     int previous_dormancy) {
    MouseDeviceState state;
    state.settings = link::decode_mouse_settings(record, effect_list, previous_dormancy);
    state.light_code_known =
        std::find(effect_list.begin(), effect_list.end(), record.bytes[1]) != effect_list.end();
    return state;
}

void mirror_into_profile(const MouseDeviceState& state, const profile::Sensor& sensor,
                         profile::CMouseProfiledata& profile) {
    const auto& d = state.settings;
    const int set = sensor.stage_set;
    if (set >= 0) {
        std::vector<profile::DpiStage> stages;
        for (const auto& s : d.stages)
            stages.push_back(to_profile_stage(s));
        profile.write_dpi_stages(stages, set);
        profile.write_active_stage(d.active_stage, set);
    }

    profile::MouseSystemSettings sys = profile.read_system_settings();
    sys.report_item_24g = u16(d.report_select_24k);
    sys.report_item_usb = u16(d.report_select_usb);
    sys.silent_altitude = u16(d.silent_altitude);
    sys.motion_sync = u16(d.motion_sync);
    sys.linear_calibration = u16(d.linear_calibration);
    sys.key_delay = u16(d.key_delay);
    sys.deep_sleep_off = u16(d.deep_sleep_on);
    sys.dormancy_time = u16(d.dormancy_time);
    profile.write_system_settings(sys);

    profile::LightInfo light = profile.read_light_info();
    light.mode = u8(d.light_selection);
    light.brightness = u8(d.light);
    light.speed = u8(d.speed);
    light.direction = u8(d.fx);
    light.multi_colour = u8(d.multi_color);
    light.red = u8(d.red);
    light.green = u8(d.green);
    light.blue = u8(d.blue);
    profile.write_light_info(light);
}

namespace {

// The values the record takes from the profile, written over `v`; with `held`, each is first
// held within its range.
void take_from_profile(link::MouseSettingsValues& v, profile::CMouseProfiledata& profile,
                       const profile::Sensor& sensor, bool held) {
    const int set = sensor.stage_set;
    profile::LightInfo light = profile.read_light_info();
    profile::MouseSystemSettings sys = profile.read_system_settings();
    if (held) {
        profile::hold_in_range(light);
        profile::hold_in_range(sys);
    }
    v.light_selection = light.mode;
    v.light = light.brightness;
    v.speed = light.speed;
    v.fx = light.direction;
    v.multi_color = light.multi_colour;
    v.red = light.red;
    v.green = light.green;
    v.blue = light.blue;
    v.report_select_24k = sys.report_item_24g;
    v.report_select_usb = sys.report_item_usb;
    v.silent_altitude = sys.silent_altitude;
    v.deep_sleep_off = sys.deep_sleep_off;
    v.dormancy_time = sys.dormancy_time;
    v.key_delay = sys.key_delay;
    v.motion_sync = sys.motion_sync;
    v.linear_calibration = sys.linear_calibration;
    if (set < 0)
        return;
    std::vector<profile::DpiStage> stages = profile.read_dpi_stages(set);
    for (std::size_t i = 0; i < stages.size() && i < link::DpiStageCount; ++i) {
        if (held)
            profile::hold_in_range(stages[i], sensor.dpi);
        v.stages[i] = to_record_stage(stages[i]);
    }
    v.active_stage =
        held ? profile::StageIndexRange.hold(profile.active_stage()) : profile.active_stage();
}

// Where the profile still holds what the mouse reported (compared at the field's width, as the
// profile stores it), the value read goes back unchanged, even one outside the page's range:
// a write never alters what the profile did not change.
void keep_values_read(link::MouseSettingsValues& v, const link::MouseSettingsValues& profile,
                      const link::MouseSettingsValues& read) {
    auto keep = [](int& out, int from_profile, int from_read, int mask) {
        if ((from_profile & mask) == (from_read & mask))
            out = from_read;
    };
    using V = link::MouseSettingsValues;
    for (int V::*f : {&V::light_selection, &V::light, &V::speed, &V::fx, &V::multi_color, &V::red,
                      &V::green, &V::blue, &V::report_select_24k, &V::report_select_usb,
                      &V::active_stage, &V::silent_altitude, &V::deep_sleep_off, &V::dormancy_time,
                      &V::key_delay, &V::motion_sync, &V::linear_calibration})
        keep(v.*f, profile.*f, read.*f, 0xFF);
    using S = link::DpiStageValues;
    for (std::size_t i = 0; i < link::DpiStageCount; ++i) {
        for (int S::*f : {&S::active, &S::xy, &S::red, &S::green, &S::blue})
            keep(v.stages[i].*f, profile.stages[i].*f, read.stages[i].*f, 0xFF);
        for (int S::*f : {&S::dpi_x, &S::dpi_y})
            keep(v.stages[i].*f, profile.stages[i].*f, read.stages[i].*f, 0xFFFF);
    }
}

}  // namespace

bool store_key_code(profile::CBasicProfiledata& profile, int key, const profile::KeyCode& code) {
    std::vector<profile::KeyAssignment> keys = profile.read_key_list();
    if (key < 0 || static_cast<std::size_t>(key) >= keys.size())
        return false;
    keys[static_cast<std::size_t>(key)].current = code;
    profile.write_key_list(keys);
    return true;
}

link::MouseSettingsRecord build_settings_record(profile::CMouseProfiledata& profile,
                                                const profile::Sensor& sensor,
                                                const link::MouseSettingsRecord& last_read,
                                                const MouseDeviceState& last_state,
                                                std::span<const std::uint8_t> effect_list,
                                                std::uint8_t slot_byte) {
    // Start from the record read so that whatever the profile does not hold stays as read.
    const link::MouseSettingsValues read =
        link::values_from_decoded(link::decode_mouse_settings(last_read, effect_list));
    link::MouseSettingsValues as_stored = read;
    take_from_profile(as_stored, profile, sensor, false);
    link::MouseSettingsValues v = read;
    take_from_profile(v, profile, sensor, true);
    keep_values_read(v, as_stored, read);
    v.slot_byte = slot_byte;

    link::MouseSettingsRecord rec = link::encode_mouse_settings(v, last_read, effect_list);
    const bool selection_unchanged =
        profile.light_info().mode == u8(last_state.settings.light_selection);
    if (!last_state.light_code_known && selection_unchanged)
        rec.bytes[1] = last_read.bytes[1];
    return rec;
}

namespace {

// The sensors `model` lists that `sensors` lacks: the first listing of a sensor counts.
void add_sensors(std::vector<profile::SensorSpec>& sensors, const link::DeviceModel& model) {
    for (const link::DeviceSensor& s : model.sensors) {
        if (std::none_of(sensors.begin(), sensors.end(),
                         [&](const auto& known) { return known.sensor_id == s.sensor_id; }))
            sensors.push_back({s.sensor_id, s.stage_set, s.dpi_max});
    }
}

}  // namespace

profile::SensorTable sensor_table(const link::DeviceModel& model) {
    std::vector<profile::SensorSpec> sensors;
    add_sensors(sensors, model);
    return profile::SensorTable(std::move(sensors));
}

profile::SensorTable sensor_table(const link::DeviceCatalog& catalog) {
    std::vector<profile::SensorSpec> sensors;
    for (const link::DeviceModel& model : catalog.models())
        add_sensors(sensors, model);
    return profile::SensorTable(std::move(sensors));
}

DpiRange dpi_range(const profile::Sensor& sensor) {
    return sensor.dpi;
}

int typed_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

int dpi_display_value(int dpi) {
    if (dpi <= 0)
        return 0;
    return (dpi + DpiStep - 1) / DpiStep * DpiStep;
}

OptionRange option_range(MouseOption option) {
    switch (option) {
        case MouseOption::KeyDelay:
            return profile::KeyDelayIndexRange;
        case MouseOption::SleepTime:
            return profile::SleepTimeIndexRange;
        case MouseOption::AntiShake:
            return profile::WordRange;
        default:
            return profile::TwoWayRange;
    }
}

PollingField polling_option_field(bool receiver_path, std::uint16_t receiver_product_id) {
    return receiver_path && receiver_product_id == 0 ? PollingField::Receiver24K
                                                     : PollingField::Usb;
}

PollingField polling_slider_field(bool receiver_path) {
    return receiver_path ? PollingField::Receiver24K : PollingField::Usb;
}

int shown_polling_option(const link::MouseSettingsDecoded& settings, bool receiver_path) {
    const int index = receiver_path ? settings.report_select_24k : settings.report_select_usb;
    return index >= 0 && index < PollingOptions ? index : 0;
}

int shown_two_way_option(int index) {
    return index == 0 || index == 1 ? index : 0;
}

FunctionTabs function_page_tabs(int page_type, int device_type) {
    switch (page_type) {
        case 2:
        case 6:
            return {0, 1};
        case 3:
        case 10:
            return {1, std::nullopt};
        case 4:
            if (device_type == 1 || device_type == 2)
                return {4, std::nullopt};
            return {0, 2};  // as page type 7
        case 7:
            return {0, 2};
        case 5:
            return {2, std::nullopt};
        case 8:
            return {3, std::nullopt};
        case 9:
            return {5, std::nullopt};
        default:
            return {0, 0};
    }
}

NotificationAction decode_notification(std::uint16_t event, bool wired_link, bool link_open) {
    using Kind = NotificationAction::Kind;
    if (event == 0x401 || event == 0x402)
        return {Kind::ReloadSettings};
    if (event == 0x403 && wired_link)
        return {Kind::Reactive};
    const std::uint16_t above = wired_link ? 0x403 : 0x402;
    if (event <= above || !link_open)
        return {};
    const int high = event >> 8;
    const int slot = event & 0x0F;
    if (high == 0x10)
        return {Kind::SetSlot, slot, -1};
    if (high == 0x11) {
        const int stage = (event >> 4) & 0x0F;
        // The mouse has six stages; a larger number cannot be shown and is dropped.
        return {Kind::SetSlot, slot, stage < static_cast<int>(link::DpiStageCount) ? stage : -1};
    }
    return {};
}

bool apply_notification(const NotificationAction& action, MouseDeviceState& state) {
    if (action.kind != NotificationAction::Kind::SetSlot)
        return false;
    state.settings.active_slot = u8(action.slot);
    if (action.stage >= 0)
        state.settings.active_stage = action.stage;
    return true;
}

PowerUpdate power_update(link::PowerStatusBlock raw, bool receiver_path) {
    link::mark_power_path(raw, receiver_path);
    PowerUpdate update;
    update.block = raw;
    update.message_param = raw.bytes[4];
    return update;
}

}  // namespace velqa::model
