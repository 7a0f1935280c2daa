// KDE Plasma on Wayland: KWin tells no program which window is active, but runs scripts. A small
// KWin script, loaded through org.kde.kwin.Scripting, calls our object on the session bus with
// the resourceClass of each window that becomes active.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>

#include "platform/desktop/focus_watcher.h"

namespace velqa::platform::ipc {

// Our object on the session bus that the script calls: scriptStarted(token) once it runs, then
// focusChanged(resourceClass).
inline constexpr char kFocusPath[] = "/com/zarn/VelqaR260/Focus";
inline constexpr char kFocusInterface[] = "com.zarn.VelqaR260.Focus";
// The plugin name the script is loaded under; when its id turns out to be another script's,
// the next names ("velqa_focus_2" ... up to kFocusScriptNames of them) are tried.
inline constexpr char kFocusScriptName[] = "velqa_focus";
inline constexpr int kFocusScriptNames = 6;
// How long a run script has to call back before the object we ran is taken for another's.
inline constexpr std::chrono::milliseconds kFocusHandshake{5000};

// `runtime_folder`: our private runtime folder (platform::runtime_folder), where the script file
// is written for KWin to read. Unlike the other backends this one lives on Qt's event loop: the
// callbacks run on the thread that called start() (the GUI thread), and start() and stop() must
// be called there too. Calls to KWin never wait for its answer, so a busy KWin holds nothing up.
// Only calls from the connection that owns org.kde.KWin are believed, and the script counts as
// ours only once it has called back with the token written into it: KWin 5 numbers scripts by
// their place in its list, so after another program unloads one, a new script may get an id
// whose object is still another script's. Failures after start() go to the status callback.
std::unique_ptr<desktop::FocusWatcher> make_kwin_focus_watcher(
    std::filesystem::path runtime_folder, std::chrono::milliseconds handshake = kFocusHandshake);

}  // namespace velqa::platform::ipc
