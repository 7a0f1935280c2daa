#include "device/link/hid_device.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "device/link/supported_devices.h"
#include "platform/atomic_file.h"
#include "platform/folders.h"
#include "platform/hid/sim_backend.h"
#include "platform/hid/sysfs_fixture.h"
#include "sim_nodes.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::link {
namespace {

using sim::Link;
using sim::SimNodes;
using ::testing::ElementsAre;

using velqa::test::eventually;

// --- Path parsers ----------------------------------------------------------------------------

TEST(HidPathParsers, ReadHexAfterCaseInsensitiveMarkers) {
    const std::string p = "/dev/hidraw1#VID_FA2E&Pid_22a0&MI_01&COL0b";
    EXPECT_EQ(HidDevice::vendor_id_of(p), 0xFA2E);
    EXPECT_EQ(HidDevice::product_id_of(p), 0x22A0);
    EXPECT_EQ(HidDevice::interface_of(p), 1);
    EXPECT_EQ(HidDevice::collection_of(p), 0x0B);
}

TEST(HidPathParsers, MissingMarkersGiveZero) {
    const std::string p = "/dev/hidraw1#vid_fa2e&pid_2299";
    EXPECT_EQ(HidDevice::interface_of(p), 0);
    EXPECT_EQ(HidDevice::collection_of(p), 0);
    EXPECT_EQ(HidDevice::vendor_id_of(""), 0);
    EXPECT_EQ(HidDevice::product_id_of("vid_1234"), 0);
    EXPECT_EQ(HidDevice::vendor_id_of("vid_zz"), 0) << "no digits";
}

TEST(HidPathParsers, WindowsFormAndOddNumbers) {
    const std::string win = R"(\\?\hid#vid_046d&pid_c52b&mi_02&col01#8&2a0b1c&0&0000#{4d1e55b2})";
    EXPECT_EQ(HidDevice::vendor_id_of(win), 0x046D);
    EXPECT_EQ(HidDevice::product_id_of(win), 0xC52B);
    EXPECT_EQ(HidDevice::interface_of(win), 2);
    EXPECT_EQ(HidDevice::collection_of(win), 1);
    EXPECT_EQ(HidDevice::vendor_id_of("#vid_0x1a2b"), 0x1A2B) << "like %x";
    EXPECT_EQ(HidDevice::vendor_id_of("#vid_123456"), 0x3456) << "cut to 16 bits";
}

TEST(HidPathParsers, FolderNamesWithMarkersDoNotShadowTheSuffix) {
    const std::string p = "/tmp/my_vid_9999&col07/cable-if1.sock#vid_fa2e&pid_2299&mi_01&col04";
    EXPECT_EQ(HidDevice::vendor_id_of(p), 0xFA2E);
    EXPECT_EQ(HidDevice::collection_of(p), 4);
}

// --- Scan list -------------------------------------------------------------------------------

class HidScan : public ::testing::Test {
  protected:
    void add_nodes(int count, const std::vector<uint8_t>& descriptor) {
        for (int i = 0; i < count; ++i) {
            test::FixtureNode n;
            n.name = "hidraw" + std::to_string(next_++);
            n.vendor_id = 0x1111;
            n.product_id = static_cast<uint16_t>(0x100 + i);
            n.interface_number = 1;
            n.usb_product = "Widget";
            n.descriptor = descriptor;
            test::add_hidraw_node(sys_.path(), n);
        }
    }
    std::vector<std::string> drain(HidDevice& d) {
        std::vector<std::string> out;
        while (auto p = d.next_path())
            out.push_back(*p);
        return out;
    }
    test::TempDir sys_;
    std::shared_ptr<platform::hid::HidBackend> backend_ =
        platform::hid::make_hidraw_backend(sys_.path());
    int next_ = 0;
};

TEST_F(HidScan, NineInterfacesGrowTheListPastItsFirstCapacity) {
    add_nodes(9, test::boot_mouse_descriptor());
    HidDevice d(backend_);
    ASSERT_TRUE(d.scan());
    EXPECT_EQ(d.scan_count(), 9u);
    EXPECT_EQ(d.scan_capacity(), 16u);
    const auto paths = drain(d);
    ASSERT_EQ(paths.size(), 9u);
    EXPECT_EQ(paths.front(), "/dev/hidraw0#vid_1111&pid_0100&mi_01");
    EXPECT_EQ(paths.back(), "/dev/hidraw8#vid_1111&pid_0108&mi_01");
    EXPECT_FALSE(d.next_path()) << "the cursor stays at the end";
}

TEST_F(HidScan, SeventeenAndMoreInterfacesDoubleAgainAndKeepEveryPath) {
    add_nodes(5, test::four_collection_descriptor());  // 20 interfaces
    HidDevice d(backend_);
    ASSERT_TRUE(d.scan());
    EXPECT_EQ(d.scan_count(), 20u);
    EXPECT_EQ(d.scan_capacity(), 32u);
    const auto paths = drain(d);
    ASSERT_EQ(paths.size(), 20u);
    EXPECT_EQ(paths[19], "/dev/hidraw4#vid_1111&pid_0104&mi_01&col04");
    ASSERT_TRUE(d.scan()) << "a second scan starts over";
    EXPECT_EQ(drain(d).size(), 20u);
    d.clear_scan();
    EXPECT_EQ(d.scan_count(), 0u);
    EXPECT_FALSE(d.next_path());
}

TEST_F(HidScan, EmptyMachineScansToAnEmptyList) {
    HidDevice d(backend_);
    EXPECT_TRUE(d.scan());
    EXPECT_FALSE(d.next_path());
}

// --- Simulated nodes -------------------------------------------------------------------------

// Records output reports; answers vendor reports with a copy when asked to.
class Recorder : public sim::ReportHandler {
  public:
    void on_output(Link link, std::span<const uint8_t> report) override {
        std::vector<uint8_t> copy(report.begin(), report.end());
        {
            std::lock_guard lock(mutex_);
            received_.push_back(copy);
        }
        changed_.notify_all();
        if (echo_ && nodes_)
            nodes_->send_input(link, 1, copy);
    }
    bool wait_for(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20),
                                 [&] { return received_.size() >= count; });
    }
    std::vector<std::vector<uint8_t>> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    SimNodes* nodes_ = nullptr;
    bool echo_ = false;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<uint8_t>> received_;
};

