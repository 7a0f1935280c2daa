#include "app/pointer_profile.h"

#include "profile/settings_limits.h"

namespace velqa::app {

namespace desk = platform::desktop;
using desk::PointerSetting;

// The profile's bits follow the order of the settings.
static_assert(static_cast<int>(PointerSetting::Speed) == 0 &&
              static_cast<int>(PointerSetting::WheelLines) == 1 &&
              static_cast<int>(PointerSetting::DoubleClick) == 2 &&
              static_cast<int>(PointerSetting::Precision) == 3 &&
              static_cast<int>(PointerSetting::ScrollPage) == 4 && profile::PointerFieldCount == 5);

static_assert(profile::PointerSpeedRange.min == desk::kSpeedSliderMin &&
                  profile::PointerSpeedRange.max == desk::kSpeedSliderMax,
              "the speed slider maps its whole range onto the desktop's");

desk::PointerValues profile_pointer_values(const profile::MouseSystemSettings& sys,
                                           std::uint8_t set_bits) {
    // Held in the System tab's ranges: a profile edited by hand since it was imported must not
    // give the desktop a 1 ms double click.
    profile::MouseSystemSettings held = sys;
    profile::hold_in_range(held);
    desk::PointerValues v;
    auto set = [set_bits](PointerSetting which) {
        return (set_bits & desk::pointer_field_bit(which)) != 0;
    };
    // 0 where a range starts above it is a missing or mistyped member: nothing to apply.
    if (set(PointerSetting::Speed) && sys.pointer_speed > 0)
        v.speed = desk::speed_from_slider(held.pointer_speed);
    if (set(PointerSetting::WheelLines) && sys.wheel_scroll_lines > 0)
        v.wheel_lines = held.wheel_scroll_lines;
    if (set(PointerSetting::DoubleClick) && sys.double_click_time > 0)
        v.double_click_ms = held.double_click_time;
    if (set(PointerSetting::Precision))
        v.precision = held.pointer_precision != 0;
    if (set(PointerSetting::ScrollPage))
        v.scroll_page = held.scroll_page != 0;
    return v;
}

int control_value(const desk::PointerValues& v, PointerSetting which) {
    switch (which) {
        case PointerSetting::Speed:
            return desk::slider_from_speed(*v.speed);
        case PointerSetting::WheelLines:
            return *v.wheel_lines;
        case PointerSetting::DoubleClick:
            return *v.double_click_ms;
        case PointerSetting::Precision:
            return *v.precision ? 1 : 0;
        case PointerSetting::ScrollPage:
            return *v.scroll_page ? 1 : 0;
    }
    return 0;
}

}  // namespace velqa::app
