// The device manager against the in-process simulated mouse: arrival on either link, moving
// between cable and receiver with one page, losing the device, the mouse this user may not
// open, sleep, the stop of the worker threads, the power widget, light sync and the profile
// lists shared by the pages of a kind.
#include <json/json.h>

#include <QAbstractButton>
#include <QBackingStore>
#include <QImage>
#include <QLabel>
#include <QLineEdit>

#include <QComboBox>
#include <algorithm>
#include <cerrno>
#include <fstream>

#include "app/access_offer.h"
#include "app/light_sync.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "app_fixture.h"
#include "device/link/codecs.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "macro/ui/shoot_control.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "profile/ui/device_profile_ui.h"
#include "support/test_hid_nodes.h"
#include "ui/button_map.h"
#include "ui/device_option.h"
#include "ui/mp_device_power.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;
using app::DeviceSlot;
using sim::InProcessSim;
using sim::Link;

class DeviceManagerTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }

    // The simulator with the given links plugged, and the window over its nodes; settled
    // unless `settle` is false (the window is then just created).
    void start(bool cable, bool receiver, bool deny = false, bool settle = true) {
        sim = std::make_unique<InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        if (!cable)
            unplug(Link::Cable);
        if (!receiver)
            unplug(Link::Receiver);
        std::shared_ptr<platform::hid::HidBackend> backend = sim->backend();
        if (deny) {
            // Opens fail as for a user without the udev rule.
            auto faulty = std::make_shared<FaultyBackend>(backend);
            for (const auto& node : backend->enumerate())
                faulty->fail_opens_of(node.node, EACCES);
            backend = faulty;
            faulty_ = faulty;
        }
        wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, backend);
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        if (settle) {
            ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        }
    }
    void unplug(Link l) {
        sim->nodes().unplug(l);
        sim->firmware().set_plugged(l, false);
    }
    void plug(Link l) {
        sim->firmware().set_plugged(l, true);
        sim->nodes().plug(l);
    }

    Json::Value state() const { return platform::parse_json(wnd->automation_state()); }
    Json::Value tile0() const { return platform::element(state()["tiles"], 0); }
    bool tile_shows(const char* link) const {
        const Json::Value t = tile0();
        return t["visible"].asBool() && t["link"].asString() == link;
    }
    bool banner_shown() const { return state()["no_device_link"].asBool(); }
    model::CZentovaMouseDevice* page() const {
        return wnd->devices().mouse_pages().empty() ? nullptr
                                                    : wnd->devices().mouse_pages().front();
    }
    // Stage `n`'s DPI in the active slot's record of the simulated mouse.
    int mouse_stage_dpi(int n) const {
        const auto memory = sim->firmware().settings_memory();
        link::MouseSettingsRecord record;
        const std::size_t at = memory[0] * link::MouseSlotStride;
        std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(at), record.bytes.size(),
                    record.bytes.begin());
        return link::decode_mouse_settings(record, {}).stages[static_cast<std::size_t>(n)].dpi_x;
    }

    std::unique_ptr<InProcessSim> sim;
    std::shared_ptr<FaultyBackend> faulty_;
    std::unique_ptr<CMainWnd> wnd;
    bool settled = false;
};

TEST_F(DeviceManagerTest, CableArrivalShowsOneSelectedTileAndThePageWithTheMouseValues) {
    start(true, false);
    // Showing the mouse changed nothing on it.
    EXPECT_EQ(sim->firmware().command_count(0x06), 0u);
    EXPECT_GT(mouse_stage_dpi(0), 0);
    ASSERT_EQ(wnd->devices().tile_count(), 1);
    EXPECT_TRUE(tile_shows("cable"));
    EXPECT_TRUE(tile0()["selected"].asBool());
    EXPECT_EQ(tile0()["kind"].asString(), "mouse");
    EXPECT_FALSE(banner_shown());
    EXPECT_TRUE(wnd->isVisible());
    ASSERT_NE(page(), nullptr);
    EXPECT_EQ(wnd->devices().selected_page(), page());
    EXPECT_EQ(page()->link_mode(), 1);
    // Settled means loaded: the page shows what the mouse holds.
    for (int n = 0; n < 6; ++n) {
        EXPECT_EQ(pui::value(page()->find(QStringLiteral("DPI_slider_%1").arg(n))),
                  mouse_stage_dpi(n))
            << n;
    }
    // The consumer collection comes before the vendor one and was handed to the page too.
    EXPECT_TRUE(page()->notifications().is_open(link::TypeMouse));
    // The page is the one shown.
    EXPECT_EQ(pui::current_page(wnd->find_control("device_switch")), tile0()["page"].asInt());
    // The window keeps the keyboard focus: a DPI field holding it would blink its caret for
    // nobody while idle, and commit itself when the focus left it.
    EXPECT_EQ(qobject_cast<QLineEdit*>(wnd->focusWidget()), nullptr);
}

