#include "platform/hid/hid_backend.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/hid/sim_backend.h"
#include "platform/hid/sysfs_fixture.h"
#include "support/temp_dir.h"

namespace velqa::platform::hid {
namespace {

using test::FixtureNode;
using ::testing::ElementsAre;

std::vector<std::string> paths_of(const ScanResult& result) {
    std::vector<std::string> out;
    for (const auto& i : result.interfaces)
        out.push_back(i.path);
    return out;
}

FixtureNode usb_node(std::string name, int interface_number, std::vector<uint8_t> descriptor) {
    FixtureNode n;
    n.name = std::move(name);
    n.vendor_id = 0xFA2E;
    n.product_id = 0x2299;
    n.interface_number = interface_number;
    n.usb_product = "VELQA-R260";
    n.hid_name = "ZARN VELQA-R260 Mouse";
    n.hid_phys = "usb-0000:00:14.0-1/input" + std::to_string(interface_number);
    n.descriptor = std::move(descriptor);
    return n;
}

// --- hidraw enumeration from sysfs -----------------------------------------------------------

TEST(HidrawEnumeration, UsbNodeGivesIdsInterfaceAndProductFromItsParents) {
    test::TempDir sys;
    test::add_hidraw_node(sys.path(), usb_node("hidraw0", 0, test::boot_mouse_descriptor()));
    auto backend = make_hidraw_backend(sys.path());
    auto nodes = backend->enumerate();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].node, "/dev/hidraw0");
    EXPECT_EQ(nodes[0].vendor_id, 0xFA2E);
    EXPECT_EQ(nodes[0].product_id, 0x2299);
    EXPECT_EQ(nodes[0].interface_number, 0);
    NodeInfo opened;
    ASSERT_TRUE(backend->describe("/dev/hidraw0", opened));
    EXPECT_EQ(opened.version_number, 0x0102) << "read when a node is opened";
    EXPECT_EQ(nodes[0].product, "VELQA-R260") << "the USB product string wins over HID_NAME";
    EXPECT_EQ(nodes[0].descriptor, test::boot_mouse_descriptor());
    const auto result = scan_interfaces(*backend);
    EXPECT_THAT(paths_of(result), ElementsAre("/dev/hidraw0#vid_fa2e&pid_2299&mi_00"));
}

TEST(HidrawEnumeration, EachTopLevelCollectionIsItsOwnPath) {
    test::TempDir sys;
    test::add_hidraw_node(sys.path(), usb_node("hidraw0", 0, test::boot_mouse_descriptor()));
    test::add_hidraw_node(sys.path(), usb_node("hidraw1", 1, test::four_collection_descriptor()));
    auto backend = make_hidraw_backend(sys.path());
    const auto result = scan_interfaces(*backend);
    EXPECT_THAT(paths_of(result), ElementsAre("/dev/hidraw0#vid_fa2e&pid_2299&mi_00",
                                              "/dev/hidraw1#vid_fa2e&pid_2299&mi_01&col01",
                                              "/dev/hidraw1#vid_fa2e&pid_2299&mi_01&col02",
                                              "/dev/hidraw1#vid_fa2e&pid_2299&mi_01&col03",
                                              "/dev/hidraw1#vid_fa2e&pid_2299&mi_01&col04"));
    ASSERT_EQ(result.interfaces.size(), 5u);
    EXPECT_EQ(result.interfaces[4].node, 1u);
    EXPECT_EQ(result.interfaces[4].collection, 3u);
    EXPECT_EQ(result.nodes[1].descriptor.collections[3].usage_page, 0xFF1C);
}

TEST(HidrawEnumeration, NodeWithoutUsbParentUsesPhysSuffixAndHidName) {
    test::TempDir sys;
    FixtureNode bt;
    bt.name = "hidraw3";
    bt.vendor_id = 0x046D;
    bt.product_id = 0xB01A;
    bt.interface_number = -1;
    bt.hid_name = "BT Mouse";
    bt.hid_phys = "aa:bb:cc:dd:ee:ff/input3";
    bt.descriptor = test::boot_mouse_descriptor();
    test::add_hidraw_node(sys.path(), bt);
    auto nodes = make_hidraw_backend(sys.path())->enumerate();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].interface_number, 3);
    EXPECT_EQ(nodes[0].product, "BT Mouse");
    EXPECT_EQ(nodes[0].vendor_id, 0x046D);
    EXPECT_EQ(nodes[0].version_number, 0);
}

TEST(HidrawEnumeration, UsbDeviceWithoutProductFallsBackToHidName) {
    test::TempDir sys;
    auto n = usb_node("hidraw0", 2, test::boot_mouse_descriptor());
    n.usb_product.clear();
    test::add_hidraw_node(sys.path(), n);
    auto nodes = make_hidraw_backend(sys.path())->enumerate();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].product, "ZARN VELQA-R260 Mouse");
    EXPECT_EQ(nodes[0].interface_number, 2);
}

