// velqactl list | info | settings | power | raw: the mouse's state over the command set.
//
// They run the same CommandChannel, sequences and codecs as the desktop program.
#include <json/json.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/link/config_session.h"
#include "device/link/hid_device.h"
#include "device/link/sequences.h"
#include "device/link/supported_devices.h"
#include "mouse_link.h"
#include "platform/access_helper.h"
#include "platform/folders.h"
#include "platform/number_text.h"

namespace velqa::ctl {

namespace {

using link::CommandChannel;
using link::HidDevice;

struct Found {
    size_t row = 0;
    uint8_t type = 0;
    uint8_t sub_type = 0;
    std::string path;
};

bool is_receiver_type(uint8_t type) {
    return type == link::TypeMouseReceiver || type == link::TypeKeyboardReceiver;
}

const char* type_name(uint8_t type) {
    switch (type) {
        case link::TypeKeyboard:
            return "keyboard";
        case link::TypeKeyboardReceiver:
            return "keyboard-receiver";
        case link::TypeMouse:
            return "mouse";
        case link::TypeMouseReceiver:
            return "mouse-receiver";
        case link::TypeMousePad:
            return "mouse-pad";
        case link::TypeHeadset:
            return "headset";
        default:
            return "unknown";
    }
}

// Why nothing was found: the failure of the first matching path that could not be probed.
struct ProbeFailure {
    link::HidFailure failure = link::HidFailure::None;
    std::string detail;
};

}  // namespace

// How this user gets to open the mouse, for the way the program was installed.
void print_permission_help() {
    const auto access = platform::find_access_helper(platform::executable_folder());
    if (access.helper.empty()) {
        // A build tree: the rule is not installed anywhere yet.
        std::fprintf(stderr,
                     "velqactl: a VELQA R260 is connected, but this user may not open it. The "
                     "velqa package installs the udev rule that allows it; from a source tree, "
                     "install the rule from packaging/ (see README, \"Using the real mouse\"):\n"
                     "  sudo cp packaging/70-zarn-velqa-r260.rules /etc/udev/rules.d/\n"
                     "  sudo udevadm control --reload && sudo udevadm trigger\n"
                     "then unplug the mouse (or its receiver) and plug it in again.\n");
        return;
    }
    // The package's rule is in place; it applies to a mouse plugged in after it was installed.
    std::fprintf(stderr,
                 "velqactl: a VELQA R260 is connected, but this user may not open it. The udev "
                 "rule of the velqa package applies to a mouse plugged in after the package was "
                 "installed: unplug the mouse (or its receiver) and plug it in again, or apply "
                 "the rule now:\n"
                 "  sudo udevadm control --reload && sudo udevadm trigger\n");
    // The package's helper does the same in one step and needs no re-plug.
    std::fprintf(stderr, "velqactl: to allow access, run: %s %s\n",
                 access.runner.empty() ? "sudo" : "pkexec", access.helper.c_str());
}

void print_failure(link::HidFailure failure, const std::string& detail) {
    if (failure == link::HidFailure::None)
        return;
    std::fprintf(stderr, "velqactl: reason: %s%s%s\n", link::hid_failure_text(failure),
                 detail.empty() ? "" : " - ", detail.c_str());
    if (failure == link::HidFailure::PermissionDenied)
        print_permission_help();
}

namespace {

// Both matching stages: by path, then by the opened interface's identity.
std::vector<Found> find_devices(const Context& context, ProbeFailure* probe = nullptr) {
    std::vector<Found> found;
    const auto& table = context.devices.interfaces();
    HidDevice scanner(context.hid);
    if (!scanner.scan())
        return found;
    while (auto path = scanner.next_path()) {
        if (!link::match_path(table, *path))
            continue;
        HidDevice dev(context.hid);
        if (!dev.open(*path, false, false, true, false)) {
            if (probe && probe->failure == link::HidFailure::None)
                *probe = {dev.last_failure(), dev.last_failure_detail()};
            continue;
        }
        link::DeviceIdentity id = link::identity_of(dev);
        id.device_path = *path;
        if (auto row = link::match_identity(table, id)) {
            found.push_back(Found{*row, id.device_type, id.device_sub_type, *path});
        }
    }
    scanner.clear_scan();
    return found;
}

using Options = LinkOptions;

}  // namespace

LinkOptions parse_link_options(const std::vector<std::string>& args) {
    LinkOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--link") {
            if (i + 1 >= args.size() || (args[i + 1] != "cable" && args[i + 1] != "receiver")) {
                o.ok = false;
                return o;
            }
            o.link = args[++i];
        } else {
            o.rest.push_back(args[i]);
        }
    }
    return o;
}

