// Key-assignment codes: what the editor shows, what it reads back, key capture, and the table
// the key download builds.
#include <gtest/gtest.h>

#include "macro/key_assignment.h"
#include "macro/key_tables.h"

namespace velqa::macro {
namespace {

const KeyCode Default{0x10, 0x01, 0x00};

KeyCode save(const KeyEditorState& s, int macros = 3) {
    return read(s, KeyCode{}, Default, macros);
}

std::size_t row_named(std::string_view name) {
    const auto rows = key_table();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].name == name)
            return i;
    }
    ADD_FAILURE() << name;
    return 0;
}

TEST(KeyCapture, ModifiersAloneAndWithAKey) {
    KeyEditorState s;
    s.group = GroupKey;
    capture_key(s, row_named("RCtrl"));
    EXPECT_EQ(s.modifier, 1);
    EXPECT_EQ(save(s), (KeyCode{0x20, 0x01, 0x00}));

    s = {};
    s.group = GroupKey;
    capture_key(s, row_named("LShift"));
    capture_key(s, row_named("A"));
    EXPECT_EQ(save(s), (KeyCode{0x20, 0x02, 0x04}));

    s = {};
    s.group = GroupKey;
    capture_key(s, row_named("F5"));  // no modifier chosen: option 0
    EXPECT_EQ(s.modifier, 0);
    EXPECT_EQ(save(s), (KeyCode{0x20, 0x00, 0x3E}));
    EXPECT_EQ(modifier_option(row_named("RWin")), 4);
    EXPECT_EQ(modifier_option(row_named("RAlt")), 3);
}

TEST(KeyAssignment, WheelSwingAndMacroExamples) {
    KeyEditorState s;
    s.group = GroupWheel;
    s.wheel_count = 3;
    s.wheel_direction = 1;
    s.wheel_delay = 2;
    s.wheel_speed = 5;
    const KeyCode wheel = save(s);
    EXPECT_EQ(wheel, (KeyCode{0x12, 0x25, 0xFD}));
    const KeyEditorState shown = show(wheel, 0).state;
    EXPECT_EQ(shown.wheel_count, 3);
    EXPECT_EQ(shown.wheel_direction, 1);
    s.wheel_count = 300;  // clamped, not wrapped into another count
    EXPECT_EQ(save(s).second, 0x81);

    s = {};
    s.group = GroupSwing;
    s.swing_count = 3;
    s.swing_direction = 1;
    EXPECT_EQ(save(s), (KeyCode{0x11, 0x00, 0x83}));

    s = {};
    s.group = GroupMacro;
    s.macro = 2;
    s.macro_mode = CycleModeItem;
    s.cycle_count = 5;
    const KeyCode repeated = save(s);
    EXPECT_EQ(repeated, (KeyCode{0x71, 2, 5}));
    const KeyEditorState back = show(repeated, 3).state;
    EXPECT_TRUE(back.cycle_visible);
    EXPECT_EQ(back.macro_mode, CycleModeItem);
    EXPECT_EQ(back.cycle_count, 5);
}

// Every code the editor can produce shows as controls that read back to the same code.
TEST(KeyAssignment, ShowThenReadGivesTheCodeBack) {
    std::vector<KeyCode> codes = {
        {0x11, 0x3A, 0x05}, {0x11, 0xFF, 0xFF}, {0x12, 0x12, 0x07}, {0x12, 0x00, 0x81},
        {0x14, 40, 3},      {0x20, 0x00, 0x04}, {0x20, 0x04, 0x29}, {0x20, 0x08, 0x00},
        {0x70, 0, 0},       {0x70, 2, 3},       {0x71, 1, 200},     {0x72, 4, 0},
    };
    for (const auto& item : mouse_button_list())
        codes.push_back({0x10, item.first, item.second});
    for (const auto& item : dpi_list())
        codes.push_back({0x13, item.first, item.second});
    for (const auto& item : media_list())
        codes.push_back({0x30, item.first, item.second});
    for (const auto& item : system_list())
        codes.push_back({0x40, item.first, item.second});
    for (const auto& item : combo_key_list())
        codes.push_back({0x20, item.first, item.second});
    for (const auto& code : codes) {
        const ShownCode shown = show(code, 3);
        EXPECT_EQ(shown.working, code);
        EXPECT_EQ(read(shown.state, shown.working, Default, 3), code)
            << int(code.function_class) << " " << int(code.first) << " " << int(code.second);
    }
    EXPECT_EQ(media_list()[1].first, 0xCD);  // play/pause
    EXPECT_EQ(media_list()[0].second, 0x01);
}

