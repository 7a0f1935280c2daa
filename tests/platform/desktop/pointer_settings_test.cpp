// The pointer settings seam: one mapping of the profile's values to the desktop's, the text the
// settings store keeps, the desktop chosen from the session, and GNOME's backend.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/desktop/pointer_settings.h"

namespace velqa::platform::desktop {
namespace {

// Never the developer's own desktop: GIO's in-memory settings, set before GIO is first used.
const bool kMemoryBackend = setenv("GSETTINGS_BACKEND", "memory", 1) == 0;

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

TEST(PointerMapping, KeptValuesReadBackAndMalformedFieldsAreSkipped) {
    PointerValues v;
    v.speed = -0.3;
    v.double_click_ms = 350;
    v.precision = false;
    EXPECT_EQ(decode_values(encode_values(v)), v);
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

class GnomePointerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(kMemoryBackend);
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema = source != nullptr
                                      ? g_settings_schema_source_lookup(
                                            source, "org.gnome.desktop.peripherals.mouse", TRUE)
                                      : nullptr;
        if (schema == nullptr)
            GTEST_SKIP() << "GNOME's schemas are not installed (scripts/setup installs "
                            "gsettings-desktop-schemas)";
        g_settings_schema_unref(schema);
        gnome_ = g_settings_new("org.gnome.desktop.peripherals.mouse");
    }
    void TearDown() override {
        if (gnome_ != nullptr)
            g_object_unref(gnome_);
    }
    GSettings* gnome_ = nullptr;
};

TEST_F(GnomePointerTest, ReadsAndWritesGnomesKeysAndLeavesTheRestAlone) {
    g_settings_set_double(gnome_, "speed", -0.25);
    g_settings_set_string(gnome_, "accel-profile", "flat");
    g_settings_set_int(gnome_, "double-click", 333);
    auto gnome = make_gnome_pointer_settings();
    EXPECT_TRUE(gnome->supports(PointerSetting::Speed));
    EXPECT_TRUE(gnome->supports(PointerSetting::DoubleClick));
    EXPECT_TRUE(gnome->supports(PointerSetting::Precision));
    EXPECT_FALSE(gnome->supports(PointerSetting::WheelLines));
    EXPECT_FALSE(gnome->supports(PointerSetting::ScrollPage));

    const PointerValues read = gnome->read();
    EXPECT_EQ(read.speed, -0.25);
    EXPECT_EQ(read.double_click_ms, 333);
    EXPECT_EQ(read.precision, false);
    EXPECT_FALSE(read.wheel_lines);

    PointerValues change;
    change.speed = 0.5;
    change.precision = true;
    change.wheel_lines = 7;  // GNOME has none: ignored, not an error
    EXPECT_EQ(gnome->apply(change), "");
    EXPECT_DOUBLE_EQ(g_settings_get_double(gnome_, "speed"), 0.5);
    gchar* profile = g_settings_get_string(gnome_, "accel-profile");
    EXPECT_STREQ(profile, "default");
    g_free(profile);
    EXPECT_EQ(g_settings_get_int(gnome_, "double-click"), 333);
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
