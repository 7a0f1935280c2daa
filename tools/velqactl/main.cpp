// velqactl: the command-line client over the same core as the desktop program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/link/supported_devices.h"
#include "platform/folders.h"
#include "platform/hid/hid_backend.h"

namespace {

void print_usage(FILE* out) {
    std::fprintf(out, "usage: velqactl COMMAND [ARGS...]\n\ncommands:\n");
    auto table = velqa::ctl::commands();
    std::sort(table.begin(), table.end(),
              [](const auto& a, const auto& b) { return a.word < b.word; });
    for (const auto& c : table)
        std::fprintf(out, "%s\n", c.usage.c_str());
    std::fprintf(out,
                 "\nexit codes: 0 success, 1 the operation failed, 2 usage error, 3 no matching "
                 "device\nenvironment: VELQA_HID=sim:DIR uses the simulator's nodes in DIR;\n"
                 "  VELQA_UPDATE_URL=URL asks the update server at URL instead of the configured "
                 "one\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        print_usage(stderr);
        return velqa::ctl::UsageError;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        print_usage(stdout);
        return velqa::ctl::Success;
    }
    for (const auto& c : velqa::ctl::commands()) {
        if (c.word == args[0]) {
            // The environment is read here, once; commands get the backend and address it names.
            const char* update_url = std::getenv("VELQA_UPDATE_URL");
            const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
            const char* keyboard_config = std::getenv("VELQA_KEYBOARD_CONFIG");
            auto devices =
                velqa::link::load_device_data(velqa::platform::resources_folder() / "DefaultData",
                                              keyboard_config != nullptr ? keyboard_config : "");
            for (const auto& problem : devices.problems)
                std::fprintf(stderr, "velqactl: device file not used: %s\n", problem.c_str());
            auto hid = velqa::platform::hid::backend_from_environment();
            hid->set_lock_folder(
                velqa::platform::runtime_folder(runtime_dir != nullptr ? runtime_dir : ""));
            const velqa::ctl::Context context{
                std::move(hid), update_url != nullptr ? update_url : "",
                velqa::platform::download_folder(), std::move(devices.catalog)};
            return c.run(context, std::vector<std::string>(args.begin() + 1, args.end()));
        }
    }
    std::fprintf(stderr, "velqactl: unknown command '%s'\n", args[0].c_str());
    print_usage(stderr);
    return velqa::ctl::UsageError;
}
