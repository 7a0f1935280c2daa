// The About tab and the about window against the in-process simulated mouse: what they show,
// the diagnostic report they copy, the language and the devices that come and go.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QRegularExpression>

#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/debug_output.h"
#include "platform/diagnostics.h"
#include "platform/number_text.h"
#include "platform/ui/controls.h"
#include "platform/ui/menu.h"
#include "ui/about_wnd.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;
using sim::InProcessSim;
using sim::Link;

// A click as the user makes it: the button's own signal reaches the window's dispatch.
void click(QWidget* control) {
    auto* button = qobject_cast<QAbstractButton*>(control);
    ASSERT_NE(button, nullptr);
    button->click();
}

class AboutTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }
    void start(bool with_mouse) {
        std::shared_ptr<platform::hid::HidBackend> backend;
        if (with_mouse) {
            sim = std::make_unique<InProcessSim>(dir_ / "sim");
            ASSERT_TRUE(sim->started());
            sim->unplug(Link::Receiver);
            backend = sim->backend();
        }
        wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, backend);
        // The test folder stands for the home folder: the report must not show it.
        wnd->set_diagnostics({"GNOME", "x11", false, true, dir_.path().string()}, {dir_ / "rules"});
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
    }
    QString shown(const char* name) const {
        return pui::text(wnd->find_control(QString::fromLatin1(name)));
    }

    std::unique_ptr<InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    bool settled = false;
};

TEST_F(AboutTest, TheTabShowsTheLinkedMouseAndCopiesAReportWithoutTheHomeFolder) {
    start(true);
    ASSERT_EQ(wnd->devices().mouse_pages().size(), 1u);
    model::CZentovaMouseDevice* page = wnd->devices().mouse_pages().front();
    const link::HidAttributes ids = page->channel().wired().attributes();
    const QString id_text =
        QString::fromStdString(platform::usb_ids_text(ids.vendor_id, ids.product_id));
    const QString firmware =
        QString::fromStdString(platform::firmware_version_text(ids.version_number));
    const QString name = QString::fromStdString(
        wnd->devices().catalog().models()[static_cast<std::size_t>(page->kind_row())].name);
    platform::debug_output("about test marker line");

    QWidget* pane = wnd->find_control("about_panel");
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(pane->isVisible());
    click(wnd->find_control("About_Op_tab"));
    ASSERT_TRUE(pane->isVisible());
    const QString devices = shown("about_devices");
    EXPECT_TRUE(devices.contains(name)) << devices.toStdString();
    EXPECT_TRUE(devices.contains("USB cable")) << devices.toStdString();
    EXPECT_TRUE(devices.contains(id_text)) << devices.toStdString();
    EXPECT_TRUE(devices.contains("firmware " + firmware)) << devices.toStdString();
    EXPECT_TRUE(shown("about_version").contains(platform::program_version()));

    QApplication::clipboard()->clear();
    click(wnd->find_control("about_copy_report_btn"));
    const QString report = QApplication::clipboard()->text();
    for (const QString& expected :
         {name + ": cable, " + id_text, firmware, QString("Data folder: ~/user"),
          QString("about test marker line"), QString("not installed"), QString("Qt: ") + qVersion(),
          QString("GNOME")}) {
        EXPECT_TRUE(report.contains(expected)) << expected.toStdString() << "\n"
                                               << report.toStdString();
    }
    EXPECT_FALSE(report.contains(QString::fromStdString(dir_.path().string())))
        << report.toStdString();
    const std::string user = platform::current_user_name();
    if (user.size() >= 2) {
        EXPECT_FALSE(report.contains(QRegularExpression(
            "\\b" + QRegularExpression::escape(QString::fromStdString(user)) + "\\b")))
            << report.toStdString();
    }

    // Another tab puts the device pages back.
    click(wnd->find_control("system_Op_tab"));
    EXPECT_FALSE(pane->isVisible());
    click(wnd->find_control("About_Op_tab"));

    // The language and the devices are followed while the pane is shown.
    ASSERT_TRUE(wnd->apply_language(1));
    EXPECT_TRUE(shown("about_devices").contains(QString::fromUtf8("固件")));
    EXPECT_TRUE(shown("about_copy_status").contains(QString::fromUtf8("已复制")));
    sim->unplug(Link::Cable);
    ASSERT_TRUE(
        wait_until([&] { return shown("about_devices").contains(QString::fromUtf8("没有")); }));
}

TEST_F(AboutTest, TheTraysAboutItemOpensTheWindowWhichFollowsTheLanguage) {
    start(false);
    auto about_window = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* about = qobject_cast<ui::CAboutWnd*>(w);
                about != nullptr && about->isVisible())
                return about;
        }
        return static_cast<ui::CAboutWnd*>(nullptr);
    };
    ASSERT_EQ(about_window(), nullptr);
    wnd->post_message(pui::kMsgMenuCommand,
                      reinterpret_cast<pui::WParam>(new pui::MenuCommand{"about_menu", "", ""}));
    ASSERT_TRUE(wait_until([&] { return about_window() != nullptr; }));
    ui::CAboutWnd* about = about_window();
    ASSERT_NE(about->panel(), nullptr);
    EXPECT_TRUE(pui::text(about->find_control("about_devices")).contains("No device"));
    EXPECT_TRUE(
        pui::text(about->find_control("about_version")).contains(platform::program_version()));
    // The project's page comes from the configuration.
    EXPECT_TRUE(about->find_control("about_project_btn")->isEnabled());

    QDir().mkpath(QStringLiteral(VELQA_SHOT_DIR));
    about->grab().save(QStringLiteral(VELQA_SHOT_DIR "/en_about_window.png"), "PNG");
    ASSERT_TRUE(wnd->apply_language(1));
    about->set_dpi(144);
    QCoreApplication::processEvents();
    about->grab().save(QStringLiteral(VELQA_SHOT_DIR "/cn_about_window_144.png"), "PNG");
    EXPECT_EQ(pui::text(about->find_control("about_wnd_title")),
              QString::fromUtf8("关于 VELQA R260"));
    EXPECT_TRUE(
        pui::text(about->find_control("about_devices")).contains(QString::fromUtf8("没有")));

    click(about->find_control("closebtn"));
    EXPECT_TRUE(wait_until([&] { return about_window() == nullptr; }));
}

}  // namespace
}  // namespace velqa::test
