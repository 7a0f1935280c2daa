#include "app/focus_backend.h"

namespace velqa::app {

std::unique_ptr<platform::desktop::FocusWatcher> focus_backend(
    const platform::desktop::DesktopSession& session) {
    (void)session;
    return platform::desktop::make_unavailable_focus_watcher(
        "This desktop does not tell programs which application has the focus.");
}

}  // namespace velqa::app
