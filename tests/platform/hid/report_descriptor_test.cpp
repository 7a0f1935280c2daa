#include "platform/hid/report_descriptor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/hid/sysfs_fixture.h"

namespace velqa::platform::hid {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

constexpr size_t In = 0, Out = 1;

ParsedDescriptor parse_ok(const Bytes& bytes) {
    ParsedDescriptor parsed;
    DescriptorError error;
    EXPECT_TRUE(parse_report_descriptor(bytes, parsed, &error))
        << "offset " << error.offset << ": " << error.reason;
    return parsed;
}

DescriptorError parse_fails(const Bytes& bytes) {
    ParsedDescriptor parsed;
    DescriptorError error;
    EXPECT_FALSE(parse_report_descriptor(bytes, parsed, &error));
    return error;
}

// --- The HID standard's boot devices ---------------------------------------------------------

TEST(HidDescriptorBoot, MouseHasOneCollectionWithButtonsAndSignedAxes) {
    const auto parsed = parse_ok(test::boot_mouse_descriptor());
    ASSERT_EQ(parsed.collections.size(), 1u);
    EXPECT_FALSE(parsed.uses_report_ids);
    const auto& c = parsed.collections[0];
    EXPECT_EQ(c.usage_page, 0x0001);
    EXPECT_EQ(c.usage, 0x0002);
    EXPECT_TRUE(c.report_ids.empty());
    // 3 button bits + 5 padding bits + X + Y = 3 bytes, plus the report-ID byte.
    EXPECT_EQ(c.input_length(), 4);
    EXPECT_EQ(c.output_length(), 0);
    EXPECT_EQ(c.feature_length(), 0);

    ASSERT_EQ(c.button_caps[In].size(), 1u);
    const auto& b = c.button_caps[In][0];
    EXPECT_EQ(b.usage_page, 0x0009);
    EXPECT_TRUE(b.is_range);
    EXPECT_EQ(b.usage_min, 1);
    EXPECT_EQ(b.usage_max, 3);
    EXPECT_EQ(b.bit_position, 8u);
    EXPECT_EQ(b.bit_size, 1);
    EXPECT_EQ(b.report_count, 3);
    EXPECT_FALSE(b.is_array);
    EXPECT_EQ(b.link_collection, 1) << "inside the physical collection";

    ASSERT_EQ(c.value_caps[In].size(), 2u);
    EXPECT_EQ(c.value_caps[In][0].usage(), 0x30);
    EXPECT_EQ(c.value_caps[In][0].bit_position, 16u);
    EXPECT_EQ(c.value_caps[In][1].usage(), 0x31);
    EXPECT_EQ(c.value_caps[In][1].bit_position, 24u);
    EXPECT_EQ(c.value_caps[In][1].logical_min, -127);
    EXPECT_EQ(c.value_caps[In][1].logical_max, 127);
    EXPECT_FALSE(c.value_caps[In][1].is_absolute);
}

TEST(HidDescriptorBoot, KeyboardHasModifierBitsKeyArrayAndLedOutput) {
    const auto parsed = parse_ok(test::boot_keyboard_descriptor());
    ASSERT_EQ(parsed.collections.size(), 1u);
    const auto& c = parsed.collections[0];
    EXPECT_EQ(c.usage, 0x0006);
    EXPECT_EQ(c.input_length(), 9);
    EXPECT_EQ(c.output_length(), 2);
    ASSERT_EQ(c.button_caps[In].size(), 2u);
    EXPECT_EQ(c.button_caps[In][0].usage_min, 0xE0);
    EXPECT_EQ(c.button_caps[In][0].usage_max, 0xE7);
    const auto& keys = c.button_caps[In][1];
    EXPECT_TRUE(keys.is_array);
    EXPECT_EQ(keys.bit_position, 24u) << "after the ID byte, modifiers and the reserved byte";
    EXPECT_EQ(keys.bit_size, 8);
    EXPECT_EQ(keys.report_count, 6);
    EXPECT_EQ(keys.usage_max, 0x65);
    ASSERT_EQ(c.button_caps[Out].size(), 1u);
    EXPECT_EQ(c.button_caps[Out][0].usage_page, 0x0008);
    EXPECT_EQ(c.button_caps[Out][0].report_count, 5);
    EXPECT_TRUE(c.value_caps[In].empty());
}

// --- Several collections and report IDs ------------------------------------------------------

TEST(HidDescriptorCollections, FourCollectionsInOrderWithTheirOwnIdsAndLengths) {
    const auto parsed = parse_ok(test::four_collection_descriptor());
    ASSERT_EQ(parsed.collections.size(), 4u);
    EXPECT_TRUE(parsed.uses_report_ids);
    const auto& kb = parsed.collections[0];
    const auto& sys = parsed.collections[1];
    const auto& cc = parsed.collections[2];
    const auto& vendor = parsed.collections[3];
    EXPECT_EQ(kb.usage, 0x06);
    EXPECT_THAT(kb.report_ids, ElementsAre(1));
    EXPECT_EQ(kb.input_length(), 9);
    EXPECT_EQ(kb.output_length(), 2);
    EXPECT_EQ(sys.usage, 0x80);
    EXPECT_THAT(sys.report_ids, ElementsAre(2));
    EXPECT_EQ(sys.input_length(), 2);
    EXPECT_EQ(sys.output_length(), 0);
    EXPECT_EQ(cc.usage_page, 0x000C);
    EXPECT_EQ(cc.usage, 0x01);
    EXPECT_THAT(cc.report_ids, ElementsAre(3));
    EXPECT_EQ(cc.input_length(), 3);
    ASSERT_EQ(cc.button_caps[In].size(), 1u);
    EXPECT_TRUE(cc.button_caps[In][0].is_array);
    EXPECT_EQ(cc.button_caps[In][0].bit_size, 16);
    EXPECT_EQ(cc.button_caps[In][0].usage_min, 0);
    EXPECT_EQ(cc.button_caps[In][0].usage_max, 0x3FFF);
    EXPECT_EQ(cc.button_caps[In][0].logical_max, 0x3FFF);
    EXPECT_EQ(vendor.usage_page, 0xFF1C);
    EXPECT_EQ(vendor.usage, 0x92);
    EXPECT_THAT(vendor.report_ids, ElementsAre(4));
    EXPECT_EQ(vendor.input_length(), 64);
    EXPECT_EQ(vendor.output_length(), 64);
    EXPECT_EQ(vendor.feature_length(), 0);
    ASSERT_EQ(vendor.value_caps[In].size(), 1u);
    EXPECT_EQ(vendor.value_caps[In][0].report_count, 63);
    EXPECT_EQ(vendor.value_caps[In][0].logical_max, 255) << "one-byte 0xFF with minimum 0";
}

TEST(HidDescriptorCollections, LengthIsTheLongestReportOfTheCollection) {
    // One collection, input reports 5 (2 bytes) and 6 (7 bytes), feature report 6 (1 byte).
    const Bytes d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x15, 0x00, 0x25,
                     0x7F, 0x85, 0x06, 0x95, 0x07, 0x09, 0x02, 0x81, 0x02, 0x95, 0x01, 0x09,
                     0x04, 0xB1, 0x02, 0x85, 0x05, 0x95, 0x02, 0x09, 0x03, 0x81, 0x02, 0xC0};
    const auto parsed = parse_ok(d);
    ASSERT_EQ(parsed.collections.size(), 1u);
    EXPECT_THAT(parsed.collections[0].report_ids, ElementsAre(5, 6));
    EXPECT_EQ(parsed.collections[0].input_length(), 8);
    EXPECT_EQ(parsed.collections[0].feature_length(), 2);
    EXPECT_EQ(parsed.collections[0].output_length(), 0);
}