// The battery shows with the rest of the page: a picture taken once start-up has settled shows
// it, with the logo and label of the link in use.
TEST_F(DeviceManagerTest, ThePowerWidgetShowsTheBatteryAndLinkOnceThePageIsLoaded) {
    start(true, false);
    ui::CMpDevicePowerUI* power = page()->power_control();
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(power->device_type(), 2u);
    auto sub = [&](const char* name) { return pui::Window::find_sub_control_by_name(power, name); };
    EXPECT_EQ(pui::text(sub("device_power_value")), "85%");
    EXPECT_EQ(pui::bk_image(sub("device_wuxian_logo")), "file='power/WIFI_normal.png'");
    EXPECT_FALSE(sub("device_youxian_logo_text")->isHidden());
    EXPECT_TRUE(sub("device_wuxian_logo_text")->isHidden());
}

TEST_F(DeviceManagerTest, ReceiverTileWaitsForTheMouseBehindTheReceiver) {
    start(false, true);
    // Shown by the page itself once the mouse answered through the receiver.
    ASSERT_TRUE(wait_until([&] { return tile_shows("receiver"); }));
    EXPECT_EQ(page()->link_mode(), 2);
    EXPECT_FALSE(banner_shown());
    ui::CMpDevicePowerUI* power = page()->power_control();
    ASSERT_TRUE(wait_until([&] { return power->last_status() && (*power->last_status())[3]; }));
    EXPECT_EQ(pui::bk_image(pui::Window::find_sub_control_by_name(power, "device_wuxian_logo")),
              "file='power/WIFI_down.png'");

    // The mouse switched off: the receiver stays, the tile goes.
    sim->firmware().set_linked(false);
    page()->start_tile_timer(model::TimerReload, 1);
    ASSERT_TRUE(wait_until([&] { return !tile0()["visible"].asBool(); }));
    EXPECT_TRUE(banner_shown());
    // Back on: the page's retry shows it again.
    sim->firmware().set_linked(true);
    ASSERT_TRUE(wait_until([&] { return tile_shows("receiver"); }, 15000));
}

TEST_F(DeviceManagerTest, CableAndReceiverShareOnePageAndTheBannerComesWhenBothAreGone) {
    start(false, true);
    ASSERT_TRUE(wait_until([&] { return tile_shows("receiver"); }));
    model::CZentovaMouseDevice* the_page = page();

    // The cable plugged into a mouse linked through its receiver: the page moves to the cable.
    plug(Link::Cable);
    ASSERT_TRUE(wait_until([&] { return tile_shows("cable"); }));
    EXPECT_EQ(wnd->devices().tile_count(), 1);
    EXPECT_EQ(page(), the_page);
    EXPECT_FALSE(page()->use_receiver());

    // The cable pulled while the receiver still holds the mouse: back to the receiver.
    unplug(Link::Cable);
    ASSERT_TRUE(wait_until([&] { return tile_shows("receiver"); }));
    EXPECT_TRUE(page()->use_receiver());
    EXPECT_FALSE(banner_shown());

    // The receiver pulled afterwards: nothing is linked and the banner is back.
    unplug(Link::Receiver);
    ASSERT_TRUE(wait_until([&] { return !tile0()["visible"].asBool(); }));
    EXPECT_TRUE(banner_shown());
    EXPECT_EQ(tile0()["link"].asString(), "none");
    EXPECT_FALSE(page()->linked());
    EXPECT_EQ(wnd->devices().selected_page(), nullptr);

    // And plugged in again, the same page comes back.
    plug(Link::Cable);
    ASSERT_TRUE(wait_until([&] { return tile_shows("cable"); }));
    EXPECT_EQ(wnd->devices().tile_count(), 1);
}

TEST_F(DeviceManagerTest, BothLinksAtStartUseTheCable) {
    start(true, true);
    EXPECT_TRUE(tile_shows("cable"));
    EXPECT_EQ(wnd->devices().tile_count(), 1);
}

