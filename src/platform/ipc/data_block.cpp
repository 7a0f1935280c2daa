#include "platform/ipc/data_block.h"

#include <algorithm>

namespace velqa::platform::ipc {

bool copy_data_block(std::span<const std::byte> block, std::span<std::byte> buffer) {
    if (block.empty() || block.size() > buffer.size())
        return false;
    const auto end = std::copy(block.begin(), block.end(), buffer.begin());
    std::fill(end, buffer.end(), std::byte{0});
    return true;
}

}  // namespace velqa::platform::ipc
