// The on-screen lighting preview of a device page: the tables, the effect frames and the frame
// timing of the preview thread. Pure functions over a lighting state, an animation state and an
// LED frame; the caller supplies the time, so frames are reproducible and the thread can sleep
// until the next frame is due.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "profile/profile_records.h"

namespace velqa::model {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// ---- Tables ----

constexpr std::size_t BreathingSteps = 128;
// 192 entries around the wheel plus entry 192, equal to entry 0, so a position of 192 is valid.
constexpr std::size_t WheelSteps = 192;
constexpr std::size_t WheelEntries = WheelSteps + 1;
constexpr std::size_t FourColourCount = 4;

// Brightness 0-255: rising over the first 64 entries, falling in mirror order over the last 64.
const std::array<std::uint8_t, BreathingSteps>& breathing_curve();
// Red, yellow, green, cyan, blue, magenta and back to red, 32 entries per sixth. In each sixth
// one channel is full, one is off and the third rises (eased) or falls (the rise mirrored).
const std::array<Rgb, WheelEntries>& colour_wheel();
// The rising channel of a sixth at position 0-32 (1 at 0, 255 at 32).
std::uint8_t wheel_ease(int position);
// Colours the cycling effects step through.
constexpr std::array<Rgb, FourColourCount> FourColours = {Rgb{255, 0, 0}, Rgb{0, 255, 0},
                                                          Rgb{0, 0, 255}, Rgb{255, 255, 255}};
// Brightness for the levels 0-4; a level above 4 counts as 4.
constexpr std::array<std::uint8_t, 5> BrightnessLevels = {0, 80, 135, 195, 255};
std::uint8_t brightness_for_level(int level);
// Blink interval = factor x 200 ms, factor by speed 0-4 (a speed outside 0-4 is clamped).
constexpr std::array<std::uint8_t, 5> BlinkFactors = {8, 6, 4, 2, 1};
constexpr int BlinkUnitMs = 200;
int blink_interval_ms(int speed);

// One step of period `period`: forward s + d, 0 when that reaches the period; backward s - d,
// period - d when the result is not in 0..period-1.
int step(int period, int s, int d, bool forward);

// ---- State ----

// The lighting state, 11 bytes.
struct LightingState {
    std::uint8_t mode = 0;
    std::uint8_t brightness = 0;  // level 0-4
    std::uint8_t speed = 0;       // 0-4, 4 fastest
    std::uint8_t direction = 0;   // non-zero: forward
    std::uint8_t multi_colour = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::array<std::uint8_t, 3> spare{};
    bool operator==(const LightingState&) const = default;
};
static_assert(sizeof(LightingState) == 11);

// The lighting state of a profile's lighting record.
LightingState lighting_from_record(const profile::LightInfo& record);

struct PreviewAnimation {
    std::uint8_t step = 0;
    std::uint8_t colour_position = 0;  // wheel position, or four-colour index in the cycles
    std::uint8_t blink_phase = 0;      // 1 lit
    std::uint64_t last_toggle_ms = 0;  // caller's clock
};

// One LED: colour and brightness 0-255.
struct LedEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t brightness = 0;
    bool operator==(const LedEntry&) const = default;
    // red | green << 8 | blue << 16 | brightness << 24.
    std::uint32_t packed() const;
    static LedEntry unpack(std::uint32_t value);
};

// The LED frame: one entry per light indicator.
class LedFrame {
  public:
    LedFrame() = default;
    explicit LedFrame(std::size_t count) : entries_(count) {}
    // Resizes and clears every entry.
    void resize(std::size_t count);
    std::size_t size() const { return entries_.size(); }
    // Ignored for an index outside the frame.
    void set(std::size_t index, std::uint32_t value);
    // 0 for an index outside the frame.
    std::uint32_t get(std::size_t index) const;
    const LedEntry& operator[](std::size_t index) const { return entries_[index]; }
    LedEntry& operator[](std::size_t index) { return entries_[index]; }
    void fill(Rgb colour, std::uint8_t brightness);
    const std::vector<LedEntry>& entries() const { return entries_; }

  private:
    std::vector<LedEntry> entries_;
};

// ---- Base effects (every LED entry is written) ----

// Breathing in the lighting colour, or through the wheel in steps of 16 when multi-colour.
void effect_breathing(const LightingState& state, PreviewAnimation& anim, LedFrame& frame);
// Breathing through the four colours, the next one at every breath.
void effect_breathing_cycle(const LightingState& state, PreviewAnimation& anim, LedFrame& frame);
void effect_static(const LightingState& state, LedFrame& frame);
// Every LED at the wheel entry of the step, stepping over 192 in the lighting direction.
void effect_colour_wheel(const LightingState& state, PreviewAnimation& anim, LedFrame& frame);
// Blinking at the speed's interval, measured on the caller's clock `now_ms`.
void effect_blink(const LightingState& state, PreviewAnimation& anim, LedFrame& frame,
                  std::uint64_t now_ms);
