#include <gtest/gtest.h>

#include "device/link/supported_devices.h"
#include "platform/atomic_file.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"

namespace velqa::link {
namespace {

constexpr uint16_t kMaker = 0x1A2B;

std::string path(uint16_t vid, uint16_t pid, const char* tail) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "/dev/hidraw3#vid_%04x&pid_%04x%s", vid, pid, tail);
    return buf;
}

DeviceIdentity identity(uint16_t pid, uint16_t col, uint16_t page, uint16_t usage,
                        std::string product) {
    DeviceIdentity id;
    id.vendor_id = kMaker;
    id.product_id = pid;
    id.interface_number = 1;
    id.collection_number = col;
    id.usage_page = page;
    id.usage = usage;
    id.product_string = std::move(product);
    return id;
}

// --- The table -------------------------------------------------------------------------------

TEST(SupportedDeviceTableRows, TwelveRowsWithMakerRowsAndMutualPartners) {
    const auto table = test::shipped_interfaces(kMaker);
    ASSERT_EQ(table.size(), 12u);
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        EXPECT_EQ(r.vendor_id, i < 4 ? 0 : kMaker) << "row " << i;
        EXPECT_EQ(r.interface_number, 1);
        EXPECT_TRUE(r.has_partner);
        EXPECT_EQ(table[r.partner_row].partner_row, i) << "partners name each other";
        EXPECT_EQ(r.device_sub_type, r.collection_number == 4 ? 0 : 255);
        EXPECT_EQ(r.usage_page, r.collection_number == 4 ? 0xFF1C : 0x000C);
        EXPECT_TRUE(r.display_name.empty());
    }
    EXPECT_EQ(table[4].product_id, 0x2299);
    EXPECT_EQ(table[6].product_id, 0x22A0);
    EXPECT_EQ(table[6].device_type, TypeMouseReceiver);
    EXPECT_EQ(table[3].device_type, TypeKeyboardReceiver);
    EXPECT_EQ(table[7].product_string, "VELQA-R260");
    EXPECT_EQ(table[9].product_string, "");
}

// --- Stage 1: the path -----------------------------------------------------------------------

TEST(SupportedDeviceMatchPath, CableAndReceiverCollectionsFindTheirRows) {
    const auto table = test::shipped_interfaces(kMaker);
    EXPECT_EQ(match_path(table, path(kMaker, 0x2299, "&mi_01&col04")), 4u);
    EXPECT_EQ(match_path(table, path(kMaker, 0x2299, "&mi_01&col03")), 5u);
    EXPECT_EQ(match_path(table, path(kMaker, 0x22A0, "&MI_01&COL04")), 6u);
    EXPECT_EQ(match_path(table, path(kMaker, 0x22a0, "&mi_01&col03")), 7u);
}

TEST(SupportedDeviceMatchPath, MissingOrWrongNumbersDoNotMatch) {
    const auto table = test::shipped_interfaces(kMaker);
    EXPECT_FALSE(match_path(table, path(kMaker, 0x2299, "&col04")));  // no &mi_
    EXPECT_FALSE(match_path(table, path(kMaker, 0x2299, "&mi_01")));  // no &col
    EXPECT_FALSE(match_path(table, path(kMaker, 0x2299, "&mi_00&col04")));
    EXPECT_FALSE(match_path(table, path(kMaker, 0x2299, "&mi_01&col02")));
    EXPECT_FALSE(match_path(table, path(kMaker + 1, 0x2299, "&mi_01&col04")));
}

TEST(SupportedDeviceMatchPath, RowsWithVendorOrProductZeroNeverMatch) {
    const auto table = test::shipped_interfaces(kMaker);
    // These numbers equal rows 0-3 (vendor and product 0) and 8-11 (product 0) exactly.
    EXPECT_FALSE(match_path(table, path(0, 0, "&mi_01&col04")));
    EXPECT_FALSE(match_path(table, path(0, 0, "&mi_01&col03")));
    EXPECT_FALSE(match_path(table, path(kMaker, 0, "&mi_01&col04")));
    EXPECT_FALSE(match_path(table, "no markers at all"));
}

// --- Stage 2: the opened identity ------------------------------------------------------------

TEST(SupportedDeviceMatchIdentity, ProductStringIgnoresCaseAndTypeIsCopied) {
    const auto table = test::shipped_interfaces(kMaker);
    auto id = identity(0x22A0, 3, 0x000C, 0x01, "velqa-r260");
    EXPECT_EQ(match_identity(table, id), 7u);
    EXPECT_EQ(id.device_type, TypeMouseReceiver);
    EXPECT_EQ(id.device_sub_type, SubTypeNotification);
    auto cmd = identity(0x2299, 4, 0xFF1C, 0x92, "VeLqA-R260");
    EXPECT_EQ(match_identity(table, cmd), 4u);
    EXPECT_EQ(cmd.device_type, TypeMouse);
    EXPECT_EQ(cmd.device_sub_type, SubTypeCommand);
}

