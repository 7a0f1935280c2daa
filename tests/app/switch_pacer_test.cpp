// When focus changes are applied, on a made-up clock: at once after a quiet moment; a burst, or
// changes seen while a profile was being applied, wait until the focus rests and the last wins.
#include "app/switch_pacer.h"

#include <gtest/gtest.h>

namespace velqa::app {
namespace {

using std::chrono::milliseconds;

TEST(SwitchPacer, AppliesAfterQuietAtOnceAndABurstWhenItRests) {
    SwitchPacer pacer;
    const SwitchPacer::TimePoint t0{milliseconds(100000)};
    auto at = [&](int ms) { return t0 + milliseconds(ms); };

    // The first change ever, and one after a quiet moment: at once.
    EXPECT_TRUE(pacer.change(at(0)));
    pacer.applied(at(0), at(40));
    EXPECT_FALSE(pacer.due());
    EXPECT_TRUE(pacer.change(at(400)));
    pacer.applied(at(400), at(440));

    // A burst: each change within 300 ms of the one before waits, due 300 ms after the last.
    EXPECT_FALSE(pacer.change(at(500)));
    EXPECT_EQ(pacer.due(), at(800));
    EXPECT_FALSE(pacer.change(at(650)));
    EXPECT_EQ(pacer.due(), at(950));
    EXPECT_FALSE(pacer.take_due(at(800))) << "not yet: the focus moved again at 650";
    EXPECT_TRUE(pacer.waiting());
    EXPECT_TRUE(pacer.take_due(at(950)));
    EXPECT_FALSE(pacer.waiting());
    EXPECT_FALSE(pacer.take_due(at(960))) << "taken once";
    pacer.applied(at(950), at(990));

    // Seen during a long apply (handed over after it): waits, and is not due before the apply
    // ended even when its quiet time has passed by then.
    EXPECT_TRUE(pacer.change(at(2000)));
    pacer.applied(at(2000), at(2900));
    EXPECT_FALSE(pacer.change(at(2500)));
    EXPECT_EQ(pacer.due(), at(2900));
    EXPECT_TRUE(pacer.take_due(at(2900)));

    // Handed over out of order: the later time counts for the quiet moment.
    EXPECT_TRUE(pacer.change(at(5000)));
    EXPECT_FALSE(pacer.change(at(5200)));
    EXPECT_FALSE(pacer.change(at(5100)));
    EXPECT_EQ(pacer.due(), at(5500));
    EXPECT_TRUE(pacer.take_due(at(5500)));
    // A change that comes while one waits joins it, however long ago the last one was.
    EXPECT_TRUE(pacer.change(at(9000)));
    EXPECT_FALSE(pacer.change(at(9100)));
    EXPECT_FALSE(pacer.change(at(9900))) << "the one at 9100 still waits (timer not run)";
    EXPECT_EQ(pacer.due(), at(10200));
}

}  // namespace
}  // namespace velqa::app
