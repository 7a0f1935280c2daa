// The desktop's pointer settings (speed, acceleration, double-click time, wheel lines): one small
// interface with a backend per desktop, chosen once at start from the session the program runs in.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velqa::platform::desktop {

// The five pointer settings a mouse profile keeps, in the order of its System tab.
enum class PointerSetting { Speed, WheelLines, DoubleClick, Precision, ScrollPage };

inline constexpr PointerSetting kPointerSettings[] = {
    PointerSetting::Speed, PointerSetting::WheelLines, PointerSetting::DoubleClick,
    PointerSetting::Precision, PointerSetting::ScrollPage};

// The bit of `which` in a set of these settings, as a mouse profile's "PointerFieldsSet" keeps it.
inline constexpr std::uint8_t pointer_field_bit(PointerSetting which) {
    return static_cast<std::uint8_t>(1U << static_cast<unsigned>(which));
}

// The X server's own acceleration: a motion beyond `threshold` pixels per event is multiplied by
// numerator/denominator.
struct XAcceleration {
    int numerator = 1;
    int denominator = 1;
    int threshold = 0;
    bool operator==(const XAcceleration&) const = default;
};

// Values in desktop-neutral units; an empty field is "not read" or "leave alone".
struct PointerValues {
    std::optional<double> speed;         // -1 (slowest) .. 0 (the desktop's default) .. 1
    std::optional<int> wheel_lines;      // lines per wheel notch
    std::optional<int> double_click_ms;  // longest gap between the clicks of a double click
    std::optional<bool> precision;       // pointer acceleration on
    std::optional<bool> scroll_page;     // a notch scrolls a whole page
    // Part of `precision` on X11: the server's exact acceleration, read so that it can be given
    // back as it was (a precision without it turns the server's default on or off).
    std::optional<XAcceleration> x_acceleration;

    bool has(PointerSetting which) const;
    bool empty() const;
    // The fields of `which` taken from `from` (cleared when `from` has none).
    void take(PointerSetting which, const PointerValues& from);
    // Only the fields of `which`.
    PointerValues only(PointerSetting which) const;
    bool operator==(const PointerValues&) const = default;
};

// Whether `a` and `b` hold the same value of `which` (both must have it). Speeds a desktop keeps
// as text compare within a rounding step; X11's exact acceleration is not compared.
bool same_value(PointerSetting which, const PointerValues& a, const PointerValues& b);

class PointerSettings {
  public:
    virtual ~PointerSettings() = default;
    // The desktop's name as a user knows it ("GNOME", "KDE Plasma", "X11").
    virtual std::string desktop_name() const = 0;
    // Whether this desktop has a counterpart of `which`.
    virtual bool supports(PointerSetting which) const = 0;
    // The desktop's current values of the settings it supports.
    virtual PointerValues read() = 0;
    // Applies the fields that are set and supported; the others are left alone. Empty on
    // success, else why it failed (the settings already applied stay).
    virtual std::string apply(const PointerValues& values) = 0;
    // Why the desktop will not let `which` be changed although it has it (an administrator's
    // lock); empty when it may be changed.
    virtual std::string refusal(PointerSetting which) const;
};

// The profile's slider for pointer speed runs 1..20 with 10 the desktop's default; the
// desktop's speed runs -1..1 with 0 its default. Both directions round to the nearest step.
inline constexpr int kSpeedSliderMin = 1;
inline constexpr int kSpeedSliderDefault = 10;
inline constexpr int kSpeedSliderMax = 20;
double speed_from_slider(int slider);
int slider_from_speed(double speed);

// Text form of a set of values for the settings store ("speed=0.25;double_click=400;
// x_accel=2/1/4"); numbers read back exactly; unknown or malformed fields are skipped.
std::string encode_values(const PointerValues& values);
PointerValues decode_values(const std::string& text);

// What the program knows of its session, read in main.
struct DesktopSession {
    std::string current_desktop;  // XDG_CURRENT_DESKTOP (colon-separated names)
    std::string session_type;     // XDG_SESSION_TYPE ("x11", "wayland")
    std::string x_display;        // DISPLAY
    std::string config_home;      // XDG_CONFIG_HOME or ~/.config
    // For following the focused application.
    std::string wayland_display{};  // WAYLAND_DISPLAY
    std::string sway_socket{};      // SWAYSOCK
    std::string i3_socket{};        // I3SOCK
    std::string runtime_folder{};   // our private runtime folder; empty when there is none
    std::string config_dirs{};      // XDG_CONFIG_DIRS (colon-separated; empty: /etc/xdg)
};
enum class DesktopKind { Unknown, Gnome, Plasma, X11 };
// GNOME (and its relatives that keep GNOME's pointer keys) or Plasma by name; otherwise any
// session with an X display; otherwise none.
DesktopKind desktop_kind(const DesktopSession& session);

// GNOME: GSettings "org.gnome.desktop.peripherals.mouse" (speed, accel-profile, double-click)
// through GIO's default backend, so GSETTINGS_BACKEND applies. Supports nothing when the schema
// is not installed.
std::unique_ptr<PointerSettings> make_gnome_pointer_settings();
// Any X11 session: the server's pointer acceleration (XChangePointerControl). Supports nothing
// when the display cannot be opened.
std::unique_ptr<PointerSettings> make_x11_pointer_settings(const std::string& display);

}  // namespace velqa::platform::desktop
