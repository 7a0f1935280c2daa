#include "platform/desktop/focus_watcher.h"

#include <utility>

namespace velqa::platform::desktop {

namespace {

class UnavailableFocusWatcher final : public FocusWatcher {
  public:
    explicit UnavailableFocusWatcher(std::string reason) : reason_(std::move(reason)) {}
    std::string unavailable_reason() const override { return reason_; }
    std::string start(Callback, StatusCallback) override { return reason_; }
    void stop() override {}

  private:
    std::string reason_;
};

}  // namespace

std::unique_ptr<FocusWatcher> make_unavailable_focus_watcher(std::string reason) {
    return std::make_unique<UnavailableFocusWatcher>(std::move(reason));
}

}  // namespace velqa::platform::desktop
