// Any X11 session: the server's core pointer acceleration.
// Ours first: Xlib's macros (None, True, Bool) would break names in them.
#include "platform/debug_output.h"
#include "platform/desktop/pointer_settings.h"

#include <X11/Xlib.h>

namespace velqa::platform::desktop {
namespace {

// The X server's own default acceleration: twice as fast beyond 4 pixels per event, for turning
// acceleration on where the user had none of their own.
constexpr int kAccelNumerator = 2;
constexpr int kAccelDenominator = 1;
constexpr int kAccelThreshold = 4;

class X11PointerSettings final : public PointerSettings {
  public:
    explicit X11PointerSettings(const std::string& display) {
        if (!display.empty())
            display_ = XOpenDisplay(display.c_str());
        if (display_ == nullptr)
            debug_printf("pointer settings: cannot open X display \"%s\"", display.c_str());
    }
    ~X11PointerSettings() override {
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    X11PointerSettings(const X11PointerSettings&) = delete;
    X11PointerSettings& operator=(const X11PointerSettings&) = delete;

    std::string desktop_name() const override { return "X11"; }

    bool supports(PointerSetting which) const override {
        return display_ != nullptr && which == PointerSetting::Precision;
    }

    PointerValues read() override {
        PointerValues values;
        if (display_ == nullptr)
            return values;
        int numerator = 1, denominator = 1, threshold = 0;
        XGetPointerControl(display_, &numerator, &denominator, &threshold);
        values.precision = denominator > 0 && numerator > denominator;
        values.x_acceleration = XAcceleration{numerator, denominator, threshold};
        return values;
    }

    std::string apply(const PointerValues& values) override {
        if (!values.precision || display_ == nullptr)
            return {};
        if (const auto& x = values.x_acceleration) {
            // The user's own acceleration, exactly as it was read.
            XChangePointerControl(display_, True, True, x->numerator, x->denominator, x->threshold);
        } else if (*values.precision) {
            XChangePointerControl(display_, True, True, kAccelNumerator, kAccelDenominator,
                                  kAccelThreshold);
        } else {
            // 1/1 turns acceleration off; the threshold then does not matter and stays.
            XChangePointerControl(display_, True, False, 1, 1, 0);
        }
        XSync(display_, False);
        return {};
    }

  private:
    Display* display_ = nullptr;
};

}  // namespace

std::unique_ptr<PointerSettings> make_x11_pointer_settings(const std::string& display) {
    return std::make_unique<X11PointerSettings>(display);
}

}  // namespace velqa::platform::desktop
