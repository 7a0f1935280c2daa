// KDE Plasma's pointer settings: kcminputrc and kdeglobals in the user's configuration folder,
// and KWin's input devices on the session bus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/desktop/pointer_settings.h"

namespace velqa::platform::ipc {

struct PlasmaPointerSetup {
    // Wayland: KWin reads speed and acceleration per device ([Libinput][vendor][product][name]
    // in kcminputrc) and is told live over D-Bus; X11: Plasma's mouse module reads [Mouse].
    bool wayland = false;
    // The USB IDs of our mouse (each link): on Wayland only its own pointers are changed.
    struct UsbIds {
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
    };
    std::vector<UsbIds> mice;
    // The system's configuration folders (XDG_CONFIG_DIRS), whose "[$i]" locks the user's files.
    std::vector<std::filesystem::path> system_folders;
};

// `config_home`: the folder holding kcminputrc and kdeglobals (XDG_CONFIG_HOME or ~/.config).
// KWin is asked and told over the session bus without waiting for its answers, so a busy or
// absent KWin never holds the caller up; its pointers are written as their answers arrive.
std::unique_ptr<desktop::PointerSettings> make_plasma_pointer_settings(
    std::filesystem::path config_home, PlasmaPointerSetup setup = {});

}  // namespace velqa::platform::ipc