class HidSim : public ::testing::Test {
  protected:
    void SetUp() override {
        recorder_.nodes_ = &nodes_;
        ASSERT_TRUE(nodes_.start(true, true));
    }
    std::string path(Link link, int interface_number, int col) {
        char tail[64];
        const uint16_t pid =
            link == Link::Cable ? SimNodes::CableProductId : SimNodes::ReceiverProductId;
        if (col) {
            std::snprintf(tail, sizeof tail, "#vid_%04x&pid_%04x&mi_%02x&col%02x",
                          DefaultMakerVendorId, pid, interface_number, col);
        } else {
            std::snprintf(tail, sizeof tail, "#vid_%04x&pid_%04x&mi_%02x", DefaultMakerVendorId,
                          pid, interface_number);
        }
        return nodes_.node_path(link, static_cast<uint8_t>(interface_number)).string() + tail;
    }
    bool open(HidDevice& d, const std::string& p, bool exclusive = false) {
        return d.open(p, true, true, true, exclusive);
    }
    bool connections(Link link, uint8_t iface, size_t n) {
        return eventually([&] { return nodes_.connection_count(link, iface) == n; });
    }

    test::TempDir dir_;
    std::shared_ptr<platform::hid::HidBackend> backend_ =
        platform::hid::make_sim_backend(dir_.path());
    Recorder recorder_;
    SimNodes nodes_{dir_.path(), &recorder_};
};

TEST_F(HidSim, ScanListsBothLinksPerCollection) {
    HidDevice d(backend_);
    ASSERT_TRUE(d.scan());
    std::vector<std::string> paths;
    while (auto p = d.next_path())
        paths.push_back(*p);
    ASSERT_EQ(paths.size(), 10u);
    EXPECT_EQ(paths[0], path(Link::Cable, 0, 0));
    EXPECT_EQ(paths[4], path(Link::Cable, 1, 4));
    EXPECT_EQ(paths[9], path(Link::Receiver, 1, 4));
    std::vector<size_t> rows;
    for (const auto& p : paths) {
        if (auto row = match_path(test::shipped_interfaces(), p))
            rows.push_back(*row);
    }
    EXPECT_THAT(rows, ElementsAre(5, 4, 7, 6));
}

