#include "macro/macro_image.h"

#include <algorithm>

#include "device/link/codecs.h"
#include "device/link/config_session.h"
#include "device/link/report.h"
#include "macro/macro_files.h"
#include "platform/debug_output.h"

namespace velqa::macro {

namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

std::size_t MacroImage::size_for(const std::vector<std::size_t>& event_counts) {
    std::size_t total = HeaderSize;
    for (std::size_t count : event_counts)
        total += 2 + RecordHeaderSize + 4 * count;
    return total;
}

std::vector<std::uint8_t> MacroImage::build(const std::vector<std::vector<MacroEvent>>& macros) {
    std::vector<std::size_t> counts;
    for (const auto& m : macros)
        counts.push_back(m.size());
    const std::size_t total = size_for(counts);
    if (total > 0xFFFF)
        return {};
    std::vector<std::uint8_t> image(total, 0);
    put16(image, 0, Magic);
    put16(image, 2, total);
    put16(image, 4, macros.size());
    std::size_t record = HeaderSize + 2 * macros.size();
    for (std::size_t k = 0; k < macros.size(); ++k) {
        put16(image, HeaderSize + 2 * k, record);
        put16(image, record, macros[k].size());
        std::size_t at = record + RecordHeaderSize;
        for (const auto& event : macros[k]) {
            const DeviceEventCode code = device_code(event);
            std::copy(code.begin(), code.end(), image.begin() + static_cast<long>(at));
            at += code.size();
        }
        record = at;
    }
    return image;
}

bool has_position(const KeyPositions& positions, std::size_t key_index, int key_count) {
    if (key_index >= positions.size())
        return false;
    const int p = positions[key_index];
    return p >= 0 && p < key_count && p != NoPositionFF && p != NoPositionAA;
}

std::vector<int> collect_used_macros(const std::vector<profile::KeyAssignment>& keys,
                                     const KeyPositions& positions, int key_count,
                                     int macro_count) {
    std::vector<int> used;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const profile::KeyCode& code = keys[i].current;
        // The key-table download writes exactly these keys, so every slot it names is here.
        if (!has_position(positions, i, key_count) || !is_macro_code(code) ||
            code.first >= macro_count) {
            continue;
        }
        if (std::find(used.begin(), used.end(), code.first) == used.end())
            used.push_back(code.first);
    }
    return used;
}

int download_macros(link::CommandChannel& channel, const std::filesystem::path& folder,
                    const std::vector<int>& used, link::DeviceInfo* device_info) {
    // Another program of ours must not fall between the information read and the write.
    link::ConfigSession session(channel, link::ConfigSession::Presence::BeforeEachStep);
    // Without a link, or the mouse away from its receiver, there is nothing to write to; a lock
    // that is never let go is a failure.
    if (!session.is_open())
        return session.failed_step() == link::ConfigSession::Step::Lock ? MacrosFailed : MacrosDone;
    link::DeviceInfoBlock block;
    if (channel.read_device_info(block.bytes) != link::result::Success) {
        platform::debug_output("macro download: the device information could not be read");
        return MacrosFailed;
    }
    const link::DeviceInfo info = link::decode_device_info(block);
    if (device_info)
        *device_info = info;

    MacroLibrary library(folder);
    library.load();
    if (library.entries().empty() || used.empty())
        return MacrosDone;
    std::vector<std::vector<MacroEvent>> macros;
    std::vector<std::size_t> counts;
    for (int index : used) {
        macros.push_back(library.load_events(index));
        counts.push_back(macros.back().size());
    }
    const std::size_t total = MacroImage::size_for(counts);
    const std::size_t room = MacroImage::UnitSize * info.macro_units;
    if (total > room)
        return static_cast<int>((total - room) / 4 + 1);
    const std::vector<std::uint8_t> image = MacroImage::build(macros);

    const int res = session.run(
        [&] { return channel.write_macro_data(image, static_cast<std::uint16_t>(image.size())); });
    if (res != link::result::Success) {
        platform::debug_printf("macro download failed: %d", res);
        return MacrosFailed;
    }
    return MacrosDone;
}

}  // namespace velqa::macro
