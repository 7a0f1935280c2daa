#include "platform/desktop/pointer_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <string_view>

#include "platform/number_text.h"

namespace velqa::platform::desktop {

bool PointerValues::has(PointerSetting which) const {
    switch (which) {
        case PointerSetting::Speed:
            return speed.has_value();
        case PointerSetting::WheelLines:
            return wheel_lines.has_value();
        case PointerSetting::DoubleClick:
            return double_click_ms.has_value();
        case PointerSetting::Precision:
            return precision.has_value();
        case PointerSetting::ScrollPage:
            return scroll_page.has_value();
    }
    return false;
}

bool PointerValues::empty() const {
    return !speed && !wheel_lines && !double_click_ms && !precision && !scroll_page;
}

// Piecewise, so that the slider's middle is exactly the desktop's default and both ends reach
// the desktop's ends.
double speed_from_slider(int slider) {
    const int v = std::clamp(slider, kSpeedSliderMin, kSpeedSliderMax);
    if (v <= kSpeedSliderDefault)
        return static_cast<double>(v - kSpeedSliderDefault) /
               static_cast<double>(kSpeedSliderDefault - kSpeedSliderMin);
    return static_cast<double>(v - kSpeedSliderDefault) /
           static_cast<double>(kSpeedSliderMax - kSpeedSliderDefault);
}

int slider_from_speed(double speed) {
    if (!std::isfinite(speed))
        return kSpeedSliderDefault;
    const double s = std::clamp(speed, -1.0, 1.0);
    const double span =
        s <= 0 ? kSpeedSliderDefault - kSpeedSliderMin : kSpeedSliderMax - kSpeedSliderDefault;
    return kSpeedSliderDefault + static_cast<int>(std::lround(s * span));
}

namespace {

constexpr int kIntLimit = 100000;

std::optional<double> parse_double(std::string_view text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

}  // namespace

std::string encode_values(const PointerValues& values) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    const char* sep = "";
    auto field = [&](const char* name, const auto& value) {
        out << sep << name << '=' << value;
        sep = ";";
    };
    if (values.speed)
        field("speed", *values.speed);
    if (values.wheel_lines)
        field("wheel_lines", *values.wheel_lines);
    if (values.double_click_ms)
        field("double_click", *values.double_click_ms);
    if (values.precision)
        field("precision", *values.precision ? 1 : 0);
    if (values.scroll_page)
        field("scroll_page", *values.scroll_page ? 1 : 0);
    return out.str();
}

PointerValues decode_values(const std::string& text) {
    PointerValues values;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto end = rest.find(';');
        const std::string_view item = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const auto eq = item.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view name = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        if (name == "speed") {
            if (auto v = parse_double(value); v && *v >= -1 && *v <= 1)
                values.speed = *v;
        } else if (name == "wheel_lines" || name == "double_click") {
            if (auto v = parse_number(value, 1, kIntLimit))
                (name == "wheel_lines" ? values.wheel_lines : values.double_click_ms) =
                    static_cast<int>(*v);
        } else if (name == "precision" || name == "scroll_page") {
            if (auto v = parse_number(value, 0, 1))
                (name == "precision" ? values.precision : values.scroll_page) = *v != 0;
        }
    }
    return values;
}

DesktopKind desktop_kind(const DesktopSession& session) {
    std::string_view names = session.current_desktop;
    while (!names.empty()) {
        const auto end = names.find(':');
        const std::string_view name = names.substr(0, end);
        names = end == std::string_view::npos ? std::string_view() : names.substr(end + 1);
        // Budgie, Unity and Pantheon keep their pointer settings in GNOME's keys.
        if (name == "GNOME" || name == "GNOME-Classic" || name == "GNOME-Flashback" ||
            name == "Unity" || name == "Budgie" || name == "Pantheon")
            return DesktopKind::Gnome;
        if (name == "KDE")
            return DesktopKind::Plasma;
    }
    if (!session.x_display.empty() && session.session_type != "wayland")
        return DesktopKind::X11;
    return DesktopKind::Unknown;
}

}  // namespace velqa::platform::desktop
