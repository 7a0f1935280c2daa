// Pure codecs (no I/O) of the records that travel as command payloads: the 34-byte device
// information block, the 6-byte power status and the 74-byte mouse settings record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velqa::link {

// ---- Device information block (reply data of 0x03) ----

struct DeviceInfoBlock {
    std::array<uint8_t, 34> bytes{};
};
static_assert(sizeof(DeviceInfoBlock) == 34);
constexpr size_t DeviceInfoSize = sizeof(DeviceInfoBlock);

constexpr uint16_t SensorA = 0x3395;
constexpr uint16_t SensorB = 0x3950;

struct DeviceInfo {
    uint8_t key_count = 0;    // K; the key table is 3 x K bytes
    uint8_t macro_units = 0;  // macro memory in 128-byte units
    uint8_t link_flag = 0;    // non-zero: the mouse behind the receiver is not linked
    uint16_t sensor_id = 0;
    DeviceInfoBlock raw;  // every byte as read, the uninterpreted ones included
};

DeviceInfo decode_device_info(const DeviceInfoBlock& block);
// Writes the interpreted fields onto `base` (other bytes as given).
DeviceInfoBlock encode_device_info(const DeviceInfo& info, DeviceInfoBlock base = {});

// ---- Power status (6 bytes at memory address 0, command 0x1A) ----

struct PowerStatusBlock {
    std::array<uint8_t, 6> bytes{};
};
static_assert(sizeof(PowerStatusBlock) == 6);
constexpr size_t PowerStatusSize = sizeof(PowerStatusBlock);

struct PowerStatus {
    uint8_t battery_percent = 0;
    uint8_t charging = 0;  // 0 not charging, 1 charging, 2 charged
    uint8_t spare = 0;
    uint8_t wireless = 0;  // set by the program: 1 receiver path, 0 cable
    uint8_t status_param = 0;
    uint8_t phone_type = 0;
};

PowerStatus decode_power_status(const PowerStatusBlock& block);
PowerStatusBlock encode_power_status(const PowerStatus& status);
// Byte 3 is not the device's: the program puts the path there before use.
void mark_power_path(PowerStatusBlock& block, bool receiver_path);

// ---- Mouse settings record (74 bytes at slot x 96, commands 0x05 / 0x06) ----

struct MouseSettingsRecord {
    std::array<uint8_t, 74> bytes{};
};
static_assert(sizeof(MouseSettingsRecord) == 74);
constexpr size_t MouseSettingsSize = sizeof(MouseSettingsRecord);
constexpr size_t MouseSlotStride = 96;
constexpr size_t DpiStageCount = 6;
constexpr size_t DpiStageSize = 9;
// Indexes of the lighting effect list that have a device code; above, index 0 is sent.
constexpr int MaxLightingSelection = 11;

// One DPI stage as the profile keeps it.
struct DpiStageValues {
    int active = 0;
    int xy = 0;
    int dpi_x = 0;
    int dpi_y = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
};

// The profile-side values the record is built from. Values are ints as the profile holds
// them; each is truncated to its byte field unless it has no encoding (see encode).
struct MouseSettingsValues {
    int slot_byte = 0;  // byte 0 as the caller writes it: 0 from the page and from velqactl
    // Lighting.
    int light_selection = 0;  // index into the lighting effect list
    int light = 0;            // brightness
    int speed = 0;            // 0-4; byte 3 is 4 - speed
    int fx = 0;
    int multi_color = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
    // Polling and sensor.
    int report_select_24k = 0;
    int report_select_usb = 0;
    int active_stage = 0;  // 0-5
    int silent_altitude = 0;
    std::array<DpiStageValues, DpiStageCount> stages{};
    // Power and keys.
    int deep_sleep_off = 0;  // non-zero: sleep after DormancyTime
    int dormancy_time = 1;   // 1-6
    int key_delay = 0;       // 0-5
    int motion_sync = 0;
    int linear_calibration = 0;
};

// Sleep times in seconds for DormancyTime 1-6, and key-delay bytes for KeyDelay 0-5.
constexpr std::array<uint16_t, 6> SleepSeconds = {180, 240, 300, 600, 900, 1200};
constexpr std::array<uint8_t, 6> KeyDelayCodes = {1, 2, 4, 6, 8, 10};

// Builds the record on a copy of the last record read. A value without an encoding keeps the
// byte last read: KeyDelay outside 0-5 (byte 70), DormancyTime outside 1-6 with deep sleep on
// (bytes 68-69), an active stage outside 0-5 (byte 12), a speed outside 0-4 (byte 3), a
// lighting selection with no code in `effect_codes` (byte 1); byte 73 always.
MouseSettingsRecord encode_mouse_settings(const MouseSettingsValues& values,
                                          const MouseSettingsRecord& last_read,
                                          std::span<const uint8_t> effect_codes);

// The record read back, inverted.
struct MouseSettingsDecoded {
    uint8_t active_slot = 0;  // byte 0
    uint8_t light_code = 0;   // byte 1 as read
    int light_selection = 0;  // index of byte 1 in the effect list, else the code itself
    int light = 0;
    int speed = 0;  // 4 - byte 3
    int fx = 0;
    int multi_color = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
    int report_select_24k = 0;  // byte 10 - 2
    int report_select_usb = 0;  // byte 11 - 2
    int active_stage = 0;
    int silent_altitude = 0;
    std::array<DpiStageValues, DpiStageCount> stages{};
    int deep_sleep_on = 0;       // byte 68 non-zero
    int dormancy_time = 0;       // 1-6, or the previous value when byte 68 is no known time
    uint16_t sleep_seconds = 0;  // bytes 68-69 as read
    int key_delay = 0;           // 0-5; unknown codes give 0
    int motion_sync = 0;
    int linear_calibration = 0;
    uint8_t kept = 0;  // byte 73
};

// `previous_dormancy` is kept when byte 68 is not one of the known sleep times.
MouseSettingsDecoded decode_mouse_settings(const MouseSettingsRecord& record,
                                           std::span<const uint8_t> effect_codes,
                                           int previous_dormancy = 0);

// The decoded values as the profile-side input of encode (round trip helper). The slot byte is
// left 0: the active slot read in byte 0 is never written back as such.
MouseSettingsValues values_from_decoded(const MouseSettingsDecoded& decoded);

}  // namespace velqa::link