// The line format of "velqactl hid list" is a contract scripts rely on.
TEST_F(HidSim, VelqactlListsEveryCollectionAndRecognisesTheMouse) {
    const auto tool = platform::executable_folder() / "velqactl";
    if (!std::filesystem::exists(tool))
        GTEST_SKIP() << "velqactl not built";
    FILE* pipe = ::popen(
        ("VELQA_HID=sim:" + dir_.path().string() + " " + tool.string() + " hid list").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe))
        lines.emplace_back(line);
    ASSERT_EQ(::pclose(pipe), 0);
    ASSERT_EQ(lines.size(), 10u);
    char vid[8];
    std::snprintf(vid, sizeof vid, "%04X", DefaultMakerVendorId);
    EXPECT_EQ(lines[0], path(Link::Cable, 0, 0) + "  " + vid +
                            ":2299  mi=00 col=00 usage=0001:0002  \"VELQA-R260\"\n");
    EXPECT_EQ(lines[4], path(Link::Cable, 1, 4) + "  " + vid +
                            ":2299  mi=01 col=04 usage=FF1C:0092  \"VELQA-R260\"  row=4 type=2 "
                            "subtype=0\n");
    EXPECT_EQ(lines[8], path(Link::Receiver, 1, 3) + "  " + vid +
                            ":22A0  mi=01 col=03 usage=000C:0001  \"VELQA-R260\"  row=7 type=6 "
                            "subtype=255\n");
}

TEST_F(HidSim, OpenLoadsTheCollectionsCapabilities) {
    HidDevice d(backend_);
    ASSERT_TRUE(d.open(path(Link::Receiver, 1, 4), true, false, true, false));
    EXPECT_TRUE(d.is_open());
    EXPECT_TRUE(d.access().read);
    EXPECT_FALSE(d.access().write);
    EXPECT_TRUE(d.access().overlapped);
    EXPECT_EQ(d.caps().usage_page, 0xFF1C);
    EXPECT_EQ(d.caps().usage, 0x92);
    EXPECT_EQ(d.caps().input_report_length, 64);
    EXPECT_EQ(d.caps().output_report_length, 64);
    EXPECT_EQ(d.caps().feature_report_length, 0);
    EXPECT_EQ(d.caps().number_input_value_caps, 1);
    EXPECT_EQ(d.attributes().vendor_id, DefaultMakerVendorId);
    EXPECT_EQ(d.attributes().product_id, 0x22A0);
    EXPECT_EQ(d.attributes().version_number, 0x0100);
    EXPECT_EQ(d.interface_number(), 1);
    EXPECT_EQ(d.collection_number(), 4);
    EXPECT_EQ(d.product_string(), "VELQA-R260");
    EXPECT_EQ(d.input_report_buffer(), std::vector<uint8_t>(64, 0));
    EXPECT_EQ(d.report_buffer(ReportKind::Output).size(), 64u);
    ASSERT_EQ(d.input_data().size(), 1u);
    EXPECT_FALSE(d.input_data()[0].is_button);

    // The identity as the device manager builds it matches row 6.
    DeviceIdentity id{d.attributes().vendor_id,
                      d.attributes().product_id,
                      d.interface_number(),
                      d.collection_number(),
                      d.caps().usage_page,
                      d.caps().usage,
                      *d.product_string(),
                      0,
                      0,
                      d.path()};
    EXPECT_EQ(match_identity(test::shipped_interfaces(), id), 6u);
    d.close();
    EXPECT_FALSE(d.is_open());
    EXPECT_EQ(d.caps().input_report_length, 0);
    EXPECT_FALSE(d.product_string());
}

