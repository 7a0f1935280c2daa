#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/application.h"
#include "device/link/supported_devices.h"
#include "platform/folders.h"

int main(int argc, char** argv) {
    // Read here, once: the program hands the address, the lock folder and the devices down.
    const char* update_url = std::getenv("VELQA_UPDATE_URL");
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    const char* keyboard_config = std::getenv("VELQA_KEYBOARD_CONFIG");
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v != nullptr ? v : "");
    };
    velqa::platform::desktop::DesktopSession session{env("XDG_CURRENT_DESKTOP"),
                                                     env("XDG_SESSION_TYPE"), env("DISPLAY"),
                                                     env("XDG_CONFIG_HOME")};
    if (session.config_home.empty() && !env("HOME").empty())
        session.config_home = env("HOME") + "/.config";
    auto data = velqa::link::load_device_data(velqa::platform::resources_folder() / "DefaultData",
                                              keyboard_config != nullptr ? keyboard_config : "");
    for (const auto& problem : data.problems)
        std::fprintf(stderr, "velqa: device file not used: %s\n", problem.c_str());
    return velqa::app::run(
        argc, argv, update_url != nullptr ? update_url : "",
        velqa::platform::runtime_folder(runtime_dir != nullptr ? runtime_dir : ""),
        std::make_shared<const velqa::link::DeviceCatalog>(std::move(data.catalog)),
        std::move(session));
}
