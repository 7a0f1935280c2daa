// Which application has the keyboard focus: one small interface with a backend per desktop
// (X11, KDE Plasma on Wayland, Sway and i3), chosen once at start from the session. A desktop
// that gives no focus information says so instead of pretending.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace velqa::platform::desktop {

struct FocusedApp {
    // The Wayland app_id or the X11 WM_CLASS class; the executable's name when the window
    // names neither.
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
    // then at each change, on a thread of the watcher's own: the receiver marshals it to its
    // thread. Empty on success, else why it could not start. The watcher blocks on its event
    // source; it never polls.
    virtual std::string start(Callback on_focus) = 0;
    // Stops watching; no callback runs once it returns. Also done by the destructor.
    virtual void stop() = 0;
};

// A watcher for a desktop that gives no focus information: start() fails with `reason`.
std::unique_ptr<FocusWatcher> make_unavailable_focus_watcher(std::string reason);

}  // namespace velqa::platform::desktop
