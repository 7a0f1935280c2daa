// The main window shell: start-up continuation, language switching, banner, caption buttons.
#include <json/json.h>
#include <QAbstractButton>
#include <QComboBox>
#include <QScreen>
#include <map>

#include "app/device_hook.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "device/model/mouse_settings.h"
#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/menu.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;

class MainWndTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store());
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        QObject::connect(wnd.get(), &CMainWnd::destroying, [this] { destroying = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
    }
    void TearDown() override {
        wnd.reset();
        AppTest::TearDown();
    }
    QString tab_text() const { return pui::text(wnd->find_control("performance_Op_tab")); }

    std::unique_ptr<CMainWnd> wnd;
    bool settled = false;
    bool destroying = false;
};

TEST_F(MainWndTest, CreatedWithTitleAndSizeAndButtonsFound) {
    // Task bars show the product's name; the design's name stays for scripts.
    EXPECT_EQ(wnd->windowTitle(), "ZARN VELQA R260");
    EXPECT_EQ(wnd->property("windowName").toString(), "ZARN_VELQA_R260");
    EXPECT_EQ(wnd->window_class_name(), "MainWnd");
    EXPECT_EQ(wnd->size(), QSize(800, 572));
    for (int i = CMainWnd::kClose; i <= CMainWnd::kSet; ++i) {
        EXPECT_NE(wnd->caption_button(static_cast<CMainWnd::Caption>(i)), nullptr) << i;
    }
    for (int i = CMainWnd::kPerformanceTab; i <= CMainWnd::kAboutTab; ++i) {
        EXPECT_NE(wnd->tab_button(static_cast<CMainWnd::Tab>(i)), nullptr) << i;
    }
    EXPECT_TRUE(wnd->unknown_classes().empty());
}

TEST_F(MainWndTest, StartUpEndsWithTheWindowShownInTheStoredLanguage) {
    platform::DebugCapture debug;
    ASSERT_TRUE(wait_until([&] { return settled; }));
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->language_index(), 0);
    EXPECT_EQ(tab_text(), "Performance");
    EXPECT_TRUE(pui::is_selected(wnd->find_control("performance_Op_tab")));
    // No device yet: the banner is up.
    EXPECT_FALSE(wnd->find_control("No_device_Link")->isHidden());
    // Laid out for the screen: 1000 x 640 at 96 DPI on a small screen.
    EXPECT_EQ(wnd->size(), QSize(1000, 640));
    EXPECT_TRUE(debug.contains("windowinit root"));
    EXPECT_EQ(store().read_language(), 520u);
    EXPECT_FALSE(wnd->audio_styles().isNull());
    EXPECT_TRUE(std::filesystem::exists(dir_ / "user/AudioFile.json"));
}

// The device locks are off (another user holds our runtime folder's name): the window says so
// once it is on screen, in the current language, with the reason.
TEST_F(MainWndTest, AStartNoticeIsShownInTheMessageWindow) {
    QString told;
    pui::Window::set_modal_test_hook([&told](pui::Window& w) {
        told = pui::text(w.find_control("MessageText"));
        qobject_cast<QAbstractButton*>(w.find_control("confirm_btn"))->click();
    });
    wnd->add_start_notice("lock_folder_refused_text", "/tmp/velqa-1000 belongs to uid 65534");
    ASSERT_TRUE(wait_until([&] { return !told.isEmpty(); }));
    pui::Window::set_modal_test_hook({});
    EXPECT_TRUE(told.contains("device locks (/tmp/velqa-1000 belongs to uid 65534)"))
        << told.toStdString();
}

TEST_F(MainWndTest, StoredChineseIsAppliedAtStartUp) {
    wnd.reset();
    ASSERT_TRUE(store().write_language(2052));
    wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store());
    bool done = false;
    QObject::connect(wnd.get(), &CMainWnd::settled, [&] { done = true; });
    wnd->create("ZARN_VELQA_R260", QSize(800, 572));
    ASSERT_TRUE(wait_until([&] { return done; }));
    EXPECT_EQ(wnd->language_index(), 1);
    EXPECT_EQ(tab_text(), "性能");
}

