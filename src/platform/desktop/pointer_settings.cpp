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
    return !speed && !wheel_lines && !double_click_ms && !precision && !scroll_page &&
           !x_acceleration;
}

void PointerValues::take(PointerSetting which, const PointerValues& from) {
    switch (which) {
        case PointerSetting::Speed:
            speed = from.speed;
            break;
        case PointerSetting::WheelLines:
            wheel_lines = from.wheel_lines;
            break;
        case PointerSetting::DoubleClick:
            double_click_ms = from.double_click_ms;
            break;
        case PointerSetting::Precision:
            precision = from.precision;
            x_acceleration = from.x_acceleration;
            break;
        case PointerSetting::ScrollPage:
            scroll_page = from.scroll_page;
            break;
    }
}

PointerValues PointerValues::only(PointerSetting which) const {
    PointerValues v;
    v.take(which, *this);
    return v;
}

bool same_value(PointerSetting which, const PointerValues& a, const PointerValues& b) {
    if (!a.has(which) || !b.has(which))
        return false;
    switch (which) {
        case PointerSetting::Speed:
            // KDE keeps the speed as text; a few digits less is the same speed.
            return std::fabs(*a.speed - *b.speed) < 1e-4;
        case PointerSetting::WheelLines:
            return a.wheel_lines == b.wheel_lines;
        case PointerSetting::DoubleClick:
            return a.double_click_ms == b.double_click_ms;
        case PointerSetting::Precision:
            return a.precision == b.precision;
        case PointerSetting::ScrollPage:
            return a.scroll_page == b.scroll_page;
    }
    return false;
}

std::string PointerSettings::refusal(PointerSetting) const {
    return {};
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

// "N/D/T" as the X server takes it: a positive ratio and a threshold of 0 or more.
std::optional<XAcceleration> parse_x_acceleration(std::string_view text) {
    const auto a = text.find('/');
    const auto b = a == std::string_view::npos ? a : text.find('/', a + 1);
    if (b == std::string_view::npos)
        return std::nullopt;
    const auto n = parse_number(text.substr(0, a), 1, kIntLimit);
    const auto d = parse_number(text.substr(a + 1, b - a - 1), 1, kIntLimit);
    const auto t = parse_number(text.substr(b + 1), 0, kIntLimit);
    if (!n || !d || !t)
        return std::nullopt;
    return XAcceleration{static_cast<int>(*n), static_cast<int>(*d), static_cast<int>(*t)};
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
    if (values.speed) {
        // The shortest text that reads back as the same double.
        char text[32];
        const auto r = std::to_chars(text, text + sizeof text, *values.speed);
        field("speed", std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
    }
    if (values.wheel_lines)
        field("wheel_lines", *values.wheel_lines);
    if (values.double_click_ms)
        field("double_click", *values.double_click_ms);
    if (values.precision)
        field("precision", *values.precision ? 1 : 0);
    if (values.scroll_page)
        field("scroll_page", *values.scroll_page ? 1 : 0);
    if (const auto& x = values.x_acceleration)
        field("x_accel", std::to_string(x->numerator) + "/" + std::to_string(x->denominator) + "/" +
                             std::to_string(x->threshold));
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
        } else if (name == "x_accel") {
            if (auto x = parse_x_acceleration(value))
                values.x_acceleration = *x;
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
