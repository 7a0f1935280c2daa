// What the window does with the simulated mouse once its parts are joined up: the preview pause
// of a newly selected effect, the power widget's click, the game and link messages, activation
// and hover, the key-table merge, custom effects and light sync's own effect.
#include <json/json.h>

#include <QComboBox>
#include <QEnterEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <set>

#include "app/light_sync.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/key_names.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "profile/profile_data.h"
#include "profile/ui/light_control.h"
#include "ui/device_option.h"
#include "ui/mp_device_power.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;
using sim::InProcessSim;
using sim::Link;

void write_text(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

class WiringTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }

    // The simulator with the given links plugged, and the settled window over its nodes.
    void start(bool cable, bool receiver) {
        sim = std::make_unique<InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        if (!cable) {
            sim->unplug(Link::Cable);
        }
        if (!receiver) {
            sim->unplug(Link::Receiver);
        }
        wnd =
            std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
    }

    Json::Value tile0() const {
        return platform::element(platform::parse_json(wnd->automation_state())["tiles"], 0);
    }
    model::CZentovaMouseDevice* page() const {
        return wnd->devices().mouse_pages().empty() ? nullptr
                                                    : wnd->devices().mouse_pages().front();
    }
    // Byte `offset` of the active slot's settings record in the simulated mouse.
    int record_byte(std::size_t offset) const {
        const auto memory = sim->firmware().settings_memory();
        return memory[memory[0] * link::MouseSlotStride + offset];
    }

    std::unique_ptr<InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    bool settled = false;
};

// Choosing an effect stops the preview until the mouse's settings are read back; the read shows
// the effect the mouse took and lets the preview run again.
TEST_F(WiringTest, ASelectedEffectPausesThePreviewUntilTheMouseIsReadBack) {
    start(true, false);
    profile::CLightControlUI* editor = page()->light_editor();
    ASSERT_NE(editor, nullptr);
    QWidget* modes = editor->control(QStringLiteral("light_combo_modeSelect"));
    const int before = editor->current_mode();
    const int effect_byte = record_byte(1);
    const std::uint64_t reads = sim->firmware().command_count(0x05);
    const int chosen = before == 2 ? 1 : 2;  // breathing or the colour wheel: both animate
    ASSERT_TRUE(pui::select_item(modes, chosen));
    EXPECT_EQ(page()->channel().preview_pause(), 1);
    ASSERT_TRUE(wait_until([&] { return page()->channel().preview_pause() == 0; }));
    EXPECT_GT(sim->firmware().command_count(0x05), reads);
    EXPECT_NE(record_byte(1), effect_byte);
    EXPECT_EQ(editor->current_mode(), chosen);
    model::MouseLightThread& light = page()->light_thread();
    const std::uint64_t frames = light.frames();
    ASSERT_TRUE(wait_until([&] { return light.frames() > frames; })) << "the preview runs again";
}

// The battery widget shows a pointing hand: a click on it opens where sleep and power are set.
TEST_F(WiringTest, ClickingTheBatteryOpensTheSensorAndPowerSettings) {
    start(true, false);
    wnd->show_tab(QStringLiteral("key_Op_tab"));
    ui::CMpDevicePowerUI* power = page()->power_control();
    ASSERT_NE(power, nullptr);
    ASSERT_TRUE(power->isVisible());
    EXPECT_EQ(power->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(power, Qt::LeftButton);
    EXPECT_TRUE(pui::is_selected(wnd->tab_button(CMainWnd::kPerformanceTab)));
    EXPECT_FALSE(pui::is_selected(wnd->tab_button(CMainWnd::kKeyTab)));
    EXPECT_EQ(page()->function_page(), 8);
    EXPECT_EQ(pui::current_page(page()->find(QStringLiteral("mouse_device_seting_layout"))), 1);
    EXPECT_TRUE(pui::is_selected(page()->find(QStringLiteral("mouse_device_seting_option_1"))));
}

// A game's events reach the window as its registered messages and light every device: in the
// event's own colour, or the one the game sent, as often as the event says; then the page's own
// lighting comes back.
TEST_F(WiringTest, GameEventsFlashTheDevicesLights) {
    start(true, false);
    const app::RegisteredMessages& ids = app::registered_messages();
    const std::set<unsigned> numbers{ids.game_start, ids.game_end, ids.game_kill, ids.game_death,
                                     ids.identity};
    EXPECT_EQ(numbers.size(), 5u);
    EXPECT_EQ(numbers.count(0), 0u);

    const std::uint32_t green = app::pack_sync_colour(0, 255, 0, 255);
    std::vector<std::uint32_t> seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto shown = page()->flash_shown();
        if (shown && (seen.empty() || seen.back() != *shown))
            seen.push_back(*shown);
        if (!shown && !seen.empty() && seen.back() != 0)
            seen.push_back(0);
    });
    probe.start(5);
    wnd->post_message(ids.game_kill, 2, 0);  // two kills: two green flashes
    ASSERT_TRUE(wait_until([&] { return page()->flash_shown() == green; }));
    EXPECT_EQ(page()->led_entry(0), green);
    ASSERT_TRUE(wait_until([&] {
        return !page()->flash_shown() && std::count(seen.begin(), seen.end(), green) == 2;
    }));
    EXPECT_NE(page()->led_entry(0), green) << "the page's own lighting is back";

    wnd->post_message(ids.game_death, 0, 0x123456);
    ASSERT_TRUE(wait_until(
        [&] { return page()->flash_shown() == app::pack_sync_colour(0x12, 0x34, 0x56, 255); }));
    // Asleep, a game's messages wait like every other.
    ASSERT_TRUE(wait_until([&] { return !page()->flash_shown(); }));
    wnd->send_message(app::kMsgPowerBroadcast, app::kPowerSuspend, 0);
    wnd->send_message(ids.game_start, 0, 0);
    EXPECT_FALSE(page()->flash_shown());
    wnd->send_message(app::kMsgPowerBroadcast, app::kPowerResume, 0);
}

