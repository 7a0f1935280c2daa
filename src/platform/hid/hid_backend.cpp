#include "platform/hid/hid_backend.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/debug_output.h"

namespace velqa::platform::hid {

NodeHandle::NodeHandle(NodeHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), lock_fd_(std::exchange(other.lock_fd_, -1)) {}

NodeHandle& NodeHandle::operator=(NodeHandle&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
        lock_fd_ = std::exchange(other.lock_fd_, -1);
    }
    return *this;
}

void NodeHandle::reset() {
    if (lock_fd_ >= 0 && lock_fd_ != fd_)
        ::close(lock_fd_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = lock_fd_ = -1;
}

bool HidBackend::list_nodes(std::vector<NodeInfo>& nodes, std::string*) {
    nodes = enumerate();
    return true;
}

std::shared_ptr<HidBackend> make_backend(std::string_view selector, std::string_view sysfs_root) {
    if (selector.starts_with("sim:"))
        return make_sim_backend(std::string(selector.substr(4)));
    if (!selector.empty() && selector != "hidraw") {
        debug_printf("VELQA_HID=%.*s is not known; using hidraw", static_cast<int>(selector.size()),
                     selector.data());
    }
    return make_hidraw_backend(sysfs_root.empty() ? std::string("/sys") : std::string(sysfs_root));
}

std::shared_ptr<HidBackend> backend_from_environment() {
    const char* selected = std::getenv("VELQA_HID");
    const char* root = std::getenv("VELQA_SYSFS_ROOT");
    return make_backend(selected ? selected : "", root ? root : "");
}

std::string interface_path(const NodeInfo& node, size_t collection_index, size_t collection_count) {
    char suffix[64];
    if (collection_count > 1) {
        std::snprintf(suffix, sizeof suffix, "#vid_%04x&pid_%04x&mi_%02x&col%02x", node.vendor_id,
                      node.product_id, node.interface_number,
                      static_cast<unsigned>(collection_index + 1));
    } else {
        std::snprintf(suffix, sizeof suffix, "#vid_%04x&pid_%04x&mi_%02x", node.vendor_id,
                      node.product_id, node.interface_number);
    }
    return node.node + suffix;
}

std::size_t find_path_marker(std::string_view path, std::string_view marker) {
    if (path.size() < marker.size())
        return std::string_view::npos;
    for (size_t i = path.size() - marker.size() + 1; i-- > 0;) {
        bool same = true;
        for (size_t k = 0; k < marker.size() && same; ++k)
            same = std::tolower(static_cast<unsigned char>(path[i + k])) == marker[k];
        if (same)
            return i;
    }
    return std::string_view::npos;
}

std::string node_of(std::string_view path) {
    const size_t at = find_path_marker(path, "#vid_");
    return std::string(at == std::string_view::npos ? path : path.substr(0, at));
}

ScanResult scan_interfaces(HidBackend& backend) {
    ScanResult result;
    std::vector<NodeInfo> listed;
    if (!backend.list_nodes(listed, &result.error)) {
        result.listed = false;
        return result;
    }
    for (auto& info : listed) {
        ScannedNode scanned;
        DescriptorError error;
        if (!parse_report_descriptor(info.descriptor, scanned.descriptor, &error)) {
            debug_printf("%s: report descriptor rejected at offset %zu: %s", info.node.c_str(),
                         error.offset, error.reason.c_str());
            continue;
        }
        scanned.info = std::move(info);
        const size_t index = result.nodes.size();
        const size_t count = scanned.descriptor.collections.size();
        for (size_t c = 0; c < count; ++c) {
            result.interfaces.push_back({interface_path(scanned.info, c, count), index, c});
        }
        result.nodes.push_back(std::move(scanned));
    }
    return result;
}

}  // namespace velqa::platform::hid
