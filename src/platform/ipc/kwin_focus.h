// KDE Plasma on Wayland: KWin tells no program which window is active, but runs scripts. A small
// KWin script, loaded through org.kde.kwin.Scripting, calls our object on the session bus with
// the resourceClass of each window that becomes active.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/desktop/focus_watcher.h"

namespace velqa::platform::ipc {

// Our object on the session bus that the script calls: focusChanged(resourceClass).
inline constexpr char kFocusPath[] = "/com/zarn/VelqaR260/Focus";
inline constexpr char kFocusInterface[] = "com.zarn.VelqaR260.Focus";
// The name the script is loaded under; one instance at a time, replacing a leftover of ours.
inline constexpr char kFocusScriptName[] = "velqa_focus";

// `runtime_folder`: our private runtime folder (platform::runtime_folder), where the script file
// is written for KWin to read. Unlike the other backends this one lives on Qt's event loop: the
// callback runs on the thread that called start() (the GUI thread), and start() and stop() must
// be called there too. Calls to KWin never wait for its answer, so a busy KWin holds nothing up;
// failures after start() go to the debug output. Only calls from the connection that owns
// org.kde.KWin are believed.
std::unique_ptr<desktop::FocusWatcher> make_kwin_focus_watcher(
    std::filesystem::path runtime_folder);

}  // namespace velqa::platform::ipc
