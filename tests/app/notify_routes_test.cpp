// Name routing of control notifications, and that every control of the shipped mouse page that
// notifies reaches an owner.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLineEdit>
#include <memory>

#include "app/main_wnd.h"
#include "app/notify_routes.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/ui/macro_control.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"

namespace velqa::test {
namespace {

using app::route_notification;
using app::RouteOwner;

TEST(NotifyRoutes, IndexedPrefixesReachTheirOwnerWithTheIndex) {
    const auto slider = route_notification("valuechanged", "DPI_slider_3");
    ASSERT_TRUE(slider);
    EXPECT_EQ(slider->owner, RouteOwner::MousePage);
    EXPECT_EQ(slider->index, 3);
    // Prefixes compare ignoring case.
    EXPECT_EQ(route_notification("valuechanged", "dpi_SLIDER_5")->index, 5);
    // The whole prefix counts: a stage colour is not a lighting preset.
    EXPECT_EQ(route_notification("click", "DPI_color_option_2")->owner, RouteOwner::MousePage);
    EXPECT_EQ(route_notification("click", "color_option_2")->owner, RouteOwner::Lighting);
    EXPECT_EQ(route_notification("selectchanged", "polling_rate_option_4")->index, 4);
    EXPECT_EQ(route_notification("killfocus", "DPI_edit_2")->owner, RouteOwner::MousePage);
    EXPECT_EQ(route_notification("return", "DPI_edit_2")->owner, RouteOwner::MousePage);
    // A name without an index reaches no indexed handler; nor does another type's prefix.
    EXPECT_FALSE(route_notification("valuechanged", "DPI_slider"));
    EXPECT_FALSE(route_notification("itemselect", "DPI_slider_3"));
    EXPECT_FALSE(route_notification("bogus", "closebtn"));
}

TEST(NotifyRoutes, ExactNamesIgnoreCaseExceptTheFiveExactClicks) {
    EXPECT_EQ(route_notification("click", "CLOSEBTN")->owner, RouteOwner::Window);
    EXPECT_EQ(route_notification("click", "Device_Add_Btn")->owner, RouteOwner::Profile);
    for (const char* exact :
         {"macro_inset_moveleftkey_btn", "macro_inset_moverightkey_btn",
          "macro_inset_moveupkey_btn", "macro_inset_movedownkey_btn", "profile_fun_spread_btn"}) {
        EXPECT_TRUE(route_notification("click", exact)) << exact;
        std::string upper = exact;
        upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
        EXPECT_FALSE(route_notification("click", upper)) << upper;
    }
    EXPECT_EQ(route_notification("selectchanged", "synchro_device_select")->owner,
              RouteOwner::Tile);
    EXPECT_EQ(route_notification("selectchanged", "Virtual7.1_Op_tab")->owner, RouteOwner::Window);
    EXPECT_EQ(route_notification("itemselect", "device_profile_combo")->owner, RouteOwner::Profile);
}

// The notification a user's action on a control gives, by control kind.
const char* natural_type(QWidget* control) {
    if (qobject_cast<QAbstractSlider*>(control) != nullptr)
        return "valuechanged";
    if (qobject_cast<QComboBox*>(control) != nullptr)
        return "itemselect";
    if (qobject_cast<QLineEdit*>(control) != nullptr)
        return "killfocus";
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->isCheckable() ? "selectchanged" : "click";
    return nullptr;
}

// Whether a control lies inside a control of the given class.
bool inside(const QWidget* control, const char* class_name) {
    for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
        if (w->property(platform::ui::kClassProperty).toString() == QLatin1String(class_name))
            return true;
    }
    return false;
}
bool inside_light_editor(const QWidget* control) {
    return inside(control, "LightControl");
}
bool inside_profile_control(const QWidget* control) {
    return inside(control, "DeviceProfile");
}

class PageRoutes : public AppTest {};

TEST_F(PageRoutes, EveryControlOfTheMousePageReachesAnOwner) {
    std::unique_ptr<QWidget> page(
        platform::ui::Window::build_layout(QStringLiteral("XML\\DeviceXml\\mousedevice.xml")));
    ASSERT_NE(page, nullptr);
    int checked = 0;
    for (QWidget* control : page->findChildren<QWidget*>()) {
        const char* type = natural_type(control);
        const std::string name = control->objectName().toStdString();
        // Stage buttons notify on click (they open the colour picker) as well as on select.
        if (type == nullptr || name.empty() || name.rfind("qt_", 0) == 0)
            continue;
        // The key pictures and light indicators are the key editor's and the preview's.
        if (name.rfind("key_", 0) == 0 || name.rfind("light_", 0) == 0)
            continue;
        ++checked;
        // The lighting editor's controls are its own; the boxes also notify on click.
        if (inside_light_editor(control)) {
            if (name == "deng_colordp_btn" || name == "deng_audiocolordp_btn")
                continue;  // they only show the colour
            auto route = route_notification(type, name);
            if (!route)
                route = route_notification("click", name);
            ASSERT_TRUE(route) << type << " " << name;
            EXPECT_EQ(route->owner, RouteOwner::Lighting) << name;
            continue;
        }
        // The macro and key editors' controls: what the window routes goes to that editor, and
        // every plain button is routed (the rest the editor reads when it needs them).
        if (inside(control, "MacroControl") || inside(control, "KeySetControl") ||
            inside(control, "ShootControl")) {
            const RouteOwner owner = inside(control, "MacroControl")    ? RouteOwner::Macro
                                     : inside(control, "KeySetControl") ? RouteOwner::KeySet
                                                                        : RouteOwner::Shoot;
            auto route = route_notification(type, name);
            if (!route)
                route = route_notification("click", name);
            if (route)
                EXPECT_EQ(route->owner, owner) << name;
            else if (std::string_view(type) == "click")
                ADD_FAILURE() << "unrouted button " << name;
            continue;
        }
        const auto route = route_notification(type, name);
        // The profile control's buttons and combo are its own; its name edit commits through
        // its save button, not on losing the focus.
        if (inside_profile_control(control)) {
            if (name != "device_profile_name_edit") {
                EXPECT_TRUE(route && route->owner == RouteOwner::Profile) << name;
            }
            continue;
        }
        ASSERT_TRUE(route) << type << " " << name;
        // Restore default asks first: the window's question, then the selected page.
        if (name == "default_btn") {
            EXPECT_EQ(route->owner, RouteOwner::Window);
            continue;
        }
        EXPECT_TRUE(route->owner == RouteOwner::MousePage ||
                    route->owner == RouteOwner::SelectedPage)
            << name;
    }
    EXPECT_GT(checked, 30);
}

// Enter in the macro name and leaving the constant-delay edit used to stop at the window.
TEST_F(PageRoutes, TheMacroEditsReachTheMacroEditorThroughTheWindow) {
    sim::InProcessSim sim(dir_ / "sim");
    ASSERT_TRUE(sim.started());
    app::CMainWnd wnd(factory(), dir_ / "user", store(), nullptr, sim.backend());
    bool settled = false;
    QObject::connect(&wnd, &app::CMainWnd::settled, [&] { settled = true; });
    ASSERT_TRUE(wnd.create("ZARN_VELQA_R260", QSize(800, 572)));
    ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
    ASSERT_FALSE(wnd.devices().mouse_pages().empty());
    model::CZentovaMouseDevice* page = wnd.devices().mouse_pages().front();
    macro::CMacroControlUI* macros = page->macro_editor();
    ASSERT_NE(macros, nullptr);
    wnd.show_tab(QStringLiteral("macro_Op_tab"));
    QString told;
    platform::ui::Window::set_modal_test_hook([&told](platform::ui::Window& w) {
        told = platform::ui::text(w.find_control("MessageText"));
        qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
    });
    qobject_cast<QAbstractButton*>(page->findChild<QWidget*>("macro_btn_name_add"))->click();
    ASSERT_EQ(macros->library().size(), 1);

    QWidget* name = page->findChild<QWidget*>("macro_edit_macroname");
    platform::ui::set_text(name, QStringLiteral("jump"));
    wnd.send_notify(name, "return");
    EXPECT_EQ(macros->library().names(), std::vector<std::string>{"jump"});

    // A delay below the floor is raised, and the user is told.
    QWidget* fixed = page->findChild<QWidget*>("macro_fixed_time_edit");
    platform::ui::set_text(fixed, QStringLiteral("3"));
    told.clear();
    wnd.send_notify(fixed, "killfocus");
    EXPECT_EQ(platform::ui::text(fixed), "10");
    EXPECT_FALSE(told.isEmpty());
    platform::ui::Window::set_modal_test_hook({});
}

TEST(ApplyDpi, LargeScreensGet144AndSmallerOnes96) {
    EXPECT_EQ(app::dpi_for_screen(QSize(1920, 1080)), 144);
    EXPECT_EQ(app::dpi_for_screen(QSize(1366, 768)), 96);
    // Both sides must be larger.
    EXPECT_EQ(app::dpi_for_screen(QSize(1501, 960)), 96);
    EXPECT_EQ(app::dpi_for_screen(QSize(1501, 961)), 144);
    EXPECT_EQ(app::dpi_for_screen(QSize()), 96);
}

TEST(ApplyDpi, TheDesktopsScaleIsFollowedAndTheWindowFitsTheAvailableArea) {
    const QSize base(1000, 640);
    // No scale from the desktop: the design's choice, when the window fits.
    EXPECT_EQ(app::dpi_for_desktop({2560, 1440}, {2560, 1400}, 1.0, base), 144);
    EXPECT_EQ(app::dpi_for_desktop({1366, 768}, {1366, 740}, 1.0, base), 96);
    // 150 % (QT_SCALE_FACTOR or the desktop's own): Qt enlarges the 96 DPI window itself, and
    // the screen's logical size no longer picks 144 on top of it.
    EXPECT_EQ(app::dpi_for_desktop({2560, 1440}, {2560, 1400}, 1.5, base), 96);
    EXPECT_EQ(app::dpi_for_desktop({1920, 1080}, {1920, 1040}, 2.0, base), 96);
    // 144 would not fit the panel-less area of a 1920 x 1000 screen: the next step down.
    EXPECT_EQ(app::dpi_for_desktop({1920, 1080}, {1920, 900}, 1.0, base), 120);
    // A scaled desktop too small for the window at 96: smaller, but not below the unscaled 96.
    EXPECT_EQ(app::dpi_for_desktop({683, 384}, {683, 360}, 2.0, base), 48);
    EXPECT_EQ(app::dpi_for_desktop({910, 512}, {910, 480}, 1.5, base), 72);
    EXPECT_EQ(app::dpi_for_desktop({800, 600}, {800, 600}, 1.0, base), 96);
}

}  // namespace
}  // namespace velqa::test
