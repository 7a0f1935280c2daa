// The notification workers against the in-process simulated mouse, on both links: what the
// mouse reports reaches the page's handler decoded, and a stop or an unplug never hangs.
#include "device/model/notification_worker.h"

#include <gtest/gtest.h>

#include "in_process_sim.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::model {
namespace {

using Kind = NotificationAction::Kind;
using sim::InProcessSim;
using sim::Link;

constexpr const char* InTime = "线程退出：：对象处于激发状态\n";
constexpr const char* TooLate = "线程退出：：对象处于非激发状态，超时\n";
constexpr const char* Exit = "MS 设备同步线程设定退出";
constexpr const char* Received = "接收到自动添加设备的同步信息要求  TEST";
constexpr const char* SyncRequest = "接收到自动添加设备的同步信息要求";

class Notifications : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started());
        ASSERT_TRUE(sim_.open(commands_, GetParam()));
        const auto path = sim_.interface_path(GetParam(), 3);
        ASSERT_TRUE(path);
        path_ = *path;
    }
    int type() const { return GetParam() == Link::Cable ? WiredMouseType : ReceiverMouseType; }
    NotifyLink link() const {
        return GetParam() == Link::Cable ? NotifyLink::Wired : NotifyLink::Receiver;
    }
    link::HidDevice& device() {
        return GetParam() == Link::Cable ? holder_.wired() : holder_.receiver();
    }
    // Open, and wait until the worker is blocked in its read of the node and the simulator
    // serves the connection (beside the command link's, on the same node).
    void open() {
        ASSERT_TRUE(notifications_.open_notification(path_, type()));
        ASSERT_TRUE(test::eventually([&] { return device().read_in_progress(); }));
        ASSERT_TRUE(
            test::eventually([&] { return sim_.nodes().connection_count(GetParam(), 1) >= 2; }));
    }

    test::DebugLines debug_;
    test::TempDir dir_;
    InProcessSim sim_{dir_.path()};
    link::CommandChannel commands_{sim_.backend()};
    link::CommandChannel holder_{sim_.backend()};
    std::string path_;
    test::Mailbox<NotificationEvent> events_;
    MouseNotifications notifications_{holder_, commands_,
                                      [this](const NotificationEvent& e) { events_.push(e); }};
};

INSTANTIATE_TEST_SUITE_P(BothLinks, Notifications, ::testing::Values(Link::Cable, Link::Receiver),
                         [](const auto& p) {
                             return std::string(p.param == Link::Cable ? "Cable" : "Receiver");
                         });

TEST_P(Notifications, ADpiPressReachesTheHandlerWithSlotAndStage) {
    open();
    sim_.firmware().press_dpi();
    ASSERT_TRUE(events_.wait_count(1));
    const NotificationEvent e = events_.items()[0];
    const int stage = sim_.firmware().active_stage();
    EXPECT_EQ(e.link, link());
    EXPECT_EQ(e.code, 0x1100 | stage << 4);
    EXPECT_EQ(e.action, (NotificationAction{Kind::SetSlot, 0, stage}));
    EXPECT_FALSE(e.unplugged);
    EXPECT_EQ(debug_.count(Received), 1u);

    ASSERT_TRUE(sim_.firmware().set_slot(2));
    ASSERT_TRUE(events_.wait_count(2));
    EXPECT_EQ(events_.items()[1].action, (NotificationAction{Kind::SetSlot, 2, -1}));
}

TEST_P(Notifications, ASettingChangedOnTheMouseAsksForASettingsReload) {
    open();
    ASSERT_TRUE(sim_.firmware().change_setting(13, 1));
    ASSERT_TRUE(events_.wait_count(1));
    EXPECT_EQ(events_.items()[0].code, 0x401);
    EXPECT_EQ(events_.items()[0].action.kind, Kind::ReloadSettings);
    EXPECT_EQ(debug_.count(SyncRequest), 1u);
}

