// KDE Plasma's pointer settings, read back with KDE's own reader (kreadconfig5): on X11 the
// [Mouse] keys, on Wayland the [Libinput] group of each of our mouse's pointers, which a
// stand-in KWin on the private session bus names (KWin's virtual backend has no input devices);
// every other line of the files stays.
#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/desktop/plasma_config.h"
#include "platform/ipc/plasma_pointer.h"
#include "platform/ui/qt_test_app.h"
#include "support/fake_kwin.h"
#include "support/sim_process.h"
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

bool have_kreadconfig() {
    return run_command("command -v kreadconfig5 >/dev/null").exit_code == 0;
}

// What KDE's reader makes of `file`: the key in the nested groups.
std::string kde_reads(const std::filesystem::path& file, const std::vector<std::string>& groups,
                      const std::string& key) {
    std::string command = "kreadconfig5 --file '" + file.string() + "'";
    for (const std::string& g : groups)
        command += " --group '" + g + "'";
    std::string out = run_command(command + " --key " + key).out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

TEST(PlasmaPointer, OnX11EveryChangeReadsBackThroughKdesReaderAndTheRestStays) {
    if (!have_kreadconfig())
        GTEST_SKIP() << "kreadconfig5 is missing (scripts/setup installs libkf5config-bin)";
    TempDir dir;
    const auto input = dir.path() / "kcminputrc";
    const auto globals = dir.path() / "kdeglobals";
    // A repeated group (the later one wins), comments, a nested group and a [$e] key.
    ASSERT_TRUE(platform::write_file_atomically(
        input,
        "# kept\n[Keyboard]\nRepeatRate=25\n\n[Mouse]\ncursorTheme=breeze_cursors\n"
        "XLbInptPointerAcceleration=-0.2\n\n[Mouse][Extra]\nX=1\n\n[Mouse]\n"
        "XLbInptPointerAcceleration=0.3\n# also kept\n"));
    ASSERT_TRUE(platform::write_file_atomically(
        globals,
        "[General]\nPath[$e]=$HOME/x\n\n[KDE]\nDoubleClickInterval=420\n[KDE]\n"
        "WheelScrollLines=3\n"));
    auto plasma = platform::ipc::make_plasma_pointer_settings(dir.path());
    EXPECT_FALSE(plasma->supports(PointerSetting::ScrollPage));
    EXPECT_EQ(plasma->refusal(PointerSetting::Speed), "");

    // The values KDE itself reads.
    const PointerValues before = plasma->read();
    EXPECT_EQ(before.speed, 0.3);
    EXPECT_EQ(before.precision, true);
    EXPECT_EQ(before.double_click_ms, 420);
    EXPECT_EQ(before.wheel_lines, 3);

    PointerValues change;
    change.speed = -1.0 / 9;
    change.precision = false;
    change.double_click_ms = 350;
    change.wheel_lines = 6;
    EXPECT_EQ(plasma->apply(change), "");
    EXPECT_EQ(plasma->read(), change);
    EXPECT_EQ(std::stod(kde_reads(input, {"Mouse"}, "XLbInptPointerAcceleration")), -1.0 / 9);
    EXPECT_EQ(kde_reads(input, {"Mouse"}, "XLbInptAccelProfileFlat"), "true");
    EXPECT_EQ(kde_reads(globals, {"KDE"}, "DoubleClickInterval"), "350");
    EXPECT_EQ(kde_reads(globals, {"KDE"}, "WheelScrollLines"), "6");
    // Everything else as it was.
    EXPECT_EQ(kde_reads(input, {"Mouse"}, "cursorTheme"), "breeze_cursors");
    EXPECT_EQ(kde_reads(input, {"Mouse", "Extra"}, "X"), "1");
    EXPECT_EQ(kde_reads(input, {"Keyboard"}, "RepeatRate"), "25");
    EXPECT_NE(read(input).find("# kept\n"), std::string::npos);
    EXPECT_NE(read(input).find("# also kept\n"), std::string::npos);
    EXPECT_NE(read(globals).find("Path[$e]=$HOME/x\n"), std::string::npos);
}

TEST(PlasmaPointer, OnWaylandTheMousesOwnPointersGetTheirGroupAndAreToldLive) {
    qt_app();
    if (!have_kreadconfig())
        GTEST_SKIP() << "kreadconfig5 is missing (scripts/setup installs libkf5config-bin)";
    FakeKWin kwin;
    if (!kwin.started())
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    // KWin's name for the mouse, with the characters KDE escapes in a group's name.
    const QString name = QStringLiteral("ZARN [VELQA] R260 \\ Mouse");
    FakeKWinDevice& mouse = kwin.add_device(QStringLiteral("event7"), true, name, 0x1234, 0x5678);
    FakeKWinDevice& keys = kwin.add_device(QStringLiteral("event8"), false, name, 0x1234, 0x5678);
    FakeKWinDevice& touchpad =
        kwin.add_device(QStringLiteral("event3"), true, QStringLiteral("Touchpad"), 0x2, 0x7);

    TempDir dir;
    const auto input = dir.path() / "kcminputrc";
    ASSERT_TRUE(
        platform::write_file_atomically(input, "[Mouse]\nXLbInptPointerAcceleration=0.7\n"));
    platform::ipc::PlasmaPointerSetup setup;
    setup.wayland = true;
    setup.mice = {{0x1234, 0x5678}, {0x1234, 0x5679}};
    auto plasma = platform::ipc::make_plasma_pointer_settings(dir.path(), setup);
    // Before KWin answers, and where it says nothing: libinput's defaults, not the X11 keys.
    EXPECT_EQ(plasma->read().speed, 0.0);

    PointerValues change;
    change.speed = 0.5;
    change.precision = false;
    EXPECT_EQ(plasma->apply(change), "");
    const std::vector<std::string> group = {"Libinput", "4660", "22136", name.toStdString()};
    ASSERT_TRUE(
        wait_until([&] { return kde_reads(input, group, "PointerAcceleration") == "0.5"; }));
    EXPECT_EQ(kde_reads(input, group, "PointerAccelerationProfile"), "1");
    EXPECT_EQ(plasma->read().speed, 0.5);
    EXPECT_EQ(plasma->read().precision, false);
    ASSERT_TRUE(wait_until([&] { return mouse.sets() >= 2; }));
    EXPECT_DOUBLE_EQ(mouse.pointerAcceleration(), 0.5);
    EXPECT_TRUE(mouse.pointerAccelerationProfileFlat());
    EXPECT_EQ(keys.sets(), 0);
    EXPECT_EQ(touchpad.sets(), 0);
    EXPECT_EQ(kde_reads(input, {"Libinput", "2", "7", "Touchpad"}, "PointerAcceleration"), "");
    EXPECT_EQ(kde_reads(input, {"Mouse"}, "XLbInptPointerAcceleration"), "0.7");

    // The receiver plugged in later gets the values too.
    FakeKWinDevice& receiver =
        kwin.plug(QStringLiteral("event9"), true, QStringLiteral("ZARN Receiver"), 0x1234, 0x5679);
    ASSERT_TRUE(wait_until([&] { return receiver.sets() == 2; }));
    EXPECT_EQ(kde_reads(input, {"Libinput", "4660", "22137", "ZARN Receiver"},
                        "PointerAccelerationProfile"),
              "1");

    // A group KDE holds immutable is refused, and says where.
    ASSERT_TRUE(platform::write_file_atomically(
        input, read(input) + "\n[Libinput][4660][22137][ZARN Receiver][$i]\n"));
    EXPECT_NE(plasma->refusal(PointerSetting::Precision).find("[$i]"), std::string::npos);
    EXPECT_EQ(plasma->refusal(PointerSetting::DoubleClick), "");
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
