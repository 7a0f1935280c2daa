// What every velqactl command that talks to the mouse shares: opening its command interface,
// and saying why a step failed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/link/command_channel.h"
#include "device/link/hid_device.h"

namespace velqa::ctl {

// The words of a mouse command with "--link cable|receiver" taken out; ok is false when the
// option has another value or none.
struct LinkOptions {
    std::optional<std::string> link;  // "cable" or "receiver"
    std::vector<std::string> rest;
    bool ok = true;
};
LinkOptions parse_link_options(const std::vector<std::string>& args);

// Opens the mouse's command interface in `channel`: the cable unless `link_choice` is
// "receiver" or only the receiver is present. Returns an exit code (Success when open); the
// reason of a failure is on stderr.
int open_mouse(const Context& context, link::CommandChannel& channel,
               const std::optional<std::string>& link_choice);

// "velqactl: reason: ..." on stderr, with the udev-rule commands for permission denied.
void print_failure(link::HidFailure failure, const std::string& detail);
void print_permission_help();

// A failed step of a sequence: its result code and meaning (and the HID failure behind 0 and
// -1) on stderr. Returns Failed.
int fail(const link::CommandChannel& channel, const char* what, int result);

}  // namespace velqa::ctl
