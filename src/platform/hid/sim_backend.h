// The simulator's HID nodes, as velqa-sim creates them in one folder.
//
// Node format: per interface a pair of files with the same stem, e.g. "cable-if1":
//   cable-if1.sock  a listening AF_UNIX SOCK_SEQPACKET socket. A client connects once per open;
//                   every message it sends is one output report (report ID byte first) and
//                   every message it receives is one input report (report ID first when the
//                   descriptor declares IDs, like hidraw). The server closing the connection
//                   (or removing the node) is a hang-up: the client reads 0 bytes.
//   cable-if1.json  the sidecar, written atomically once the socket listens and removed before
//                   it: {"vendor_id": int, "product_id": int, "version_number": int,
//                   "interface": int, "product": string, "report_descriptor": "05 01 09 02 ..."}
//                   (hexadecimal bytes separated by spaces). The sidecar also carries the
//                   advisory open lock of the node.
// Nodes are listed in the order of their sidecar names.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/hid/hid_backend.h"

namespace velqa::platform::hid {

// Reads a sidecar; nullopt when missing or malformed. `node` of the result is the socket path.
std::optional<NodeInfo> read_sim_sidecar(const std::filesystem::path& sidecar);

// Sidecar text for `info` (the node server writes it).
std::string sim_sidecar_text(const NodeInfo& info);

// The sidecar belonging to a node socket.
std::filesystem::path sim_sidecar_of(const std::filesystem::path& node);

}  // namespace velqa::platform::hid
