// Data blocks copied into fixed receive buffers.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <vector>

#include "platform/ipc/data_block.h"

namespace velqa::platform::ipc {
namespace {

std::vector<std::byte> bytes(std::size_t n, unsigned char fill) {
    return std::vector<std::byte>(n, std::byte{fill});
}

TEST(DataBlock, FitsIsCopiedAndTheStaleTailCleared) {
    // A guard after the buffer proves nothing is written past it.
    std::array<std::byte, 12> memory{};
    memory.fill(std::byte{0xEE});
    const std::span<std::byte> buffer(memory.data(), 8);

    EXPECT_TRUE(copy_data_block(bytes(8, 0x11), buffer));
    EXPECT_EQ(memory[7], std::byte{0x11});
    EXPECT_TRUE(copy_data_block(bytes(3, 0x22), buffer));
    EXPECT_EQ(memory[2], std::byte{0x22});
    EXPECT_EQ(memory[3], std::byte{0}) << "the previous block's tail must not survive";
    EXPECT_EQ(memory[7], std::byte{0});
    for (std::size_t i = 8; i < memory.size(); ++i)
        EXPECT_EQ(memory[i], std::byte{0xEE});
}

TEST(DataBlock, OversizedOrEmptyBlockIsRefusedAndCopiesNothing) {
    std::array<std::byte, 2000> memory{};
    memory.fill(std::byte{0xEE});
    const std::span<std::byte> buffer(memory.data(), 1024);
    copy_data_block(bytes(4, 0x33), buffer);

    EXPECT_FALSE(copy_data_block(bytes(1025, 0x44), buffer));
    EXPECT_FALSE(copy_data_block({}, buffer));
    EXPECT_EQ(memory[0], std::byte{0x33});
    EXPECT_EQ(memory[4], std::byte{0});
    EXPECT_EQ(memory[1024], std::byte{0xEE});
    for (std::byte b : memory)
        EXPECT_NE(b, std::byte{0x44});
}

}  // namespace
}  // namespace velqa::platform::ipc