// The labels and buttons shown under `root` whose text does not fit them: one line each.
QStringList clipped_texts(QWidget* root) {
    QStringList found;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->width() <= 0)
            continue;
        QString text;
        bool clipped = false;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
            if (text.isEmpty() || Qt::mightBeRichText(text))
                continue;
            const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                              -label->margin(), -label->margin());
            if (label->wordWrap()) {
                clipped = label->heightForWidth(label->width()) > label->height() + 1;
            } else {
                const QFontMetrics metrics(label->font());
                int width = 0;
                const QStringList lines = text.split(QLatin1Char('\n'));
                for (const QString& line : lines)
                    width = std::max(width, metrics.horizontalAdvance(line));
                clipped = width > room.width() + 1 ||
                          metrics.height() * static_cast<int>(lines.size()) > room.height() + 1;
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            if (text.isEmpty())
                continue;
            const QFontMetrics metrics(button->font());
            clipped = metrics.horizontalAdvance(text) > button->contentsRect().width() + 1 ||
                      metrics.height() > button->contentsRect().height() + 1;
        }
        if (clipped) {
            found << QStringLiteral("%1 \"%2\" in %3x%4")
                         .arg(w->objectName(), text)
                         .arg(w->width())
                         .arg(w->height());
        }
    }
    return found;
}

// Every label and button of every tab, at every DPI the window is laid out at and in both
// languages, shows its whole text.
TEST_F(DeviceManagerTest, NoTextIsClippedAtAnyScaleInEitherLanguage) {
    start(true, false);
    ASSERT_TRUE(tile_shows("cable"));
    QStringList found;
    for (int language : {0, 1}) {
        wnd->apply_language(language);
        for (int dpi : {96, 120, 144, 192}) {
            pui::Window::set_all_dpi(dpi);
            for (const char* tab : {"performance_Op_tab", "key_Op_tab", "key_Op_tab:1",
                                    "macro_Op_tab", "system_Op_tab", "About_Op_tab"}) {
                wnd->show_tab(QString::fromLatin1(tab));
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
                for (const QString& line : clipped_texts(wnd.get()))
                    found << QStringLiteral("%1 %2 dpi %3: %4")
                                 .arg(language == 0 ? "en" : "cn", tab)
                                 .arg(dpi)
                                 .arg(line);
            }
        }
    }
    EXPECT_TRUE(found.isEmpty()) << found.size() << " clipped:\n"
                                 << found.join(QLatin1Char('\n')).toStdString();
}

TEST_F(DeviceManagerTest, AMouseThisUserMayNotOpenIsNamedInTheNoDeviceArea) {
    start(true, false, true);
    ASSERT_TRUE(wait_until([&] { return !wnd->devices().denied_interfaces().empty(); }));
    EXPECT_TRUE(banner_shown());
    QWidget* notice = wnd->find_control("no_device_denied");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isHidden());
    // A build tree: the commands that install the rule. The heading agrees with the line.
    EXPECT_TRUE(pui::text(notice).contains("udevadm control --reload"));
    EXPECT_TRUE(pui::text(notice).contains("may not open"));
    EXPECT_EQ(pui::text(wnd->find_control("no_device_title")), "Your VELQA R260 cannot be opened");
    EXPECT_TRUE(wnd->find_control("no_device_hint")->isHidden());
}

