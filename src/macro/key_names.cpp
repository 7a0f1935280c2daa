#include "macro/key_names.h"

#include <array>
#include <vector>

#include "macro/key_assignment.h"
#include "macro/key_tables.h"

namespace velqa::macro {

namespace {

struct FixedRow {
    std::uint16_t virtual_key;
    std::uint8_t function_class;
    std::uint8_t first;
    std::uint8_t second;
    const char* label;
};

// Keyed by the media and browser virtual keys 0xA6-0xB7; usages low byte first. The labels are
// the language files' keys, spelling included.
// clang-format off
constexpr std::array<FixedRow, 28> Fixed = {{
    {0xA6, 0x30, 0x92, 0x01, "keyboard_key_Launch App2"},
    {0xA7, 0x30, 0x23, 0x02, "keyboard_key_Browaer Home"},
    {0xA8, 0x30, 0xCD, 0x00, "keyboard_key_Media Play Pause"},
    {0xA9, 0x30, 0x21, 0x02, "keyboard_key_Browser Search"},
    {0xAA, 0x30, 0x8A, 0x01, "keyboard_key_Launch Mail"},
    {0xAB, 0x30, 0xE9, 0x00, "keyboard_key_Volume Up"},
    {0xAC, 0x30, 0xE2, 0x00, "keyboard_key_Volume Mute"},
    {0xAD, 0x30, 0xB7, 0x00, "keyboard_key_Media Stop"},
    {0xAE, 0x30, 0xEA, 0x00, "keyboard_key_Volume Down"},
    {0xAF, 0x30, 0x2A, 0x02, "keyboard_key_Browser Favorites"},
    {0xB0, 0x30, 0x25, 0x02, "keyboard_key_Browser ForWard"},
    {0xB1, 0x30, 0x24, 0x02, "keyboard_key_Browser Back"},
    {0xB2, 0x30, 0xB6, 0x00, "keyboard_key_Media Prev Track"},
    {0xB3, 0x30, 0xB5, 0x00, "keyboard_key_Media Next Track"},
    {0xB4, 0x30, 0x94, 0x01, "keyboard_key_Computer"},
    {0xB5, 0x30, 0x27, 0x02, "keyboard_key_Browser Refresh"},
    {0xB6, 0x30, 0x26, 0x02, "wed_stop"},
    {0xB7, 0x30, 0x83, 0x01, "keyboard_key_Launch Media Select"},
    {0, 0x40, 0x01, 0, "keyboard_key_Power"},
    {0, 0x40, 0x02, 0, "keyboard_key_Sleep"},
    {0, 0x40, 0x04, 0, "keyboard_key_Wakeup"},
    {0, 0xD0, 0xA2, 1, "keyboard_key_M1"},
    {0, 0xD0, 0xA2, 2, "keyboard_key_M2"},
    {0, 0xD0, 0xA2, 3, "keyboard_key_M3"},
    {0, 0xD0, 0xA2, 4, "keyboard_key_M4"},
    {0, 0xD0, 0xA2, 5, "keyboard_key_M5"},
    {0, 0xA0, 0x01, 0, "keyboard_key_FN"},
    {0, 0xA0, 0x1B, 0, "keyboard_key_GM"},
}};
// clang-format on

std::vector<FunctionName> build() {
    std::vector<FunctionName> rows;
    rows.reserve(FunctionNameCount);
    // The key table with its label-only "K42" row: modifiers by bit, keys by usage.
    for (const KeyRow& k : key_table()) {
        rows.push_back({k.virtual_key,
                        {function_class::Keyboard, k.modifier, k.usage},
                        "keyboard_key_" + std::string(k.name)});
    }
    for (const FixedRow& f : Fixed)
        rows.push_back({f.virtual_key, {f.function_class, f.first, f.second}, f.label});
    return rows;
}

}  // namespace

std::span<const FunctionName> function_names() {
    static const std::vector<FunctionName> rows = build();
    return rows;
}

std::optional<std::size_t> function_name_row(const profile::KeyCode& code) {
    const auto rows = function_names();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].code == code)
            return i;
    }
    return std::nullopt;
}

std::string function_label(const profile::KeyCode& code) {
    const auto row = function_name_row(code);
    return row ? function_names()[*row].label : std::string();
}

namespace {

// The item of an editor list whose parameters match, as the list's numbered text key.
std::optional<LabelPart> list_item(std::span<const ListItem> list, const char* prefix,
                                   const profile::KeyCode& code) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].first == code.first && list[i].second == code.second)
            return LabelPart{prefix + std::to_string(i) + "_text"};
    }
    return std::nullopt;
}

constexpr std::uint8_t GunKeyCount = 4;  // "keyset_gunkey_" 0-3

LabelPart text(std::string id) {
    return {std::move(id)};
}

}  // namespace

std::vector<LabelPart> assignment_label(const profile::KeyCode& code,
                                        std::span<const std::string> macro_names) {
    namespace fc = function_class;
    const LabelPart custom = text("key_label_custom_text");
    std::optional<LabelPart> item;
    switch (code.function_class) {
        case fc::None:
            return {text("key_label_none_text")};
        case fc::MouseButton:
            item = list_item(mouse_button_list(), "keyset_mousekey_", code);
            break;
        case fc::Swing:
            return {text("keyset_group_2_text"),
                    {" ", true},
                    text((code.second & 0x80) != 0 ? "keyset_swing_dir_1_text"
                                                   : "keyset_swing_dir_0_text")};
        case fc::Wheel:
            return {text("keyset_group_3_text"),
                    {" ", true},
                    text((code.second & 0x80) != 0 ? "keyset_wheel_dir_1_text"
                                                   : "keyset_wheel_dir_0_text")};
        case fc::Dpi:
            item = list_item(dpi_list(), "keyset_dpi_", code);
            break;
        case fc::Fire:
            return {text("keyset_group_5_text")};
        case fc::Macro:
        case fc::MacroRepeated:
            if (code.first < macro_names.size())
                return {text("key_label_macro_text"), {": " + macro_names[code.first], true}};
            return {text("key_label_macro_text")};
        case fc::GunKey:
            if (code.first < GunKeyCount)
                return {text("keyset_gunkey_" + std::to_string(code.first) + "_text")};
            return {text("keyset_group_10_text")};
        case fc::Keyboard: {
            if (code.first == ComboMarker) {
                if (auto combo = list_item(combo_key_list(), "keyset_combokey_", code))
                    return {*combo};
            }
            if (const std::string label = function_label(code); !label.empty())
                return {text(label)};
            // A modifier with a key: "Ctrl+A", named as the editor's modifier options are.
            const auto key = function_label({fc::Keyboard, 0, code.second});
            const std::uint8_t bit = code.first & 0x0F;
            if (key.empty() || bit == 0 || (bit & (bit - 1)) != 0 || code.first > 0x0F)
                return {custom};
            const int option = bit == 0x01 ? 1 : bit == 0x02 ? 2 : bit == 0x04 ? 3 : 4;
            return {text("keyset_modifier_" + std::to_string(option) + "_text"),
                    {"+", true},
                    text(key)};
        }
        default:
            if (const std::string label = function_label(code); !label.empty())
                return {text(label)};
            break;
    }
    return item ? std::vector<LabelPart>{*item} : std::vector<LabelPart>{custom};
}

}  // namespace velqa::macro
