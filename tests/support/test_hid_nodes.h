// HID node fakes for scan tests: a simulator-format node that nobody serves (any vendor,
// product and product string), and a backend wrapper that fails list reads or opens on demand.
#pragma once

#include <cerrno>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/hid/hid_backend.h"

namespace velqa::test {

// A listening SOCK_SEQPACKET socket plus its sidecar in `dir`, named `stem` (".sock" and
// ".json"): the simulator's backend lists it and opens succeed (connections are queued, never
// answered). Removed when destroyed.
class FakeSimNode {
  public:
    FakeSimNode(const std::filesystem::path& dir, const std::string& stem,
                platform::hid::NodeInfo info);
    ~FakeSimNode();
    FakeSimNode(const FakeSimNode&) = delete;
    FakeSimNode& operator=(const FakeSimNode&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::filesystem::path& socket_path() const { return socket_; }

  private:
    std::filesystem::path socket_;
    std::filesystem::path sidecar_;
    int fd_ = -1;
};

// Passes everything to `inner` except what the test breaks: the node list (unreadable), opens
// of chosen nodes (failing with an errno), and the node folder (replaceable, e.g. by none).
class FaultyBackend : public platform::hid::HidBackend {
  public:
    explicit FaultyBackend(std::shared_ptr<platform::hid::HidBackend> inner);

    void fail_lists(bool fail);
    // Opens of `node` (a node path, not an interface path) fail with `error_number`; 0 lifts it.
    void fail_opens_of(const std::string& node, int error_number);
    void set_node_folder(std::filesystem::path folder);
    // Opens that were attempted so far.
    size_t opens() const;

    const char* name() const override { return "faulty"; }
    std::vector<platform::hid::NodeInfo> enumerate() override;
    bool list_nodes(std::vector<platform::hid::NodeInfo>& nodes, std::string* error) override;
    bool describe(const std::string& node, platform::hid::NodeInfo& info) override;
    platform::hid::NodeHandle open(const std::string& node, bool read, bool write, bool exclusive,
                                   std::string* error, int* error_number) override;
    std::filesystem::path node_folder() const override;

  private:
    std::shared_ptr<platform::hid::HidBackend> inner_;
    mutable std::mutex mutex_;
    bool fail_lists_ = false;
    std::vector<std::pair<std::string, int>> failing_opens_;
    std::optional<std::filesystem::path> folder_;
    size_t opens_ = 0;
};

}  // namespace velqa::test