TEST_F(HidSim, OpenFailsForPathsThatNameNothingPresent) {
    HidDevice d(backend_);
    EXPECT_FALSE(open(d, path(Link::Cable, 1, 5))) << "no fifth collection";
    EXPECT_FALSE(open(d, path(Link::Cable, 1, 0))) << "four collections need &col";
    EXPECT_FALSE(open(d, (dir_.path() / "gone-if1.sock").string() + "#vid_1&pid_2&mi_01&col01"));
    std::string stale = path(Link::Cable, 1, 4);
    stale.replace(stale.find("pid_2299"), 8, "pid_1234");
    EXPECT_FALSE(open(d, stale)) << "the node belongs to another product";
    EXPECT_FALSE(d.is_open());
    EXPECT_EQ(d.caps().usage_page, 0);
}

TEST_F(HidSim, SecondOpenClosesTheFirst) {
    HidDevice d(backend_), other(backend_);
    ASSERT_TRUE(open(d, path(Link::Cable, 1, 4), true));
    ASSERT_FALSE(open(other, path(Link::Cable, 1, 4)));
    ASSERT_TRUE(open(d, path(Link::Cable, 1, 3)));
    EXPECT_EQ(d.caps().usage_page, 0x000C);
    EXPECT_EQ(d.caps().input_report_length, 3);
    EXPECT_FALSE(d.access().exclusive);
    EXPECT_TRUE(open(other, path(Link::Cable, 1, 4))) << "the exclusive handle was closed";
}

TEST_F(HidSim, ExclusiveOpenKeepsOthersOut) {
    HidDevice a(backend_), b(backend_);
    ASSERT_TRUE(open(a, path(Link::Cable, 1, 4), true));
    EXPECT_FALSE(open(b, path(Link::Cable, 1, 3)));
    a.close();
    EXPECT_TRUE(open(b, path(Link::Cable, 1, 3)));
}

TEST_F(HidSim, WriteReachesTheDeviceAndTheReplyIsRead) {
    recorder_.echo_ = true;
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Cable, 1, 4)));
    std::vector<uint8_t> request(64, 0);
    request[0] = 0x04;
    request[3] = 0x03;
    size_t written = 99;
    ASSERT_EQ(d.write(request.data(), request.size(), &written, 1000), 1);
    EXPECT_EQ(written, 64u);
    ASSERT_TRUE(recorder_.wait_for(1));
    EXPECT_EQ(recorder_.received()[0], request);
    std::vector<uint8_t> reply(64, 0xEE);
    size_t got = 0;
    ASSERT_EQ(d.read(reply.data(), reply.size(), &got, 5000), 1);
    EXPECT_EQ(got, 64u);
    EXPECT_EQ(reply, request);
}

TEST_F(HidSim, AccessSettingsAndClosedObjectsRefuseTransfers) {
    HidDevice d(backend_);
    uint8_t buffer[64] = {4};
    size_t count = 7;
    EXPECT_EQ(d.read(buffer, sizeof buffer, &count, 0), 0);
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(d.open(path(Link::Cable, 1, 4), true, false, true, false));
    count = 7;
    EXPECT_EQ(d.write(buffer, sizeof buffer, &count, 100), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(d.read(buffer, 0, &count, 0), 0) << "no room";
}

TEST_F(HidSim, ReadsDeliverOnlyTheOpenedCollectionsReports) {
    HidDevice consumer(backend_), vendor(backend_);
    ASSERT_TRUE(open(consumer, path(Link::Cable, 1, 3)));
    ASSERT_TRUE(open(vendor, path(Link::Cable, 1, 4)));
    ASSERT_TRUE(connections(Link::Cable, 1, 2));
    std::vector<uint8_t> command(64, 0x5A);
    command[0] = SimNodes::VendorReportId;
    const std::vector<uint8_t> keyboard = {1, 0, 0, 4, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> notification = {SimNodes::ConsumerReportId, 0x23, 0x11};
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, command));
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, keyboard));
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, notification));

    uint8_t buffer[64] = {};
    size_t got = 0;
    ASSERT_EQ(consumer.read(buffer, consumer.input_report_length(), &got, 5000), 1);
    EXPECT_EQ(got, 3u);
    EXPECT_THAT(std::vector<uint8_t>(buffer, buffer + 3), ElementsAre(3, 0x23, 0x11));
    ASSERT_EQ(vendor.read(buffer, sizeof buffer, &got, 5000), 1);
    EXPECT_EQ(got, 64u);
    EXPECT_EQ(buffer[0], SimNodes::VendorReportId);
    EXPECT_EQ(vendor.read(buffer, sizeof buffer, &got, 50), 0) << "the rest was not its own";
    EXPECT_EQ(got, 0u);
}

