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

// Drives `light` (already made with `clock`) through one frame period.
void frames_follow_the_clock(PreviewLoop& light, test::FakePreviewClock& clock,
                             test::Mailbox<std::uint64_t>& frames) {
    const std::uint64_t start = clock.now_ms();
    light.set_led_count(3);
    light.set_lighting(breathing());
    ASSERT_TRUE(light.start());
    ASSERT_TRUE(frames.wait_count(1));
    ASSERT_TRUE(clock.wait_for_waits(1));
    EXPECT_EQ(clock.deadline(), start + FramePeriod);

    // Woken early, it looks at the clock and waits again for the same deadline.
    clock.advance(FramePeriod - 1);
    ASSERT_TRUE(clock.wait_for_waits(2));
    EXPECT_EQ(light.frames(), 1u);
    EXPECT_EQ(clock.deadline(), start + FramePeriod);

    clock.advance(1);
    ASSERT_TRUE(clock.wait_for_waits(3));
    EXPECT_EQ(light.frames(), 2u);
    EXPECT_EQ(clock.deadline(), start + 2 * FramePeriod);
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

}  // namespace
}  // namespace velqa::model
