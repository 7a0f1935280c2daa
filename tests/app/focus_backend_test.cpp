// The focus backend for each kind of session, told apart by what each says when it cannot work
// here (none of the sockets or displays below exist).
#include <gtest/gtest.h>

#include "app/focus_backend.h"

namespace velqa::app {
namespace {

using platform::desktop::DesktopSession;

std::string reason(const std::string& desktop, const std::string& type, const std::string& display,
                   const std::string& wayland, const std::string& sway = {}) {
    DesktopSession session{desktop, type, display, {}};
    session.wayland_display = wayland;
    session.sway_socket = sway;
    session.runtime_folder = "/nonexistent";
    return focus_backend(session)->unavailable_reason();
}

TEST(FocusBackend, PicksTheSourceTheSessionCanUse) {
    const std::string sway = "/nonexistent/sway-ipc.sock";
    EXPECT_NE(reason("sway", "wayland", ":1", "wayland-1", sway).find(sway), std::string::npos);
    // Plasma on Wayland: the KWin script, which can only fail once started.
    EXPECT_EQ(reason("KDE", "wayland", ":1", "wayland-0"), "");
    EXPECT_EQ(reason("ubuntu:GNOME", "wayland", ":0", "wayland-0"),
              "GNOME on Wayland tells no program which application has the focus without a "
              "Shell extension.");
    // Xwayland's display shows only its own windows: not the X11 backend.
    EXPECT_EQ(reason("Hyprland", "", ":0", "wayland-1"),
              "This Wayland desktop tells no program which application has the focus.");
    for (const char* desktop : {"KDE", "XFCE", ""})
        EXPECT_NE(reason(desktop, "x11", ":65000", "").find("\":65000\""), std::string::npos)
            << desktop;
    EXPECT_NE(reason("", "", "", ""), "");
}

}  // namespace
}  // namespace velqa::app
