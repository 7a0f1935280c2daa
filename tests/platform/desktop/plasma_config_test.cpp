// KDE's configuration files edited as KDE reads them, checked with KDE's own reader
// (kreadconfig5, from libkf5config-bin) on the edited file: the value KDE takes changes, what
// KDE holds immutable does not, a read-only file is not replaced, and every other line stays.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/atomic_file.h"
#include "platform/desktop/plasma_config.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace velqa::platform::desktop {
namespace {

namespace fs = std::filesystem;
using test::run_command;

class PlasmaConfigFile : public ::testing::Test {
  protected:
    void SetUp() override {
        // Only the file under test: no kdeglobals of the developer's own may fill in a key.
        const std::string env = "XDG_CONFIG_HOME='" + dir_.path().string() + "' XDG_CONFIG_DIRS='" +
                                dir_.path().string() + "' ";
        reader_ = env + "kreadconfig5 --file '" + file_.string() + "'";
        if (run_command(env + "kreadconfig5 --help >/dev/null 2>&1").exit_code != 0)
            GTEST_SKIP() << "kreadconfig5 cannot start (scripts/setup installs libkf5config-bin)";
    }
    void put(const std::string& text) { ASSERT_TRUE(write_file_atomically(file_, text)); }
    std::string text() const {
        std::string out;
        read_whole_file(file_, out);
        return out;
    }
    // The value KDE reads; "(none)" when it reads nothing.
    std::string kde(const std::string& group, const std::string& key) const {
        std::string out = run_command(reader_ + " --group '" + group + "' --key '" + key +
                                      "' --default '(none)' 2>/dev/null")
                              .out;
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    test::TempDir dir_;
    fs::path file_ = dir_.path() / "kdeglobals";
    std::string reader_;
};

TEST_F(PlasmaConfigFile, TheValueKdeReadsIsEditedAndEveryOtherLineKept) {
    const std::string before =
        "# kept by hand\n"
        "[KDE]\n"
        "DoubleClickInterval=300\n"
        "ShowIconsOnPushButtons=true\n"
        "\n"
        "[Icons]\n"
        "Theme[$e]=$HOME/icons\n"
        "\n"
        "[KDE][Extra]\n"
        "WheelScrollLines=9\n"
        "\n"
        "[KDE]\n"
        "DoubleClickInterval[$d]\n"
        "DoubleClickInterval = 500\r\n"
        "\n"
        "[Mouse]\n"
        "cursorTheme=breeze_cursors\n";
    put(before);
    // Our reader agrees with KDE's before the edit.
    EXPECT_EQ(kde("KDE", "DoubleClickInterval"), "500");
    EXPECT_EQ(ini_value(before, "KDE", "DoubleClickInterval"), "500");
    EXPECT_EQ(kde("KDE", "WheelScrollLines"), "(none)");
    EXPECT_FALSE(ini_value(before, "KDE", "WheelScrollLines"));
    const std::string theme = kde("Icons", "Theme");

    std::string error;
    ASSERT_TRUE(set_ini_values(file_, "KDE",
                               {{"DoubleClickInterval", "250"}, {"WheelScrollLines", "7"}}, &error))
        << error;
    EXPECT_EQ(kde("KDE", "DoubleClickInterval"), "250");
    EXPECT_EQ(kde("KDE", "WheelScrollLines"), "7");
    EXPECT_EQ(kde("KDE", "ShowIconsOnPushButtons"), "true");
    EXPECT_EQ(kde("Icons", "Theme"), theme);
    EXPECT_EQ(kde("Mouse", "cursorTheme"), "breeze_cursors");
    // The later group took the edit and the new key; every other byte is as it was.
    EXPECT_EQ(text(),
              "# kept by hand\n"
              "[KDE]\n"
              "DoubleClickInterval=300\n"
              "ShowIconsOnPushButtons=true\n"
              "\n"
              "[Icons]\n"
              "Theme[$e]=$HOME/icons\n"
              "\n"
              "[KDE][Extra]\n"
              "WheelScrollLines=9\n"
              "\n"
              "[KDE]\n"
              "DoubleClickInterval[$d]\n"
              "DoubleClickInterval = 250\r\n"
              "WheelScrollLines=7\n"
              "\n"
              "[Mouse]\n"
              "cursorTheme=breeze_cursors\n");

    // The key deleted last: its line becomes a value KDE reads.
    put("[KDE]\nDoubleClickInterval=300\nDoubleClickInterval[$d]\n");
    ASSERT_TRUE(set_ini_values(file_, "KDE", {{"DoubleClickInterval", "420"}}, &error)) << error;
    EXPECT_EQ(kde("KDE", "DoubleClickInterval"), "420");
}

TEST_F(PlasmaConfigFile, ImmutableValuesAndReadOnlyFilesAreRefusedWithTheReason) {
    std::string error;
    // A locked key: KDE keeps its value against the later line, and so do we; the other key
    // of the same edit is written.
    put("[KDE]\nDoubleClickInterval[$i]=300\n\n[KDE]\nDoubleClickInterval=700\n");
    EXPECT_EQ(kde("KDE", "DoubleClickInterval"), "300");
    EXPECT_EQ(ini_value(text(), "KDE", "DoubleClickInterval"), "300");
    EXPECT_FALSE(set_ini_values(
        file_, "KDE", {{"DoubleClickInterval", "250"}, {"WheelScrollLines", "7"}}, &error));
    EXPECT_NE(error.find("DoubleClickInterval in [KDE] is immutable"), std::string::npos) << error;
    EXPECT_EQ(kde("KDE", "DoubleClickInterval"), "300");
    EXPECT_EQ(kde("KDE", "WheelScrollLines"), "7");
    EXPECT_EQ(text(),
              "[KDE]\nDoubleClickInterval[$i]=300\n\n[KDE]\nDoubleClickInterval=700\n"
              "WheelScrollLines=7\n");

    // A locked group (in any of its sections) and a locked file: nothing is written.
    for (const std::string locked :
         {"[KDE][$i]\nWheelScrollLines=3\n[KDE]\nA=1\n",
          "[KDE]\nA=1\n[KDE][$i]\nWheelScrollLines=3\n", "[$i]\n[KDE]\nWheelScrollLines=3\n"}) {
        put(locked);
        error.clear();
        EXPECT_FALSE(set_ini_values(file_, "KDE", {{"WheelScrollLines", "7"}}, &error)) << locked;
        EXPECT_NE(error.find("immutable"), std::string::npos) << error;
        EXPECT_EQ(text(), locked);
        EXPECT_EQ(kde("KDE", "WheelScrollLines"), "3") << locked;
    }

    // A read-only file stays the very file it was, whoever we are.
    put("[KDE]\nWheelScrollLines=3\n");
    ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
    struct stat was {};
    ASSERT_EQ(::stat(file_.c_str(), &was), 0);
    error.clear();
    EXPECT_FALSE(set_ini_values(file_, "KDE", {{"WheelScrollLines", "7"}}, &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    struct stat now {};
    ASSERT_EQ(::stat(file_.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_mode & 07777, 0444u);
    EXPECT_EQ(kde("KDE", "WheelScrollLines"), "3");
}

}  // namespace
}  // namespace velqa::platform::desktop
