// The mouse page bound to the in-process simulated mouse, offscreen: what the page shows after a
// reload, the road of one DPI change to the profile file and the mouse, changes made on the
// mouse, unplugging during a write, the lifecycle timers and stopping the page's threads.
#include <gtest/gtest.h>

#include <QEvent>
#include <QLineEdit>
#include <thread>

#include "device/link/codecs.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/shoot_data.h"
#include "macro/ui/shoot_control.h"
#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "profile/profile_files.h"
#include "profile/ui/light_control.h"
#include "support/shipped_sensors.h"
#include "support/temp_dir.h"
#include "support/waiting.h"
#include "ui/custom_controls.h"
#include "ui/mouse_page.h"
#include "ui/pallet_dialog.h"

namespace velqa::model {
namespace {

namespace pui = platform::ui;
using sim::InProcessSim;
using sim::Link;

void load_skin() {
    test::qt_app();
    static const bool loaded = [] {
        auto& res = pui::Resources::instance();
        res.set_resource_path(test::source_dir() / "skin");
        const bool ok = res.load_resource(QStringLiteral("res.xml"));
        register_device_pages();
        ui::register_custom_controls();
        profile::register_light_controls();
        macro::register_shoot_controls();
        return ok;
    }();
    ASSERT_TRUE(loaded);
}

class MousePage : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        load_skin();
        ASSERT_TRUE(sim_.started());
        page_ = std::make_unique<CZentovaMouseDevice>(sim_.backend());
        page_->set_sensors(test::shipped_sensors());
        page_->set_device_name("mouse");
        page_->set_device_type(type(), 0);
        page_->set_data_folders(test::source_dir() / "DefaultData", dir_.path() / "user");
        page_->bind_page_controls();
        page_->set_profile_file(profile_file());
        ASSERT_TRUE(sim_.open(page_->channel(), GetParam()));
        ASSERT_TRUE(test::eventually([&] { return sim_.nodes().connection_count(GetParam(), 1); }));
        page_->on_tile_timer(TimerReload);
    }
    void TearDown() override { page_.reset(); }

    int type() const { return GetParam() == Link::Cable ? WiredMouseType : ReceiverMouseType; }
    std::filesystem::path profile_file() const { return dir_.path() / "profile.Json"; }
    sim::Firmware& fw() { return sim_.firmware(); }
    QWidget* control(const QString& name) { return page_->find(name); }
    QWidget* stage_control(const char* prefix, int n) {
        return control(QString::fromLatin1(prefix) + QString::number(n));
    }
    std::uint16_t slot0_dpi(int stage) {
        const auto mem = fw().settings_memory();
        const size_t at = 14 + size_t(stage) * 9 + 2;
        return static_cast<std::uint16_t>(mem[at] | mem[at + 1] << 8);
    }
    Json::Value stage_in_file(int stage) {
        return profile::read_json(profile_file())["Device"][0]["DPIStages"][0]["StageDPIs"][stage];
    }
    size_t sent(std::uint8_t code) {
        size_t n = 0;
        for (const auto& r : fw().requests())
            n += r[3] == code;
        return n;
    }
    void type_dpi(int stage, const QString& text) {
        pui::set_text(stage_control("DPI_edit_", stage), text);
        pui::Notification msg{"killfocus", stage_control("DPI_edit_", stage)};
        page_->notify(msg);
    }
    int active_stage_shown() {
        int active = -1;
        for (int n = 0; n < CZentovaMouseDevice::StageCount; ++n) {
            if (pui::is_selected(stage_control("DPI_select_check_", n)))
                active = active < 0 ? n : -2;  // two selected: wrong
        }
        return active;
    }
    void open_notifications() {
        const auto path = sim_.interface_path(GetParam(), 3);
        ASSERT_TRUE(path);
        ASSERT_TRUE(page_->open_notification(*path, type()));
        ASSERT_TRUE(
            test::eventually([&] { return sim_.nodes().connection_count(GetParam(), 1) >= 2; }));
    }

    test::TempDir dir_;
    InProcessSim sim_{dir_.path() / "sim"};
    std::unique_ptr<CZentovaMouseDevice> page_;
};

