// The keyboard page's device logic without any widget: the 34-byte settings record, the key
// tables, the per-key colours and the LED-to-key map, the lighting stream frame, the keyboard's
// notification events, and the gate that keeps the lighting writes from hammering a device that
// does not answer. The page calls these on its window thread (the stream also from its light
// thread) and shows what they return.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/model/lighting_preview.h"
#include "device/model/mouse_settings.h"
#include "device/model/preview_loop.h"
#include "device/model/settings_change.h"
#include "profile/profile_data.h"

namespace velqa::model {

// ---- Settings record (34 bytes at slot x 33, commands 0x05 / 0x06) ----

struct KeyboardSettingsRecord {
    std::array<std::uint8_t, 34> bytes{};
};
static_assert(sizeof(KeyboardSettingsRecord) == 34);
constexpr std::size_t KeyboardSettingsSize = sizeof(KeyboardSettingsRecord);
constexpr std::size_t KeyboardSlotStride = 33;

// Lighting modes the program treats specially.
constexpr int CustomColourMode = 20;  // per-key colours from the colour table
constexpr int StreamModeAudio = 29;   // frames computed by the program and streamed
constexpr int StreamModeWave = 30;
// What the record carries for the two streamed modes: the device shows what it is sent.
constexpr std::uint8_t StreamModeCode = 254;

// The profile-side values the record is built from; each is truncated to its byte.
struct KeyboardSettingsValues {
    int slot_byte = 0;
    int light_selection = 0;  // lighting mode (index into the effect list)
    int light = 0;            // brightness
    int speed = 0;            // 0-4; byte 3 is 4 - speed
    int fx = 0;
    int multi_color = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
    int second_mode = 0;  // "ZZCCLedMode"
    int six_key = 0;
    int repeat = 0;
    int polling_rate = 0;
    int repeat_delay = 0;
    int custom_group = 0;
};

// The device code of a lighting mode: entry [mode] of the effect list, the mode itself when the
// list has no such entry; 29 and 30 become 254.
std::uint8_t keyboard_mode_code(int mode, std::span<const std::uint8_t> effect_codes);

// Builds the record on a copy of the last record read (bytes without a field keep what was
// read; byte 16 is 0). A speed outside 0-4 keeps byte 3.
KeyboardSettingsRecord encode_keyboard_settings(const KeyboardSettingsValues& values,
                                                const KeyboardSettingsRecord& last_read,
                                                std::span<const std::uint8_t> effect_codes);

struct KeyboardSettingsDecoded {
    std::uint8_t active_slot = 0;
    std::uint8_t light_code = 0;  // byte 1 as read
    int light_selection = 0;      // the mode; a code of 254 keeps the current one
    int light = 0;
    int speed = 0;  // 4 - byte 3, kept within 0-4
    int fx = 0;
    int multi_color = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
    int second_mode = 0;
    int six_key = 0;
    int repeat = 0;
    int polling_rate = 0;
    int repeat_delay = 0;
    int custom_group = 0;
};

// `current_mode` is what a code of 254 decodes to. A code not in the list is the mode itself.
KeyboardSettingsDecoded decode_keyboard_settings(const KeyboardSettingsRecord& record,
                                                 std::span<const std::uint8_t> effect_codes,
                                                 int current_mode);
// The decoded lighting and bytes 19-22 into the profile (not saved).
void mirror_keyboard_state(const KeyboardSettingsDecoded& decoded,
                           profile::CKeyboardProfiledata& profile);

// ---- Key tables ----

// One buffer: the 0x07 table (3 x K bytes) at 0, the 0x1B table (K bytes) at 3072.
constexpr std::size_t KeyTablesSecondAt = 3072;
using KeyboardKeyTables = std::array<std::uint8_t, KeyTablesSecondAt + 512>;

// ---- LED-to-key map and per-key colours ----

constexpr std::uint8_t NoKeyPosition = 255;
constexpr int MaxKeyPosition = 170;
constexpr std::uint16_t ColourGroupStride = 512;

// For each light indicator of the page, its key position on the device (NoKeyPosition: none).
using LedKeyMap = std::vector<std::uint8_t>;
// Light indicator i shows key position i, for the first `leds` indicators up to position 170.
LedKeyMap identity_led_map(std::size_t leds);
// The map entry of LED `led` when it names a key inside a table of `key_count` keys.
std::optional<std::size_t> key_position(const LedKeyMap& map, std::size_t led, int key_count);

// Three bytes (red, green, blue) per key position, K x 3 bytes, from the LED colours.
// Positions no LED maps to stay 0.
std::vector<std::uint8_t> key_colour_bytes(std::span<const Rgb> led_colours, const LedKeyMap& map,
                                           int key_count);
// The LED colours of every mapped LED from a table read from the device; others unchanged.
void apply_key_colour_bytes(std::span<const std::uint8_t> bytes, const LedKeyMap& map,
                            std::vector<Rgb>& led_colours);

// The stream frame, K x 3 bytes: at 3 x position the LED's colour scaled by its brightness
// (colour x brightness, high byte).
std::vector<std::uint8_t> stream_frame(const LedFrame& frame, const LedKeyMap& map, int key_count);

// ---- Notifications ----

// The meaning of event code E on the keyboard's notification interfaces: 0x401 and 0x402
// reload the settings; on the wired link 0x500-0x5FF light key position E - 0x500 (kind 1) and
// 0x600-0x6FF position E - 0x600 (kind 2); any other code above 0x402 with the link open and a
// high byte of 0x10 or 0x11 sets the onboard slot (E & 0x0F), 0x11 also the second index
// ((E >> 4) & 0x0F, in `stage`).
NotificationAction decode_keyboard_notification(std::uint16_t event, bool wired_link,
                                                bool link_open);

// ---- Lighting writes ----

// Keeps the custom-colour writes and the lighting stream from running unbounded against a
// device that does not take them: nothing while the link is closed or the window is asleep,
// a pause after each failure, and nothing at all after MaxFailures failures in a row until the
// next reload (reset()). Thread-safe.
class LightingGate {
  public:
    static constexpr int PauseMs = 200;
    static constexpr int MaxFailures = 5;