TEST(HidDescriptorCollections, NestedCollectionsStayInTheirTopLevelCollection) {
    const Bytes d = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // application
                     0x09, 0x01, 0xA1, 0x02,              //   logical
                     0xA1, 0x00,                          //     physical
                     0x09, 0x30, 0x15, 0x00, 0x25, 0x0F, 0x75, 0x04, 0x95, 0x01, 0x81, 0x02,
                     0xC0,                    //     end physical
                     0x09, 0x31, 0x81, 0x02,  //   Y in the logical collection
                     0xC0, 0xC0};
    const auto parsed = parse_ok(d);
    ASSERT_EQ(parsed.collections.size(), 1u);
    const auto& c = parsed.collections[0];
    EXPECT_EQ(c.link_collections, 3);
    ASSERT_EQ(c.value_caps[In].size(), 2u);
    EXPECT_EQ(c.value_caps[In][0].link_collection, 2);
    EXPECT_EQ(c.value_caps[In][1].link_collection, 1);
    EXPECT_EQ(c.value_caps[In][1].bit_position, 12u);
    EXPECT_EQ(c.input_length(), 2);
}

// --- Global state, usages and item forms -----------------------------------------------------

TEST(HidDescriptorItems, PopRestoresEveryGlobalIncludingUnitsAndExponent) {
    const Bytes d = {
        0x05, 0x01, 0x09, 0x01, 0xA1, 0x01, 0x66, 0x11, 0x00, 0x55, 0x0E,  // unit cm, exponent -2
        0x15, 0x00, 0x25, 0x64, 0x75, 0x08, 0x95, 0x01,
        0xA4,  // push
        0x05, 0x09, 0x65, 0x00, 0x55, 0x00, 0x75, 0x10, 0x26, 0xE8, 0x03,
        0x19, 0x01, 0x29, 0x01, 0x81, 0x02,  // a 16-bit "button page" value
        0xB4,                                // pop
        0x09, 0x30, 0x81, 0x02,              // X with the pushed state
        0xC0};
    const auto parsed = parse_ok(d);
    const auto& values = parsed.collections.at(0).value_caps[In];
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].usage_page, 0x0009);
    EXPECT_EQ(values[0].bit_size, 16);
    EXPECT_EQ(values[0].unit, 0u);
    EXPECT_EQ(values[0].logical_max, 1000);
    EXPECT_EQ(values[1].usage_page, 0x0001);
    EXPECT_EQ(values[1].usage(), 0x30);
    EXPECT_EQ(values[1].bit_size, 8);
    EXPECT_EQ(values[1].unit, 0x11u);
    EXPECT_EQ(values[1].unit_exponent, -2);
    EXPECT_EQ(values[1].logical_max, 100);
    EXPECT_EQ(values[1].bit_position, 8u + 16u);
}