INSTANTIATE_TEST_SUITE_P(BothPaths, MousePage, ::testing::Values(Link::Cable, Link::Receiver),
                         [](const auto& p) {
                             return std::string(p.param == Link::Cable ? "Cable" : "Receiver");
                         });

TEST_P(MousePage, ShowsWhatTheMouseHoldsAfterAReload) {
    const auto mem = fw().settings_memory();
    for (int n = 0; n < CZentovaMouseDevice::StageCount; ++n) {
        const int dpi = slot0_dpi(n);
        EXPECT_EQ(pui::value(stage_control("DPI_slider_", n)), dpi) << n;
        EXPECT_EQ(pui::text(stage_control("DPI_edit_", n)), QString::number(dpi_display_value(dpi)))
            << n;
        const size_t at = 14 + size_t(n) * 9;
        EXPECT_EQ(pui::is_selected(stage_control("DPI_enable_check_", n)), mem[at] != 0) << n;
        const std::uint32_t argb =
            0xFF000000u | std::uint32_t(mem[at + 6]) << 16 | mem[at + 7] << 8 | mem[at + 8];
        EXPECT_EQ(pui::bk_color(stage_control("DPI_color_option_", n)), argb) << n;
    }
    EXPECT_EQ(active_stage_shown(), mem[12]);
    const int polling = (GetParam() == Link::Receiver ? mem[10] : mem[11]) - 2;
    EXPECT_TRUE(pui::is_selected(stage_control("polling_rate_option_", polling)));
    EXPECT_EQ(pui::maximum(stage_control("DPI_slider_", 0)), page_->core().range().max);
    // The reload started the preview.
    EXPECT_TRUE(page_->light_thread().running());
}

TEST_P(MousePage, ATypedDpiIsClampedSavedAndWrittenToSlotZero) {
    const size_t writes = sent(link::code::WriteSettings);
    type_dpi(2, "27000");
    EXPECT_EQ(pui::value(stage_control("DPI_slider_", 2)), 26000);
    EXPECT_EQ(pui::text(stage_control("DPI_edit_", 2)), "26000");
    EXPECT_EQ(stage_in_file(2)["StageDPIX"].asInt(), 26000);
    EXPECT_EQ(slot0_dpi(2), 26000);
    // 74 bytes in chunks of 56 on the cable and of 24 through the receiver.
    EXPECT_EQ(sent(link::code::WriteSettings) - writes, GetParam() == Link::Cable ? 2u : 4u);

    // Empty counts as the minimum; 1234 is kept and shown as the next multiple of 50.
    type_dpi(2, "");
    EXPECT_EQ(slot0_dpi(2), 50);
    type_dpi(3, "1234");
    EXPECT_EQ(slot0_dpi(3), 1234);
    EXPECT_EQ(pui::text(stage_control("DPI_edit_", 3)), "1250");
}

TEST_P(MousePage, OptionsAndSlidersReachTheRecord) {
    pui::Notification lod{"selectchanged", control("Silent_Altitude_option_1"), 1};
    page_->notify(lod);
    EXPECT_EQ(fw().settings_memory()[13], 1);
    pui::Notification slider{"valuechanged", stage_control("DPI_slider_", 4), 4000};
    page_->notify(slider);
    EXPECT_EQ(slot0_dpi(4), 4000);
    EXPECT_EQ(pui::text(stage_control("DPI_edit_", 4)), "4000");
    // Pointer settings stay in the profile.
    const size_t writes = sent(link::code::WriteSettings);
    pui::Notification pointer{"valuechanged", control("pointer_speed_slider"), 7};
    page_->notify(pointer);
    EXPECT_EQ(sent(link::code::WriteSettings), writes);
    EXPECT_EQ(profile::read_json(profile_file())["Device"][0]["SystemStages"]["MouseSpeed"].asInt(),
              7);
    // Clicking a stage's edit makes it the active stage.
    pui::Notification click{"setfocus", stage_control("DPI_edit_", 5)};
    page_->notify(click);
    EXPECT_EQ(active_stage_shown(), 5);
    EXPECT_EQ(fw().settings_memory()[12], 5);
}

