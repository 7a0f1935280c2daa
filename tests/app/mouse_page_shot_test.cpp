// Renders the main window with a mouse page filled with sample values, the power widget and the
// colour picker, in English and in Chinese, and a mouse page bound to the simulated mouse, to PNG
// files under the build tree (shots/), so that the look can be judged without a mouse. The checks
// are only that every image was written.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QStackedWidget>

#include "app/main_wnd.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/ui/controls.h"
#include "support/shipped_sensors.h"
#include "ui/mouse_page.h"
#include "ui/mp_device_power.h"
#include "ui/pallet_dialog.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;

struct Stage {
    int dpi;
    std::uint32_t rgb;
    bool enabled;
};
constexpr Stage kStages[ui::kDpiStageCount] = {{400, 0xFF2D55, true},  {800, 0xFF9F0A, true},
                                               {1600, 0x27E1FF, true}, {3200, 0x30D158, true},
                                               {6400, 0xBF5AF2, true}, {12800, 0xFFFFFF, false}};

class MousePageShot : public AppTest {
  protected:
    QString out(const QString& name) const {
        QDir().mkpath(QStringLiteral(VELQA_SHOT_DIR));
        return QStringLiteral(VELQA_SHOT_DIR "/%1.png").arg(name);
    }
};

QWidget* in(QWidget* page, const QString& name) {
    return pui::Window::find_sub_control_by_name(page, name);
}

// Sample values a gamer would see: six coloured stages with stage 2 active, 1000 Hz, the sensor
// options and a battery at 85% through the receiver.
void fill(QWidget* page) {
    ui::fill_mouse_page_combos(page);
    for (int n = 0; n < ui::kDpiStageCount; ++n) {
        const Stage& s = kStages[n];
        pui::set_value(in(page, QStringLiteral("DPI_slider_%1").arg(n)), s.dpi);
        pui::set_text(in(page, QStringLiteral("DPI_edit_%1").arg(n)), QString::number(s.dpi));
        pui::set_selected(in(page, QStringLiteral("DPI_enable_check_%1").arg(n)), s.enabled, false);
        pui::set_bk_color(in(page, QStringLiteral("DPI_color_option_%1").arg(n)),
                          0xFF000000u | s.rgb);
    }
    ui::show_active_dpi_stage(page, 2);
    pui::set_selected(in(page, "polling_rate_option_3"), true, false);
    pui::set_value(in(page, "polling_rate_slider"), 3);
    for (const char* option :
         {"Silent_Altitude_option_0", "motion_sync_option_1", "Linear_Calibration_option_0",
          "sensor_lif_option_0", "deep_sleep_option_1", "mouse_device_seting_option_0"}) {
        pui::set_selected(in(page, option), true, false);
    }
    pui::set_value(in(page, "Dormancy_slider"), 3);
    pui::select_item(in(page, "Dormancy_combo_timeSelect"), 2, false);
    pui::set_value(in(page, "Key_Delay_slider"), 2);
    pui::select_item(in(page, "Key_Delay_combo_timeSelect"), 2, false);
    pui::select_item(in(page, "Anti_Shake_combo_timeSelect"), 0, false);
    pui::set_value(in(page, "pointer_speed_slider"), 10);
    pui::set_value(in(page, "scroll_speed_slider"), 3);
    pui::set_value(in(page, "double_click_slider"), 500);
    pui::set_selected(in(page, "pointer_precision_check"), true, false);
    // The light zones in the active stage's colour, as the preview paints them.
    for (int n = 0; n < 7; ++n)
        pui::set_bk_color(in(page, QStringLiteral("light_%1").arg(n)),
                          0xFF000000u | kStages[2].rgb);
    pui::select_page(in(page, "device_function_switch"), 3);
}