TEST_F(HidSim, ConsumerArrayUnpacksToTheCarriedUsage) {
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Receiver, 1, 3)));
    ASSERT_EQ(d.input_data().size(), 1u);
    const uint8_t report[] = {SimNodes::ConsumerReportId, 0x23, 0x11};
    EXPECT_EQ(d.unpack_input(report, sizeof report), HidStatus::Success);
    const auto& r = d.input_data()[0];
    EXPECT_TRUE(r.is_button);
    EXPECT_TRUE(r.is_set);
    EXPECT_EQ(r.usage_page, 0x000C);
    EXPECT_EQ(r.max_usage_list_length, 1u);
    EXPECT_THAT(r.usages, ElementsAre(0x1123));
    const uint8_t released[] = {SimNodes::ConsumerReportId, 0, 0};
    d.unpack_input(released, sizeof released);
    EXPECT_THAT(d.input_data()[0].usages, ElementsAre(0)) << "usage 0 is no control";
}

TEST_F(HidSim, UnnumberedReportsGainAZeroIdByteAndUnpackButtonsAndValues) {
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Cable, 0, 0)));
    EXPECT_EQ(d.caps().input_report_length, 4);
    ASSERT_TRUE(connections(Link::Cable, 0, 1));
    const std::vector<uint8_t> motion = {0x05, 0xFB, 0x02};  // buttons 1 and 3, X -5, Y 2
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 0, motion));
    uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    size_t got = 0;
    ASSERT_EQ(d.read(buffer, sizeof buffer, &got, 5000), 1);
    EXPECT_EQ(got, 4u);
    EXPECT_THAT(buffer, ElementsAre(0, 0x05, 0xFB, 0x02));

    EXPECT_EQ(d.unpack_input(buffer, got), HidStatus::Success);
    const auto& records = d.input_data();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_THAT(records[0].usages, ElementsAre(1, 3, 0)) << "ended by 0 when shorter";
    EXPECT_EQ(records[1].usage, 0x30);
    EXPECT_EQ(records[1].raw_value, 0xFBu);
    EXPECT_EQ(records[1].scaled_value, -5);
    EXPECT_EQ(records[2].usage, 0x31);
    EXPECT_EQ(records[2].scaled_value, 2);

    const uint8_t short_report[] = {0, 0x01};
    EXPECT_EQ(d.unpack_input(short_report, sizeof short_report), HidStatus::InvalidReportLength)
        << "a value beyond the report ends the unpack";
    const uint8_t other_id[] = {7, 1, 2, 3};
    d.unpack_input(motion.data(), 0);
    EXPECT_EQ(d.unpack_input(other_id, sizeof other_id), HidStatus::Success);
}

TEST_F(HidSim, ReadTimesOutWhenNothingArrives) {
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Cable, 1, 3)));
    uint8_t buffer[3];
    size_t got = 5;
    EXPECT_EQ(d.read(buffer, sizeof buffer, &got, 30), 0);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(d.read_in_progress());
    EXPECT_TRUE(d.is_open()) << "a time-out leaves the interface usable";
}

TEST_F(HidSim, CloseFromAnotherThreadEndsAnEndlessRead) {
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Cable, 1, 3)));
    int result = -1;
    size_t got = 9;
    std::thread reader([&] {
        uint8_t buffer[3];
        result = d.read(buffer, sizeof buffer, &got, -1);
    });
    ASSERT_TRUE(eventually([&] { return d.read_in_progress(); }));
    d.close();
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(d.is_open());
    ASSERT_TRUE(connections(Link::Cable, 1, 0));
    EXPECT_TRUE(open(d, path(Link::Cable, 1, 3))) << "the cancel does not linger";
    uint8_t buffer[3];
    ASSERT_TRUE(connections(Link::Cable, 1, 1));
    const std::vector<uint8_t> n = {3, 1, 0};
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, n));
    EXPECT_EQ(d.read(buffer, sizeof buffer, &got, 5000), 1);
}

