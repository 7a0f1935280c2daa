#include "platform/hid/node_watcher.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::platform::hid {
namespace {

using namespace std::chrono_literals;
using Wait = NodeWatcher::Wait;

// Long enough never to end a wait in which something is due; short enough for the waits that
// are meant to run out.
constexpr auto kLong =
    std::chrono::duration_cast<std::chrono::milliseconds>(velqa::test::GenerousDeadline);
constexpr auto kShort = 20ms;

void touch(const std::filesystem::path& file) {
    std::ofstream(file) << "x";
}

TEST(NodeWatcher, CreationRemovalAndPermissionsAreChanges) {
    velqa::test::TempDir dir;
    NodeWatcher watcher(dir.path());
    ASSERT_TRUE(watcher.watching()) << watcher.error();
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut);

    touch(dir / "hidraw7");
    EXPECT_EQ(watcher.wait(kLong), Wait::Changed);
    ASSERT_EQ(::chmod((dir / "hidraw7").c_str(), 0600), 0);
    EXPECT_EQ(watcher.wait(kLong), Wait::Changed);
    std::filesystem::remove(dir / "hidraw7");
    EXPECT_EQ(watcher.wait(kLong), Wait::Changed);
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut);
}

TEST(NodeWatcher, ABurstOfChangesIsOneChange) {
    velqa::test::TempDir dir;
    NodeWatcher watcher(dir.path());
    for (int i = 0; i < 300; ++i)
        touch(dir / ("node" + std::to_string(i)));
    EXPECT_EQ(watcher.wait(kLong), Wait::Changed);
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut);
}

TEST(NodeWatcher, CancelEndsTheCurrentOrTheNextWait) {
    velqa::test::TempDir dir;
    NodeWatcher watcher(dir.path());
    watcher.cancel();
    watcher.cancel();
    EXPECT_EQ(watcher.wait(kLong), Wait::Cancelled);
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut) << "two cancels before a wait are one";

    std::thread canceller([&] { watcher.cancel(); });
    EXPECT_EQ(watcher.wait(kLong), Wait::Cancelled);
    canceller.join();
}

TEST(NodeWatcher, AFolderThatCannotBeWatchedGivesTimeOutsUntilItExists) {
    velqa::test::TempDir dir;
    const auto missing = dir / "nodes";
    NodeWatcher watcher(missing);
    EXPECT_FALSE(watcher.watching());
    EXPECT_FALSE(watcher.error().empty());
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut);
    watcher.cancel();
    EXPECT_EQ(watcher.wait(kLong), Wait::Cancelled) << "cancel works without a watch";

    // Created later (a simulator started after the program): the next wait watches it.
    std::filesystem::create_directory(missing);
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut);
    EXPECT_TRUE(watcher.watching());
    touch(missing / "cable-if1.sock");
    EXPECT_EQ(watcher.wait(kLong), Wait::Changed);

    // Removed again: reported as a change, then time-outs only.
    std::filesystem::remove_all(missing);
    EXPECT_EQ(watcher.wait(kLong), Wait::Changed);
    EXPECT_EQ(watcher.wait(kShort), Wait::TimedOut);
    EXPECT_FALSE(watcher.watching());

    NodeWatcher none{std::filesystem::path{}};
    EXPECT_FALSE(none.watching());
    EXPECT_EQ(none.wait(kShort), Wait::TimedOut);
}

}  // namespace
}  // namespace velqa::platform::hid
