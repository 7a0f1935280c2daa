// The simulated mouse served in-process: firmware model, node server and the simulator's HID
// backend, through which CommandChannels open its links. For tests and benchmarks.
#pragma once

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
    // Serves both links in `dir` (which must exist or be creatable); backend() reaches them.
    // `identity`: what the nodes say of themselves (default: the mouse's).
    InProcessSim(std::filesystem::path dir, FirmwareOptions options = {}, int latency_ms = 0,
                 std::optional<NodeIdentity> identity = std::nullopt)
        : firmware_(options),
          handler_(firmware_, latency_ms),
          nodes_(dir, &handler_),
          backend_(platform::hid::make_sim_backend(dir)) {
        // The folder is private to the test, as the runtime folder is to its user.
        backend_->set_lock_folder(dir);
        if (identity)
            nodes_.set_identity(*identity);
        handler_.attach(&nodes_);
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
    // A link taken away as a user pulls it: its node goes and the firmware stops answering on it.
    void unplug(Link link) {
        nodes_.unplug(link);
        firmware_.set_plugged(link, false);
    }
    // The HID backend of the simulator's nodes, to hand to channels and scans.
    const std::shared_ptr<platform::hid::HidBackend>& backend() const { return backend_; }

    // The path of one link's collection (4: vendor, 3: consumer), found by scanning like the
    // program does.
    std::optional<std::string> interface_path(Link l, uint16_t collection) const {
        link::HidDevice scanner(backend_);
        if (!scanner.scan())
            return std::nullopt;
        const std::string node = l == Link::Cable ? "cable-if1" : "receiver-if1";
        std::optional<std::string> found;
        while (auto p = scanner.next_path()) {
            if (p->find(node) != std::string::npos &&
                link::HidDevice::collection_of(*p) == collection) {
                found = *p;
            }
        }
        return found;
    }
    std::optional<std::string> command_path(Link l) const { return interface_path(l, 4); }

    // Opens the link's command interface in `channel` (made with backend()).
    bool open(link::CommandChannel& channel, Link l) const {
        const auto path = command_path(l);
        if (!path)
            return false;
        return l == Link::Receiver ? channel.open_receiver(*path) : channel.open_wired(*path);
    }

  private:
    Firmware firmware_;
    FirmwareHandler handler_;
    SimNodes nodes_;
    std::shared_ptr<platform::hid::HidBackend> backend_;
    bool started_ = false;
};

}  // namespace velqa::sim
