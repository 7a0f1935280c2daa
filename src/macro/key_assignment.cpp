#include "macro/key_assignment.h"

#include <algorithm>

#include "device/link/codecs.h"
#include "device/link/config_session.h"
#include "device/link/report.h"
#include "macro/key_tables.h"
#include "macro/macro_files.h"

namespace velqa::macro {

namespace fc = function_class;

namespace {

constexpr std::array<ListItem, 5> MouseButtons = {
    {{0x01, 0}, {0x04, 0}, {0x02, 0}, {0x10, 0}, {0x08, 0}}};
constexpr std::array<ListItem, 3> DpiFunctions = {{{1, 0}, {2, 0}, {3, 0}}};
constexpr std::array<ListItem, 18> MediaUsages = {{
    {0x83, 0x01},
    {0xCD, 0x00},
    {0xB7, 0x00},
    {0xB6, 0x00},
    {0xB5, 0x00},
    {0xEA, 0x00},
    {0xE9, 0x00},
    {0xE2, 0x00},
    {0x23, 0x02},
    {0x27, 0x02},
    {0x26, 0x02},
    {0x24, 0x02},
    {0x25, 0x02},
    {0x2A, 0x02},
    {0x21, 0x02},
    {0x94, 0x01},
    {0x92, 0x01},
    {0x8A, 0x01},
}};
constexpr std::array<ListItem, 3> SystemFunctions = {{{0x01, 0}, {0x02, 0}, {0x04, 0}}};
constexpr std::array<ListItem, 11> ComboKeys = {{
    {ComboMarker, 0x12},
    {ComboMarker, 0x11},
    {ComboMarker, 0x1D},
    {ComboMarker, 0x16},
    {ComboMarker, 0x06},
    {ComboMarker, 0x1B},
    {ComboMarker, 0x19},
    {ComboMarker, 0x09},
    {ComboMarker, 0x04},
    {ComboMarker, 0x2D},
    {ComboMarker, 0x2E},
}};

int find_item(std::span<const ListItem> list, const KeyCode& code) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].first == code.first && list[i].second == code.second)
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<ListItem> item_at(std::span<const ListItem> list, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        return std::nullopt;
    return list[static_cast<std::size_t>(index)];
}

// Delay or speed of a swing or wheel: four bits each.
std::uint8_t nibbles(int high, int low) {
    return static_cast<std::uint8_t>(((high & 0x0F) << 4) | (low & 0x0F));
}

}  // namespace

std::span<const ListItem> mouse_button_list() {
    return MouseButtons;
}
std::span<const ListItem> dpi_list() {
    return DpiFunctions;
}
std::span<const ListItem> media_list() {
    return MediaUsages;
}
std::span<const ListItem> system_list() {
    return SystemFunctions;
}
std::span<const ListItem> combo_key_list() {
    return ComboKeys;
}

std::optional<int> group_of(const KeyCode& code) {
    switch (code.function_class) {
        case fc::None:
            return GroupNone;
        case fc::MouseButton:
            return GroupMouseButton;
        case fc::Swing:
            return GroupSwing;
        case fc::Wheel:
            return GroupWheel;
        case fc::Dpi:
            return GroupDpi;
        case fc::Fire:
            return GroupFire;
        case fc::Keyboard:
            return code.first == ComboMarker ? GroupCombo : GroupKey;
        case fc::Media:
            return GroupMedia;
        case fc::System:
            return GroupSystem;
        case fc::Macro:
        case fc::MacroRepeated:
            return GroupMacro;
        case fc::GunKey:
            return GroupGunKey;
        case fc::ComboNone:
            return GroupCombo;
        default:
            return std::nullopt;
    }
}

int modifier_option(std::size_t modifier_row) {
    const int n = static_cast<int>(modifier_row) + 1;
    return n % 5 + n / 5;
}

