#include "app/focus_backend.h"

#include "platform/ipc/kwin_focus.h"

namespace velqa::app {

namespace desk = platform::desktop;

std::unique_ptr<desk::FocusWatcher> focus_backend(const desk::DesktopSession& session) {
    // Sway and i3 say who has the focus on their own socket, whatever else the session says.
    // A Sway started anew listens on a socket of its own beside the old one; i3 restarts in
    // place and keeps its path.
    if (!session.sway_socket.empty())
        return desk::make_sway_focus_watcher(session.sway_socket, [path = session.sway_socket] {
            return desk::sway_sockets_beside(path);
        });
    if (!session.i3_socket.empty())
        return desk::make_sway_focus_watcher(session.i3_socket);
    const bool wayland = session.session_type == "wayland" ||
                         (session.session_type.empty() && !session.wayland_display.empty());
    const desk::DesktopKind kind = desk::desktop_kind(session);
    if (wayland && kind == desk::DesktopKind::Plasma)
        return platform::ipc::make_kwin_focus_watcher(session.runtime_folder);
    if (wayland && kind == desk::DesktopKind::Gnome)
        return desk::make_unavailable_focus_watcher(
            "GNOME on Wayland tells no program which application has the focus without a Shell "
            "extension.");
    if (wayland)
        return desk::make_unavailable_focus_watcher(
            "This Wayland desktop tells no program which application has the focus.");
    // X11, or a session that does not say but has an X display: the window manager's
    // _NET_ACTIVE_WINDOW (Xwayland alone would see only its own windows).
    if (!session.x_display.empty() &&
        (session.session_type == "x11" || session.session_type.empty() ||
         session.session_type == "tty"))
        return desk::make_x11_focus_watcher(session.x_display);
    return desk::make_unavailable_focus_watcher(
        "Without a desktop session no program can tell which application has the focus.");
}

}  // namespace velqa::app
