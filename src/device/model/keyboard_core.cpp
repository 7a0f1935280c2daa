#include "device/model/keyboard_core.h"

#include <algorithm>
#include <chrono>

#include "device/link/config_session.h"
#include "platform/debug_output.h"
#include "profile/profile_files.h"
#include "profile/settings_limits.h"

namespace velqa::model {

namespace {

std::uint8_t u8(int v) {
    return static_cast<std::uint8_t>(v);
}

// Record bytes with a field of their own.
namespace kb {
constexpr std::size_t Slot = 0;
constexpr std::size_t Mode = 1;
constexpr std::size_t Light = 2;
constexpr std::size_t Speed = 3;
constexpr std::size_t Fx = 4;
constexpr std::size_t Multi = 5;
constexpr std::size_t Red = 6;
constexpr std::size_t Green = 7;
constexpr std::size_t Blue = 8;
constexpr std::size_t Spare = 16;
constexpr std::size_t SecondMode = 18;
constexpr std::size_t SixKey = 19;
constexpr std::size_t Repeat = 20;
constexpr std::size_t Polling = 21;
constexpr std::size_t RepeatDelay = 22;
constexpr std::size_t Group = 25;
}  // namespace kb

constexpr int SpeedMax = 4;

// The bytes that carry one value as it is: the profile-side value truncated to its byte, the
// byte read back unchanged. Slot, mode and speed have rules of their own.
struct ByteField {
    std::size_t offset;
    int KeyboardSettingsValues::*value;
    int KeyboardSettingsDecoded::*decoded;
};
using Values = KeyboardSettingsValues;
using Decoded = KeyboardSettingsDecoded;
constexpr ByteField ByteFields[] = {
    {kb::Light, &Values::light, &Decoded::light},
    {kb::Fx, &Values::fx, &Decoded::fx},
    {kb::Multi, &Values::multi_color, &Decoded::multi_color},
    {kb::Red, &Values::red, &Decoded::red},
    {kb::Green, &Values::green, &Decoded::green},
    {kb::Blue, &Values::blue, &Decoded::blue},
    {kb::SecondMode, &Values::second_mode, &Decoded::second_mode},
    {kb::SixKey, &Values::six_key, &Decoded::six_key},
    {kb::Repeat, &Values::repeat, &Decoded::repeat},
    {kb::Polling, &Values::polling_rate, &Decoded::polling_rate},
    {kb::RepeatDelay, &Values::repeat_delay, &Decoded::repeat_delay},
    {kb::Group, &Values::custom_group, &Decoded::custom_group},
};

}  // namespace

// ---- Record ----

std::uint8_t keyboard_mode_code(int mode, std::span<const std::uint8_t> effect_codes) {
    int code = mode;
    if (mode >= 0 && static_cast<std::size_t>(mode) < effect_codes.size())
        code = effect_codes[static_cast<std::size_t>(mode)];
    if (code == StreamModeAudio || code == StreamModeWave)
        return StreamModeCode;
    return u8(code);
}

KeyboardSettingsRecord encode_keyboard_settings(const KeyboardSettingsValues& v,
                                                const KeyboardSettingsRecord& last_read,
                                                std::span<const std::uint8_t> effect_codes) {
    KeyboardSettingsRecord r = last_read;
    auto& b = r.bytes;
    b[kb::Slot] = u8(v.slot_byte);
    b[kb::Mode] = keyboard_mode_code(v.light_selection, effect_codes);
    if (v.speed >= 0 && v.speed <= SpeedMax)
        b[kb::Speed] = u8(SpeedMax - v.speed);
    b[kb::Spare] = 0;
    for (const ByteField& f : ByteFields)
        b[f.offset] = u8(v.*f.value);
    return r;
}

KeyboardSettingsDecoded decode_keyboard_settings(const KeyboardSettingsRecord& record,
                                                 std::span<const std::uint8_t> effect_codes,
                                                 int current_mode) {
    const auto& b = record.bytes;
    KeyboardSettingsDecoded d;
    d.active_slot = b[kb::Slot];
    d.light_code = b[kb::Mode];
    if (d.light_code == StreamModeCode) {
        d.light_selection = current_mode;
    } else {
        const auto it = std::find(effect_codes.begin(), effect_codes.end(), d.light_code);
        d.light_selection = it != effect_codes.end() ? static_cast<int>(it - effect_codes.begin())
                                                     : static_cast<int>(d.light_code);
    }
    // A byte above 4 would give a negative speed, which no control can show.
    d.speed = SpeedMax - std::min<int>(b[kb::Speed], SpeedMax);
    for (const ByteField& f : ByteFields)
        d.*f.decoded = b[f.offset];
    return d;
}

// ---- Map and colours ----

LedKeyMap identity_led_map(std::size_t leds) {
    LedKeyMap map(leds, NoKeyPosition);
    for (std::size_t i = 0; i < leds && i <= static_cast<std::size_t>(MaxKeyPosition); ++i)
        map[i] = static_cast<std::uint8_t>(i);
    return map;
}

std::optional<std::size_t> key_position(const LedKeyMap& map, std::size_t led, int key_count) {
    if (led >= map.size())
        return std::nullopt;
    const int pos = map[led];
    if (pos > MaxKeyPosition || pos >= key_count)
        return std::nullopt;
    return static_cast<std::size_t>(pos);
}

std::vector<std::uint8_t> key_colour_bytes(std::span<const Rgb> led_colours, const LedKeyMap& map,
                                           int key_count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max(key_count, 0)) * 3, 0);
    for (std::size_t led = 0; led < led_colours.size(); ++led) {
        if (const auto pos = key_position(map, led, key_count)) {
            bytes[*pos * 3] = led_colours[led].red;
            bytes[*pos * 3 + 1] = led_colours[led].green;
            bytes[*pos * 3 + 2] = led_colours[led].blue;
        }
    }
    return bytes;
}

