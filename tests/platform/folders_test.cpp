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

}  // namespace
}  // namespace velqa::platform
