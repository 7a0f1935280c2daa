#include "device/model/keyboard_light.h"

#include <algorithm>

#include "device/model/keyboard_core.h"

namespace velqa::model {

namespace {

Rgb colour_of(const LightingState& s) {
    return Rgb{s.red, s.green, s.blue};
}

Rgb wheel(std::uint32_t position) {
    return colour_wheel()[position % WheelSteps];
}

std::uint8_t scale(std::uint8_t value, std::uint8_t by) {
    return static_cast<std::uint8_t>((value * by) / 255);
}

void put(LedFrame& frame, std::size_t i, Rgb c, std::uint8_t brightness) {
    frame[i] = LedEntry{c.red, c.green, c.blue, brightness};
}

// xorshift32: the same sequence from the same seed on every run.
std::uint32_t next_random(std::uint32_t& state) {
    std::uint32_t x = state != 0 ? state : 1;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state = x;
    return x;
}

// The colour of a lit reactive key: the lighting colour, or its wheel position when
// multi-colour.
Rgb reactive_colour(const LightingState& s, const ReactiveBuffer& r, std::size_t i) {
    return s.multi_colour ? wheel(r.position[i]) : colour_of(s);
}

void fade_all(ReactiveBuffer& r, int amount) {
    for (std::size_t i = 0; i < r.level.size(); ++i)
        reactive_fade_key(r, i, amount);
}

void show_reactive(const LightingState& s, const ReactiveBuffer& r, LedFrame& frame,
                   std::uint8_t b) {
    for (std::size_t i = 0; i < frame.size(); ++i)
        put(frame, i, reactive_colour(s, r, i), scale(r.level[i], b));
}

// Wheel positions across the LEDs, `spread` entries apart, turned by `offset`.
void wheel_across(LedFrame& frame, std::uint32_t offset, std::uint32_t spread, bool reverse,
                  std::uint8_t b) {
    const std::size_t n = frame.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = reverse ? n - 1 - i : i;
        put(frame, at, wheel(offset + static_cast<std::uint32_t>(i) * spread), b);
    }
}

// Brightness of a double pulse over 32 steps: two short peaks, then rest.
std::uint8_t heartbeat(std::uint32_t step) {
    static constexpr std::array<std::uint8_t, 32> curve = {
        40, 120, 255, 120, 40, 90, 200, 90, 40, 30, 25, 20, 20, 20, 20, 20,
        20, 20,  20,  20,  20, 20, 20,  20, 20, 20, 20, 20, 20, 20, 25, 30};
    return curve[step % curve.size()];
}

}  // namespace

// ---- Reactive buffer ----

void reactive_fade_key(ReactiveBuffer& buffer, std::size_t led, int amount) {
    if (led >= buffer.level.size())
        return;
    buffer.level[led] = static_cast<std::uint8_t>(std::max(0, buffer.level[led] - amount));
}

void reactive_fill(ReactiveBuffer& buffer, std::uint8_t level) {
    std::fill(buffer.level.begin(), buffer.level.end(), level);
}

void reactive_rotate(ReactiveBuffer& buffer) {
    if (!buffer.level.empty())
        std::rotate(buffer.level.rbegin(), buffer.level.rbegin() + 1, buffer.level.rend());
}

void reactive_clear(ReactiveBuffer& buffer) {
    reactive_fill(buffer, 0);
}

void reactive_press(ReactiveBuffer& buffer, std::span<const std::size_t> leds, int kind) {
    const std::size_t n = buffer.level.size();
    for (const std::size_t led : leds) {
        if (led >= n)
            continue;
        buffer.level[led] = 255;
        buffer.position[led] = static_cast<std::uint8_t>((buffer.position[led] + 32) % WheelSteps);
        if (kind != 2)
            continue;
        for (std::size_t d = 1; d <= 2; ++d) {
            const auto splash = static_cast<std::uint8_t>(255 - 64 * d);
            if (led >= d)
                buffer.level[led - d] = std::max(buffer.level[led - d], splash);
            if (led + d < n)
                buffer.level[led + d] = std::max(buffer.level[led + d], splash);
        }
    }
}

// ---- Frames ----

