// The System tab's pointer settings on each desktop as its own programs keep them, with the window
// over the in-process simulated mouse: GNOME's GSettings on dconf (a private bus, read back with
// `gsettings`), KDE's files (read back with `kreadconfig5`; on Wayland with a stand-in KWin for
// its input devices, which KWin's virtual backend does not have) and the X server's acceleration
// (a private Xvfb, read back with `xset q`). Profiles are switched through the profile control,
// the road a focus switch takes.
#include <gio/gio.h>

#include <QAbstractButton>
#include <QSlider>
#include <cstdlib>
#include <functional>

#include "app/main_wnd.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/atomic_file.h"
#include "platform/desktop/pointer_settings.h"
#include "platform/ipc/plasma_pointer.h"
#include "platform/ui/controls.h"
#include "profile/profile_files.h"
#include "profile/ui/device_profile_ui.h"
#include "support/fake_kwin.h"
#include "support/private_dconf.h"
#include "support/sim_process.h"
#include "support/x11_session.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
namespace desk = platform::desktop;
using app::CMainWnd;

constexpr char kSchema[] = "org.gnome.desktop.peripherals.mouse";

// A private bus for dconf and the stand-in KWin, made before GIO or Qt first use the bus.
std::unique_ptr<PrivateDconf> dconf;
class PrivateSession : public ::testing::Environment {
    void SetUp() override { dconf = std::make_unique<PrivateDconf>(); }
    void TearDown() override {
        // GIO ends the whole process when its session bus goes away, unless told not to.
        if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(bus, FALSE);
            g_object_unref(bus);
        }
        dconf.reset();
    }
};
[[maybe_unused]] auto* const kSession = ::testing::AddGlobalTestEnvironment(new PrivateSession);

std::string output(const std::string& command) {
    std::string out = run_command(command).out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// A desktop as its own programs see it.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // Why it cannot run here (its program cannot start); empty when it can.
    virtual std::string why_not() = 0;
    // The user's own pointer settings, set with the desktop's own tools before we start:
    // acceleration off, an unusual speed, double click 400 ms.
    virtual void set_users_values() = 0;
    // Its pointer settings as its own tools read them.
    virtual std::string read() = 0;
    virtual std::shared_ptr<desk::PointerSettings> backend() = 0;
};

class Gnome final : public Desktop {
  public:
    std::string why_not() override {
        if (!dconf->why_not().empty())
            return dconf->why_not();
        if (PrivateDconf::get(kSchema, "speed") == "<failed>")
            return "GNOME's schemas are not installed (scripts/setup installs "
                   "gsettings-desktop-schemas)";
        return {};
    }
    void set_users_values() override {
        ASSERT_TRUE(PrivateDconf::set(kSchema, "speed", "-0.37"));
        ASSERT_TRUE(PrivateDconf::set(kSchema, "accel-profile", "flat"));
        ASSERT_TRUE(PrivateDconf::set(kSchema, "double-click", "400"));
    }
    std::string read() override {
        // What the program wrote reaches dconf-service first.
        g_settings_sync();
        return PrivateDconf::get(kSchema, "speed") + " " +
               PrivateDconf::get(kSchema, "accel-profile") + " " +
               PrivateDconf::get(kSchema, "double-click");
    }
    std::shared_ptr<desk::PointerSettings> backend() override {
        return desk::make_gnome_pointer_settings();
    }
};

