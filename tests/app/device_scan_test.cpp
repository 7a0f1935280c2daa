#include "app/device_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "in_process_sim.h"
#include "platform/debug_output.h"
#include "platform/hid/sim_backend.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"
#include "support/test_hid_nodes.h"
#include "support/waiting.h"

namespace velqa::app {
namespace {

using sim::Link;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr std::size_t kCable = 4, kCableNotify = 5, kReceiver = 6, kReceiverNotify = 7;

// Records what the scanner tells the window, in order ("arrived 4", "lost 5", "first",
// "denied 2").
class Recorder : public ScanListener {
  public:
    void device_arrived(std::size_t slot) override {
        events.push("arrived " + std::to_string(slot));
    }
    void device_lost(std::size_t slot) override { events.push("lost " + std::to_string(slot)); }
    void first_pass_done() override { events.push("first"); }
    void access_denied(const std::vector<std::string>& paths) override {
        denied.push(paths);
        events.push("denied " + std::to_string(paths.size()));
    }
    std::vector<std::string> seen() const { return events.items(); }
    bool saw(const std::string& event) {
        return events.wait([&](const auto& items) {
            return std::find(items.begin(), items.end(), event) != items.end();
        });
    }

    test::Mailbox<std::string> events;
    test::Mailbox<std::vector<std::string>> denied;
};

class DeviceScannerTest : public ::testing::Test {
  protected:
    DeviceScannerTest() : sim_(dir_.path()) {}

    void SetUp() override { ASSERT_TRUE(sim_.started()); }

    // A scanner over `backend` (the simulator's own by default).
    DeviceScanner& scanner(std::shared_ptr<platform::hid::HidBackend> backend = nullptr) {
        scanner_ = std::make_unique<DeviceScanner>(backend ? backend : sim_.backend(), slots_,
                                                   test::shipped_interfaces());
        return *scanner_;
    }

    std::string path(Link l, std::uint16_t collection) {
        return sim_.interface_path(l, collection).value_or("");
    }

