#include "device/link/sequences.h"

namespace velqa::link {

namespace {

// False ends a receiver-path sequence with 0 before the next step.
bool present(CommandChannel& channel) {
    return !channel.receiver_path() || channel.receiver_present();
}

}  // namespace

int run_write_sequence(CommandChannel& channel, const std::function<int()>& data_step,
                       const SequenceOptions& options) {
    if (!channel.link_open())
        return result::ReadFailed;
    // No exchange of another program of ours falls between the steps.
    auto link = channel.hold_link();
    if (!link)
        return result::WriteFailed;
    if (!present(channel))
        return result::ReadFailed;
    if (options.refresh_info) {
        DeviceInfoBlock block;
        const int res = channel.read_device_info(block.bytes);
        if (res != result::Success)
            return res;
        if (options.info)
            *options.info = decode_device_info(block);
    }
    if (!present(channel))
        return result::ReadFailed;
    int res = channel.begin_config();
    if (res != result::Success)
        return res;
    if (!present(channel))
        return result::ReadFailed;
    res = data_step();
    if (!present(channel))
        return result::ReadFailed;
    const int end = channel.end_config();
    return res != result::Success ? res : end;
}

int write_settings_sequence(CommandChannel& channel, const MouseSettingsRecord& record,
                            uint8_t slot) {
    return run_write_sequence(channel, [&] {
        return channel.write_settings(record.bytes, MouseSettingsSize,
                                      static_cast<uint16_t>(slot * MouseSlotStride));
    });
}

int write_macro_sequence(CommandChannel& channel, std::span<const uint8_t> image,
                         DeviceInfo* info) {
    DeviceInfo local;
    SequenceOptions options{true, info ? info : &local};
    if (image.size() > 0xFFFF)
        return result::BadBank;
    return run_write_sequence(
        channel,
        [&] {
            // The device has room for macro units x 128 bytes and no more.
            if (image.size() > size_t{options.info->macro_units} * 128)
                return result::BadBank;
            return channel.write_macro_data(image, static_cast<uint16_t>(image.size()));
        },
        options);
}

int write_shooting_sequence(CommandChannel& channel, std::span<const uint8_t> image,
                            DeviceInfo* info) {
    DeviceInfo local;
    SequenceOptions options{true, info ? info : &local};
    if (image.size() > 0xFFFF)
        return result::BadBank;
    return run_write_sequence(
        channel,
        [&] { return channel.write_shooting_data(image, static_cast<uint16_t>(image.size())); },
        options);
}

int write_key_table_sequence(CommandChannel& channel, std::span<const uint8_t> table,
                             DeviceInfo* info) {
    DeviceInfo local;
    SequenceOptions options{true, info ? info : &local};
    return run_write_sequence(
        channel,
        [&] {
            const int size = 3 * options.info->key_count;
            if (channel.set_block_size(static_cast<uint16_t>(size)) == 0)
                return 0;
            if (table.size() < static_cast<size_t>(size))
                return result::BadBank;
            return channel.write_key_table(table, 0);
        },
        options);
}

int load_mouse_state(CommandChannel& channel, int bank, MouseState& out) {
    if (!channel.link_open())
        return result::ReadFailed;
    // No exchange of another program of ours falls between the steps.
    auto link = channel.hold_link();
    if (!link)
        return result::WriteFailed;
    if (!present(channel))
        return result::ReadFailed;
    int res = channel.begin_config();
    if (res != result::Success)
        return res;
    DeviceInfoBlock block;
    res = channel.read_device_info(block.bytes);
    if (res == result::Success) {
        out.info = decode_device_info(block);
        const int size = 3 * out.info.key_count;
        if (channel.set_block_size(static_cast<uint16_t>(size)) == 0) {
            res = result::ReadFailed;
        } else {
            out.key_table.assign(static_cast<size_t>(size), 0);
            out.key_bank.assign(static_cast<size_t>(size), 0);
            res = channel.read_key_table(out.key_table);
            if (res == result::Success)
                res = channel.read_key_table_bank(out.key_bank, bank);
        }
    }
    const int end = channel.end_config();
    return res != result::Success ? res : end;
}

int read_mouse_settings(CommandChannel& channel, MouseSettingsRead& out) {
    if (!channel.link_open())
        return result::ReadFailed;
    // No exchange of another program of ours falls between the steps.
    auto link = channel.hold_link();
    if (!link)
        return result::WriteFailed;
    if (!present(channel))
        return result::ReadFailed;
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
    if (!channel.link_open())
        return result::ReadFailed;
    // No exchange of another program of ours falls between the steps.
    auto link = channel.hold_link();
    if (!link)
        return result::WriteFailed;
    if (!present(channel))
        return result::ReadFailed;
    PowerStatusBlock block;
    const int res = channel.read_memory(block.bytes, PowerStatusSize, 0);
    if (res != result::Success)
        return res;
    mark_power_path(block, channel.receiver_path());
    out = block;
    return result::Success;
}

}  // namespace velqa::link
