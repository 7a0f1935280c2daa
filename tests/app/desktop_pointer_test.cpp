// The System tab's pointer settings on a GNOME desktop (GIO's in-memory settings with the
// installed schemas, never the developer's own desktop), with the window over the in-process
// simulated mouse: a change reaches the desktop, an applied profile brings its values, what the
// desktop lacks is disabled and says why, and Restore default gives back the desktop's values.
#include <gio/gio.h>

#include <QAbstractButton>
#include <QSlider>
#include <cstdlib>

#include "app/main_wnd.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/desktop/pointer_settings.h"
#include "platform/ui/controls.h"
#include "profile/profile_files.h"
#include "profile/ui/device_profile_ui.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;

const bool kMemoryBackend = setenv("GSETTINGS_BACKEND", "memory", 1) == 0;
constexpr char kSchema[] = "org.gnome.desktop.peripherals.mouse";

class DesktopPointerTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(kMemoryBackend);
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema =
            source != nullptr ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
        if (schema == nullptr)
            GTEST_SKIP() << "GNOME's schemas are not installed (scripts/setup installs "
                            "gsettings-desktop-schemas)";
        g_settings_schema_unref(schema);
        gnome_ = g_settings_new(kSchema);
        // The user's desktop before the program starts.
        g_settings_set_double(gnome_, "speed", -0.3);
        g_settings_set_string(gnome_, "accel-profile", "flat");
        g_settings_set_int(gnome_, "double-click", 350);
    }
    void TearDown() override {
        wnd.reset();
        sim.reset();
        if (gnome_ != nullptr)
            g_object_unref(gnome_);
        AppTest::TearDown();
    }

    void start(std::shared_ptr<platform::desktop::PointerSettings> desktop =
                   platform::desktop::make_gnome_pointer_settings()) {
        sim = std::make_unique<sim::InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        wnd =
            std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
        wnd->set_desktop_pointer(std::move(desktop));
        bool settled = false;
        QObject::connect(wnd.get(), &CMainWnd::settled, [&settled] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_FALSE(wnd->devices().mouse_pages().empty());
        page = wnd->devices().mouse_pages().front();
        ASSERT_TRUE(page->device_loaded());
        wnd->show_tab(QStringLiteral("system_Op_tab"));
    }
    QWidget* control(const char* name) const { return page->findChild<QWidget*>(name); }
    // As the user drags a slider and lets go: the window's dispatch takes it to the page.
    void slide(const char* name, int value) {
        auto* slider = qobject_cast<QSlider*>(control(name));
        ASSERT_NE(slider, nullptr) << name;
        slider->setSliderDown(true);
        slider->setValue(value);
        slider->setSliderDown(false);
    }
    double speed() const { return g_settings_get_double(gnome_, "speed"); }
    int double_click() const { return g_settings_get_int(gnome_, "double-click"); }
    std::string accel() const {
        gchar* v = g_settings_get_string(gnome_, "accel-profile");
        std::string s = v;
        g_free(v);
        return s;
    }

    GSettings* gnome_ = nullptr;
    std::unique_ptr<sim::InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    model::CZentovaMouseDevice* page = nullptr;
};

TEST_F(DesktopPointerTest, ChangesReachTheDesktopAndRestoreDefaultBringsItsOwnValuesBack) {
    start();
    // Starting changes nothing on the desktop.
    EXPECT_DOUBLE_EQ(speed(), -0.3);
    EXPECT_EQ(double_click(), 350);

    slide("pointer_speed_slider", 20);
    EXPECT_DOUBLE_EQ(speed(), 1.0);
    slide("double_click_slider", 640);
    EXPECT_EQ(double_click(), 640);
    auto* precision = qobject_cast<QAbstractButton*>(control("pointer_precision_check"));
    ASSERT_NE(precision, nullptr);
    precision->click();
    EXPECT_EQ(accel(), precision->isChecked() ? "default" : "flat");
    precision->click();
    EXPECT_EQ(accel(), precision->isChecked() ? "default" : "flat");
    ASSERT_TRUE(precision->isChecked());
    // The profile keeps them, as every page change does.
    const auto& sys = page->profile().system_settings();
    EXPECT_EQ(sys.pointer_speed, 20);
    EXPECT_EQ(sys.double_click_time, 640);

    // The desktop's own values were kept before the first change, so that a restart still
    // knows them.
    {
        app::DesktopPointer later(platform::desktop::make_gnome_pointer_settings(), store());
        EXPECT_EQ(later.at_start().speed, 1.0);
        EXPECT_EQ(later.originals().speed, -0.3);
        EXPECT_EQ(later.originals().double_click_ms, 350);
        EXPECT_EQ(later.originals().precision, false);
    }

    pui::Window::set_modal_test_hook([](pui::Window& w) {
        qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
    });
    auto* restore = qobject_cast<QAbstractButton*>(control("default_btn"));
    ASSERT_NE(restore, nullptr);
    restore->click();
    EXPECT_DOUBLE_EQ(speed(), -0.3);
    EXPECT_EQ(double_click(), 350);
    EXPECT_EQ(accel(), "flat");
    // The page and its profile show them too, in the page's steps.
    EXPECT_EQ(pui::value(control("pointer_speed_slider")), 7);
    EXPECT_EQ(pui::value(control("double_click_slider")), 350);
    EXPECT_FALSE(pui::is_selected(control("pointer_precision_check")));
    EXPECT_EQ(page->profile().system_settings().double_click_time, 350);
}