TEST_F(MainWndTest, SwitchingLanguageReResolvesTextsAndStoresTheId) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    // A list's items added under a text id (as the lighting effects are) follow too.
    auto* combo = new QComboBox(wnd->root());
    pui::add_combo_item(combo, QStringLiteral("No mouse connected"), {},
                        QStringLiteral("no_device_title_text"), 0);
    EXPECT_TRUE(wnd->apply_language(1));
    EXPECT_EQ(tab_text(), "性能");
    EXPECT_EQ(pui::text(wnd->find_control("no_device_title")), "未连接鼠标");
    EXPECT_EQ(combo->itemText(0), QStringLiteral("未连接鼠标"));
    EXPECT_EQ(store().read_language(), 2052u);
    // The language message from the settings window does the same.
    wnd->send_message(app::kMsgLanguage, 0, 0);
    EXPECT_EQ(tab_text(), "Performance");
    EXPECT_EQ(store().read_language(), 520u);
}

TEST_F(MainWndTest, ChoosingTheActiveLanguageChangesAndWritesNothing) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    platform::DebugCapture debug;
    ASSERT_TRUE(store().write_language(999));  // would be overwritten by any apply
    EXPECT_FALSE(wnd->apply_language(0));
    EXPECT_FALSE(debug.contains("写成功！"));
    EXPECT_EQ(store().read_language(), 999u);
}

TEST_F(MainWndTest, IndexOutsideTheListIsRefusedAndKeepsTheLanguage) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    EXPECT_FALSE(wnd->apply_language(5));
    EXPECT_FALSE(wnd->apply_language(-3));
    EXPECT_EQ(wnd->language_index(), 0);
    EXPECT_EQ(tab_text(), "Performance");
}

// An auxiliary window that records the messages it gets.
class AuxWindow : public pui::Window {
  public:
    QString skin_file() const override { return "XML_MSG"; }
    std::vector<unsigned> got;

  protected:
    pui::LResult handle_custom_message(unsigned m, pui::WParam, pui::LParam,
                                       bool& handled) override {
        got.push_back(m);
        handled = m != pui::kMsgClose;
        return 0;
    }
};

TEST_F(MainWndTest, OpenAuxiliaryWindowsHearOfLanguageChangesAndClose) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    AuxWindow open_one, closed_one;
    open_one.create("aux");
    closed_one.create("aux");
    open_one.show();
    wnd->set_aux_window(0, &open_one);
    wnd->set_aux_window(1, &closed_one);
    wnd->apply_language(1);
    EXPECT_EQ(open_one.got, std::vector<unsigned>{app::kMsgLanguage});
    EXPECT_TRUE(closed_one.got.empty());
    wnd->close_aux_windows();
    EXPECT_FALSE(open_one.isVisible());
}

TEST_F(MainWndTest, BannerFollowsItsMessages) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    QWidget* banner = wnd->find_control("No_device_Link");
    wnd->send_message(app::kMsgHideNoDevice);
    EXPECT_TRUE(banner->isHidden());
    wnd->send_message(app::kMsgShowNoDevice);
    EXPECT_FALSE(banner->isHidden());
    wnd->send_message(app::kMsgDeviceLogo, 0x3950);
    EXPECT_EQ(pui::bk_image(wnd->find_control("device_logo_layout")), "file='power/r260.png'");
}