TEST(HidDescriptorItems, LongItemsAreSkipped) {
    const Bytes mouse = test::boot_mouse_descriptor();
    Bytes with_long(mouse.begin(), mouse.begin() + 10);
    with_long.insert(with_long.end(), {0xFE, 0x03, 0xF0, 0xAA, 0xBB, 0xCC});
    with_long.insert(with_long.end(), mouse.begin() + 10, mouse.end());
    const auto a = parse_ok(mouse);
    const auto b = parse_ok(with_long);
    ASSERT_EQ(b.collections.size(), 1u);
    EXPECT_EQ(b.collections[0].input_length(), a.collections[0].input_length());
    EXPECT_EQ(b.collections[0].button_caps[In].size(), 1u);
    EXPECT_EQ(b.collections[0].value_caps[In].size(), 2u);
}

TEST(HidDescriptorItems, FourByteUsageCarriesItsOwnPage) {
    const Bytes d = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x05, 0x01,  // page back to desktop
                     0x0B, 0x38, 0x02, 0x0C, 0x00,                    // consumer AC Pan
                     0x09, 0x38,                                      // desktop wheel
                     0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0};
    const auto parsed = parse_ok(d);
    const auto& values = parsed.collections.at(0).value_caps[In];
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].usage_page, 0x000C);
    EXPECT_EQ(values[0].usage(), 0x0238);
    EXPECT_EQ(values[1].usage_page, 0x0001);
    EXPECT_EQ(values[1].usage(), 0x0038);
}

TEST(HidDescriptorItems, DelimiterSetKeepsOnlyItsFirstUsage) {
    const Bytes d = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xA9, 0x01, 0x09, 0x30,
                     0x09, 0x31, 0x09, 0x32, 0xA9, 0x00, 0x09, 0x33, 0x15, 0x00,
                     0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0xC0};
    const auto parsed = parse_ok(d);
    const auto& values = parsed.collections.at(0).value_caps[In];
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].usage(), 0x30);
    EXPECT_EQ(values[1].usage(), 0x33);
}

