// Desktop-wide keyboard and mouse capture while a macro is recorded or a key is captured. One
// backend per session: X11 (XRecord for the events, a keyboard grab so that keys stay with us),
// or, where no X server can be reached (a Wayland session without XWayland), none: the window
// then records the key events that reach it while it has the focus.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velqa::platform::input {

enum class CaptureKind { KeyDown, KeyUp, ButtonDown, ButtonUp };

struct CapturedEvent {
    CaptureKind kind = CaptureKind::KeyDown;
    // The X keycode (keys) or the X button number (buttons). Capture knows no macro tables:
    // whoever records the event maps the code to its row.
    unsigned code = 0;
    std::uint32_t time_ms = 0;  // the server's event time; wraps after 49 days
    int root_x = 0;             // pointer position on the screen at the event
    int root_y = 0;

    bool is_key() const { return kind == CaptureKind::KeyDown || kind == CaptureKind::KeyUp; }
    bool is_down() const { return kind == CaptureKind::KeyDown || kind == CaptureKind::ButtonDown; }
};

// Called on the capture's own thread, in the order the events happened. It must not call
// start() or stop(); a window posts the event to its own thread.
using CaptureSink = std::function<void(const CapturedEvent&)>;

class InputCapture {
  public:
    virtual ~InputCapture() = default;
    virtual const char* name() const = 0;
    // False when this session cannot capture the desktop; unavailable_reason() then is the
    // one line the macro page shows.
    virtual bool available() const = 0;
    virtual std::string unavailable_reason() const = 0;

    // Starts delivering every key and mouse-button event of the desktop to `sink`. With
    // `grab_keyboard` no other program receives keys until stop() (lock keys still change
    // their lock state). False, with `error` set, when capture cannot start: nothing is then
    // captured or grabbed. A running capture is stopped first.
    virtual bool start(CaptureSink sink, bool grab_keyboard, std::string* error) = 0;
    // Releases the grab and ends the capture thread; the sink is not called after it returns.
    // Harmless when not running.
    virtual void stop() = 0;
    virtual bool running() const = 0;
};

// The display names the session offers; empty when unset.
struct SessionDisplays {
    std::string x11;      // DISPLAY
    std::string wayland;  // WAYLAND_DISPLAY
};

// Reads DISPLAY and WAYLAND_DISPLAY. A program calls it once, in main; nothing reads them later.
SessionDisplays session_displays_from_environment();

// The X11 backend when `displays.x11` names a reachable X server with the RECORD extension,
// otherwise the window-only fallback.
std::unique_ptr<InputCapture> make_input_capture(const SessionDisplays& displays);

// The X11 backend on display `display`; nothing, with `why_not` set, when the server cannot be
// reached or lacks the RECORD extension.
std::unique_ptr<InputCapture> make_x11_capture(const std::string& display, std::string* why_not);

// The fallback alone, with the reason it gives.
std::unique_ptr<InputCapture> make_window_only_capture(std::string reason);

// The line the fallback shows.
inline constexpr std::string_view WindowOnlyReason =
    "Recording needs X11/XWayland; only keys typed in this window are recorded.";

}  // namespace velqa::platform::input
