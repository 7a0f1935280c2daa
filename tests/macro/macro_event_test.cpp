// Macro events, their device codes, and the key and mouse tables.
#include <gtest/gtest.h>

#include <set>

#include "macro/key_tables.h"
#include "macro/macro_event.h"
#include "platform/json_read.h"

namespace velqa::macro {
namespace {

Json::Value parse(const char* text) {
    return platform::parse_json(text);
}

TEST(MacroEvent, DeviceCodesOfTheWorkedExamples) {
    EXPECT_EQ(device_code({true, 0x01, TypeMouseButton, 20}),
              (DeviceEventCode{0x14, 0x00, 0x81, 0x01}));
    EXPECT_EQ(device_code({false, 0x04, TypeKey, 0}), (DeviceEventCode{0x00, 0x00, 0x0A, 0x04}));
    const MacroEvent long_move{false, 255, TypeMoveY, 65535};
    EXPECT_EQ(device_code(long_move), (DeviceEventCode{0xFF, 0xFF, 0x05, 0xFF}));
    EXPECT_EQ(from_device_code(device_code(long_move)), long_move);
}

TEST(MacroEvent, DelayReadsFromStringOrIntegerAndIsLimited) {
    EXPECT_EQ(read_delay(Json::Value("20")), 20);
    EXPECT_EQ(read_delay(Json::Value(35)), 35);
    EXPECT_EQ(read_delay(Json::Value("65534")), 65534);
    EXPECT_EQ(read_delay(Json::Value("70000")), 65535);  // never wraps to 4464
    EXPECT_EQ(read_delay(Json::Value(1e12)), 65535);
    EXPECT_EQ(read_delay(Json::Value("-5")), 0);
    EXPECT_EQ(read_delay(Json::Value("fast")), 0);
    EXPECT_EQ(read_delay(Json::Value(true)), 0);
    EXPECT_EQ(read_delay(Json::Value()), 0);
}

TEST(MacroEvent, JsonFormRoundTripsWithTheDelayAsText) {
    const MacroEvent e{true, 0x04, TypeKey, 120};
    const Json::Value v = event_json(e);
    EXPECT_EQ(v["Action"].asString(), "down");
    EXPECT_EQ(v["Delay"].asString(), "120");
    EXPECT_EQ(v["Button"].asInt(), 4);
    EXPECT_EQ(v["Type"].asInt(), 10);
    EXPECT_EQ(read_event(v), e);
    EXPECT_EQ(parse_event(v), e);
    // Wrong types read as zero without throwing.
    EXPECT_EQ(read_event(parse(R"({"Action": 1, "Button": "x", "Type": [], "Delay": {}})")),
              (MacroEvent{false, 0, 0, 0}));
}

TEST(MacroEvent, StrictReadingRefusesWhatTheTablesDoNotKnow) {
    const char* refused[] = {
        R"([])",
        R"({"Action": "press", "Button": 4, "Type": 10, "Delay": "0"})",
        R"({"Action": "down", "Button": "4", "Type": 10, "Delay": "0"})",
        R"({"Action": "down", "Button": 256, "Type": 10, "Delay": "0"})",
        R"({"Action": "down", "Button": 4, "Type": 6, "Delay": "0"})",
        R"({"Action": "down", "Button": 4, "Type": true, "Delay": "0"})",
        R"({"Action": "down", "Button": 4, "Type": 10, "Delay": "soon"})",
        R"({"Action": "down", "Button": 4, "Type": 10, "Delay": -1})",
        R"({"Action": "down", "Button": 4, "Type": 10})",
        R"({"Action": "down", "Button": 3, "Type": 1, "Delay": 0})",     // two buttons at once
        R"({"Action": "down", "Button": 3, "Type": 9, "Delay": 0})",     // two modifiers
        R"({"Action": "down", "Button": 165, "Type": 10, "Delay": 0})",  // no such usage
        R"({"Action": "down", "Button": 0, "Type": 10, "Delay": 0})",    // usage 0 is no key
    };
    for (const char* text : refused) {
        std::string why;
        EXPECT_FALSE(parse_event(parse(text), &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
    EXPECT_TRUE(parse_event(parse(R"({"Action": "up", "Button": 50, "Type": 10, "Delay": 7})")))
        << "K42 is a known key";
    EXPECT_TRUE(parse_event(parse(R"({"Action": "up", "Button": 9, "Type": 2, "Delay": "1"})")));
}

TEST(KeyTable, RowsOrderAndExceptions) {
    const auto rows = key_table();
    ASSERT_EQ(rows.size(), KeyRowCount + 1);
    for (std::size_t i = 0; i < ModifierRowCount; ++i) {
        EXPECT_EQ(rows[i].modifier, 1u << i) << rows[i].name;
        EXPECT_EQ(rows[i].usage, 0);
    }
    for (const auto& r : rows)
        EXPECT_EQ(r.category, 0x20);
    EXPECT_EQ(rows[8].name, "A");
    EXPECT_EQ(rows[112].name, "K151");
    EXPECT_EQ(rows[113].name, "K42");
    EXPECT_EQ(rows[113].usage, 0x32);

    struct Expect {
        const char* name;
        std::uint16_t vk;
        std::uint8_t scan;
        bool ext;
        std::uint8_t usage;
    };
    const Expect exceptions[] = {
        {"Print Scr", 0x2C, 0x37, true, 0x46}, {"Pause", 0x13, 0x45, false, 0x48},
        {"Num Lock", 0x90, 0x45, true, 0x53},  {"Num Enter", 0x101, 0x1C, true, 0x58},
        {"App", 0x5D, 0x5D, true, 0x65},       {"K45", 0xE2, 0x56, false, 0x64},
        {"K14", 0xFF, 0x7D, false, 0x89},      {"K151", 0xFF, 0x72, false, 0x90},
        {"xiegang", 0xDC, 0x2B, false, 0x31},  {"Caplk", 0x14, 0x3A, false, 0x39},
    };
    for (const auto& e : exceptions) {
        const auto row = row_for_usage(e.usage);
        ASSERT_TRUE(row) << e.name;
        EXPECT_EQ(rows[*row].name, e.name);
        EXPECT_EQ(rows[*row].virtual_key, e.vk) << e.name;
        EXPECT_EQ(row_for_scan_code(e.scan, e.ext), row) << e.name;
    }
    EXPECT_EQ(rows[*row_for_scan_code(0x5B, true)].name, "LWin");
    EXPECT_EQ(rows[*row_for_scan_code(0x1D, true)].name, "RCtrl");
}

// Input maps to rows through scan codes (the files' original home) and evdev codes (X11 here):
// both must name one row each, and every usage one key.
TEST(KeyTable, InputCodesAndUsagesAreUnique) {
    std::set<unsigned> scans, evdevs, usages;
    for (const auto& r : input_key_rows()) {
        EXPECT_TRUE(scans.insert(r.scan_code << 1 | r.extended).second) << r.name;
        EXPECT_NE(r.evdev, 0) << r.name;
        EXPECT_TRUE(evdevs.insert(r.evdev).second) << r.name;
        if (r.usage != 0) {
            EXPECT_TRUE(usages.insert(r.usage).second) << r.name;
        }
    }
    EXPECT_EQ(usages.size(), KeyRowCount - ModifierRowCount);
    EXPECT_FALSE(usages.count(0x32)) << "K42 is label-only";
}

TEST(KeyTable, X11KeycodesAreEvdevPlusEight) {
    const auto rows = key_table();
    EXPECT_EQ(rows[*row_for_x_keycode(30 + 8)].name, "A");
    EXPECT_EQ(rows[*row_for_x_keycode(37)].name, "LCtrl");       // KEY_LEFTCTRL 29
    EXPECT_EQ(rows[*row_for_x_keycode(104)].name, "Num Enter");  // KEY_KPENTER 96
    EXPECT_EQ(rows[*row_for_x_keycode(135)].name, "App");        // KEY_COMPOSE 127
    EXPECT_FALSE(row_for_x_keycode(8));
    EXPECT_FALSE(row_for_x_keycode(0));
    EXPECT_FALSE(row_for_x_keycode(255));
}

TEST(MouseEventTable, RowsAndXButtons) {
    const auto rows = mouse_event_table();
    ASSERT_EQ(rows.size(), MouseEventRowCount);
    EXPECT_EQ(rows[0].type_byte, 0x81);
    EXPECT_EQ(rows[6].button, 0x10);
    EXPECT_EQ(rows[8].label, "mouse_key_back");
    EXPECT_EQ(rows[12].type_byte, 0x85);
    EXPECT_EQ(rows[14].label, "mouse_cursor_text");
    EXPECT_EQ(mouse_row_for_x_button(1, true), 0u);
    EXPECT_EQ(mouse_row_for_x_button(3, false), 3u);
    EXPECT_EQ(mouse_row_for_x_button(2, true), 4u);
    EXPECT_EQ(mouse_row_for_x_button(9, true), 6u);
    EXPECT_EQ(mouse_row_for_x_button(8, false), 9u);
    EXPECT_FALSE(mouse_row_for_x_button(4, true));  // wheel
}

}  // namespace
}  // namespace velqa::macro
