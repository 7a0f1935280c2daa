// The lighting preview: tables, step function, effects and frame timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "device/model/lighting_preview.h"

namespace velqa::model {
namespace {

LightingState lighting(int mode, int level = 4, int speed = 4, int dir = 1, int multi = 0) {
    LightingState s;
    s.mode = static_cast<uint8_t>(mode);
    s.brightness = static_cast<uint8_t>(level);
    s.speed = static_cast<uint8_t>(speed);
    s.direction = static_cast<uint8_t>(dir);
    s.multi_colour = static_cast<uint8_t>(multi);
    s.red = 10;
    s.green = 20;
    s.blue = 30;
    return s;
}

TEST(PreviewTables, BreathingCurveRisesThenMirrors) {
    const auto& c = breathing_curve();
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[10], 10);
    EXPECT_EQ(c[11], 12);
    EXPECT_EQ(c[36], 94);
    EXPECT_EQ(c[63], 255);
    for (size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(c[127 - i], c[i]) << i;
        if (i > 0) {
            EXPECT_GT(c[i], c[i - 1]) << i;
        }
    }
}

TEST(PreviewTables, ColourWheelSamplesAndShape) {
    const auto& w = colour_wheel();
    EXPECT_EQ(w[0], (Rgb{255, 1, 0}));
    EXPECT_EQ(w[8], (Rgb{255, 26, 0}));
    EXPECT_EQ(w[16], (Rgb{255, 81, 0}));
    EXPECT_EQ(w[24], (Rgb{255, 164, 0}));
    EXPECT_EQ(w[32], (Rgb{248, 255, 0}));
    EXPECT_EQ(w[64], (Rgb{0, 255, 1}));
    EXPECT_EQ(w[96], (Rgb{0, 248, 255}));
    EXPECT_EQ(w[128], (Rgb{1, 0, 255}));
    EXPECT_EQ(w[160], (Rgb{255, 0, 248}));
    EXPECT_EQ(w[192], w[0]);
    for (size_t i = 0; i < WheelEntries; ++i) {
        const Rgb c = w[i];
        const int full = (c.red == 255) + (c.green == 255) + (c.blue == 255);
        const int off = (c.red == 0) + (c.green == 0) + (c.blue == 0);
        EXPECT_EQ(full, 1) << i;
        EXPECT_EQ(off, 1) << i;
        if (i > 0) {
            const Rgb p = w[i - 1];
            const int step =
                std::abs(c.red - p.red) + std::abs(c.green - p.green) + std::abs(c.blue - p.blue);
            EXPECT_LE(step, 14) << i;  // no jumps, also across the sixths
        }
    }
    for (int k = 1; k <= 32; ++k)
        EXPECT_GT(wheel_ease(k), wheel_ease(k - 1)) << k;
}

TEST(PreviewTables, LevelsAndBlinkIntervals) {
    EXPECT_EQ(brightness_for_level(0), 0);
    EXPECT_EQ(brightness_for_level(2), 135);
    EXPECT_EQ(brightness_for_level(4), 255);
    EXPECT_EQ(brightness_for_level(9), 255);  // a damaged level never reads past the table
    EXPECT_EQ(blink_interval_ms(4), 200);
    EXPECT_EQ(blink_interval_ms(0), 1600);
    EXPECT_EQ(blink_interval_ms(2), 800);
    EXPECT_EQ(blink_interval_ms(200), 200);
}

TEST(PreviewStep, ForwardAndBackwardWrap) {
    EXPECT_EQ(step(128, 127, 1, true), 0);
    EXPECT_EQ(step(128, 5, 1, true), 6);
    EXPECT_EQ(step(128, 0, 1, false), 127);
    EXPECT_EQ(step(128, 5, 1, false), 4);
    // A step left beyond the period by another effect comes back into it.
    EXPECT_EQ(step(128, 191, 1, true), 0);
    EXPECT_EQ(step(128, 191, 1, false), 127);
    EXPECT_EQ(step(192, 0, 1, false), 191);
}

TEST(PreviewFrame, EntriesOutsideTheFrameAreIgnored) {
    LedFrame f(3);
    f.set(1, 0x80302010);
    EXPECT_EQ(f[1], (LedEntry{0x10, 0x20, 0x30, 0x80}));
    EXPECT_EQ(f.get(1), 0x80302010u);
    f.set(3, 0xFFFFFFFF);
    EXPECT_EQ(f.get(3), 0u);
    f.resize(4);
    EXPECT_EQ(f.get(1), 0u);
}

TEST(PreviewEffects, BreathingAdvancesColourEveryBreath) {
    LedFrame f(2);
    PreviewAnimation a;
    a.step = 127;
    a.colour_position = 192;
    const LightingState s = lighting(2, 2, 4, 1, 1);
    effect_breathing(s, a, f);
    EXPECT_EQ(a.step, 0);
    EXPECT_EQ(a.colour_position, 0);  // 208 is past the wheel
    a.step = 30;
    effect_breathing(s, a, f);
    const Rgb c = colour_wheel()[0];
    EXPECT_EQ(f[1], (LedEntry{c.red, c.green, c.blue,
                              static_cast<uint8_t>(breathing_curve()[31] * 135 / 256)}));
    // Single colour, backward: the lighting colour, the step running down.
    const LightingState single = lighting(2, 4, 4, 0, 0);
    effect_breathing(single, a, f);
    EXPECT_EQ(a.step, 30);
    EXPECT_EQ(f[0].red, 10);
    a.step = 0;
    a.colour_position = 176;
    effect_breathing(single, a, f);
    EXPECT_EQ(a.step, 127);
    EXPECT_EQ(a.colour_position, 176);
}

TEST(PreviewEffects, CyclesStepThroughTheFourColours) {
    LedFrame f(1);
    PreviewAnimation a;
    a.colour_position = 3;
    a.step = 127;
    effect_breathing_cycle(lighting(7), a, f);
    EXPECT_EQ(a.colour_position, 0);
    EXPECT_EQ(f[0].red, FourColours[0].red);
    a.step = 127;
    effect_breathing_cycle(lighting(7), a, f);
    EXPECT_EQ(f[0].green, FourColours[1].green);
}

TEST(PreviewEffects, BlinkTogglesAtTheSpeedsInterval) {
    for (int speed : {4, 0}) {
        const uint64_t interval = speed == 4 ? 200 : 1600;
        LedFrame f(1);
        PreviewAnimation a;
        const LightingState s = lighting(4, 4, speed);
        effect_blink(s, a, f, 10000);
        ASSERT_EQ(a.blink_phase, 1);
        EXPECT_EQ(f[0], (LedEntry{10, 20, 30, 255}));
        effect_blink(s, a, f, 10000 + interval - 1);
        EXPECT_EQ(a.blink_phase, 1) << speed;
        effect_blink(s, a, f, 10000 + interval);
        EXPECT_EQ(a.blink_phase, 0) << speed;
        EXPECT_EQ(f[0], LedEntry{});
        effect_blink(s, a, f, 10000 + 2 * interval);
        EXPECT_EQ(a.blink_phase, 1) << speed;
    }
    // The wheel position advances by 16 per toggle and wraps at 192.
    LedFrame f(1);
    PreviewAnimation a;
    a.colour_position = 176;
    effect_blink(lighting(4, 4, 4, 1, 1), a, f, 500);
    EXPECT_EQ(a.colour_position, 0);
}

TEST(PreviewEffects, StaticWheelAndOff) {
    LedFrame f(3);
    effect_static(lighting(3, 1), f);
    EXPECT_EQ(f[2], (LedEntry{10, 20, 30, 80}));
    PreviewAnimation a;
    effect_colour_wheel(lighting(1, 4, 4, 0), a, f);
    EXPECT_EQ(a.step, 191);
    EXPECT_EQ(f[0].brightness, 255);
    EXPECT_EQ(f[0].blue, colour_wheel()[191].blue);
    effect_off(f);
    EXPECT_EQ(f[1], LedEntry{});
}

TEST(PreviewPatterns, NeonSpreadsSevenGroupsOverTheWheel) {
    LedFrame f(7);
    PreviewAnimation a;
    pattern_neon(lighting(0), a, f);
    for (size_t i = 1; i < 7; ++i)
        EXPECT_NE(f[i].packed(), f[i - 1].packed()) << i;
    LedFrame none;
    pattern_neon(lighting(0), a, none);  // a page without LEDs
    LedFrame one(1);
    pattern_wave(lighting(5), a, one);
    EXPECT_EQ(one.size(), 1u);
}

TEST(PreviewPatterns, ReactiveFadesOutAndRippleTakesRandomPositions) {
    LedFrame f(4);
    ReactiveBuffer r;
    r.resize(4);
    const LightingState s = lighting(9);
    EXPECT_FALSE(next_frame_due(s, r, 1000).has_value());  // dark: wait for a trigger
    start_reactive(s, r, 1);
    ASSERT_EQ(next_frame_due(s, r, 1000), 1000u + PreviewTickMs);
    int steps = 0;
    while (reactive_step(s, r, f))
        ++steps;
    EXPECT_EQ(steps, 255 / ReactiveFade);
    EXPECT_EQ(f[0].brightness, 0);

    const LightingState ripple = lighting(6);
    start_reactive(ripple, r, 7);
    std::vector<uint8_t> first = r.position;
    start_reactive(ripple, r, 7);
    EXPECT_EQ(r.position, first);  // the seed decides
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t p) { return p < 192; }));
    PreviewAnimation anim;
    render_preview(ripple, anim, r, f, 0);
    EXPECT_EQ(r.position[0], (first[0] + 1) % 192);
    // Every press reports the same code: a generator kept across presses draws new positions.
    std::minstd_rand kept(7);
    start_reactive(ripple, r, kept);
    const std::vector<uint8_t> press = r.position;
    start_reactive(ripple, r, kept);
    EXPECT_NE(r.position, press);
}

