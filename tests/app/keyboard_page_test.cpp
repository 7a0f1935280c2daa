// A simulated keyboard end to end through the main window: found with the identifiers of a
// test configuration, shown with its values, configured (each page change reaches the
// keyboard's record byte for byte), its per-key colours both ways, the reactive lighting and the
// lighting stream. The window is also rendered to PNG files under the build tree (shots/).
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QDir>
#include <QLineEdit>
#include <QStackedWidget>

#include "app/main_wnd.h"
#include "app_fixture.h"
#include "device/model/ui/keyboard_device.h"
#include "in_process_sim.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"
#include "profile/profile_files.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using model::CZentovaKeyboardDevice;
using sim::InProcessSim;
using sim::Link;

constexpr int Keys = 104;

class KeyboardPageTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }
    void start(bool cable = true, bool receiver = false) {
        sim::FirmwareOptions options;
        options.device = sim::SimDevice::Keyboard;
        options.keys = Keys;
        const auto config = source_dir() / "tests" / "app" / "keyboard_test_config.json";
        auto data = link::load_device_data(factory(), config);
        ASSERT_TRUE(data.problems.empty());
        sim = std::make_unique<InProcessSim>(
            dir_ / "sim", options, 0, sim::keyboard_identity(*link::read_keyboard_ids(config)));
        ASSERT_TRUE(sim->started());
        if (!cable) {
            sim->unplug(Link::Cable);
        }
        if (!receiver) {
            sim->unplug(Link::Receiver);
        }
        wnd = std::make_unique<app::CMainWnd>(
            factory(), dir_ / "user", store(), nullptr, sim->backend(),
            std::make_shared<const link::DeviceCatalog>(std::move(data.catalog)));
        QObject::connect(wnd.get(), &app::CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(1000, 640)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_TRUE(wait_until([&] { return page() != nullptr && page()->device_loaded(); }));
    }
    CZentovaKeyboardDevice* page() const {
        return wnd->devices().keyboard_pages().empty() ? nullptr
                                                       : wnd->devices().keyboard_pages().front();
    }
    QWidget* find(const char* name) const { return page()->find(QString::fromLatin1(name)); }
    QWidget* find(const QByteArray& name) const { return find(name.constData()); }
    std::vector<std::uint8_t> record() const {
        const auto mem = sim->firmware().settings_memory();
        const std::size_t at = mem[0] * 33u;
        return {mem.begin() + static_cast<long>(at), mem.begin() + static_cast<long>(at + 34)};
    }
    Json::Value saved() const { return profile::read_json(page()->profile_path())["Device"][0]; }
    QString shot(const QString& name) const {
        QDir().mkpath(QStringLiteral(VELQA_SHOT_DIR));
        return QStringLiteral(VELQA_SHOT_DIR "/%1.png").arg(name);
    }
    // A lighting mode chosen in the editor.
    void choose_mode(int mode) {
        profile::LightInfo info = page()->profile().light_info();
        info.mode = static_cast<std::uint8_t>(mode);
        page()->change_lighting(info);
    }

    std::unique_ptr<InProcessSim> sim;
    std::unique_ptr<app::CMainWnd> wnd;
    bool settled = false;
};

TEST_F(KeyboardPageTest, FoundShownAndItsTileSaysKeyboard) {
    start();
    ASSERT_EQ(wnd->devices().keyboard_pages().size(), 1u);
    EXPECT_EQ(wnd->devices().selected_page(), page());
    EXPECT_EQ(page()->link_mode(), 1);
    EXPECT_EQ(page()->core().key_count(), Keys);
    // The mouse's page is made at start-up; only the keyboard's tile shows.
    int shown = 0;
    const Json::Value state = platform::parse_json(wnd->automation_state());
    for (const Json::Value& tile : state["tiles"]) {
        if (tile["visible"].asBool()) {
            ++shown;
            EXPECT_EQ(tile["kind"].asString(), "keyboard");
            EXPECT_EQ(tile["link"].asString(), "cable");
        }
    }
    EXPECT_EQ(shown, 1);
    // The page shows the keyboard's record: 1000 Hz, repeat 3, delay 2.
    EXPECT_TRUE(pui::is_selected(find("polling_rate_option_3")));
    EXPECT_EQ(pui::value(find("repeat_rate_slider")), 3);
    EXPECT_TRUE(pui::is_selected(find("repeat_delay_check_2")));
    EXPECT_TRUE(page()->notifications().is_open(model::WiredKeyboardType));
    // Showing the keyboard changed nothing on it.
    EXPECT_EQ(sim->firmware().command_count(0x06), 0u);
}

