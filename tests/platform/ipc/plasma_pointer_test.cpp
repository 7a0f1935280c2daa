// KDE Plasma's pointer settings: its files keep every other line, and the pointers KWin drives
// now (a stand-in KWin on the private session bus) are told; other devices are left alone.
#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/desktop/plasma_config.h"
#include "platform/ipc/plasma_pointer.h"
#include "platform/ui/qt_test_app.h"
#include "support/fake_kwin.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

using platform::desktop::PointerSetting;
using platform::desktop::PointerValues;

std::string read(const std::filesystem::path& file) {
    std::string text;
    platform::read_whole_file(file, text);
    return text;
}

TEST(PlasmaPointer, FilesKeepTheirOtherLinesAndKWinsPointersFollow) {
    qt_app();
    FakeKWin kwin;
    if (!kwin.started())
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    FakeKWinDevice& mouse = kwin.add_device(QStringLiteral("event7"), true);
    FakeKWinDevice& keyboard = kwin.add_device(QStringLiteral("event3"), false);

    TempDir dir;
    ASSERT_TRUE(platform::write_file_atomically(
        dir.path() / "kcminputrc",
        "[Keyboard]\nRepeatRate=25\n\n[Mouse]\ncursorTheme=breeze_cursors\n"
        "XLbInptPointerAcceleration=-0.2\n"));
    ASSERT_TRUE(platform::write_file_atomically(dir.path() / "kdeglobals",
                                                "[General]\nColorScheme=BreezeDark\n"));
    auto plasma = platform::ipc::make_plasma_pointer_settings(dir.path());
    EXPECT_FALSE(plasma->supports(PointerSetting::ScrollPage));

    // Plasma's own defaults stand in for what the files do not say.
    const PointerValues before = plasma->read();
    EXPECT_EQ(before.speed, -0.2);
    EXPECT_EQ(before.precision, true);
    EXPECT_EQ(before.double_click_ms, 400);
    EXPECT_EQ(before.wheel_lines, 3);

    PointerValues change;
    change.speed = 0.5;
    change.precision = false;
    change.double_click_ms = 420;
    change.wheel_lines = 6;
    EXPECT_EQ(plasma->apply(change), "");
    EXPECT_EQ(plasma->read(), change);
    EXPECT_EQ(read(dir.path() / "kcminputrc"),
              "[Keyboard]\nRepeatRate=25\n\n[Mouse]\ncursorTheme=breeze_cursors\n"
              "XLbInptPointerAcceleration=0.5\nXLbInptAccelProfileFlat=true\n");
    EXPECT_EQ(read(dir.path() / "kdeglobals"),
              "[General]\nColorScheme=BreezeDark\n\n[KDE]\nDoubleClickInterval=420\n"
              "WheelScrollLines=6\n");

    ASSERT_TRUE(wait_until([&] { return mouse.sets() == 2; }));
    EXPECT_DOUBLE_EQ(mouse.pointerAcceleration(), 0.5);
    EXPECT_TRUE(mouse.pointerAccelerationProfileFlat());
    EXPECT_EQ(keyboard.sets(), 0);
}

TEST(PlasmaConfig, KeysWithFlagsAndNestedGroupsAreToldApart) {
    const std::string text = "[Mouse][Extra]\nWheelScrollLines=9\n[Mouse]\nKey[$i]=1\n";
    EXPECT_EQ(platform::desktop::ini_value(text, "Mouse", "Key"), "1");
    EXPECT_FALSE(platform::desktop::ini_value(text, "Mouse", "WheelScrollLines"));
    // The locked key stays as it is.
    EXPECT_FALSE(platform::desktop::with_ini_value(text, "Mouse", "Key", "0"));
    EXPECT_EQ(platform::desktop::with_ini_value(text, "Mouse", "WheelScrollLines", "3"),
              "[Mouse][Extra]\nWheelScrollLines=9\n[Mouse]\nKey[$i]=1\nWheelScrollLines=3\n");
}

}  // namespace
}  // namespace velqa::test