// Plasma: on X11 the [Mouse] keys, on Wayland the mouse's own [Libinput] group.
class Plasma final : public Desktop {
  public:
    explicit Plasma(bool wayland) : wayland_(wayland) {}
    std::string why_not() override {
        if (!on_path("kreadconfig5"))
            return "kreadconfig5 is missing (scripts/setup installs libkf5config-bin)";
        if (wayland_ && !kwin_.started())
            return "no session bus for the stand-in KWin";
        return {};
    }
    void set_users_values() override {
        if (wayland_) {
            kwin_.add_device(QStringLiteral("event4"), true, QStringLiteral("ZARN VELQA-R260"),
                             kVendor, kProduct);
        }
        const std::string pointer =
            "[" + group() + "]\nPointerAccelerationProfile=1\nPointerAcceleration=-0.37\n";
        ASSERT_TRUE(platform::write_file_atomically(
            dir_ / "kcminputrc", "# the user's own\n[Keyboard]\nNumLock=0\n\n" +
                                     (wayland_ ? pointer
                                               : "[Mouse]\nXLbInptAccelProfileFlat=true\n"
                                                 "XLbInptPointerAcceleration=-0.37\n")));
        ASSERT_TRUE(platform::write_file_atomically(
            dir_ / "kdeglobals", "[KDE]\nDoubleClickInterval=400\nWheelScrollLines=5\n"));
    }
    std::string read() override {
        const std::string input = "kreadconfig5 --file " + (dir_ / "kcminputrc").string();
        const std::string globals =
            "kreadconfig5 --file " + (dir_ / "kdeglobals").string() + " --group KDE --key ";
        const std::string pointer =
            wayland_ ? input +
                           " --group Libinput --group 4660 --group 22136 --group "
                           "'ZARN VELQA-R260' --key "
                     : input + " --group Mouse --key ";
        return output(pointer + (wayland_ ? "PointerAcceleration" : "XLbInptPointerAcceleration")) +
               " " +
               output(pointer +
                      (wayland_ ? "PointerAccelerationProfile" : "XLbInptAccelProfileFlat")) +
               " " + output(globals + "DoubleClickInterval") + " " +
               output(globals + "WheelScrollLines");
    }
    std::shared_ptr<desk::PointerSettings> backend() override {
        platform::ipc::PlasmaPointerSetup setup;
        setup.wayland = wayland_;
        setup.mice = {{kVendor, kProduct}};
        auto plasma = platform::ipc::make_plasma_pointer_settings(dir_.path(), setup);
        // KWin names the mouse's pointers in its own time.
        if (wayland_) {
            EXPECT_TRUE(wait_until([&] { return plasma->read().speed == -0.37; }));
        }
        return plasma;
    }

  private:
    static constexpr std::uint16_t kVendor = 0x1234;
    static constexpr std::uint16_t kProduct = 0x5678;
    std::string group() const { return "Libinput][4660][22136][ZARN VELQA-R260"; }

    bool wayland_;
    TempDir dir_;
    FakeKWin kwin_;
};

// The X server's own acceleration, set with xset.
class X11 final : public Desktop {
  public:
    std::string why_not() override {
        if (!on_path("Xvfb") || !on_path("xset"))
            return "Xvfb or xset is missing (scripts/setup installs xvfb and x11-xserver-utils)";
        if (server_.display().empty())
            return "Xvfb did not start";
        return {};
    }
    void set_users_values() override {
        ASSERT_EQ(run_command("xset -display " + server_.display() + " m 3/1 6").exit_code, 0);
    }
    std::string read() override {
        const std::string q = output("xset -display " + server_.display() + " q");
        const auto at = q.find("acceleration:");
        return at == std::string::npos ? q : q.substr(at, q.find('\n', at) - at);
    }
    std::shared_ptr<desk::PointerSettings> backend() override {
        return desk::make_x11_pointer_settings(server_.display());
    }

  private:
    PrivateXServer server_;
};

class DesktopPointerTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }

    // `run` names the user's folders, one set per desktop.
    void start(std::shared_ptr<desk::PointerSettings> desktop, const std::string& run = "user") {
        sim = std::make_unique<sim::InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        wnd = std::make_unique<CMainWnd>(
            factory(), dir_ / run,
            platform::SettingsStore(QString::fromStdString((dir_ / run / "velqa.conf").string())),
            nullptr, sim->backend());
        wnd->set_desktop_pointer(std::move(desktop));
        bool settled = false;
        QObject::connect(wnd.get(), &CMainWnd::settled, [&settled] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_FALSE(wnd->devices().mouse_pages().empty());
        page = wnd->devices().mouse_pages().front();
        ASSERT_TRUE(page->device_loaded());
        profiles = page->findChild<profile::CDeviceProfileUI*>();
        ASSERT_NE(profiles, nullptr);
        wnd->show_tab(QStringLiteral("system_Op_tab"));
    }
    QWidget* control(const char* name) const { return page->findChild<QWidget*>(name); }
    QAbstractButton* button(const char* name) const {
        return qobject_cast<QAbstractButton*>(control(name));
    }
    // As a focus switch does: the profile is selected and applied.
    void switch_to(int index) {
        profiles->select_profile(index, false);
        profiles->apply_selected();
    }
    void restore_default() {
        pui::Window::set_modal_test_hook([](pui::Window& w) {
            qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
        });
        button("default_btn")->click();
    }

    std::unique_ptr<sim::InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    model::CZentovaMouseDevice* page = nullptr;
    profile::CDeviceProfileUI* profiles = nullptr;
};

