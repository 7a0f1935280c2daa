#include "profile/light_layout.h"

#include <algorithm>
#include <initializer_list>

namespace velqa::profile {

namespace {

constexpr std::pair<const char*, const char*> kRightLeft{"light_set_right_to_left_text",
                                                         "light_set_left_to_right_text"};
constexpr std::pair<const char*, const char*> kClockwise{"light_set_clockwise_text",
                                                         "light_set_anticlockwise_text"};
constexpr std::pair<const char*, const char*> kDownUp{"light_set_down_to_up_text",
                                                      "light_set_up_to_down_text"};
constexpr std::pair<const char*, const char*> kUpDown{"light_set_up_to_down_text",
                                                      "light_set_down_to_up_text"};
constexpr std::pair<const char*, const char*> kOutsideIn{"light_set_outside_to_inside_text",
                                                         "light_set_inside_to_outside_text"};

// One row of a table: Eff, Multi, Col, Pal, Bri, Spd and Dir (nullopt: as in the base state).
void row(LightLayoutState& s, bool eff, bool multi, bool col, bool pal, bool bri, bool spd,
         std::optional<bool> dir) {
    s.effect = eff;
    s.multi_colour = multi;
    s.colour = col;
    s.palette = pal;
    s.brightness = bri;
    s.speed = spd;
    if (dir)
        s.direction = dir;
}

bool in(int mode, std::initializer_list<int> modes) {
    return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

void keyboard_layout(LightLayoutState& s, int mode) {
    s.custom_shown = false;
    s.zzcc_shown = false;
    s.audio_mode_shown = false;
    s.same_mode_shown = false;
    s.speed_shown = true;
    s.direction = true;
    s.light_colour = true;
    s.colour_tab = 0;
    s.direction_labels = kRightLeft;
    const std::nullopt_t same = std::nullopt;
    if (in(mode, {1, 2})) {
        row(s, true, true, true, true, true, true, same);
    } else if (in(mode, {3, 24})) {
        row(s, true, true, true, true, true, true, same);
        s.direction_labels = kClockwise;
    } else if (mode == 4) {
        row(s, true, false, false, false, true, true, false);
        s.light_colour = false;
        s.same_mode_shown = true;
    } else if (in(mode, {5, 23})) {
        row(s, true, true, true, true, true, true, false);
        s.same_mode_shown = true;
    } else if (mode == 6) {
        row(s, true, true, true, true, true, false, false);
        s.same_mode_shown = true;
    } else if (in(mode, {7, 8, 9, 10, 13, 14, 15, 22, 25})) {
        row(s, true, true, true, true, true, true, false);
    } else if (in(mode, {11, 26})) {
        row(s, true, false, false, false, true, true, false);
        s.light_colour = false;
    } else if (mode == 12) {
        row(s, true, false, false, false, true, true, same);
        s.direction_labels = kDownUp;
    } else if (mode == 16) {
        row(s, true, true, true, true, true, false, false);
    } else if (mode == 17) {
        row(s, true, false, false, false, true, true, false);
        s.speed_shown = false;
        s.zzcc_shown = true;
        s.light_colour = false;
    } else if (mode == 18) {
        row(s, true, false, false, false, true, false, true);
        s.light_colour = false;
        s.direction_labels = kOutsideIn;
    } else if (mode == 20) {
        row(s, true, false, true, true, true, false, false);
        s.custom_shown = true;
        s.speed_shown = false;
    } else if (mode == 21) {
        row(s, true, true, true, true, true, true, same);
        s.direction_labels = kUpDown;
    } else if (mode == 27) {
        row(s, true, false, false, false, true, true, false);
    } else if (mode == 28) {
        row(s, true, false, false, false, false, false, false);
        s.same_mode_shown = true;
    } else if (mode == 29) {
        row(s, true, true, true, true, true, false, same);
        s.speed_shown = false;
        s.audio_mode_shown = true;
        s.colour_tab = 1;
    } else if (mode == 30) {
        row(s, true, false, false, false, true, false, false);
        s.light_colour = false;
    } else {
        row(s, true, false, false, false, false, false, false);
    }
}

void mouse_layout(LightLayoutState& s, int mode) {
    s.audio_mode_shown = false;
    s.colour_tab = 0;
    s.speed_shown = true;
    s.same_mode_shown = false;
    s.direction = true;
    s.direction_labels = kDownUp;
    if (in(mode, {0, 5})) {
        row(s, true, true, true, true, true, true, std::nullopt);
    } else if (mode == 1) {
        row(s, true, false, false, false, true, true, false);
    } else if (in(mode, {2, 4, 6})) {
        row(s, true, true, true, true, true, true, false);
    } else if (mode == 3) {
        row(s, true, false, true, true, true, false, false);
    } else if (in(mode, {7, 8})) {
        row(s, true, false, false, false, true, true, false);
    } else if (mode == 11) {
        row(s, true, true, true, true, true, false, std::nullopt);
        s.speed_shown = false;
        s.audio_mode_shown = true;
        s.colour_tab = 1;
    } else {
        // 10 (off) and every mode without settings.
        row(s, true, false, false, false, false, false, false);
    }
}

void pad_headset_layout(LightLayoutState& s, int mode) {
    s.same_mode_shown = false;
    s.direction = true;
    if (mode == 0) {
        row(s, true, true, true, true, true, true, std::nullopt);
    } else if (mode == 1) {
        row(s, true, false, false, false, true, true, false);
        s.same_mode_shown = true;
    } else if (in(mode, {2, 4})) {
        row(s, true, true, true, true, true, true, false);
        s.same_mode_shown = true;
    } else if (mode == 3) {
        row(s, true, false, true, true, true, false, false);
        s.same_mode_shown = true;
    } else if (mode == 8) {
        row(s, true, false, false, false, false, false, false);
        s.same_mode_shown = true;
    } else {
        row(s, true, false, false, false, false, false, false);
    }
}

void type5_layout(LightLayoutState& s, int mode) {
    // No base state, and the direction is left alone.
    const std::nullopt_t untouched = std::nullopt;
    if (in(mode, {0, 2, 3}))
        row(s, true, true, true, true, true, true, untouched);
    else if (mode == 1)
        row(s, true, false, true, true, true, false, untouched);
    else if (mode == 4)
        row(s, true, false, false, false, true, true, untouched);
    else
        row(s, true, false, false, false, false, false, untouched);
}

}  // namespace

LightLayoutState light_layout_for(int light_type, int mode) {
    LightLayoutState s;
    switch (light_type) {
        case 1:
            keyboard_layout(s, mode);
            break;
        case 2:
            mouse_layout(s, mode);
            break;
        case 3:
        case 4:
        case 7:
            pad_headset_layout(s, mode);
            break;
        case 5:
            type5_layout(s, mode);
            break;
        default:
            break;
    }
    return s;
}

}  // namespace velqa::profile