// "Allow access" runs the helper through the runner (pkexec) without blocking the window, says
// why it failed in one line, and once it succeeded the mouse appears without a re-plug. The
// denied node comes from the backend seam, so the test means the same when run as root.
TEST_F(DeviceManagerTest, AllowAccessRunsTheHelperAndTheMouseAppearsWithoutAReplug) {
    start(true, false, true);
    ASSERT_TRUE(wait_until([&] { return !wnd->devices().denied_interfaces().empty(); }));
    auto* button = qobject_cast<QAbstractButton*>(wnd->find_control("no_device_allow_btn"));
    QWidget* status = wnd->find_control("no_device_allow_status");
    ASSERT_TRUE(button && status);
    EXPECT_TRUE(button->isHidden()) << "no helper installed: only the commands are offered";

    // The helper's answer is chosen per click; the runner passes it on as pkexec does.
    const auto runner = dir_ / "pkexec";
    const auto helper = dir_ / "velqa-udev-helper";
    const auto answer = dir_ / "answer";
    std::ofstream(runner) << "#!/bin/sh\nexec \"$@\"\n";
    std::ofstream(helper) << "#!/bin/sh\n. " << answer.string() << "\n";
    std::filesystem::permissions(runner, std::filesystem::perms::owner_all);
    std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
    // Installed without pkexec: the package's rule is there, a re-plug is the way.
    QWidget* notice = wnd->find_control("no_device_denied");
    wnd->devices().set_access_helper({{}, helper});
    EXPECT_TRUE(button->isHidden());
    EXPECT_TRUE(pui::text(notice).contains("plug it in again"));
    EXPECT_TRUE(pui::text(notice).contains("pkexec package"));
    EXPECT_FALSE(pui::text(notice).contains("/etc")) << "nothing for apt purge to leave behind";
    wnd->devices().set_access_helper({runner, helper});
    EXPECT_FALSE(button->isHidden());
    EXPECT_TRUE(pui::text(notice).contains("or choose Allow access"));
    EXPECT_FALSE(pui::text(notice).contains("udevadm"));

    auto click_with = [&](const std::string& script) {
        std::ofstream(answer) << script;
        button->click();
        EXPECT_TRUE(wnd->devices().access_offer()->running());
        EXPECT_FALSE(button->isEnabled()) << "one run at a time";
        return wait_until([&] { return !wnd->devices().access_offer()->running(); });
    };
    ASSERT_TRUE(
        click_with("echo 'velqa-udev-helper: cannot open /etc/udev/rules.d' >&2\nexit 1\n"));
    EXPECT_FALSE(status->isHidden());
    EXPECT_EQ(pui::text(status),
              "Access could not be allowed: velqa-udev-helper: cannot open "
              "/etc/udev/rules.d");
    EXPECT_TRUE(button->isEnabled());
    ASSERT_TRUE(click_with("exit 126\n"));  // the password prompt was dismissed
    EXPECT_TRUE(pui::text(status).contains("authorisation was refused"));
    // pkexec's 127 is a refusal, or (as its message says) nobody to ask: then what to run.
    ASSERT_TRUE(
        click_with("echo 'Error executing command as another user: No authentication "
                   "agent found.' >&2\nexit 127\n"));
    EXPECT_TRUE(pui::text(status).contains("no authentication agent"));
    EXPECT_TRUE(pui::text(status).endsWith("pkexec " + QString::fromStdString(helper.string())));
    ASSERT_TRUE(
        click_with("echo 'Error executing command as another user: Not authorized' >&2\n"
                   "exit 127\n"));
    EXPECT_TRUE(pui::text(status).contains("authorisation was refused"));

    // Success: udev gives this user the node (here: the backend lets the opens through) and the
    // scan finds the mouse; the whole "no device" area goes.
    ASSERT_TRUE(click_with("exit 0\n"));
    EXPECT_TRUE(pui::text(status).contains("udev rule is in place"));
    for (const auto& node : sim->backend()->enumerate())
        faulty_->fail_opens_of(node.node, 0);
    ASSERT_TRUE(wait_until([&] { return tile_shows("cable"); }));
    EXPECT_FALSE(banner_shown());
    EXPECT_TRUE(button->isHidden());
}

TEST_F(DeviceManagerTest, WhileAsleepDeviceChangesWaitForTheResume) {
    start(true, false);
    ASSERT_TRUE(tile_shows("cable"));
    wnd->send_message(app::kMsgPowerBroadcast, app::kPowerSuspend, 0);
    EXPECT_TRUE(wnd->devices().asleep());

    // The language message and the loss of the cable are not acted on while asleep.
    wnd->send_message(app::kMsgLanguage, 1, 0);
    EXPECT_EQ(wnd->language_index(), 0);
    const auto passes = wnd->devices().scan_passes();
    unplug(Link::Cable);
    ASSERT_TRUE(wait_until([&] { return !wnd->devices().device_slots().slot(4).linked; }));
    ASSERT_TRUE(wait_until([&] { return wnd->devices().scan_passes() > passes; }));
    EXPECT_TRUE(tile0()["visible"].asBool());

    // On resume the window catches up with what happened meanwhile.
    wnd->send_message(app::kMsgPowerBroadcast, app::kPowerResume, 0);
    EXPECT_FALSE(wnd->devices().asleep());
    EXPECT_FALSE(tile0()["visible"].asBool());
    EXPECT_TRUE(banner_shown());
    wnd->send_message(app::kMsgLanguage, 1, 0);
    EXPECT_EQ(wnd->language_index(), 1);
}

