#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/startup_trace.h"
#include "device/link/supported_devices.h"
#include "platform/folders.h"

int main(int argc, char** argv) {
    // Start-up is timed from here: what comes before main is the loader's, not ours.
    const auto started = velqa::app::StartupTrace::Clock::now();
    // Read here, once: the program hands the address, the lock folder and the devices down.
    const char* update_url = std::getenv("VELQA_UPDATE_URL");
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    const char* keyboard_config = std::getenv("VELQA_KEYBOARD_CONFIG");
    auto text = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    velqa::app::StartupTrace trace(text("VELQA_TRACE") == "1", started);
    const std::string home = text("HOME");
    const std::string x_display = text("DISPLAY");
    velqa::platform::SessionFacts session;
    session.current_desktop = text("XDG_CURRENT_DESKTOP");
    session.session_type = text("XDG_SESSION_TYPE");
    session.wayland_display = !text("WAYLAND_DISPLAY").empty();
    session.x11_display = !x_display.empty();
    session.home = home;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (session.messages_locale = text(name); !session.messages_locale.empty())
            break;
    }
    velqa::platform::desktop::DesktopSession desktop{session.current_desktop, session.session_type,
                                                     x_display, text("XDG_CONFIG_HOME")};
    if (desktop.config_home.empty() && !home.empty())
        desktop.config_home = home + "/.config";
    desktop.wayland_display = text("WAYLAND_DISPLAY");
    desktop.sway_socket = text("SWAYSOCK");
    desktop.i3_socket = text("I3SOCK");
    desktop.config_dirs = text("XDG_CONFIG_DIRS");
    std::string lock_refusal;
    const auto runtime =
        velqa::platform::runtime_folder(runtime_dir != nullptr ? runtime_dir : "", &lock_refusal);
    desktop.runtime_folder = runtime.string();
    auto data = velqa::link::load_device_data(velqa::platform::resources_folder() / "DefaultData",
                                              keyboard_config != nullptr ? keyboard_config : "");
    for (const auto& problem : data.problems)
        std::fprintf(stderr, "velqa: device file not used: %s\n", problem.c_str());
    return velqa::app::run(
        argc, argv, update_url != nullptr ? update_url : "", runtime,
        std::make_shared<const velqa::link::DeviceCatalog>(std::move(data.catalog)),
        std::move(session), std::move(desktop), std::move(trace), std::move(lock_refusal));
}
