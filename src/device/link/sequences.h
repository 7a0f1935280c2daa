// The command sequences the device objects and velqactl run: every write (begin, data, end)
// and loading the mouse's state, with the presence query before each step on the receiver path.
// Each sequence holds the channel's link lock from its first step to its last.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"

namespace velqa::link {

// Result of a sequence: a result code, 0 also when the presence query answered false.
struct SequenceOptions {
    // Read the device information block first (key table, macro and shooting writes): the key
    // count and sensor identifier are refreshed into *info.
    bool refresh_info = false;
    DeviceInfo* info = nullptr;
};

// Presence (receiver path), [device info], begin, data step, end; each of begin, data and end
// preceded by the presence query on the receiver path. Returns the first failure, else 1.
// The end command is still sent after a failed data step, so the device leaves its
// configuration mode.
int run_write_sequence(CommandChannel& channel, const std::function<int()>& data_step,
                       const SequenceOptions& options = {});

int write_settings_sequence(CommandChannel& channel, const MouseSettingsRecord& record,
                            uint8_t slot);
int write_macro_sequence(CommandChannel& channel, std::span<const uint8_t> image,
                         DeviceInfo* info = nullptr);
int write_shooting_sequence(CommandChannel& channel, std::span<const uint8_t> image,
                            DeviceInfo* info = nullptr);
// The key table is sized from the refreshed key count (3 x K bytes); `table` must hold them.
int write_key_table_sequence(CommandChannel& channel, std::span<const uint8_t> table,
                             DeviceInfo* info = nullptr);

struct MouseState {
    DeviceInfo info;
    std::vector<uint8_t> key_table;  // 3 x K bytes
    std::vector<uint8_t> key_bank;   // 3 x K bytes
};

// Presence (receiver path), begin, device info, block size 3 x K (0 when above 512), key
// table, key table bank, end. The end command follows a failed read too.
int load_mouse_state(CommandChannel& channel, int bank, MouseState& out);

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