void apply_key_colour_bytes(std::span<const std::uint8_t> bytes, const LedKeyMap& map,
                            std::vector<Rgb>& led_colours) {
    const int keys = static_cast<int>(bytes.size() / 3);
    for (std::size_t led = 0; led < led_colours.size(); ++led) {
        if (const auto pos = key_position(map, led, keys))
            led_colours[led] = Rgb{bytes[*pos * 3], bytes[*pos * 3 + 1], bytes[*pos * 3 + 2]};
    }
}

std::vector<std::uint8_t> stream_frame(const LedFrame& frame, const LedKeyMap& map, int key_count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max(key_count, 0)) * 3, 0);
    const auto scale = [](std::uint8_t colour, std::uint8_t brightness) {
        return static_cast<std::uint8_t>((colour * brightness) >> 8);
    };
    for (std::size_t led = 0; led < frame.size(); ++led) {
        if (const auto pos = key_position(map, led, key_count)) {
            const LedEntry& e = frame[led];
            bytes[*pos * 3] = scale(e.red, e.brightness);
            bytes[*pos * 3 + 1] = scale(e.green, e.brightness);
            bytes[*pos * 3 + 2] = scale(e.blue, e.brightness);
        }
    }
    return bytes;
}

// ---- Notifications ----

NotificationAction decode_keyboard_notification(std::uint16_t event, bool wired_link,
                                                bool link_open) {
    using Kind = NotificationAction::Kind;
    if (event == 0x401 || event == 0x402)
        return {Kind::ReloadSettings};
    if (event <= 0x402)
        return {};
    if (wired_link && event >= 0x500 && event <= 0x6FF) {
        NotificationAction a{Kind::Reactive};
        a.key = event & 0xFF;
        a.reactive_kind = event < 0x600 ? 1 : 2;
        return a;
    }
    if (!link_open)
        return {};
    const int high = event >> 8;
    if (high == 0x10)
        return {Kind::SetSlot, event & 0x0F, -1};
    if (high == 0x11)
        return {Kind::SetSlot, event & 0x0F, (event >> 4) & 0x0F};
    return {};
}

// ---- Gate ----

bool LightingGate::may_send(bool link_open, bool awake, std::uint64_t now_ms) const {
    if (!link_open || !awake)
        return false;
    std::lock_guard lock(mutex_);
    return failures_ < MaxFailures && now_ms >= resume_at_;
}

