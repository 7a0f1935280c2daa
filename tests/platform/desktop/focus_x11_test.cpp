// The X11 focus watcher against a private Xvfb server: what it names each active window, and,
// with a real window manager, that activating windows moves the reported application.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/desktop/focus_watcher.h"
#include "support/waiting.h"
// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include "support/x11_session.h"

namespace velqa::platform::desktop {
namespace {

using test::kWindowManager;
using test::Mailbox;
using test::on_path;
using Client = test::X11Client;

const char* x_display() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' ? display : nullptr;
}

bool last_is(Mailbox<FocusedApp>& seen, const std::string& app) {
    return seen.wait([&](const std::vector<FocusedApp>& items) {
        return !items.empty() && items.back().app_id == app;
    });
}

TEST(X11Focus, NamesTheActiveWindowByClassElseItsExecutableAndSurvivesVanishedWindows) {
    EXPECT_NE(make_x11_focus_watcher(":65000")->unavailable_reason(), "");
    EXPECT_NE(make_x11_focus_watcher(":65000")->start([](const FocusedApp&) {}), "");
    const char* display = x_display();
    if (display == nullptr)
        GTEST_SKIP() << "no X display (CTest runs this under xvfb-run)";
    Client client(display);
    ASSERT_NE(client.display(), nullptr);
    // No window manager here: the test itself sets the root's active window.
    const Window game = client.window("game", "GameOne");
    const Window unnamed = client.window("", nullptr);
    client.set_cardinal(unnamed, "_NET_WM_PID", XA_CARDINAL, static_cast<unsigned long>(getpid()));
    const Window remote = client.window("", nullptr);
    client.set_cardinal(remote, "_NET_WM_PID", XA_CARDINAL, static_cast<unsigned long>(getpid()));
    client.set_text(remote, XA_WM_CLIENT_MACHINE, "another-machine.invalid");
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);

    auto watcher = make_x11_focus_watcher(display);
    ASSERT_EQ(watcher->unavailable_reason(), "");
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    EXPECT_TRUE(last_is(seen, "GameOne")) << "the focus at start";

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, unnamed);
    EXPECT_TRUE(last_is(seen, self)) << "no WM_CLASS: the executable of _NET_WM_PID";
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);
    EXPECT_TRUE(last_is(seen, "GameOne"));
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, remote);
    EXPECT_TRUE(last_is(seen, "")) << "a process id of another machine names nothing here";

    // A window that is gone by the time the watcher reads it.
    const Window gone = client.window("gone", "Gone");
    XDestroyWindow(client.display(), gone);
    XSync(client.display(), False);
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);
    EXPECT_TRUE(last_is(seen, "GameOne"));
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, gone);
    EXPECT_TRUE(last_is(seen, ""));
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, game);
    EXPECT_TRUE(last_is(seen, "GameOne")) << "still watching after the vanished window";

    watcher->stop();
    const std::size_t reported = seen.items().size();
    client.set_cardinal(client.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW, unnamed);
    XSync(client.display(), False);
    EXPECT_EQ(seen.items().size(), reported) << "nothing is reported once stop() returned";
}

TEST(X11Focus, FollowsTheWindowManagerBetweenTwoApplications) {
    const char* display = x_display();
    if (display == nullptr)
        GTEST_SKIP() << "no X display (CTest runs this under xvfb-run)";
    if (!on_path(kWindowManager))
        GTEST_SKIP() << kWindowManager << " is not installed (scripts/setup installs it)";
    Client client(display);
    ASSERT_NE(client.display(), nullptr);
    test::Child wm;
    ASSERT_TRUE(test::start_window_manager(display, client, wm))
        << "the window manager did not start";

    auto watcher = make_x11_focus_watcher(display);
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    const Window shooter = client.window("cs2", "cs2");
    const Window browser = client.window("navigator", "firefox");
    XMapWindow(client.display(), shooter);
    XMapWindow(client.display(), browser);
    XSync(client.display(), False);

    client.activate(shooter);
    EXPECT_TRUE(last_is(seen, "cs2"));
    client.activate(browser);
    EXPECT_TRUE(last_is(seen, "firefox"));
    client.activate(shooter);
    EXPECT_TRUE(last_is(seen, "cs2"));
    watcher->stop();
}

}  // namespace
}  // namespace velqa::platform::desktop