TEST_F(HidSim, RemovedNodeEndsAWaitingRead) {
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Receiver, 1, 4)));
    int result = -1;
    std::thread reader([&] {
        uint8_t buffer[64];
        result = d.read(buffer, sizeof buffer, nullptr, -1);
    });
    ASSERT_TRUE(eventually([&] { return d.read_in_progress(); }));
    ASSERT_TRUE(nodes_.unplug(Link::Receiver));
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(open(d, path(Link::Receiver, 1, 4))) << "the node is gone";
}

TEST_F(HidSim, QueuedReportIsDeliveredBeforeTheHangUp) {
    HidDevice d(backend_);
    ASSERT_TRUE(open(d, path(Link::Cable, 1, 3)));
    ASSERT_TRUE(connections(Link::Cable, 1, 1));
    const std::vector<uint8_t> n = {3, 0x23, 0x10};
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, n));
    ASSERT_TRUE(nodes_.unplug(Link::Cable));
    uint8_t buffer[3];
    size_t got = 0;
    ASSERT_EQ(d.read(buffer, sizeof buffer, &got, -1), 1);
    EXPECT_THAT(buffer, ElementsAre(3, 0x23, 0x10));
    EXPECT_EQ(d.read(buffer, sizeof buffer, &got, -1), 0) << "then the hang-up, at once";
    EXPECT_FALSE(nodes_.send_input(Link::Cable, 1, n));
}

TEST_F(HidSim, ASecondSimulatorOnTheSameFolderLeavesTheFirstAlone) {
    SimNodes second(dir_.path(), nullptr);
    EXPECT_FALSE(second.start(true, true));
    second.stop();
    HidDevice d(backend_);
    EXPECT_TRUE(open(d, path(Link::Cable, 1, 4))) << "the first one's nodes are intact";
    EXPECT_TRUE(open(d, path(Link::Receiver, 1, 3)));
}

TEST_F(HidSim, LeftoverSocketOfACrashedRunIsReplaced) {
    nodes_.stop();
    // A socket file nobody listens on, as a killed simulator leaves it.
    const auto stale = nodes_.node_path(Link::Cable, 1);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, stale.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    SimNodes fresh(dir_.path(), nullptr);
    ASSERT_TRUE(fresh.start(true, false));
    HidDevice d(backend_);
    EXPECT_TRUE(open(d, path(Link::Cable, 1, 4)));
}

TEST_F(HidSim, AReaderThatDoesNotKeepUpLosesReportsInsteadOfStallingTheDevice) {
    HidDevice idle(backend_), active(backend_);
    ASSERT_TRUE(open(idle, path(Link::Cable, 1, 3)));
    ASSERT_TRUE(connections(Link::Cable, 1, 1));
    const std::vector<uint8_t> n = {3, 0x23, 0x11};
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, n));
    // The server is still responsive: a new reader gets a fresh report.
    ASSERT_TRUE(open(active, path(Link::Cable, 1, 3)));
    ASSERT_TRUE(connections(Link::Cable, 1, 2));
    const std::vector<uint8_t> fresh = {3, 0x42, 0x00};
    ASSERT_TRUE(nodes_.send_input(Link::Cable, 1, fresh));
    uint8_t buffer[3];
    ASSERT_EQ(active.read(buffer, sizeof buffer, nullptr, 5000), 1);
    EXPECT_THAT(buffer, ElementsAre(3, 0x42, 0x00));
    ASSERT_EQ(idle.read(buffer, sizeof buffer, nullptr, 5000), 1) << "what was queued remains";
    EXPECT_THAT(buffer, ElementsAre(3, 0x23, 0x11));
}

