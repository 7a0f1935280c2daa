#include "device/model/mouse_core.h"

#include <span>
#include <thread>

#include "device/link/config_session.h"
#include "device/link/sequences.h"
#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "profile/profile_files.h"

namespace velqa::model {

MouseCore::MouseCore(profile::CMouseProfiledata& profile, profile::SensorTable sensors)
    : profile_(profile), sensors_(std::move(sensors)) {}

LoadOutcome MouseCore::load_from_device(link::CommandChannel& channel, int bank) {
    LoadOutcome out;
    out.range = range();
    link::ConfigSession session(channel, link::ConfigSession::Presence::AtStart);
    out.result = session.run([&] {
        link::DeviceInfoBlock block;
        const int info_res = channel.read_device_info(block.bytes);
        if (info_res != link::result::Success)
            return info_res;
        info_ = link::decode_device_info(block);
        out.link_message = info_.link_flag != 0 ? MsgDeviceUnlinked : MsgDeviceLinked;

        const int size = 3 * info_.key_count;
        if (channel.set_block_size(static_cast<std::uint16_t>(size)) == 0)
            return link::result::ReadFailed;
        const auto half = static_cast<std::size_t>(size);
        key_tables_.fill(0);
        int res = channel.read_key_table(std::span<std::uint8_t>(key_tables_.data(), half));
        if (res != link::result::Success)
            return res;
        res = channel.read_key_table_bank(std::span<std::uint8_t>(key_tables_.data() + 512, half),
                                          bank);
        if (res != link::result::Success)
            return res;
        profile_.set_key_slot_table(key_tables_.data() + 512, 512);
        return link::result::Success;
    });
    if (out.result != link::result::Success)
        return out;

    out.sensor_id = info_.sensor_id;
    out.range = range();
    out.sensor_picture = info_.sensor_id == link::SensorB;
    return out;
}

int MouseCore::read_settings(link::CommandChannel& channel, Mirror mirror) {
    channel.set_preview_pause(0);
    previous_ = state_;
    // Nothing read means nothing to decode: a zeroed record must never reach the profile.
    if (!channel.link_open())
        return link::result::ReadFailed;
    link::MouseSettingsRead read;
    if (link::read_mouse_settings(channel, read) != link::result::Success)
        return link::result::ReadFailed;

    const int previous_dormancy =
        has_record_ ? state_.settings.dormancy_time : profile_.read_system_settings().dormancy_time;
    last_record_ = read.record;
    has_record_ = true;
    state_ = decode_device_state(read.record, effects_, previous_dormancy);
    if (mirror == Mirror::IntoProfile) {
        mirror_into_profile(state_, sensor(), profile_);
        profile_.save();
    }
    return link::result::Success;
}

int MouseCore::write_settings(link::CommandChannel& channel, int slot, std::uint8_t slot_byte) {
    if (slot < 0 || slot > 0xFF)
        return link::result::BadBank;
    // The record is built on the one last read: without it the bytes the profile does not
    // hold would go to the mouse as zeros.
    if (!has_record_) {
        platform::debug_output("mouse settings write refused: nothing read from the mouse yet\n");
        return link::result::ReadFailed;
    }
    return write_record(channel, slot, record_for(slot_byte));
}

link::MouseSettingsRecord MouseCore::record_for(std::uint8_t slot_byte) {
    return build_settings_record(profile_, sensor(), last_record_, state_, effects_, slot_byte);
}

int MouseCore::write_record(link::CommandChannel& channel, int slot,
                            const link::MouseSettingsRecord& record) {
    const int res = link::write_settings_sequence(channel, record, static_cast<std::uint8_t>(slot));
    if (res != link::result::Success) {
        platform::debug_printf("mouse settings write failed: %d (%s)\n", res,
                               link::result_meaning(res));
    }
    return res;
}

int MouseCore::save_and_write_settings(link::CommandChannel& channel, int slot,
                                       std::uint8_t slot_byte) {
    // Nothing to overlap when nothing is written; and a save that needs a folder lock this
    // thread holds would wait on the thread that waits for it.
    if (slot < 0 || slot > 0xFF || !has_record_ || platform::holds_folder_lock()) {
        profile_.save();
        return write_settings(channel, slot, slot_byte);
    }
    // Built before the save starts: from then on the save is the profile's only user.
    const link::MouseSettingsRecord record = record_for(slot_byte);
    int res = link::result::ReadFailed;
    {
        std::jthread save([this] { profile_.save(); });
        res = write_record(channel, slot, record);
    }
    return res;
}

int MouseCore::change_stage_dpi(link::CommandChannel& channel, int stage, std::string_view typed,
                                int* stored) {
    const int dpi = clamp_typed_dpi(typed, sensor());
    if (!set_stage_dpi(profile_, sensor(), stage, dpi))
        return link::result::ReadFailed;
    if (stored)
        *stored = dpi;
    return save_and_write_settings(channel, 0, 0);
}

void attach_mouse_profile(profile::CMouseProfiledata& profile, MouseCore& core,
                          const std::filesystem::path& file,
                          const std::filesystem::path& default_data) {
    profile.set_device_index(0);
    profile.set_default_path(default_data / "mouse.Json");
    profile.set_profile_path(file);
    profile.load_section(file);
    profile.read_system_settings();
    profile.read_light_info();
    core.set_effect_list(effect_codes(profile::read_json(default_data / "default_light.json"), 0));
    load_custom_effects(profile, file.parent_path() / "tavix_light.config");
}

std::size_t load_custom_effects(profile::CBasicProfiledata& profile,
                                const std::filesystem::path& file) {
    profile.set_config_path(file);
    std::error_code ec;
    const bool present = std::filesystem::exists(file, ec);
    const Json::Value document = profile.load_document(file);
    // A damaged list is refused by name and offers nothing; its effects stay on disk untouched.
    if (present && (document.isNull() || !document.isObject())) {
        platform::debug_printf("%s: not a list of lighting effects, ignored\n",
                               file.string().c_str());
        if (!document.isNull())
            profile.load_document({});
        return 0;
    }
    return profile.custom_effect_names().size();
}

std::optional<profile::LightInfo> custom_effect_record(
    const profile::LightInfo& current, const std::vector<profile::LedEffectStep>& steps,
    int entry) {
    if (steps.empty() || entry < 0 || entry > 254)
        return std::nullopt;
    // The mouse holds one effect at a time: the effect's first step is what it shows.
    const profile::LedEffectStep& step = steps.front();
    profile::LightInfo info = current;
    info.mode = step.mode;
    info.brightness = step.brightness;
    info.speed = step.speed;
    info.direction = step.direction;
    info.multi_colour = step.multi_colour != 0 ? 1 : 0;
    info.red = step.red;
    info.green = step.green;
    info.blue = step.blue;
    info.custom_group = static_cast<std::uint8_t>(entry + 1);
    return info;
}

bool receiver_link_ok(link::CommandChannel& channel) {
    return channel.link_open() && channel.receiver_path() && channel.receiver_present();
}

bool merge_device_keys(profile::CBasicProfiledata& profile, int key_count) {
    std::map<int, int> map;
    for (int i = 0; i < key_count; ++i)
        map.emplace(i, i);
    profile.set_key_map(std::move(map));
    const std::vector<profile::KeyAssignment> stored = profile.read_key_list();
    std::vector<profile::KeyAssignment> merged = profile.read_key_list_merged();
    auto is_macro = [](const profile::KeyCode& c) {
        return c.function_class == 0x70 || c.function_class == 0x71;
    };
    for (std::size_t i = 0; i < merged.size() && i < stored.size(); ++i) {
        if (is_macro(merged[i].current) || is_macro(stored[i].current))
            merged[i].current = stored[i].current;
    }
    if (merged == stored)
        return false;
    profile.write_key_list(merged);
    return true;
}

int poll_power(link::CommandChannel& channel, bool power_capable, bool suppressed,
               PowerUpdate& out) {
    if (!power_capable || suppressed)
        return link::result::ReadFailed;
    link::PowerStatusBlock block;
    const int res = link::poll_power_status(channel, block);
    if (res != link::result::Success)
        return res;
    out = power_update(block, channel.receiver_path());
    return link::result::Success;
}

}  // namespace velqa::model