TEST_F(DeviceManagerTest, ClosingWithALinkedDeviceEndsBothThreadsWithinOneWaitEach) {
    start(true, false);
    platform::DebugCapture debug;
    wnd->devices().stop_workers();
    EXPECT_TRUE(debug.contains("抓取设备线程设定退出"));
    EXPECT_TRUE(debug.contains("同步灯光线程设定退出"));
    const auto lines = debug.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("所有对象处于激发状态\n")), 2);
    EXPECT_FALSE(debug.contains("超时"));
}

// What the page paints, not the thread's field: the light-sync colour replaces the page's own
// preview while the box is on, and the page's lighting comes back when it is off.
TEST_F(DeviceManagerTest, TheLightSyncColourReachesThePagePreview) {
    start(true, false);
    ASSERT_NE(wnd->devices().light_sync(), nullptr);
    wnd->devices().light_sync()->set_effect(int(app::SyncEffect::Steady), 4, 0x123456, false);
    ui::CDeviceOptionUI* t = wnd->devices().tile(0);
    page()->set_multiple_devices(true);  // as with a second device shown
    pui::set_selected(t->sync_box(), true);
    ASSERT_TRUE(page()->light_sync());
    const std::uint32_t synced = app::pack_sync_colour(0x12, 0x34, 0x56, 255);
    const int last = page()->light_count() - 1;
    ASSERT_GT(last, 0);
    ASSERT_TRUE(wait_until(
        [&] { return page()->led_entry(0) == synced && page()->led_entry(last) == synced; }));
    EXPECT_EQ(pui::bk_color(page()->find("light_0")), 0xFF123456u);

    pui::set_selected(t->sync_box(), false);
    EXPECT_FALSE(page()->light_sync());
    ASSERT_TRUE(wait_until([&] { return page()->led_entry(0) != synced; }));
}

// Nobody sees the preview of a minimised or hidden window: its light thread is told so and
// computes no frames (the thread's own test shows it then waits without computing); shown again,
// the frames resume.
TEST_F(DeviceManagerTest, APreviewNobodyCanSeeIsPausedAndResumesWhenShown) {
    start(true, false);
    model::MouseLightThread& light = page()->light_thread();
    ASSERT_TRUE(wait_until([&] { return light.frames() > 0; }));
    EXPECT_FALSE(light.hidden());

    wnd->showMinimized();
    EXPECT_TRUE(light.hidden());
    wnd->showNormal();
    EXPECT_FALSE(light.hidden());
    const std::uint64_t before = light.frames();
    ASSERT_TRUE(wait_until([&] { return light.frames() > before; })) << "frames resume";

    wnd->hide();
    EXPECT_TRUE(light.hidden());
    wnd->show();
    EXPECT_FALSE(light.hidden());
}

// The light zones repaint over what they kept of the picture beneath them: after the preview
// has animated, the window on screen is what a fresh paint of the whole window gives.
TEST_F(DeviceManagerTest, TheAnimatedPreviewOnScreenMatchesAFreshPaint) {
    start(true, false);
    model::MouseLightThread& light = page()->light_thread();
    ASSERT_TRUE(wait_until([&] { return light.frames() > 4; }));
    light.stop();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    const auto* screen = dynamic_cast<const QImage*>(wnd->backingStore()->paintDevice());
    ASSERT_NE(screen, nullptr);
    const QImage fresh = wnd->grab().toImage().convertToFormat(screen->format());
    for (int n = 0; n < page()->light_count(); ++n) {
        QWidget* zone = page()->find(QStringLiteral("light_%1").arg(n));
        ASSERT_NE(zone, nullptr);
        const QRect at(zone->mapTo(wnd.get(), QPoint()), zone->size());
        EXPECT_EQ(screen->copy(at), fresh.copy(at)) << "light_" << n;
    }
}