// The receiver stays while the mouse behind it goes away: the page tells the window (0xD03 with
// 0) and the tile goes within the battery poll's period; back, the mouse's tile shows again.
TEST_F(WiringTest, TheReceiverLosingTheMouseHidesItsTile) {
    start(false, true);
    auto shown = [&] { return tile0()["visible"].asBool() && tile0()["link"] == "receiver"; };
    ASSERT_TRUE(wait_until(shown));
    ASSERT_TRUE(wait_until([&] { return page()->power_control()->last_status().has_value(); }));
    std::vector<std::pair<quintptr, qintptr>> tile_link;
    QObject::connect(page(), &model::CZentovaUSBDevice::window_message,
                     [&](unsigned message, quintptr w, qintptr l) {
                         if (message == app::kMsgTileLink)
                             tile_link.emplace_back(w, l);
                     });
    sim->firmware().set_linked(false);  // as "velqa-sim ctl link off"
    ASSERT_TRUE(wait_until([&] { return !tile0()["visible"].asBool(); }, 15000));
    ASSERT_FALSE(tile_link.empty());
    EXPECT_EQ(tile_link.front(), std::make_pair(quintptr(page()->kind_row()), qintptr(0)));
    EXPECT_TRUE(platform::parse_json(wnd->automation_state())["no_device_link"].asBool());

    sim->firmware().set_linked(true);
    ASSERT_TRUE(wait_until(shown, 15000));
    EXPECT_EQ(tile_link.back().second, 1);
}

// The window tells its pages when it gains and loses the focus and when the pointer enters and
// leaves it, through the messages the table routes.
TEST_F(WiringTest, PagesLearnWhetherTheWindowIsActiveAndHovered) {
    start(true, false);
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QCoreApplication::sendEvent(wnd.get(), &enter);
    ASSERT_TRUE(wait_until([&] { return page()->hovered(); }));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(wnd.get(), &leave);
    ASSERT_TRUE(wait_until([&] { return !page()->hovered(); }));

    // What the window system delivers when the user clicks into the window and then elsewhere.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(wnd.get(), &activate);
    ASSERT_TRUE(wait_until([&] { return page()->window_active(); }));
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(wnd.get(), &deactivate);
    ASSERT_TRUE(wait_until([&] { return !page()->window_active(); }));
}

// A button given another function on the mouse (by another program, or by hand in another
// profile) shows on the Buttons page once the page has loaded the mouse again, and the profile
// keeps it.
TEST_F(WiringTest, AKeyChangedOnTheMouseShowsOnTheButtonsPageAfterALoad) {
    start(true, false);
    QWidget* key2 = page()->find(QStringLiteral("key_2"));
    ASSERT_NE(key2, nullptr);
    const profile::KeyCode back{0x01, 0x08, 0x00};
    ASSERT_NE(page()->profile().read_key_list().at(2).current, back);
    ASSERT_TRUE(sim->firmware().set_key(2, 0x01, 0x08, 0x00));
    page()->start_tile_timer(model::TimerReload, 1);
    ASSERT_TRUE(
        wait_until([&] { return page()->profile().read_key_list().at(2).current == back; }));
    QString label;
    for (const macro::LabelPart& part : macro::assignment_label(back, {}))
        label += part.literal
                     ? QString::fromStdString(part.text)
                     : pui::LanguageTexts::instance().text(QString::fromStdString(part.text));
    EXPECT_TRUE(key2->toolTip().endsWith(label)) << key2->toolTip().toStdString();
    // Stored: a new page of the same profile file shows it too.
    profile::CMouseProfiledata stored;
    stored.set_device_index(0);
    stored.load_section(page()->profile().profile_path());
    EXPECT_EQ(stored.read_key_list().at(2).current, back);
}

