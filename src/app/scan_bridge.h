// What the device scan tells the window, as the window messages they stand for.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "app/device_scan.h"
#include "app/messages.h"
#include "platform/ui/window.h"

namespace velqa::app {

// Arrival and loss are sent (the scan waits until the window has handled them); the rest is posted.
class ScanBridge : public ScanListener {
  public:
    explicit ScanBridge(platform::ui::Window& window) : window_(window) {}

    void device_arrived(std::size_t slot) override {
        window_.send_message(kMsgDeviceArrived, slot, 0);
    }
    void device_lost(std::size_t slot) override { window_.send_message(kMsgDeviceLost, slot, 0); }
    void first_pass_done() override { window_.post_message(registered_messages().identity, 0, 0); }
    void access_denied(const std::vector<std::string>& paths) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            denied_ = paths;
        }
        window_.post_message(kMsgAccessDenied, 0, 0);
    }
    std::vector<std::string> denied() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return denied_;
    }

  private:
    platform::ui::Window& window_;
    mutable std::mutex mutex_;
    std::vector<std::string> denied_;
};

}  // namespace velqa::app
