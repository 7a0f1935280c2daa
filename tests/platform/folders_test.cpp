#include "platform/folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "platform/autostart.h"
#include "support/temp_dir.h"

namespace velqa::platform {
namespace {

TEST(Folders, UserDataFolderFollowsXdgAndIsCreatedPerKind) {
    test::TempDir dir;
    test::ScopedEnv xdg("XDG_DATA_HOME", dir.path().string());
    auto mouse = user_data_folder("mouse");
    EXPECT_EQ(mouse, dir.path() / "ZARN_VELQA_R260" / "mouse");
    EXPECT_TRUE(std::filesystem::is_directory(mouse));
}

TEST(Folders, UserDataFolderFallsBackToHome) {
    test::TempDir dir;
    test::ScopedEnv xdg("XDG_DATA_HOME", "");
    test::ScopedEnv home("HOME", dir.path().string());
    EXPECT_EQ(user_data_folder(), dir.path() / ".local" / "share" / "ZARN_VELQA_R260");
    EXPECT_TRUE(std::filesystem::is_directory(user_data_folder()));
}

// A program started without HOME used to keep its profiles in the shared temporary folder.
TEST(Folders, WithoutHomeTheUserDatabaseNamesTheHome) {
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] == '\0')
        GTEST_SKIP() << "this user has no entry in the user database";
    const std::filesystem::path home = entry->pw_dir;
    test::TempDir dir;
    test::ScopedEnv tmp("TMPDIR", dir.path().string());
    test::ScopedEnv no_home("HOME", "");
    test::ScopedEnv no_data("XDG_DATA_HOME", "");
    test::ScopedEnv no_cache("XDG_CACHE_HOME", "");
    test::ScopedEnv no_config("XDG_CONFIG_HOME", "");
    EXPECT_EQ(home_folder(), home);
    EXPECT_EQ(user_data_location(), home / ".local" / "share" / "ZARN_VELQA_R260");
    EXPECT_EQ(user_data_refusal(), "");
    EXPECT_EQ(download_folder(), home / ".cache" / "ZARN_VELQA_R260" / "UpdateData");
    EXPECT_EQ(config_home(), home / ".config");
    EXPECT_EQ(autostart_folder(), home / ".config" / "autostart");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Folders, TheDownloadFolderIsTheUsersCacheNotTheSharedTemporaryFolder) {
    test::TempDir dir;
    test::ScopedEnv tmp("TMPDIR", dir.path().string());
    test::ScopedEnv home("HOME", (dir / "home").string());
    EXPECT_EQ(temp_folder(), dir.path());
    {
        test::ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").string());
        EXPECT_EQ(download_folder(), dir / "cache" / "ZARN_VELQA_R260" / "UpdateData");
    }
    test::ScopedEnv relative("XDG_CACHE_HOME", "cache");
    EXPECT_EQ(download_folder(), dir / "home" / ".cache" / "ZARN_VELQA_R260" / "UpdateData");
}

TEST(Folders, APrivateFolderIsMadeOursAndAnotherUsersOrAnOpenOneIsRefused) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    const fs::path folder = dir / "cache" / "ZARN_VELQA_R260" / "UpdateData";
    std::string why;
    ASSERT_TRUE(make_private_folder(folder, &why)) << why;
    for (const fs::path& made : {folder, folder.parent_path(), folder.parent_path().parent_path()})
        EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_all) << made;
    EXPECT_TRUE(make_private_folder(folder, &why)) << "an existing one is fine";

    // Open to all: refused and left as it is.
    fs::permissions(folder, fs::perms::all);
    EXPECT_FALSE(make_private_folder(folder, &why));
    EXPECT_NE(why.find("mode 0777"), std::string::npos) << why;
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::all);
    fs::permissions(folder, fs::perms::owner_all);

    // A link in place of the folder, even to one of ours.
    const fs::path linked = dir / "linked";
    fs::create_directory_symlink(folder, linked);
    EXPECT_FALSE(make_private_folder(linked, &why));
    EXPECT_NE(why.find("link"), std::string::npos) << why;

    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's folder needs root to make";
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(make_private_folder(folder, &why));
    EXPECT_NE(why.find("another user (uid 65534)"), std::string::npos) << why;
    ASSERT_EQ(::chown(folder.c_str(), ::geteuid(), ::getegid()), 0);
    ASSERT_EQ(::chown(folder.parent_path().c_str(), 65534, 65534), 0);
    EXPECT_FALSE(make_private_folder(folder, &why)) << "whoever owns the parent could swap it";
}

TEST(Folders, ResourcesFolderHonoursOverrideElseBuildTree) {
    {
        test::ScopedEnv res("VELQA_RESOURCE_DIR", "/opt/somewhere");
        EXPECT_EQ(resources_folder(), "/opt/somewhere");
    }
    test::ScopedEnv res("VELQA_RESOURCE_DIR", "");
    // The test binaries live in the build tree's bin/, beside the linked resource folders.
    EXPECT_TRUE(std::filesystem::exists(resources_folder() / "DefaultData"));
}

// An executable in <root>/bin and the data folders that might be around it.
class ResourcesLookup : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(bin());
        // The machine's own install must not decide these cases.
        if (std::filesystem::exists(VELQA_INSTALL_DATADIR))
            GTEST_SKIP() << VELQA_INSTALL_DATADIR << " exists here";
    }
    std::filesystem::path bin() const { return dir_ / "root/bin"; }
    std::filesystem::path make(const std::string& relative) const {
        std::filesystem::create_directories(dir_ / relative);
        return dir_ / relative;
    }

    test::TempDir dir_;
    test::ScopedEnv no_override_{"VELQA_RESOURCE_DIR", ""};
    test::ScopedEnv data_dirs_{"XDG_DATA_DIRS", (dir_ / "none").string()};
};

TEST_F(ResourcesLookup, BuildTreeBeatsInstalledTreeWhichBeatsDataDirs) {
    make("xdg/velqa");
    test::ScopedEnv dirs("XDG_DATA_DIRS", (dir_ / "xdg").string());
    const auto installed = make("root/share/velqa");
    EXPECT_EQ(resources_folder_for(bin()), installed);
    make("root/bin/skin");
    EXPECT_EQ(resources_folder_for(bin()), bin());
}

TEST_F(ResourcesLookup, DataDirsAreSearchedInOrderSkippingEmptyAndRelativeEntries) {
    const auto first = make("b/velqa");
    make("c/velqa");
    // "relative/velqa" exists from the working folder, and must still not be taken.
    make("relative/velqa");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    struct Back {
        std::filesystem::path to;
        ~Back() { std::filesystem::current_path(to); }
    } back{cwd};
    test::ScopedEnv dirs("XDG_DATA_DIRS", "relative::" + (dir_ / "a").string() + ":" +
                                              (dir_ / "b").string() + ":" + (dir_ / "c").string() +
                                              ":");
    EXPECT_EQ(resources_folder_for(bin()), first);
    EXPECT_EQ(resources_folder_for({}), first);
}

TEST_F(ResourcesLookup, NothingFoundNamesTheConfiguredFolder) {
    EXPECT_EQ(resources_folder_for(bin()), std::filesystem::path(VELQA_INSTALL_DATADIR));
    test::ScopedEnv res("VELQA_RESOURCE_DIR", "/opt/somewhere");
    EXPECT_EQ(resources_folder_for(bin()), "/opt/somewhere");
}

}  // namespace
}  // namespace velqa::platform
