// KDE Plasma's pointer settings: kcminputrc and kdeglobals in the user's configuration folder,
// and KWin's input devices on the session bus for the pointers it drives now.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/desktop/pointer_settings.h"

namespace velqa::platform::ipc {

// `config_home`: the folder holding kcminputrc and kdeglobals (XDG_CONFIG_HOME or ~/.config).
// KWin is told over the session bus without waiting for its answers, so a busy or absent KWin
// never holds the caller up.
std::unique_ptr<desktop::PointerSettings> make_plasma_pointer_settings(
    std::filesystem::path config_home);

}  // namespace velqa::platform::ipc