void LightingGate::record(int result, std::uint64_t now_ms) {
    std::lock_guard lock(mutex_);
    if (result == link::result::Success) {
        failures_ = 0;
        resume_at_ = 0;
        return;
    }
    if (++failures_ == MaxFailures) {
        platform::debug_printf("lighting writes stopped after %d failures in a row (last %d)\n",
                               MaxFailures, result);
    }
    resume_at_ = now_ms + PauseMs;
}

void LightingGate::reset() {
    std::lock_guard lock(mutex_);
    failures_ = 0;
    resume_at_ = 0;
}

bool LightingGate::stopped() const {
    std::lock_guard lock(mutex_);
    return failures_ >= MaxFailures;
}

int LightingGate::failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

// ---- Core ----

KeyboardCore::KeyboardCore(profile::CKeyboardProfiledata& profile) : profile_(profile) {}

void KeyboardCore::set_led_count(std::size_t leds) {
    set_led_map(identity_led_map(leds));
}

void KeyboardCore::set_led_map(LedKeyMap map) {
    std::lock_guard lock(map_mutex_);
    colours_.resize(map.size());
    map_ = std::move(map);
}

KeyboardLoadOutcome KeyboardCore::load_from_device(link::CommandChannel& channel) {
    KeyboardLoadOutcome out;
    colour_gate_.reset();
    stream_gate_.reset();
    link::ConfigSession session(channel, link::ConfigSession::Presence::Never);
    out.result = session.run([&] {
        link::DeviceInfoBlock block;
        int res = channel.read_device_info(block.bytes);
        if (res != link::result::Success)
            return res;
        const link::DeviceInfo info = link::decode_device_info(block);
        const int size = 3 * info.key_count;
        if (channel.set_block_size(static_cast<std::uint16_t>(size)) == 0)
            return link::result::ReadFailed;
        KeyboardKeyTables tables{};
        res = channel.read_key_table(
            std::span<std::uint8_t>(tables.data(), static_cast<size_t>(size)));
        if (res != link::result::Success)
            return res;
        res = channel.read_key_table_thirds(
            std::span<std::uint8_t>(tables.data() + KeyTablesSecondAt, info.key_count));
        if (res != link::result::Success)
            return res;
        info_ = info;
        stream_keys_ = info.key_count;
        key_tables_ = tables;
        profile_.set_key_slot_table(key_tables_.data(), 512);
        return link::result::Success;
    });
    return out;
}

void mirror_keyboard_state(const KeyboardSettingsDecoded& decoded,
                           profile::CKeyboardProfiledata& profile) {
    profile::LightInfo light = profile.light_info();
    if (light.mode != decoded.light_selection)
        light.previous_mode = light.mode;
    light.mode = u8(decoded.light_selection);
    light.brightness = u8(decoded.light);
    light.speed = u8(decoded.speed);
    light.direction = u8(decoded.fx);
    light.multi_colour = decoded.multi_color != 0 ? 1 : 0;
    light.red = u8(decoded.red);
    light.green = u8(decoded.green);
    light.blue = u8(decoded.blue);
    profile.write_light_info(light);
    profile::KeyboardSystemSettings sys = profile.read_keyboard_settings();
    sys.six_key_flag = static_cast<std::uint16_t>(decoded.six_key);
    sys.repeat = static_cast<std::uint16_t>(decoded.repeat);
    sys.polling_rate = static_cast<std::uint16_t>(decoded.polling_rate);
    // The delay too: the next write sends the profile's, which would otherwise undo a delay
    // set on the keyboard whenever anything else is changed.
    sys.repeat_delay = static_cast<std::uint16_t>(decoded.repeat_delay);
    profile.write_keyboard_settings(sys);
}