TEST_P(MousePage, ADpiPressOnTheMouseMovesTheActiveStage) {
    open_notifications();
    // A change made on the page before the press must not be undone by the refresh it causes.
    type_dpi(1, "5000");
    const int before = active_stage_shown();
    fw().press_dpi();
    const int now = fw().active_stage();
    ASSERT_NE(now, before);
    EXPECT_TRUE(test::wait_until([&] { return active_stage_shown() == now; }));
    EXPECT_EQ(pui::text(stage_control("DPI_edit_", 1)), "5000");
    EXPECT_EQ(pui::value(stage_control("DPI_slider_", 1)), 5000);
}

TEST_P(MousePage, ASettingChangedOnTheMouseReloadsThePage) {
    open_notifications();
    ASSERT_TRUE(pui::is_selected(control("Silent_Altitude_option_0")));
    ASSERT_TRUE(fw().change_setting(13, 1));
    // The event starts the settings reload after a short delay; the page then shows the change.
    EXPECT_TRUE(
        test::wait_until([&] { return pui::is_selected(control("Silent_Altitude_option_1")); }));
    EXPECT_EQ(profile::read_json(profile_file())["Device"][0]["SystemStages"]["SilentAltitudeItem"]
                  .asInt(),
              1);
}

TEST_P(MousePage, AColourChosenInThePickerBecomesTheStageColour) {
    int answered = 0;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        auto* picker = qobject_cast<ui::PalletDialog*>(&w);
        ASSERT_NE(picker, nullptr);
        picker->set_color(answered++ == 0 ? 0x123456u : 0xABCDEFu);
        // The second time the user cancels.
        w.close_window(answered == 1 ? 1 : 0);
    });
    pui::Notification click{"click", stage_control("DPI_color_option_", 3)};
    page_->notify(click);
    pui::Notification again{"click", stage_control("DPI_select_check_", 3)};
    page_->notify(again);
    pui::Window::set_modal_test_hook({});
    EXPECT_EQ(answered, 2);
    const auto mem = fw().settings_memory();
    const size_t at = 14 + 3 * 9 + 6;
    EXPECT_EQ(mem[at], 0x12);
    EXPECT_EQ(mem[at + 1], 0x34);
    EXPECT_EQ(mem[at + 2], 0x56);
    EXPECT_EQ(pui::bk_color(stage_control("DPI_color_option_", 3)), 0xFF123456u);
    EXPECT_EQ(stage_in_file(3)["StageColorB"].asInt(), 0x56);
    // The click on the select check did not change the active stage shown.
    EXPECT_EQ(active_stage_shown(), fw().settings_memory()[12]);
}

TEST_P(MousePage, UnpluggingDuringAWriteNeitherHangsNorDamagesTheProfile) {
    const size_t requests = fw().requests().size();
    std::thread unplug([&] {
        // Pull the mouse as soon as the write has begun.
        if (test::eventually([&] { return fw().requests().size() > requests; }))
            fw().set_plugged(GetParam(), false);
    });
    type_dpi(1, "5000");
    unplug.join();
    // Whatever reached the mouse, the profile holds the change and is whole.
    const Json::Value doc = profile::read_json(profile_file());
    ASSERT_TRUE(doc.isObject());
    EXPECT_EQ(doc["Device"][0]["DPIStages"][0]["StageDPIs"][1]["StageDPIX"].asInt(), 5000);
    // A later change while unplugged returns too and is still saved.
    type_dpi(1, "6000");
    EXPECT_EQ(stage_in_file(1)["StageDPIX"].asInt(), 6000);
}

TEST_P(MousePage, DestroyingARunningPageStopsEveryThread) {
    open_notifications();
    ASSERT_TRUE(page_->light_thread().running());
    ASSERT_TRUE(page_->notifications().worker_running(type()));
    platform::DebugCapture debug;
    page_.reset();
    EXPECT_TRUE(debug.contains("MS灯光线程设定退出"));
    EXPECT_TRUE(debug.contains("MS 设备同步线程设定退出"));
    EXPECT_FALSE(debug.contains("超时"));
}

