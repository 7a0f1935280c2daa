// The X11 backend against a private Xvfb server: acceleration on and off, as the server reports.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/desktop/pointer_settings.h"

namespace velqa::platform::desktop {
namespace {

TEST(X11Pointer, AccelerationFollowsThePrecisionSetting) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        GTEST_SKIP() << "no X display (CTest runs this under xvfb-run)";
    auto x11 = make_x11_pointer_settings(display);
    ASSERT_TRUE(x11->supports(PointerSetting::Precision));
    EXPECT_FALSE(x11->supports(PointerSetting::Speed));
    PointerValues v;
    v.precision = false;
    EXPECT_EQ(x11->apply(v), "");
    EXPECT_EQ(x11->read().precision, false);
    v.precision = true;
    EXPECT_EQ(x11->apply(v), "");
    EXPECT_EQ(x11->read().precision, true);
}

}  // namespace
}  // namespace velqa::platform::desktop