int keyboard_frame_threshold(int mode, int speed) {
    static constexpr std::array<int, 5> base = {8, 6, 4, 2, 1};
    const int s = std::clamp(speed, 0, 4);
    switch (mode) {
        case KbStatic:
        case KbGradient:
        case KbCustom:
        case KbSplit:
        case KbOff:
            return 0;
        case KbReactiveKey:
        case KbReactiveRipple:
        case KbReactiveAll:
        case KbAudio:
            return 1;
        case KbScanner:
        case KbSnake:
        case KbStack:
            return base[static_cast<std::size_t>(s)] * 2;
        default:
            return base[static_cast<std::size_t>(s)];
    }
}

bool keyboard_reactive_mode(int mode) {
    return mode == KbReactiveKey || mode == KbReactiveRipple || mode == KbReactiveAll;
}

void render_keyboard_frame(const LightingState& s, KeyboardAnimation& a, ReactiveBuffer& r,
                           LedFrame& frame, std::span<const Rgb> custom, std::uint8_t audio_level,
                           std::uint64_t now_ms) {
    const std::size_t n = frame.size();
    r.resize(n);
    const std::uint8_t b = brightness_for_level(s.brightness);
    const bool forward = s.direction != 0;
    ++a.step;
    switch (s.mode) {
        case KbBreathing:
            effect_breathing(s, a.base, frame);
            break;
        case KbSpectrum:
            effect_colour_wheel(s, a.base, frame);
            break;
        case KbWaveRight:
        case KbWaveLeft:
        case KbStreamWave:
            wheel_across(frame, a.step * 4, 6, (s.mode == KbWaveLeft) == forward, b);
            break;
        case KbBlink:
            effect_blink(s, a.base, frame, now_ms);
            break;
        case KbBreathingCycle:
            effect_breathing_cycle(s, a.base, frame);
            break;
        case KbBlinkCycle:
            effect_blink_cycle(s, a.base, frame, now_ms);
            break;
        case KbReactiveKey:
            fade_all(r, ReactiveFade);
            show_reactive(s, r, frame, b);
            break;
        case KbReactiveRipple: {
            // Each lit key passes a little less to its neighbours, then fades.
            std::vector<std::uint8_t> spread = r.level;
            for (std::size_t i = 0; i < n; ++i) {
                const int from =
                    std::max(i > 0 ? r.level[i - 1] : 0, i + 1 < n ? r.level[i + 1] : 0);
                spread[i] = static_cast<std::uint8_t>(std::max<int>(spread[i], from - 48));
            }
            r.level = spread;
            fade_all(r, ReactiveFade);
            show_reactive(s, r, frame, b);
            break;
        }
        case KbReactiveAll: {
            const std::uint8_t top =
                r.level.empty() ? 0 : *std::max_element(r.level.begin(), r.level.end());
            reactive_fill(r, top);
            fade_all(r, ReactiveFade);
            show_reactive(s, r, frame, b);
            break;
        }
        case KbRain:
        case KbStars: {
            fade_all(r, 24);
            if (n > 0) {
                const std::size_t at = next_random(a.random) % n;
                r.level[at] = 255;
                r.position[at] = static_cast<std::uint8_t>(next_random(a.random) % WheelSteps);
            }
            for (std::size_t i = 0; i < n; ++i) {
                const Rgb c =
                    s.mode == KbStars || s.multi_colour ? wheel(r.position[i]) : colour_of(s);
                put(frame, i, c, scale(r.level[i], b));
            }
            break;
        }
        case KbScanner: {
            // A bar of four LEDs running to one end and back.
            const std::size_t span = n > 4 ? n - 4 : 1;
            const std::size_t t = a.step % (2 * span);
            const std::size_t head = t < span ? t : 2 * span - t;
            for (std::size_t i = 0; i < n; ++i)
                put(frame, i, colour_of(s), i >= head && i < head + 4 ? b : 0);
            break;
        }
        case KbGradient:
            wheel_across(frame, 0, n > 0 ? static_cast<std::uint32_t>(WheelSteps / n + 1) : 1,
                         !forward, b);
            break;
        case KbNeon:
            pattern_neon(s, a.base, frame);
            break;
        case KbPulseWave:
            pattern_wave(s, a.base, frame);
            break;
        case KbTwinkle: {
            const auto& curve = breathing_curve();
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t phase = (a.step * 4 + i * 37) % BreathingSteps;
                const Rgb c =
                    s.multi_colour ? wheel(static_cast<std::uint32_t>(i * 11)) : colour_of(s);
                put(frame, i, c, scale(curve[phase], b));
            }
            break;
        }
        case KbChecker: {
            const bool phase = (a.step / 4) % 2 != 0;
            for (std::size_t i = 0; i < n; ++i)
                put(frame, i, colour_of(s), ((i % 2 != 0) == phase) ? b : 0);
            break;
        }
        case KbSnake: {
            const std::size_t head = n > 0 ? a.step % n : 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t behind = forward ? (head + n - i) % n : (i + n - head) % n;
                const std::uint8_t level =
                    behind < 8 ? static_cast<std::uint8_t>(255 - behind * 28) : 0;
                const Rgb c = s.multi_colour
                                  ? wheel(a.step + static_cast<std::uint32_t>(behind) * 8)
                                  : colour_of(s);
                put(frame, i, c, scale(level, b));
            }
            break;
        }
        case KbCustom:
            for (std::size_t i = 0; i < n; ++i)
                put(frame, i, i < custom.size() ? custom[i] : Rgb{}, b);
            break;
        case KbFire:
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t x = next_random(a.random);
                put(frame, i, Rgb{255, static_cast<std::uint8_t>(40 + x % 120), 0},
                    scale(static_cast<std::uint8_t>(150 + (x >> 8) % 106), b));
            }
            break;
        case KbSplit: {
            const Rgb c = colour_of(s);
            const Rgb other{static_cast<std::uint8_t>(255 - c.red),
                            static_cast<std::uint8_t>(255 - c.green),
                            static_cast<std::uint8_t>(255 - c.blue)};
            for (std::size_t i = 0; i < n; ++i)
                put(frame, i, i < n / 2 ? c : other, b);
            break;
        }
        case KbStack: {
            const std::size_t lit = n > 0 ? a.step % (n + 1) : 0;
            for (std::size_t i = 0; i < n; ++i)
                put(frame, forward ? i : n - 1 - i, colour_of(s), i < lit ? b : 0);
            break;
        }
        case KbHeartbeat:
            frame.fill(colour_of(s), scale(heartbeat(a.step), b));
            break;
        case KbOff:
            effect_off(frame);
            break;
        case KbAudio: {
            // The level lights that share of the keys in the colour, the rest stays dim.
            const std::size_t lit = n * audio_level / 255;
            for (std::size_t i = 0; i < n; ++i)
                put(frame, i, colour_of(s), i < lit ? b : scale(b, 40));
            break;
        }
        case KbStatic:
        default:
            effect_static(s, frame);
            break;
    }
}