// Opens the mouse's command interface in the channel: the cable unless asked for the receiver
// or only the receiver is present. Returns an exit code (Success when open).
int open_mouse(const Context& context, CommandChannel& channel,
               const std::optional<std::string>& link_choice) {
    ProbeFailure probe;
    const auto devices = find_devices(context, &probe);
    const Found* cable = nullptr;
    const Found* receiver = nullptr;
    for (const auto& d : devices) {
        if (d.sub_type != link::SubTypeCommand)
            continue;
        if (d.type == link::TypeMouse && !cable)
            cable = &d;
        if (d.type == link::TypeMouseReceiver && !receiver)
            receiver = &d;
    }
    const Found* pick = nullptr;
    if (link_choice == "receiver") {
        pick = receiver;
    } else if (link_choice == "cable") {
        pick = cable;
    } else {
        pick = cable ? cable : receiver;
    }
    if (!pick) {
        std::fprintf(stderr, "velqactl: no mouse found%s\n",
                     link_choice ? (" on the " + *link_choice).c_str() : "");
        // A mouse that is there but cannot be opened is the usual case on a fresh machine.
        print_failure(probe.failure, probe.detail);
        return NoDevice;
    }
    const bool on_receiver = is_receiver_type(pick->type);
    if (!(on_receiver ? channel.open_receiver(pick->path) : channel.open_wired(pick->path))) {
        const HidDevice& dev = on_receiver ? channel.receiver() : channel.wired();
        std::fprintf(stderr, "velqactl: cannot open %s\n", pick->path.c_str());
        print_failure(dev.last_failure(), dev.last_failure_detail());
        return Failed;
    }
    return Success;
}

// Result codes 0 and -1 come with the HID failure behind them.
int fail(const CommandChannel& channel, const char* what, int result) {
    std::fprintf(stderr, "velqactl: %s failed: result %d (%s)\n", what, result,
                 link::result_meaning(result));
    if (result == link::result::ReadFailed || result == link::result::WriteFailed)
        print_failure(channel.last_failure(), {});
    return Failed;
}

namespace {

std::string hex(std::span<const uint8_t> bytes, const char* sep = "") {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += sep;
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
    }
    return out;
}

std::string hex16(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04x", v & 0xFFFF);
    return buf;
}

void print_json(const Json::Value& v) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "  ";
    std::printf("%s\n", Json::writeString(b, v).c_str());
}

Json::Value path_json(const CommandChannel& channel) {
    return channel.receiver_path() ? "receiver" : "cable";
}

bool usage_ok(const Options& o, size_t max_rest) {
    return o.ok && o.rest.size() <= max_rest;
}

int usage(const char* line) {
    std::fprintf(stderr, "usage: velqactl %s\n", line);
    return UsageError;
}

int cmd_list(const Context& context, const std::vector<std::string>& args) {
    const bool json = args.size() == 1 && args[0] == "--json";
    if (!args.empty() && !json)
        return usage("list [--json]");
    ProbeFailure probe;
    const auto devices = find_devices(context, &probe);
    if (devices.empty()) {
        // A script reading the JSON still gets a document: the empty list.
        if (json) {
            Json::Value empty(Json::objectValue);
            empty["devices"] = Json::Value(Json::arrayValue);
            print_json(empty);
        }
        std::fprintf(stderr, "velqactl: no supported device found\n");
        print_failure(probe.failure, probe.detail);
        return NoDevice;
    }
    if (json) {
        // The columns of the table, under the same names.
        Json::Value out(Json::objectValue);
        Json::Value& list = out["devices"] = Json::Value(Json::arrayValue);
        for (const auto& d : devices) {
            Json::Value v(Json::objectValue);
            v["row"] = static_cast<Json::UInt64>(d.row);
            v["type"] = type_name(d.type);
            v["link"] = is_receiver_type(d.type) ? "receiver" : "cable";
            v["role"] = d.sub_type == link::SubTypeCommand ? "command" : "notify";
            v["path"] = d.path;
            list.append(v);
        }
        print_json(out);
    } else {
        std::printf("%-4s %-17s %-9s %-8s %s\n", "row", "type", "link", "role", "path");
        for (const auto& d : devices) {
            std::printf("%-4zu %-17s %-9s %-8s %s\n", d.row, type_name(d.type),
                        is_receiver_type(d.type) ? "receiver" : "cable",
                        d.sub_type == link::SubTypeCommand ? "command" : "notify", d.path.c_str());
        }
    }
    // Another interface of the mouse (the receiver, say) may still be closed to this user.
    if (probe.failure == link::HidFailure::PermissionDenied)
        print_failure(probe.failure, probe.detail);
    return Success;
}