TEST(KeyAssignment, CodesTheTablesDoNotKnow) {
    // A usage with no key row: empty edit, the values cleared.
    ShownCode s = show({0x20, 0x00, 0xE8}, 0);
    EXPECT_EQ(s.state.key_row, -1);
    EXPECT_EQ(s.state.modifier, -1);
    EXPECT_EQ(s.working, (KeyCode{0x20, 0, 0}));
    // Usage 0 is no key, not the first modifier row.
    EXPECT_EQ(show({0x20, 0x00, 0x00}, 0).state.key_row, -1);
    // Two modifier bits: no row, the first parameter is dropped.
    s = show({0x20, 0x03, 0x04}, 0);
    EXPECT_EQ(s.state.modifier, 0);
    EXPECT_EQ(s.working, (KeyCode{0x20, 0x00, 0x04}));
    EXPECT_EQ(s.state.key_row, int(row_named("A")));
    // Right Windows' bit on a key selects the Windows option.
    EXPECT_EQ(show({0x20, 0x80, 0x04}, 0).state.modifier, 4);
    // A macro beyond the list shows none; reading keeps the working code.
    s = show({0x70, 3, 1}, 3);
    EXPECT_EQ(s.state.macro, -1);
    EXPECT_EQ(s.state.group, GroupMacro);
    EXPECT_EQ(read(s.state, s.working, Default, 3), s.working);
    s = show({0x71, 7, 1}, 3);
    EXPECT_FALSE(s.state.cycle_visible);
    // Combinations with no item, keyboard-only classes and unknown classes.
    EXPECT_EQ(show({0xB0, 0, 0}, 0).state.group, GroupCombo);
    EXPECT_EQ(show({0xB0, 0, 0}, 0).state.combo_key, -1);
    EXPECT_EQ(show({0xA0, 0x01, 0}, 0).state.group, -1);
    EXPECT_EQ(show({0xD0, 0xA2, 1}, 0).state.group, -1);
    EXPECT_EQ(show({0x55, 0, 0}, 0).state.group, -1);
    // Group 0 reads the default.
    KeyEditorState none;
    none.group = GroupNone;
    EXPECT_EQ(save(none), Default);
}

TEST(KeyTableBuild, MacroKeysCarryTheirSlotAndUnknownMacrosTheirDefault) {
    const KeyCode def{0x10, 0x04, 0};
    const std::vector<profile::KeyAssignment> keys = {
        {0, {0x10, 0x01, 0}, 0, def}, {1, {0x70, 2, 1}, 1, def}, {2, {0x71, 0, 9}, 2, def},
        {3, {0x70, 2, 0}, 3, def},    {4, {0x70, 9, 0}, 4, def}, {5, {0x20, 0, 4}, 5, def},
    };
    // Key 5 has no position (0xAA); key 0 sits at position 7.
    const KeyPositions positions = {7, 1, 2, 3, 4, NoPositionAA};
    std::vector<int> used = collect_used_macros(keys, positions, 8, 3);
    EXPECT_EQ(used, (std::vector<int>{2, 0}));
    std::vector<std::uint8_t> last(24, 0xEE);
    const auto table = build_key_table(last, keys, positions, 8, 3, used);
    ASSERT_EQ(table.size(), 24u);
    const std::vector<std::uint8_t> expected = {
        0xEE, 0xEE, 0xEE,                                   // position 0 not assigned: as last read
        0x70, 0,    1,                                      // macro 2 is slot 0
        0x71, 1,    9,                                      // macro 0 is slot 1
        0x70, 0,    0,                                      // macro 2 again
        0x10, 0x04, 0,                                      // macro 9 does not exist: the default
        0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0x10, 0x01, 0,  // key 0 at position 7
    };
    EXPECT_EQ(table, expected);
    EXPECT_EQ(used, (std::vector<int>{2, 0}));  // nothing appended: the image has every slot
    // Positions at or beyond the key count are skipped.
    EXPECT_EQ(collect_used_macros(keys, {0, 9, 9, 9}, 8, 3), std::vector<int>{});
}

}  // namespace
}  // namespace velqa::macro