TEST_F(DesktopPointerTest, WhatGnomeLacksIsDisabledAndSaysWhyInEitherLanguage) {
    start();
    for (const char* name : {"scroll_speed_slider", "scrolls_page_check"}) {
        EXPECT_FALSE(control(name)->isEnabled()) << name;
        EXPECT_TRUE(control(name)->toolTip().startsWith(QStringLiteral("GNOME has no setting")))
            << name;
    }
    for (const char* name :
         {"pointer_speed_slider", "double_click_slider", "pointer_precision_check"}) {
        EXPECT_TRUE(control(name)->isEnabled()) << name;
        EXPECT_TRUE(control(name)->toolTip().isEmpty()) << name;
    }
    ASSERT_TRUE(wnd->apply_language(1));
    EXPECT_TRUE(control("scroll_speed_slider")->toolTip().startsWith(QStringLiteral("GNOME 没有")));
}

TEST_F(DesktopPointerTest, AnAppliedProfileBringsItsValuesToTheDesktop) {
    start();
    auto* profiles = page->findChild<profile::CDeviceProfileUI*>();
    ASSERT_NE(profiles, nullptr);
    Json::Value doc = profile::read_json(page->profile_path());
    Json::Value& sys = doc["Device"][0]["SystemStages"];
    sys["MouseSpeed"] = 15;
    sys["DoubleClickTime"] = 420;
    sys["PointerPrecision"] = 1;
    const auto other = page->profile_path().parent_path() / "other.Json";
    ASSERT_TRUE(profile::write_json_checked(doc, other));
    emit profiles->profile_applied(QString::fromStdString(other.string()));
    EXPECT_DOUBLE_EQ(speed(), 0.5);
    EXPECT_EQ(double_click(), 420);
    EXPECT_EQ(accel(), "default");

    // Edited by hand past the System tab's ranges: the desktop gets them held, never a 1 ms
    // double click.
    sys["MouseSpeed"] = 65535;
    sys["DoubleClickTime"] = 1;
    sys["PointerPrecision"] = 0;
    ASSERT_TRUE(profile::write_json_checked(doc, other));
    emit profiles->profile_applied(QString::fromStdString(other.string()));
    EXPECT_DOUBLE_EQ(speed(), 1.0);
    EXPECT_EQ(double_click(), 200);
    EXPECT_EQ(accel(), "flat");
}

// A desktop whose settings cannot be written (a read-only configuration file, say).
class RefusingDesktop : public platform::desktop::PointerSettings {
  public:
    std::string desktop_name() const override { return "KDE Plasma"; }
    bool supports(platform::desktop::PointerSetting) const override { return true; }
    platform::desktop::PointerValues read() override { return {}; }
    std::string apply(const platform::desktop::PointerValues&) override {
        return "kcminputrc: Permission denied";
    }
};

TEST_F(DesktopPointerTest, ARefusedChangeIsToldAndStaysInTheProfile) {
    start(std::make_shared<RefusingDesktop>());
    QString told;
    pui::Window::set_modal_test_hook([&told](pui::Window& w) {
        told = pui::text(w.find_control("MessageText"));
        qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
    });
    slide("pointer_speed_slider", 14);
    EXPECT_TRUE(told.contains(QStringLiteral("kcminputrc: Permission denied")))
        << told.toStdString();
    EXPECT_EQ(page->profile().system_settings().pointer_speed, 14);
}

}  // namespace
}  // namespace velqa::test
