// Data blocks from other programs land in fixed receive buffers; a block never writes past one.
#pragma once

#include <cstddef>
#include <span>

namespace velqa::platform::ipc {

// Copies `block` to the front of `buffer` and clears the rest of it, so that a short block never
// mixes with the tail of the one before. Refuses (false, buffer untouched) an empty block and a
// block larger than the buffer.
bool copy_data_block(std::span<const std::byte> block, std::span<std::byte> buffer);

}  // namespace velqa::platform::ipc