TEST(HidDescriptorItems, SurplusVariableFieldsRepeatTheLastUsage) {
    const Bytes d = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30, 0x15, 0x00,
                     0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0xC0};
    const auto parsed = parse_ok(d);
    const auto& values = parsed.collections.at(0).value_caps[In];
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].report_count, 3);
    EXPECT_EQ(parsed.collections[0].input_length(), 4);
}

TEST(HidDescriptorItems, ConstantPaddingCountsInLengthButIsNoCapability) {
    const auto parsed = parse_ok(test::boot_mouse_descriptor());
    const auto& c = parsed.collections[0];
    EXPECT_EQ(c.button_caps[In].size() + c.value_caps[In].size(), 3u);
}

// --- Rejected descriptors --------------------------------------------------------------------

TEST(HidDescriptorErrors, EveryTruncationOfTheBootMouseIsRejectedWithinTheInput) {
    const Bytes mouse = test::boot_mouse_descriptor();
    for (size_t n = 0; n < mouse.size(); ++n) {
        Bytes cut(mouse.begin(), mouse.begin() + n);
        ParsedDescriptor parsed;
        DescriptorError error;
        EXPECT_FALSE(parse_report_descriptor(cut, parsed, &error)) << "length " << n;
        EXPECT_LE(error.offset, n);
        EXPECT_FALSE(error.reason.empty());
    }
}

TEST(HidDescriptorErrors, ItemCutShortNamesItsOffset) {
    const auto error = parse_fails({0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x26, 0xFF});
    EXPECT_EQ(error.offset, 6u);
    EXPECT_THAT(error.reason, HasSubstr("needs 2 data bytes"));
    EXPECT_EQ(parse_fails({0x05, 0x01, 0xFE, 0x05, 0x00, 0x01}).offset, 2u) << "long item";
}

TEST(HidDescriptorErrors, StructuralFaultsNameTheOffendingItem) {
    EXPECT_EQ(parse_fails({0xC0}).offset, 0u);                                      // end w/o begin
    EXPECT_EQ(parse_fails({0x05, 0x01, 0xB4}).offset, 2u);                          // pop w/o push
    EXPECT_EQ(parse_fails({0x09, 0x01, 0xA1, 0x01, 0x85, 0x00, 0xC0}).offset, 4u);  // ID 0
    EXPECT_EQ(parse_fails({0x75, 0x08, 0x95, 0x01, 0x81, 0x02}).offset, 4u);        // no collection
    EXPECT_EQ(parse_fails({0x09, 0x01, 0xA1, 0x01, 0x0C, 0xC0}).offset, 4u);        // reserved type
    EXPECT_EQ(parse_fails({0x09, 0x01, 0xA1, 0x01}).offset, 4u);                    // left open
    EXPECT_EQ(parse_fails({0xA9, 0x00}).offset, 0u);                                // delimiter
    EXPECT_EQ(parse_fails({}).reason, "no top-level collection");
}

TEST(HidDescriptorErrors, NestingAndReportSizeLimitsAreErrorsNotCrashes) {
    Bytes deep;
    for (int i = 0; i < 70; ++i)
        deep.insert(deep.end(), {0xA1, 0x00});
    EXPECT_EQ(parse_fails(deep).offset, 128u);
    Bytes pushes;
    for (int i = 0; i < 40; ++i)
        pushes.push_back(0xA4);
    EXPECT_EQ(parse_fails(pushes).offset, 32u);
    // 65535 fields of 65535 bits.
    const auto error = parse_fails({0x09, 0x01, 0xA1, 0x01, 0x77, 0xFF, 0xFF, 0x00, 0x00, 0x97,
                                    0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02, 0xC0});
    EXPECT_EQ(error.offset, 14u);
}

// --- What a descriptor may cost ---------------------------------------------------------------

