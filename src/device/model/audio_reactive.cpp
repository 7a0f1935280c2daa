#include "device/model/audio_reactive.h"

#include <algorithm>

namespace velqa::model {

std::uint8_t AudioReactive::take_block(std::span<const std::uint8_t> block) {
    std::uint64_t rise = 0;  // 500 levels of 32 bits each cannot overflow it
    for (std::size_t i = 0; i < LevelCount; ++i) {
        std::uint32_t level = 0;
        for (std::size_t b = 0; b < 4 && i * 4 + b < block.size(); ++b)
            level |= std::uint32_t(block[i * 4 + b]) << (8 * b);
        if (level > previous_[i])
            rise += level - previous_[i];
        previous_[i] = level;
    }
    // Saturating, so that a quiet song still moves the lights and a loud one does not pin them.
    const auto lit = static_cast<std::uint8_t>(rise * 255 / (rise + HalfRise));
    const auto faded = static_cast<std::uint8_t>(level_ * 3 / 4);
    level_ = std::max(lit, faded);
    return level_;
}

void AudioReactive::reset() {
    previous_.fill(0);
    level_ = 0;
}

}  // namespace velqa::model