TEST_F(KeyboardPageTest, EachPageChangeReachesTheRecordByteForByte) {
    start();
    auto expected = record();
    const auto writes = [&] { return sim->firmware().command_count(0x06); };

    pui::set_selected(find("polling_rate_option_4"), true);
    expected[21] = 4;
    EXPECT_EQ(record(), expected);

    pui::set_selected(find("6flag_option"), true);
    expected[19] = 1;
    EXPECT_EQ(record(), expected);

    // One step faster, as a click on the slider's groove does.
    qobject_cast<QAbstractSlider*>(find("repeat_rate_slider"))
        ->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    expected[20] = 4;
    EXPECT_EQ(record(), expected);

    pui::set_selected(find("repeat_delay_check_3"), true);
    expected[22] = 3;
    EXPECT_EQ(record(), expected);

    // The lock flags have no byte: they are kept in the profile, and the record is written
    // unchanged.
    const auto before = writes();
    pui::set_selected(find("winlockflag_option"), true);
    pui::set_selected(find("wflag_option"), true);
    EXPECT_EQ(writes(), before + 2);
    EXPECT_EQ(record(), expected);
    EXPECT_EQ(record()[30], 0xA5);

    const Json::Value sys = saved()["SystemStages"];
    EXPECT_EQ(sys["PollingRate"].asInt(), 4);
    EXPECT_EQ(sys["Key6Flag"].asInt(), 1);
    EXPECT_EQ(sys["Repeat"].asInt(), 4);
    EXPECT_EQ(sys["RepeatDelay"].asInt(), 3);
    EXPECT_EQ(sys["WinFlag"].asInt(), 1);
    EXPECT_EQ(sys["WFlag"].asInt(), 1);

    // Reset puts the factory profile's repeat back.
    qobject_cast<QAbstractButton*>(find("reset_repeat_btn"))->click();
    ASSERT_TRUE(wait_until([&] { return record()[20] == 31; }));
    EXPECT_EQ(record()[22], 1);
    EXPECT_EQ(pui::value(find("repeat_rate_slider")), 31);
}

TEST_F(KeyboardPageTest, SettingsChangedOnTheKeyboardReachThePage) {
    start();
    sim->firmware().change_setting(21, 5);  // raises 0x401
    ASSERT_TRUE(wait_until([&] { return pui::is_selected(find("polling_rate_option_5")); }));
    EXPECT_EQ(saved()["SystemStages"]["PollingRate"].asInt(), 5);
}

TEST_F(KeyboardPageTest, CustomColoursRoundTripThroughThePage) {
    start();
    sim->firmware().change_setting(1, model::CustomColourMode);
    ASSERT_TRUE(wait_until([&] { return page()->profile().light_info().mode == 20; }));
    const auto memory = sim->firmware().indexed_memory();
    // Key 7's colour came from the keyboard to its light, the profile and the preview.
    const model::Rgb key7{memory[21], memory[22], memory[23]};
    EXPECT_EQ(page()->core().led_colours()[7], key7);
    const Json::Value colours = saved()["CustomLightMode"]["LightColorInfo"][0];
    EXPECT_EQ(colours[7]["Red"].asInt(), key7.red);
    ASSERT_TRUE(wait_until([&] {
        const auto e = page()->light_thread().frame()[7];
        return e.red == key7.red && e.green == key7.green && e.brightness > 0;
    }));

    // Colours changed on the page go back to the keyboard's colour group.
    page()->core().led_colours()[7] = model::Rgb{9, 8, 7};
    EXPECT_EQ(page()->core().write_custom_colours(page()->channel(), true), 1);
    const auto after = sim->firmware().indexed_memory();
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 21, after.begin() + 24),
              (std::vector<std::uint8_t>{9, 8, 7}));
}

