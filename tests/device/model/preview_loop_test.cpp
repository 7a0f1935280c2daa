// The preview loop both light threads run, against an injected clock: a frame when it is due on
// that clock, and in between one blocking wait per wake-up, never a poll.
#include "device/model/preview_loop.h"

#include <gtest/gtest.h>

#include "device/model/keyboard_light.h"
#include "device/model/light_thread.h"
#include "support/fake_preview_clock.h"
#include "support/waiting.h"

namespace velqa::model {
namespace {

// Breathing at speed 0: 8 ticks between frames on both devices.
constexpr std::uint64_t FramePeriod = 8 * PreviewTickMs;

LightingState breathing() {
    LightingState s;
    s.mode = 2;
    s.brightness = 4;
    s.red = 255;
    return s;
}

// Drives `light` (already made with `clock`) through its first two frames. The mouse's thread
// skips the steps that change nothing visible, so its next frame is a whole number of frame
// periods later.
void frames_follow_the_clock(PreviewLoop& light, test::FakePreviewClock& clock,
                             test::Mailbox<std::uint64_t>& frames) {
    const std::uint64_t start = clock.now_ms();
    light.set_led_count(3);
    light.set_lighting(breathing());
    ASSERT_TRUE(light.start());
    ASSERT_TRUE(frames.wait_count(1));
    ASSERT_TRUE(clock.wait_for_waits(1));
    const std::uint64_t next = clock.deadline();
    ASSERT_GT(next, start);
    EXPECT_EQ((next - start) % FramePeriod, 0u);

    // Woken early, it looks at the clock and waits again for the same deadline.
    clock.advance(next - start - 1);
    ASSERT_TRUE(clock.wait_for_waits(2));
    EXPECT_EQ(light.frames(), 1u);
    EXPECT_EQ(clock.deadline(), next);

    clock.advance(1);
    ASSERT_TRUE(clock.wait_for_waits(3));
    EXPECT_EQ(light.frames(), 2u);
    EXPECT_GT(clock.deadline(), next);
    EXPECT_EQ((clock.deadline() - next) % FramePeriod, 0u);
    EXPECT_EQ(clock.waits(), 3u) << "one wait per wake-up";
    EXPECT_EQ(light.stop(), platform::StopOutcome::Signalled);
}

TEST(PreviewLoop, BothLightThreadsRenderWhenTheInjectedClockSaysSo) {
    link::CommandChannel channel;
    channel.set_link_open(1);
    {
        test::FakePreviewClock clock;
        test::Mailbox<std::uint64_t> frames;
        MouseLightThread mouse(
            channel, [&] { frames.push(0); }, clock);
        frames_follow_the_clock(mouse, clock, frames);
    }
    {
        test::FakePreviewClock clock;
        test::Mailbox<std::uint64_t> frames;
        KeyboardLightThread keyboard(
            channel, [&](const LedFrame&, int) { frames.push(0); }, clock);
        frames_follow_the_clock(keyboard, clock, frames);
    }
}

// A slow effect skips the steps that barely change, but keeps its pace: every frame it shows is
// the one a step-by-step run shows at that time.
TEST(PreviewLoop, SkippedStepsKeepTheEffectsPhase) {
    link::CommandChannel channel;
    channel.set_link_open(1);
    test::FakePreviewClock clock;
    test::Mailbox<LedFrame> shown;
    MouseLightThread mouse(
        channel, [&] { shown.push(mouse.frame()); }, clock);
    const std::uint64_t start = clock.now_ms();
    mouse.set_led_count(3);
    mouse.set_lighting(breathing());
    ASSERT_TRUE(mouse.start());

    LightingState state = breathing();
    PreviewAnimation anim;
    ReactiveBuffer reactive;
    LedFrame expected(3);
    render_preview(state, anim, reactive, expected, start);
    std::uint64_t at = start;
    for (std::size_t n = 1; n <= 12; ++n) {
        ASSERT_TRUE(shown.wait_count(n));
        const LedFrame frame = shown.items().back();
        ASSERT_EQ(frame.entries(), expected.entries()) << "frame " << n;
        ASSERT_TRUE(clock.wait_for_waits(n));
        const std::uint64_t next = clock.deadline();
        for (; at < next; at += FramePeriod)
            render_preview(state, anim, reactive, expected, at + FramePeriod);
        ASSERT_EQ(at, next);
        EXPECT_GT(visible_difference(expected, frame), 0) << "frame " << n + 1;
        clock.advance(next - clock.now_ms());
    }
    EXPECT_LT(mouse.frames(), (at - start) / FramePeriod) << "fewer frames than steps";
    EXPECT_EQ(mouse.stop(), platform::StopOutcome::Signalled);
}

}  // namespace
}  // namespace velqa::model