// The custom effects listed in "tavix_light.config" beside the profiles show in the lighting
// editor; the one applied reaches the mouse and the preview. An entry naming a file outside the
// folder, or a file that is missing, changes nothing.
TEST_F(WiringTest, CustomEffectsFromTheListReachTheMouseAndThePreview) {
    const std::filesystem::path folder = dir_ / "user" / "mouse";
    std::filesystem::create_directories(folder);
    write_text(folder / "tavix_light.config",
               R"({"LightInfo": [[{"LightName": "Sunset", "Guid": "sunset"},
                                  {"LightName": "Escape", "Guid": "../../outside"},
                                  {"LightName": "Missing", "Guid": "nothere"}]]})");
    const char* effect = R"({"LEDEffectList": [{"LEDREGMode": 3, "LEDBrightness": 4,
        "LEDSpeed": 2, "LEDDirection": 0, "LEDMultiColor": 0, "red": 17, "green": 34,
        "blue": 51, "Time": 1000, "Cyle": 1}]})";
    write_text(folder / "sunset.light", effect);
    write_text(dir_ / "outside.light", effect);
    start(true, false);
    profile::CLightControlUI* editor = page()->light_editor();
    ASSERT_NE(editor, nullptr);
    QWidget* combo = editor->control(QStringLiteral("light_combo_custommodeSelect"));
    ASSERT_EQ(pui::item_count(combo), 3);
    EXPECT_EQ(pui::item_data(combo, 0).toString(), "Sunset");
    EXPECT_FALSE(editor->control(QStringLiteral("lightcustom_layout"))->isHidden());

    const auto before = sim->firmware().settings_memory();
    ASSERT_TRUE(pui::select_item(combo, 1));
    ASSERT_TRUE(pui::select_item(combo, 2));
    QTest::qWait(100);
    EXPECT_EQ(sim->firmware().settings_memory(), before) << "refused entries send nothing";

    ASSERT_TRUE(pui::select_item(combo, 0));
    ASSERT_TRUE(wait_until([&] { return record_byte(6) == 17; }));
    EXPECT_EQ(record_byte(7), 34);
    EXPECT_EQ(record_byte(8), 51);
    EXPECT_EQ(page()->profile().light_info().custom_group, 1);
    EXPECT_EQ(editor->current_mode(), 3);
    const Json::Value dump = sim->firmware().dump();
    EXPECT_NE(dump.toStyledString().find("112233"), std::string::npos) << "seen in the dump";
    ASSERT_TRUE(wait_until([&] { return (page()->led_entry(0) & 0xFFFFFF) == 0x332211u; }))
        << "the preview shows it";

    // A damaged list offers nothing and stays on disk as it was.
    write_text(folder / "tavix_light.config", "{ not json");
    page()->set_profile_file(page()->profile().profile_path());
    page()->refresh_page();
    EXPECT_EQ(pui::item_count(combo), 0);
    EXPECT_TRUE(editor->control(QStringLiteral("lightcustom_layout"))->isHidden());
}

// With light sync on, the lighting editor chooses what every synced device shows: the effect,
// its colour and speed are in force at once and again after a restart.
TEST_F(WiringTest, LightSyncsEffectIsChosenInTheLightingEditorAndKept) {
    start(true, false);
    ASSERT_NE(wnd->devices().light_sync(), nullptr);
    ui::CDeviceOptionUI* t = wnd->devices().tile(0);
    page()->set_multiple_devices(true);  // as with a second device shown
    pui::set_selected(t->sync_box(), true);
    ASSERT_TRUE(page()->light_sync());
    profile::CLightControlUI* editor = page()->light_editor();
    ASSERT_NE(editor, nullptr);
    pui::set_text(editor->control(QStringLiteral("deng_edit_R")), QStringLiteral("18"));
    pui::set_text(editor->control(QStringLiteral("deng_edit_G")), QStringLiteral("52"));
    pui::set_text(editor->control(QStringLiteral("deng_edit_B")), QStringLiteral("86"));
    wnd->send_notify(editor->control(QStringLiteral("deng_edit_B")), "killfocus");
    const int static_mode = 3;
    if (editor->current_mode() == static_mode) {
        ASSERT_TRUE(pui::select_item(editor->control(QStringLiteral("light_combo_modeSelect")), 2));
    }
    ASSERT_TRUE(
        pui::select_item(editor->control(QStringLiteral("light_combo_modeSelect")), static_mode));
    const app::SyncChoice steady{int(app::SyncEffect::Steady), editor->speed(), 0x123456, false};
    EXPECT_EQ(wnd->devices().light_sync()->choice(), steady);
    const std::uint32_t synced = app::pack_sync_colour(0x12, 0x34, 0x56, 255);
    ASSERT_TRUE(wait_until([&] { return page()->led_entry(0) == synced; }));

    wnd.reset();
    settled = false;
    wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
    QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
    ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
    ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
    ASSERT_NE(wnd->devices().light_sync(), nullptr);
    EXPECT_EQ(wnd->devices().light_sync()->choice(), steady);
}

}  // namespace
}  // namespace velqa::test
