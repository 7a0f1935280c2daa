// The X11 backend against a private Xvfb server, read back with `xset q`: acceleration on and
// off, and the server's own ratio and threshold given back exactly as they were read.
#include <gtest/gtest.h>

#include "platform/desktop/pointer_settings.h"
#include "support/sim_process.h"
#include "support/x11_session.h"

namespace velqa::platform::desktop {
namespace {

// The "acceleration:" line of `xset q`.
std::string xset_acceleration(const std::string& display) {
    const std::string q = test::run_command("xset -display " + display + " q").out;
    const auto at = q.find("acceleration:");
    return at == std::string::npos ? q : q.substr(at, q.find('\n', at) - at);
}

TEST(X11Pointer, TheServersOwnAccelerationIsReadAndGivenBackExactly) {
    if (!test::on_path("Xvfb") || !test::on_path("xset"))
        GTEST_SKIP() << "Xvfb or xset is missing (scripts/setup installs xvfb and "
                        "x11-xserver-utils)";
    test::PrivateXServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    const std::string display = server.display();
    ASSERT_EQ(test::run_command("xset -display " + display + " m 7/3 9").exit_code, 0);
    const std::string users = xset_acceleration(display);
    EXPECT_EQ(users, "acceleration:  7/3    threshold:  9");

    auto x11 = make_x11_pointer_settings(display);
    ASSERT_TRUE(x11->supports(PointerSetting::Precision));
    EXPECT_FALSE(x11->supports(PointerSetting::Speed));
    const PointerValues own = x11->read();
    EXPECT_EQ(own.precision, true);
    EXPECT_EQ(own.x_acceleration, (XAcceleration{7, 3, 9}));

    PointerValues off;
    off.precision = false;
    EXPECT_EQ(x11->apply(off), "");
    EXPECT_EQ(x11->read().precision, false);
    EXPECT_EQ(xset_acceleration(display), "acceleration:  1/1    threshold:  9");
    EXPECT_EQ(x11->apply(own), "");
    EXPECT_EQ(xset_acceleration(display), users);
}

}  // namespace
}  // namespace velqa::platform::desktop