KeyboardReadOutcome KeyboardCore::read_settings(link::CommandChannel& channel, Mirror mirror) {
    KeyboardReadOutcome out;
    channel.set_preview_pause(0);
    if (!channel.link_open())
        return out;
    KeyboardSettingsRecord record;
    {
        auto hold = channel.hold_link();
        if (!hold)
            return out;
        std::uint8_t slot = 0;
        if (channel.read_settings(std::span<std::uint8_t>(&slot, 1), 1, 0) != link::result::Success)
            return out;
        if (channel.read_settings(record.bytes, KeyboardSettingsSize,
                                  static_cast<std::uint16_t>(slot * KeyboardSlotStride)) !=
            link::result::Success)
            return out;
    }
    // The mode the page shows now: a streamed mode chosen since the last read reads back as 254.
    const int previous_mode = profile_.light_info().mode;
    const KeyboardSettingsDecoded decoded =
        decode_keyboard_settings(record, effects_, previous_mode);
    last_record_ = record;
    has_record_ = true;
    state_ = decoded;
    out.result = link::result::Success;
    out.mode_changed =
        decoded.light_selection != previous_mode || decoded.light_selection == CustomColourMode;
    if (mirror == Mirror::No)
        return out;

    if (decoded.light_selection == CustomColourMode && info_.key_count > 0) {
        const auto length = static_cast<std::uint16_t>(info_.key_count * 3);
        std::vector<std::uint8_t> bytes(length, 0);
        if (channel.read_indexed(bytes, length, static_cast<std::uint16_t>(decoded.custom_group),
                                 ColourGroupStride) == link::result::Success) {
            {
                std::lock_guard lock(map_mutex_);
                apply_key_colour_bytes(bytes, map_, colours_);
            }
            out.colours_read = true;
            store_colours_in_profile();
            write_custom_colours(channel, true);
        }
    }

    mirror_keyboard_state(decoded, profile_);
    profile_.save();
    return out;
}

int KeyboardCore::write_settings(link::CommandChannel& channel, int slot, std::uint8_t slot_byte) {
    if (slot < 0 || slot > 0xFF)
        return link::result::BadArgument;
    // Built on the record read: without one the bytes the profile does not hold would go out
    // as zeros.
    if (!has_record_) {
        platform::debug_output("keyboard settings write refused: nothing read yet\n");
        return link::result::ReadFailed;
    }
    const profile::LightInfo& light = profile_.light_info();
    // A hand-edited profile reaches the keyboard within the same limits as the page's options.
    profile::KeyboardSystemSettings sys = profile_.read_keyboard_settings();
    profile::hold_in_range(sys);
    KeyboardSettingsValues v;
    v.slot_byte = slot_byte;
    v.light_selection = light.mode;
    v.light = light.brightness;
    v.speed = light.speed;
    v.fx = light.direction;
    v.multi_color = light.multi_colour;
    v.red = light.red;
    v.green = light.green;
    v.blue = light.blue;
    v.second_mode = light.second_mode;
    v.custom_group = light.custom_group;
    v.six_key = sys.six_key_flag;
    v.repeat = sys.repeat;
    v.polling_rate = sys.polling_rate;
    v.repeat_delay = sys.repeat_delay;
    const KeyboardSettingsRecord record = encode_keyboard_settings(v, last_record_, effects_);

    // A failed begin or end fails the write too, as on the mouse: the keyboard may not have
    // taken the record.
    link::ConfigSession session(channel, link::ConfigSession::Presence::Never);
    const int res = session.run([&] {
        return channel.write_settings(record.bytes, KeyboardSettingsSize,
                                      static_cast<std::uint16_t>(slot * KeyboardSlotStride));
    });
    if (res != link::result::Success) {
        platform::debug_printf("keyboard settings write failed: %d (%s)\n", res,
                               link::result_meaning(res));
    } else {
        last_record_ = record;
        state_.custom_group = light.custom_group;
    }
    return res;
}