TEST_P(MousePage, TheLinkCheckRetriesUntilTheMouseAnswers) {
    if (GetParam() == Link::Cable)
        GTEST_SKIP() << "the cable needs no link check";
    fw().set_linked(false);
    for (int expected : {1, 2, 3, 4, 0, 1}) {
        page_->on_tile_timer(TimerReload);
        EXPECT_EQ(page_->link_retries(), expected);
        EXPECT_TRUE(page_->tile_timer_active(TimerReload));
    }
    fw().set_linked(true);
    page_->set_power_capable(true);
    page_->on_tile_timer(TimerReload);
    EXPECT_EQ(page_->link_retries(), 0);
    EXPECT_TRUE(page_->tile_timer_active(TimerPower));
    std::vector<unsigned> messages;
    QObject::connect(page_.get(), &CZentovaUSBDevice::window_message,
                     [&](unsigned m, quintptr) { messages.push_back(m); });
    page_->on_tile_timer(TimerPower);
    EXPECT_NE(std::find(messages.begin(), messages.end(), MsgPowerStatus), messages.end());
    EXPECT_TRUE(page_->tile_timer_active(TimerPower));
}

// ---- The base page without a device ----

TEST(DevicePage, BindsOnlyTheControlsWithinItsCounts) {
    load_skin();
    CZentovaMouseDevice page;
    page.set_device_name("mouse");
    page.set_key_count(2);
    page.set_light_count(3);
    page.bind_page_controls();
    EXPECT_EQ(pui::bk_color(page.find("light_2")), 0xFFFFFFFFu);
    EXPECT_NE(pui::bk_color(page.find("light_3")), 0xFFFFFFFFu);
    page.set_led_entry(1, LedEntry{10, 20, 30, 255}.packed());
    page.set_led_entry(9, 1);  // outside the frame: ignored
    EXPECT_EQ(page.led_entry(9), 0u);
    EXPECT_EQ(page.led_entry(1), (LedEntry{10, 20, 30, 255}.packed()));

    // Without "SelectPanel" nothing is bound.
    CZentovaUSBDevice bare;
    bare.set_device_name("mouse");
    bare.set_light_count(3);
    bare.bind_page_controls();
    bare.set_led_entry(0, 0xFFFFFFFFu);
    bare.show_led_frame();  // nothing bound, nothing painted, no crash
    EXPECT_EQ(bare.light_count(), 3);
}

TEST(DevicePage, FunctionPageFourOnTheReceiverMouseShowsPageSeven) {
    load_skin();
    CZentovaMouseDevice page;
    page.set_device_name("mouse");
    page.bind_page_controls();
    auto tabs = [&] {
        return std::pair(pui::current_page(page.find("device_function_switch")),
                         pui::current_page(page.find("device_key_function_switch")));
    };
    page.set_device_type(6, 0);
    page.switch_function_page(7);
    const auto seven = tabs();
    page.switch_function_page(3);
    page.switch_function_page(4);
    EXPECT_EQ(tabs(), seven);
    EXPECT_FALSE(page.find("device_tishi_info")->isVisible());
}

}  // namespace
}  // namespace velqa::model

