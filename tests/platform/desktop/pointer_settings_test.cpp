// The pointer settings seam: one mapping of the profile's values to the desktop's, the text the
// settings store keeps, what we changed and the user's values under it, the desktop chosen from
// the session, and GNOME's backend on the real dconf.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/desktop/pointer_ledger.h"
#include "platform/desktop/pointer_settings.h"
#include "support/private_dconf.h"

namespace velqa::platform::desktop {
namespace {

// Never the developer's own desktop: a private bus and dconf database, made before GIO is first
// used.
std::unique_ptr<test::PrivateDconf> dconf;
class DconfSession : public ::testing::Environment {
    void SetUp() override { dconf = std::make_unique<test::PrivateDconf>(); }
    void TearDown() override {
        // GIO ends the whole process when its session bus goes away, unless told not to.
        if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(bus, FALSE);
            g_object_unref(bus);
        }
        dconf.reset();
    }
};
[[maybe_unused]] auto* const kDconf = ::testing::AddGlobalTestEnvironment(new DconfSession);

TEST(PointerMapping, SliderEndsAndMiddleMeetTheDesktopsEndsAndDefault) {
    EXPECT_DOUBLE_EQ(speed_from_slider(1), -1.0);
    EXPECT_DOUBLE_EQ(speed_from_slider(10), 0.0);
    EXPECT_DOUBLE_EQ(speed_from_slider(20), 1.0);
    EXPECT_DOUBLE_EQ(speed_from_slider(15), 0.5);
    // Outside the slider's range (a hand-edited profile) is held at its ends.
    EXPECT_DOUBLE_EQ(speed_from_slider(0), -1.0);
    EXPECT_DOUBLE_EQ(speed_from_slider(400), 1.0);
    for (int v = kSpeedSliderMin; v <= kSpeedSliderMax; ++v)
        EXPECT_EQ(slider_from_speed(speed_from_slider(v)), v) << v;
    EXPECT_EQ(slider_from_speed(-0.3), 7);
    EXPECT_EQ(slider_from_speed(5.0), 20);
    EXPECT_EQ(slider_from_speed(std::numeric_limits<double>::quiet_NaN()), 10);
}

TEST(PointerMapping, KeptValuesReadBackExactlyAndMalformedFieldsAreSkipped) {
    PointerValues v;
    v.speed = -1.0 / 9;
    v.double_click_ms = 350;
    v.precision = false;
    v.x_acceleration = XAcceleration{3, 2, 6};
    EXPECT_EQ(decode_values(encode_values(v)), v);
    EXPECT_FALSE(decode_values("x_accel=3/0/6").x_acceleration);
    EXPECT_TRUE(decode_values("").empty());
    const PointerValues odd =
        decode_values("speed=7;double_click=-5;precision=2;wheel_lines=x;junk;scroll_page=1");
    EXPECT_FALSE(odd.speed);
    EXPECT_FALSE(odd.double_click_ms);
    EXPECT_FALSE(odd.precision);
    EXPECT_FALSE(odd.wheel_lines);
    EXPECT_EQ(odd.scroll_page, true);
}

TEST(PointerMapping, DesktopIsChosenByNameThenByAnXDisplay) {
    EXPECT_EQ(desktop_kind({"ubuntu:GNOME", "wayland", "", ""}), DesktopKind::Gnome);
    EXPECT_EQ(desktop_kind({"KDE", "wayland", ":0", ""}), DesktopKind::Plasma);
    EXPECT_EQ(desktop_kind({"XFCE", "x11", ":0", ""}), DesktopKind::X11);
    // XWayland's display belongs to the compositor, whose pointer it does not drive.
    EXPECT_EQ(desktop_kind({"sway", "wayland", ":0", ""}), DesktopKind::Unknown);
    EXPECT_EQ(desktop_kind({"", "", "", ""}), DesktopKind::Unknown);
}

// The user's desktop before our program: flat, an unusual speed and a 400 ms double click.
PointerValues users_values() {
    PointerValues v;
    v.speed = -0.37;
    v.precision = false;
    v.double_click_ms = 400;
    return v;
}
constexpr PointerSetting kAll[] = {PointerSetting::Speed, PointerSetting::DoubleClick,
                                   PointerSetting::Precision};

TEST(PointerLedger, AProfileChangesOnlyWhatItSetsAndTheUsersValuesComeBack) {
    PointerLedger ledger;
    PointerValues desktop = users_values();
    // Two profiles that set nothing write nothing.
    EXPECT_TRUE(ledger.plan({}, kAll, desktop).empty());
    EXPECT_TRUE(ledger.plan({}, kAll, desktop).empty());

    PointerValues fast;
    fast.speed = 0.5;
    const PointerValues first = ledger.plan(fast, kAll, desktop);
    EXPECT_EQ(first, fast.only(PointerSetting::Speed));
    desktop.take(PointerSetting::Speed, first);
    // Across a restart.
    ledger = PointerLedger(ledger.own_text(), ledger.ours_text());
    // The next profile sets nothing: the user's own speed comes back, exactly.
    const PointerValues back = ledger.plan({}, kAll, desktop);
    EXPECT_EQ(back, users_values().only(PointerSetting::Speed));
    desktop.take(PointerSetting::Speed, back);
    EXPECT_TRUE(ledger.ours().empty());

    // A value the user changes in the desktop's own panel meanwhile is theirs: kept.
    ledger.plan(fast, kAll, desktop);
    desktop.speed = 0.2;
    EXPECT_TRUE(ledger.plan({}, kAll, desktop).empty());
    EXPECT_TRUE(ledger.plan_restore(desktop).empty());
}

TEST(PointerLedger, RestoreGivesBackX11sOwnAccelerationAsItWasRead) {
    PointerValues desktop;
    desktop.precision = true;
    desktop.x_acceleration = XAcceleration{3, 1, 6};
    const PointerValues users = desktop;
    PointerLedger ledger;
    PointerValues off;
    off.precision = false;
    const PointerValues plan = ledger.plan(off, kAll, desktop);
    EXPECT_EQ(plan.precision, false);
    EXPECT_FALSE(plan.x_acceleration);
    desktop.precision = false;
    desktop.x_acceleration = XAcceleration{1, 1, 6};
    EXPECT_EQ(ledger.plan_restore(desktop), users);

    // Turning precision back on where the user had it gives theirs, not the server's default.
    ledger.plan(off, kAll, users);
    PointerValues on;
    on.precision = true;
    EXPECT_EQ(ledger.plan(on, kAll, desktop), users);

    // A store that kept only the desktop's values from before: what differs now is ours.
    PointerLedger old = PointerLedger::from_originals(users, desktop);
    EXPECT_EQ(old.plan_restore(desktop), users);
}

TEST(GnomePointer, ReadsAndWritesGnomesKeysThroughDconfAndLeavesTheRestAlone) {
    ASSERT_TRUE(dconf);
    if (!dconf->why_not().empty())
        GTEST_SKIP() << dconf->why_not();
    constexpr char kSchema[] = "org.gnome.desktop.peripherals.mouse";
    if (test::PrivateDconf::get(kSchema, "speed") == "<failed>")
        GTEST_SKIP() << "GNOME's schemas are not installed (scripts/setup installs "
                        "gsettings-desktop-schemas)";
    ASSERT_TRUE(test::PrivateDconf::set(kSchema, "speed", "-0.37"));
    ASSERT_TRUE(test::PrivateDconf::set(kSchema, "accel-profile", "flat"));
    ASSERT_TRUE(test::PrivateDconf::set(kSchema, "double-click", "333"));
    auto gnome = make_gnome_pointer_settings();
    EXPECT_TRUE(gnome->supports(PointerSetting::Speed));
    EXPECT_TRUE(gnome->supports(PointerSetting::DoubleClick));
    EXPECT_TRUE(gnome->supports(PointerSetting::Precision));
    EXPECT_FALSE(gnome->supports(PointerSetting::WheelLines));
    EXPECT_FALSE(gnome->supports(PointerSetting::ScrollPage));
    EXPECT_EQ(gnome->refusal(PointerSetting::Speed), "");

    const PointerValues read = gnome->read();
    EXPECT_EQ(read.speed, -0.37);
    EXPECT_EQ(read.double_click_ms, 333);
    EXPECT_EQ(read.precision, false);
    EXPECT_FALSE(read.wheel_lines);

    PointerValues change;
    change.speed = 0.5;
    change.precision = true;
    change.wheel_lines = 7;  // GNOME has none: ignored, not an error
    EXPECT_EQ(gnome->apply(change), "");
    g_settings_sync();
    EXPECT_EQ(test::PrivateDconf::get(kSchema, "speed"), "0.5");
    EXPECT_EQ(test::PrivateDconf::get(kSchema, "accel-profile"), "'default'");
    EXPECT_EQ(test::PrivateDconf::get(kSchema, "double-click"), "333");
}

TEST(X11Pointer, NoDisplaySupportsNothingAndApplyIsHarmless) {
    auto x11 = make_x11_pointer_settings("");
    EXPECT_FALSE(x11->supports(PointerSetting::Precision));
    EXPECT_TRUE(x11->read().empty());
    PointerValues change;
    change.precision = true;
    EXPECT_EQ(x11->apply(change), "");
}

}  // namespace
}  // namespace velqa::platform::desktop