// Each desktop: profiles that set nothing leave the user's settings exactly as they were; a row
// the user sets is changed and given back when a profile without it is applied; Restore default
// gives back exactly what was read.
TEST_F(DesktopPointerTest, ProfilesChangeOnlyWhatTheySetAndRestoreGivesTheUsersOwnValuesBack) {
    using Make = std::function<std::unique_ptr<Desktop>()>;
    const std::pair<const char*, Make> desktops[] = {
        {"GNOME", [] { return std::make_unique<Gnome>(); }},
        {"Plasma X11", [] { return std::make_unique<Plasma>(false); }},
        {"Plasma Wayland", [] { return std::make_unique<Plasma>(true); }},
        {"X11", [] { return std::make_unique<X11>(); }},
    };
    for (const auto& [name, make] : desktops) {
        SCOPED_TRACE(name);
        auto desktop = make();
        if (const std::string why = desktop->why_not(); !why.empty()) {
            std::printf("%s skipped: %s\n", name, why.c_str());
            continue;
        }
        desktop->set_users_values();
        const std::string users = desktop->read();
        start(desktop->backend(), name);
        ASSERT_TRUE(profiles->create_profile());
        ASSERT_TRUE(profiles->create_profile());
        for (const int index : {1, 2, 1, 0})
            switch_to(index);
        EXPECT_EQ(desktop->read(), users);
        // Rows the profile leaves to the desktop show the desktop's values and say so.
        auto* precision = button("pointer_precision_check");
        ASSERT_NE(precision, nullptr);
        EXPECT_EQ(precision->isChecked(), std::string(name) == "X11");
        EXPECT_TRUE(pui::is_selected(control("pointer_precision_desktop_check")));

        // The user sets one row in profile 0 only.
        precision->click();
        EXPECT_FALSE(pui::is_selected(control("pointer_precision_desktop_check")));
        const std::string changed = desktop->read();
        EXPECT_NE(changed, users);
        switch_to(1);
        EXPECT_EQ(desktop->read(), users);
        switch_to(0);
        EXPECT_EQ(desktop->read(), changed);

        restore_default();
        EXPECT_EQ(desktop->read(), users);
        EXPECT_EQ(page->profile().pointer_fields_set(), 0);
        EXPECT_TRUE(pui::is_selected(control("pointer_precision_desktop_check")));
        wnd.reset();
        sim.reset();
    }
}

class GnomeTest : public DesktopPointerTest {
  protected:
    void SetUp() override {
        DesktopPointerTest::SetUp();
        if (const std::string why = gnome.why_not(); !why.empty())
            GTEST_SKIP() << why;
        gnome.set_users_values();
    }
    Gnome gnome;
};

TEST_F(GnomeTest, ARowSetByTheUserReachesTheDesktopAndUseDesktopSettingGivesItBack) {
    start(desk::make_gnome_pointer_settings());
    // The row shows GNOME's own speed.
    EXPECT_EQ(pui::value(control("pointer_speed_slider")), 7);
    auto* slider = qobject_cast<QSlider*>(control("pointer_speed_slider"));
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    slider->setValue(20);
    slider->setSliderDown(false);
    EXPECT_EQ(gnome.read(), "1.0 'flat' 400");
    const auto& sys = page->profile().system_settings();
    EXPECT_EQ(sys.pointer_speed, 20);
    EXPECT_EQ(page->profile().pointer_fields_set(), 1);
    // Kept in the file as the list of set members; the other members as before.
    const Json::Value saved = profile::read_json(page->profile_path());
    EXPECT_EQ(saved["Device"][0]["SystemStages"]["PointerFieldsSet"][0].asString(), "MouseSpeed");

    // Across a restart the program still knows the user's own speed.
    wnd.reset();
    sim.reset();
    start(desk::make_gnome_pointer_settings());
    EXPECT_EQ(pui::value(control("pointer_speed_slider")), 20);
    auto* box = button("pointer_speed_desktop_check");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(box->accessibleName(), QStringLiteral("Pointer speed: use desktop setting"));
    box->click();
    EXPECT_EQ(gnome.read(), "-0.37 'flat' 400");
    EXPECT_EQ(page->profile().pointer_fields_set(), 0);
    EXPECT_EQ(pui::value(control("pointer_speed_slider")), 7);
}