ShownCode show(const KeyCode& code, int macro_count) {
    ShownCode out;
    out.working = code;
    KeyEditorState& s = out.state;
    switch (code.function_class) {
        case fc::MouseButton:
            s.mouse_button = find_item(MouseButtons, code);
            break;
        case fc::Swing:
            s.swing_delay = code.first >> 4;
            s.swing_speed = code.first & 0x0F;
            s.swing_count = code.second & 0x7F;
            s.swing_direction = code.second >> 7;
            break;
        case fc::Wheel:
            s.wheel_delay = code.first >> 4;
            s.wheel_speed = code.first & 0x0F;
            if (code.second & 0x80) {
                s.wheel_count = 128 - (code.second & 0x7F);
                s.wheel_direction = 1;
            } else {
                s.wheel_count = code.second;
                s.wheel_direction = 0;
            }
            break;
        case fc::Dpi:
            s.dpi = find_item(DpiFunctions, code);
            break;
        case fc::Media:
            s.media = find_item(MediaUsages, code);
            break;
        case fc::System:
            s.system = find_item(SystemFunctions, code);
            break;
        case fc::Fire:
            s.fire_interval = code.first;
            s.fire_count = code.second;
            break;
        case fc::Keyboard:
            if (code.first == 0) {
                // Usage 0 is "no key": it must not name the first modifier row.
                if (const auto row = row_for_usage(code.second); row && *row < KeyRowCount) {
                    s.modifier = 0;
                    s.key_row = static_cast<int>(*row);
                } else {
                    out.working.first = 0;
                    out.working.second = 0;
                }
            } else if (code.first == ComboMarker) {
                s.combo_key = find_item(ComboKeys, code);
            } else if (code.first <= 128) {
                if (const auto row = row_for_modifier(code.first)) {
                    s.modifier = modifier_option(*row);
                } else {
                    out.working.first = 0;
                    s.modifier = 0;
                }
                if (const auto row = row_for_usage(code.second); row && *row < KeyRowCount)
                    s.key_row = static_cast<int>(*row);
            }
            break;
        case fc::Macro:
            if (code.first < macro_count) {
                s.macro = code.first;
                s.macro_mode = code.second <= 3 ? code.second : -1;
            }
            break;
        case fc::MacroRepeated:
            if (code.first < macro_count) {
                s.macro = code.first;
                s.macro_mode = CycleModeItem;
                s.cycle_visible = true;
                s.cycle_count = code.second;
            }
            break;
        case fc::GunKey:
            s.gun_key = code.first;
            break;
        default:
            break;
    }
    s.group = group_of(code).value_or(-1);
    return out;
}

KeyCode read(const KeyEditorState& s, const KeyCode& working, const KeyCode& default_code,
             int macro_count) {
    auto from_list = [&](std::span<const ListItem> list, int index, std::uint8_t cls) {
        const auto item = item_at(list, index);
        return item ? KeyCode{cls, item->first, item->second} : working;
    };
    switch (s.group) {
        case GroupMouseButton:
            return from_list(MouseButtons, s.mouse_button, fc::MouseButton);
        case GroupDpi:
            return from_list(DpiFunctions, s.dpi, fc::Dpi);
        case GroupMedia:
            return from_list(MediaUsages, s.media, fc::Media);
        case GroupSystem:
            return from_list(SystemFunctions, s.system, fc::System);
        case GroupCombo:
            return from_list(ComboKeys, s.combo_key, fc::Keyboard);
        case GroupSwing:
            return {fc::Swing, nibbles(s.swing_delay, s.swing_speed),
                    static_cast<std::uint8_t>((s.swing_count & 0x7F) |
                                              (s.swing_direction == 1 ? 0x80 : 0))};
        case GroupWheel: {
            // A count beyond 7 bits would wrap into a different, valid-looking count.
            const int n = std::clamp(s.wheel_count, 0, 127);
            const int second = s.wheel_direction == 1 ? ((128 - n) | 0x80) : n;
            return {fc::Wheel, nibbles(s.wheel_delay, s.wheel_speed),
                    static_cast<std::uint8_t>(second)};
        }
        case GroupFire:
            return {fc::Fire, static_cast<std::uint8_t>(s.fire_interval),
                    static_cast<std::uint8_t>(s.fire_count)};
        case GroupKey: {
            const auto bit = static_cast<std::uint8_t>(
                s.modifier >= 1 && s.modifier <= 4 ? 1u << (s.modifier - 1) : 0u);
            std::uint8_t usage = 0;
            if (s.key_row >= 0 && static_cast<std::size_t>(s.key_row) < KeyRowCount)
                usage = key_table()[static_cast<std::size_t>(s.key_row)].usage;
            return {fc::Keyboard, bit, usage};
        }
        case GroupMacro:
            if (s.macro < 0 || s.macro >= macro_count)
                return working;
            if (s.macro_mode == CycleModeItem) {
                return {fc::MacroRepeated, static_cast<std::uint8_t>(s.macro),
                        static_cast<std::uint8_t>(s.cycle_count)};
            }
            return {fc::Macro, static_cast<std::uint8_t>(s.macro),
                    static_cast<std::uint8_t>(std::clamp(s.macro_mode, 0, 3))};
        case GroupGunKey:
            if (s.gun_key < 0)
                return working;
            return {fc::GunKey, static_cast<std::uint8_t>(s.gun_key), 0};
        default:
            return default_code;
    }
}

