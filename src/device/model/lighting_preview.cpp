#include "device/model/lighting_preview.h"

#include <algorithm>
#include <cstdlib>
#include <random>

namespace velqa::model {

namespace {

constexpr std::array<std::uint8_t, 64> BreathingRise = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  12,  14,  16,  18,  20,
    22,  24,  27,  30,  33,  36,  39,  42,  45,  49,  53,  57,  61,  65,  69,  73,
    77,  81,  85,  89,  94,  99,  104, 109, 114, 119, 124, 129, 134, 140, 146, 152,
    158, 164, 170, 176, 182, 188, 194, 200, 206, 213, 220, 227, 234, 241, 248, 255};

constexpr std::array<std::uint8_t, BreathingSteps> make_breathing() {
    std::array<std::uint8_t, BreathingSteps> curve{};
    for (std::size_t i = 0; i < 64; ++i) {
        curve[i] = BreathingRise[i];
        curve[127 - i] = BreathingRise[i];
    }
    return curve;
}
constexpr auto Breathing = make_breathing();

// The rise of a sixth is a monotone cubic Hermite curve through these knots; its centred
// slopes stay within the monotone region, so the rise never dips.
constexpr std::array<int, 6> KnotX = {0, 8, 16, 24, 31, 32};
constexpr std::array<int, 6> KnotY = {1, 26, 81, 164, 248, 255};

constexpr std::array<std::uint8_t, 33> make_ease() {
    std::array<double, 5> secant{};
    for (std::size_t i = 0; i < 5; ++i)
        secant[i] = double(KnotY[i + 1] - KnotY[i]) / double(KnotX[i + 1] - KnotX[i]);
    std::array<double, 6> slope{};
    slope[0] = secant[0];
    slope[5] = secant[4];
    for (std::size_t i = 1; i < 5; ++i)
        slope[i] = (secant[i - 1] + secant[i]) / 2;
    std::array<std::uint8_t, 33> ease{};
    for (int k = 0; k <= 32; ++k) {
        std::size_t i = 0;
        while (i < 4 && k > KnotX[i + 1])
            ++i;
        const double h = KnotX[i + 1] - KnotX[i];
        const double t = (k - KnotX[i]) / h;
        const double t2 = t * t;
        const double t3 = t2 * t;
        const double v = (2 * t3 - 3 * t2 + 1) * KnotY[i] + (t3 - 2 * t2 + t) * h * slope[i] +
                         (-2 * t3 + 3 * t2) * KnotY[i + 1] + (t3 - t2) * h * slope[i + 1];
        ease[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v + 0.5);
    }
    return ease;
}
constexpr auto Ease = make_ease();

constexpr std::array<Rgb, WheelEntries> make_wheel() {
    std::array<Rgb, WheelEntries> wheel{};
    for (std::size_t i = 0; i < WheelSteps; ++i) {
        const std::size_t sixth = i / 32;
        const std::uint8_t up = Ease[i % 32];
        const std::uint8_t down = Ease[31 - i % 32];
        switch (sixth) {
            case 0:
                wheel[i] = Rgb{255, up, 0};
                break;
            case 1:
                wheel[i] = Rgb{down, 255, 0};
                break;
            case 2:
                wheel[i] = Rgb{0, 255, up};
                break;
            case 3:
                wheel[i] = Rgb{0, down, 255};
                break;
            case 4:
                wheel[i] = Rgb{up, 0, 255};
                break;
            default:
                wheel[i] = Rgb{255, 0, down};
                break;
        }
    }
    wheel[WheelSteps] = wheel[0];
    return wheel;
}
constexpr auto Wheel = make_wheel();

Rgb colour_of(const LightingState& s) {
    return Rgb{s.red, s.green, s.blue};
}

std::uint8_t scaled(std::uint8_t value, int level) {
    return static_cast<std::uint8_t>(value * brightness_for_level(level) / 256);
}

// Wheel position of the breathing and blink effects: 16 on, back to 0 past the last entry.
void advance_wheel_position(PreviewAnimation& anim, bool wrap_at_end) {
    int pos = anim.colour_position + 16;
    if (wrap_at_end ? pos >= int(WheelSteps) : pos > int(WheelSteps))
        pos = 0;
    anim.colour_position = static_cast<std::uint8_t>(pos);
}

void advance_four_colour(PreviewAnimation& anim) {
    anim.colour_position = static_cast<std::uint8_t>((anim.colour_position + 1) % FourColourCount);
}

Rgb four_colour(const PreviewAnimation& anim) {
    return FourColours[anim.colour_position % FourColourCount];
}

Rgb wheel_at(int position) {
    return Wheel[static_cast<std::size_t>(std::clamp(position, 0, int(WheelSteps)))];
}

// Advances the breath; true when a new breath begins.
bool breathe(const LightingState& state, PreviewAnimation& anim) {
    anim.step =
        static_cast<std::uint8_t>(step(int(BreathingSteps), anim.step, 1, state.direction != 0));
    return anim.step == 0;
}

std::uint8_t breath_brightness(const LightingState& state, const PreviewAnimation& anim) {
    return scaled(Breathing[anim.step % BreathingSteps], state.brightness);
}

// Toggles the blink phase when the interval has passed; true on a toggle.
bool blink_due(const LightingState& state, PreviewAnimation& anim, std::uint64_t now_ms) {
    if (now_ms - anim.last_toggle_ms < std::uint64_t(blink_interval_ms(state.speed)))
        return false;
    anim.blink_phase = anim.blink_phase ? 0 : 1;
    anim.last_toggle_ms = now_ms;
    return true;
}

}  // namespace

