// The mouse page's settings logic without any widget: the decoded device state, building the
// settings record from the profile, DPI limits, which profile field a page control sets, the
// function-page tabs, the mouse's notification events and the power status.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/supported_devices.h"
#include "device/model/settings_change.h"
#include "profile/profile_data.h"
#include "profile/sensor_table.h"
#include "profile/settings_limits.h"

namespace velqa::model {

// Main-window messages the device page sends (numbers shared with the window's dispatch).
constexpr unsigned MsgPowerStatus = 3329;     // parameter: power status byte 4
constexpr unsigned MsgDeviceUnlinked = 3333;  // the mouse behind the receiver is not linked
constexpr unsigned MsgDeviceLinked = 3334;
constexpr unsigned MsgSensor = 3335;  // parameter: sensor identifier
// The page's link (wParam: its kind row; lParam 1 present, 0 gone): shows or hides its tile.
constexpr unsigned MsgTileLink = 0xD03;

// Tile timers.
constexpr int TimerReload = 1001;
constexpr int TimerSettings = 1002;
constexpr int TimerPower = 1005;
// The power poll started by a move to the receiver.
constexpr int TimerPowerAfterSwitch = 1007;
constexpr int SettingsReloadDelayMs = 50;

// ---- Lighting effect list ----

// The device codes ("value") of the built-in light modes of `model` in "default_light.json",
// in mode order. Empty when the document has no such model; a missing value reads as 0.
std::vector<std::uint8_t> effect_codes(const Json::Value& default_light, int model);

// One built-in light mode of a model in "default_light.json".
struct LightModeEntry {
    std::string name;  // "LightName": a language text id
    bool visible = false;
    std::uint8_t value = 0;
};
// The built-in light modes of `model`, in mode order; empty when the document has no such model.
std::vector<LightModeEntry> light_modes(const Json::Value& default_light, int model);

// ---- Decoded device state ----

struct MouseDeviceState {
    link::MouseSettingsDecoded settings;
    // False when byte 1 matched no effect of the list: the selection is then the code itself,
    // and the byte read is what a later write sends.
    bool light_code_known = true;
};

// `previous_dormancy` is the sleep-time index kept when byte 68 is no known sleep time.
MouseDeviceState decode_device_state(const link::MouseSettingsRecord& record,
                                     std::span<const std::uint8_t> effect_list,
                                     int previous_dormancy);

// Whether a read of the device's settings goes into the profile. Mirror::No leaves the profile
// with values the device refused, so that a later write can still apply them.
enum class Mirror { IntoProfile, No };

// Mirrors the state into the profile: the DPI stages into the sensor's stage set (none for an
// unknown sensor), the active stage, the system settings the record carries and the lighting
// record (its fields without a record byte kept). Does not save.
void mirror_into_profile(const MouseDeviceState& state, const profile::Sensor& sensor,
                         profile::CMouseProfiledata& profile);

// The record to write: `last_read` with every field the profile holds overwritten, byte 0 =
// slot_byte. Every value taken from the profile is held within its range first (a profile
// edited by hand must never put a value on the mouse that the page could not have chosen).
// Stages the profile lacks (or all six for an unknown sensor) keep the bytes read.
// Byte 1 keeps the code read when that code matched no effect and the profile's lighting
// selection is still the one decoded from it, so an unrelated change never alters the lighting.
link::MouseSettingsRecord build_settings_record(profile::CMouseProfiledata& profile,
                                                const profile::Sensor& sensor,
                                                const link::MouseSettingsRecord& last_read,
                                                const MouseDeviceState& last_state,
                                                std::span<const std::uint8_t> effect_list,
                                                std::uint8_t slot_byte);

// Key `key` of `profile`'s key list takes `code` (not saved); false, and nothing changed, when
// the list has no such key.
bool store_key_code(profile::CBasicProfiledata& profile, int key, const profile::KeyCode& code);

// ---- DPI ----

using DpiRange = profile::ValueRange;
constexpr int DpiStep = 50;

// The sensors `model`'s device file lists.
profile::SensorTable sensor_table(const link::DeviceModel& model);
// The sensors of every mouse of `catalog` (the first listing of a sensor counts): the ranges a
// mouse profile is held to when it is not tied to one model.
profile::SensorTable sensor_table(const link::DeviceCatalog& catalog);

// The sensor's DPI range, as its device file gives it.
DpiRange dpi_range(const profile::Sensor& sensor);
// The leading decimal integer of a typed text (optional blanks and sign first); 0 for an
// empty text or one that starts with no number. Saturates instead of overflowing.
int typed_number(std::string_view text);
// What the edit field shows: the value raised to the next multiple of 50.
int dpi_display_value(int dpi);

// ---- Two-way and indexed options ----

using OptionRange = profile::ValueRange;
// The values the page offers for an option: 0-1 for the two-way options, key delay index 0-5,
// sleep time index 1-6, the anti-shake value as a 16-bit word.
OptionRange option_range(MouseOption option);

// ---- Lighting ----

// Brightness and speed levels of the mouse's lighting: 0 to LightLevelMax.
constexpr int LightLevelMax = profile::LightLevelRange.max;

// ---- Polling rate ----

constexpr int PollingOptions = profile::PollingIndexRange.max + 1;

// An option button sets the receiver's field only on the receiver path while the receiver
// interface's product ID reads 0; the cable's in every other case.
PollingField polling_option_field(bool receiver_path, std::uint16_t receiver_product_id);
// The slider sets the field of the path in use.
PollingField polling_slider_field(bool receiver_path);
// The option the page shows: the receiver's index on the receiver path, else the cable's;
// 0 for an index outside 0-5.
int shown_polling_option(const link::MouseSettingsDecoded& settings, bool receiver_path);
// Two-way options show option 0 for an index outside 0-1.
int shown_two_way_option(int index);

// ---- Function page ----

struct FunctionTabs {
    int first = 0;              // tab of "device_function_switch"
    std::optional<int> second;  // tab of "device_key_function_switch"; nullopt: unchanged
    bool operator==(const FunctionTabs&) const = default;
};
FunctionTabs function_page_tabs(int page_type, int device_type);

// ---- Notifications ----

struct NotificationAction {
    enum class Kind { None, ReloadSettings, Reactive, SetSlot };
    Kind kind = Kind::None;
    int slot = -1;   // SetSlot: the active onboard slot
    int stage = -1;  // SetSlot with a DPI stage (high byte 0x11), else -1
    // Reactive on a keyboard: the key position pressed and the kind of lighting (1 or 2).
    int key = -1;
    int reactive_kind = 0;
    bool operator==(const NotificationAction&) const = default;
};

// The meaning of event code E read on a notification interface. 0x401 and 0x402 reload the
// settings; 0x403 on the wired link starts reactive lighting; above 0x403 (wired) or 0x402
// (receiver) with the link open, high byte 0x10 sets the slot (E & 0x0F) and 0x11 also the
// stage ((E >> 4) & 0x0F; a stage beyond the six is dropped); anything else means nothing.
NotificationAction decode_notification(std::uint16_t event, bool wired_link, bool link_open);
// Applies a SetSlot action to the decoded state; true when the page must be refreshed.
bool apply_notification(const NotificationAction& action, MouseDeviceState& state);

// ---- Power status ----

struct PowerUpdate {
    link::PowerStatusBlock block;  // byte 3 marks the path
    unsigned message = MsgPowerStatus;
    std::uint8_t message_param = 0;  // byte 4
};
// The status as read, with byte 3 replaced: 1 on the receiver path, 0 on the cable.
PowerUpdate power_update(link::PowerStatusBlock raw, bool receiver_path);

}  // namespace velqa::model
