// The naming table's edge rows: the ends of each block, and codes it must not name.
#include "macro/key_names.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using velqa::macro::function_label;
using velqa::macro::function_name_row;
using velqa::macro::function_names;
using velqa::profile::KeyCode;

TEST(KeyNames, BlocksEndWhereTheTableSays) {
    const auto rows = function_names();
    ASSERT_EQ(rows.size(), 142u);
    EXPECT_EQ(rows[0].label, "keyboard_key_LCtrl");
    EXPECT_EQ(rows[0].code, (KeyCode{0x20, 0x01, 0x00}));
    EXPECT_EQ(rows[7].code, (KeyCode{0x20, 0x80, 0x00}));
    EXPECT_EQ(rows[8].code, (KeyCode{0x20, 0x00, 0x04}));
    EXPECT_EQ(rows[112].label, "keyboard_key_K151");
    EXPECT_EQ(rows[113].label, "keyboard_key_K42");
    EXPECT_EQ(rows[113].virtual_key, 0xBF);
    EXPECT_EQ(rows[113].code, (KeyCode{0x20, 0x00, 0x32}));
    EXPECT_EQ(rows[114].virtual_key, 0xA6);
    EXPECT_EQ(rows[114].code, (KeyCode{0x30, 0x92, 0x01}));  // calculator, low byte first
    EXPECT_EQ(rows[130].label, "wed_stop");
    EXPECT_EQ(rows[131].virtual_key, 0xB7);
    EXPECT_EQ(rows[131].code, (KeyCode{0x30, 0x83, 0x01}));
    EXPECT_EQ(rows[132].code, (KeyCode{0x40, 0x01, 0x00}));
    EXPECT_EQ(rows[134].label, "keyboard_key_Wakeup");
    EXPECT_EQ(rows[135].code, (KeyCode{0xD0, 0xA2, 0x01}));
    EXPECT_EQ(rows[139].label, "keyboard_key_M5");
    EXPECT_EQ(rows[140].code, (KeyCode{0xA0, 0x01, 0x00}));
    EXPECT_EQ(rows[141].code, (KeyCode{0xA0, 0x1B, 0x00}));
    EXPECT_EQ(rows[141].label, "keyboard_key_GM");

    // Every code is named once, so that a lookup cannot hit the wrong row.
    std::set<std::int32_t> codes;
    for (const auto& r : rows)
        codes.insert(r.code.to_int());
    EXPECT_EQ(codes.size(), rows.size());
}

TEST(KeyNames, LookupNamesExactCodesOnly) {
    EXPECT_EQ(function_label({0x20, 0x10, 0x00}), "keyboard_key_RCtrl");
    EXPECT_EQ(function_label({0x20, 0x00, 0x32}), "keyboard_key_K42");
    EXPECT_EQ(function_label({0x30, 0xCD, 0x00}), "keyboard_key_Media Play Pause");
    EXPECT_EQ(function_name_row({0xD0, 0xA2, 0x05}), 139u);
    // A key with a modifier, a usage without a row, M6 and the mouse classes are not named.
    EXPECT_EQ(function_label({0x20, 0x02, 0x04}), "");
    EXPECT_EQ(function_label({0x20, 0x00, 0x00}), "");
    EXPECT_EQ(function_label({0x20, 0x00, 0xE0}), "");
    EXPECT_FALSE(function_name_row({0xD0, 0xA2, 0x06}));
    EXPECT_FALSE(function_name_row({0x10, 0x01, 0x00}));
    EXPECT_FALSE(function_name_row({0x30, 0x00, 0xCD}));  // byte order matters
}

// A label names every code a profile may hold, as the editor's lists name it; a code nobody
// names says so instead of showing a wrong function.
TEST(KeyNames, AssignmentLabelsNameEveryClassTheEditorOffers) {
    using velqa::macro::assignment_label;
    using velqa::macro::LabelPart;
    using Parts = std::vector<LabelPart>;
    const std::vector<std::string> macros = {"Reload", "Build"};
    auto id = [](const char* text) { return LabelPart{text}; };
    auto lit = [](const char* text) { return LabelPart{text, true}; };
    EXPECT_EQ(assignment_label({0x10, 0x04, 0x00}, macros), Parts{id("keyset_mousekey_1_text")});
    EXPECT_EQ(assignment_label({0x13, 0x03, 0x00}, macros), Parts{id("keyset_dpi_2_text")});
    EXPECT_EQ(assignment_label({0x12, 0x13, 0xFD}, macros),
              (Parts{id("keyset_group_3_text"), lit(" "), id("keyset_wheel_dir_1_text")}));
    EXPECT_EQ(assignment_label({0x20, 0x02, 0x04}, macros),
              (Parts{id("keyset_modifier_2_text"), lit("+"), id("keyboard_key_A")}));
    EXPECT_EQ(assignment_label({0x20, 0x10, 0x06}, macros), Parts{id("keyset_combokey_4_text")});
    // Right Ctrl alone shares the combination marker but is no combination.
    EXPECT_EQ(assignment_label({0x20, 0x10, 0x00}, macros), Parts{id("keyboard_key_RCtrl")});
    EXPECT_EQ(assignment_label({0x71, 0x01, 0x05}, macros),
              (Parts{id("key_label_macro_text"), lit(": Build")}));
    EXPECT_EQ(assignment_label({0x70, 0x02, 0x00}, macros), Parts{id("key_label_macro_text")});
    EXPECT_EQ(assignment_label({0x00, 0x00, 0x00}, macros), Parts{id("key_label_none_text")});
    EXPECT_EQ(assignment_label({0x20, 0x03, 0x04}, macros), Parts{id("key_label_custom_text")});
    EXPECT_EQ(assignment_label({0x10, 0x40, 0x00}, macros), Parts{id("key_label_custom_text")});
    EXPECT_EQ(assignment_label({0x99, 0x01, 0x00}, macros), Parts{id("key_label_custom_text")});
}

}  // namespace
