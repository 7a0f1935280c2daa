// The fixed tables behind macro events and key capture: the keyboard keys (with their Windows
// virtual keys and Set 1 scan codes as the files' original home reports them, their HID usages,
// and the Linux evdev codes that recording on X11 maps from) and the mouse events.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velqa::macro {

struct KeyRow {
    std::string_view name;  // label key "keyboard_key_" + name
    std::uint16_t virtual_key;
    std::uint8_t scan_code;  // Set 1; 0 for the label-only row
    bool extended;
    std::uint8_t category;  // 0x20 in every row
    std::uint8_t modifier;  // modifier bit (rows 0-7), else 0
    std::uint8_t usage;     // HID Keyboard/Keypad usage (rows 8 on), else 0
    std::uint16_t evdev;    // linux/input-event-codes.h KEY_*; 0 for the label-only row
};

// Rows 0-7 are the modifiers (bits 0x01 to 0x80), rows 8-112 the other keys.
inline constexpr std::size_t KeyRowCount = 113;
inline constexpr std::size_t ModifierRowCount = 8;
// The 113 rows and, after them, the label-only "K42" row (usage 0x32, no scan code).
std::span<const KeyRow> key_table();
// The 113 rows that input can produce (recording, key capture).
std::span<const KeyRow> input_key_rows();

// A key's name as one command-line word: spaces become '-' ("Page Up" -> "Page-Up").
std::string key_word(std::string_view name);
// The first row of `rows` from `first` on whose name, or name as a word, is `word` (ASCII case
// ignored).
std::optional<std::size_t> key_row_for_word(std::span<const KeyRow> rows, std::string_view word,
                                            std::size_t first = 0);

inline constexpr int X11KeycodeOffset = 8;  // an X keycode is the evdev code + 8

// Lookups give the row index, nothing when no row matches.
std::optional<std::size_t> row_for_scan_code(std::uint8_t scan_code, bool extended);
std::optional<std::size_t> row_for_x_keycode(unsigned x_keycode);
// The modifier row (0-7) whose bit is `bit`.
std::optional<std::size_t> row_for_modifier(std::uint8_t bit);
// The first row from row 8 on (the label-only row included) whose usage is `usage`; usage 0
// names no key.
std::optional<std::size_t> row_for_usage(std::uint8_t usage);

struct MouseEventRow {
    std::uint16_t message;  // the window message (moves: the event type)
    std::uint8_t category;
    std::uint8_t button;     // "Button"
    std::uint8_t type_byte;  // "Type" with bit 7 for "down"
    std::string_view label;  // language text key
    std::uint8_t x_button;   // X11 button number; 0 for moves
};

// Rows 0-9 the buttons (down, up in turn), 10-13 the moves, 14 the wheel.
inline constexpr std::size_t MouseEventRowCount = 15;
std::span<const MouseEventRow> mouse_event_table();
// The button row for X11 button `x_button` going down or up; nothing for wheel and others.
std::optional<std::size_t> mouse_row_for_x_button(unsigned x_button, bool down);

}  // namespace velqa::macro
