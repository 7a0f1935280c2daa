// velqa-sim: the simulated mouse and 2.4G receiver behind virtual HID nodes, and `ctl`, which
// acts on a running simulator through its control socket.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/link/supported_devices.h"
#include "firmware.h"
#include "platform/folders.h"
#include "platform/number_text.h"
#include "sim_control.h"
#include "sim_nodes.h"
#include "velqa_version.h"

namespace {

// Laid out for help2man too, which builds the manual page from it: a synopsis line per form, and
// one entry per option and control command.
void usage(FILE* out) {
    std::fprintf(
        out,
        "Usage: velqa-sim --dir DIR [--link cable|receiver|both] [--sensor 3395|3950] [--keys N] "
        "[--macro-units N] [--battery PCT] [--latency MS] [--device mouse|keyboard] "
        "[--keyboard-config FILE]\n"
        "  or:  velqa-sim ctl --dir DIR COMMAND\n"
        "  or:  velqa-sim --help | --version\n"
        "Serves a simulated mouse and 2.4G receiver as virtual HID nodes in DIR until SIGINT or\n"
        "SIGTERM.\n"
        "\n"
        "Options:\n"
        "  --dir DIR                   the folder of the virtual nodes and the control socket\n"
        "  --link cable|receiver|both  the links plugged in at start (default both)\n"
        "  --sensor 3395|3950          the mouse's sensor (default 3395)\n"
        "  --keys N                    the number of buttons, 0-170 (default 8; 104 for a\n"
        "                              keyboard)\n"
        "  --macro-units N             the macro memory, in units, 0-255 (default 32)\n"
        "  --battery PCT               the battery level, 0-100 (default 85)\n"
        "  --latency MS                delay every reply by MS, 0-10000 (default 0)\n"
        "  --device mouse|keyboard     a mouse (default) or a keyboard (nodes kbd-*)\n"
        "  --keyboard-config FILE      the keyboard's vendor and product IDs (default:\n"
        "                              $VELQA_KEYBOARD_CONFIG, else\n"
        "                              DefaultData/KeyboardDevice.json)\n"
        "  --help                      show this help and exit\n"
        "  --version                   show the version and exit\n"
        "\n"
        "Control commands:\n"
        "%s",
        velqa::sim::control_usage());
}

bool number(const std::string& text, long min, long max, long& out) {
    const auto v = velqa::platform::parse_number(text, min, max);
    if (v)
        out = static_cast<long>(*v);
    return v.has_value();
}

int run_ctl(const std::vector<std::string>& args) {
    std::string dir;
    size_t i = 0;
    if (args.size() >= 2 && args[0] == "--dir") {
        dir = args[1];
        i = 2;
    }
    if (dir.empty() || i >= args.size()) {
        usage(stderr);
        return 2;
    }
    const auto res =
        velqa::sim::send_control(dir, std::vector<std::string>(args.begin() + i, args.end()));
    std::fputs(res.output.c_str(), res.exit_code == 0 ? stdout : stderr);
    return res.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl") {
        return run_ctl(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::string dir;
    std::string link = "both";
    velqa::sim::FirmwareOptions options;
    long latency = 0;
    bool keys_given = false;
    std::string keyboard_config;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("velqa-sim %s\n", VELQA_VERSION_TEXT);
            return 0;
        }
        if (i + 1 >= args.size()) {
            usage(stderr);
            return 2;
        }
        const std::string& value = args[++i];
        long n = 0;
        bool ok = true;
        if (arg == "--dir") {
            dir = value;
        } else if (arg == "--link") {
            link = value;
            ok = link == "cable" || link == "receiver" || link == "both";
        } else if (arg == "--sensor") {
            ok = value == "3395" || value == "3950";
            options.sensor = value == "3950" ? 0x3950 : 0x3395;
        } else if (arg == "--keys") {
            ok = number(value, 0, 170, n);  // 3 x K must fit a 512-byte block
            options.keys = static_cast<uint8_t>(n);
            keys_given = true;
        } else if (arg == "--device") {
            ok = value == "mouse" || value == "keyboard";
            options.device = value == "keyboard" ? velqa::sim::SimDevice::Keyboard
                                                 : velqa::sim::SimDevice::Mouse;
        } else if (arg == "--keyboard-config") {
            keyboard_config = value;
        } else if (arg == "--macro-units") {
            ok = number(value, 0, 255, n);
            options.macro_units = static_cast<uint8_t>(n);
        } else if (arg == "--battery") {
            ok = number(value, 0, 100, n);
            options.battery = static_cast<uint8_t>(n);
        } else if (arg == "--latency") {
            ok = number(value, 0, 10000, latency);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "velqa-sim: bad option %s %s\n", arg.c_str(), value.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (dir.empty()) {
        usage(stderr);
        return 2;
    }

    // Block the stop signals before any thread starts so only sigwait below sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    // The data folder and the environment are read here, once.
    const auto default_data = velqa::platform::resources_folder() / "DefaultData";
    const auto maker_vendor_id =
        velqa::link::read_maker_vendor_id(default_data / "DeviceConfig.json")
            .value_or(velqa::link::DefaultMakerVendorId);
    if (keyboard_config.empty()) {
        const char* env = std::getenv("VELQA_KEYBOARD_CONFIG");
        keyboard_config = env != nullptr && *env != '\0'
                              ? std::string(env)
                              : (default_data / "KeyboardDevice.json").string();
    }
    const bool keyboard = options.device == velqa::sim::SimDevice::Keyboard;
    velqa::sim::NodeIdentity identity;
    if (keyboard) {
        if (!keys_given)
            options.keys = velqa::sim::KeyboardDefaultKeys;
        const std::filesystem::path file(keyboard_config);
        std::string error;
        const auto ids = velqa::link::read_keyboard_ids(file, &error);
        if (!ids) {
            std::fprintf(stderr, "velqa-sim: %s\n", error.c_str());
            return 2;
        }
        if (ids->vendor_id == 0 || ids->product_id == 0)
            std::fprintf(stderr,
                         "velqa-sim: %s sets no keyboard IDs; the program will not "
                         "match this keyboard\n",
                         file.c_str());
        identity = velqa::sim::keyboard_identity(*ids);
    }
    identity.maker_vendor_id = maker_vendor_id;

    velqa::sim::Firmware firmware(options);
    velqa::sim::FirmwareHandler handler(firmware, static_cast<int>(latency));
    velqa::sim::SimNodes nodes(dir, &handler);
    nodes.set_identity(identity);
    handler.attach(&nodes);
    const bool cable = link != "receiver";
    const bool receiver = link != "cable";
    if (!nodes.start(cable, receiver)) {
        std::fprintf(stderr, "velqa-sim: cannot create the nodes in %s\n", dir.c_str());
        return 1;
    }
    firmware.set_plugged(velqa::sim::Link::Cable, cable);
    firmware.set_plugged(velqa::sim::Link::Receiver, receiver);
    velqa::sim::ControlServer control(firmware, &nodes, dir);
    if (!control.start()) {
        std::fprintf(stderr, "velqa-sim: cannot create the control socket in %s\n", dir.c_str());
        nodes.stop();
        return 1;
    }
    if (keyboard) {
        std::fprintf(stderr, "velqa-sim: serving %s link(s) of a keyboard in %s\n", link.c_str(),
                     dir.c_str());
    } else {
        std::fprintf(stderr, "velqa-sim: serving %s link(s) in %s\n", link.c_str(), dir.c_str());
    }
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    control.stop();
    nodes.stop();
    return 0;
}
