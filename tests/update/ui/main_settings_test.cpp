// The main window's side of the update flow: opening the settings window from its button and
// message, where it is placed, the badge cleared by an up-to-date check, the language choice
// handed back, and a firmware notice without a device page.
#include <QAbstractButton>
#include <QScreen>

#include "app/app_fixture.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "platform/diagnostics.h"
#include "platform/ui/controls.h"
#include "support/loopback_http.h"
#include "update/ui/set_wnd.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;
using update::CSetWnd;

class MainSettings : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        server_.server().Post("/api/updates", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"name":"Driver","version":"105","version_name":"V0105"})",
                            "application/json");
        });
        ASSERT_TRUE(server_.start());
        wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store());
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        wnd->set_update_options(server_.url("/"), nullptr);
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }));
    }
    void TearDown() override {
        wnd.reset();
        AppTest::TearDown();
    }

    // Answers the next modal settings window with `act`, after its check has ended.
    void when_open(std::function<void(CSetWnd&)> act) {
        pui::Window::set_modal_test_hook([this, act](pui::Window& w) {
            auto* settings = qobject_cast<CSetWnd*>(&w);
            if (settings == nullptr) {
                w.close_window(0);
                return;
            }
            ++opened;
            EXPECT_TRUE(wait_until([&] { return settings->window_status() != 0; }));
            act(*settings);
        });
    }

    LoopbackServer server_;
    std::unique_ptr<CMainWnd> wnd;
    bool settled = false;
    int opened = 0;
};

TEST_F(MainSettings, TheSetButtonOpensItBesideTheWindowAndAnUpToDateCheckClearsTheBadge) {
    QWidget* set = wnd->caption_button(CMainWnd::kSet);
    set->setProperty("badge", true);
    QRect placed;
    std::size_t rows = 0;
    std::string software_version;
    when_open([&](CSetWnd& s) {
        placed = s.frameGeometry();
        rows = s.rows().size();
        if (!s.rows().empty())
            software_version = s.rows()[0].current_text;
        EXPECT_EQ(s.window_status(), update::WindowUpToDate);
        EXPECT_EQ(s.windowTitle(), QStringLiteral("Settings — ZARN VELQA R260"));
        qobject_cast<QAbstractButton*>(s.find_control("laterbtn"))->click();
    });
    qobject_cast<QAbstractButton*>(set)->click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(rows, 1u) << "no device: the software alone";
    EXPECT_EQ(software_version, platform::program_version()) << "as About and --version say";
    EXPECT_FALSE(set->property("badge").toBool());
    const QRect main = wnd->frameGeometry();
    EXPECT_EQ(placed.right(), main.right() - 30);
    EXPECT_EQ(placed.top(), main.top() + 60);
    EXPECT_EQ(placed.size(), QSize(630, 500));

    // The message opens it again, centred; it closes with its close button.
    when_open([&](CSetWnd& s) {
        const QRect screen = s.screen()->availableGeometry();
        EXPECT_LE(std::abs(s.frameGeometry().center().x() - screen.center().x()), 4);
        qobject_cast<QAbstractButton*>(s.find_control("closebtn"))->click();
    });
    wnd->send_message(app::kMsgOpenSettings);
    EXPECT_EQ(opened, 2);
}

TEST_F(MainSettings, TheLanguageChosenInItSwitchesTheProgramAndItsTexts) {
    QString title, window_title;
    when_open([&](CSetWnd& s) {
        QWidget* combo = s.find_control("Language_combox_info");
        EXPECT_EQ(pui::item_count(combo), 2);
        pui::select_item(combo, 1, false);
        s.send_notify(combo, "itemselect", 1);
        title = pui::text(s.find_control("setwnd_title"));
        window_title = s.windowTitle();
        s.close_window(0);
    });
    wnd->send_message(app::kMsgOpenSettings);
    EXPECT_EQ(wnd->language_index(), 1);
    EXPECT_EQ(title, QStringLiteral("设置"));
    // Task bars follow the language too: the open window's title and the main window's.
    EXPECT_EQ(window_title, QStringLiteral("设置 — ZARN VELQA R260"));
    EXPECT_EQ(wnd->windowTitle(), QStringLiteral("ZARN VELQA R260"));
}

TEST_F(MainSettings, AFirmwareNoticeNeedsASelectedMousePage) {
    when_open([](CSetWnd&) {});
    wnd->send_message(app::kMsgFirmwareLaunch, 0x2299, 0x120);
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(wnd->isVisible()) << "the program keeps running";
}

}  // namespace
}  // namespace velqa::test