namespace velqa::model {
namespace {

TEST_P(MousePage, ALightingChangeReachesThePreviewTheProfileAndTheMouse) {
    profile::CLightControlUI* editor = page_->light_editor();
    ASSERT_NE(editor, nullptr);
    // After the reload the editor shows the profile's record, in the mouse's table.
    EXPECT_EQ(editor->light_info(), page_->profile().light_info());
    EXPECT_EQ(editor->light_type(), WiredMouseType);
    EXPECT_GT(pui::item_count(editor->control(QStringLiteral("light_combo_modeSelect"))), 0);
    // The main window's wiring.
    QObject::connect(editor, &profile::CLightControlUI::light_changed, page_.get(),
                     &CZentovaMouseDevice::change_lighting);

    const std::uint8_t old_mode = page_->profile().light_info().mode;
    pui::select_item(editor->control(QStringLiteral("light_combo_modeSelect")), 3, false);
    pui::Notification mode{"itemselect", editor->control(QStringLiteral("light_combo_modeSelect")),
                           3};
    editor->on_notify(mode);
    pui::Notification colour{"colorchanged", editor->control(QStringLiteral("deng_Color_Pallet")),
                             0x0A141E};
    editor->on_notify(colour);

    const auto mem = fw().settings_memory();
    EXPECT_EQ(mem[1], 3);  // static's device code
    EXPECT_EQ(mem[6], 0x0A);
    EXPECT_EQ(mem[7], 0x14);
    EXPECT_EQ(mem[8], 0x1E);
    const Json::Value light = profile::read_json(profile_file())["Device"][0]["LightInfo"];
    EXPECT_EQ(light["SelectItem"].asInt(), 3);
    EXPECT_EQ(light["Blue"].asInt(), 0x1E);
    if (old_mode != 3) {
        EXPECT_EQ(light["OldLedmode"].asInt(), old_mode);
    }
    // The preview follows at once.
    const LightingState shown = page_->light_thread().lighting();
    EXPECT_EQ(shown.mode, 3);
    EXPECT_EQ(shown.green, 0x14);
}

TEST_P(MousePage, ALightingChangeBeforeTheMouseIsReadSendsNothing) {
    CZentovaMouseDevice fresh(sim_.backend());
    fresh.set_device_name("mouse");
    fresh.set_data_folders(test::source_dir() / "DefaultData", dir_.path() / "user2");
    fresh.set_profile_file(dir_.path() / "fresh.Json");
    const size_t requests = fw().requests().size();
    profile::LightInfo info;
    info.mode = 4;
    fresh.change_lighting(info);
    EXPECT_EQ(fw().requests().size(), requests);
    EXPECT_NE(fresh.profile().light_info().mode, 4);
}

// A gamer edits one bullet of each gun on the page, then presses "Write": the mouse's shooting
// memory holds the image of the four edited files, byte for byte.
TEST_P(MousePage, FourEditedPatternsReachTheMouseByteForByte) {
    macro::CShootControlUI* editor = page_->shoot_editor();
    ASSERT_NE(editor, nullptr);
    ASSERT_GE(editor->current_bullet(), 0);
    // The main window hands the editor's notifications to it; so does this test.
    const auto route = [&](const char* type, const QString& name, pui::WParam wparam = 0) {
        QWidget* c = editor->control(name);
        ASSERT_NE(c, nullptr) << name.toStdString();
        if (std::string_view(type) == "selectchanged")
            pui::set_selected(c, true, false);
        pui::Notification msg{type, c, wparam};
        editor->on_notify(msg);
    };
    const auto type = [&](const char* name, int value) {
        auto* edit = qobject_cast<QLineEdit*>(editor->control(QString::fromLatin1(name)));
        ASSERT_NE(edit, nullptr) << name;
        edit->setText(QString::number(value));
        pui::Notification msg{"killfocus", edit};
        editor->on_notify(msg);
    };
    const std::vector<std::uint8_t> before = editor->patterns().image();
    for (int gun = 0; gun < macro::GunCount; ++gun) {
        route("selectchanged", QStringLiteral("shoot_gun_op_%1").arg(gun), 1);
        route("selectchanged", QStringLiteral("bullet_op_%1").arg(5 + gun), 1);
        ASSERT_EQ(editor->current_gun(), gun);
        ASSERT_EQ(editor->current_bullet(), 5 + gun);
        type("bullet_x_eidt", 3 + gun);
        type("bullet_y_eidt", 7 + gun);
        type("bullet_delay_eidt", 40 + gun);
        const auto bullets = editor->patterns().load_bullets(gun);
        ASSERT_TRUE(bullets);
        const macro::Bullet saved = (*bullets)[size_t(5 + gun)];
        EXPECT_EQ(saved.x, 3 + gun);
        EXPECT_EQ(saved.y, 7 + gun);
        EXPECT_EQ(saved.delay, 40 + gun);
    }
    const std::vector<std::uint8_t> image = editor->patterns().image();
    ASSERT_EQ(image.size(), 2920u);
    ASSERT_NE(image, before);

    bool written = false;
    QObject::connect(page_.get(), &CZentovaMouseDevice::shooting_written,
                     [&](bool ok) { written = ok; });
    route("click", QStringLiteral("shootdate_save_btn"));
    EXPECT_TRUE(written);
    const auto memory = fw().shooting_memory();
    ASSERT_GE(memory.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
    EXPECT_FALSE(fw().config_open());
}

}  // namespace
}  // namespace velqa::model

namespace velqa::model {
namespace {

// A profile apply whose settings and key writes the mouse both refuses: one notice, the
// profile keeps the new assignment, and "Write to mouse" applies it once the mouse answers.
TEST_P(MousePage, RefusedKeyWritesAreToldOnceAndKeptForARetry) {
    std::vector<QString> told;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        told.push_back(pui::text_id(w.find_control(QStringLiteral("MessageText"))));
        w.close_window(0);
    });
    page_->select_key(1);
    const profile::KeyCode code{0x10, 0x08, 0};  // the forward button's function
    page_->store_key(code);
    const auto before = fw().key_table();
    fw().inject_fault(sim::Fault::StatusFF, 50);
    page_->apply_profile_file(profile_file());
    EXPECT_TRUE(test::wait_until([&] { return !told.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(told, std::vector<QString>{QStringLiteral("device_write_failed_text")});
    fw().clear_faults();
    EXPECT_EQ(fw().key_table(), before);
    EXPECT_EQ(profile::read_json(profile_file())["Device"][0]["KeyList"][1]["Assignment"].asInt(),
              code.to_int());

    EXPECT_TRUE(page_->write_buttons(CZentovaMouseDevice::ButtonsFor::WriteButton));
    EXPECT_NE(fw().key_table(), before);
    QCoreApplication::processEvents();
    pui::Window::set_modal_test_hook({});
    EXPECT_EQ(told.size(), 1u);
}

// A control restyled parses its sheet again, and its images and palettes made anew each leave
// another pixmap in Qt's cache: memory grew with every applied profile. The same profile applied
// again, and the active stage moved and moved back, restyle no control.
TEST_P(MousePage, ApplyingAProfileAgainRestylesNoControl) {
    page_->apply_profile_file(profile_file());
    struct Restyles : QObject {
        QWidget* page = nullptr;
        QStringList seen;
        bool eventFilter(QObject* watched, QEvent* event) override {
            auto* w = qobject_cast<QWidget*>(watched);
            if (event->type() == QEvent::StyleChange && w != nullptr && page->isAncestorOf(w))
                seen << w->objectName();
            return false;
        }
    } restyles;
    restyles.page = page_.get();
    qApp->installEventFilter(&restyles);
    const int active = active_stage_shown();
    for (int i = 0; i < 3; ++i)
        page_->apply_profile_file(profile_file());
    ui::show_active_dpi_stage(page_.get(), (active + 1) % CZentovaMouseDevice::StageCount);
    ui::show_active_dpi_stage(page_.get(), active);
    qApp->removeEventFilter(&restyles);
    EXPECT_EQ(restyles.seen, QStringList()) << restyles.seen.join(' ').toStdString();
    EXPECT_EQ(active_stage_shown(), active);
}

}  // namespace
}  // namespace velqa::model

namespace velqa::model {
namespace {

// A change the profile file cannot take is told with the reason; the mouse still gets it.
TEST_P(MousePage, AChangeTheProfileCannotKeepIsToldWithTheReason) {
    std::vector<QString> told;
    pui::Window::set_modal_test_hook([&](pui::Window& w) {
        told.push_back(pui::text(w.find_control(QStringLiteral("MessageText"))));
        w.close_window(0);
    });
    std::filesystem::remove(profile_file());
    std::filesystem::create_directory(profile_file());
    type_dpi(1, QStringLiteral("1600"));
    EXPECT_TRUE(test::wait_until([&] { return !told.empty(); }));
    pui::Window::set_modal_test_hook({});
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].startsWith(
        pui::LanguageTexts::instance().text(QStringLiteral("profile_change_not_saved_text"))));
    EXPECT_TRUE(told[0].contains(QStringLiteral("damaged bytes could not be kept")))
        << told[0].toStdString();
    EXPECT_EQ(slot0_dpi(1), 1600);
}

// The music lighting goes the one way in: held in its ranges and saved.
TEST_P(MousePage, MusicLightingIsHeldAndSaved) {
    page_->change_audio_lighting(profile::AudioLightInfo{9, 1, 2, 3, 4, 5, 6, 7, 8});
    const Json::Value audio = profile::read_json(profile_file())["Device"][0]["AudioLightInfo"];
    EXPECT_EQ(audio["AudioMode"].asInt(), 3);
    EXPECT_EQ(audio["FgColorB"].asInt(), 6);
    EXPECT_EQ(audio["7ColorFlags"].asInt(), 1);
    EXPECT_EQ(audio["ColorTypeFlags"].asInt(), 1);
}

}  // namespace
}  // namespace velqa::model