TEST(SupportedDeviceMatchIdentity, AnyDifferingFieldOrUnreadableProductFails) {
    const auto table = test::shipped_interfaces(kMaker);
    auto wrong_page = identity(0x2299, 4, 0xFF00, 0x92, "VELQA-R260");
    auto wrong_usage = identity(0x2299, 4, 0xFF1C, 0x01, "VELQA-R260");
    auto no_product = identity(0x2299, 4, 0xFF1C, 0x92, "");
    auto longer = identity(0x2299, 4, 0xFF1C, 0x92, "VELQA-R260 Pro");
    auto zero_rows = identity(0, 4, 0xFF1C, 0x92, "");
    zero_rows.vendor_id = 0;
    for (auto* id : {&wrong_page, &wrong_usage, &no_product, &longer, &zero_rows}) {
        EXPECT_FALSE(match_identity(table, *id)) << id->product_string;
        EXPECT_EQ(id->device_type, 0) << "nothing copied without a match";
    }
}

// --- The maker's vendor ID configuration -----------------------------------------------------

TEST(MakerVendorIdConfig, AcceptsHexTextOrIntegerAndRejectsTheRest) {
    test::TempDir dir;
    const auto file = dir / "DeviceConfig.json";
    auto with = [&](const std::string& text) {
        EXPECT_TRUE(platform::write_file_atomically(file, text));
        return read_maker_vendor_id(file);
    };
    EXPECT_EQ(with(R"({"MakerVendorId": "1a2b"})"), 0x1A2B);
    EXPECT_EQ(with(R"({"MakerVendorId": "0x1A2B"})"), 0x1A2B);
    EXPECT_EQ(with(R"({"MakerVendorId": 6699})"), 6699);
    EXPECT_EQ(with(R"({"MakerVendorId": "12345"})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": "xyz"})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": 0})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": "0"})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": 70000})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": true})"), std::nullopt);
    // Numbers JsonCpp's own conversions threw on, aborting every start.
    EXPECT_EQ(with(R"({"MakerVendorId": 1e19})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": -1})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": -1e19})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": 18446744073709551615})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": 6699.5})"), std::nullopt);
    EXPECT_EQ(with(R"({"MakerVendorId": 6699.0})"), 6699);
    EXPECT_EQ(with(std::string(1001, '[') + std::string(1001, ']')), std::nullopt);
    EXPECT_EQ(with(R"([1])"), std::nullopt);
    EXPECT_EQ(with(R"({"Other": 1})"), std::nullopt);
    EXPECT_EQ(with("{ broken"), std::nullopt);
    EXPECT_EQ(read_maker_vendor_id(dir / "missing.json"), std::nullopt);
}

TEST(MakerVendorIdConfig, ShippedFileIsValidAndMatchesTheCompiledDefault) {
    const auto shipped =
        read_maker_vendor_id(test::source_dir() / "DefaultData" / "DeviceConfig.json");
    ASSERT_TRUE(shipped) << "DefaultData/DeviceConfig.json must parse";
    EXPECT_EQ(*shipped, DefaultMakerVendorId);
}

// --- Device files ------------------------------------------------------------------------------

// A refused device file is named with the member at fault, and leaves out only itself; one whose
// interface another file already claims is refused the same way, so the scan never has to pick.
TEST(DeviceCatalogLoad, ARefusedFileNamesItsMemberAndTheOthersStillLoad) {
    test::TempDir dir;
    const auto shipped = test::source_dir() / "DefaultData" / "devices" / "10-velqa-r260.json";
    std::string r260;
    ASSERT_TRUE(platform::read_whole_file(shipped, r260));
    ASSERT_TRUE(platform::write_file_atomically(dir / "10-r260.json", r260));
    auto with = [&](std::string from, const std::string& to) {
        std::string text = r260;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    ASSERT_TRUE(
        platform::write_file_atomically(dir / "20-bad-id.json", with("\"22A0\"", "\"22A0x\"")));
    ASSERT_TRUE(platform::write_file_atomically(dir / "30-typo.json",
                                                with("\"Interface\"", "\"Interfce\"")));
    ASSERT_TRUE(platform::write_file_atomically(dir / "40-twin.json", r260));
    ASSERT_TRUE(platform::write_file_atomically(dir / "50-not-json.json", "{ \"Name\": "));

    const auto data = load_device_catalog(dir.path(), {kMaker, {}});
    ASSERT_EQ(data.problems.size(), 4u);
    EXPECT_EQ(data.problems[0],
              "20-bad-id.json: Links[1].ProductId: must be a hexadecimal ID 0000-FFFF");
    EXPECT_EQ(data.problems[1].rfind("30-typo.json: Interfce: unknown member", 0), 0u)
        << data.problems[1];
    EXPECT_EQ(data.problems[2],
              "40-twin.json: Links: 1A2B:2299 collection 4 is already 10-r260.json's");
    EXPECT_EQ(data.problems[3].rfind("50-not-json.json: ", 0), 0u) << data.problems[3];
    ASSERT_EQ(data.catalog.models().size(), 1u);
    EXPECT_EQ(data.catalog.interfaces().size(), 4u);
    EXPECT_EQ(match_path(data.catalog.interfaces(), path(kMaker, 0x22A0, "&mi_01&col04")), 2u);
}

}  // namespace
}  // namespace velqa::link