int cmd_info(const Context& context, const std::vector<std::string>& args) {
    const Options o = parse_link_options(args);
    if (!usage_ok(o, 0))
        return usage("info [--link cable|receiver]");
    CommandChannel channel(context.hid);
    if (int rc = open_mouse(context, channel, o.link); rc != Success)
        return rc;
    using Session = link::ConfigSession;
    Session session(channel, Session::Presence::AtStart);
    if (!session.is_open()) {
        const bool lock = session.failed_step() == Session::Step::Lock;
        return fail(channel, lock ? "waiting for the device" : "presence query", session.status());
    }
    link::DeviceInfoBlock block;
    const int res = session.run([&] { return channel.read_device_info(block.bytes); });
    if (res != link::result::Success) {
        const bool end = session.failed_step() == Session::Step::End;
        return fail(channel, end ? "ending the configuration" : "reading the device information",
                    res);
    }
    const auto info = link::decode_device_info(block);
    Json::Value v;
    v["link"] = path_json(channel);
    v["key_count"] = info.key_count;
    v["macro_units"] = info.macro_units;
    v["macro_bytes"] = info.macro_units * 128;
    v["link_flag"] = info.link_flag;
    v["linked"] = info.link_flag == 0;
    v["sensor_id"] = hex16(info.sensor_id);
    v["raw"] = hex(block.bytes);
    print_json(v);
    return Success;
}

Json::Value stage_json(const link::DpiStageValues& s) {
    Json::Value v;
    v["enabled"] = s.active;
    v["separate_xy"] = s.xy;
    v["dpi_x"] = s.dpi_x;
    v["dpi_y"] = s.dpi_y;
    v["color"] = Json::Value(Json::arrayValue);
    v["color"].append(s.red);
    v["color"].append(s.green);
    v["color"].append(s.blue);
    return v;
}

int cmd_settings(const Context& context, const std::vector<std::string>& args) {
    const Options o = parse_link_options(args);
    if (!usage_ok(o, 0))
        return usage("settings [--link cable|receiver]");
    CommandChannel channel(context.hid);
    if (int rc = open_mouse(context, channel, o.link); rc != Success)
        return rc;
    link::MouseSettingsRead read;
    const int res = link::read_mouse_settings(channel, read);
    if (res != link::result::Success)
        return fail(channel, "reading the settings", res);
    // The effect list belongs to the profile data; without it the code stands for the index.
    const auto d = link::decode_mouse_settings(read.record, {});
    Json::Value v;
    v["link"] = path_json(channel);
    v["active_slot"] = read.active_slot;
    v["record"] = hex(read.record.bytes);
    Json::Value& l = v["lighting"];
    l["mode_code"] = d.light_code;
    l["brightness"] = d.light;
    l["speed"] = d.speed;
    l["fx"] = d.fx;
    l["multi_color"] = d.multi_color;
    l["color"] = Json::Value(Json::arrayValue);
    l["color"].append(d.red);
    l["color"].append(d.green);
    l["color"].append(d.blue);
    v["polling_index_receiver"] = d.report_select_24k;
    v["polling_index_cable"] = d.report_select_usb;
    v["active_stage"] = d.active_stage;
    v["lift_off_distance"] = d.silent_altitude;
    v["stages"] = Json::Value(Json::arrayValue);
    for (const auto& s : d.stages)
        v["stages"].append(stage_json(s));
    v["deep_sleep"] = d.deep_sleep_on;
    v["sleep_seconds"] = d.sleep_seconds;
    v["sleep_index"] = d.dormancy_time;
    v["key_delay_index"] = d.key_delay;
    v["motion_sync"] = d.motion_sync;
    v["linear_calibration"] = d.linear_calibration;
    print_json(v);
    return Success;
}