    test::TempDir dir_;
    sim::InProcessSim sim_;
    DeviceSlots slots_{test::shipped_interfaces()};
    std::unique_ptr<DeviceScanner> scanner_;
    Recorder listener_;
};

TEST_F(DeviceScannerTest, ClaimsTheCableInterfacesAndReportsEachAtOnce) {
    sim_.nodes().unplug(Link::Receiver);
    auto& scan = scanner();
    const auto first = scan.run_pass(listener_);
    EXPECT_TRUE(first.scanned);
    EXPECT_FALSE(first.scan_failed);
    // Collection 3 comes before collection 4 in the node's list: a notification interface
    // may arrive before its command interface.
    EXPECT_THAT(first.claimed, ElementsAre(kCableNotify, kCable));
    EXPECT_THAT(listener_.seen(), ElementsAre("arrived 5", "arrived 4", "first"));
    EXPECT_EQ(slots_.slot(kCable).path, path(Link::Cable, 4));
    EXPECT_EQ(slots_.slot(kCableNotify).path, path(Link::Cable, 3));
    EXPECT_TRUE(
        same_identity(wired_identity(slots_, kCableNotify), row_identity(slots_.slot(kCable).row)));

    const auto second = scan.run_pass(listener_);
    EXPECT_TRUE(second.claimed.empty());
    EXPECT_TRUE(second.lost.empty());
    EXPECT_THAT(listener_.seen(), SizeIs(3)) << "first_pass_done only once";
}

TEST_F(DeviceScannerTest, ClaimsTheReceiverAndThenTheCablePluggedBeside) {
    sim_.nodes().unplug(Link::Cable);
    auto& scan = scanner();
    EXPECT_THAT(scan.run_pass(listener_).claimed, ElementsAre(kReceiverNotify, kReceiver));
    EXPECT_TRUE(same_identity(wired_identity(slots_, kReceiver),
                              row_identity(test::shipped_interfaces()[kCable])));
    EXPECT_TRUE(same_identity(wired_identity(slots_, kReceiverNotify),
                              row_identity(test::shipped_interfaces()[kCable])));
    EXPECT_FALSE(partner_linked(slots_, kReceiver));

    ASSERT_TRUE(sim_.nodes().plug(Link::Cable));
    EXPECT_THAT(scan.run_pass(listener_).claimed, ElementsAre(kCableNotify, kCable));
    EXPECT_TRUE(partner_linked(slots_, kReceiver));
    EXPECT_TRUE(partner_linked(slots_, kCable));
    // Every claimable slot is linked now: the pass only checks presence.
    EXPECT_FALSE(scan.run_pass(listener_).scanned);
}

TEST_F(DeviceScannerTest, AProductStringMismatchIsNeverClaimed) {
    test::TempDir other;
    auto backend = platform::hid::make_sim_backend(other.path());
    platform::hid::NodeInfo info;
    info.vendor_id = link::DefaultMakerVendorId;
    info.product_id = sim::SimNodes::CableProductId;
    info.interface_number = 1;
    info.product = "VELQA-R261";
    const auto descriptor = sim::SimNodes::report_descriptor(1);
    info.descriptor.assign(descriptor.begin(), descriptor.end());
    test::FakeSimNode node(other.path(), "lookalike-if1", info);
    ASSERT_TRUE(node.ok());

    auto& scan = scanner(std::move(backend));
    for (int pass = 0; pass < 2; ++pass) {
        const auto result = scan.run_pass(listener_);
        EXPECT_TRUE(result.scanned);
        EXPECT_TRUE(result.claimed.empty());
        EXPECT_TRUE(result.denied.empty());
    }
    EXPECT_TRUE(slots_.linked_slots().empty());
}

TEST_F(DeviceScannerTest, ARemovedNodeIsLostWithinOnePass) {
    auto& scan = scanner();
    ASSERT_THAT(scan.run_pass(listener_).claimed, SizeIs(4));
    ASSERT_TRUE(sim_.nodes().unplug(Link::Cable));
    const auto result = scan.run_pass(listener_);
    EXPECT_THAT(result.lost, ElementsAre(kCable, kCableNotify));
    EXPECT_TRUE(slots_.slot(kCable).is_free());
    EXPECT_TRUE(slots_.slot(kReceiver).linked);
    EXPECT_THAT(listener_.seen(), ::testing::Contains("lost 4"));
}

TEST_F(DeviceScannerTest, ANodeNameTakenByAnotherNodeIsLostThenClaimedAgain) {
    sim_.nodes().unplug(Link::Receiver);
    auto& scan = scanner();
    ASSERT_THAT(scan.run_pass(listener_).claimed, SizeIs(2));
    // Unplugged and plugged between two passes: the same name, another node.
    ASSERT_TRUE(sim_.nodes().unplug(Link::Cable));
    ASSERT_TRUE(sim_.nodes().plug(Link::Cable));
    const auto replaced = scan.run_pass(listener_);
    EXPECT_THAT(replaced.lost, ElementsAre(kCable, kCableNotify));
    EXPECT_TRUE(replaced.claimed.empty()) << "the slot was not free when the list was read";
    EXPECT_THAT(scan.run_pass(listener_).claimed, ElementsAre(kCableNotify, kCable));
}

TEST_F(DeviceScannerTest, AnUnreadableListIsRetriedOnTheNextPass) {
    auto faulty = std::make_shared<test::FaultyBackend>(sim_.backend());
    auto& scan = scanner(faulty);
    sim_.nodes().unplug(Link::Receiver);
    ASSERT_THAT(scan.run_pass(listener_).claimed, SizeIs(2));
    ASSERT_TRUE(sim_.nodes().plug(Link::Receiver));

    platform::DebugCapture debug;
    faulty->fail_lists(true);
    const auto failed = scan.run_pass(listener_);
    EXPECT_TRUE(failed.scan_failed);
    EXPECT_TRUE(failed.claimed.empty());
    EXPECT_TRUE(failed.lost.empty()) << "presence is checked without the list";
    EXPECT_TRUE(debug.contains("could not be read"));

    faulty->fail_lists(false);
    EXPECT_THAT(scan.run_pass(listener_).claimed, ElementsAre(kReceiverNotify, kReceiver));
}

TEST_F(DeviceScannerTest, APermissionDeniedNodeIsReportedOnceAndClearedWhenFixed) {
    auto faulty = std::make_shared<test::FaultyBackend>(sim_.backend());
    const std::string cable_node = sim_.nodes().node_path(Link::Cable, 1).string();
    faulty->fail_opens_of(cable_node, EACCES);
    auto& scan = scanner(faulty);

    const auto first = scan.run_pass(listener_);
    EXPECT_THAT(first.denied, ElementsAre(path(Link::Cable, 3), path(Link::Cable, 4)));
    EXPECT_THAT(first.claimed, ElementsAre(kReceiverNotify, kReceiver));
    scan.run_pass(listener_);
    ASSERT_THAT(listener_.denied.items(), SizeIs(1)) << "an unchanged set is not reported again";
    EXPECT_THAT(listener_.denied.items()[0], SizeIs(2));

    faulty->fail_opens_of(cable_node, 0);
    EXPECT_THAT(scan.run_pass(listener_).claimed, ElementsAre(kCableNotify, kCable));
    ASSERT_THAT(listener_.denied.items(), SizeIs(2));
    EXPECT_THAT(listener_.denied.items()[1], IsEmpty());
    scan.run_pass(listener_);
    EXPECT_THAT(listener_.denied.items(), SizeIs(2));
}

TEST_F(DeviceScannerTest, ANodeThisUserMayNotOpenIsDenied) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens any node";
    sim_.nodes().unplug(Link::Receiver);
    const auto node = sim_.nodes().node_path(Link::Cable, 1);
    ASSERT_EQ(::chmod(node.c_str(), 0), 0);
    auto& scan = scanner();
    EXPECT_THAT(scan.run_pass(listener_).denied, SizeIs(2));
    ASSERT_EQ(::chmod(node.c_str(), 0777), 0);
    EXPECT_THAT(scan.run_pass(listener_).claimed, SizeIs(2));
}

// ---- The scan thread ----

class DeviceScanThreadTest : public DeviceScannerTest {
  protected:
    static constexpr std::chrono::milliseconds kNoSafetyPass{60'000};
};

TEST_F(DeviceScanThreadTest, ANodeCreatedWakesAPassAndStopEndsTheWaitAtOnce) {
    sim_.nodes().unplug(Link::Cable);
    sim_.nodes().unplug(Link::Receiver);
    test::DebugLines debug;
    // Without a safety pass in the test's time, only the folder's change can give the pass.
    DeviceScanThread thread(sim_.backend(), slots_, test::shipped_interfaces(), listener_,
                            kNoSafetyPass);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(listener_.saw("first"));
    ASSERT_TRUE(sim_.nodes().plug(Link::Cable));
    EXPECT_TRUE(listener_.saw("arrived 4"));
    EXPECT_TRUE(listener_.saw("arrived 5"));
    // One plug is one burst of node events, settled into few passes, never a stream.
    EXPECT_LE(thread.passes(), 4u);

    ASSERT_TRUE(sim_.nodes().unplug(Link::Cable));
    EXPECT_TRUE(listener_.saw("lost 4"));

    EXPECT_EQ(thread.stop(), platform::StopOutcome::Signalled);
    EXPECT_FALSE(thread.running());
    EXPECT_EQ(debug.count("抓取设备线程设定退出"), 1u);
}

TEST_F(DeviceScanThreadTest, RescanAsksForAPass) {
    DeviceScanThread thread(sim_.backend(), slots_, test::shipped_interfaces(), listener_,
                            kNoSafetyPass);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(listener_.saw("first"));
    ASSERT_TRUE(test::eventually([&] { return thread.passes() >= 1; }));
    const auto before = thread.passes();
    thread.rescan();
    EXPECT_TRUE(test::eventually([&] { return thread.passes() > before; }));
    thread.request_stop();
    EXPECT_EQ(thread.stop(), platform::StopOutcome::Signalled);
}

TEST_F(DeviceScanThreadTest, WithoutAWatchableFolderTheSafetyPassKeepsScanning) {
    auto faulty = std::make_shared<test::FaultyBackend>(sim_.backend());
    faulty->set_node_folder(dir_.path() / "missing");
    faulty->fail_lists(true);
    test::DebugLines debug;
    DeviceScanThread thread(faulty, slots_, test::shipped_interfaces(), listener_,
                            std::chrono::milliseconds(20));
    ASSERT_TRUE(thread.start());
    // A failed list read does not end the thread: later passes claim the mouse.
    ASSERT_TRUE(test::eventually([&] { return thread.passes() >= 2; }));
    EXPECT_TRUE(slots_.linked_slots().empty());
    faulty->fail_lists(false);
    EXPECT_TRUE(listener_.saw("arrived 4"));
    EXPECT_TRUE(listener_.saw("arrived 6"));
    EXPECT_EQ(thread.stop(), platform::StopOutcome::Signalled);
    EXPECT_EQ(debug.count("抓取设备线程设定退出"), 1u);
}

}  // namespace
}  // namespace velqa::app