void effect_blink_cycle(const LightingState& state, PreviewAnimation& anim, LedFrame& frame,
                        std::uint64_t now_ms);
void effect_off(LedFrame& frame);

// ---- The mouse's own patterns ----

constexpr std::size_t NeonGroups = 7;

// Per-LED state of the reactive lighting and of the ripple pattern.
struct ReactiveBuffer {
    std::vector<std::uint8_t> level;     // 0-255, fades to 0
    std::vector<std::uint8_t> position;  // wheel position 0-191
    void resize(std::size_t count);      // new LEDs start dark at position 0
    bool lit() const;                    // some LED above 0
};

// Brightness lost per reactive step: a press fades out in 32 steps.
constexpr int ReactiveFade = 8;

// Neon: the LEDs in seven consecutive groups, each group a seventh of the wheel ahead of the
// one before, the whole wheel turning by one entry per frame in the lighting direction.
void pattern_neon(const LightingState& state, PreviewAnimation& anim, LedFrame& frame);
// Wave (mode 5): a breath travelling across the LEDs, each LED one LED-width behind the last.
void pattern_wave(const LightingState& state, PreviewAnimation& anim, LedFrame& frame);
// Ripple (mode 6): every LED turns through the wheel from its own position.
void pattern_ripple(const LightingState& state, ReactiveBuffer& reactive, LedFrame& frame);
// A reactive trigger: every LED lights fully; in mode 6 each LED also takes a wheel position
// drawn from `random` (a generator kept across presses), or from a generator seeded with `seed`.
void start_reactive(const LightingState& state, ReactiveBuffer& reactive, std::minstd_rand& random);
void start_reactive(const LightingState& state, ReactiveBuffer& reactive, std::uint32_t seed);
// One reactive step: every LED fades by ReactiveFade and shows the lighting colour (the wheel
// colour of its position when multi-colour). Returns reactive.lit() after the step.
bool reactive_step(const LightingState& state, ReactiveBuffer& reactive, LedFrame& frame);

// ---- The preview thread ----

// Length of one tick of the preview clock: the clock must move by more than one millisecond
// for a tick to count, and the frame speeds were tuned to a system tick of this length.
constexpr int PreviewTickMs = 16;
// While the link is closed the preview thread looks again after this long (or on its stop).
constexpr int PreviewLinkClosedWaitMs = 100;

// Ticks between frames by speed 0-4 (8, 6, 4, 2, 1; mode 5: 16, 12, 8, 4, 2); a speed outside
// 0-4 is clamped. 0 for the modes that run the reactive step on every pass.
int frame_threshold(int mode, int speed);
// True for the modes with no pattern of their own, which run the reactive step.
bool is_reactive_mode(int mode);

// How different two frames look: the largest change of one LED's channel at its brightness
// (colour x brightness / 255), 0-255; frames of different sizes differ by 255.
int visible_difference(const LedFrame& a, const LedFrame& b);
// The smallest visible_difference worth a frame of the preview: a slow effect skips the steps
// in between, so its frame rate follows how fast its colours change. The zones are a few
// pixels wide: a tenth of a channel's range is a step the eye takes for a glide there, and
// each frame costs two thread wake-ups and a repaint.
constexpr int PreviewVisibleStep = 24;
// How many of the mode's steps the preview may skip at most, so the phase of an effect that
// looks still (brightness 0, say) is still kept up.
constexpr int PreviewMaxSkippedSteps = 256;

// Computes one frame for the lighting mode: 0 neon, 1 colour wheel, 2 breathing, 3 static,
// 4 blink, 5 wave, 6 ripple, 7 breathing cycle, 8 blink cycle, 10 off, any other the reactive
// step. The reactive buffer is resized to the frame.
void render_preview(const LightingState& state, PreviewAnimation& anim, ReactiveBuffer& reactive,
                    LedFrame& frame, std::uint64_t now_ms);

// When the frame after one computed at `last_frame_ms` is due on the same clock: the mode's
// threshold in ticks later, one tick later for a reactive mode while an LED is lit, and
// nullopt when nothing changes until the next reactive trigger (the thread then waits for
// that or for its stop event).
std::optional<std::uint64_t> next_frame_due(const LightingState& state,
                                            const ReactiveBuffer& reactive,
                                            std::uint64_t last_frame_ms);

}  // namespace velqa::model
