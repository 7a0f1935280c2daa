// Where HID interfaces come from: the kernel's hidraw nodes or the simulator's socket nodes.
// Both hand out a file descriptor on which one read() is one input report and one write() one
// output report (report ID byte first; no ID byte on input when the descriptor declares none),
// so the transport above does its I/O the same way for both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/hid/report_descriptor.h"

namespace velqa::platform::hid {

// One HID node: a USB interface (or another bus's HID device) with its report descriptor.
struct NodeInfo {
    std::string node;  // "/dev/hidraw3", or the simulator's socket
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint16_t version_number = 0;
    uint16_t interface_number = 0;
    std::string product;  // empty when unknown
    std::vector<uint8_t> descriptor;
};

// An open node; closes its descriptors when destroyed.
class NodeHandle {
  public:
    NodeHandle() = default;
    NodeHandle(int fd, int lock_fd) : fd_(fd), lock_fd_(lock_fd) {}
    ~NodeHandle() { reset(); }
    NodeHandle(NodeHandle&& other) noexcept;
    NodeHandle& operator=(NodeHandle&& other) noexcept;
    NodeHandle(const NodeHandle&) = delete;
    NodeHandle& operator=(const NodeHandle&) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset();

  private:
    int fd_ = -1;
    int lock_fd_ = -1;  // holds the advisory lock when it is not fd_ itself
};

class HidBackend {
  public:
    virtual ~HidBackend() = default;
    virtual const char* name() const = 0;
    // Every node present now, in a stable order. Nodes that cannot be read are skipped.
    virtual std::vector<NodeInfo> enumerate() = 0;
    // The same, but false (with `error` set) when the list itself could not be read, so a
    // scan can tell "no nodes" from "could not look". The default never fails.
    virtual bool list_nodes(std::vector<NodeInfo>& nodes, std::string* error);
    // The folder whose entries are the nodes ("/dev" for hidraw, the simulator's folder), for
    // watching it; empty when there is none to watch.
    virtual std::filesystem::path node_folder() const { return {}; }
    // The facts of one node; false when it is gone or unreadable.
    virtual bool describe(const std::string& node, NodeInfo& info) = 0;
    // Opens a node for report I/O (non-blocking, close-on-exec). Takes an advisory lock on the
    // node: exclusive when `exclusive`, else shared, so an exclusive open and any other open
    // exclude each other. Invalid handle, `error` (a text) and `error_number` (the errno that
    // stopped it; EWOULDBLOCK when the lock is held) set on failure.
    virtual NodeHandle open(const std::string& node, bool read, bool write, bool exclusive,
                            std::string* error, int* error_number = nullptr) = 0;

    // Where the link locks of these nodes are kept: a private folder of this user, chosen by
    // main and set before any link opens. Empty: none, so exchanges are kept apart only
    // within one program.
    const std::filesystem::path& lock_folder() const { return lock_folder_; }
    void set_lock_folder(std::filesystem::path folder) { lock_folder_ = std::move(folder); }

  private:
    std::filesystem::path lock_folder_;
};

// hidraw under `sysfs_root` (normally "/sys"); device nodes under `dev_root` ("/dev").
std::unique_ptr<HidBackend> make_hidraw_backend(std::filesystem::path sysfs_root,
                                                std::filesystem::path dev_root = "/dev");
// The simulator's nodes in `dir` (see sim_backend.h for the node format).
std::unique_ptr<HidBackend> make_sim_backend(std::filesystem::path dir);
// The backend a selector names: "sim:DIR" the simulator's nodes in DIR; anything else hidraw
// under `sysfs_root` (empty: /sys).
std::shared_ptr<HidBackend> make_backend(std::string_view selector, std::string_view sysfs_root);
// make_backend(VELQA_HID, VELQA_SYSFS_ROOT). Reads the environment, so a program calls it once,
// in main, and hands the backend to whatever scans or opens; nothing reads it later.
std::shared_ptr<HidBackend> backend_from_environment();

// One top-level collection of a node: "<node>#vid_vvvv&pid_pppp&mi_nn[&colnn]", with &col
// (numbered from 01) only when the node has more than one collection.
std::string interface_path(const NodeInfo& node, size_t collection_index, size_t collection_count);
// The node part of an interface path (everything before its "#vid_" suffix).
std::string node_of(std::string_view path);
// Where the last occurrence of `marker` (lower case) starts in `path`, letter case ignored; npos
// when there is none. The interface suffix comes last, so a folder name that happens to hold a
// marker does not shadow it.
std::size_t find_path_marker(std::string_view path, std::string_view marker);

struct ScannedNode {
    NodeInfo info;
    ParsedDescriptor descriptor;
};

struct ScannedInterface {
    std::string path;
    size_t node = 0;        // index into ScanResult::nodes
    size_t collection = 0;  // index into that node's collections
};

struct ScanResult {
    std::vector<ScannedNode> nodes;
    std::vector<ScannedInterface> interfaces;  // node order, then collection order
    bool listed = true;  // false: the node list could not be read (`error` says why)
    std::string error;
};

// Enumerates the backend and splits every node into its top-level collections. A node whose
// descriptor is rejected is left out (with a debug line), as the OS would not list it.
ScanResult scan_interfaces(HidBackend& backend);

}  // namespace velqa::platform::hid
