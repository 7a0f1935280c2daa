// Picks the focus watcher for the session the program runs in: Sway or i3 by their socket, KWin
// on Plasma under Wayland, the window manager on X11; a plain sentence where none can work.
#pragma once

#include <memory>

#include "platform/desktop/focus_watcher.h"
#include "platform/desktop/pointer_settings.h"

namespace velqa::app {

std::unique_ptr<platform::desktop::FocusWatcher> focus_backend(
    const platform::desktop::DesktopSession& session);

}  // namespace velqa::app
