// The virtual HID nodes of the simulated mouse and receiver: one SOCK_SEQPACKET socket per
// interface in a folder, with a JSON sidecar each, served by one background thread.
//
// CONTRACT between the node server (HID layer) and the firmware model (command layer);
// extend, do not change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "device/link/supported_devices.h"

namespace velqa::sim {

enum class Link { Cable, Receiver };

class SimNodes;

// Receives every output report written to interface 1 of a link (report ID byte first,
// as hidraw delivers it). Called on the server thread; may call SimNodes::send_input.
class ReportHandler {
  public:
    virtual ~ReportHandler() = default;
    virtual void on_output(Link link, std::span<const uint8_t> report) = 0;
};

// What the nodes say of themselves in their sidecars, and how their files are named.
struct NodeIdentity {
    uint16_t vendor_id = 0;                                 // 0: the maker's vendor ID
    uint16_t maker_vendor_id = link::DefaultMakerVendorId;  // DeviceConfig.json's, from main
    uint16_t cable_product_id = 0x2299;
    uint16_t receiver_product_id = 0x22A0;
    std::string product = "VELQA-R260";
    std::string prefix;  // before "cable-if1.sock": "kbd-" keeps a keyboard beside a mouse
};

// The nodes of a keyboard with the configured identifiers ("kbd-" files).
NodeIdentity keyboard_identity(const link::KeyboardIds& ids);

class SimNodes {
  public:
    // Nodes are created in `dir` (created when missing). `handler` may be null (no replies).
    SimNodes(std::filesystem::path dir, ReportHandler* handler);
    ~SimNodes();  // stop()
    SimNodes(const SimNodes&) = delete;
    SimNodes& operator=(const SimNodes&) = delete;

    // Before start(): the identity the nodes carry (default: the mouse's).
    void set_identity(NodeIdentity identity);
    const NodeIdentity& identity() const;
    // Creates the nodes of the given links and starts serving; false when a socket fails.
    bool start(bool cable, bool receiver);
    // Stops serving and removes every node and sidecar.
    void stop();

    // Hot-plug: creates or removes one link's nodes (interfaces 0 and 1). Open connections to
    // a removed node see a hang-up.
    bool plug(Link link);
    bool unplug(Link link);
    bool plugged(Link link) const;

    // Delivers one input report (report ID byte first) to every open connection of the link's
    // interface (0 or 1). False when the link is unplugged.
    bool send_input(Link link, uint8_t interface_number, std::span<const uint8_t> report);

    const std::filesystem::path& dir() const;

    // Report IDs of interface 1's collections.
    static constexpr uint8_t KeyboardReportId = 1;
    static constexpr uint8_t SystemControlReportId = 2;
    static constexpr uint8_t ConsumerReportId = 3;
    static constexpr uint8_t VendorReportId = 4;
    static constexpr uint16_t CableProductId = 0x2299;
    static constexpr uint16_t ReceiverProductId = 0x22A0;

    // The report descriptor of interface 0 (boot mouse) or 1 (keyboard, system control,
    // consumer control, vendor).
    static std::span<const uint8_t> report_descriptor(uint8_t interface_number);
    // Socket of one node ("cable-if1.sock"); its sidecar has the same stem and ".json".
    std::filesystem::path node_path(Link link, uint8_t interface_number) const;
    // Number of connections currently open to a node (tests wait on it).
    size_t connection_count(Link link, uint8_t interface_number) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velqa::sim
