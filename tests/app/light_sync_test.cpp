#include "app/light_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::app {
namespace {

constexpr int kBreathing = 0, kSteady = 1, kFlashing = 2, kWheel = 3, kOff = 4;

std::uint8_t brightness(std::uint32_t colour) {
    return static_cast<std::uint8_t>(colour >> 24);
}
std::uint32_t rgb_of(std::uint32_t colour) {
    return colour & 0xFFFFFF;
}

TEST(LightSyncThreshold, TableEdges) {
    for (int effect = 0; effect < SyncEffects; ++effect) {
        EXPECT_EQ(light_sync_threshold(effect, 0), 8);
        EXPECT_EQ(light_sync_threshold(effect, 1), 6);
        EXPECT_EQ(light_sync_threshold(effect, 4), 1);
        EXPECT_EQ(light_sync_threshold(effect, 5), 0);
        EXPECT_EQ(light_sync_threshold(effect, 14), 0);
    }
    EXPECT_EQ(light_sync_threshold(-1, 0), 0);
    EXPECT_EQ(light_sync_threshold(5, 0), 0);
    EXPECT_EQ(light_sync_threshold(0, 15), 0);
    EXPECT_EQ(light_sync_threshold(0, -1), 0);
}

TEST(LightSyncColour, RedInTheLowByte) {
    EXPECT_EQ(pack_sync_colour(0x11, 0x22, 0x33, 0x44), 0x44332211u);
}

TEST(SyncEffectSteps, SteadyShowsTheChosenColourAndOffShowsNothing) {
    SyncEffectSteps steps;
    steps.set_effect(kSteady, 3, 0x102030, false);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(steps.step(), pack_sync_colour(0x10, 0x20, 0x30, 255));
    steps.set_effect(kOff, 3, 0x102030, true);
    EXPECT_EQ(steps.step(), 0u);
    steps.set_effect(99, 99, 0x102030, false);
    EXPECT_EQ(steps.effect(), kOff) << "an unknown effect is off";
    EXPECT_EQ(steps.speed(), SyncSpeeds - 1);
    EXPECT_EQ(steps.step(), 0u);
}

TEST(SyncEffectSteps, BreathingRisesAndFallsSmoothlyInTheChosenColour) {
    SyncEffectSteps steps;
    steps.set_effect(kBreathing, 0, 0x00FF00, false);
    std::vector<int> curve;
    for (int i = 0; i < 256; ++i) {
        const auto c = steps.step();
        EXPECT_EQ(rgb_of(c), pack_sync_colour(0, 0xFF, 0, 0));
        curve.push_back(brightness(c));
    }
    EXPECT_EQ(curve.front(), 0);
    EXPECT_EQ(*std::max_element(curve.begin(), curve.end()), 255);
    for (std::size_t i = 1; i < curve.size(); ++i)
        EXPECT_LE(std::abs(curve[i] - curve[i - 1]), 8) << "no jumps at step " << i;
    const auto period = std::find(curve.begin() + 1, curve.end(), 0) - curve.begin();
    ASSERT_LE(period, 128);
    EXPECT_TRUE(std::equal(curve.begin(), curve.begin() + period, curve.begin() + period))
        << "periodic";

    steps.set_effect(kBreathing, 0, 0x00FF00, true);
    std::set<std::uint32_t> colours;
    for (int i = 0; i < 64; ++i)
        colours.insert(rgb_of(steps.step()));
    EXPECT_GT(colours.size(), 32u) << "the colour moves along the wheel";
}

TEST(SyncEffectSteps, TheWheelTurnsOnceIn192Steps) {
    SyncEffectSteps steps;
    steps.set_effect(kWheel, 2, 0, false);
    std::vector<std::uint32_t> turn;
    for (int i = 0; i < 192; ++i) {
        turn.push_back(steps.step());
        EXPECT_EQ(brightness(turn.back()), 255);
    }
    EXPECT_EQ(rgb_of(turn[0]), 0x0000FFu) << "starts at red";
    EXPECT_EQ(std::set<std::uint32_t>(turn.begin(), turn.end()).size(), 192u);
    for (const auto c : turn)
        EXPECT_EQ(steps.step(), c) << "the next turn repeats it";
}

TEST(SyncEffectSteps, FlashingTogglesEveryHundredStepsAndMovesTheWheel) {
    SyncEffectSteps steps;
    steps.set_effect(kFlashing, 0, 0x123456, false);
    const auto on = pack_sync_colour(0x12, 0x34, 0x56, 255);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(steps.step(), on) << i;
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(steps.step(), 0u) << i;
    EXPECT_EQ(steps.step(), on);

    // With the wheel each toggle moves it 14 places: the second flash shows place 28.
    SyncEffectSteps wheel;
    wheel.set_effect(kWheel, 0, 0, false);
    std::vector<std::uint32_t> places;
    for (int i = 0; i < 192; ++i)
        places.push_back(wheel.step());
    SyncEffectSteps flash;
    flash.set_effect(kFlashing, 0, 0x123456, true);
    EXPECT_EQ(flash.step(), places[0]);
    for (int i = 1; i < 200; ++i)
        flash.step();
    EXPECT_EQ(flash.step(), places[28]);
}

// ---- The thread ----

std::shared_ptr<LightSyncTarget> target(bool linked, bool sync) {
    auto t = std::make_shared<LightSyncTarget>();
    t->linked = linked;
    t->sync = sync;
    return t;
}

TEST(LightSyncThread, IdlesWithoutALinkedSyncTargetAndStepsWhileThereIsOne) {
    test::DebugLines debug;
    LightSyncThread thread;
    auto mouse = target(true, false);
    auto unlinked = target(false, true);  // its box is on, but the device is gone
    thread.add_target(mouse);
    thread.add_target(unlinked);
    thread.set_effect(kSteady, 14, 0xABCDEF, false);
    ASSERT_TRUE(thread.start());

    // Each changed() makes the thread look again; it finds nothing to do and waits.
    ASSERT_TRUE(test::eventually([&] { return thread.idle_waits() >= 1; }));
    thread.changed();
    ASSERT_TRUE(test::eventually([&] { return thread.idle_waits() >= 2; }));
    EXPECT_FALSE(thread.active());
    EXPECT_EQ(thread.steps(), 0u);

    mouse->sync = true;
    thread.changed();
    EXPECT_TRUE(thread.active());
    ASSERT_TRUE(test::eventually([&] { return unlinked->pushes.load() >= 3; }));
    EXPECT_EQ(mouse->colour.load(), pack_sync_colour(0xAB, 0xCD, 0xEF, 255));
    EXPECT_EQ(unlinked->colour.load(), mouse->colour.load()) << "every page gets the colour";

    // A page that is gone is skipped.
    auto gone = target(true, true);
    thread.add_target(gone);
    gone.reset();
    const auto pushed = mouse->pushes.load();
    ASSERT_TRUE(test::eventually([&] { return mouse->pushes.load() > pushed + 2; }));

    mouse->sync = false;
    const auto idle = thread.idle_waits();
    thread.changed();
    ASSERT_TRUE(test::eventually([&] { return thread.idle_waits() > idle; }));
    const auto steps = thread.steps();
    thread.changed();
    ASSERT_TRUE(test::eventually([&] { return thread.idle_waits() > idle + 1; }));
    EXPECT_EQ(thread.steps(), steps);

    // Idle means a wait without a time-out: stop ends it at once.
    EXPECT_EQ(thread.stop(), platform::StopOutcome::Signalled);
    EXPECT_EQ(debug.count("同步灯光线程设定退出"), 1u);
}

TEST(LightSyncThread, StopEndsAnActiveThreadWithinOneWait) {
    LightSyncThread thread;
    auto a = target(true, true);
    thread.add_target(a);
    thread.set_effect(kBreathing, 0, 0xFF0000, false);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(test::eventually([&] { return thread.steps() >= 2; }));
    thread.request_stop();
    EXPECT_EQ(thread.stop(), platform::StopOutcome::Signalled);
    EXPECT_FALSE(thread.running());
}

// The stored sync choice is a file anyone may edit: only a whole, in-range choice is taken.
TEST(SyncChoiceFile, RoundTripsAndRefusesWhatIsNoChoice) {
    test::TempDir dir;
    const auto file = dir.path() / "LightSync.json";
    EXPECT_FALSE(read_sync_choice(file));
    const SyncChoice chosen{kFlashing, 3, 0x123456, true};
    ASSERT_TRUE(write_sync_choice(file, chosen));
    EXPECT_EQ(read_sync_choice(file), chosen);
    for (const char* text :
         {"{ not json", "[]", R"({"Effect": 5, "Speed": 0, "Color": 0, "Wheel": false})",
          R"({"Effect": 1, "Speed": -1, "Color": 0, "Wheel": false})",
          R"({"Effect": 1, "Speed": 0, "Color": 16777216, "Wheel": false})",
          R"({"Effect": "1", "Speed": 0, "Color": 0, "Wheel": false})",
          R"({"Effect": 1, "Speed": 0, "Color": 0})"}) {
        std::ofstream(file, std::ios::trunc) << text;
        EXPECT_FALSE(read_sync_choice(file)) << text;
    }
    // The mouse's static effect is the steady sync effect in its colour; its cycling breathing
    // moves along the wheel.
    EXPECT_EQ(sync_choice_for_mouse(3, 2, 0xABCDEF, true),
              (SyncChoice{kSteady, 2, 0xABCDEF, false}));
    EXPECT_EQ(sync_choice_for_mouse(7, 9, 0, false), (SyncChoice{kBreathing, 4, 0, true}));
    EXPECT_EQ(sync_choice_for_mouse(10, 0, 0x10, false).effect, kOff);
}

}  // namespace
}  // namespace velqa::app
