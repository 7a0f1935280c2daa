// The profile switcher's decision on a made-up clock, without a window: which profile each kind
// gets for the application in front, and when.
#include "app/switch_decision.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace velqa::app {
namespace {

using std::chrono::milliseconds;
using Focus = SwitchDecision::Focus;
using Settle = SwitchDecision::Settle;
using Cause = SwitchReason::Cause;

class SwitchDecisionTest : public ::testing::Test {
  protected:
    using TimePointFor = SwitchDecision::TimePoint;
    void SetUp() override {
        std::filesystem::create_directories(mouse_);
        std::filesystem::create_directories(keyboard_);
        ASSERT_TRUE(mice_.bind("m-fps", "cs2").ok());
        ASSERT_TRUE(mice_.set_default("m-desk").ok());
        ASSERT_TRUE(keys_.bind("k-fps", "CS2").ok());  // letter case is not the application's
    }
    TimePointFor at(int ms) const { return t0_ + milliseconds(ms); }
    Settle settle_free() {
        return decision_.settle(false, false, [] { return false; });
    }

    test::TempDir dir_;
    std::filesystem::path mouse_ = dir_ / "mouse";
    std::filesystem::path keyboard_ = dir_ / "keyboard";
    profile::AppBindings mice_{mouse_};
    profile::AppBindings keys_{keyboard_};
    std::vector<profile::ProfileEntry> mouse_list_{{"Desktop", "m-desk"}, {"FPS", "m-fps"}};
    std::vector<profile::ProfileEntry> key_list_{{"Typing", "k-type"}, {"FPS keys", "k-fps"}};
    SwitchDecision decision_{{"velqa"}};
    TimePointFor t0_{milliseconds(100000)};
};

TEST_F(SwitchDecisionTest, TwoKindsFollowTheirOwnBindingsAndDefaults) {
    EXPECT_EQ(settle_free(), Settle::Nothing) << "no application had the focus yet";
    ASSERT_EQ(decision_.focus("cs2", at(0)), Focus::Settle);
    ASSERT_EQ(settle_free(), Settle::Switch);
    auto mouse = decision_.choose(mouse_, mice_, mouse_list_, "m-desk");
    auto keyboard = decision_.choose(keyboard_, keys_, key_list_, "k-fps");
    ASSERT_TRUE(mouse && keyboard);
    EXPECT_EQ(mouse->index, 1);
    EXPECT_TRUE(mouse->change);
    EXPECT_EQ(mouse->reason, (SwitchReason{Cause::Bound, "FPS", "cs2"}));
    EXPECT_FALSE(keyboard->change) << "the page shows it already";
    EXPECT_EQ(decision_.reason(keyboard_, true, "k-fps").cause, Cause::Bound);
    decision_.applied(at(0), at(30));

    // An unbound application: the mouse's default; the keyboard has none and stays.
    ASSERT_EQ(decision_.focus("editor", at(1000)), Focus::Settle);
    ASSERT_EQ(settle_free(), Settle::Switch);
    mouse = decision_.choose(mouse_, mice_, mouse_list_, "m-fps");
    ASSERT_TRUE(mouse);
    EXPECT_EQ(mouse->reason, (SwitchReason{Cause::Default, "Desktop", ""}));
    EXPECT_FALSE(decision_.choose(keyboard_, keys_, key_list_, "k-fps"));
    // The reason lasts while the page shows the chosen profile and switching is on.
    EXPECT_EQ(decision_.reason(mouse_, true, "m-desk").cause, Cause::Default);
    EXPECT_EQ(decision_.reason(mouse_, true, "m-fps").cause, Cause::ByHand);
    EXPECT_EQ(decision_.reason(mouse_, false, "m-desk").cause, Cause::ByHand);

    // Switching off: nothing for any kind.
    ASSERT_TRUE(mice_.set_auto_switch(false).ok());
    EXPECT_FALSE(decision_.choose(mouse_, mice_, mouse_list_, "m-fps"));
}

TEST_F(SwitchDecisionTest, ABurstSettlesWhereTheFocusRestsAndOurWindowChangesNothing) {
    ASSERT_EQ(decision_.focus("cs2", at(0)), Focus::Settle);
    decision_.applied(at(0), at(20));
    EXPECT_EQ(decision_.focus("", at(50)), Focus::Ignored);
    EXPECT_EQ(decision_.focus("VELQA", at(60)), Focus::Ignored);
    EXPECT_EQ(decision_.app(), "cs2") << "our window is never the application in front";
    EXPECT_EQ(decision_.focus("editor", at(100)), Focus::Wait);
    EXPECT_EQ(decision_.focus("cs2", at(200)), Focus::Wait);
    EXPECT_EQ(decision_.due(), at(500));
    EXPECT_FALSE(decision_.take_due(at(400)));
    ASSERT_TRUE(decision_.take_due(at(500)));
    ASSERT_EQ(settle_free(), Settle::Switch);
    EXPECT_EQ(decision_.choose(mouse_, mice_, mouse_list_, "")->uuid, "m-fps");
}

// A binding to a deleted profile falls back to the default; a busy user defers the switch until
// free; a read of the bindings under way holds it until the read is in.
TEST_F(SwitchDecisionTest, DeletedBindingBusyThenFreeAndAReadUnderWay) {
    ASSERT_EQ(decision_.focus("cs2", at(0)), Focus::Settle);
    EXPECT_EQ(decision_.settle(true, false, [] { return false; }), Settle::Deferred);
    EXPECT_EQ(decision_.busy_reason(), "a macro is being recorded");
    EXPECT_FALSE(decision_.free_again(false, true));
    EXPECT_TRUE(decision_.free_again(false, false));
    bool asked = false;
    EXPECT_EQ(decision_.settle(false, true, [&] { return asked = true; }), Settle::Deferred);
    EXPECT_FALSE(asked) << "no read is started for a switch that waits";
    EXPECT_EQ(decision_.settle(false, false, [] { return true; }), Settle::Reading);
    EXPECT_TRUE(decision_.deferred());
    ASSERT_EQ(settle_free(), Settle::Switch);
    EXPECT_FALSE(decision_.deferred());

    const std::vector<profile::ProfileEntry> without_fps{{"Desktop", "m-desk"}};
    const auto mouse = decision_.choose(mouse_, mice_, without_fps, "m-desk");
    ASSERT_TRUE(mouse);
    EXPECT_EQ(mouse->reason.cause, Cause::Default);
    EXPECT_FALSE(mouse->change);
}

}  // namespace
}  // namespace velqa::app