const std::array<std::uint8_t, BreathingSteps>& breathing_curve() {
    return Breathing;
}

const std::array<Rgb, WheelEntries>& colour_wheel() {
    return Wheel;
}

std::uint8_t wheel_ease(int position) {
    return Ease[static_cast<std::size_t>(std::clamp(position, 0, 32))];
}

std::uint8_t brightness_for_level(int level) {
    return BrightnessLevels[static_cast<std::size_t>(std::clamp(level, 0, 4))];
}

int blink_interval_ms(int speed) {
    return BlinkFactors[static_cast<std::size_t>(std::clamp(speed, 0, 4))] * BlinkUnitMs;
}

int step(int period, int s, int d, bool forward) {
    if (forward) {
        const int next = s + d;
        return next >= period ? 0 : next;
    }
    const int next = s - d;
    return (next < 0 || next >= period) ? period - d : next;
}

LightingState lighting_from_record(const profile::LightInfo& r) {
    LightingState s;
    s.mode = r.mode;
    s.brightness = r.brightness;
    s.speed = r.speed;
    s.direction = r.direction;
    s.multi_colour = r.multi_colour;
    s.red = r.red;
    s.green = r.green;
    s.blue = r.blue;
    return s;
}

std::uint32_t LedEntry::packed() const {
    return std::uint32_t{red} | std::uint32_t{green} << 8 | std::uint32_t{blue} << 16 |
           std::uint32_t{brightness} << 24;
}

LedEntry LedEntry::unpack(std::uint32_t v) {
    return LedEntry{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                    static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

void LedFrame::resize(std::size_t count) {
    entries_.assign(count, LedEntry{});
}

void LedFrame::set(std::size_t index, std::uint32_t value) {
    if (index < entries_.size())
        entries_[index] = LedEntry::unpack(value);
}

std::uint32_t LedFrame::get(std::size_t index) const {
    return index < entries_.size() ? entries_[index].packed() : 0;
}

void LedFrame::fill(Rgb c, std::uint8_t brightness) {
    std::fill(entries_.begin(), entries_.end(), LedEntry{c.red, c.green, c.blue, brightness});
}

void effect_breathing(const LightingState& state, PreviewAnimation& anim, LedFrame& frame) {
    if (breathe(state, anim))
        advance_wheel_position(anim, false);
    const Rgb c = state.multi_colour ? wheel_at(anim.colour_position) : colour_of(state);
    frame.fill(c, breath_brightness(state, anim));
}

void effect_breathing_cycle(const LightingState& state, PreviewAnimation& anim, LedFrame& frame) {
    if (breathe(state, anim))
        advance_four_colour(anim);
    frame.fill(four_colour(anim), breath_brightness(state, anim));
}

void effect_static(const LightingState& state, LedFrame& frame) {
    frame.fill(colour_of(state), brightness_for_level(state.brightness));
}

void effect_colour_wheel(const LightingState& state, PreviewAnimation& anim, LedFrame& frame) {
    anim.step =
        static_cast<std::uint8_t>(step(int(WheelSteps), anim.step, 1, state.direction != 0));
    frame.fill(wheel_at(anim.step), brightness_for_level(state.brightness));
}

void effect_blink(const LightingState& state, PreviewAnimation& anim, LedFrame& frame,
                  std::uint64_t now_ms) {
    if (blink_due(state, anim, now_ms))
        advance_wheel_position(anim, true);
    if (!anim.blink_phase) {
        frame.fill(Rgb{}, 0);
        return;
    }
    const Rgb c = state.multi_colour ? wheel_at(anim.colour_position) : colour_of(state);
    frame.fill(c, brightness_for_level(state.brightness));
}

void effect_blink_cycle(const LightingState& state, PreviewAnimation& anim, LedFrame& frame,
                        std::uint64_t now_ms) {
    if (blink_due(state, anim, now_ms))
        advance_four_colour(anim);
    if (!anim.blink_phase) {
        frame.fill(Rgb{}, 0);
        return;
    }
    frame.fill(four_colour(anim), brightness_for_level(state.brightness));
}

void effect_off(LedFrame& frame) {
    frame.fill(Rgb{}, 0);
}

void ReactiveBuffer::resize(std::size_t count) {
    level.resize(count, 0);
    position.resize(count, 0);
}

bool ReactiveBuffer::lit() const {
    return std::any_of(level.begin(), level.end(), [](std::uint8_t v) { return v != 0; });
}

void pattern_neon(const LightingState& state, PreviewAnimation& anim, LedFrame& frame) {
    anim.step =
        static_cast<std::uint8_t>(step(int(WheelSteps), anim.step, 1, state.direction != 0));
    const std::size_t n = frame.size();
    const std::uint8_t b = brightness_for_level(state.brightness);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t group = i * NeonGroups / n;
        const int pos = int((anim.step + group * WheelSteps / NeonGroups) % WheelSteps);
        const Rgb c = wheel_at(pos);
        frame[i] = LedEntry{c.red, c.green, c.blue, b};
    }
}

void pattern_wave(const LightingState& state, PreviewAnimation& anim, LedFrame& frame) {
    if (breathe(state, anim))
        advance_wheel_position(anim, false);
    const Rgb c = state.multi_colour ? wheel_at(anim.colour_position) : colour_of(state);
    const std::size_t n = frame.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t phase =
            (anim.step + BreathingSteps - i * BreathingSteps / n) % BreathingSteps;
        frame[i] = LedEntry{c.red, c.green, c.blue, scaled(Breathing[phase], state.brightness)};
    }
}

