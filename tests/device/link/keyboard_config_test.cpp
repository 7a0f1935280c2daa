// The keyboard's identifiers come from a configuration file: the shipped one matches nothing,
// a configured one fills rows 0 to 3, and a damaged one is refused whole.
#include <gtest/gtest.h>

#include "device/link/supported_devices.h"
#include "platform/atomic_file.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"

namespace velqa::link {
namespace {

class KeyboardConfig : public ::testing::Test {
  protected:
    std::optional<KeyboardIds> with(const std::string& text, std::string* error = nullptr) {
        EXPECT_TRUE(platform::write_file_atomically(file_, text));
        return read_keyboard_ids(file_, error);
    }
    test::TempDir dir_;
    std::filesystem::path file_ = dir_ / "KeyboardDevice.json";
};

TEST_F(KeyboardConfig, ShippedFileParsesWithHexIdsOfZero) {
    std::string error;
    const auto shipped =
        read_keyboard_ids(test::source_dir() / "DefaultData" / "KeyboardDevice.json", &error);
    ASSERT_TRUE(shipped) << error;
    EXPECT_EQ(*shipped, KeyboardIds{});
    // Nothing is matched with it: every keyboard row keeps a zero ID.
    const auto table = test::shipped_interfaces(DefaultMakerVendorId, *shipped);
    for (size_t row = 0; row < 4; ++row) {
        EXPECT_EQ(table[row].vendor_id, 0) << row;
        EXPECT_EQ(table[row].product_string, "") << row;
    }
}

TEST_F(KeyboardConfig, ConfiguredIdsFillTheKeyboardRowsAndMatch) {
    const auto ids = with(R"({"VendorId": "3151", "ProductId": "0x4011",
                             "ReceiverProductId": 16402, "ProductString": "ZK-75"})");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->vendor_id, 0x3151);
    EXPECT_EQ(ids->product_id, 0x4011);
    EXPECT_EQ(ids->receiver_product_id, 0x4012);
    const auto table = test::shipped_interfaces(DefaultMakerVendorId, *ids);
    EXPECT_EQ(table[0].product_id, 0x4011);
    EXPECT_EQ(table[1].product_id, 0x4011);
    EXPECT_EQ(table[2].product_id, 0x4012);
    EXPECT_EQ(table[3].product_id, 0x4012);
    EXPECT_EQ(table[4].vendor_id, DefaultMakerVendorId);  // the mouse rows are untouched

    DeviceIdentity id;
    id.vendor_id = 0x3151;
    id.product_id = 0x4012;
    id.interface_number = 1;
    id.collection_number = 4;
    id.usage_page = 0xFF1C;
    id.usage = 0x92;
    id.product_string = "zk-75";
    EXPECT_EQ(match_identity(table, id), 2u);
    EXPECT_EQ(id.device_type, TypeKeyboardReceiver);
    EXPECT_EQ(match_path(table, "/x#vid_3151&pid_4011&mi_01&col03"), 1u);
}

TEST_F(KeyboardConfig, MissingMembersAreZeroAndTheDefaultName) {
    const auto ids = with(R"({"VendorId": "3151"})");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->product_id, 0);
    EXPECT_EQ(ids->product_string, "keyboard");
}

TEST_F(KeyboardConfig, ADamagedFileIsRefusedWholeWithTheReason) {
    for (const char* text :
         {R"({"VendorId": "12345"})", R"({"VendorId": "zz"})", R"({"ProductId": -1})",
          R"({"ProductId": 70000})", R"({"ProductId": true})", R"({"ReceiverProductId": 1.5})",
          R"({"ProductString": 7})", R"([1])", "{ broken"}) {
        std::string error;
        EXPECT_EQ(with(text, &error), std::nullopt) << text;
        EXPECT_NE(error.find("KeyboardDevice.json"), std::string::npos) << text;
    }
    std::string error;
    EXPECT_EQ(with(R"({"ProductString": ")" + std::string(127, 'x') + "\"}", &error), std::nullopt);
    EXPECT_EQ(read_keyboard_ids(dir_ / "missing.json"), std::nullopt);
}

}  // namespace
}  // namespace velqa::link