TEST_F(HidSim, ReplugBringsTheNodesBack) {
    ASSERT_TRUE(nodes_.unplug(Link::Cable));
    EXPECT_FALSE(nodes_.plugged(Link::Cable));
    HidDevice d(backend_);
    EXPECT_FALSE(open(d, path(Link::Cable, 1, 4)));
    ASSERT_TRUE(nodes_.plug(Link::Cable));
    EXPECT_TRUE(open(d, path(Link::Cable, 1, 4)));
}

// A node whose far end never reads: writes fill its queue and then wait.
class HidStalledNode : public ::testing::Test {
  protected:
    void SetUp() override {
        listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ASSERT_GE(listener_, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, sock_.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(listener_, 4), 0);
        platform::hid::NodeInfo info;
        info.vendor_id = 0x1234;
        info.product_id = 0x5678;
        info.interface_number = 1;
        info.product = "Stall";
        info.descriptor = test::four_collection_descriptor();
        ASSERT_TRUE(platform::write_file_atomically(dir_ / "stall-if1.json",
                                                    platform::hid::sim_sidecar_text(info)));
        ASSERT_TRUE(device_.open(sock_.string() + "#vid_1234&pid_5678&mi_01&col04", true, true,
                                 true, false));
        report_[0] = 4;
    }
    void TearDown() override {
        device_.close();
        ::close(listener_);
    }
    // Writes until the queue is full; the result of the write that found it full.
    int fill_queue(size_t* written) {
        int result = 1;
        for (int i = 0; i < 100000 && result == 1; ++i) {
            result = device_.write(report_.data(), report_.size(), written, 20);
        }
        return result;
    }

    test::TempDir dir_;
    std::filesystem::path sock_ = dir_ / "stall-if1.sock";
    int listener_ = -1;
    HidDevice device_{platform::hid::make_sim_backend(dir_.path())};
    std::vector<uint8_t> report_ = std::vector<uint8_t>(64, 0);
};

TEST_F(HidStalledNode, WriteTimesOutWhenTheDeviceDoesNotTakeReports) {
    size_t written = 0;
    EXPECT_EQ(fill_queue(&written), 0);
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(device_.write_in_progress());
    EXPECT_TRUE(device_.is_open());
}

TEST_F(HidStalledNode, CloseEndsAPendingReadAndAPendingWriteTogether) {
    size_t written = 0;
    ASSERT_EQ(fill_queue(&written), 0);
    int read_result = -1, write_result = -1;
    std::thread writer(
        [&] { write_result = device_.write(report_.data(), report_.size(), nullptr, -1); });
    std::thread reader([&] {
        uint8_t buffer[64];
        read_result = device_.read(buffer, sizeof buffer, nullptr, -1);
    });
    ASSERT_TRUE(
        eventually([&] { return device_.read_in_progress() && device_.write_in_progress(); }));
    device_.close();
    writer.join();
    reader.join();
    EXPECT_EQ(read_result, 0);
    EXPECT_EQ(write_result, 0);
    EXPECT_FALSE(device_.is_open());
}

// A simulated node with a descriptor of the test's own; nothing is served on it.
class HidOwnDescriptor : public ::testing::Test {
  protected:
    void SetUp() override {
        listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ASSERT_GE(listener_, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, sock_.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(listener_, 4), 0);
    }
    void TearDown() override { ::close(listener_); }
    bool open_with(const std::vector<uint8_t>& descriptor) {
        platform::hid::NodeInfo info;
        info.vendor_id = 0x1234;
        info.product_id = 0x5678;
        info.interface_number = 1;
        info.descriptor = descriptor;
        return platform::write_file_atomically(dir_ / "own-if1.json",
                                               platform::hid::sim_sidecar_text(info)) &&
               device_.open(sock_.string() + "#vid_1234&pid_5678&mi_01", true, false, true, false);
    }

    test::TempDir dir_;
    std::filesystem::path sock_ = dir_ / "own-if1.sock";
    int listener_ = -1;
    HidDevice device_{platform::hid::make_sim_backend(dir_.path())};
};

