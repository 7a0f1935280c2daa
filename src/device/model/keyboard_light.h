// The keyboard's lighting: one frame function per lighting mode (1 to 26, and the two modes
// whose frames the program streams, 29 and 30), the per-key reactive buffer, and the light
// thread that computes the frames at each mode's pace. Frames are pure functions of the state,
// the animation counters and the caller's clock, so they are reproducible.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "device/model/preview_loop.h"

namespace velqa::model {

// The keyboard's lighting modes.
enum KeyboardMode : int {
    KbStatic = 1,
    KbBreathing = 2,
    KbSpectrum = 3,
    KbWaveRight = 4,
    KbWaveLeft = 5,
    KbBlink = 6,
    KbBreathingCycle = 7,
    KbBlinkCycle = 8,
    KbReactiveKey = 9,
    KbReactiveRipple = 10,
    KbReactiveAll = 11,
    KbRain = 12,
    KbScanner = 13,
    KbGradient = 14,
    KbNeon = 15,
    KbPulseWave = 16,
    KbTwinkle = 17,
    KbChecker = 18,
    KbSnake = 19,
    KbCustom = 20,
    KbFire = 21,
    KbSplit = 22,
    KbStack = 23,
    KbHeartbeat = 24,
    KbStars = 25,
    KbOff = 26,
    KbAudio = 29,
    KbStreamWave = 30,
};

// Counters of the keyboard's animations.
struct KeyboardAnimation {
    PreviewAnimation base;     // the shared effects' step, colour position and blink phase
    std::uint32_t step = 0;    // frames since the mode was chosen
    std::uint32_t random = 1;  // the rain, fire and star generator (never 0)
};

// ---- Per-key reactive buffer (level 0-255 per LED, fading) ----

// Fades LED `led` by `amount` (ignored outside the buffer).
void reactive_fade_key(ReactiveBuffer& buffer, std::size_t led, int amount);
// Every LED at `level`.
void reactive_fill(ReactiveBuffer& buffer, std::uint8_t level);
// Every level moves one LED forward (the last to the first).
void reactive_rotate(ReactiveBuffer& buffer);
void reactive_clear(ReactiveBuffer& buffer);
// A key press: kind 1 lights the key's LEDs, kind 2 also their two neighbours on each side
// (which then spread in the ripple mode).
void reactive_press(ReactiveBuffer& buffer, std::span<const std::size_t> leds, int kind);

// Ticks (of PreviewTickMs) between frames for a mode and speed 0-4 (clamped); 0 for the modes
// whose frame stays the same until the state changes.
int keyboard_frame_threshold(int mode, int speed);
// The modes that animate only while some key is lit.
bool keyboard_reactive_mode(int mode);

// Computes one frame. `custom` holds the per-key colours of mode 20 by LED (missing: dark);
// `audio_level` (0-255) is mode 29's bar. Modes outside the list show the static colour.
void render_keyboard_frame(const LightingState& state, KeyboardAnimation& anim,
                           ReactiveBuffer& reactive, LedFrame& frame, std::span<const Rgb> custom,
                           std::uint8_t audio_level, std::uint64_t now_ms);

// The keyboard page's light thread: recomputes the frame at the mode's pace and hands each
// new frame to the page (which paints it and, in modes 29 and 30, streams it).
class KeyboardLightThread : public PreviewLoop {
  public:
    // Called on the light thread with the frame just computed. It must not block for long.
    using FrameReady = std::function<void(const LedFrame& frame, int mode)>;

    // `channel`: no frames while its link is closed or its preview is paused. It and `clock`
    // must outlive this object. The thread writes "KB灯光线程设定退出" as it ends; no frames
    // while hidden (and nothing streamed then).
    explicit KeyboardLightThread(const link::CommandChannel& channel, FrameReady ready = {},
                                 const PreviewClock& clock = steady_preview_clock());
    ~KeyboardLightThread() override;

    void set_custom_colours(std::vector<Rgb> colours);
    // Mode 29's level, shown from the next frame on (any thread).
    void set_audio_level(std::uint8_t level);
    void press(std::vector<std::size_t> leds, int kind);

  private:
    std::optional<std::uint64_t> next_frame_due(std::uint64_t last_ms) const override;
    void render(std::uint64_t now_ms, bool changed) override;
    void frame_rendered() override;
    void mode_changing() override { anim_ = KeyboardAnimation{}; }

    const FrameReady ready_;
    KeyboardAnimation anim_;
    std::vector<Rgb> custom_;
    std::atomic<std::uint8_t> audio_level_{0};
    // The light thread's own: the frame and mode handed to ready_.
    LedFrame shown_;
    int shown_mode_ = 0;
};

}  // namespace velqa::model
