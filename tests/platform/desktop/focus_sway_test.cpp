// The Sway/i3 focus watcher against the real Sway, headless: a Wayland client and an Xwayland
// client, a reload, and a Sway started anew on a socket of its own. A stand-in IPC socket plays
// what Sway cannot be made to send: the focus in a given tree, names by app_id, X11 class or
// executable, malformed and oversized messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/desktop/focus_watcher.h"
#include "support/desktop_programs.h"
#include "support/fake_i3_ipc.h"
#include "support/temp_dir.h"
#include "support/waiting.h"
// Last: Xlib's macros (None, Bool) would break names in the headers above.
#include "support/x11_session.h"

namespace velqa::platform::desktop {
namespace {

using test::FakeI3Ipc;
using test::Mailbox;

constexpr char kTree[] = R"({"id":1,"type":"root","nodes":[{"id":2,"type":"output","nodes":[
  {"id":3,"type":"workspace","nodes":[{"id":4,"type":"con","app_id":"foot","focused":false}],
   "floating_nodes":[{"id":5,"type":"floating_con","app_id":null,"focused":true,
                      "window_properties":{"class":"Steam","instance":"steam"}}]}]}]})";

std::string focus_event(const std::string& container) {
    return R"({"change":"focus","container":)" + container + "}";
}

bool last_is(Mailbox<FocusedApp>& seen, const std::string& app, std::size_t count) {
    return seen.wait([&](const std::vector<FocusedApp>& items) {
        return items.size() >= count && items.back().app_id == app;
    });
}

TEST(SwayFocus, FollowsTheTreeAndFocusEventsAndSurvivesBadMessages) {
    test::TempDir dir;
    const auto nowhere = make_sway_focus_watcher((dir.path() / "none.sock").string());
    EXPECT_NE(nowhere->unavailable_reason(), "");
    EXPECT_EQ(nowhere->start([](const FocusedApp&) {}), nowhere->unavailable_reason());

    test::DebugLines debug;
    FakeI3Ipc sway(dir.path(), kTree);
    auto watcher = make_sway_focus_watcher(sway.path().string());
    ASSERT_EQ(watcher->unavailable_reason(), "");
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    EXPECT_TRUE(last_is(seen, "Steam", 1)) << "the focused floating Xwayland window at start";
    EXPECT_NE(sway.wait_subscribed().find("\"window\""), std::string::npos);

    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":4,"app_id":"foot"})"));
    EXPECT_TRUE(last_is(seen, "foot", 2));

    // A malformed event, one too long to read (its bytes follow all the same), and a focus
    // event of a window that names neither app_id nor class: its process's executable.
    sway.send(FakeI3Ipc::WindowEvent, R"({"change":"focus","container":{"app_id":)");
    sway.send_header(FakeI3Ipc::WindowEvent, MaxSwayMessageBytes + 1);
    sway.send_raw(std::string(MaxSwayMessageBytes + 1, '{'));
    sway.send(FakeI3Ipc::WindowEvent,
              focus_event(R"({"id":6,"app_id":"","pid":)" + std::to_string(getpid()) + "}"));
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_TRUE(last_is(seen, self, 3));
    EXPECT_EQ(debug.count("focus (sway): message of type 2147483651 skipped: too long"), 1u)
        << "read past in pieces, never held whole";

    // Closing the focused window leaves the focus on no application until another takes it;
    // so does moving to an empty workspace. Closing another window changes nothing.
    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":7,"app_id":"cs2"})"));
    EXPECT_TRUE(last_is(seen, "cs2", 4));
    sway.send(FakeI3Ipc::WindowEvent, R"({"change":"close","container":{"id":4}})");
    sway.send(FakeI3Ipc::WindowEvent, R"({"change":"close","container":{"id":7}})");
    EXPECT_TRUE(last_is(seen, "", 5));
    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":4,"app_id":"foot"})"));
    EXPECT_TRUE(last_is(seen, "foot", 6));
    sway.send(FakeI3Ipc::WorkspaceEvent,
              R"({"change":"focus","current":{"id":9,"type":"workspace","nodes":[]}})");
    EXPECT_TRUE(last_is(seen, "", 7));
    EXPECT_EQ(seen.items().size(), 7u);

    // stop() ends the thread blocked on the socket.
    watcher->stop();
    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":4,"app_id":"foot"})"));
    EXPECT_EQ(seen.items().size(), 7u);
}