TEST(HidrawEnumeration, NodesComeInNumericOrderAndBrokenOnesAreSkipped) {
    test::TempDir sys;
    test::add_hidraw_node(sys.path(), usb_node("hidraw10", 0, test::boot_mouse_descriptor()));
    test::add_hidraw_node(sys.path(), usb_node("hidraw2", 0, test::boot_mouse_descriptor()));
    auto unreadable = usb_node("hidraw5", 0, {});
    unreadable.write_descriptor = false;
    test::add_hidraw_node(sys.path(), unreadable);
    test::add_hidraw_node(sys.path(), usb_node("hidraw7", 0, {0x05, 0x01, 0xA1}));  // truncated
    DebugCapture capture;
    const auto result = scan_interfaces(*make_hidraw_backend(sys.path()));
    EXPECT_THAT(paths_of(result), ElementsAre("/dev/hidraw2#vid_fa2e&pid_2299&mi_00",
                                              "/dev/hidraw10#vid_fa2e&pid_2299&mi_00"));
    EXPECT_TRUE(capture.contains("/dev/hidraw7: report descriptor rejected at offset 2"));
}

TEST(HidrawEnumeration, MissingSysfsGivesNoNodes) {
    test::TempDir sys;
    EXPECT_TRUE(make_hidraw_backend(sys.path() / "nothing")->enumerate().empty());
}

TEST(HidrawEnumeration, DescribeFindsOneNodeByItsDevicePath) {
    test::TempDir sys;
    test::add_hidraw_node(sys.path(), usb_node("hidraw4", 1, test::four_collection_descriptor()));
    auto backend = make_hidraw_backend(sys.path());
    NodeInfo info;
    ASSERT_TRUE(backend->describe("/dev/hidraw4", info));
    EXPECT_EQ(info.interface_number, 1);
    EXPECT_FALSE(backend->describe("/dev/hidraw9", info));
    EXPECT_FALSE(backend->describe("/dev/sda", info));
}

// --- Paths -----------------------------------------------------------------------------------

TEST(HidInterfacePaths, SuffixOnlyNamesTheCollectionWhenThereAreSeveral) {
    NodeInfo n;
    n.node = "/dev/hidraw1";
    n.vendor_id = 0xABCD;
    n.product_id = 0x0012;
    n.interface_number = 0x1F;
    EXPECT_EQ(interface_path(n, 0, 1), "/dev/hidraw1#vid_abcd&pid_0012&mi_1f");
    EXPECT_EQ(interface_path(n, 10, 12), "/dev/hidraw1#vid_abcd&pid_0012&mi_1f&col0b");
}

TEST(HidInterfacePaths, NodeIsEverythingBeforeTheLastSuffix) {
    EXPECT_EQ(node_of("/dev/hidraw1#vid_abcd&pid_0012&mi_01&col02"), "/dev/hidraw1");
    EXPECT_EQ(node_of("/tmp/a#VID_1/x.sock#VID_FA2E&pid_2299&mi_01"), "/tmp/a#VID_1/x.sock");
    EXPECT_EQ(node_of("/dev/hidraw1"), "/dev/hidraw1");
}

// --- Backend choice and the simulator's node format ------------------------------------------

TEST(HidBackendChoice, EnvironmentSelectsSimulatorOrHidraw) {
    {
        test::ScopedEnv env("VELQA_HID", "sim:/tmp/nowhere");
        EXPECT_STREQ(backend_from_environment()->name(), "sim");
    }
    {
        test::ScopedEnv env("VELQA_HID", "");
        EXPECT_STREQ(backend_from_environment()->name(), "hidraw");
    }
    test::TempDir sys;
    test::add_hidraw_node(sys.path(), usb_node("hidraw0", 0, test::boot_mouse_descriptor()));
    test::ScopedEnv env("VELQA_HID", "hidraw");
    test::ScopedEnv root("VELQA_SYSFS_ROOT", sys.path().string());
    EXPECT_EQ(backend_from_environment()->enumerate().size(), 1u);
}

