#include "platform/input/input_capture.h"

#include <cstdlib>

#include "platform/debug_output.h"

namespace velqa::platform::input {

namespace {

class WindowOnlyCapture final : public InputCapture {
  public:
    explicit WindowOnlyCapture(std::string reason) : reason_(std::move(reason)) {}
    const char* name() const override { return "window"; }
    bool available() const override { return false; }
    std::string unavailable_reason() const override { return reason_; }
    bool start(CaptureSink, bool, std::string* error) override {
        if (error)
            *error = reason_;
        return false;
    }
    void stop() override {}
    bool running() const override { return false; }

  private:
    std::string reason_;
};

std::string env_text(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

SessionDisplays session_displays_from_environment() {
    return {env_text("DISPLAY"), env_text("WAYLAND_DISPLAY")};
}

std::unique_ptr<InputCapture> make_window_only_capture(std::string reason) {
    return std::make_unique<WindowOnlyCapture>(std::move(reason));
}

std::unique_ptr<InputCapture> make_input_capture(const SessionDisplays& displays) {
    if (!displays.x11.empty()) {
        std::string why_not;
        if (auto capture = make_x11_capture(displays.x11, &why_not))
            return capture;
        debug_printf("input capture: %s\n", why_not.c_str());
    } else {
        debug_printf("input capture: no DISPLAY (WAYLAND_DISPLAY \"%s\")\n",
                     displays.wayland.c_str());
    }
    return make_window_only_capture(std::string(WindowOnlyReason));
}

}  // namespace velqa::platform::input
