// The tray and the low-battery notices end to end: the window with the in-process mouse, and a
// notification service on a private bus the test starts. Also the desktop notifier on its own:
// what a Notify call carries, replacement by tag, and a bus without the service.
#include <QImage>
#include <QPixmap>
#include <memory>
#include <string>

#include "app/main_wnd.h"
#include "app_fixture.h"
#include "device/model/mouse_settings.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/debug_output.h"
#include "platform/ipc/notify.h"
#include "platform/json_read.h"
#include "platform/ui/tray_icon.h"
#include "support/notification_server.h"

namespace velqa::test {
namespace {

using app::CMainWnd;
using sim::InProcessSim;
using sim::Link;

constexpr char kAppName[] = "ZARN VELQA R260";

// Lines of the debug output that start with `prefix`, counted while alive.
class PrefixCount {
  public:
    explicit PrefixCount(std::string prefix)
        : prefix_(std::move(prefix)),
          previous_(platform::set_debug_sink([this](std::string_view t) {
              if (t.substr(0, prefix_.size()) == prefix_)
                  ++count_;
          })) {}
    ~PrefixCount() { platform::set_debug_sink(std::move(previous_)); }
    int count() const { return count_; }

  private:
    std::string prefix_;
    platform::DebugSink previous_;
    std::atomic<int> count_{0};
};

platform::DesktopNotice notice(const char* summary, const std::string& tag = {}) {
    platform::DesktopNotice n;
    n.summary = summary;
    n.body = "body";
    n.tag = tag;
    return n;
}

class NotifierTest : public AppTest {};

TEST_F(NotifierTest, NotifyCarriesAppIconHintsAndATaggedNoticeReplacesTheLastOne) {
    PrivateBus bus(dir_ / "bus");
    ASSERT_FALSE(bus.address().isEmpty());
    NotificationServer server(bus.address());
    ASSERT_TRUE(server.registered());
    auto notifier = platform::make_desktop_notifier(kAppName, bus.address().toStdString());

    auto first = notice("low", "battery:mouse");
    first.urgency = platform::DesktopNotice::Urgency::Critical;
    EXPECT_TRUE(notifier->notify(first));
    // Sent at once: the second waits for the first's id instead of stacking a second notice.
    EXPECT_TRUE(notifier->notify(notice("lower", "battery:mouse")));
    EXPECT_TRUE(notifier->notify(notice("other")));
    ASSERT_TRUE(wait_until([&] { return server.count() == 3; }));

    const auto calls = server.calls();
    EXPECT_EQ(calls[0].app_name, kAppName);
    EXPECT_EQ(calls[0].icon, "velqa");
    EXPECT_EQ(calls[0].summary, "low");
    EXPECT_EQ(calls[0].body, "body");
    EXPECT_EQ(calls[0].replaces_id, 0u);
    EXPECT_TRUE(calls[0].actions.isEmpty());
    EXPECT_EQ(calls[0].timeout, -1);
    EXPECT_EQ(calls[0].hints.value("urgency").toUInt(), 2u);
    EXPECT_EQ(calls[0].hints.value("desktop-entry").toString(), "velqa");
    // The untagged one went out without waiting.
    EXPECT_EQ(calls[1].summary, "other");
    EXPECT_EQ(calls[1].replaces_id, 0u);
    EXPECT_EQ(calls[2].summary, "lower");
    EXPECT_EQ(calls[2].replaces_id, 1u);
}

TEST_F(NotifierTest, AMissingServiceOrBusIsLoggedOnceAndNothingIsRetried) {
    PrivateBus bus(dir_ / "bus");
    ASSERT_FALSE(bus.address().isEmpty());
    PrefixCount log("notify:");
    {
        auto notifier = platform::make_desktop_notifier(kAppName, bus.address().toStdString());
        EXPECT_TRUE(notifier->notify(notice("a", "t")));
        EXPECT_TRUE(notifier->notify(notice("b")));
        ASSERT_TRUE(wait_until([&] { return log.count() == 1; }));

        // The service appears: notices get through again. The tagged pair is ordered after
        // both failed answers, so once it is in, every failure has been seen.
        NotificationServer server(bus.address());
        ASSERT_TRUE(server.registered());
        EXPECT_TRUE(notifier->notify(notice("c", "u")));
        EXPECT_TRUE(notifier->notify(notice("d", "u")));
        ASSERT_TRUE(wait_until([&] { return server.count() == 2; }));
        EXPECT_EQ(log.count(), 1);
        EXPECT_EQ(server.calls()[0].summary, "c");
    }

    PrefixCount no_bus("notify:");
    auto unreachable = platform::make_desktop_notifier(kAppName, "unix:path=/nonexistent/bus");
    EXPECT_FALSE(unreachable->notify(notice("a")));
    EXPECT_FALSE(unreachable->notify(notice("b")));
    EXPECT_EQ(no_bus.count(), 1);
}

TEST(TrayIconMark, LowBatteryMarkIsRedOverTheLogoCorner) {
    qt_app();
    QPixmap logo(32, 32);
    logo.fill(Qt::blue);
    const QImage marked = platform::ui::draw_low_battery_mark(logo).toImage();
    ASSERT_EQ(marked.size(), QSize(32, 32));
    // Top left is still the logo; inside the bar's charge level it is red.
    EXPECT_EQ(marked.pixelColor(2, 2), QColor(Qt::blue));
    const QColor level = marked.pixelColor(17, 25);
    EXPECT_GT(level.red(), 200);
    EXPECT_LT(level.green(), 60);
    EXPECT_LT(level.blue(), 60);
}

class TrayBatteryTest : public AppTest {
  protected:
    void TearDown() override {
        wnd.reset();
        sim.reset();
        server.reset();
        bus.reset();
        AppTest::TearDown();
    }