TEST_F(KeyboardPageTest, AKeyPressLightsItsKeyInTheReactiveMode) {
    start();
    choose_mode(model::KbReactiveKey);
    ASSERT_TRUE(sim->firmware().press_key(12, 1));
    ASSERT_TRUE(wait_until([&] { return page()->light_thread().frame()[12].brightness > 0; }));
    EXPECT_EQ(page()->light_thread().frame()[40].brightness, 0);
}

TEST_F(KeyboardPageTest, TheStreamedModeSendsTheFrameAndIsWrittenAs254) {
    start();
    profile::LightInfo info = page()->profile().light_info();
    info.mode = model::KbAudio;
    info.red = 200;
    info.green = 100;
    info.blue = 0;
    info.brightness = 4;
    page()->change_lighting(info);
    EXPECT_EQ(record()[1], model::StreamModeCode);
    // No music: every key dim in the colour, scaled by its brightness (40 of 255).
    ASSERT_TRUE(wait_until([&] {
        const auto sent = sim->firmware().lighting_memory();
        return sent[0] == (200 * 40) >> 8 && sent[1] == (100 * 40) >> 8;
    }));
    const auto sent = sim->firmware().lighting_memory();
    for (int k = 0; k < Keys; ++k) {
        EXPECT_EQ(sent[3u * k], (200 * 40) >> 8) << k;
        EXPECT_EQ(sent[3u * k + 2], 0) << k;
    }
}

TEST_F(KeyboardPageTest, LayoutHoldsEveryNameThePageLooksUp) {
    start();
    for (const char* name :
         {"winlockflag_option", "wflag_option", "6flag_option", "repeat_rate_slider",
          "repeat_input_richedit", "reset_repeat_btn", "SelectPanel", "LightControl",
          "DeviceProfile", "device_function_switch", "device_key_function_switch",
          "kb_device_seting_layout", "kb_tishi_info"})
        EXPECT_NE(find(name), nullptr) << name;
    for (int n = 0; n < CZentovaKeyboardDevice::PollingOptions; ++n)
        EXPECT_NE(find(QStringLiteral("polling_rate_option_%1").arg(n).toLatin1()), nullptr) << n;
    for (int n = 0; n < CZentovaKeyboardDevice::RepeatDelayOptions; ++n)
        EXPECT_NE(find(QStringLiteral("repeat_delay_check_%1").arg(n).toLatin1()), nullptr) << n;
    // One light per key of the keyboard, inside the select panel.
    QWidget* panel = find("SelectPanel");
    for (int n = 0; n < Keys; ++n) {
        QWidget* light =
            pui::Window::find_sub_control_by_name(panel, QStringLiteral("light_%1").arg(n));
        ASSERT_NE(light, nullptr) << n;
        EXPECT_EQ(light->property(pui::kClassProperty).toString(), "DeviceKeyButton");
    }
    EXPECT_NE(qobject_cast<QLineEdit*>(find("repeat_input_richedit")), nullptr);
    EXPECT_GE(pui::page_count(find("device_function_switch")), 6);
    EXPECT_GE(pui::page_count(find("device_key_function_switch")), 3);
}

TEST_F(KeyboardPageTest, Rendered) {
    start();
    wnd->set_base_size(QSize(1000, 640));
    choose_mode(model::KbWaveRight);
    page()->refresh_page();  // the editor shows the mode chosen
    for (int language : {0, 1}) {
        wnd->apply_language(language);
        const QString tag = language == 0 ? "en" : "cn";
        pui::select_page(find("device_function_switch"), 3);
        pui::set_selected(find("kb_device_seting_option_0"), true);
        ASSERT_TRUE(wait_until([&] { return page()->light_thread().frames() > 3; }));
        QCoreApplication::processEvents();
        EXPECT_TRUE(wnd->grab().save(shot(tag + "_keyboard"), "PNG"));
        pui::set_selected(find("kb_device_seting_option_1"), true);
        QCoreApplication::processEvents();
        EXPECT_TRUE(wnd->grab().save(shot(tag + "_keyboard_light"), "PNG"));
    }
}

}  // namespace
}  // namespace velqa::test