TEST_F(HidOwnDescriptor, ArrayUsageListAndFull32BitValuesUnpack) {
    const std::vector<uint8_t> d = {
        0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01,  // consumer control, report 1:
        0x09, 0xE9, 0x09, 0xEA, 0x09, 0xE2,              //   Volume Up, Volume Down, Mute
        0x15, 0x01, 0x25, 0x03, 0x75, 0x08, 0x95, 0x02, 0x81, 0x00,  // 2 slots, logical 1-3
        0x85, 0x02, 0x09, 0xE0,                                      // report 2: 32-bit volume
        0x17, 0x00, 0x00, 0x00, 0x80, 0x27, 0xFF, 0xFF, 0xFF, 0x7F,  // logical -2^31..2^31-1
        0x37, 0x00, 0x00, 0x00, 0x80, 0x47, 0xFF, 0xFF, 0xFF, 0x7F,  // physical the same
        0x75, 0x20, 0x95, 0x01, 0x81, 0x02, 0xC0};
    ASSERT_TRUE(open_with(d));
    const auto& records = device_.input_data();
    ASSERT_EQ(records.size(), 4u);
    auto pressed = [&] {
        std::vector<uint16_t> all;
        for (size_t i = 0; i < 3; ++i) {
            for (uint16_t u : records[i].usages) {
                if (u)
                    all.push_back(u);
            }
        }
        return all;
    };
    const uint8_t up[] = {1, 1, 0};
    EXPECT_EQ(device_.unpack_input(up, sizeof up), HidStatus::Success);
    EXPECT_THAT(pressed(), ElementsAre(0xE9));
    const uint8_t down_mute[] = {1, 3, 2};
    device_.unpack_input(down_mute, sizeof down_mute);
    EXPECT_THAT(pressed(), ElementsAre(0xEA, 0xE2));
    const uint8_t none[] = {1, 0, 4};
    device_.unpack_input(none, sizeof none);
    EXPECT_TRUE(pressed().empty()) << "0 is below the logical minimum, 4 above the maximum";

    const uint8_t top[] = {2, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(device_.unpack_input(top, sizeof top), HidStatus::Success);
    EXPECT_EQ(records[3].status, HidStatus::Success);
    EXPECT_EQ(records[3].scaled_value, INT32_MAX);
    const uint8_t bottom[] = {2, 0x00, 0x00, 0x00, 0x80};
    device_.unpack_input(bottom, sizeof bottom);
    EXPECT_EQ(records[3].scaled_value, INT32_MIN);
}

// The parser's budget bounds the usage lists an open allocates.
TEST_F(HidOwnDescriptor, AnOpenAllocatesAtMostTheBudgetsButtonSlots) {
    // As many as allowed: 2048 array usages of 16 slots each.
    std::vector<uint8_t> most = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                 0x26, 0xFF, 0x0F, 0x75, 0x10, 0x95, 0x10};
    for (int i = 0; i < 2048; ++i)
        most.insert(most.end(), {0x09, static_cast<uint8_t>(i % 250 + 1)});
    most.insert(most.end(), {0x81, 0x00, 0xC0});
    ASSERT_TRUE(open_with(most));
    size_t slots = 0;
    for (const auto& r : device_.input_data())
        slots += r.usages.size();
    EXPECT_EQ(slots, platform::hid::MaxFieldEntries);
}

// The hidraw backend locks the device node itself.
TEST(HidrawNodeLock, ExclusiveOpenOfADeviceNodeKeepsOthersOut) {
    test::TempDir sys, dev;
    ASSERT_TRUE(platform::write_file_atomically(dev / "hidraw0", ""));
    auto backend = platform::hid::make_hidraw_backend(sys.path(), dev.path());
    const std::string node = (dev / "hidraw0").string();
    std::string error;
    auto exclusive = backend->open(node, true, true, true, &error);
    ASSERT_TRUE(exclusive.valid()) << error;
    EXPECT_FALSE(backend->open(node, true, false, false, &error).valid());
    EXPECT_THAT(error, ::testing::HasSubstr("in use"));
    exclusive.reset();
    auto shared = backend->open(node, true, false, false, &error);
    EXPECT_TRUE(shared.valid());
    EXPECT_TRUE(backend->open(node, true, false, false, &error).valid());
    EXPECT_FALSE(backend->open((dev / "hidraw9").string(), true, false, false, &error).valid());
}

}  // namespace
}  // namespace velqa::link