ApplyResult KeyboardCore::apply(link::CommandChannel& channel, const KeyboardChange& change,
                                const std::function<void()>& stored) {
    ApplyResult result;
    if (const auto* light = std::get_if<keyboard::Lighting>(&change)) {
        profile::LightInfo info = light->info;
        profile::hold_in_range(info);
        if (info.mode != profile_.light_info().mode)
            info.previous_mode = profile_.light_info().mode;
        profile_.write_light_info(info);
        result.stored = info.mode;
        if (info.mode == CustomColourMode) {
            // The custom group chosen: its colours from the profile, sent before the record.
            load_colours_from_profile();
            result.colours_code = write_custom_colours(channel, light->awake);
        }
    } else if (const auto* sys = std::get_if<keyboard::System>(&change)) {
        profile::KeyboardSystemSettings settings = sys->settings;
        profile::hold_in_range(settings);
        profile_.write_keyboard_settings(settings);
    } else if (const auto* key = std::get_if<keyboard::KeyAssignment>(&change)) {
        if (!store_key_code(profile_, key->key, key->code)) {
            result.failed = ApplyResult::Step::Refused;
            return result;
        }
    } else if (const auto* audio = std::get_if<keyboard::AudioLighting>(&change)) {
        profile::AudioLightInfo info = audio->info;
        profile::hold_in_range(info);
        profile_.write_audio_light_info(info);
        result.stored = info.audio_mode;
    }
    if (stored)
        stored();
    if (!std::holds_alternative<keyboard::WholeProfile>(change) && !profile_.save()) {
        result.failed = ApplyResult::Step::Save;
        result.save_error = profile_.save_error();
    }
    // Neither a key assignment nor the music lighting is part of the settings record.
    if (std::holds_alternative<keyboard::KeyAssignment>(change) ||
        std::holds_alternative<keyboard::AudioLighting>(change))
        return result;
    result.written = true;
    result.write_code = write_settings(channel, 0, 0);
    if (result.ok() && result.write_code != link::result::Success)
        result.failed = ApplyResult::Step::Write;
    return result;
}

int KeyboardCore::write_custom_colours(link::CommandChannel& channel, bool awake) {
    if (info_.key_count <= 0)
        return link::result::ReadFailed;
    const std::uint64_t now = clock_();
    if (!colour_gate_.may_send(channel.link_open() != 0, awake, now))
        return link::result::ReadFailed;
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard lock(map_mutex_);
        bytes = key_colour_bytes(colours_, map_, info_.key_count);
    }
    const int res =
        channel.write_indexed(bytes, static_cast<std::uint16_t>(bytes.size()),
                              static_cast<std::uint16_t>(state_.custom_group), ColourGroupStride);
    colour_gate_.record(res, clock_());
    return res;
}

void KeyboardCore::store_colours_in_profile() {
    std::vector<profile::KeyColour> keys;
    keys.reserve(colours_.size());
    for (const Rgb& c : colours_)
        keys.push_back(profile::KeyColour{c.red, c.green, c.blue, 255});
    profile_.write_key_colours(state_.custom_group, keys);
}

void KeyboardCore::load_colours_from_profile() {
    const auto keys =
        profile_.read_key_colours(profile_.light_info().custom_group, int(colours_.size()));
    for (std::size_t i = 0; i < keys.size() && i < colours_.size(); ++i)
        colours_[i] = Rgb{keys[i].red, keys[i].green, keys[i].blue};
}

int KeyboardCore::stream(link::CommandChannel& channel, const LedFrame& frame, int mode,
                         bool awake) {
    if (mode != StreamModeAudio && mode != StreamModeWave)
        return link::result::ReadFailed;
    const int keys = stream_keys_.load();
    if (keys <= 0)
        return link::result::ReadFailed;
    const std::uint64_t now = clock_();
    if (!stream_gate_.may_send(channel.link_open() != 0, awake, now))
        return link::result::ReadFailed;
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard lock(map_mutex_);
        bytes = stream_frame(frame, map_, keys);
    }
    const int res = channel.stream_lighting(bytes, static_cast<std::uint16_t>(bytes.size()));
    stream_gate_.record(res, clock_());
    return res;
}

bool KeyboardCore::apply(const NotificationAction& action) {
    if (action.kind != NotificationAction::Kind::SetSlot)
        return false;
    state_.active_slot = u8(action.slot);
    if (action.stage >= 0)
        second_index_ = action.stage;
    return true;
}

void attach_keyboard_profile(profile::CKeyboardProfiledata& profile,
                             const std::filesystem::path& file,
                             const std::filesystem::path& default_data) {
    profile.set_device_index(0);
    profile.set_default_path(default_data / "keyboard.Json");
    profile.set_profile_path(file);
    profile.load_section(file);
    profile.read_keyboard_settings();
    profile.read_light_info();
    profile.read_audio_light_info();
}

}  // namespace velqa::model
