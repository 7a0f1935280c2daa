// Which application has the keyboard focus: one small interface with a backend per desktop
// (X11, KDE Plasma on Wayland, Sway and i3), chosen once at start from the session. A desktop
// that gives no focus information says so instead of pretending.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velqa::platform::desktop {

struct FocusedApp {
    // The Wayland app_id or the X11 WM_CLASS class; the executable's name when the window
    // names neither. Empty when the focus is on no application (the desktop, an empty
    // workspace) or on a window that cannot be named.
    std::string app_id;
    bool operator==(const FocusedApp&) const = default;
};

class FocusWatcher {
  public:
    using Callback = std::function<void(const FocusedApp&)>;
    virtual ~FocusWatcher() = default;
    // Empty when this desktop lets us follow the focus; otherwise why not, one sentence for
    // the user.
    virtual std::string unavailable_reason() const = 0;
    // Starts watching. `on_focus` runs once for the application focused now (when known) and
    // then at each change, on a thread of the watcher's own (KWin's backend, which lives on
    // Qt's event loop: the thread that called start()): the receiver marshals it to its
    // thread. Empty on success, else why it could not start. The watcher blocks on its event
    // source; it never polls.
    virtual std::string start(Callback on_focus) = 0;
    // Stops watching; no callback runs once it returns. Also done by the destructor.
    virtual void stop() = 0;
};

// A watcher for a desktop that gives no focus information: start() fails with `reason`.
std::unique_ptr<FocusWatcher> make_unavailable_focus_watcher(std::string reason);

// Any X11 window manager that publishes _NET_ACTIVE_WINDOW: a connection of its own to
// `display`, and a thread that blocks on it (and on a stop descriptor) for property changes of
// the root window. Reports a change of application only, not of window. unavailable_reason()
// says so when the display cannot be opened.
std::unique_ptr<FocusWatcher> make_x11_focus_watcher(const std::string& display);

// Sway and i3: their IPC socket at `socket_path` (SWAYSOCK or I3SOCK), the focused window of
// the tree at start, then window and workspace events. A thread blocks on the socket and a stop
// descriptor; messages larger than MaxSwayMessageBytes are skipped unread, malformed ones are
// ignored. unavailable_reason() says so when the socket cannot be reached.
inline constexpr std::uint32_t MaxSwayMessageBytes = 8u << 20;
std::unique_ptr<FocusWatcher> make_sway_focus_watcher(const std::string& socket_path);

}  // namespace velqa::platform::desktop