class SimNodeDir : public ::testing::Test {
  protected:
    // A listening socket and its sidecar, as the node server makes them.
    void make_node(const std::string& stem, const NodeInfo& info) {
        const auto sock = dir_.path() / (stem + ".sock");
        int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, sock.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(fd, 4), 0);
        fds_.push_back(fd);
        ASSERT_TRUE(write_file_atomically(dir_.path() / (stem + ".json"), sim_sidecar_text(info)));
    }
    void TearDown() override {
        for (int fd : fds_)
            ::close(fd);
    }
    static NodeInfo info(uint16_t interface_number, std::vector<uint8_t> descriptor) {
        NodeInfo n;
        n.vendor_id = 0xFA2E;
        n.product_id = 0x22A0;
        n.version_number = 0x0100;
        n.interface_number = interface_number;
        n.product = "VELQA-R260";
        n.descriptor = std::move(descriptor);
        return n;
    }
    test::TempDir dir_;
    std::vector<int> fds_;
};

TEST_F(SimNodeDir, SidecarRoundTripsEveryField) {
    make_node("receiver-if1", info(1, test::four_collection_descriptor()));
    auto read = read_sim_sidecar(dir_.path() / "receiver-if1.json");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->node, (dir_.path() / "receiver-if1.sock").string());
    EXPECT_EQ(read->vendor_id, 0xFA2E);
    EXPECT_EQ(read->product_id, 0x22A0);
    EXPECT_EQ(read->version_number, 0x0100);
    EXPECT_EQ(read->interface_number, 1);
    EXPECT_EQ(read->product, "VELQA-R260");
    EXPECT_EQ(read->descriptor, test::four_collection_descriptor());
}

// A hand-edited or damaged sidecar reads as missing or as zero, never as an abort.
TEST_F(SimNodeDir, DamagedSidecarsNeverThrow) {
    const auto file = dir_.path() / "x-if0.json";
    auto with = [&](const std::string& text) {
        EXPECT_TRUE(write_file_atomically(file, text));
        return read_sim_sidecar(file);
    };
    auto odd = with(R"({"vendor_id": 1e19, "product_id": -1, "version_number": 70000,
        "interface": "1", "product": 5, "report_descriptor": "05 01"})");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->vendor_id, 0);
    EXPECT_EQ(odd->product_id, 0);
    EXPECT_EQ(odd->version_number, 0);
    EXPECT_EQ(odd->interface_number, 0);
    EXPECT_EQ(odd->product, "");
    EXPECT_FALSE(with(R"({"report_descriptor": 5})"));
    EXPECT_FALSE(with(R"(["report_descriptor"])"));
    EXPECT_FALSE(with(std::string(1001, '{')));
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_FALSE(read_sim_sidecar(file));
}

TEST_F(SimNodeDir, EnumerationListsSocketsWithValidSidecarsInNameOrder) {
    make_node("b-if1", info(1, test::four_collection_descriptor()));
    make_node("a-if0", info(0, test::boot_mouse_descriptor()));
    ASSERT_TRUE(write_file_atomically(dir_.path() / "c-if0.json", "{ not json"));
    ASSERT_TRUE(write_file_atomically(dir_.path() / "d-if0.json",
                                      sim_sidecar_text(info(0, test::boot_mouse_descriptor()))))
        << "a sidecar whose socket is gone";
    ASSERT_TRUE(write_file_atomically(dir_.path() / "e-if0.json",
                                      R"({"vendor_id": 1, "report_descriptor": "05 zz"})"));
    const auto result = scan_interfaces(*make_sim_backend(dir_.path()));
    ASSERT_EQ(result.interfaces.size(), 5u);
    EXPECT_EQ(result.interfaces[0].path,
              (dir_.path() / "a-if0.sock").string() + "#vid_fa2e&pid_22a0&mi_00");
    EXPECT_EQ(result.interfaces[4].path,
              (dir_.path() / "b-if1.sock").string() + "#vid_fa2e&pid_22a0&mi_01&col04");
}

TEST_F(SimNodeDir, ExclusiveOpenAndAnyOtherOpenExcludeEachOther) {
    make_node("x-if1", info(1, test::four_collection_descriptor()));
    auto backend = make_sim_backend(dir_.path());
    const std::string node = (dir_.path() / "x-if1.sock").string();
    std::string error;
    auto shared1 = backend->open(node, true, true, false, &error);
    ASSERT_TRUE(shared1.valid()) << error;
    auto shared2 = backend->open(node, true, false, false, &error);
    EXPECT_TRUE(shared2.valid()) << "shared opens coexist";
    EXPECT_FALSE(backend->open(node, true, true, true, &error).valid());
    EXPECT_THAT(error, ::testing::HasSubstr("in use"));
    shared1.reset();
    shared2.reset();
    auto exclusive = backend->open(node, true, true, true, &error);
    ASSERT_TRUE(exclusive.valid()) << error;
    EXPECT_FALSE(backend->open(node, true, false, false, &error).valid());
    exclusive.reset();
    EXPECT_FALSE(
        backend->open((dir_.path() / "missing.sock").string(), true, true, false, &error).valid());
}

}  // namespace
}  // namespace velqa::platform::hid