TEST_P(Notifications, SlotEventsNeedTheCommandLinkOpen) {
    commands_.set_link_open(0);
    open();
    sim_.firmware().press_dpi();
    ASSERT_TRUE(sim_.firmware().change_setting(13, 1));
    ASSERT_TRUE(events_.wait_count(1));
    ASSERT_TRUE(debug_.wait_for(Received, 2));
    ASSERT_EQ(events_.items().size(), 1u) << "the press is read but means nothing";
    EXPECT_EQ(events_.items()[0].action.kind, Kind::ReloadSettings);
}

TEST_P(Notifications, CloseEndsTheBlockedReadWithinTheBoundedWait) {
    open();
    notifications_.close_notification(type());
    EXPECT_FALSE(notifications_.worker_running(type()));
    EXPECT_FALSE(notifications_.is_open(type()));
    EXPECT_FALSE(device().is_open());
    EXPECT_EQ(debug_.count(InTime), 1u);
    EXPECT_EQ(debug_.count(TooLate), 0u);
    EXPECT_EQ(debug_.count(Exit), 1u);
    notifications_.close_notification(type());
    EXPECT_EQ(debug_.count(Exit), 1u) << "closing again stops nothing";
}

TEST_P(Notifications, UnplugEndsTheReadAsUnpluggedAndAReopenReadsAgain) {
    open();
    ASSERT_TRUE(sim_.nodes().unplug(GetParam()));
    ASSERT_TRUE(events_.wait_count(1));
    EXPECT_TRUE(events_.items()[0].unplugged);
    EXPECT_EQ(events_.items()[0].link, link());
    EXPECT_TRUE(notifications_.worker_running(type())) << "idles until reopened";

    ASSERT_TRUE(sim_.nodes().plug(GetParam()));
    const auto path = sim_.interface_path(GetParam(), 3);
    ASSERT_TRUE(path);
    path_ = *path;
    EXPECT_TRUE(notifications_.reopen_notification(path_, type()));
    ASSERT_TRUE(test::eventually([&] { return device().read_in_progress(); }));
    // The command link's connection went with the old node: this one is the only one.
    ASSERT_TRUE(test::eventually([&] { return sim_.nodes().connection_count(GetParam(), 1); }));
    ASSERT_TRUE(sim_.firmware().change_setting(13, 1));
    ASSERT_TRUE(events_.wait_count(2));
    EXPECT_EQ(events_.items()[1].action.kind, Kind::ReloadSettings);
    ASSERT_EQ(events_.items().size(), 2u);
    EXPECT_EQ(debug_.count(Exit), 1u) << "the reopen stopped the first worker";
    notifications_.close_notification(type());
    EXPECT_EQ(debug_.count(TooLate), 0u);
}

TEST_P(Notifications, AFailedOpenLeavesAnIdleWorkerThatStopsAtOnce) {
    ASSERT_TRUE(sim_.nodes().unplug(GetParam()));
    EXPECT_FALSE(notifications_.open_notification(path_, type()));
    EXPECT_FALSE(notifications_.is_open(type()));
    EXPECT_TRUE(notifications_.worker_running(type()));
    EXPECT_FALSE(notifications_.open_notification(path_, 3)) << "no such type";
    notifications_.close_notification(type());
    EXPECT_FALSE(notifications_.worker_running(type()));
    EXPECT_EQ(debug_.count(InTime), 1u);
}

TEST_P(Notifications, OpenWhileReadingMovesTheWorkerToTheNewNode) {
    open();
    ASSERT_TRUE(notifications_.open_notification(path_, type()));
    // The simulator counts the old connection until it notices the close, so the count cannot
    // tell when the new one is served: press until a press arrives.
    ASSERT_TRUE(test::eventually([&] {
        sim_.firmware().press_dpi();
        return events_.wait_count(1, std::chrono::milliseconds(100));
    }));
    EXPECT_EQ(events_.items()[0].action.kind, Kind::SetSlot);
    EXPECT_EQ(debug_.count(Exit), 0u) << "one worker, still running";
}

}  // namespace
}  // namespace velqa::model
