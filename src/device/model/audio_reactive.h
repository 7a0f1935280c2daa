// Music lighting driven by another program's blocks of audio levels: 500 levels per block, one
// per frequency band, 32-bit little-endian. What lights the keys is how much the sound rose
// from one block to the next, band by band, so beats and new notes flash and a steady hum
// fades out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velqa::model {

class AudioReactive {
  public:
    static constexpr std::size_t LevelCount = 500;
    static constexpr std::size_t BlockBytes = LevelCount * 4;
    // The summed rise that lights half the keys: a full-scale tone starting in one band.
    static constexpr std::uint64_t HalfRise = 65535;

    // Takes one block (levels past its end read as 0, bytes past BlockBytes are ignored) and
    // returns the lighting level 0-255: the rise since the previous block, or the last level
    // fading by a quarter when that is higher.
    std::uint8_t take_block(std::span<const std::uint8_t> block);
    std::uint8_t level() const { return level_; }
    // Silence before the next block (the sender stopped).
    void reset();

  private:
    std::array<std::uint32_t, LevelCount> previous_{};
    std::uint8_t level_ = 0;
};

}  // namespace velqa::model
