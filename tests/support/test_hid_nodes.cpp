#include "support/test_hid_nodes.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "platform/hid/sim_backend.h"

namespace velqa::test {

FakeSimNode::FakeSimNode(const std::filesystem::path& dir, const std::string& stem,
                         platform::hid::NodeInfo info)
    : socket_(dir / (stem + ".sock")), sidecar_(dir / (stem + ".json")) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string s = socket_.string();
    if (s.size() >= sizeof addr.sun_path)
        return;
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd_, 64) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    info.node = s;
    // Written beside and renamed, as the simulator does, so a scan never reads half a sidecar.
    const auto temporary = dir / ("." + stem + ".tmp");
    {
        std::ofstream out(temporary);
        out << platform::hid::sim_sidecar_text(info);
    }
    std::filesystem::rename(temporary, sidecar_);
}

FakeSimNode::~FakeSimNode() {
    std::error_code ec;
    std::filesystem::remove(sidecar_, ec);
    std::filesystem::remove(socket_, ec);
    if (fd_ >= 0)
        ::close(fd_);
}

FaultyBackend::FaultyBackend(std::shared_ptr<platform::hid::HidBackend> inner)
    : inner_(std::move(inner)) {}

void FaultyBackend::fail_lists(bool fail) {
    std::lock_guard lock(mutex_);
    fail_lists_ = fail;
}

void FaultyBackend::fail_opens_of(const std::string& node, int error_number) {
    std::lock_guard lock(mutex_);
    std::erase_if(failing_opens_, [&](const auto& entry) { return entry.first == node; });
    if (error_number)
        failing_opens_.emplace_back(node, error_number);
}

void FaultyBackend::set_node_folder(std::filesystem::path folder) {
    std::lock_guard lock(mutex_);
    folder_ = std::move(folder);
}

size_t FaultyBackend::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

std::vector<platform::hid::NodeInfo> FaultyBackend::enumerate() {
    std::vector<platform::hid::NodeInfo> nodes;
    list_nodes(nodes, nullptr);
    return nodes;
}

bool FaultyBackend::list_nodes(std::vector<platform::hid::NodeInfo>& nodes, std::string* error) {
    {
        std::lock_guard lock(mutex_);
        if (fail_lists_) {
            nodes.clear();
            if (error)
                *error = "node list unreadable (injected)";
            return false;
        }
    }
    return inner_->list_nodes(nodes, error);
}

bool FaultyBackend::describe(const std::string& node, platform::hid::NodeInfo& info) {
    return inner_->describe(node, info);
}

platform::hid::NodeHandle FaultyBackend::open(const std::string& node, bool read, bool write,
                                              bool exclusive, std::string* error,
                                              int* error_number) {
    {
        std::lock_guard lock(mutex_);
        ++opens_;
        for (const auto& [failing, code] : failing_opens_) {
            if (failing == node) {
                if (error_number)
                    *error_number = code;
                if (error)
                    *error = node + ": " + std::strerror(code) + " (injected)";
                return {};
            }
        }
    }
    return inner_->open(node, read, write, exclusive, error, error_number);
}

std::filesystem::path FaultyBackend::node_folder() const {
    std::lock_guard lock(mutex_);
    return folder_ ? *folder_ : inner_->node_folder();
}

}  // namespace velqa::test
