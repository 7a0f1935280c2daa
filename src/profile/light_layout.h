// Which lighting controls a light mode uses, by light type: the editor enables, disables, shows
// or hides its groups from this, so that only what a mode uses can be edited.
#pragma once

#include <optional>
#include <utility>

namespace velqa::profile {

// What a layout update does to the editor's groups; an unset member is left as it is.
struct LightLayoutState {
    // Enabled or disabled.
    std::optional<bool> effect;        // "lighteffect_layout"
    std::optional<bool> multi_colour;  // "deng_7color_check"
    std::optional<bool> colour;        // "deng_color_layout"
    std::optional<bool> palette;       // "colorpallet_layout"
    std::optional<bool> brightness;    // "deng_light_layout"
    std::optional<bool> speed;         // "deng_speed_layout"
    std::optional<bool> direction;     // "deng_fx_layout"
    std::optional<bool> light_colour;  // "light_color_layout"
    // Shown or hidden.
    std::optional<bool> speed_shown;       // "deng_speed_layout"
    std::optional<bool> custom_shown;      // "lightcustom_layout"
    std::optional<bool> zzcc_shown;        // "light_combo_ZZCCmodeSelectLayout"
    std::optional<bool> audio_mode_shown;  // "light_combo_AudiomodeSelectLayout"
    // The mode wants the same-mode box; it shows only while the light-sync flag is set.
    std::optional<bool> same_mode_shown;  // "deng_same_mode"
    std::optional<int> colour_tab;        // page of "light_color_tablayout"
    // Text ids of "deng_FXL_check" and "deng_FXR_check".
    std::optional<std::pair<const char*, const char*>> direction_labels;
};

// The base state of a light type with the row of `mode` applied over it. Light types: 1
// keyboard, 2 mouse, 3 mouse pad, 4 and 7 headset, 5 a further type; any other type changes
// nothing (every member unset).
LightLayoutState light_layout_for(int light_type, int mode);

}  // namespace velqa::profile