    // The mouse on the given links, the window over it, and notices to the test's service.
    void start(bool cable, bool receiver) {
        bus = std::make_unique<PrivateBus>(dir_ / "bus");
        ASSERT_FALSE(bus->address().isEmpty());
        server = std::make_unique<NotificationServer>(bus->address());
        ASSERT_TRUE(server->registered());
        sim = std::make_unique<InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        if (!cable)
            unplug(Link::Cable);
        if (!receiver)
            unplug(Link::Receiver);
        wnd =
            std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
        wnd->set_notifier(platform::make_desktop_notifier(kAppName, bus->address().toStdString()));
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_EQ(wnd->language_index(), 0);  // English
    }
    void unplug(Link l) {
        sim->nodes().unplug(l);
        sim->firmware().set_plugged(l, false);
    }
    bool tile_shows(const char* link) const {
        const Json::Value t =
            platform::element(platform::parse_json(wnd->automation_state())["tiles"], 0);
        return t["visible"].asBool() && t["link"].asString() == link;
    }
    // The mouse reports `percent` and `charging` at its next poll, which is made to come now.
    void battery(int percent, int charging = 0) {
        sim->firmware().set_battery(percent, charging);
        wnd->devices().mouse_pages().front()->start_tile_timer(model::TimerPower, 1);
    }
    std::string tip() const { return wnd->tray().tool_tip().toStdString(); }
    bool tip_is(const std::string& battery_line, const char* link) const {
        return tip() == "ZARN_VELQA_R260\n" + battery_line + "\nLink: " + link;
    }

    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<NotificationServer> server;
    std::unique_ptr<InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    bool settled = false;
};

TEST_F(TrayBatteryTest, WithoutADeviceTheTrayShowsTheProgramName) {
    wnd = std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, nullptr);
    ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(800, 572)));
    EXPECT_EQ(tip(), "ZARN_VELQA_R260");
    EXPECT_FALSE(wnd->tray().low_battery());
}

