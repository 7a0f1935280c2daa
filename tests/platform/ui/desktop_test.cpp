// The desktop's settings panels, found in a PATH the test controls, and the maker's web page.
#include "platform/ui/desktop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/atomic_file.h"
#include "platform/ui/qt_test_app.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::platform {
namespace {

namespace fs = std::filesystem;

class DesktopSettingsTest : public ::testing::Test {
  protected:
    // An executable shell script in bin/ that writes its arguments to `name`.out.
    fs::path program(const std::string& name, bool executable = true) {
        const fs::path file = dir_ / "bin" / name;
        const fs::path out = dir_ / (name + ".out");
        test::write_text(file, "#!/bin/sh\necho \"$@\" > '" + out.string() +
                                   ".tmp' && command -p mv '" + out.string() + ".tmp' '" +
                                   out.string() + "'\n");
        fs::permissions(file, executable ? fs::perms::owner_all
                                         : fs::perms::owner_read | fs::perms::owner_write);
        return file;
    }
    std::string bin() const { return (dir_ / "bin").string(); }
    test::TempDir dir_;
};

TEST_F(DesktopSettingsTest, FirstInstalledCandidateInTableOrder) {
    program("cinnamon-settings");
    program("xfce4-mouse-settings");
    const std::string path = "/nonexistent/bin:" + bin();

    const auto mouse = find_settings_panel(DesktopSettings::Mouse, path, "");
    ASSERT_TRUE(mouse);
    EXPECT_EQ(mouse->program, dir_ / "bin" / "xfce4-mouse-settings");
    EXPECT_TRUE(mouse->arguments.empty());
    // The keyboard counterpart is missing, so the next desktop's panel is used.
    const auto keyboard = find_settings_panel(DesktopSettings::Keyboard, path, "");
    ASSERT_TRUE(keyboard);
    EXPECT_EQ(keyboard->program, dir_ / "bin" / "cinnamon-settings");
    EXPECT_EQ(keyboard->arguments, std::vector<std::string>{"keyboard"});
}

TEST_F(DesktopSettingsTest, RunningDesktopComesFirstWhenItsPanelIsInstalled) {
    program("gnome-control-center");
    program("cinnamon-settings");
    const auto mouse = find_settings_panel(DesktopSettings::Mouse, bin(), "ubuntu:x-cinnamon");
    ASSERT_TRUE(mouse);
    EXPECT_EQ(mouse->program.filename(), "cinnamon-settings");
    EXPECT_EQ(mouse->arguments, std::vector<std::string>{"mouse"});
    // A desktop whose panel is not installed falls back to the table order.
    const auto other = find_settings_panel(DesktopSettings::Mouse, bin(), "KDE");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->program.filename(), "gnome-control-center");
}

TEST_F(DesktopSettingsTest, OnlyExecutableFilesInAbsoluteFoldersCount) {
    program("gnome-control-center", false);
    fs::create_directories(dir_ / "bin" / "systemsettings");
    program("xfce4-mouse-settings");
    // The folder given relative to the current one is skipped, as are empty entries.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir_.path());
    const auto found = find_settings_panel(DesktopSettings::Mouse, "bin::", "");
    fs::current_path(cwd);
    EXPECT_FALSE(found);
    EXPECT_FALSE(find_settings_panel(DesktopSettings::Keyboard, bin(), "GNOME"));
    EXPECT_TRUE(find_settings_panel(DesktopSettings::Mouse, bin(), "GNOME"));
}

TEST_F(DesktopSettingsTest, OpenStartsThePanelDetachedOrSaysThereIsNone) {
    test::qt_app();
    program("mate-mouse-properties");
    program("gnome-control-center");
    test::ScopedEnv desktop("XDG_CURRENT_DESKTOP", "MATE");
    {
        test::ScopedEnv path("PATH", bin());
        EXPECT_TRUE(open_desktop_settings(DesktopSettings::Keyboard));
        EXPECT_TRUE(open_desktop_settings(DesktopSettings::Mouse));
    }
    // Each launch runs the program with its own argument (none for MATE's mouse panel).
    std::string keyboard, mouse;
    EXPECT_TRUE(test::wait_until([&] {
        return read_whole_file(dir_ / "gnome-control-center.out", keyboard) &&
               read_whole_file(dir_ / "mate-mouse-properties.out", mouse);
    }));
    EXPECT_EQ(keyboard, "keyboard\n");
    EXPECT_EQ(mouse, "\n");

    test::DebugLines lines;
    test::ScopedEnv empty_path("PATH", (dir_ / "nothing").string());
    EXPECT_FALSE(open_desktop_settings(DesktopSettings::Mouse));
    EXPECT_EQ(lines.count("no mouse settings panel of a known desktop is installed"), 1u);
}

TEST(MakerWebPage, ShippedAddressIsAWebAddress) {
    const std::string page =
        read_maker_web_page(test::source_dir() / "DefaultData" / "DeviceConfig.json");
    EXPECT_EQ(page.rfind("https://", 0), 0u) << page;
}

TEST(MakerWebPage, MissingWrongTypeOrNonWebAddressReadsEmpty) {
    test::TempDir dir;
    const auto file = dir / "DeviceConfig.json";
    auto with = [&](const std::string& text) {
        EXPECT_TRUE(write_file_atomically(file, text));
        return read_maker_web_page(file);
    };
    EXPECT_EQ(with(R"({"MakerWebPage": "http://maker.example/r260?x=1"})"),
              "http://maker.example/r260?x=1");
    EXPECT_EQ(with(R"({"MakerWebPage": 42})"), "");
    EXPECT_EQ(with(R"({"MakerWebPage": ["https://a.example"]})"), "");
    EXPECT_EQ(with(R"({"MakerWebPage": ""})"), "");
    EXPECT_EQ(with(R"({"MakerWebPage": "file:///etc/passwd"})"), "");
    EXPECT_EQ(with(R"({"MakerWebPage": "www.example.com"})"), "");
    EXPECT_EQ(with(R"({"MakerVendorId": "FA2E"})"), "");
    EXPECT_EQ(with(R"(["https://a.example"])"), "");
    EXPECT_EQ(with("{ broken"), "");
    EXPECT_EQ(read_maker_web_page(dir / "missing.json"), "");
}

TEST(OpenUrl, RefusesWhatIsNotAnAddress) {
    test::qt_app();
    EXPECT_FALSE(open_url(""));
    EXPECT_FALSE(open_url("no address at all"));
}

}  // namespace
}  // namespace velqa::platform