TEST_F(MousePageShot, RendersEveryPaneInBothLanguages) {
    app::CMainWnd wnd(factory(), dir_ / "user", store());
    bool settled = false;
    QObject::connect(&wnd, &app::CMainWnd::settled, [&] { settled = true; });
    ASSERT_TRUE(wnd.create("ZARN_VELQA_R260", QSize(1000, 640)));
    ASSERT_TRUE(wait_until([&] { return settled; }));
    wnd.set_base_size(QSize(1000, 640));

    QWidget* page = pui::Window::build_layout(ui::kMousePageLayout);
    ASSERT_NE(page, nullptr);
    auto* pages = wnd.find_control_as<QStackedWidget>("device_switch");
    pages->addWidget(page);
    pages->setCurrentWidget(page);
    auto* power = new ui::CMpDevicePowerUI;
    auto* power_switch = wnd.find_control_as<QStackedWidget>("device_power_switch");
    power_switch->addWidget(power);
    power_switch->setCurrentWidget(power);
    wnd.attach_controls(wnd.root());
    wnd.find_control("No_device_Link")->hide();
    power->set_device(2, 0);
    const std::uint8_t status[] = {85, 0, 0, 1, 0, 0};
    power->show_status(status, sizeof status);
    fill(page);

    for (int language : {0, 1}) {
        wnd.apply_language(language);
        ui::fill_mouse_page_combos(page);
        const QString tag = language == 0 ? "en" : "cn";
        auto shoot = [&](const QString& name) {
            QCoreApplication::processEvents();
            EXPECT_TRUE(wnd.grab().save(out(tag + "_" + name), "PNG")) << name.toStdString();
        };
        pui::select_page(in(page, "device_function_switch"), 3);
        pui::set_selected(in(page, "mouse_device_seting_option_0"), true, false);
        pui::select_page(in(page, "mouse_device_seting_layout"), 0);
        shoot("dpi");
        pui::set_selected(in(page, "mouse_device_seting_option_1"), true, false);
        pui::select_page(in(page, "mouse_device_seting_layout"), 1);
        shoot("sensor");
        pui::select_page(in(page, "device_function_switch"), 4);
        shoot("system");

        ui::PalletDialog pallet(&wnd, {dir_ / "user", factory()}, kStages[2].rgb);
        pallet.create("PalletDialog", QSize(800, 572), true);
        pallet.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(pallet.grab().save(out(tag + "_pallet"), "PNG"));
    }
}

// The page as the device manager will make it: bound to the simulated mouse on the receiver,
// reloaded by its lifecycle timer, the battery polled and the preview running.
TEST_F(MousePageShot, RendersAPageBoundToTheSimulatedMouse) {
    model::register_device_pages();
    app::CMainWnd wnd(factory(), dir_ / "user", store());
    bool settled = false;
    QObject::connect(&wnd, &app::CMainWnd::settled, [&] { settled = true; });
    ASSERT_TRUE(wnd.create("ZARN_VELQA_R260", QSize(1000, 640)));
    ASSERT_TRUE(wait_until([&] { return settled; }));
    wnd.set_base_size(QSize(1000, 640));

    sim::InProcessSim sim(dir_ / "sim");
    ASSERT_TRUE(sim.started());
    sim.firmware().set_battery(72, 1);
    auto* page = new model::CZentovaMouseDevice(sim.backend());
    page->set_sensors(test::shipped_sensors());
    page->set_device_name("mouse");
    page->set_device_type(model::ReceiverMouseType, 0);
    page->set_data_folders(factory(), dir_ / "user");
    page->set_main_window(&wnd);
    auto* pages = wnd.find_control_as<QStackedWidget>("device_switch");
    pages->addWidget(page);
    pages->setCurrentWidget(page);
    page->bind_page_controls();
    page->set_profile_file(dir_ / "user" / "profile.Json");
    auto* power = new ui::CMpDevicePowerUI;
    auto* power_switch = wnd.find_control_as<QStackedWidget>("device_power_switch");
    power_switch->addWidget(power);
    power_switch->setCurrentWidget(power);
    power->set_device(2, 0);
    page->set_power_control(power);
    page->set_power_capable(true);
    wnd.attach_controls(wnd.root());
    wnd.find_control("No_device_Link")->hide();
    ASSERT_TRUE(sim.open(page->channel(), sim::Link::Receiver));
    page->on_tile_timer(model::TimerReload);
    page->on_tile_timer(model::TimerPower);
    page->switch_function_page(8);
    // Wait for the preview to paint the light zones.
    ASSERT_TRUE(wait_until([&] { return pui::bk_color(in(page, "light_0")) != 0xFFFFFFFFu; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(wnd.grab().save(out("sim_bound_dpi"), "PNG"));
    delete page;
}

}  // namespace
}  // namespace velqa::test
