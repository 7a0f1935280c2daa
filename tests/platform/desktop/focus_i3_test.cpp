// The focus watchers against the real i3 on a private Xvfb: the X11 watcher (_NET_ACTIVE_WINDOW,
// and a WM_CLASS set after the window became active) and the IPC watcher (I3SOCK), with the focus
// moved by i3-msg; after i3 restarts in place, or is ended and started again, the IPC watcher
// says it lost i3, connects again and follows the focus as before.
#include <gtest/gtest.h>

#include <string>

#include "platform/desktop/focus_watcher.h"
#include "support/desktop_programs.h"
#include "support/temp_dir.h"
#include "support/waiting.h"
// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include "support/x11_session.h"

namespace velqa::platform::desktop {
namespace {

using test::Mailbox;

bool last_is(Mailbox<FocusedApp>& seen, const std::string& app) {
    return seen.wait([&](const std::vector<FocusedApp>& items) {
        return !items.empty() && items.back().app_id == app;
    });
}

// A status callback's reports: lost (non-empty) at least `losses` times, and following again
// after the last one.
bool lost_and_back(Mailbox<std::string>& status, std::size_t losses) {
    return status.wait([&](const std::vector<std::string>& items) {
        std::size_t lost = 0;
        for (const std::string& s : items)
            lost += !s.empty();
        return lost >= losses && items.back().empty();
    });
}

TEST(I3Focus, BothWatchersFollowI3AndTheIpcOneOutlivesItsRestarts) {
    if (!test::on_path("Xvfb"))
        GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs xvfb)";
    test::PrivateXServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    test::TempDir dir;
    test::I3Session i3(server.display(), dir.path());
    if (!i3.why_not().empty())
        GTEST_SKIP() << i3.why_not();
    test::X11Client client(server.display().c_str());
    ASSERT_NE(client.display(), nullptr);

    auto x11 = make_x11_focus_watcher(server.display());
    auto ipc = make_sway_focus_watcher(i3.socket());
    Mailbox<FocusedApp> by_x11, by_ipc;
    Mailbox<std::string> ipc_status;
    ASSERT_EQ(x11->start([&](const FocusedApp& app) { by_x11.push(app); }), "");
    ASSERT_EQ(ipc->start([&](const FocusedApp& app) { by_ipc.push(app); },
                         [&](const std::string& reason) { ipc_status.push(reason); }),
              "");

    const Window shooter = client.window("cs2", "cs2");
    const Window browser = client.window("navigator", "firefox");
    XMapWindow(client.display(), shooter);
    XMapWindow(client.display(), browser);
    XSync(client.display(), False);
    EXPECT_TRUE(last_is(by_x11, "firefox")) << "i3 focuses the window mapped last";
    EXPECT_TRUE(last_is(by_ipc, "firefox"));
    ASSERT_TRUE(i3.msg("[class=\"^cs2$\"] focus"));
    EXPECT_TRUE(last_is(by_x11, "cs2"));
    EXPECT_TRUE(last_is(by_ipc, "cs2"));

    // A window that names its class only after i3 gave it the focus.
    const Window late = client.window("", nullptr);
    XMapWindow(client.display(), late);
    XSync(client.display(), False);
    EXPECT_TRUE(last_is(by_x11, "")) << "no WM_CLASS and no _NET_WM_PID yet";
    XClassHint hint{const_cast<char*>("dota2"), const_cast<char*>("dota2")};
    XSetClassHint(client.display(), late, &hint);
    XSync(client.display(), False);
    EXPECT_TRUE(last_is(by_x11, "dota2")) << "the class set after activation";

    // i3 restarts in place: the IPC connection closes and is made again on the same path.
    ASSERT_TRUE(i3.msg("restart"));
    EXPECT_TRUE(lost_and_back(ipc_status, 1));
    ASSERT_TRUE(i3.msg("[class=\"^firefox$\"] focus"));
    EXPECT_TRUE(last_is(by_ipc, "firefox")) << "following after the restart";
    EXPECT_TRUE(last_is(by_x11, "firefox"));

    // i3 ended: the watcher says so until an i3 listens on the socket again.
    i3.end();
    ASSERT_TRUE(ipc_status.wait(
        [](const std::vector<std::string>& s) { return s.size() >= 3 && !s.back().empty(); }));
    ASSERT_TRUE(i3.start()) << i3.why_not();
    EXPECT_TRUE(lost_and_back(ipc_status, 2));
    ASSERT_TRUE(i3.msg("[class=\"^cs2$\"] focus"));
    EXPECT_TRUE(last_is(by_ipc, "cs2"));

    ipc->stop();
    x11->stop();
}

}  // namespace
}  // namespace velqa::platform::desktop
