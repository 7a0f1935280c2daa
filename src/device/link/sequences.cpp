#include "device/link/sequences.h"

#include "device/link/config_session.h"

namespace velqa::link {

int write_settings_sequence(CommandChannel& channel, const MouseSettingsRecord& record,
                            uint8_t slot) {
    ConfigSession session(channel, ConfigSession::Presence::BeforeEachStep);
    return session.run([&] {
        return channel.write_settings(record.bytes, MouseSettingsSize,
                                      static_cast<uint16_t>(slot * MouseSlotStride));
    });
}

int write_shooting_sequence(CommandChannel& channel, std::span<const uint8_t> image,
                            DeviceInfo* info) {
    if (image.size() > 0xFFFF)
        return result::BadArgument;
    ConfigSession session(channel, ConfigSession::Presence::BeforeEachStep);
    if (!session.is_open())
        return session.status();
    DeviceInfoBlock block;
    const int res = channel.read_device_info(block.bytes);
    if (res != result::Success)
        return res;
    if (info)
        *info = decode_device_info(block);
    return session.run(
        [&] { return channel.write_shooting_data(image, static_cast<uint16_t>(image.size())); });
}

int read_mouse_settings(CommandChannel& channel, MouseSettingsRead& out) {
    // Reads need no configuration mode, only the link to themselves.
    ConfigSession session(channel, ConfigSession::Presence::AtStart);
    if (!session.is_open())
        return session.status();
    uint8_t slot = 0;
    int res = channel.read_settings(std::span<uint8_t>(&slot, 1), 1, 0);
    if (res != result::Success)
        return res;
    MouseSettingsRecord record;
    res = channel.read_settings(record.bytes, MouseSettingsSize,
                                static_cast<uint16_t>(slot * MouseSlotStride));
    if (res != result::Success)
        return res;
    out.active_slot = slot;
    out.record = record;
    return result::Success;
}

int poll_power_status(CommandChannel& channel, PowerStatusBlock& out) {
    // Reads need no configuration mode, only the link to themselves.
    ConfigSession session(channel, ConfigSession::Presence::AtStart);
    if (!session.is_open())
        return session.status();
    PowerStatusBlock block;
    const int res = channel.read_memory(block.bytes, PowerStatusSize, 0);
    if (res != result::Success)
        return res;
    mark_power_path(block, channel.receiver_path());
    out = block;
    return result::Success;
}

}  // namespace velqa::link