// ---- Thread ----

KeyboardLightThread::KeyboardLightThread(const link::CommandChannel& channel, FrameReady ready,
                                         const PreviewClock& clock)
    : PreviewLoop(channel, clock, "KB灯光线程设定退出"), ready_(std::move(ready)) {}

KeyboardLightThread::~KeyboardLightThread() {
    stop();
}

void KeyboardLightThread::set_custom_colours(std::vector<Rgb> colours) {
    change([&] { custom_ = std::move(colours); });
}

void KeyboardLightThread::set_audio_level(std::uint8_t level) {
    // Levels come at the pace of whichever program sends them: they never wake the thread, and
    // mode 29 shows the newest at its own frame pace, so a flood of blocks costs no more frames
    // (nor streams to the keyboard).
    audio_level_.store(level, std::memory_order_relaxed);
}

void KeyboardLightThread::press(std::vector<std::size_t> leds, int kind) {
    change([&] {
        reactive_.resize(frame_.size());
        reactive_press(reactive_, leds, kind);
    });
}

std::optional<std::uint64_t> KeyboardLightThread::next_frame_due(std::uint64_t last_ms) const {
    const int threshold = keyboard_frame_threshold(state_.mode, state_.speed);
    // A reactive mode with no key lit shows the same frame until the next press.
    if (threshold <= 0 || (keyboard_reactive_mode(state_.mode) && !reactive_.lit()))
        return std::nullopt;
    return last_ms + std::uint64_t(threshold) * PreviewTickMs;
}

void KeyboardLightThread::render(std::uint64_t now_ms, bool) {
    render_keyboard_frame(state_, anim_, reactive_, frame_, custom_,
                          audio_level_.load(std::memory_order_relaxed), now_ms);
    shown_ = frame_;
    shown_mode_ = state_.mode;
}

void KeyboardLightThread::frame_rendered() {
    if (ready_)
        ready_(shown_, shown_mode_);
}

}  // namespace velqa::model
