// The preview's light thread: frames at the mode's pace, waits that its state changes and its
// stop end, and stopping within the bounded wait wherever it waits.
#include "device/model/light_thread.h"

#include <gtest/gtest.h>

#include "support/waiting.h"

namespace velqa::model {
namespace {

using platform::StopOutcome;

constexpr const char* InTime = "线程退出：：对象处于激发状态\n";
constexpr const char* Exit = "MS灯光线程设定退出";

LightingState lighting(int mode, int speed, Rgb colour = {255, 0, 0}) {
    LightingState s;
    s.mode = static_cast<std::uint8_t>(mode);
    s.brightness = 4;
    s.speed = static_cast<std::uint8_t>(speed);
    s.direction = 1;
    s.red = colour.red;
    s.green = colour.green;
    s.blue = colour.blue;
    return s;
}

class LightThread : public ::testing::Test {
  protected:
    LightThread() { channel_.set_link_open(1); }
    // Frames announced so far, with the first LED of each (read as the page reads it).
    size_t shown() const { return shown_.items().size(); }
    bool wait_shown(size_t n) { return shown_.wait_count(n); }
    LedEntry last_shown() const { return shown_.items().back(); }

    test::DebugLines debug_;
    link::CommandChannel channel_;
    test::Mailbox<LedEntry> shown_;
    MouseLightThread light_{channel_, [this] { shown_.push(light_.frame()[0]); }};
};

TEST_F(LightThread, AnimatesAndStopsWhileWaitingForTheNextFrame) {
    light_.set_led_count(4);
    light_.set_lighting(lighting(2, 0));  // breathing, slowest: frames 128 ms apart
    ASSERT_TRUE(light_.start());
    ASSERT_TRUE(wait_shown(3));
    EXPECT_EQ(light_.frame().size(), 4u);
    EXPECT_EQ(last_shown().red, 255);
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled);
    EXPECT_TRUE(debug_.wait_for(Exit));
    EXPECT_EQ(debug_.count(InTime), 1u);
    EXPECT_FALSE(light_.running());
}

TEST_F(LightThread, AConstantFrameWaitsForAChangeOfState) {
    light_.set_led_count(2);
    light_.set_lighting(lighting(3, 4, {0, 0, 255}));  // static
    ASSERT_TRUE(light_.start());
    ASSERT_TRUE(wait_shown(1));
    EXPECT_EQ(last_shown(), (LedEntry{0, 0, 255, 255}));

    light_.set_lighting(lighting(3, 4, {0, 255, 0}));
    ASSERT_TRUE(shown_.wait([](const auto& f) { return f.back() == LedEntry{0, 255, 0, 255}; }));
    const auto frames = light_.frames();
    EXPECT_LE(frames, 3u) << "a static frame is computed once per change, not at the frame pace";
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled) << "stops from a wait without a deadline";
}

TEST_F(LightThread, NoFramesWhileTheLinkIsClosedOrThePreviewPaused) {
    channel_.set_link_open(0);
    light_.set_led_count(1);
    light_.set_lighting(lighting(3, 0));
    ASSERT_TRUE(light_.start());
    light_.wake();
    EXPECT_EQ(light_.frames(), 0u);
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled) << "stops from the link-closed wait";

    channel_.set_preview_pause(1);
    channel_.set_link_open(1);
    ASSERT_TRUE(light_.start());
    light_.wake();
    EXPECT_EQ(light_.frames(), 0u);
    channel_.set_preview_pause(0);
    light_.wake();
    ASSERT_TRUE(wait_shown(1));
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled);
}

TEST_F(LightThread, AHiddenPreviewComputesNothingUntilShownAndStillStops) {
    light_.set_led_count(1);
    light_.set_lighting(lighting(2, 4));  // breathing at its fastest pace
    light_.set_hidden(true);
    ASSERT_TRUE(light_.start());
    light_.wake();
    EXPECT_EQ(light_.frames(), 0u);
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled) << "stops from the hidden wait";

    ASSERT_TRUE(light_.start());
    light_.set_hidden(false);
    ASSERT_TRUE(wait_shown(1));
    light_.set_hidden(true);
    EXPECT_TRUE(light_.hidden());
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled);
}

TEST_F(LightThread, AReactiveTriggerLightsAndFadesOut) {
    light_.set_led_count(3);
    light_.set_lighting(lighting(9, 0, {255, 255, 255}));
    ASSERT_TRUE(light_.start());
    ASSERT_TRUE(wait_shown(1));
    EXPECT_EQ(last_shown().brightness, 0) << "nothing lit before a trigger";
    light_.trigger_reactive();
    ASSERT_TRUE(shown_.wait([](const auto& f) { return f.back().brightness > 0; }));
    ASSERT_TRUE(shown_.wait([](const auto& f) { return f.back().brightness == 0; }))
        << "the press fades out";
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled);
}

TEST_F(LightThread, TheFrameCanBeReadWhileTheThreadWritesIt) {
    light_.set_led_count(16);
    light_.set_lighting(lighting(1, 4));  // colour wheel, every tick
    ASSERT_TRUE(light_.start());
    for (int i = 0; i < 2000; ++i) {
        const LedFrame f = light_.frame();
        ASSERT_EQ(f.size(), 16u);
        for (size_t k = 1; k < f.size(); ++k)
            ASSERT_EQ(f[k], f[0]) << "a copy is one whole frame";
    }
    EXPECT_EQ(light_.stop(), StopOutcome::Signalled);
}

}  // namespace
}  // namespace velqa::model
