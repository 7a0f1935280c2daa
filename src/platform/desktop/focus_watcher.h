// Which application has the keyboard focus: one small interface with a backend per desktop
// (X11, KDE Plasma on Wayland, Sway and i3), chosen once at start from the session. A desktop
// that gives no focus information says so instead of pretending.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    // Empty once the watcher follows the focus (again); otherwise why it cannot for now, one
    // sentence for the user (a window manager that restarts, a KWin script that does not
    // answer). Runs on the same thread as the focus callback.
    using StatusCallback = std::function<void(const std::string& reason)>;
    virtual ~FocusWatcher() = default;
    // Empty when this desktop lets us follow the focus; otherwise why not, one sentence for
    // the user.
    virtual std::string unavailable_reason() const = 0;
    // Starts watching. `on_focus` runs once for the application focused now (when known) and
    // then at each change, on a thread of the watcher's own (KWin's backend, which lives on
    // Qt's event loop: the thread that called start()): the receiver marshals it to its
    // thread. Empty on success, else why it could not start. The watcher blocks on its event
    // source; it never polls. `on_status` (optional) hears when following stops and resumes
    // after a successful start.
    virtual std::string start(Callback on_focus, StatusCallback on_status = {}) = 0;
    // Stops watching; no callback runs once it returns. Also done by the destructor.
    virtual void stop() = 0;
};

// A watcher for a desktop that gives no focus information: start() fails with `reason`.
std::unique_ptr<FocusWatcher> make_unavailable_focus_watcher(std::string reason);

// Any X11 window manager that publishes _NET_ACTIVE_WINDOW: a connection of its own to
// `display`, and a thread that blocks on it (and on a stop descriptor) for property changes of
// the root window and of the active window (whose WM_CLASS may come after it became active).
// Reports a change of application only, not of window. unavailable_reason() says so when the
// display cannot be opened; a lost connection is reported through the status callback.
std::unique_ptr<FocusWatcher> make_x11_focus_watcher(const std::string& display);

// Sway and i3: their IPC socket at `socket_path` (SWAYSOCK or I3SOCK), the focused window of
// the tree at start, then window and workspace events. A thread blocks on the socket and a stop
// descriptor; messages larger than MaxSwayMessageBytes are skipped unread, malformed ones are
// ignored. unavailable_reason() says so when the socket cannot be reached at first. A
// connection that closes (i3 restarting in place, Sway replaced) is tried again with back-off
// from FirstReconnectDelay up to LastReconnectDelay, on `socket_path` and then on the other
// paths `more_sockets` names at that moment; the status callback says so meanwhile.
inline constexpr std::uint32_t MaxSwayMessageBytes = 8u << 20;
inline constexpr std::chrono::milliseconds FirstReconnectDelay{50};
inline constexpr std::chrono::milliseconds LastReconnectDelay{3000};
using SocketPaths = std::function<std::vector<std::string>()>;
std::unique_ptr<FocusWatcher> make_sway_focus_watcher(const std::string& socket_path,
                                                      SocketPaths more_sockets = {});
// The sockets of other Sway instances of this user beside `socket_path`
// ("sway-ipc.UID.PID.sock" in the same folder), the newest first: where a Sway that was
// replaced listens now.
std::vector<std::string> sway_sockets_beside(const std::string& socket_path);

}  // namespace velqa::platform::desktop