TEST(PreviewTiming, ThresholdsByModeAndSpeed) {
    const int ticks[] = {8, 6, 4, 2, 1};
    for (int speed = 0; speed <= 4; ++speed) {
        EXPECT_EQ(frame_threshold(2, speed), ticks[speed]);
        EXPECT_EQ(frame_threshold(5, speed), 2 * ticks[speed]);
    }
    EXPECT_EQ(frame_threshold(2, 7), 1);
    EXPECT_EQ(frame_threshold(9, 2), 0);
    EXPECT_EQ(frame_threshold(42, 2), 0);
    EXPECT_EQ(next_frame_due(lighting(2, 4, 0), ReactiveBuffer{}, 100), 100u + 8 * PreviewTickMs);
    EXPECT_EQ(next_frame_due(lighting(5, 4, 4), ReactiveBuffer{}, 100), 100u + 2 * PreviewTickMs);
}

TEST(PreviewTiming, RenderDispatchesByMode) {
    LedFrame f(2);
    ReactiveBuffer r;
    PreviewAnimation a;
    render_preview(lighting(3, 3), a, r, f, 0);
    EXPECT_EQ(f[0], (LedEntry{10, 20, 30, 195}));
    render_preview(lighting(10), a, r, f, 0);
    EXPECT_EQ(f[0], LedEntry{});
    EXPECT_EQ(r.level.size(), 2u);
}

}  // namespace
}  // namespace velqa::model