int cmd_power(const Context& context, const std::vector<std::string>& args) {
    const Options o = parse_link_options(args);
    if (!usage_ok(o, 0))
        return usage("power [--link cable|receiver]");
    CommandChannel channel(context.hid);
    if (int rc = open_mouse(context, channel, o.link); rc != Success)
        return rc;
    link::PowerStatusBlock block;
    const int res = link::poll_power_status(channel, block);
    if (res != link::result::Success)
        return fail(channel, "reading the power status", res);
    const auto p = link::decode_power_status(block);
    static const char* charging[] = {"not charging", "charging", "charged"};
    Json::Value v;
    v["link"] = path_json(channel);
    v["battery_percent"] = p.battery_percent;
    v["charging"] = p.charging;
    v["charging_text"] = p.charging <= 2 ? charging[p.charging] : "unknown";
    v["wireless"] = p.wireless;
    v["status"] = p.status_param;
    v["raw"] = hex(block.bytes);
    print_json(v);
    return Success;
}

int cmd_raw(const Context& context, const std::vector<std::string>& args) {
    const Options o = parse_link_options(args);
    if (!o.ok || o.rest.empty() || o.rest.size() > 3)
        return usage("raw CODE [LENGTH [OFFSET]] [--link cable|receiver]");
    static constexpr struct {
        const char* name;
        int64_t max;
    } kFields[] = {{"CODE", 0xFF}, {"LENGTH", 0xFF}, {"OFFSET", 0xFFFF}};
    int64_t numbers[3] = {0, 0, 0};
    for (size_t i = 0; i < o.rest.size(); ++i) {
        const auto n = platform::parse_number(o.rest[i], 0, kFields[i].max);
        if (!n) {
            std::fprintf(
                stderr, "velqactl: %s\n",
                platform::number_error(kFields[i].name, o.rest[i], 0, kFields[i].max).c_str());
            return UsageError;
        }
        numbers[i] = *n;
    }
    const int64_t code = numbers[0], length = numbers[1], offset = numbers[2];
    CommandChannel channel(context.hid);
    if (int rc = open_mouse(context, channel, o.link); rc != Success)
        return rc;
    const link::Report req = link::make_request(
        static_cast<uint8_t>(code), static_cast<uint8_t>(length), static_cast<uint16_t>(offset));
    link::Report reply{};
    size_t n = 0;
    int res;
    {
        auto held = channel.hold_link();  // the link lock comes before the command lock
        if (!held)
            return fail(channel, "waiting for the device", link::result::WriteFailed);
        std::lock_guard lock(channel.command_lock());
        res = channel.exchange(req.data(), req.size(), reply.data(), reply.size(), &n);
    }
    std::printf("link:    %s\n", channel.receiver_path() ? "receiver" : "cable");
    std::printf("request: %s\n", hex(req, " ").c_str());
    std::printf("reply:   %s\n", n ? hex(reply, " ").c_str() : "(none)");
    std::printf("result:  %d (%s)\n", res, link::result_meaning(res));
    if (res == link::result::Success && n) {
        const int status = link::judge_status(reply);
        std::printf("status:  0x%02x (%s)\n", reply[link::byte_pos::Status],
                    link::result_meaning(status));
    }
    if (res == link::result::ReadFailed || res == link::result::WriteFailed)
        print_failure(channel.last_failure(), {});
    return res == link::result::Success ? Success : Failed;
}

const RegisterCommand reg_list("list",
                               "  list [--json]              supported devices found: row, type, "
                               "link, role and path, as a table or as JSON",
                               cmd_list);
const RegisterCommand reg_info("info",
                               "  info [--link cable|receiver]      the device information block",
                               cmd_info);
const RegisterCommand reg_settings(
    "settings", "  settings [--link cable|receiver]  the active slot and its settings record",
    cmd_settings);
const RegisterCommand reg_power("power",
                                "  power [--link cable|receiver]     battery and charging state",
                                cmd_power);
const RegisterCommand reg_raw(
    "raw",
    "  raw CODE [LENGTH [OFFSET]] [--link cable|receiver]  one exchange, shown as hex (CODE "
    "decides whether it changes the mouse)",
    cmd_raw);

}  // namespace

}  // namespace velqa::ctl