size_t entries_of(const ParsedDescriptor& parsed) {
    size_t n = 0;
    for (const auto& c : parsed.collections) {
        for (size_t k = 0; k < ReportKinds; ++k) {
            for (const auto& f : c.button_caps[k])
                n += field_entries(f);
            for (const auto& f : c.value_caps[k])
                n += field_entries(f);
        }
    }
    return n;
}

// Button page, one-bit fields with a report count of 65535: eight items per report ID fill the
// largest report, 2040 items over IDs 1-255 (about 267 MB of usage lists before the budget).
Bytes huge_count_items() {
    Bytes d = {0x05, 0x09, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
               0x25, 0x01, 0x75, 0x01, 0x96, 0xFF, 0xFF};
    for (int id = 1; id <= 255; ++id) {
        d.insert(d.end(), {0x85, static_cast<uint8_t>(id)});
        for (int i = 0; i < 8; ++i)
            d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});
    }
    d.push_back(0xC0);
    return d;
}

TEST(HidDescriptorCost, HugeReportCountsAreRefusedAtTheItemThatCrossesTheBudget) {
    auto error = parse_fails(huge_count_items());
    EXPECT_EQ(error.offset, 19u) << "the first item alone would need 65535 usage slots";
    EXPECT_THAT(error.reason, HasSubstr("32768"));

    // An array item repeats its report count for every usage of its list.
    Bytes array = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                   0x26, 0xFF, 0x0F, 0x75, 0x10, 0x95, 0x10};  // 16 slots of 16 bits
    for (int i = 0; i < 2049; ++i)
        array.insert(array.end(), {0x09, static_cast<uint8_t>(i % 250 + 1)});
    const size_t item = array.size();
    array.insert(array.end(), {0x81, 0x00, 0xC0});
    error = parse_fails(array);
    EXPECT_EQ(error.offset, item) << "2049 usages of 16 slots";
    array.erase(array.begin() + static_cast<long>(item) - 2,
                array.begin() + static_cast<long>(item));
    EXPECT_EQ(entries_of(parse_ok(array)), 2048u * 16) << "2048 usages fit exactly";
}

TEST(HidDescriptorCost, TheBudgetCountsButtonSlotsAndValueUsagesButNotPadding) {
    // 32768 one-bit buttons (a 4096-byte report) fit; one more bit does not.
    Bytes d = {0x05, 0x09, 0xA1, 0x01, 0x19, 0x01, 0x2A, 0xFF, 0xFF, 0x15,
               0x00, 0x25, 0x01, 0x75, 0x01, 0x96, 0x00, 0x80, 0x81, 0x02};
    Bytes full = d;
    full.push_back(0xC0);
    EXPECT_EQ(entries_of(parse_ok(full)), MaxFieldEntries);
    Bytes over = d;
    over.insert(over.end(), {0x95, 0x01, 0x09, 0x01, 0x81, 0x02, 0xC0});
    EXPECT_EQ(parse_fails(over).offset, d.size() + 4);

    // A value range costs one data record per usage.
    const Bytes values = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x19,
                          0x01, 0x2A, 0x01, 0x80, 0x15, 0x00, 0x25, 0x03,
                          0x75, 0x02, 0x96, 0x01, 0x80, 0x81, 0x02, 0xC0};  // 32769 two-bit values
    EXPECT_EQ(parse_fails(values).offset, 21u);

    // Constant padding allocates nothing, however long.
    Bytes padding = {0x09, 0x01, 0xA1, 0x01, 0x75, 0x01, 0x96, 0xFF, 0xFF};
    for (int i = 0; i < 7; ++i)
        padding.insert(padding.end(), {0x81, 0x01});
    padding.push_back(0xC0);
    EXPECT_EQ(entries_of(parse_ok(padding)), 0u);
}

TEST(HidDescriptorCost, RealDescriptorsCostLittleAndDescriptorsBeyondSixteenBitsAreRefused) {
    EXPECT_EQ(entries_of(parse_ok(test::boot_mouse_descriptor())), 3u + 2u);
    EXPECT_EQ(entries_of(parse_ok(test::boot_keyboard_descriptor())), 8u + 6u + 5u);
    EXPECT_LT(entries_of(parse_ok(test::four_collection_descriptor())), 64u);

    Bytes big = {0x09, 0x01, 0xA1, 0x01};
    while (big.size() < MaxDescriptorBytes - 1)
        big.insert(big.end(), {0xA4, 0xB4});  // push, pop
    big.push_back(0xC0);
    ASSERT_EQ(big.size(), MaxDescriptorBytes);
    parse_ok(big);
    big.insert(big.end() - 1, {0xA4, 0xB4});
    const auto error = parse_fails(big);
    EXPECT_EQ(error.offset, MaxDescriptorBytes);
    EXPECT_THAT(error.reason, HasSubstr("longer than 65535"));
}

