// The 500 levels of one block of desktop audio, as velqa takes them from another program: the
// spectrum of the newest samples, one level per frequency band, so that the difference between
// two blocks tells where the sound changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velqa::audio {

inline constexpr std::size_t kLevelCount = 500;
// Samples per second asked of the audio server (mono, 32-bit float).
inline constexpr unsigned kSampleRate = 48000;
// Blocks per second: the lights animate at 60 frames a second at most, and 25 blocks carry every
// beat while costing a few D-Bus calls a second.
inline constexpr unsigned kBlocksPerSecond = 25;
inline constexpr std::size_t kBlockSamples = kSampleRate / kBlocksPerSecond;
// The newest samples of a block that the spectrum is taken over (bands of 46.875 Hz).
inline constexpr std::size_t kWindowSamples = 1024;
// A full-scale sine shows as this level in its band.
inline constexpr std::uint32_t kFullScale = 65535;

using Levels = std::array<std::uint32_t, kLevelCount>;

// Levels of bands 1 to 500 of the newest kWindowSamples of `samples` (fewer samples: the missing
// ones count as silence). Each level is the band's amplitude, kFullScale for a full-scale sine.
class Spectrum {
  public:
    Spectrum();
    Levels levels(std::span<const float> samples);

  private:
    std::vector<float> window_;
    std::vector<float> re_;
    std::vector<float> im_;
};

// Below this in every band a block is silence (about -78 dB of full scale).
inline constexpr std::uint32_t kSilence = 8;
bool is_silent(const Levels& levels);

// The block as sent: each level as a 32-bit little-endian integer, 2000 bytes.
std::vector<std::uint8_t> encode_block(const Levels& levels);

}  // namespace velqa::audio