std::string read_line(const std::filesystem::path& file) {
    std::string line;
    std::getline(std::ifstream(file), line);
    return line;
}

TEST(SwayFocus, FollowsARealSwayThroughAReloadAndASwayStartedAnew) {
    test::TempDir dir;
    test::SwaySession sway(dir.path());
    if (!sway.why_not().empty())
        GTEST_SKIP() << sway.why_not();
    if (!test::on_path("foot"))
        GTEST_SKIP() << "foot, the Wayland client, is not installed (scripts/setup installs it)";
    // As the session builds it from SWAYSOCK.
    auto watcher = make_sway_focus_watcher(
        sway.socket(), [path = sway.socket()] { return sway_sockets_beside(path); });
    Mailbox<FocusedApp> seen;
    Mailbox<std::string> status;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); },
                             [&](const std::string& reason) { status.push(reason); }),
              "");
    EXPECT_TRUE(last_is(seen, "", 1)) << "an empty workspace at start";

    // A Wayland client, named by its app_id. foot runs `cat`, not the user's shell: the
    // unprivileged user's login shell may be nologin, which would close the window at once.
    ASSERT_TRUE(sway.msg("exec foot --app-id=cs2 cat"));
    EXPECT_TRUE(last_is(seen, "cs2", 2));

    // An Xwayland client, named by its class: Sway's X display is in its children's
    // environment. Xwayland lets in its own user only; the test may be another (root).
    if (!test::on_path("xhost"))
        GTEST_SKIP() << "xhost is not installed (scripts/setup installs x11-xserver-utils)";
    const auto display_file = sway.runtime_folder() / "display";
    ASSERT_TRUE(sway.msg("exec xhost +si:localuser:" + std::string(getpwuid(geteuid())->pw_name) +
                         " && echo $DISPLAY > " + display_file.string()));
    ASSERT_TRUE(test::eventually([&] { return !read_line(display_file).empty(); },
                                 test::ProgramStartDeadline));
    {
        test::X11Client client(read_line(display_file).c_str());
        ASSERT_NE(client.display(), nullptr) << "Xwayland did not start";
        const Window browser = client.window("navigator", "firefox");
        XMapWindow(client.display(), browser);
        XSync(client.display(), False);
        EXPECT_TRUE(last_is(seen, "firefox", 3));

        // A reload keeps the connection.
        ASSERT_TRUE(sway.msg("reload"));
        ASSERT_TRUE(sway.msg("[app_id=\"^cs2$\"] focus"));
        EXPECT_TRUE(last_is(seen, "cs2", 4));
        EXPECT_TRUE(status.items().empty());
    }

    // Sway ended and started anew listens on a socket named by its new process: the watcher
    // says it lost Sway, finds it beside the old one and follows it.
    sway.end();
    ASSERT_TRUE(status.wait_count(1));
    EXPECT_NE(status.items().front(), "");
    ASSERT_TRUE(sway.start()) << sway.why_not();
    ASSERT_TRUE(status.wait([](const std::vector<std::string>& s) { return s.back().empty(); }));
    ASSERT_TRUE(sway.msg("exec foot --app-id=dota2 cat"));
    EXPECT_TRUE(seen.wait(
        [](const std::vector<FocusedApp>& items) { return items.back().app_id == "dota2"; }));
    watcher->stop();
}

}  // namespace
}  // namespace velqa::platform::desktop
