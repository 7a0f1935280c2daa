// The simulated mouse served in-process: firmware model, node server and a CommandChannel
// opened on one of its links through the simulator's HID backend. For tests and benchmarks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "device/link/command_channel.h"
#include "device/link/hid_device.h"
#include "firmware.h"
#include "sim_control.h"
#include "sim_nodes.h"

namespace velqa::sim {

class InProcessSim {
  public:
    // Serves both links in `dir` (which must exist or be creatable) and points the HID layer
    // of this process at it (VELQA_HID).
    InProcessSim(std::filesystem::path dir, FirmwareOptions options = {}, int latency_ms = 0)
        : firmware_(options), handler_(firmware_, latency_ms), nodes_(dir, &handler_) {
        handler_.attach(&nodes_);
        ::setenv("VELQA_HID", ("sim:" + dir.string()).c_str(), 1);
        started_ = nodes_.start(true, true);
        firmware_.set_plugged(Link::Cable, true);
        firmware_.set_plugged(Link::Receiver, true);
    }
    ~InProcessSim() { nodes_.stop(); }
    InProcessSim(const InProcessSim&) = delete;
    InProcessSim& operator=(const InProcessSim&) = delete;

    bool started() const { return started_; }
    Firmware& firmware() { return firmware_; }
    SimNodes& nodes() { return nodes_; }
    FirmwareHandler& handler() { return handler_; }

    // The path of the vendor collection of one link, found by scanning like the program does.
    static std::optional<std::string> command_path(Link l) {
        link::HidDevice scanner;
        if (!scanner.scan())
            return std::nullopt;
        const std::string node = l == Link::Cable ? "cable-if1" : "receiver-if1";
        std::optional<std::string> found;
        while (auto p = scanner.next_path()) {
            if (p->find(node) != std::string::npos && link::HidDevice::collection_of(*p) == 4) {
                found = *p;
            }
        }
        return found;
    }

    // Opens the link's command interface in `channel`, sets the link-open flag and the path.
    static bool open(link::CommandChannel& channel, Link l) {
        const auto path = command_path(l);
        if (!path)
            return false;
        std::lock_guard io(channel.io_lock());
        link::HidDevice& dev = l == Link::Receiver ? channel.receiver() : channel.wired();
        if (!dev.open(*path, true, true, true, false))
            return false;
        channel.set_link_open(1);
        channel.set_path(l == Link::Receiver ? 2 : 1);
        return true;
    }

  private:
    Firmware firmware_;
    FirmwareHandler handler_;
    SimNodes nodes_;
    bool started_ = false;
};

}  // namespace velqa::sim