void capture_key(KeyEditorState& state, std::size_t row) {
    if (row >= KeyRowCount)
        return;
    if (row < ModifierRowCount) {
        state.modifier = modifier_option(row);
        state.key_row = -1;
        return;
    }
    if (state.modifier < 0)
        state.modifier = 0;
    state.key_row = static_cast<int>(row);
}

// ---- The key-table download ----

std::vector<std::uint8_t> build_key_table(std::span<const std::uint8_t> last_read,
                                          const std::vector<profile::KeyAssignment>& keys,
                                          const KeyPositions& positions, int key_count,
                                          int macro_count, std::vector<int>& used) {
    const std::size_t size = 3 * static_cast<std::size_t>(std::max(key_count, 0));
    std::vector<std::uint8_t> table(size, 0);
    std::copy_n(last_read.begin(), std::min(size, last_read.size()), table.begin());
    auto slot_of = [&](int macro) {
        auto it = std::find(used.begin(), used.end(), macro);
        if (it == used.end()) {
            used.push_back(macro);
            it = used.end() - 1;
        }
        return static_cast<std::uint8_t>(it - used.begin());
    };
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!has_position(positions, i, key_count))
            continue;
        KeyCode code = keys[i].current;
        if (is_macro_code(code) && code.first >= macro_count)
            code = keys[i].default_code;
        if (is_macro_code(code)) {
            // A default that names a missing macro is no function at all.
            code = code.first < macro_count
                       ? KeyCode{code.function_class, slot_of(code.first), code.second}
                       : KeyCode{};
        }
        const std::size_t at = 3 * static_cast<std::size_t>(positions[i]);
        table[at] = code.function_class;
        table[at + 1] = code.first;
        table[at + 2] = code.second;
    }
    return table;
}

int download_key_table(link::CommandChannel& channel, std::span<const std::uint8_t> last_read,
                       const std::vector<profile::KeyAssignment>& keys,
                       const KeyPositions& positions, int macro_count, std::vector<int>& used,
                       std::vector<std::uint8_t>* written) {
    // The key count read here is the one the table is built for.
    link::ConfigSession session(channel, link::ConfigSession::Presence::BeforeEachStep);
    if (!session.is_open())
        return session.status();
    link::DeviceInfoBlock block;
    const int res = channel.read_device_info(block.bytes);
    if (res != link::result::Success)
        return res;
    const int key_count = link::decode_device_info(block).key_count;
    const std::vector<std::uint8_t> table =
        build_key_table(last_read, keys, positions, key_count, macro_count, used);
    const int written_res = session.run([&] {
        if (channel.set_block_size(static_cast<std::uint16_t>(table.size())) == 0)
            return link::result::ReadFailed;
        return channel.write_key_table(table, 0);
    });
    if (written_res == link::result::Success && written)
        *written = table;
    return written_res;
}

}  // namespace velqa::macro
