// A HID backend with one node whose device side is a script run by the test: every output
// report written to the node is handed to the script, which says which input reports go back
// and in what order (late, cut short, for another offset, none). Opens can be made to fail with
// a chosen errno. For tests of the exchange and of failure reasons.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid/hid_backend.h"

namespace velqa::test {

class ScriptedHid : public platform::hid::HidBackend {
  public:
    using Bytes = std::vector<uint8_t>;
    // Input reports to send for one output report, in order.
    using Script = std::function<std::vector<Bytes>(const Bytes& request)>;

    // The node is `node`; vendor, product and interface as given; `descriptor` its report
    // descriptor. Without a script nothing is answered.
    ScriptedHid(std::string node, uint16_t vendor_id, uint16_t product_id,
                uint16_t interface_number, std::vector<uint8_t> descriptor);
    ~ScriptedHid() override;

    // "<node>#vid_...&colNN" for collection `col` (of several).
    std::string path(int col) const;

    void set_script(Script script);
    // The next opens fail with `error_number` (0: they succeed again).
    void fail_opens_with(int error_number);
    // Sends an input report now, unasked. False when nothing is open.
    bool send(const Bytes& report);
    // Closes the device side: the open node hangs up.
    void hang_up();
    // Every output report received so far.
    std::vector<Bytes> requests() const;

    const char* name() const override { return "scripted"; }
    std::vector<platform::hid::NodeInfo> enumerate() override;
    bool describe(const std::string& node, platform::hid::NodeInfo& info) override;
    platform::hid::NodeHandle open(const std::string& node, bool read, bool write, bool exclusive,
                                   std::string* error, int* error_number) override;

  private:
    void serve(int fd, int stop_fd);
    void stop_peer();

    platform::hid::NodeInfo info_;
    mutable std::mutex mutex_;
    Script script_;
    int fail_errno_ = 0;
    int peer_fd_ = -1;
    int stop_fd_ = -1;
    std::thread peer_;
    std::vector<Bytes> requests_;
};

}  // namespace velqa::test