// --- Decoding array selectors and scaling values ----------------------------------------------

// The usages every capability of an array field selects for one slot value.
std::vector<uint16_t> selected(const std::vector<FieldCaps>& caps, uint32_t raw) {
    std::vector<uint16_t> usages;
    for (const auto& c : caps) {
        uint16_t u = 0;
        if (array_usage(c, raw, u))
            usages.push_back(u);
    }
    return usages;
}

TEST(HidDecode, AnArrayValueIndexesItsUsageList) {
    // Consumer array: Volume Up, Volume Down, Mute with logical 1-3.
    const Bytes list = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x09, 0xE9, 0x09, 0xEA, 0x09, 0xE2,
                        0x15, 0x01, 0x25, 0x03, 0x75, 0x08, 0x95, 0x01, 0x81, 0x00, 0xC0};
    const auto caps = parse_ok(list).collections.at(0).button_caps[In];
    ASSERT_EQ(caps.size(), 3u);
    EXPECT_EQ(caps[2].array_index, 2u);
    EXPECT_THAT(selected(caps, 1), ElementsAre(0xE9));
    EXPECT_THAT(selected(caps, 2), ElementsAre(0xEA));
    EXPECT_THAT(selected(caps, 3), ElementsAre(0xE2));
    EXPECT_TRUE(selected(caps, 0).empty()) << "below the logical minimum: nothing pressed";
    EXPECT_TRUE(selected(caps, 4).empty());
}

TEST(HidDecode, RangesAndSingleUsagesMixInOneList) {
    // Buttons 1-5, button 9, buttons 0x20-0x21; logical 0-8 leaves index 8 without a usage.
    const Bytes mixed = {0x05, 0x09, 0x09, 0x01, 0xA1, 0x01, 0x19, 0x01, 0x29,
                         0x05, 0x09, 0x09, 0x19, 0x20, 0x29, 0x21, 0x15, 0x00,
                         0x25, 0x08, 0x75, 0x04, 0x95, 0x02, 0x81, 0x00, 0xC0};
    const auto caps = parse_ok(mixed).collections.at(0).button_caps[In];
    ASSERT_EQ(caps.size(), 3u);
    EXPECT_EQ(caps[1].array_index, 5u);
    EXPECT_EQ(caps[2].array_index, 6u);
    const std::vector<std::vector<uint16_t>> want = {{1}, {2}, {3}, {4}, {5}, {9}, {0x20}, {0x21}};
    for (uint32_t v = 0; v < want.size(); ++v)
        EXPECT_EQ(selected(caps, v), want[v]) << "value " << v;
    EXPECT_TRUE(selected(caps, 8).empty());
    EXPECT_TRUE(selected(caps, 15).empty());

    // A signed logical range indexes from its minimum.
    const Bytes signed_list = {0x05, 0x09, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x0A,
                               0x09, 0x0B, 0x09, 0x0C, 0x15, 0xFF, 0x25, 0x01,
                               0x75, 0x08, 0x95, 0x01, 0x81, 0x00, 0xC0};
    const auto s = parse_ok(signed_list).collections.at(0).button_caps[In];
    EXPECT_THAT(selected(s, 0xFF), ElementsAre(0x0A));
    EXPECT_THAT(selected(s, 0x01), ElementsAre(0x0C));
    EXPECT_TRUE(selected(s, 0x02).empty());

    // The boot keyboard's range still maps a key code to itself.
    const auto keys = parse_ok(test::boot_keyboard_descriptor()).collections[0].button_caps[In];
    EXPECT_THAT(selected({keys[1]}, 0x04), ElementsAre(0x04));
}