TEST_F(TrayBatteryTest, WirelessMouseRunningLowGetsOneNoticePerLevelAndNoneWhileCharging) {
    start(false, true);
    ASSERT_TRUE(wait_until([&] { return tile_shows("receiver"); }));

    battery(20);
    ASSERT_TRUE(wait_until([&] { return tip_is("Battery: 20%", "2.4G"); }));
    EXPECT_FALSE(wnd->tray().low_battery());
    for (int p : {16, 15, 15, 14, 10}) {
        battery(p);
        ASSERT_TRUE(wait_until([&] {
            return tip_is("Battery: " + std::to_string(p) + "%", "2.4G");
        })) << p
            << ": " << tip();
        EXPECT_TRUE(p > 15 || wnd->tray().low_battery()) << p;
    }
    battery(5);
    ASSERT_TRUE(wait_until([&] { return server->count() == 2; }));
    battery(4);
    ASSERT_TRUE(wait_until([&] { return tip_is("Battery: 4%", "2.4G"); }));

    // Charging: the mark goes, and nothing is announced however low the level.
    battery(4, 1);
    ASSERT_TRUE(wait_until([&] { return tip_is("Battery: 4%, charging", "2.4G"); }));
    EXPECT_FALSE(wnd->tray().low_battery());
    battery(3, 1);
    ASSERT_TRUE(wait_until([&] { return tip_is("Battery: 3%, charging", "2.4G"); }));
    // Charged and unplugged from the charger again: a new discharge, announced anew.
    battery(14);
    ASSERT_TRUE(wait_until([&] { return server->count() == 3; }));

    const auto calls = server->calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].summary, "Mouse battery low");
    EXPECT_TRUE(calls[0].body.contains("15%")) << calls[0].body.toStdString();
    EXPECT_EQ(calls[0].hints.value("urgency").toUInt(), 1u);
    EXPECT_EQ(calls[1].summary, "Mouse battery almost empty");
    EXPECT_TRUE(calls[1].body.contains("5%"));
    EXPECT_EQ(calls[1].hints.value("urgency").toUInt(), 2u);
    // One mouse, one notice on the desktop: each takes the place of the one before.
    EXPECT_EQ(calls[1].replaces_id, 1u);
    // Nothing came while charging: the third is the 14% of the new discharge.
    EXPECT_TRUE(calls[2].body.contains("14%"));
}

TEST_F(TrayBatteryTest, OnTheCableNothingIsAnnouncedAndTheTrayFollowsTheLink) {
    start(true, true);
    ASSERT_TRUE(wait_until([&] { return tile_shows("cable"); }));
    for (int p : {12, 11}) {
        battery(p);
        ASSERT_TRUE(wait_until([&] {
            return tip_is("Battery: " + std::to_string(p) + "%", "cable");
        })) << tip();
        EXPECT_TRUE(wnd->tray().low_battery());
    }

    // Off the cable at a level the cable never reported: the notice says which reading sent it.
    model::CZentovaMouseDevice* page = wnd->devices().mouse_pages().front();
    page->set_power_suppress(true);
    sim->firmware().set_battery(10, 0);
    unplug(Link::Cable);
    ASSERT_TRUE(wait_until([&] { return tile_shows("receiver"); }));
    // The tray follows the link before the next status.
    EXPECT_TRUE(tip_is("Battery: 11%", "2.4G")) << tip();
    page->set_power_suppress(false);
    battery(10);
    ASSERT_TRUE(wait_until([&] { return server->count() >= 1; }));
    EXPECT_TRUE(server->calls()[0].body.contains("10%")) << server->calls()[0].body.toStdString();

    // A language change re-words the tooltip at once.
    ASSERT_TRUE(wnd->apply_language(1));
    EXPECT_EQ(tip(), "ZARN_VELQA_R260\n电量：10%\n连接：2.4G");
}

}  // namespace
}  // namespace velqa::test
