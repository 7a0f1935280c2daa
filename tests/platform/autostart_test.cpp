// The session's autostart entry: written, seen, switched off by the user, removed.
#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

namespace velqa::platform {
namespace {

namespace fs = std::filesystem;

TEST(Autostart, EntryIsWrittenSeenAndRemoved) {
    test::TempDir dir;
    const fs::path folder = dir / "config" / "autostart";
    EXPECT_FALSE(autostart_enabled(folder));
    EXPECT_TRUE(set_autostart(folder, false)) << "nothing to remove is no failure";

    std::string error;
    ASSERT_TRUE(set_autostart(folder, true, &error)) << error;
    EXPECT_TRUE(autostart_enabled(folder));
    std::string text;
    ASSERT_TRUE(read_whole_file(folder / AutostartFileName, text));
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=velqa --hidden\n"), std::string::npos);
    EXPECT_NE(text.find("\nTryExec=velqa\n"), std::string::npos) << "skipped once uninstalled";
    EXPECT_EQ(fs::status(folder / AutostartFileName).permissions() & fs::perms::owner_exec,
              fs::perms::none);

    ASSERT_TRUE(set_autostart(folder, false, &error)) << error;
    EXPECT_FALSE(fs::exists(folder / AutostartFileName));
    EXPECT_FALSE(autostart_enabled(folder));
}

TEST(Autostart, AnEntryTheUserSwitchedOffDoesNotCountAndFailuresAreReported) {
    test::TempDir dir;
    const fs::path folder = dir / "autostart";
    fs::create_directories(folder);
    ASSERT_TRUE(
        write_file_atomically(folder / AutostartFileName, autostart_entry() + "Hidden=true\r\n"));
    EXPECT_FALSE(autostart_enabled(folder));
    ASSERT_TRUE(write_file_atomically(
        folder / AutostartFileName,
        "[Desktop Entry]\nExec=velqa --hidden\nX-GNOME-Autostart-enabled=false\n"));
    EXPECT_FALSE(autostart_enabled(folder));

    // A file where the folder should be: nothing is written, the reason is given.
    ASSERT_TRUE(write_file_atomically(dir / "blocked", "x"));
    std::string error;
    EXPECT_FALSE(set_autostart(dir / "blocked" / "autostart", true, &error));
    EXPECT_FALSE(error.empty());
}

TEST(Autostart, FolderFollowsXdgConfigHome) {
    const char* saved_config = std::getenv("XDG_CONFIG_HOME");
    const std::string config = saved_config != nullptr ? saved_config : "";
    const char* saved_home = std::getenv("HOME");
    const std::string home = saved_home != nullptr ? saved_home : "";

    setenv("HOME", "/home/u", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(autostart_folder(), fs::path("/cfg/autostart"));
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(autostart_folder(), fs::path("/home/u/.config/autostart"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(autostart_folder(), fs::path("/home/u/.config/autostart"));

    if (saved_config != nullptr)
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    if (saved_home != nullptr)
        setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace velqa::platform