// The pages are built after the window's first frame. A control of a tab not shown yet, looked
// up by name before that, is built on the spot, works, and is the one its tab shows.
TEST_F(DeviceManagerTest, AControlLookedUpBeforeItsPageExistsIsBuiltAndItsTabShowsIt) {
    start(true, false, false, false);
    ASSERT_TRUE(wnd->devices().mouse_pages().empty());
    auto* buttons = wnd->find_control_as<QComboBox>(QStringLiteral("keyset_mousekey_combo"));
    ASSERT_NE(buttons, nullptr);
    ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
    ASSERT_TRUE(tile_shows("cable"));
    EXPECT_EQ(wnd->find_control(QStringLiteral("keyset_mousekey_combo")), buttons);
    EXPECT_FALSE(buttons->isVisible());
    wnd->show_tab(QStringLiteral("key_Op_tab"));
    EXPECT_TRUE(buttons->isVisible());
    // Button 1 becomes "Back": the picture's label for it follows.
    ui::ButtonMap* map = page()->button_map();
    ASSERT_NE(map, nullptr);
    page()->select_key(1);
    buttons->setCurrentIndex(4);
    emit buttons->activated(4);
    EXPECT_EQ(map->label_text(1),
              pui::LanguageTexts::instance().text(QStringLiteral("keyset_mousekey_4_text")));
}

// The Buttons and Macros tabs' editors are built when first shown, not with the page, and are
// bound to the page then: each shows what the page holds for it at that moment.
TEST_F(DeviceManagerTest, EditorsAreBuiltWhenTheirTabIsFirstShownAndShowThePagesState) {
    start(true, false);
    ASSERT_NE(page(), nullptr);
    EXPECT_EQ(page()->findChild<macro::CKeySetControlUI*>(), nullptr);
    EXPECT_EQ(page()->findChild<macro::CShootControlUI*>(), nullptr);
    EXPECT_EQ(page()->findChild<macro::CMacroControlUI*>(), nullptr);
    page()->set_capture_note(QStringLiteral("only this window"));

    wnd->show_tab(QStringLiteral("key_Op_tab:1"));
    auto* shoot = page()->findChild<macro::CShootControlUI*>();
    ASSERT_NE(shoot, nullptr);
    EXPECT_TRUE(shoot->isVisible());
    EXPECT_FALSE(shoot->pattern_view(0)->bullets().empty());
    EXPECT_EQ(page()->findChild<macro::CKeySetControlUI*>(), nullptr);

    page()->select_key(1);
    wnd->show_tab(QStringLiteral("key_Op_tab:0"));
    auto* keys = page()->findChild<macro::CKeySetControlUI*>();
    ASSERT_NE(keys, nullptr);
    EXPECT_TRUE(keys->isVisible());
    EXPECT_EQ(keys->entry().current, page()->profile().read_key_list().at(1).current);

    wnd->show_tab(QStringLiteral("macro_Op_tab"));
    auto* macros = page()->findChild<macro::CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    auto* note = macros->findChild<QLabel*>(QStringLiteral("macro_capture_note"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral("only this window"));
}

// Two pages of one kind share its profile list: a profile made on one is listed on the other at
// once, not only when the file watcher gets round to it.
TEST_F(DeviceManagerTest, AProfileCreatedOnOnePageIsListedOnEveryPageOfItsKind) {
    start(true, false);
    auto& table = wnd->devices().device_slots();
    std::size_t mouse_slot = table.size();
    for (std::size_t i = 0; i < table.size() && mouse_slot == table.size(); ++i) {
        const DeviceSlot s = table.slot(i);
        if (s.row.device_type == link::TypeMouse && s.row.device_sub_type == 0)
            mouse_slot = i;
    }
    ASSERT_LT(mouse_slot, table.size());
    ASSERT_TRUE(wnd->devices().create_device_page(mouse_slot, 0));
    const auto& pages = wnd->devices().mouse_pages();
    ASSERT_EQ(pages.size(), 2u);
    auto* first = pages[0]->findChild<profile::CDeviceProfileUI*>();
    auto* second = pages[1]->findChild<profile::CDeviceProfileUI*>();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const int before = second->profile_count_in_combo();
    ASSERT_TRUE(first->create_profile());
    EXPECT_EQ(second->profile_count_in_combo(), before + 1);
    EXPECT_EQ(first->profile_count_in_combo(), before + 1);
}

TEST_F(DeviceManagerTest, LightSyncBoxesClearWithOneVisibleTile) {
    start(true, false);
    ui::CDeviceOptionUI* t = wnd->devices().tile(0);
    ASSERT_NE(t, nullptr);
    pui::set_selected(t->sync_box(), true);
    // Alone there is nothing to sync with.
    EXPECT_FALSE(page()->light_sync());
    wnd->devices().select_tile(0, true, true);
    EXPECT_FALSE(t->sync_on());
}

}  // namespace
}  // namespace velqa::test