TEST(HidDecode, LogicalValuesAreSignExtendedOnlyForSignedRanges) {
    FieldCaps c;
    c.bit_size = 8;
    c.logical_min = -127;
    EXPECT_EQ(logical_value(c, 0x81), -127);
    EXPECT_EQ(logical_value(c, 0x7F), 127);
    c.bit_size = 32;
    EXPECT_EQ(logical_value(c, 0x80000000u), INT32_MIN);
    c.logical_min = 0;
    EXPECT_EQ(logical_value(c, 0xFFFFFFFFu), 4294967295);
    c.bit_size = 4;
    c.logical_min = -8;
    EXPECT_EQ(logical_value(c, 0x8), -8);
}

TEST(HidDecode, ScalingIsExactOverTheWhole32BitRange) {
    FieldCaps c;
    c.logical_min = c.physical_min = INT32_MIN;
    c.logical_max = c.physical_max = INT32_MAX;
    EXPECT_EQ(scale_to_physical(c, INT32_MAX), INT32_MAX);
    EXPECT_EQ(scale_to_physical(c, INT32_MIN), INT32_MIN);
    EXPECT_EQ(scale_to_physical(c, 0), 0);
    EXPECT_EQ(scale_to_physical(c, -1), -1);
    // A reversed physical extent.
    c.physical_min = INT32_MAX;
    c.physical_max = INT32_MIN;
    EXPECT_EQ(scale_to_physical(c, INT32_MAX), INT32_MIN);
    EXPECT_EQ(scale_to_physical(c, INT32_MIN), INT32_MAX);
    // Small extents round toward zero, as before.
    c.logical_min = 0;
    c.logical_max = 255;
    c.physical_min = 0;
    c.physical_max = 1000;
    EXPECT_EQ(scale_to_physical(c, 128), 501);
    EXPECT_EQ(scale_to_physical(c, 255), 1000);
    c.physical_min = 1000;
    c.physical_max = 0;
    EXPECT_EQ(scale_to_physical(c, 128), 499);
    c.logical_min = -127;
    c.logical_max = 127;
    c.physical_min = c.physical_max = 0;
    EXPECT_EQ(scale_to_physical(c, -5), -5) << "no physical extent: logical units";
}

// --- Text input and bit fields ---------------------------------------------------------------

TEST(HidDescriptorText, HexTextAcceptsSeparatorsAndPrefixes) {
    Bytes out;
    std::string error;
    ASSERT_TRUE(parse_hex_bytes("0x05, 0x01\n09 02\r\n\tA1,01", out, &error)) << error;
    EXPECT_THAT(out, ElementsAre(0x05, 0x01, 0x09, 0x02, 0xA1, 0x01));
    EXPECT_FALSE(parse_hex_bytes("05 123", out, &error));
    EXPECT_THAT(error, HasSubstr("123"));
    EXPECT_FALSE(parse_hex_bytes("05 0x", out, &error));
    EXPECT_FALSE(parse_hex_bytes("zz", out, &error));
}

TEST(HidDescriptorText, FileContentsAreHexTextOrRawBytes) {
    Bytes out;
    ASSERT_TRUE(decode_descriptor_file("05 01 c0", out, nullptr));
    EXPECT_THAT(out, ElementsAre(0x05, 0x01, 0xC0));
    const std::string raw("\x05\x01\x09\x02\xA1\x01\xC0", 7);
    ASSERT_TRUE(decode_descriptor_file(raw, out, nullptr));
    EXPECT_EQ(out.size(), 7u);
    EXPECT_EQ(out[4], 0xA1);
}

TEST(HidDescriptorText, BitFieldsCrossByteBoundariesAndStopAtTheEnd) {
    const Bytes r = {0x00, 0xF0, 0x3C, 0x01};
    EXPECT_EQ(extract_bits(r, 12, 8), 0xCFu);
    EXPECT_EQ(extract_bits(r, 8, 16), 0x3CF0u);
    EXPECT_EQ(extract_bits(r, 24, 16), 0x01u) << "bits past the report read as 0";
    EXPECT_EQ(extract_bits(r, 64, 8), 0u);
}

}  // namespace
}  // namespace velqa::platform::hid
