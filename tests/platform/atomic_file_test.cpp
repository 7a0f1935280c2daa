#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/folder_lock.h"
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
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(AtomicFile, FailureKeepsOldContentAndSaysWhy) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores folder permissions";
    test::TempDir dir;
    auto file = dir / "profile.json";
    ASSERT_TRUE(write_file_atomically(file, "old"));
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
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

mode_t mode_of(const std::filesystem::path& file) {
    struct stat st {};
    EXPECT_EQ(::lstat(file.c_str(), &st), 0) << file;
    return st.st_mode & 07777;
}

// Replacing the link itself left the file it names stale, and the link gone.
TEST(AtomicFile, LinksAreWrittenThroughToTheFileTheyName) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directory(dir / "synced");
    ASSERT_TRUE(write_file_atomically(dir / "synced" / "real.json", "old"));
    fs::create_symlink("synced/real.json", dir / "relative.json");
    fs::create_symlink(dir / "relative.json", dir / "chained.json");
    for (const char* link : {"relative.json", "chained.json"}) {
        ASSERT_TRUE(write_file_atomically(dir / link, link));
        EXPECT_TRUE(fs::is_symlink(dir / link));
        std::string content;
        ASSERT_TRUE(read_whole_file(dir / "synced" / "real.json", content));
        EXPECT_EQ(content, link);
    }
    // A link to a file not there yet creates that file; a loop fails cleanly.
    fs::create_symlink("synced/new.json", dir / "dangling.json");
    ASSERT_TRUE(write_file_atomically(dir / "dangling.json", "created"));
    EXPECT_TRUE(fs::is_regular_file(dir / "synced" / "new.json"));
    fs::create_symlink("loop.json", dir / "loop.json");
    std::string error;
    EXPECT_FALSE(write_file_atomically(dir / "loop.json", "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_symlink(dir / "loop.json"));
}

TEST(AtomicFile, NewFilesHonourTheUmaskAndExistingOnesKeepTheirMode) {
    test::TempDir dir;
    const mode_t old_mask = ::umask(027);
    EXPECT_TRUE(write_file_atomically(dir / "new.json", "a"));
    ::umask(0);
    EXPECT_TRUE(write_file_atomically(dir / "open.json", "a"));
    ::umask(old_mask);
    EXPECT_EQ(mode_of(dir / "new.json"), 0640u);
    EXPECT_EQ(mode_of(dir / "open.json"), 0666u);

    ASSERT_EQ(::chmod((dir / "new.json").c_str(), 0600), 0);
    EXPECT_TRUE(write_file_atomically(dir / "new.json", "b"));
    EXPECT_EQ(mode_of(dir / "new.json"), 0600u);
}

// A damaged file kept aside: a copy of a private file must not be readable by others.
TEST(AtomicFile, AKeptCopyHasItsSourcesPermissions) {
    test::TempDir dir;
    const mode_t old_mask = ::umask(022);
    ASSERT_TRUE(write_file_atomically(dir / "list", "{ damaged"));
    ASSERT_EQ(::chmod((dir / "list").c_str(), 0600), 0);
    ASSERT_TRUE(write_file_atomically(dir / "list.unreadable", "older"));  // 0644
    EXPECT_TRUE(keep_copy(dir / "list", dir / "list.unreadable"));
    ::umask(old_mask);
    EXPECT_EQ(mode_of(dir / "list.unreadable"), 0600u);
    std::string kept;
    ASSERT_TRUE(read_whole_file(dir / "list.unreadable", kept));
    EXPECT_EQ(kept, "{ damaged");

    ASSERT_TRUE(write_file_atomically(dir / "empty", ""));
    EXPECT_TRUE(keep_copy(dir / "empty", dir / "empty.unreadable"));
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.unreadable"));
    EXPECT_FALSE(keep_copy(dir / "missing", dir / "missing.unreadable"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(AtomicFile, ReadsOnlyRegularFiles) {
    test::TempDir dir;
    std::string content = "untouched";
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(read_whole_file(dir / "fifo", content, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
    EXPECT_FALSE(read_whole_file(dir.path(), content));
    EXPECT_FALSE(read_whole_file("/dev/zero", content));
    EXPECT_EQ(content, "untouched");
    ASSERT_TRUE(write_file_atomically(dir / "empty", ""));
    EXPECT_TRUE(read_whole_file(dir / "empty", content));
    EXPECT_EQ(content, "");
}

// The lock of a kind's folder: a planted FIFO or link is refused at once, the holding thread
// may take it again, and anyone else waits for it.
TEST(FolderLock, RefusesPlantedFilesNestsOnItsThreadAndExcludesOthers) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    const fs::path lock_file = dir.path() / FolderLockName;
    ASSERT_EQ(::mkfifo(lock_file.c_str(), 0600), 0);
    EXPECT_FALSE(FolderLock(dir.path()).ok());
    fs::remove(lock_file);
    fs::create_symlink(dir.path() / "elsewhere", lock_file);
    EXPECT_FALSE(FolderLock(dir.path()).ok());
    EXPECT_FALSE(fs::exists(dir.path() / "elsewhere"));
    fs::remove(lock_file);

    {
        const FolderLock outer(dir.path());
        ASSERT_TRUE(outer.ok()) << outer.error();
        const FolderLock inner(dir.path());
        EXPECT_TRUE(inner.ok()) << inner.error();
        bool other_got_it = true;
        std::thread([&] {
            other_got_it = FolderLock(dir.path(), std::chrono::milliseconds(0)).ok();
        }).join();
        EXPECT_FALSE(other_got_it);
    }
    bool other_got_it = false;
    std::thread([&] { other_got_it = FolderLock(dir.path()).ok(); }).join();
    EXPECT_TRUE(other_got_it);
}

}  // namespace
}  // namespace velqa::platform
