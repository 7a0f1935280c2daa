// The key-assignment codes of every function class, what the editor shows for a code and the
// code an editor state gives (pure functions over the controls' values), key capture, and the
// key-table download in which a macro key carries its slot in the used list.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/link/command_channel.h"
#include "macro/macro_image.h"
#include "profile/profile_records.h"

namespace velqa::macro {

using profile::KeyCode;

namespace function_class {
constexpr std::uint8_t None = 0x00;
constexpr std::uint8_t MouseButton = 0x10;
constexpr std::uint8_t Swing = 0x11;
constexpr std::uint8_t Wheel = 0x12;
constexpr std::uint8_t Dpi = 0x13;
constexpr std::uint8_t Fire = 0x14;
constexpr std::uint8_t Keyboard = 0x20;  // first 0x10: a key combination
constexpr std::uint8_t Media = 0x30;
constexpr std::uint8_t System = 0x40;
constexpr std::uint8_t Macro = 0x70;          // second: repeat mode 0-3
constexpr std::uint8_t MacroRepeated = 0x71;  // second: repeat count
constexpr std::uint8_t GunKey = 0x72;
constexpr std::uint8_t ComboNone = 0xB0;
}  // namespace function_class

inline constexpr std::uint8_t ComboMarker = 0x10;  // first parameter of a key combination
inline constexpr int CycleModeItem = 4;            // "keyset_macro_over_combo": repeat count

// Function groups, the user data of "keyset_function_combo"'s items.
enum FunctionGroup : int {
    GroupNone = 0,
    GroupMouseButton = 1,
    GroupSwing = 2,
    GroupWheel = 3,
    GroupDpi = 4,
    GroupFire = 5,
    GroupKey = 6,
    GroupMedia = 7,
    GroupSystem = 8,
    GroupMacro = 9,
    GroupGunKey = 10,
    GroupCombo = 11,
};

// The lists behind the combos, in item order: first and second parameter of each item.
struct ListItem {
    std::uint8_t first;
    std::uint8_t second;
};
std::span<const ListItem> mouse_button_list();  // "keyset_mousekey_combo", class 0x10
std::span<const ListItem> dpi_list();           // "keyset_mousedpi_combo", class 0x13
std::span<const ListItem> media_list();         // "keyset_media_combo", class 0x30
std::span<const ListItem> system_list();        // "keyset_system_combo", class 0x40
std::span<const ListItem> combo_key_list();     // "keyset_combokey_combo", class 0x20

// The group a code shows under; nothing for codes the editor has no group for.
std::optional<int> group_of(const KeyCode& code);

// The values of the editor's controls. -1 is "no item selected" for every choice.
struct KeyEditorState {
    int group = -1;  // "keyset_function_combo"; -1 hides "keyset_layout"
    int mouse_button = -1;
    int swing_direction = -1;  // "keyset_mouseswing_combo"
    int swing_count = 0;
    int swing_delay = 0;
    int swing_speed = 0;
    int wheel_direction = -1;  // "keyset_mousewheel_combo"
    int wheel_count = 0;
    int wheel_delay = 0;
    int wheel_speed = 0;
    int dpi = -1;
    int fire_interval = 0;
    int fire_count = 0;
    int modifier = -1;  // "key_ComBox_check_" 0 (none) to 4 (Windows)
    int key_row = -1;   // the key table row named in "keyset_keyboard_text_edit"; -1 empty
    int media = -1;
    int system = -1;
    int macro = -1;              // "keyset_macro_combo"
    int macro_mode = -1;         // "keyset_macro_over_combo", 0-3 or 4 (count)
    bool cycle_visible = false;  // "keyset_macro_cycle_layout"
    int cycle_count = 0;         // "keyset_macro_cycle_edit"
    int gun_key = -1;
    int combo_key = -1;
    bool operator==(const KeyEditorState&) const = default;
};

struct ShownCode {
    KeyEditorState state;
    KeyCode working;  // the code after showing: a key with no table row loses its values
};

// What the editor shows for `code` with `macro_count` macros in the list.
ShownCode show(const KeyCode& code, int macro_count);

// The code the controls give for the selected group; `working` when the group's choice is
// empty (no macro, no list item), `default_code` for group 0 and unknown groups.
KeyCode read(const KeyEditorState& state, const KeyCode& working, const KeyCode& default_code,
             int macro_count);

// The modifier option a modifier row selects: left and right Ctrl 1, Shift 2, Alt 3, Windows 4.
int modifier_option(std::size_t modifier_row);

// A key captured in the key edit (row of the key table): a modifier row selects its option and
// empties the edit; another row names itself in the edit, with option 0 when none is selected.
void capture_key(KeyEditorState& state, std::size_t row);

// ---- The key-table download ----

// The table to write: `last_read` (resized to 3 x key_count, new bytes 0) with each key that
// has a position given its working code. A macro below `macro_count` carries its slot in
// `used` (appended when missing); another macro code gives the key's default code.
std::vector<std::uint8_t> build_key_table(std::span<const std::uint8_t> last_read,
                                          const std::vector<profile::KeyAssignment>& keys,
                                          const KeyPositions& positions, int key_count,
                                          int macro_count, std::vector<int>& used);

// Presence (receiver path), information block (key count), begin, write_key_table (0x09, bank
// 0), end; each step after the presence query on the receiver path. Returns 1, or the first
// failure's result code (0 when the link is not open or the mouse is absent). `written` gets
// the table sent, when given.
int download_key_table(link::CommandChannel& channel, std::span<const std::uint8_t> last_read,
                       const std::vector<profile::KeyAssignment>& keys,
                       const KeyPositions& positions, int macro_count, std::vector<int>& used,
                       std::vector<std::uint8_t>* written = nullptr);

}  // namespace velqa::macro
