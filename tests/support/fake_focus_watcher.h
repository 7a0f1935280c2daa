// A focus watcher that the test drives: each focus change is delivered from a thread of its
// own, as a desktop backend delivers it.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/desktop/focus_watcher.h"

namespace velqa::test {

class FakeFocusWatcher : public platform::desktop::FocusWatcher {
  public:
    std::string unavailable_reason() const override { return {}; }
    std::string start(Callback on_focus, StatusCallback) override {
        std::lock_guard lock(mutex_);
        callback_ = std::move(on_focus);
        return {};
    }
    void stop() override {
        std::lock_guard lock(mutex_);
        callback_ = {};
    }
    bool started() const {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(callback_);
    }
    // `app_id` takes the focus.
    void focus(const std::string& app_id) {
        std::thread([this, app_id] {
            std::lock_guard lock(mutex_);
            if (callback_)
                callback_(platform::desktop::FocusedApp{app_id});
        }).join();
    }

  private:
    mutable std::mutex mutex_;
    Callback callback_;
};

}  // namespace velqa::test