TEST_F(GnomeTest, WhatGnomeLacksIsDisabledAndSaysWhyInEitherLanguage) {
    start(desk::make_gnome_pointer_settings());
    for (const char* name : {"scroll_speed_slider", "scrolls_page_check",
                             "scroll_speed_desktop_check", "scrolls_page_desktop_check"}) {
        EXPECT_FALSE(control(name)->isEnabled()) << name;
        EXPECT_TRUE(control(name)->toolTip().startsWith(QStringLiteral("GNOME has no setting")))
            << name;
    }
    for (const char* name :
         {"pointer_speed_slider", "double_click_slider", "pointer_precision_check"}) {
        EXPECT_TRUE(control(name)->isEnabled()) << name;
        EXPECT_TRUE(control(name)->toolTip().contains(QStringLiteral("GNOME's own"))) << name;
    }
    ASSERT_TRUE(wnd->apply_language(1));
    EXPECT_TRUE(control("scroll_speed_slider")->toolTip().startsWith(QStringLiteral("GNOME 没有")));
}

TEST_F(GnomeTest, AnAppliedProfileBringsTheValuesItSets) {
    start(desk::make_gnome_pointer_settings());
    Json::Value doc = profile::read_json(page->profile_path());
    Json::Value& sys = doc["Device"][0]["SystemStages"];
    sys["MouseSpeed"] = 15;
    sys["DoubleClickTime"] = 420;
    sys["PointerPrecision"] = 1;
    // A file from before the list of set members sets none of them.
    const auto older = page->profile_path().parent_path() / "older.Json";
    ASSERT_TRUE(profile::write_json_checked(doc, older));
    emit profiles->profile_applied(QString::fromStdString(older.string()));
    EXPECT_EQ(gnome.read(), "-0.37 'flat' 400");

    sys["PointerFieldsSet"].append("DoubleClickTime");
    sys["PointerFieldsSet"].append("PointerPrecision");
    const auto newer = page->profile_path().parent_path() / "newer.Json";
    ASSERT_TRUE(profile::write_json_checked(doc, newer));
    emit profiles->profile_applied(QString::fromStdString(newer.string()));
    EXPECT_EQ(gnome.read(), "-0.37 'default' 420");

    // Edited by hand past the System tab's ranges: the desktop gets them held, never a 1 ms
    // double click.
    sys["PointerFieldsSet"].append("MouseSpeed");
    sys["MouseSpeed"] = 65535;
    sys["DoubleClickTime"] = 1;
    sys["PointerPrecision"] = 0;
    ASSERT_TRUE(profile::write_json_checked(doc, newer));
    emit profiles->profile_applied(QString::fromStdString(newer.string()));
    EXPECT_EQ(gnome.read(), "1.0 'flat' 200");
}

// KDE holds a setting marked "[$i]" and ignores any change: its row is disabled and says why.
TEST_F(DesktopPointerTest, APlasmaSettingMarkedImmutableIsARowThatSaysWhy) {
    TempDir config;
    ASSERT_TRUE(platform::write_file_atomically(config / "kdeglobals",
                                                "[KDE]\nDoubleClickInterval[$i]=450\n"));
    ASSERT_TRUE(
        platform::write_file_atomically(config / "kcminputrc", "[Mouse][$i]\ncursorSize=24\n"));
    start(platform::ipc::make_plasma_pointer_settings(config.path()));
    for (const char* name : {"double_click_slider", "pointer_speed_slider",
                             "pointer_precision_check", "double_click_desktop_check"}) {
        EXPECT_FALSE(control(name)->isEnabled()) << name;
        EXPECT_TRUE(control(name)->toolTip().contains(QStringLiteral("[$i]"))) << name;
    }
    EXPECT_TRUE(control("scroll_speed_slider")->isEnabled());
}

// A desktop whose settings cannot be written (a read-only configuration file, say).
class RefusingDesktop : public desk::PointerSettings {
  public:
    std::string desktop_name() const override { return "KDE Plasma"; }
    bool supports(desk::PointerSetting) const override { return true; }
    desk::PointerValues read() override {
        desk::PointerValues v;
        v.speed = 0;
        return v;
    }
    std::string apply(const desk::PointerValues&) override {
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
    auto* slider = qobject_cast<QSlider*>(control("pointer_speed_slider"));
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    slider->setValue(14);
    slider->setSliderDown(false);
    EXPECT_TRUE(told.contains(QStringLiteral("kcminputrc: Permission denied")))
        << told.toStdString();
    EXPECT_EQ(page->profile().system_settings().pointer_speed, 14);
}

}  // namespace
}  // namespace velqa::test
