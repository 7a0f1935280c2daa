#include "audio_levels.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace velqa::audio {
namespace {

static_assert((kWindowSamples & (kWindowSamples - 1)) == 0, "the transform needs a power of two");
static_assert(kLevelCount < kWindowSamples / 2);

// In-place radix-2 transform.
void transform(std::vector<float>& re, std::vector<float>& im) {
    const std::size_t n = re.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const auto wr = static_cast<float>(std::cos(angle));
        const auto wi = static_cast<float>(std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            float cr = 1.0f;
            float ci = 0.0f;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::size_t a = i + k;
                const std::size_t b = a + len / 2;
                const float tr = re[b] * cr - im[b] * ci;
                const float ti = re[b] * ci + im[b] * cr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
                const float next = cr * wr - ci * wi;
                ci = cr * wi + ci * wr;
                cr = next;
            }
        }
    }
}

}  // namespace

Spectrum::Spectrum() : window_(kWindowSamples), re_(kWindowSamples), im_(kWindowSamples) {
    // Hann: a tone stays in its band and its two neighbours instead of leaking everywhere.
    for (std::size_t i = 0; i < kWindowSamples; ++i) {
        window_[i] = static_cast<float>(
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                 static_cast<double>(kWindowSamples)));
    }
}

Levels Spectrum::levels(std::span<const float> samples) {
    const std::size_t take = std::min(samples.size(), kWindowSamples);
    const std::span<const float> newest = samples.subspan(samples.size() - take);
    std::fill(re_.begin(), re_.end(), 0.0f);
    std::fill(im_.begin(), im_.end(), 0.0f);
    const std::size_t start = kWindowSamples - take;
    for (std::size_t i = 0; i < take; ++i) {
        const float s = std::isfinite(newest[i]) ? std::clamp(newest[i], -1.0f, 1.0f) : 0.0f;
        re_[start + i] = s * window_[start + i];
    }
    transform(re_, im_);
    // A sine of amplitude A peaks at A x N / 4 under the Hann window.
    const double scale = 4.0 / static_cast<double>(kWindowSamples) * kFullScale;
    Levels out{};
    for (std::size_t band = 0; band < kLevelCount; ++band) {
        const double magnitude = std::hypot(re_[band + 1], im_[band + 1]) * scale;
        out[band] = static_cast<std::uint32_t>(std::min(magnitude, double(kFullScale)));
    }
    return out;
}

bool is_silent(const Levels& levels) {
    return std::all_of(levels.begin(), levels.end(),
                       [](std::uint32_t level) { return level < kSilence; });
}

std::vector<std::uint8_t> encode_block(const Levels& levels) {
    std::vector<std::uint8_t> block(levels.size() * 4);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        for (std::size_t b = 0; b < 4; ++b)
            block[i * 4 + b] = static_cast<std::uint8_t>((levels[i] >> (8 * b)) & 0xFF);
    }
    return block;
}

}  // namespace velqa::audio
