// The mouse's own sequences that the device objects and velqactl share: the settings record
// written and read, the shooting image written, and the power status read. Each holds the
// channel's link lock from its first step to its last; the writes run in a ConfigSession.
#pragma once

#include <cstdint>
#include <span>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"

namespace velqa::link {

// Presence (receiver path), then begin, the record at slot x 96, end, each preceded by the
// presence query on the receiver path. Returns the first failure, else 1; 0 when the presence
// query answered false.
int write_settings_sequence(CommandChannel& channel, const MouseSettingsRecord& record,
                            uint8_t slot);
// As the settings write, with the device information read after the first presence query
// (refreshed into *info when given) and the image written with the shooting command.
int write_shooting_sequence(CommandChannel& channel, std::span<const uint8_t> image,
                            DeviceInfo* info = nullptr);

struct MouseSettingsRead {
    uint8_t active_slot = 0;
    MouseSettingsRecord record;
};

// Presence (receiver path), 1 byte at offset 0 (the active onboard slot S), then 74 bytes at
// S x 96.
int read_mouse_settings(CommandChannel& channel, MouseSettingsRead& out);

// Presence (receiver path), 6 bytes of memory at address 0; byte 3 marked with the path.
int poll_power_status(CommandChannel& channel, PowerStatusBlock& out);

}  // namespace velqa::link
