#include "platform/folders.h"

#include <gtest/gtest.h>

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

TEST(Folders, TempAndDownloadFoldersFollowTmpdir) {
    test::TempDir dir;
    test::ScopedEnv tmp("TMPDIR", dir.path().string());
    EXPECT_EQ(temp_folder(), dir.path());
    EXPECT_EQ(download_folder(), dir.path() / "UpdateData");
    EXPECT_TRUE(std::filesystem::is_directory(download_folder()));
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