// One row per message number, and its sleep rule is the one applied: while asleep only start-up,
// other programs, closing, the window's own state and the power message itself act; slot changes
// wait for the resume; everything else is dropped.
TEST_F(MainWndTest, EachMessageHasOneRowWhoseSleepRuleIsApplied) {
    using Asleep = CMainWnd::WhileAsleep;
    std::map<unsigned, Asleep> rules;
    for (const CMainWnd::MessageRow& row : wnd->message_table()) {
        EXPECT_NE(row.message, 0u);
        EXPECT_TRUE(rules.emplace(row.message, row.asleep).second) << std::hex << row.message;
    }
    const app::RegisteredMessages& ids = app::registered_messages();
    const app::HookMessages& hooks = app::hook_messages();
    const std::map<Asleep, std::vector<unsigned>> expected = {
        {Asleep::Run,
         {ids.identity, ids.relay_a, ids.relay_b, ids.light_control, ids.tool_query, pui::kMsgClose,
          app::kMsgActivate, app::kMsgMouseHover, app::kMsgMouseLeave, app::kMsgPowerBroadcast}},
        {Asleep::DeferSlot, {app::kMsgDeviceArrived, app::kMsgDeviceLost}},
        {Asleep::Drop, {app::kMsgTileLink,      app::kMsgAccessDenied,   model::MsgPowerStatus,
                        app::kMsgLanguage,      app::kMsgShowNoDevice,   app::kMsgHideNoDevice,
                        app::kMsgDeviceLogo,    app::kMsgProgress,       app::kMsgClearSetBadge,
                        app::kMsgOpenSettings,  app::kMsgFirmwareLaunch, app::kMsgDpiChanged,
                        app::kMsgDisplayChange, pui::kMsgTrayIcon,       pui::kMsgMenuCommand,
                        app::kMsgHook,          hooks.single_key,        hooks.hit_key,
                        hooks.kb_macro,         hooks.kb_previous,       hooks.kb_later,
                        hooks.kb_single,        hooks.ms_macro,          hooks.ms_previous,
                        hooks.ms_later,         hooks.ms_single,         ids.game_start,
                        ids.game_end,           ids.game_kill,           ids.game_death}},
    };
    std::size_t listed = 0;
    for (const auto& [rule, messages] : expected) {
        for (unsigned message : messages) {
            ++listed;
            const auto it = rules.find(message);
            ASSERT_NE(it, rules.end()) << std::hex << message;
            EXPECT_EQ(it->second, rule) << std::hex << message;
        }
    }
    EXPECT_EQ(rules.size(), listed);

    ASSERT_TRUE(wait_until([&] { return settled; }));
    QWidget* banner = wnd->find_control("No_device_Link");
    ASSERT_FALSE(banner->isHidden());
    wnd->send_message(app::kMsgPowerBroadcast, app::kPowerSuspend);
    wnd->send_message(app::kMsgHideNoDevice);
    EXPECT_FALSE(banner->isHidden());
    // A dropped menu command is still freed (the sanitizer build would report it).
    wnd->send_message(pui::kMsgMenuCommand, reinterpret_cast<pui::WParam>(new pui::MenuCommand{
                                                QStringLiteral("no_such_item"), {}, {}}));
    wnd->send_message(app::kMsgPowerBroadcast, app::kPowerResume);
    wnd->send_message(app::kMsgHideNoDevice);
    EXPECT_TRUE(banner->isHidden());
}

TEST_F(MainWndTest, IdentityMessageBringsAHiddenWindowBack) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    wnd->hide();
    platform::DebugCapture debug;
    wnd->post_message(app::registered_messages().identity, 0, 1);
    ASSERT_TRUE(wait_until([&] { return wnd->isVisible(); }));
    EXPECT_TRUE(debug.contains("软件标示"));
}

TEST_F(MainWndTest, TopTabsShowOneSelection) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    qobject_cast<QAbstractButton*>(wnd->find_control("macro_Op_tab"))->click();
    EXPECT_TRUE(pui::is_selected(wnd->find_control("macro_Op_tab")));
    EXPECT_FALSE(pui::is_selected(wnd->find_control("performance_Op_tab")));
}

TEST_F(MainWndTest, CloseButtonWithoutTrayEndsTheProgramInOrder) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    if (wnd->tray_visible())
        GTEST_SKIP() << "a tray is available here";
    platform::DebugCapture debug;
    qobject_cast<QAbstractButton*>(wnd->caption_button(CMainWnd::kClose))->click();
    EXPECT_TRUE(destroying);
    EXPECT_TRUE(debug.contains("退出测试"));
    EXPECT_FALSE(wnd->isVisible());
}

TEST_F(MainWndTest, TrayMenuExitEndsTheProgramInOrder) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    wnd->post_message(pui::kMsgMenuCommand,
                      reinterpret_cast<pui::WParam>(new pui::MenuCommand{"exit", "", "Quit"}));
    ASSERT_TRUE(wait_until([&] { return destroying; }));
}

TEST_F(MainWndTest, TrayClickTogglesTheWindow) {
    ASSERT_TRUE(wait_until([&] { return settled; }));
    wnd->send_message(pui::kMsgTrayIcon, 0, pui::kMouseLButtonUp);
    EXPECT_FALSE(wnd->isVisible());
    wnd->send_message(pui::kMsgTrayIcon, 0, pui::kMouseLButtonUp);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->size(), QSize(1000, 640));
}

}  // namespace
}  // namespace velqa::test