    bool may_send(bool link_open, bool awake, std::uint64_t now_ms) const;
    // The result of a send made after may_send() said yes.
    void record(int result, std::uint64_t now_ms);
    void reset();
    bool stopped() const;
    int failures() const;

  private:
    mutable std::mutex mutex_;
    int failures_ = 0;
    std::uint64_t resume_at_ = 0;
};

// ---- The keyboard's device sequences ----

struct KeyboardLoadOutcome {
    int result = 0;  // result code of the first failure, else 1
};

struct KeyboardReadOutcome {
    int result = 0;
    // The page shows another lighting mode, or the custom mode again: re-show the lighting.
    bool mode_changed = false;
    bool colours_read = false;  // mode 20: the per-key colours came from the device
};

// The device-side state of one keyboard page; window thread, except stream() and the gates.
class KeyboardCore {
  public:
    // `profile` must outlive the core.
    explicit KeyboardCore(profile::CKeyboardProfiledata& profile);

    void set_effect_list(std::vector<std::uint8_t> codes) { effects_ = std::move(codes); }
    // The clock of the lighting gates (default steady_ms); set before any thread uses the core.
    void set_clock(std::function<std::uint64_t()> clock) { clock_ = std::move(clock); }
    // The number of light indicators; the map and the LED colours follow (identity map).
    void set_led_count(std::size_t leds);
    void set_led_map(LedKeyMap map);
    const LedKeyMap& led_map() const { return map_; }

    // Link open required (no presence query): begin, device information, block size 3 x K
    // (above 512 ends the load with 0), key table, key table thirds, end. End follows a failed
    // read too. Resets the lighting gates (a reload).
    KeyboardLoadOutcome load_from_device(link::CommandChannel& channel);

    // 1 byte at 0 (the active slot S), then 34 bytes at S x 33; decode; in mode 20 the per-key
    // colours are read (and written back); bytes 19-22 and the lighting go to the profile,
    // which is saved. Nothing changes when nothing was read. With Mirror::No only the decoded
    // state follows the keyboard (no colours, no profile).
    KeyboardReadOutcome read_settings(link::CommandChannel& channel,
                                      Mirror mirror = Mirror::IntoProfile);

    // The record from the last one read and the profile (byte 0 = slot_byte) with begin, write
    // at slot x 33, end. 0 without I/O before any record was read; -202 for a slot outside
    // 0-255.
    int write_settings(link::CommandChannel& channel, int slot, std::uint8_t slot_byte);

    // The one way in for a settings change (see settings_change.h): held within the limits
    // table, stored in the profile, saved, then the record written (slot 0). An applied profile
    // is written only.
    // `stored` as for MouseCore::apply: after the profile holds the change, before save and write.
    ApplyResult apply(link::CommandChannel& channel, const KeyboardChange& change,
                      const std::function<void()>& stored = {});

    // Mode 20: the LED colours to the device's colour group (write_indexed, K x 3 at group x
    // 512). 0 without I/O when the gate holds it back or there are no keys.
    int write_custom_colours(link::CommandChannel& channel, bool awake);
    std::vector<Rgb>& led_colours() { return colours_; }
    const std::vector<Rgb>& led_colours() const { return colours_; }
    // The LED colours into the profile's colour group (not saved).
    void store_colours_in_profile();
    // The profile's colour group into the LED colours.
    void load_colours_from_profile();

    // The frame to the device with the lighting stream (K x 3 bytes) when the mode is 29 or
    // 30 and the gate lets it through. Any thread. Returns the stream's result, 0 when nothing
    // was sent.
    int stream(link::CommandChannel& channel, const LedFrame& frame, int mode, bool awake);

    const link::DeviceInfo& info() const { return info_; }
    int key_count() const { return info_.key_count; }
    const KeyboardKeyTables& key_tables() const { return key_tables_; }
    bool has_record() const { return has_record_; }
    const KeyboardSettingsRecord& last_record() const { return last_record_; }
    const KeyboardSettingsDecoded& state() const { return state_; }
    // The decoded state's slot and second index follow a notification; true when shown anew.
    bool apply(const NotificationAction& action);
    int second_index() const { return second_index_; }
    int custom_group() const { return state_.custom_group; }
    LightingGate& colour_gate() { return colour_gate_; }
    LightingGate& stream_gate() { return stream_gate_; }
    profile::CKeyboardProfiledata& profile() { return profile_; }

  private:
    profile::CKeyboardProfiledata& profile_;
    std::vector<std::uint8_t> effects_;
    std::function<std::uint64_t()> clock_ = steady_ms;
    link::DeviceInfo info_;
    std::atomic<int> stream_keys_{0};
    KeyboardKeyTables key_tables_{};
    KeyboardSettingsRecord last_record_;
    bool has_record_ = false;
    KeyboardSettingsDecoded state_;
    int second_index_ = 0;
    LedKeyMap map_;
    mutable std::mutex map_mutex_;  // map_ (the stream reads it on the light thread)
    std::vector<Rgb> colours_;
    LightingGate colour_gate_;
    LightingGate stream_gate_;
};

// Points `profile` at the keyboard's profile `file` (factory copy `default_data`/keyboard.Json)
// and loads its section and records.
void attach_keyboard_profile(profile::CKeyboardProfiledata& profile,
                             const std::filesystem::path& file,
                             const std::filesystem::path& default_data);

}  // namespace velqa::model
