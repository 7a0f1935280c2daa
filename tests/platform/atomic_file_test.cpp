#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace velqa::platform {
namespace {

TEST(AtomicFile, WritesReplacesAndLeavesNoTemporaryFiles) {
    test::TempDir dir;
    auto file = dir / "profile.json";
    ASSERT_TRUE(write_file_atomically(file, "first"));
    ASSERT_TRUE(write_file_atomically(file, "second, longer"));
    std::string content;
    ASSERT_TRUE(read_whole_file(file, content));
    EXPECT_EQ(content, "second, longer");
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(AtomicFile, FailureKeepsOldContentAndSaysWhy) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    test::TempDir dir;
    auto file = dir / "profile.json";
    ASSERT_TRUE(write_file_atomically(file, "old"));
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    std::string error;
    EXPECT_FALSE(write_file_atomically(file, "new", &error));
    EXPECT_FALSE(error.empty());
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    std::string content;
    ASSERT_TRUE(read_whole_file(file, content));
    EXPECT_EQ(content, "old");
}

TEST(AtomicFile, MissingFolderFailsCleanly) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(write_file_atomically(dir / "no" / "such" / "file", "x", &error));
    EXPECT_NE(error.find("temporary"), std::string::npos);
    std::string content;
    EXPECT_FALSE(read_whole_file(dir / "missing", content));
}

}  // namespace
}  // namespace velqa::platform
