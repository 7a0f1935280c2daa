#include "app/device_slots.h"

#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/json_read.h"
#include "support/shipped_devices.h"

namespace velqa::app {
namespace {

constexpr std::uint16_t kMaker = 0xFA2E;

const link::SupportedDeviceTable& table() {
    static const auto t = test::shipped_interfaces(kMaker);
    return t;
}

// The identity a matching interface of table row `row` would have after it was identified.
link::DeviceIdentity present(std::size_t row, std::string path) {
    auto id = row_identity(table()[row]);
    id.device_path = std::move(path);
    return id;
}

TEST(DeviceSlots, ClaimTakesTheFirstFreeMatchingSlotOnce) {
    DeviceSlots slots(table());
    ASSERT_EQ(slots.size(), 12u);
    EXPECT_TRUE(slots.any_free());

    auto id = present(4, "/n/cable#vid_fa2e&pid_2299&mi_01&col04");
    id.product_string = "velqa-r260";  // product strings match ignoring case
    const auto claimed = slots.claim(id, 7, 99);
    ASSERT_EQ(claimed, 4u);
    const auto s = slots.slot(4);
    EXPECT_TRUE(s.linked);
    EXPECT_EQ(s.path, id.device_path);
    EXPECT_EQ(s.node_dev, 7u);
    EXPECT_EQ(s.node_ino, 99u);
    EXPECT_FALSE(slots.has_free_candidate(kMaker, 0x2299, 4, 1));
    EXPECT_FALSE(slots.claim(id, 7, 100)) << "one interface per slot";
    EXPECT_EQ(slots.linked_slots(), std::vector<std::size_t>{4});

    slots.release(4);
    EXPECT_TRUE(slots.slot(4).is_free());
    EXPECT_EQ(slots.slot(4).node_ino, 0u);
    EXPECT_TRUE(slots.has_free_candidate(kMaker, 0x2299, 4, 1));
}

TEST(DeviceSlots, MismatchesAreNeverClaimed) {
    DeviceSlots slots(table());
    auto other_product = present(4, "p");
    other_product.product_string = "VELQA-R261";
    EXPECT_FALSE(slots.claim(other_product, 1, 1));
    auto other_usage = present(4, "p");
    other_usage.usage = 0x93;
    EXPECT_FALSE(slots.claim(other_usage, 1, 1));
    // The rows of unknown devices (vendor or product 0) never link, whatever comes.
    EXPECT_FALSE(slots.claim(present(0, "p"), 1, 1));
    EXPECT_FALSE(slots.claim(present(8, "p"), 1, 1));
    EXPECT_FALSE(slots.has_free_candidate(0, 0, 4, 1));
    EXPECT_FALSE(slots.has_free_candidate(kMaker, 0, 4, 1));
    EXPECT_TRUE(slots.linked_slots().empty());
    EXPECT_TRUE(slots.slot(99).is_free()) << "beyond the list: an empty slot";
}

TEST(DeviceSlots, OnlyClaimableSlotsCountAsFree) {
    DeviceSlots slots(table());
    for (std::size_t row = 4; row <= 7; ++row) {
        ASSERT_TRUE(slots.claim(present(row, "p" + std::to_string(row)), 1, row));
        EXPECT_EQ(slots.any_free(), row != 7) << row;
    }
}

TEST(DeviceIdentity, EveryInterfaceOfTheMouseKeysTheWiredPage) {
    DeviceSlots slots(table());
    const auto wired = row_identity(table()[4]);
    for (std::size_t slot : {4u, 5u, 6u, 7u})
        EXPECT_TRUE(same_identity(wired_identity(slots, slot), wired)) << slot;
    EXPECT_TRUE(same_identity(wired_identity(slots, 8), row_identity(table()[8])));
    EXPECT_TRUE(same_identity(wired_identity(slots, 11), row_identity(table()[8])));

    EXPECT_EQ(mutual_partner(slots, 6), 4u);
    EXPECT_EQ(mutual_partner(slots, 7), 5u);
    EXPECT_EQ(command_slot(slots, 5), 4u);
    EXPECT_EQ(command_slot(slots, 7), 6u);
    EXPECT_EQ(command_slot(slots, 99), std::nullopt);
}

TEST(DeviceIdentity, APartnerThatDoesNotNameTheSlotBackIsNoPartner) {
    auto t = table();
    t[4].partner_row = 2;
    DeviceSlots slots(t);
    EXPECT_EQ(mutual_partner(slots, 6), std::nullopt);
    EXPECT_TRUE(same_identity(wired_identity(slots, 6), row_identity(t[6])));
    ASSERT_TRUE(slots.claim(present(4, "cable"), 1, 1));
    EXPECT_FALSE(partner_linked(slots, 6));
}

TEST(DeviceIdentity, PartnerLinkedFollowsThePartnersClaim) {
    DeviceSlots slots(table());
    EXPECT_FALSE(partner_linked(slots, 6));
    ASSERT_TRUE(slots.claim(present(4, "cable"), 1, 1));
    EXPECT_TRUE(partner_linked(slots, 6));
    EXPECT_FALSE(partner_linked(slots, 4)) << "the receiver is not linked";
    slots.release(4);
    EXPECT_FALSE(partner_linked(slots, 6));
}

TEST(DeviceIdentity, SameIdentityComparesProductStringsIgnoringCase) {
    auto a = row_identity(table()[4]);
    auto b = a;
    b.product_string = "Velqa-R260";
    b.device_path = "elsewhere";
    EXPECT_TRUE(same_identity(a, b));
    b.device_sub_type = 255;
    EXPECT_FALSE(same_identity(a, b));
}

TEST(DeviceKinds, TableRowsAndLookUp) {
    const auto kinds = make_device_kind_table(test::shipped_devices(kMaker));
    EXPECT_EQ(kinds[0].kind_name, "mouse");
    EXPECT_EQ(kinds[0].page_layout, "XML\\DeviceXml\\mousedevice.xml");
    EXPECT_EQ(kinds[2].page_integers, (std::array<int, 4>{170, 170, 0, -1}));
    EXPECT_EQ(kinds[3].vendor_id, kMaker);
    EXPECT_EQ(kinds[4].vendor_id, 0x0C76);
    for (const auto& row : kinds) {
        EXPECT_EQ(row.tile_layout, "XML\\CustomControlXML\\DeviceOption.xml");
        EXPECT_EQ(row.header, "tab_header_device");
        EXPECT_EQ(row.power_container, "device_power_switch");
        EXPECT_EQ(row.lighting_name, "tavix_light");
    }
    EXPECT_EQ(find_kind_row(kinds, kMaker, 0x2299, 2, 0, "velqa-r260"), 0u);
    EXPECT_EQ(find_kind_row(kinds, kMaker, 0x2299, 6, 0, "VELQA-R260"), std::nullopt);
    EXPECT_EQ(find_kind_row(kinds, 0x0C76, 0x1630, 7, 0, "hd"), 4u);

    // Cable, receiver and both notification interfaces all find the mouse row.
    DeviceSlots slots(test::shipped_interfaces(kMaker));
    for (std::size_t slot : {4u, 5u, 6u, 7u})
        EXPECT_EQ(kind_row_for_slot(kinds, slots, slot), 0u) << slot;
    // The keyboard rows have no product string, so no kind row takes them.
    EXPECT_EQ(kind_row_for_slot(kinds, slots, 0), std::nullopt);
    EXPECT_EQ(kind_row_for_slot(kinds, slots, 42), std::nullopt);
}

TEST(DeviceTiles, ImagesAndNameTextsByTypeAndSubType) {
    const auto mouse = tile_images(2, 0);
    ASSERT_TRUE(mouse);
    EXPECT_EQ(mouse->normal, "common/device_ico/ms_device_normal.png");
    EXPECT_EQ(mouse->selected, "common/device_ico/ms_device_selected.png");
    EXPECT_EQ(mouse->synchro_normal, "common/device_ico/ms_device_synchro_normal.png");
    EXPECT_EQ(mouse->synchro_selected, "common/device_ico/ms_device_synchro_selected.png");
    EXPECT_EQ(mouse->name_text_id, "ms_device_name_text");

    EXPECT_EQ(tile_images(1, 255)->name_text_id, "kb_device_name_text");
    EXPECT_EQ(tile_images(3, 1)->normal, "common/device_ico/soft_mp_device_normal.png");
    EXPECT_EQ(tile_images(3, 0)->name_text_id, "hard_mp_device_name_text");
    EXPECT_EQ(tile_images(3, 2), std::nullopt) << "keeps its images";
    EXPECT_EQ(tile_images(4, 0)->name_text_id, "hd_device_name_text");
    EXPECT_EQ(tile_images(7, 0)->name_text_id, "hd_device_name_text");
    EXPECT_EQ(tile_images(6, 0)->normal, "common/device_ico/unknow_device_normal.png");
}

// A new model with the same protocol is a new data file: a copy of the R260's file with other
// product IDs is matched on both links and gets a mouse page, with no change to the code.
TEST(DeviceKinds, ANewModelIsADataFile) {
    test::TempDir dir;
    const auto shipped = test::source_dir() / "DefaultData" / "devices";
    for (const auto& entry : std::filesystem::directory_iterator(shipped))
        std::filesystem::copy_file(entry.path(), dir / entry.path().filename().string());
    std::string text = platform::read_json_file(dir / "10-velqa-r260.json").toStyledString();
    for (auto [from, to] : {std::pair{"\"2299\"", "\"2399\""}, std::pair{"\"22A0\"", "\"23A0\""},
                            std::pair{"\"VELQA-R260\"", "\"VELQA-R270\""}})
        text.replace(text.find(from), std::string(from).size(), to);
    ASSERT_TRUE(platform::write_file_atomically(dir / "60-velqa-r270.json", text));

    const auto data = link::load_device_catalog(dir.path(), {kMaker, {}});
    ASSERT_TRUE(data.problems.empty()) << data.problems.front();
    const auto& rows = data.catalog.interfaces();
    ASSERT_EQ(rows.size(), 16u);
    for (std::size_t row = 0; row < 12; ++row)
        EXPECT_TRUE(same_identity(row_identity(rows[row]), row_identity(table()[row])));

    DeviceSlots slots(rows);
    const auto kinds = make_device_kind_table(data.catalog);
    link::DeviceIdentity receiver = row_identity(rows[14]);
    receiver.product_string = "velqa-r270";
    receiver.device_type = 0;
    receiver.device_path = "/n/r#vid_fa2e&pid_23a0&mi_01&col04";
    ASSERT_EQ(link::match_path(rows, receiver.device_path), 14u);
    ASSERT_EQ(link::match_identity(rows, receiver), 14u);
    EXPECT_EQ(receiver.device_type, link::TypeMouseReceiver);
    ASSERT_EQ(slots.claim(receiver, 1, 2), 14u);
    const auto kind = kind_row_for_slot(kinds, slots, 14);
    ASSERT_EQ(kind, 5u);
    EXPECT_EQ(kinds[*kind].kind_name, "mouse");
    EXPECT_EQ(kinds[*kind].product_id, 0x2399);
    EXPECT_EQ(kinds[*kind].page_layout, "XML\\DeviceXml\\mousedevice.xml");
}

}  // namespace
}  // namespace velqa::app
