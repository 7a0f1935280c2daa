#include "device/model/mouse_core.h"

#include <span>
#include <thread>

#include "device/link/config_session.h"
#include "device/link/sequences.h"
#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "profile/profile_files.h"
#include "profile/settings_limits.h"

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
        return link::result::BadArgument;
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

namespace {

std::uint16_t u16(int v) {
    return static_cast<std::uint16_t>(v);
}

bool names_a_stage(const profile::Sensor& sensor, int stage) {
    return sensor.stage_set >= 0 && profile::StageIndexRange.contains(stage);
}

// The sensor's stage set, grown with zeroed stages up to `stage`.
std::vector<profile::DpiStage> stages_through(profile::CMouseProfiledata& profile, int set,
                                              int stage) {
    std::vector<profile::DpiStage> stages = profile.read_dpi_stages(set);
    if (stages.size() <= static_cast<std::size_t>(stage))
        stages.resize(static_cast<std::size_t>(stage) + 1);
    return stages;
}

// Holds `asked` within `range` and tells the result what was kept.
int hold(const profile::ValueRange& range, int asked, ApplyResult& result) {
    result.stored = range.hold(asked);
    if (result.stored != asked)
        result.clamped_from = asked;
    return result.stored;
}

void store_option(profile::MouseSystemSettings& s, MouseOption option, std::uint16_t v) {
    switch (option) {
        case MouseOption::LiftOff:
            s.silent_altitude = v;
            break;
        case MouseOption::LinearCalibration:
            s.linear_calibration = v;
            break;
        case MouseOption::MotionSync:
            s.motion_sync = v;
            break;
        case MouseOption::SensorLift:
            s.sensor_lift = v;
            break;
        case MouseOption::DeepSleep:
            s.deep_sleep_off = v;
            break;
        case MouseOption::KeyDelay:
            s.key_delay = v;
            break;
        case MouseOption::SleepTime:
            s.dormancy_time = v;
            break;
        case MouseOption::AntiShake:
            s.anti_shake = v;
            break;
    }
}

using Pointer = platform::desktop::PointerSetting;

profile::ValueRange pointer_range(Pointer which) {
    switch (which) {
        case Pointer::Speed:
            return profile::PointerSpeedRange;
        case Pointer::WheelLines:
            return profile::WheelLinesRange;
        case Pointer::DoubleClick:
            return profile::DoubleClickRange;
        case Pointer::Precision:
        case Pointer::ScrollPage:
            break;
    }
    return profile::TwoWayRange;
}

void store_pointer(profile::MouseSystemSettings& s, Pointer which, std::uint16_t v) {
    switch (which) {
        case Pointer::Speed:
            s.pointer_speed = v;
            break;
        case Pointer::WheelLines:
            s.wheel_scroll_lines = v;
            break;
        case Pointer::DoubleClick:
            s.double_click_time = v;
            break;
        case Pointer::Precision:
            s.pointer_precision = v;
            break;
        case Pointer::ScrollPage:
            s.scroll_page = v;
            break;
    }
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

ApplyResult MouseCore::apply(link::CommandChannel& channel, const MouseChange& change,
                             const std::function<void()>& stored) {
    ApplyResult result;
    const Commit commit = store(change, result);
    if (stored && commit != Commit::Refused && commit != Commit::Unchanged)
        stored();
    switch (commit) {
        case Commit::Refused:
            result.failed = ApplyResult::Step::Refused;
            break;
        case Commit::Unchanged:
            result.unchanged = true;
            break;
        case Commit::SaveOnly:
            if (!profile_.save()) {
                result.failed = ApplyResult::Step::Save;
                result.save_error = profile_.save_error();
            }
            break;
        case Commit::WriteOnly:
            result.write_code = write_settings(channel, 0, 0);
            result.written = true;
            if (result.write_code != link::result::Success)
                result.failed = ApplyResult::Step::Write;
            break;
        case Commit::SaveAndWrite:
            save_and_write(channel, result);
            break;
    }
    return result;
}

MouseCore::Commit MouseCore::store(const MouseChange& change, ApplyResult& result) {
    const profile::Sensor held_by = sensor();
    const int set = held_by.stage_set;
    auto system = [&](auto&& edit) {
        profile::MouseSystemSettings sys = profile_.system_settings();
        edit(sys);
        profile_.write_system_settings(sys);
    };
    return std::visit(
        Overloaded{
            [&](const mouse::StageDpi& c) {
                if (!names_a_stage(held_by, c.stage))
                    return Commit::Refused;
                const int dpi = hold(held_by.dpi, c.dpi, result);
                auto stages = stages_through(profile_, set, c.stage);
                auto& stage = stages[static_cast<std::size_t>(c.stage)];
                if (c.keep_same && stage.dpi_x == dpi)
                    return Commit::Unchanged;
                stage.dpi_x = u16(dpi);
                profile_.write_dpi_stages(stages, set);
                return Commit::SaveAndWrite;
            },
            [&](const mouse::StageEnabled& c) {
                if (!names_a_stage(held_by, c.stage))
                    return Commit::Refused;
                auto stages = stages_through(profile_, set, c.stage);
                stages[static_cast<std::size_t>(c.stage)].stage_flag = c.on ? 1 : 0;
                result.stored = c.on ? 1 : 0;
                profile_.write_dpi_stages(stages, set);
                return Commit::SaveAndWrite;
            },
            [&](const mouse::StageColour& c) {
                if (!names_a_stage(held_by, c.stage))
                    return Commit::Refused;
                auto stages = stages_through(profile_, set, c.stage);
                auto& stage = stages[static_cast<std::size_t>(c.stage)];
                stage.red = c.red;
                stage.green = c.green;
                stage.blue = c.blue;
                result.stored = c.red << 16 | c.green << 8 | c.blue;
                profile_.write_dpi_stages(stages, set);
                return Commit::SaveAndWrite;
            },
            [&](const mouse::ActiveStage& c) {
                if (!names_a_stage(held_by, c.stage))
                    return Commit::Refused;
                profile_.write_active_stage(c.stage, set);
                result.stored = c.stage;
                if (c.shown_dpi) {
                    auto stages = stages_through(profile_, set, profile::StageIndexRange.max);
                    ApplyResult ignored;
                    for (std::size_t n = 0; n < c.shown_dpi->size(); ++n)
                        stages[n].dpi_x = u16(hold(held_by.dpi, (*c.shown_dpi)[n], ignored));
                    profile_.write_dpi_stages(stages, set);
                }
                return Commit::SaveAndWrite;
            },
            [&](const mouse::Polling& c) {
                const auto index = u16(hold(profile::PollingIndexRange, c.index, result));
                system([&](profile::MouseSystemSettings& s) {
                    s.report_rate_stage = index;
                    (c.field == PollingField::Receiver24K ? s.report_item_24g : s.report_item_usb) =
                        index;
                });
                return Commit::SaveAndWrite;
            },
            [&](const mouse::Option& c) {
                const auto v = u16(hold(option_range(c.option), c.value, result));
                system([&](profile::MouseSystemSettings& s) { store_option(s, c.option, v); });
                return Commit::SaveAndWrite;
            },
            [&](const mouse::Lighting& c) {
                profile::LightInfo info = c.info;
                profile::hold_in_range(info);
                const profile::LightInfo& current = profile_.light_info();
                if (info.mode != current.mode)
                    info.previous_mode = current.mode;
                result.stored = info.mode;
                profile_.write_light_info(info);
                return Commit::SaveAndWrite;
            },
            [&](const mouse::AudioLighting& c) {
                profile::AudioLightInfo info = c.info;
                profile::hold_in_range(info);
                result.stored = info.audio_mode;
                profile_.write_audio_light_info(info);
                return Commit::SaveOnly;
            },
            [&](const mouse::Pointer& c) {
                const std::uint8_t bit = platform::desktop::pointer_field_bit(c.which);
                if (!c.value) {
                    profile_.set_pointer_fields_set(profile_.pointer_fields_set() &
                                                    static_cast<std::uint8_t>(~bit));
                    return Commit::SaveOnly;
                }
                const auto v = u16(hold(pointer_range(c.which), *c.value, result));
                system([&](profile::MouseSystemSettings& s) { store_pointer(s, c.which, v); });
                profile_.set_pointer_fields_set(profile_.pointer_fields_set() | bit);
                return Commit::SaveOnly;
            },
            [&](const mouse::KeyAssignment& c) {
                return store_key_code(profile_, c.key, c.code) ? Commit::SaveOnly : Commit::Refused;
            },
            [&](const mouse::WholeProfile& c) {
                return c.save ? Commit::SaveAndWrite : Commit::WriteOnly;
            },
        },
        change);
}

void MouseCore::save_and_write(link::CommandChannel& channel, ApplyResult& result) {
    bool saved = false;
    result.written = true;
    // Nothing to overlap when nothing is written; and a save that needs a folder lock this
    // thread holds would wait on the thread that waits for it.
    if (!has_record_ || platform::holds_folder_lock()) {
        saved = profile_.save();
        result.write_code = write_settings(channel, 0, 0);
    } else {
        // Built before the save starts: from then on the save is the profile's only user.
        const link::MouseSettingsRecord record = record_for(0);
        std::jthread save([this, &saved] { saved = profile_.save(); });
        result.write_code = write_record(channel, 0, record);
    }
    if (!saved) {
        result.failed = ApplyResult::Step::Save;
        result.save_error = profile_.save_error();
    } else if (result.write_code != link::result::Success) {
        result.failed = ApplyResult::Step::Write;
    }
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
