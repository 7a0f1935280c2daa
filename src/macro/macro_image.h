// The macro image: the assigned macros packed for the device's macro memory, and its download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "macro/macro_event.h"
#include "profile/profile_records.h"

namespace velqa::macro {

// Layout: magic 0x55AA, total size, macro count N (each 16-bit little-endian), 10 reserved
// bytes, N record offsets from the image start, then the records in slot order. A record is
// its event count E, 2 reserved bytes and E device event codes.
struct MacroImage {
    static constexpr std::uint16_t Magic = 0x55AA;
    static constexpr std::size_t HeaderSize = 16;
    static constexpr std::size_t RecordHeaderSize = 4;
    static constexpr std::size_t UnitSize = 128;  // the device counts its memory in these

    // 16 + 6N + 4 x (sum of E).
    static std::size_t size_for(const std::vector<std::size_t>& event_counts);
    // Nothing when the image would not fit its 16-bit size field.
    static std::vector<std::uint8_t> build(const std::vector<std::vector<MacroEvent>>& macros);
};

// Device key position of each key-list entry, by key index. Entries at or past the end, below
// zero, at or beyond the device's key count, and the markers 0xFF and 0xAA give the key no
// position: it is neither collected nor downloaded.
using KeyPositions = std::vector<int>;
inline constexpr int NoPositionFF = 0xFF;
inline constexpr int NoPositionAA = 0xAA;
bool has_position(const KeyPositions& positions, std::size_t key_index, int key_count);

// Macro indices in first-use order over the keys with a position, of keys whose current code
// is a macro below `macro_count`; slot k of the device holds element k. `key_count` is the
// device's (the information block's byte 5).
std::vector<int> collect_used_macros(const std::vector<profile::KeyAssignment>& keys,
                                     const KeyPositions& positions, int key_count, int macro_count);

// Result codes of download_macros.
inline constexpr int MacrosDone = 0;     // written, or nothing to write (no link, no list)
inline constexpr int MacrosFailed = -1;  // the mouse was lost or a command failed
// A positive result: the image exceeds the memory by that many 4-byte events (rounded up,
// "message_text_16"); nothing was written.

// Builds the image of macros `used` (indices into the folder's "macro.config") and writes it:
// on the receiver path the mouse must answer first (else 0); the information block gives the
// memory size; then begin, write (command 0x15), end, each after the presence query on the
// receiver path (-1 when the mouse is gone). A macro whose file is missing keeps its slot with
// no events. `device_info` gets the block read, when given.
int download_macros(link::CommandChannel& channel, const std::filesystem::path& folder,
                    const std::vector<int>& used, link::DeviceInfo* device_info = nullptr);

}  // namespace velqa::macro