void pattern_ripple(const LightingState& state, ReactiveBuffer& reactive, LedFrame& frame) {
    reactive.resize(frame.size());
    const std::uint8_t b = brightness_for_level(state.brightness);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const int pos = step(int(WheelSteps), reactive.position[i], 1, state.direction != 0);
        reactive.position[i] = static_cast<std::uint8_t>(pos);
        const Rgb c = wheel_at(pos);
        frame[i] = LedEntry{c.red, c.green, c.blue, b};
    }
}

void start_reactive(const LightingState& state, ReactiveBuffer& reactive,
                    std::minstd_rand& random) {
    std::fill(reactive.level.begin(), reactive.level.end(), std::uint8_t{255});
    if (state.mode != 6)
        return;
    for (auto& p : reactive.position)
        p = static_cast<std::uint8_t>(random() % WheelSteps);
}

void start_reactive(const LightingState& state, ReactiveBuffer& reactive, std::uint32_t seed) {
    std::minstd_rand random(seed);
    start_reactive(state, reactive, random);
}

bool reactive_step(const LightingState& state, ReactiveBuffer& reactive, LedFrame& frame) {
    reactive.resize(frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const int level = std::max(0, reactive.level[i] - ReactiveFade);
        reactive.level[i] = static_cast<std::uint8_t>(level);
        const Rgb c = state.multi_colour ? wheel_at(reactive.position[i]) : colour_of(state);
        frame[i] = LedEntry{c.red, c.green, c.blue,
                            scaled(static_cast<std::uint8_t>(level), state.brightness)};
    }
    return reactive.lit();
}

int visible_difference(const LedFrame& a, const LedFrame& b) {
    if (a.size() != b.size())
        return 255;
    const auto shown = [](std::uint8_t channel, std::uint8_t brightness) {
        return int(channel) * int(brightness) / 255;
    };
    int most = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const LedEntry& x = a[i];
        const LedEntry& y = b[i];
        most = std::max({most, std::abs(shown(x.red, x.brightness) - shown(y.red, y.brightness)),
                         std::abs(shown(x.green, x.brightness) - shown(y.green, y.brightness)),
                         std::abs(shown(x.blue, x.brightness) - shown(y.blue, y.brightness))});
    }
    return most;
}

bool is_reactive_mode(int mode) {
    return mode == 9 || mode > 10 || mode < 0;
}

int frame_threshold(int mode, int speed) {
    if (is_reactive_mode(mode))
        return 0;
    static constexpr std::array<int, 5> Ticks = {8, 6, 4, 2, 1};
    const int ticks = Ticks[static_cast<std::size_t>(std::clamp(speed, 0, 4))];
    return mode == 5 ? ticks * 2 : ticks;
}

void render_preview(const LightingState& state, PreviewAnimation& anim, ReactiveBuffer& reactive,
                    LedFrame& frame, std::uint64_t now_ms) {
    reactive.resize(frame.size());
    switch (state.mode) {
        case 0:
            pattern_neon(state, anim, frame);
            break;
        case 1:
            effect_colour_wheel(state, anim, frame);
            break;
        case 2:
            effect_breathing(state, anim, frame);
            break;
        case 3:
            effect_static(state, frame);
            break;
        case 4:
            effect_blink(state, anim, frame, now_ms);
            break;
        case 5:
            pattern_wave(state, anim, frame);
            break;
        case 6:
            pattern_ripple(state, reactive, frame);
            break;
        case 7:
            effect_breathing_cycle(state, anim, frame);
            break;
        case 8:
            effect_blink_cycle(state, anim, frame, now_ms);
            break;
        case 10:
            effect_off(frame);
            break;
        default:
            reactive_step(state, reactive, frame);
            break;
    }
}

std::optional<std::uint64_t> next_frame_due(const LightingState& state,
                                            const ReactiveBuffer& reactive,
                                            std::uint64_t last_frame_ms) {
    if (is_reactive_mode(state.mode)) {
        if (!reactive.lit())
            return std::nullopt;
        return last_frame_ms + PreviewTickMs;
    }
    return last_frame_ms + std::uint64_t(frame_threshold(state.mode, state.speed)) * PreviewTickMs;
}

}  // namespace velqa::model
